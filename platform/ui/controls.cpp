// Control values, attributes, run-time controls, pictures and the calls forwarded to graphs.
#include "graph.h"
#include "panel_p.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QLCDNumber>
#include <QLineEdit>
#include <QPixmap>
#include <QSpinBox>

#include <cstdio>
#include <cstring>

using namespace kivrel::platform;

namespace
{

const char *typeName(ValueType t)
{
    switch (t) {
    case ValueType::Byte: return "byte";
    case ValueType::Int: return "int";
    case ValueType::String: return "string";
    case ValueType::None: break;
    }
    return "no value";
}

// A value asked or given in the wrong type is a programming error: say so loudly, once.
int mismatch(const char *call, int panel, int control, ValueType holds, const char *asked)
{
    std::fprintf(stderr, "%s: panel %d control %d holds %s, not %s\n", call, panel, control,
                 typeName(holds), asked);
    std::fflush(stderr);
    return UIE_TYPE_MISMATCH;
}

int readInt(const Control &c)
{
    QWidget *w = c.widget;
    if (auto *spin = qobject_cast<QSpinBox *>(w)) return spin->value();
    if (auto *box = qobject_cast<QComboBox *>(w))
        return box->currentIndex() < 0 ? 0 : box->currentData().toInt();
    if (auto *button = qobject_cast<QAbstractButton *>(w)) return button->isChecked() ? 1 : 0;
    if (auto *lcd = qobject_cast<QLCDNumber *>(w)) return lcd->intValue();
    if (auto *label = qobject_cast<QLabel *>(w)) return label->text().trimmed().toInt();
    if (auto *edit = qobject_cast<QLineEdit *>(w)) return edit->text().trimmed().toInt();
    return 0;
}

int writeInt(Control &c, int value)
{
    QWidget *w = c.widget;
    ProgramChange guard;
    if (auto *spin = qobject_cast<QSpinBox *>(w)) {
        dropValueText(c);
        spin->setValue(value);
    } else if (auto *box = qobject_cast<QComboBox *>(w)) {
        const int index = box->findData(value);
        if (index < 0) return UIE_INVALID_ARGUMENT;
        box->setCurrentIndex(index);
        c.lastIndex = index;
    } else if (auto *button = qobject_cast<QAbstractButton *>(w)) {
        button->setChecked(value != 0);
    } else if (auto *lcd = qobject_cast<QLCDNumber *>(w)) {
        lcd->display(value);
    } else if (auto *label = qobject_cast<QLabel *>(w)) {
        label->setText(QString::number(value));
    } else if (auto *edit = qobject_cast<QLineEdit *>(w)) {
        edit->setText(QString::number(value));
        c.lastText = edit->text();
    } else {
        return UIE_INVALID_CONTROL;
    }
    return 0;
}

QString readText(const Control &c)
{
    QWidget *w = c.widget;
    if (auto *label = qobject_cast<QLabel *>(w)) return label->text();
    if (auto *edit = qobject_cast<QLineEdit *>(w)) return edit->text();
    if (auto *box = qobject_cast<QComboBox *>(w)) return box->currentText();
    if (auto *button = qobject_cast<QAbstractButton *>(w)) return button->text();
    return {};
}

int writeText(Control &c, const QString &text)
{
    QWidget *w = c.widget;
    ProgramChange guard;
    if (auto *label = qobject_cast<QLabel *>(w)) {
        label->setText(text);
        if (c.autoSize) label->adjustSize();
    } else if (auto *edit = qobject_cast<QLineEdit *>(w)) {
        edit->setText(text);
        c.lastText = text;
    } else if (auto *box = qobject_cast<QComboBox *>(w)) {
        const int index = box->findText(text);
        if (index < 0) return UIE_INVALID_ARGUMENT;
        box->setCurrentIndex(index);
        c.lastIndex = index;
    } else if (auto *button = qobject_cast<QAbstractButton *>(w)) {
        button->setText(text);
    } else {
        return UIE_INVALID_CONTROL;
    }
    return 0;
}

int showValueText(Control &c, const QString &text)
{
    auto *spin = qobject_cast<QSpinBox *>(c.widget);
    if (!spin) return UIE_INVALID_ATTRIBUTE;
    if (text.isEmpty()) {
        dropValueText(c);
        return 0;
    }
    ProgramChange guard;
    if (!c.valueText) c.plainMinimum = spin->minimum();
    c.valueText = true;
    spin->setMinimum(c.plainMinimum - 1);
    spin->setSpecialValueText(text);
    spin->setValue(c.plainMinimum - 1);
    return 0;
}

QColor toColor(int rgb)
{
    return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}
int fromColor(const QColor &c)
{
    return int(c.rgb() & 0xFFFFFF);
}
bool validColor(int rgb)
{
    return rgb >= 0 && rgb <= 0xFFFFFF;
}

// Foreground and background roles for every kind of control; the disabled group is left to
// the style so a dimmed control still looks dimmed.
void setRoles(QWidget *w, std::initializer_list<QPalette::ColorRole> roles, const QColor &color)
{
    QPalette pal = w->palette();
    for (QPalette::ColorRole role : roles) {
        pal.setColor(QPalette::Active, role, color);
        pal.setColor(QPalette::Inactive, role, color);
    }
    w->setPalette(pal);
}

// The mark for a value that differs from what was last sent: an amber field with the value in
// bold, and the label in bold amber, so it reads at a glance without shouting.
void setMarked(Control &c, bool on)
{
    QWidget *w = c.widget;
    QLabel *label = c.label;
    if (on == c.marked) return;
    if (on) {
        c.plainPalette = w->palette();
        c.plainFont = w->font();
        QPalette pal = w->palette();
        for (QPalette::ColorRole role : {QPalette::Base, QPalette::Button}) {
            pal.setColor(QPalette::Active, role, QColor(0xFF, 0xEC, 0xB3));
            pal.setColor(QPalette::Inactive, role, QColor(0xFF, 0xEC, 0xB3));
        }
        w->setPalette(pal);
        QFont font = w->font();
        font.setBold(true);
        w->setFont(font);
        if (label) {
            // Labels of panel files are dressed by style sheets, which a palette cannot beat.
            c.plainLabelSheet = label->styleSheet();
            label->setStyleSheet(c.plainLabelSheet +
                                 QLatin1String("\ncolor: #9A5B00; font-weight: bold;"));
        }
    } else {
        w->setPalette(c.plainPalette);
        w->setFont(c.plainFont);
        if (label) label->setStyleSheet(c.plainLabelSheet);
    }
    c.marked = on;
}

void refit(Control &c)
{
    if (c.autoSize && c.widget) c.widget->adjustSize();
}

GraphControl *graphOf(int panel, int control, int *error)
{
    Control *c = findControl(panel, control, error);
    if (!c) return nullptr;
    auto *graph = qobject_cast<GraphControl *>(c->widget);
    if (!graph) *error = UIE_INVALID_CONTROL;
    return graph;
}

} // namespace

