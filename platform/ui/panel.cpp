// Panels: loading Qt Designer forms from panel files, binding callback names, handles, and
// routing the operator's actions to callbacks.
//
// Panel file conventions (dynamic properties in the form):
//   top-level widget  panelId (int, must equal the resource id asked for), callback (optional)
//   control widget    ctrlId (int), callback (optional), valueType "byte" | "int" | "string"
//   QComboBox         itemValues "1,2,0,3": each item's value in item order (default: index)
//   QLabel with buddy the label of its buddy control
// The custom class QCustomPlot becomes a GraphControl; PortSelector, a QComboBox whose items
// name the device behind each port number.
// Widget classes and what they raise when the operator acts:
//   QSpinBox (numeric input)           VAL_CHANGED, COMMIT on a new value
//   QComboBox (selector)               VAL_CHANGED (new item only), COMMIT
//   checkable QPushButton, QCheckBox   VAL_CHANGED, COMMIT; value 0/1
//   QPushButton (command, `shortcut`)  COMMIT
//   editable QLineEdit                 VAL_CHANGED, COMMIT on a new text
//   QLCDNumber, QLabel, read-only QLineEdit, QFrame, graphs: right-click only
// Every control with a callback gets RIGHT_CLICK, dimmed or not.
#include "runtime_p.h"
#include "graph.h"
#include "graveyard.h"
#include "panel_p.h"
#include "portselector.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMouseEvent>
#include <QSpinBox>
#include <QTimer>
#include <QUiLoader>
#include <QXmlStreamReader>

#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

#ifndef KIVREL_DATA_DIR
#define KIVREL_DATA_DIR ""
#endif

namespace kivrel::platform
{
namespace
{

struct Registry;
Registry &reg();
int closeAllPanels();

struct Registry {
    Registry() { onTerminationRequest(closeAllPanels); }