void kivrel::platform::dropValueText(Control &c)
{
    auto *spin = qobject_cast<QSpinBox *>(c.widget);
    if (!c.valueText || !spin) return;
    c.valueText = false;
    ProgramChange guard;
    spin->setSpecialValueText(QString());
    spin->setMinimum(c.plainMinimum);
}

int GetCtrlVal(int panel, int control, unsigned char *value)
{
    int error = 0;
    Control *c = findControl(panel, control, &error);
    if (!c) return error;
    if (c->type != ValueType::Byte) return mismatch("GetCtrlVal", panel, control, c->type, "byte");
    if (!value) return UIE_INVALID_ARGUMENT;
    *value = static_cast<unsigned char>(readInt(*c));
    return 0;
}

int GetCtrlVal(int panel, int control, int *value)
{
    int error = 0;
    Control *c = findControl(panel, control, &error);
    if (!c) return error;
    if (c->type != ValueType::Int) return mismatch("GetCtrlVal", panel, control, c->type, "int");
    if (!value) return UIE_INVALID_ARGUMENT;
    *value = readInt(*c);
    return 0;
}

int GetCtrlVal(int panel, int control, char *value)
{
    int error = 0;
    Control *c = findControl(panel, control, &error);
    if (!c) return error;
    if (c->type != ValueType::String)
        return mismatch("GetCtrlVal", panel, control, c->type, "string");
    if (!value) return UIE_INVALID_ARGUMENT;
    QByteArray bytes = readText(*c).toLocal8Bit();
    if (bytes.size() > 255) {
        bytes.truncate(255);
        // Never leave half a multi-byte character behind.
        while (!bytes.isEmpty() && (static_cast<unsigned char>(bytes.back()) & 0xC0) == 0x80)
            bytes.chop(1);
        if (!bytes.isEmpty() && (static_cast<unsigned char>(bytes.back()) & 0x80)) bytes.chop(1);
    }
    std::memcpy(value, bytes.constData(), size_t(bytes.size()));
    value[bytes.size()] = '\0';
    return 0;
}

int SetCtrlVal(int panel, int control, int value)
{
    int error = 0;
    Control *c = findControl(panel, control, &error);
    if (!c) return error;
    if (c->type == ValueType::Byte)
        value &= 0xFF;
    else if (c->type != ValueType::Int)
        return mismatch("SetCtrlVal", panel, control, c->type, "int");
    return writeInt(*c, value);
}

int SetCtrlVal(int panel, int control, const char *value)
{
    int error = 0;
    Control *c = findControl(panel, control, &error);
    if (!c) return error;
    if (c->type != ValueType::String)
        return mismatch("SetCtrlVal", panel, control, c->type, "string");
    return writeText(*c, QString::fromLocal8Bit(value ? value : ""));
}

int SetCtrlAttribute(int panel, int control, int attribute, int value)
{
    int error = 0;
    Panel *p = nullptr;
    Control *c = findControl(panel, control, &error, &p);
    if (!c) return error;
    QWidget *w = c->widget;
    QLabel *label = c->label;
    switch (attribute) {
    case ATTR_DIMMED:
        w->setEnabled(!value);
        if (label) label->setEnabled(!value);
        return 0;
    case ATTR_VISIBLE:
        w->setVisible(value != 0);
        if (label) label->setVisible(value != 0);
        return 0;
    case ATTR_LEFT:
    case ATTR_TOP: {
        const QPoint now = w->mapTo(p->window, QPoint());
        const QPoint delta =
            attribute == ATTR_LEFT ? QPoint(value - now.x(), 0) : QPoint(0, value - now.y());
        w->move(w->pos() + delta);
        if (label) label->move(label->pos() + delta);
        return 0;
    }
    case ATTR_FRAME_COLOR: {
        auto *frame = qobject_cast<QFrame *>(w);
        if (!frame) return UIE_INVALID_ATTRIBUTE;
        if (!validColor(value)) return UIE_INVALID_ARGUMENT;
        // A decoration takes its frame colour as a whole: the line (a plain frame is drawn in
        // the foreground colour; shaded ones ignore it) and the area it frames.
        if (frame->frameShadow() != QFrame::Plain) frame->setFrameShadow(QFrame::Plain);
        setRoles(frame, {QPalette::WindowText, QPalette::Window}, toColor(value));
        frame->setAutoFillBackground(true);
        c->frameColor = value;
        return 0;
    }
    case ATTR_TEXT_COLOR:
        if (!validColor(value)) return UIE_INVALID_ARGUMENT;
        setRoles(w, {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}, toColor(value));
        c->textColor = value;
        return 0;
    case ATTR_TEXT_BGCOLOR:
        if (value == VAL_TRANSPARENT) {
            w->setAutoFillBackground(false);
            setRoles(w, {QPalette::Window, QPalette::Base}, Qt::transparent);
        } else if (validColor(value)) {
            w->setAutoFillBackground(true);
            setRoles(w, {QPalette::Window, QPalette::Base, QPalette::Button}, toColor(value));
        } else {
            return UIE_INVALID_ARGUMENT;
        }
        c->bgColor = value;
        return 0;
    case ATTR_TEXT_POINT_SIZE: {
        if (value <= 0) return UIE_INVALID_ARGUMENT;
        // Text sizes of panel files are pixel heights, as the layouts made for them assume.
        QFont font = w->font();
        font.setPixelSize(value);
        w->setFont(font);
        refit(*c);
        return 0;
    }
    case ATTR_POINTS_PER_SCREEN: {
        auto *graph = qobject_cast<GraphControl *>(w);
        return graph ? graph->setPointsPerScreen(value) : UIE_INVALID_ATTRIBUTE;
    }
    case ATTR_MARKED: setMarked(*c, value != 0); return 0;
    default: return UIE_INVALID_ATTRIBUTE;
    }
}