    std::map<int, std::unique_ptr<Panel>> panels;
    quint64 nextSerial = 1;
    int dispatchDepth = 0;
    int programChange = 0;
    QPointer<QObject> filter;
    QPointer<QCoreApplication> filterApp;
    // Windows discarded while a callback ran.
    Graveyard graveyard{[] { return reg().dispatchDepth > 0; }};
};

Registry &reg()
{
    static Registry r;
    return r;
}

void warn(const QString &message)
{
    std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
    std::fflush(stderr);
}

class PanelLoader : public QUiLoader
{
  public:
    QWidget *createWidget(const QString &className, QWidget *parent, const QString &name) override
    {
        if (className == QLatin1String("QCustomPlot")) {
            auto *graph = new GraphControl(parent);
            graph->setObjectName(name);
            return graph;
        }
        if (className == QLatin1String("PortSelector")) {
            auto *selector = new PortSelector(parent);
            selector->setObjectName(name);
            return selector;
        }
        return QUiLoader::createWidget(className, parent, name);
    }
};

// The control (of a live panel) that a widget belongs to: itself or its nearest tagged
// ancestor, so a spin box's inner line edit counts as the spin box.
bool controlOf(QObject *obj, quint64 *serial, int *ctrl, QWidget **tagged)
{
    for (QWidget *w = qobject_cast<QWidget *>(obj); w; w = w->parentWidget()) {
        const QVariant s = w->property(kPanelSerialProperty);
        if (s.isValid()) {
            if (!findPanelBySerial(s.toULongLong())) return false;
            *serial = s.toULongLong();
            *ctrl = w->property(kCtrlIdProperty).toInt();
            *tagged = w;
            return true;
        }
        if (w->isWindow()) break;
    }
    return false;
}

// How many callbacks of a command button run, on the button.
constexpr char kRunningProperty[] = "_kvRunning";

Panel *panelOfWindow(QObject *obj)
{
    for (auto &entry : reg().panels)
        if (entry.second->window == obj) return entry.second.get();
    return nullptr;
}

// Application-wide, because disabled widgets never see mouse events in event() while filters
// still do, and because composite widgets hide their children from the panel.
class EventRouter : public QObject
{
  protected:
    bool eventFilter(QObject *obj, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick: {
            auto *me = static_cast<QMouseEvent *>(event);
            if (me->button() != Qt::RightButton) return false;
            quint64 serial = 0;
            int ctrl = 0;
            QWidget *w = nullptr;
            if (!controlOf(obj, &serial, &ctrl, &w)) return false;
            event->accept();
            if (event->type() == QEvent::MouseButtonPress) {
                Panel *p = findPanelBySerial(serial);
                QPoint pos = w->mapTo(w->window(), QPoint());
                if (auto *src = qobject_cast<QWidget *>(obj))
                    pos = src->mapTo(src->window(), me->position().toPoint());
                if (p && p->window && p->window != w->window())
                    pos = p->window->mapFromGlobal(w->window()->mapToGlobal(pos));
                dispatchControlEvent(serial, ctrl, EVENT_RIGHT_CLICK, pos.y(), pos.x());
            }
            return true;
        }
        case QEvent::ContextMenu: {
            quint64 serial = 0;
            int ctrl = 0;
            QWidget *w = nullptr;
            if (!controlOf(obj, &serial, &ctrl, &w)) return false;
            event->accept();
            return true; // right-click belongs to the program's help, not to Qt's menus
        }
        case QEvent::FocusOut: {
            // A button lets go of its pressed look when it loses focus; one whose callback
            // still runs keeps it.
            auto *button = qobject_cast<QAbstractButton *>(obj);
            if (!button || button->property(kRunningProperty).toInt() <= 0) return false;
            obj->event(event); // what the button does on losing focus, then the look back
            button->setDown(true);
            return true;
        }
        case QEvent::Close: {
            Panel *p = panelOfWindow(obj);
            if (!p) return false;
            // The window stays until the program discards the panel.
            static_cast<QCloseEvent *>(event)->ignore();
            dispatchPanelEvent(p->serial, EVENT_CLOSE, 0, 0);
            return true;
        }
        default: return false;
        }
    }
};

void ensureRouter()
{
    Registry &r = reg();
    QCoreApplication *app = QCoreApplication::instance();
    if (r.filter && r.filterApp == app) return;
    delete r.filter.data();
    auto *router = new EventRouter;
    router->setParent(app);
    app->installEventFilter(router);
    r.filter = router;
    r.filterApp = app;
}

int allocateHandle()
{
    int handle = 1;
    for (const auto &entry : reg().panels) {
        if (entry.first != handle) break;
        ++handle;
    }
    return handle;
}

bool wellFormedForm(QIODevice *device)
{
    QXmlStreamReader xml(device);
    bool sawRoot = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && !sawRoot) {
            if (xml.name() != QLatin1String("ui")) return false;
            sawRoot = true;
        }
    }
    return sawRoot && !xml.hasError();
}

bool parseValueType(const QVariant &v, ValueType *type)
{
    const QString s = v.toString().trimmed().toLower();
    if (!v.isValid() || s.isEmpty())
        *type = ValueType::None;
    else if (s == QLatin1String("byte"))
        *type = ValueType::Byte;
    else if (s == QLatin1String("int"))
        *type = ValueType::Int;
    else if (s == QLatin1String("string"))
        *type = ValueType::String;
    else
        return false;
    return true;
}

bool applyItemValues(QComboBox *box, const QVariant &prop)
{
    if (!prop.isValid()) {
        for (int i = 0; i < box->count(); ++i)
            box->setItemData(i, i);
        return true;
    }
    const QStringList parts = prop.toString().split(QLatin1Char(','), Qt::SkipEmptyParts);
    if (parts.size() != box->count()) return false;
    for (int i = 0; i < parts.size(); ++i) {
        bool ok = false;
        const int value = parts[i].trimmed().toInt(&ok, 0);
        if (!ok) return false;
        box->setItemData(i, value);
    }
    return true;
}