int SetCtrlAttribute(int panel, int control, int attribute, const char *value)
{
    int error = 0;
    Control *c = findControl(panel, control, &error);
    if (!c) return error;
    const QString text = QString::fromLocal8Bit(value ? value : "");
    QWidget *w = c->widget;
    switch (attribute) {
    case ATTR_LABEL_TEXT:
        if (c->label) {
            c->label->setText(text);
        } else if (auto *button = qobject_cast<QAbstractButton *>(w)) {
            // setText() replaces the key with the new text's mnemonic, which would take away
            // the function key the panel file gave the button.
            const QKeySequence key = button->shortcut();
            button->setText(text);
            if (QKeySequence::mnemonic(text).isEmpty()) button->setShortcut(key);
        } else if (auto *msg = qobject_cast<QLabel *>(w); msg && c->autoSize) {
            msg->setText(text);
            refit(*c);
        } else {
            return UIE_INVALID_ATTRIBUTE;
        }
        return 0;
    case ATTR_TEXT_FONT: {
        if (text.isEmpty()) return UIE_INVALID_ARGUMENT;
        QFont font = w->font();
        // "NIApp" names the application's own font.
        font.setFamily(text == QLatin1String("NIApp") ? QApplication::font().family() : text);
        w->setFont(font);
        refit(*c);
        return 0;
    }
    case ATTR_DESCRIPTION: w->setAccessibleDescription(text); return 0;
    case ATTR_VALUE_TEXT: return showValueText(*c, text);
    default: return UIE_INVALID_ATTRIBUTE;
    }
}

int GetCtrlAttribute(int panel, int control, int attribute, int *value)
{
    int error = 0;
    Panel *p = nullptr;
    Control *c = findControl(panel, control, &error, &p);
    if (!c) return error;
    if (!value) return UIE_INVALID_ARGUMENT;
    QWidget *w = c->widget;
    switch (attribute) {
    case ATTR_DIMMED: *value = w->isEnabledTo(p->window) ? 0 : 1; return 0;
    case ATTR_VISIBLE: *value = w->isVisibleTo(p->window) ? 1 : 0; return 0;
    case ATTR_LEFT: *value = w->mapTo(p->window, QPoint()).x(); return 0;
    case ATTR_TOP: *value = w->mapTo(p->window, QPoint()).y(); return 0;
    case ATTR_FRAME_COLOR:
        if (!qobject_cast<QFrame *>(w)) return UIE_INVALID_ATTRIBUTE;
        *value = c->frameColor >= 0 ? c->frameColor
                                    : fromColor(w->palette().color(QPalette::WindowText));
        return 0;
    case ATTR_TEXT_COLOR:
        *value =
            c->textColor >= 0 ? c->textColor : fromColor(w->palette().color(w->foregroundRole()));
        return 0;
    case ATTR_TEXT_BGCOLOR: *value = c->bgColor >= 0 ? c->bgColor : VAL_TRANSPARENT; return 0;
    case ATTR_TEXT_POINT_SIZE:
        *value = w->font().pixelSize() > 0 ? w->font().pixelSize() : w->font().pointSize();
        return 0;
    case ATTR_POINTS_PER_SCREEN: {
        auto *graph = qobject_cast<GraphControl *>(w);
        if (!graph) return UIE_INVALID_ATTRIBUTE;
        *value = graph->pointsPerScreen();
        return 0;
    }
    case ATTR_MARKED: *value = c->marked ? 1 : 0; return 0;
    case ATTR_VALUE_TEXT_SHOWN: *value = c->valueText ? 1 : 0; return 0;
    default: return UIE_INVALID_ATTRIBUTE;
    }
}