// KIVREL_TRACE_STARTUP=1: once the first panel shown has been painted, one line on stderr
// with the steady clock in nanoseconds, for the start-up benchmark.
class FirstPaintTrace : public QObject
{
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject *obj, QEvent *event) override
    {
        if (obj == parent() && event->type() == QEvent::Paint && !posted_) {
            posted_ = true;
            // Posted, so the line goes out after this paint and its children's have finished.
            QMetaObject::invokeMethod(
                this,
                [this] {
                    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                        std::chrono::steady_clock::now().time_since_epoch());
                    std::fprintf(stderr, "kivrel: panel shown at %lld ns\n",
                                 static_cast<long long>(ns.count()));
                    std::fflush(stderr);
                    deleteLater();
                },
                Qt::QueuedConnection);
        }
        return false;
    }

  private:
    bool posted_ = false;
};

void traceFirstPaint(QWidget *window)
{
    static bool done = false;
    if (done || qEnvironmentVariableIntValue("KIVREL_TRACE_STARTUP") != 1) return;
    done = true;
    window->installEventFilter(new FirstPaintTrace(window));
}

} // namespace

ProgramChange::ProgramChange()
{
    ++reg().programChange;
}
ProgramChange::~ProgramChange()
{
    --reg().programChange;
}
bool ProgramChange::active()
{
    return reg().programChange > 0;
}

Panel *findPanel(int handle)
{
    auto it = reg().panels.find(handle);
    return it == reg().panels.end() ? nullptr : it->second.get();
}

Panel *findPanelBySerial(quint64 serial)
{
    for (auto &entry : reg().panels)
        if (entry.second->serial == serial) return entry.second.get();
    return nullptr;
}

Control *findControl(int panel, int control, int *error, Panel **owner)
{
    Panel *p = findPanel(panel);
    if (!p || !p->window) {
        *error = UIE_INVALID_PANEL;
        return nullptr;
    }
    auto it = p->controls.find(control);
    if (it == p->controls.end() || !it->second.widget) {
        *error = UIE_INVALID_CONTROL;
        return nullptr;
    }
    if (owner) *owner = p;
    *error = 0;
    return &it->second;
}

QString resolveDataFile(const QString &fileName)
{
    if (fileName.isEmpty()) return {};
    if (QFileInfo(fileName).fileName() != fileName)
        return QFileInfo::exists(fileName) ? fileName : QString();
    QStringList dirs;
    if (QCoreApplication::instance()) dirs << QCoreApplication::applicationDirPath();
    // Installed, the data lie in share/kivrel beside bin/, wherever the prefix was.
    if (QCoreApplication::instance())
        dirs << QCoreApplication::applicationDirPath() + QStringLiteral("/../share/kivrel");
    const QString dataDir = QStringLiteral(KIVREL_DATA_DIR);
    if (!dataDir.isEmpty()) dirs << dataDir;
    dirs << QDir::currentPath();
    for (const QString &dir : dirs) {
        const QString path = QDir(dir).filePath(fileName);
        if (QFileInfo(path).isFile()) return path;
    }
    return {};
}

// A spin box interprets typed text only on Enter or when it loses focus, and a function key's
// click moves no focus: F9 right after typing would send the old value while the field shows
// the new one. So before any event reaches a callback, the field being edited takes its text
// as Enter would (invalid text falls back the same way); its own events come first.
void confirmPendingEdit()
{
    static bool confirming = false;
    if (confirming) return;
    QWidget *w = QApplication::focusWidget();
    while (w && !qobject_cast<QAbstractSpinBox *>(w) && !w->isWindow())
        w = w->parentWidget();
    auto *spin = qobject_cast<QAbstractSpinBox *>(w);
    if (!spin) return;
    confirming = true;
    spin->interpretText();
    confirming = false;
}

namespace
{

// A command button shows pressed while its callback runs: Go for as long as it polls, Send and
// Get through their transfers, so a loop that ended or one that holds the program shows.
class RunningCommand
{
  public:
    RunningCommand(QWidget *widget, int event)
    {
        auto *b = qobject_cast<QAbstractButton *>(widget);
        if (event != EVENT_COMMIT || !b || b->isCheckable()) return;
        button_ = b;
        b->setProperty(kRunningProperty, b->property(kRunningProperty).toInt() + 1);
        b->setDown(true);
    }
    ~RunningCommand()
    {
        if (!button_) return;
        const int running = button_->property(kRunningProperty).toInt() - 1;
        button_->setProperty(kRunningProperty, running);
        button_->setDown(running > 0); // another press of it may still run outside this one
    }
    RunningCommand(const RunningCommand &) = delete;
    RunningCommand &operator=(const RunningCommand &) = delete;

  private:
    QPointer<QAbstractButton> button_;
};

} // namespace

void dispatchControlEvent(quint64 serial, int control, int event, int data1, int data2)
{
    confirmPendingEdit();
    Panel *p = findPanelBySerial(serial);
    if (!p) return;
    auto it = p->controls.find(control);
    if (it == p->controls.end() || !it->second.callback) return;
    const CtrlCallbackPtr callback = it->second.callback;
    const int handle = p->handle;
    const RunningCommand running(it->second.widget, event);
    Registry &r = reg();
    ++r.dispatchDepth;
    callback(handle, control, event, nullptr, data1, data2);
    --r.dispatchDepth;
}

void dispatchPanelEvent(quint64 serial, int event, int data1, int data2)
{
    Panel *p = findPanelBySerial(serial);
    if (!p || !p->callback) return;
    const PanelCallbackPtr callback = p->callback;
    const int handle = p->handle;
    Registry &r = reg();
    ++r.dispatchDepth;
    callback(handle, event, nullptr, data1, data2);
    --r.dispatchDepth;
}

namespace
{

// Gives every top-level panel with a callback the close event, as if the operator had closed
// its window. Returns how many panels got it.
int closeAllPanels()
{
    std::vector<quint64> serials;
    for (auto &entry : reg().panels)
        if (entry.second->callback && entry.second->window && !entry.second->window->parentWidget())
            serials.push_back(entry.second->serial);
    for (quint64 serial : serials)
        dispatchPanelEvent(serial, EVENT_CLOSE, 0, 0);
    return int(serials.size());
}

} // namespace

void attachControl(Panel &panel, Control &control)
{
    QWidget *w = control.widget;
    const quint64 serial = panel.serial;
    const int id = control.id;
    for (QWidget *tagged : {w, static_cast<QWidget *>(control.label.data())}) {
        if (!tagged) continue;
        tagged->setProperty(kPanelSerialProperty, QVariant::fromValue(serial));
        tagged->setProperty(kCtrlIdProperty, id);
    }
    // Only the operator's actions reach callbacks: user-only signals where Qt has them, and
    // ProgramChange around the program's own changes where it does not.
    auto changed = [serial, id] {
        dispatchControlEvent(serial, id, EVENT_VAL_CHANGED, 0, 0);
        dispatchControlEvent(serial, id, EVENT_COMMIT, 0, 0);
    };
    if (auto *spin = qobject_cast<QSpinBox *>(w)) {
        spin->setKeyboardTracking(false);
        QObject::connect(spin, &QSpinBox::valueChanged, spin, [serial, id, changed](int) {
            if (ProgramChange::active()) return;
            // The operator's own value replaces a text shown in place of the number.
            if (Panel *p = findPanelBySerial(serial); p && p->controls.count(id))
                dropValueText(p->controls[id]);
            changed();
        });
    } else if (auto *box = qobject_cast<QComboBox *>(w)) {
        control.lastIndex = box->currentIndex();
        QObject::connect(box, &QComboBox::activated, box, [serial, id](int index) {
            Panel *p = findPanelBySerial(serial);
            if (!p || !p->controls.count(id)) return;
            int &last = p->controls[id].lastIndex;
            const bool differs = last != index;
            last = index;
            if (differs) dispatchControlEvent(serial, id, EVENT_VAL_CHANGED, 0, 0);
            dispatchControlEvent(serial, id, EVENT_COMMIT, 0, 0);
        });
    } else if (auto *button = qobject_cast<QAbstractButton *>(w)) {
        const bool toggle = button->isCheckable();
        QObject::connect(button, &QAbstractButton::clicked, button, [serial, id, toggle, changed] {
            if (toggle)
                changed();
            else
                dispatchControlEvent(serial, id, EVENT_COMMIT, 0, 0);
        });
    } else if (auto *edit = qobject_cast<QLineEdit *>(w); edit && !edit->isReadOnly()) {
        control.lastText = edit->text();
        QObject::connect(edit, &QLineEdit::editingFinished, edit, [serial, id, edit, changed] {
            Panel *p = findPanelBySerial(serial);
            if (!p || !p->controls.count(id) || p->controls[id].lastText == edit->text()) return;
            p->controls[id].lastText = edit->text();
            changed();
        });
    }
}