int SetTraceAttribute(int panel, int control, int trace, int attribute, int value)
{
    int error = 0;
    GraphControl *graph = graphOf(panel, control, &error);
    if (!graph) return error;
    if (attribute != ATTR_TRACE_VISIBLE) return UIE_INVALID_ATTRIBUTE;
    return graph->setTraceVisible(trace, value != 0);
}

int NewCtrl(int panel, int style, const char *label, int top, int left)
{
    Panel *p = findPanel(panel);
    if (!p || !p->window) return UIE_INVALID_PANEL;
    if (style != CTRL_TEXT_MSG) return UIE_INVALID_ARGUMENT;
    const int id = p->controls.empty() ? 1 : p->controls.rbegin()->first + 1;
    auto *msg = new QLabel(QString::fromLocal8Bit(label ? label : ""), p->window);
    msg->setTextFormat(Qt::PlainText);
    msg->move(left, top);
    msg->adjustSize();
    msg->show();
    Control c;
    c.id = id;
    c.widget = msg;
    c.type = ValueType::String;
    c.autoSize = true;
    Control &stored = p->controls.emplace(id, c).first->second;
    attachControl(*p, stored);
    return id;
}

int ReplaceListItem(int panel, int control, int index, const char *text, int value)
{
    int error = 0;
    Control *c = findControl(panel, control, &error);
    if (!c) return error;
    auto *box = qobject_cast<QComboBox *>(c->widget);
    if (!box) return UIE_INVALID_CONTROL;
    if (index < 0 || index >= box->count()) return UIE_INVALID_ARGUMENT;
    ProgramChange guard;
    box->setItemText(index, QString::fromLocal8Bit(text ? text : ""));
    box->setItemData(index, value);
    return 0;
}

int DisplayImageFile(int panel, int control, const char *fileName)
{
    int error = 0;
    Control *c = findControl(panel, control, &error);
    if (!c) return error;
    auto *picture = qobject_cast<QLabel *>(c->widget);
    if (!picture) return UIE_INVALID_CONTROL;
    const QString path = resolveDataFile(QString::fromLocal8Bit(fileName ? fileName : ""));
    if (path.isEmpty()) return UIE_PANEL_FILE_NOT_FOUND;
    QPixmap pixmap;
    if (!pixmap.load(path)) return UIE_INVALID_ARGUMENT;
    // The panel's layout is drawn around the picture's box: fit the image into it.
    const QSize box = picture->size();
    if (box.width() > 1 && box.height() > 1)
        pixmap = pixmap.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    picture->setAlignment(Qt::AlignCenter);
    picture->setPixmap(pixmap);
    return 0;
}

int PlotY(int panel, int control, const void *array, int numPoints, int dataType, int plotStyle,
          int pointStyle, int lineStyle, int pointFrequency, int color)
{
    int error = 0;
    GraphControl *graph = graphOf(panel, control, &error);
    if (!graph) return error;
    return graph->plotY(array, numPoints, dataType, plotStyle, pointStyle, lineStyle,
                        pointFrequency, color);
}

int PlotStripChart(int panel, int control, const void *array, int numPoints, int startingIndex,
                   int skipCount, int dataType)
{
    int error = 0;
    GraphControl *graph = graphOf(panel, control, &error);
    if (!graph) return error;
    return graph->plotStripChart(array, numPoints, startingIndex, skipCount, dataType);
}

int DeleteGraphPlot(int panel, int control, int plotHandle, int refresh)
{
    int error = 0;
    GraphControl *graph = graphOf(panel, control, &error);
    if (!graph) return error;
    return graph->deletePlot(plotHandle, refresh);
}