QWidget *panelWidget(int panel)
{
    Panel *p = findPanel(panel);
    return p ? p->window.data() : nullptr;
}

QWidget *controlWidget(int panel, int control)
{
    int error = 0;
    Control *c = findControl(panel, control, &error);
    return c ? c->widget.data() : nullptr;
}

QLabel *controlLabel(int panel, int control)
{
    int error = 0;
    Control *c = findControl(panel, control, &error);
    return c ? c->label.data() : nullptr;
}

} // namespace kivrel::platform

using namespace kivrel::platform;

int LoadPanel(int parentPanel, const char *fileName, int resourceId)
{
    if (!runtimeUp()) return UIE_NOT_INITIALISED;
    if (!fileName) return UIE_INVALID_ARGUMENT;
    QWidget *parentWindow = nullptr;
    if (parentPanel != 0) {
        Panel *parent = findPanel(parentPanel);
        if (!parent || !parent->window) return UIE_INVALID_PANEL;
        parentWindow = parent->window;
    }
    const QString name = QString::fromLocal8Bit(fileName);
    const QString path = resolveDataFile(name);
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly)) {
        warn(QStringLiteral("LoadPanel: panel file %1 not found").arg(name));
        return UIE_PANEL_FILE_NOT_FOUND;
    }
    // QUiLoader quietly builds half a form from broken XML; refuse it before.
    if (!wellFormedForm(&file) || !file.seek(0)) {
        warn(QStringLiteral("LoadPanel: %1 is not a panel file").arg(path));
        return UIE_BAD_PANEL_FILE;
    }
    PanelLoader loader;
    loader.setWorkingDirectory(QFileInfo(path).absoluteDir());
    std::unique_ptr<QWidget> form(loader.load(&file, nullptr));
    if (!form) {
        warn(QStringLiteral("LoadPanel: %1: %2").arg(path, loader.errorString()));
        return UIE_BAD_PANEL_FILE;
    }
    bool ok = false;
    const int fileId = form->property("panelId").toInt(&ok);
    if (!ok || fileId != resourceId) {
        warn(QStringLiteral("LoadPanel: %1 holds no panel %2").arg(path).arg(resourceId));
        return UIE_BAD_PANEL_FILE;
    }

    auto panel = std::make_unique<Panel>();
    bool unknownCallback = false;
    auto bind = [&](const QVariant &prop) -> const void * {
        const QString cb = prop.toString().trimmed();
        if (cb.isEmpty()) return nullptr;
        const void *fn = lookupFunction(cb);
        if (!fn) {
            warn(QStringLiteral("LoadPanel: %1: unknown callback %2").arg(path, cb));
            unknownCallback = true;
        }
        return fn;
    };
    panel->callback =
        reinterpret_cast<PanelCallbackPtr>(const_cast<void *>(bind(form->property("callback"))));

    const QList<QWidget *> widgets = form->findChildren<QWidget *>();
    for (QWidget *w : widgets) {
        const QVariant idProp = w->property("ctrlId");
        if (!idProp.isValid()) continue;
        Control c;
        c.id = idProp.toInt(&ok);
        if (!ok || panel->controls.count(c.id)) {
            warn(QStringLiteral("LoadPanel: %1: bad or repeated ctrlId on %2")
                     .arg(path, w->objectName()));
            return UIE_BAD_PANEL_FILE;
        }
        if (!parseValueType(w->property("valueType"), &c.type)) {
            warn(QStringLiteral("LoadPanel: %1: bad valueType on %2").arg(path, w->objectName()));
            return UIE_BAD_PANEL_FILE;
        }
        if (auto *box = qobject_cast<QComboBox *>(w);
            box && !applyItemValues(box, w->property("itemValues"))) {
            warn(QStringLiteral("LoadPanel: %1: itemValues of %2 do not match its items")
                     .arg(path, w->objectName()));
            return UIE_BAD_PANEL_FILE;
        }
        c.callback =
            reinterpret_cast<CtrlCallbackPtr>(const_cast<void *>(bind(w->property("callback"))));
        c.widget = w;
        panel->controls.emplace(c.id, c);
    }
    if (unknownCallback) return UIE_UNKNOWN_CALLBACK;
    for (auto *label : form->findChildren<QLabel *>()) {
        QWidget *buddy = label->buddy();
        if (!buddy) continue;
        const QVariant idProp = buddy->property("ctrlId");
        if (idProp.isValid() && panel->controls.count(idProp.toInt()))
            panel->controls[idProp.toInt()].label = label;
    }
    for (auto *graph : form->findChildren<GraphControl *>())
        graph->setup();
    for (auto *selector : form->findChildren<PortSelector *>())
        selector->relabel(false); // the first open or the first list looks

    ensureRouter();
    Registry &r = reg();
    panel->handle = allocateHandle();
    panel->serial = r.nextSerial++;
    if (parentWindow) {
        form->setParent(parentWindow, Qt::Widget);
    }
    panel->window = form.release();
    for (auto &entry : panel->controls)
        attachControl(*panel, entry.second);
    const int handle = panel->handle;
    r.panels.emplace(handle, std::move(panel));
    return handle;
}

int DisplayPanel(int panel)
{
    Panel *p = findPanel(panel);
    if (!p || !p->window) return UIE_INVALID_PANEL;
    p->window->show();
    p->window->raise();
    p->window->activateWindow();
    traceFirstPaint(p->window);
    return 0;
}

int SetPanelAttribute(int panel, int attribute, int value)
{
    Panel *p = findPanel(panel);
    if (!p || !p->window) return UIE_INVALID_PANEL;
    if (attribute != ATTR_WINDOW_MODIFIED) return UIE_INVALID_ATTRIBUTE;
    p->window->setWindowModified(value != 0);
    return 0;
}

int SetPanelAttribute(int panel, int attribute, const char *value)
{
    Panel *p = findPanel(panel);
    if (!p || !p->window) return UIE_INVALID_PANEL;
    if (attribute != ATTR_TITLE) return UIE_INVALID_ATTRIBUTE;
    // Qt shows the unsaved-work mark where the title holds "[*]".
    QString title = QString::fromLocal8Bit(value ? value : "");
    if (!title.contains(QLatin1String("[*]"))) title += QLatin1String("[*]");
    p->window->setWindowTitle(title);
    return 0;
}

int DiscardPanel(int panel)
{
    Registry &r = reg();
    Panel *p = findPanel(panel);
    if (!p) return UIE_INVALID_PANEL;
    QPointer<QWidget> window = p->window;
    // Child panels live inside this window and go with it.
    for (auto it = r.panels.begin(); it != r.panels.end();) {
        QWidget *w = it->second->window;
        if (it->first == panel || !w || (window && window->isAncestorOf(w)))
            it = r.panels.erase(it);
        else
            ++it;
    }
    // A callback may still be running on one of its widgets.
    if (window) r.graveyard.discard(window);
    return 0;
}
