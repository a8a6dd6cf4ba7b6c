// Values in the control's own type, attributes, run-time text messages, list items, pictures
// and the calls forwarded to graph controls.
#include "testpanel_fixture.h"
#include "graph.h"

#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QImage>
#include <QLCDNumber>
#include <QLabel>
#include <QTemporaryDir>

#include <cstring>
#include <string>

using namespace kivrel::test;
using kivrel::platform::controlLabel;
using kivrel::platform::GraphControl;

using Values = UiTest;

TEST_F(Values, ByteIntAndStringMismatchesAreCaught)
{
    int i = 0x5A5A5A5A;
    unsigned char b = 0xA5;
    char s[8] = "keep";

    ::testing::internal::CaptureStderr();
    EXPECT_EQ(GetCtrlVal(panel, kByte, &i), UIE_TYPE_MISMATCH);
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(i, 0x5A5A5A5A);
    EXPECT_NE(err.find("panel " + std::to_string(panel)), std::string::npos) << err;
    EXPECT_NE(err.find("control 2"), std::string::npos) << err;
    EXPECT_NE(err.find("byte"), std::string::npos) << err;
    EXPECT_NE(err.find("int"), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1);

    ::testing::internal::CaptureStderr();
    EXPECT_EQ(GetCtrlVal(panel, kInt, &b), UIE_TYPE_MISMATCH);
    EXPECT_EQ(GetCtrlVal(panel, kInt, s), UIE_TYPE_MISMATCH);
    EXPECT_EQ(GetCtrlVal(panel, kStatus, &i), UIE_TYPE_MISMATCH);
    EXPECT_EQ(GetCtrlVal(panel, kCmdF8, &i), UIE_TYPE_MISMATCH); // holds no value
    EXPECT_EQ(SetCtrlVal(panel, kInt, "12"), UIE_TYPE_MISMATCH);
    EXPECT_EQ(SetCtrlVal(panel, kStatus, 12), UIE_TYPE_MISMATCH);
    err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 6) << err;
    EXPECT_EQ(b, 0xA5);
    EXPECT_STREQ(s, "keep");
    EXPECT_EQ(i, 0x5A5A5A5A);
}

TEST_F(Values, RoundTripInOwnTypes)
{
    unsigned char b = 0;
    int i = 0;
    char s[257];
    EXPECT_EQ(SetCtrlVal(panel, kByte, 200), 0);
    EXPECT_EQ(GetCtrlVal(panel, kByte, &b), 0);
    EXPECT_EQ(b, 200);
    EXPECT_EQ(SetCtrlVal(panel, kByte, 300), 0); // modulo 256
    EXPECT_EQ(GetCtrlVal(panel, kByte, &b), 0);
    EXPECT_EQ(b, 44);
    EXPECT_EQ(SetCtrlVal(panel, kInt, -12345), 0);
    EXPECT_EQ(GetCtrlVal(panel, kInt, &i), 0);
    EXPECT_EQ(i, -12345);
    EXPECT_EQ(SetCtrlVal(panel, kCheck, 1), 0);
    EXPECT_EQ(GetCtrlVal(panel, kCheck, &b), 0);
    EXPECT_EQ(b, 1);
    EXPECT_EQ(SetCtrlVal(panel, kToggle, 1), 0);
    EXPECT_EQ(GetCtrlVal(panel, kToggle, &i), 0);
    EXPECT_EQ(i, 1);
    EXPECT_EQ(SetCtrlVal(panel, kStatus, "  two\nlines"), 0);
    EXPECT_EQ(GetCtrlVal(panel, kStatus, s), 0);
    EXPECT_STREQ(s, "  two\nlines");
}

TEST_F(Values, SelectorsUseItemValues)
{
    int v = -1;
    auto *box = qobject_cast<QComboBox *>(widget(kSelector));
    ASSERT_TRUE(box);
    EXPECT_EQ(GetCtrlVal(panel, kSelector, &v), 0);
    EXPECT_EQ(v, 1); // first item, value 1
    EXPECT_EQ(SetCtrlVal(panel, kSelector, 0), 0);
    EXPECT_EQ(box->currentIndex(), 2);
    EXPECT_EQ(GetCtrlVal(panel, kSelector, &v), 0);
    EXPECT_EQ(v, 0);
    EXPECT_LT(SetCtrlVal(panel, kSelector, 7), 0);
    EXPECT_EQ(box->currentIndex(), 2);
}

TEST_F(Values, StringsStopAt256BytesWithNul)
{
    const std::string longText(400, 'x');
    EXPECT_EQ(SetCtrlVal(panel, kStatus, longText.c_str()), 0);
    char buf[300];
    std::memset(buf, '#', sizeof buf);
    EXPECT_EQ(GetCtrlVal(panel, kStatus, buf), 0);
    EXPECT_EQ(std::strlen(buf), 255u);
    for (size_t k = 256; k < sizeof buf; ++k)
        ASSERT_EQ(buf[k], '#') << k;
}

TEST_F(Values, IndicatorsShowInts)
{
    int v = 0;
    EXPECT_EQ(SetCtrlVal(panel, kLcd, 4711), 0);
    EXPECT_EQ(qobject_cast<QLCDNumber *>(widget(kLcd))->intValue(), 4711);
    EXPECT_EQ(GetCtrlVal(panel, kLcd, &v), 0);
    EXPECT_EQ(v, 4711);
    EXPECT_EQ(SetCtrlVal(panel, kIntIndicator, -3), 0);
    EXPECT_EQ(qobject_cast<QLabel *>(widget(kIntIndicator))->text(), QStringLiteral("-3"));
}

TEST_F(Values, InvalidHandlesAndControls)
{
    int v = 0;
    EXPECT_EQ(GetCtrlVal(panel + 40, kInt, &v), UIE_INVALID_PANEL);
    EXPECT_EQ(GetCtrlVal(panel, 999, &v), UIE_INVALID_CONTROL);
    EXPECT_EQ(SetCtrlVal(-1, kInt, 1), UIE_INVALID_PANEL);
    EXPECT_EQ(SetCtrlAttribute(panel, 999, ATTR_VISIBLE, 0), UIE_INVALID_CONTROL);
    EXPECT_EQ(SetCtrlAttribute(panel + 40, kInt, ATTR_VISIBLE, 0), UIE_INVALID_PANEL);
}

using Attributes = UiTest;

TEST_F(Attributes, LabelHidesDimsAndMovesWithItsControl)
{
    QWidget *spin = widget(kInt);
    QLabel *label = controlLabel(panel, kInt);
    ASSERT_TRUE(label);
    EXPECT_EQ(label->text(), QStringLiteral("Int"));

    EXPECT_EQ(SetCtrlAttribute(panel, kInt, ATTR_VISIBLE, 0), 0);
    EXPECT_TRUE(spin->isHidden());
    EXPECT_TRUE(label->isHidden());
    int v = -1;
    EXPECT_EQ(GetCtrlAttribute(panel, kInt, ATTR_VISIBLE, &v), 0);
    EXPECT_EQ(v, 0);
    EXPECT_EQ(SetCtrlAttribute(panel, kInt, ATTR_VISIBLE, 1), 0);
    EXPECT_FALSE(label->isHidden());

    EXPECT_EQ(SetCtrlAttribute(panel, kInt, ATTR_DIMMED, 1), 0);
    EXPECT_FALSE(spin->isEnabled());
    EXPECT_FALSE(label->isEnabled());
    EXPECT_EQ(GetCtrlAttribute(panel, kInt, ATTR_DIMMED, &v), 0);
    EXPECT_EQ(v, 1);
    EXPECT_EQ(SetCtrlAttribute(panel, kInt, ATTR_DIMMED, 0), 0);
    EXPECT_TRUE(label->isEnabled());

    const QPoint labelBefore = label->pos();
    EXPECT_EQ(SetCtrlAttribute(panel, kInt, ATTR_LEFT, 150), 0);
    EXPECT_EQ(SetCtrlAttribute(panel, kInt, ATTR_TOP, 300), 0);
    EXPECT_EQ(spin->pos(), QPoint(150, 300));
    EXPECT_EQ(label->pos(), labelBefore + QPoint(50, 260));
    EXPECT_EQ(GetCtrlAttribute(panel, kInt, ATTR_LEFT, &v), 0);
    EXPECT_EQ(v, 150);
    EXPECT_EQ(GetCtrlAttribute(panel, kInt, ATTR_TOP, &v), 0);
    EXPECT_EQ(v, 300);

    EXPECT_EQ(SetCtrlAttribute(panel, kInt, ATTR_LABEL_TEXT, "Counts"), 0);
    EXPECT_EQ(label->text(), QStringLiteral("Counts"));
}

TEST_F(Attributes, ColoursAndFonts)
{
    QWidget *status = widget(kStatus);
    int v = 0;
    EXPECT_EQ(SetCtrlAttribute(panel, kStatus, ATTR_TEXT_COLOR, 0xFF0000), 0);
    EXPECT_EQ(status->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    EXPECT_EQ(GetCtrlAttribute(panel, kStatus, ATTR_TEXT_COLOR, &v), 0);
    EXPECT_EQ(v, 0xFF0000);

    EXPECT_EQ(SetCtrlAttribute(panel, kStatus, ATTR_TEXT_BGCOLOR, 0x00FF00), 0);
    EXPECT_TRUE(status->autoFillBackground());
    EXPECT_EQ(status->palette().color(QPalette::Window), QColor(0, 255, 0));
    EXPECT_EQ(SetCtrlAttribute(panel, kStatus, ATTR_TEXT_BGCOLOR, VAL_TRANSPARENT), 0);
    EXPECT_FALSE(status->autoFillBackground());
    EXPECT_EQ(GetCtrlAttribute(panel, kStatus, ATTR_TEXT_BGCOLOR, &v), 0);
    EXPECT_EQ(v, VAL_TRANSPARENT);

    EXPECT_EQ(SetCtrlAttribute(panel, kDecoration, ATTR_FRAME_COLOR, 0x0000FF), 0);
    EXPECT_EQ(widget(kDecoration)->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    EXPECT_EQ(widget(kDecoration)->palette().color(QPalette::Window), QColor(0, 0, 255));
    EXPECT_TRUE(widget(kDecoration)->autoFillBackground()) << "the frame colour fills it";
    EXPECT_EQ(GetCtrlAttribute(panel, kDecoration, ATTR_FRAME_COLOR, &v), 0);
    EXPECT_EQ(v, 0x0000FF);
    EXPECT_EQ(SetCtrlAttribute(panel, kSelector, ATTR_FRAME_COLOR, 0), UIE_INVALID_ATTRIBUTE);

    // Text sizes are pixel heights, so layouts made for them keep their proportions.
    EXPECT_EQ(SetCtrlAttribute(panel, kStatus, ATTR_TEXT_POINT_SIZE, 17), 0);
    EXPECT_EQ(status->font().pixelSize(), 17);
    EXPECT_EQ(SetCtrlAttribute(panel, kStatus, ATTR_TEXT_FONT, "NIApp"), 0);
    EXPECT_EQ(status->font().family(), QApplication::font().family());
    EXPECT_EQ(status->font().pixelSize(), 17);
    EXPECT_EQ(GetCtrlAttribute(panel, kStatus, ATTR_TEXT_POINT_SIZE, &v), 0);
    EXPECT_EQ(v, 17);

    EXPECT_EQ(SetCtrlAttribute(panel, kStatus, 12345, 1), UIE_INVALID_ATTRIBUTE);
    EXPECT_EQ(SetCtrlAttribute(panel, kStatus, 12345, "x"), UIE_INVALID_ATTRIBUTE);
    EXPECT_EQ(GetCtrlAttribute(panel, kStatus, 12345, &v), UIE_INVALID_ATTRIBUTE);
}

using RunTimeControls = UiTest;

TEST_F(RunTimeControls, NewTextMessage)
{
    const int id = NewCtrl(panel, CTRL_TEXT_MSG, "Hello", 320, 12);
    ASSERT_GT(id, kIntIndicator);
    auto *msg = qobject_cast<QLabel *>(widget(id));
    ASSERT_TRUE(msg);
    EXPECT_EQ(msg->parentWidget(), kivrel::platform::panelWidget(panel));
    EXPECT_EQ(msg->pos(), QPoint(12, 320));
    EXPECT_EQ(msg->text(), QStringLiteral("Hello"));
    const int narrow = msg->width();
    EXPECT_EQ(SetCtrlVal(panel, id, "A much longer message than before"), 0);
    EXPECT_GT(msg->width(), narrow);
    EXPECT_EQ(SetCtrlAttribute(panel, id, ATTR_TEXT_COLOR, 0x123456), 0);
    EXPECT_EQ(msg->palette().color(QPalette::WindowText), QColor(0x12, 0x34, 0x56));
    EXPECT_EQ(SetCtrlAttribute(panel, id, ATTR_TEXT_BGCOLOR, 0xFFFF00), 0);
    EXPECT_EQ(msg->palette().color(QPalette::Window), QColor(255, 255, 0));

    const int second = NewCtrl(panel, CTRL_TEXT_MSG, "", 0, 0);
    EXPECT_GT(second, id);
    EXPECT_EQ(NewCtrl(panel, 42, "x", 0, 0), UIE_INVALID_ARGUMENT);
    EXPECT_EQ(NewCtrl(panel + 40, CTRL_TEXT_MSG, "x", 0, 0), UIE_INVALID_PANEL);
}

TEST_F(RunTimeControls, ReplaceListItem)
{
    auto *box = qobject_cast<QComboBox *>(widget(kSelector));
    EXPECT_EQ(ReplaceListItem(panel, kSelector, 1, "seven", 7), 0);
    EXPECT_EQ(box->itemText(1), QStringLiteral("seven"));
    EXPECT_EQ(SetCtrlVal(panel, kSelector, 7), 0);
    EXPECT_EQ(box->currentIndex(), 1);
    int v = 0;
    EXPECT_EQ(GetCtrlVal(panel, kSelector, &v), 0);
    EXPECT_EQ(v, 7);
    EXPECT_EQ(ReplaceListItem(panel, kSelector, 4, "x", 1), UIE_INVALID_ARGUMENT);
    EXPECT_EQ(ReplaceListItem(panel, kSelector, -1, "x", 1), UIE_INVALID_ARGUMENT);
    EXPECT_EQ(ReplaceListItem(panel, kInt, 0, "x", 1), UIE_INVALID_CONTROL);
    spin(0.01);
    EXPECT_TRUE(events().empty());
}

TEST_F(RunTimeControls, DisplayImageFile)
{
    QTemporaryDir dir;
    const QString png = dir.filePath(QStringLiteral("logo.png"));
    QImage image(40, 20, QImage::Format_RGB32);
    image.fill(Qt::red);
    ASSERT_TRUE(image.save(png));
    const QString bmp = dir.filePath(QStringLiteral("logo.bmp"));
    ASSERT_TRUE(image.save(bmp));

    auto *picture = qobject_cast<QLabel *>(widget(kPicture));
    ASSERT_TRUE(picture);
    EXPECT_EQ(DisplayImageFile(panel, kPicture, png.toLocal8Bit().constData()), 0);
    EXPECT_FALSE(picture->pixmap().isNull());
    EXPECT_EQ(DisplayImageFile(panel, kPicture, bmp.toLocal8Bit().constData()), 0);
    const QSize shown = picture->pixmap().size();
    EXPECT_LE(shown.width(), picture->width());
    EXPECT_LE(shown.height(), picture->height());

    EXPECT_LT(DisplayImageFile(panel, kPicture, "no_such_image.bmp"), 0);
    EXPECT_EQ(picture->pixmap().size(), shown);
    EXPECT_EQ(DisplayImageFile(panel, kInt, png.toLocal8Bit().constData()), UIE_INVALID_CONTROL);
}

using Graphs = UiTest;

TEST_F(Graphs, CallsReachTheGraphControlOnly)
{
    ASSERT_TRUE(qobject_cast<GraphControl *>(widget(kGraph)));
    const double data[4] = {1, 2, 3, 4};
    EXPECT_EQ(PlotY(panel, kInt, data, 4, VAL_DOUBLE, 0, 0, 0, 1, 0), UIE_INVALID_CONTROL);
    EXPECT_EQ(PlotStripChart(panel, kLcd, data, 4, 0, 0, VAL_DOUBLE), UIE_INVALID_CONTROL);
    EXPECT_EQ(DeleteGraphPlot(panel, kInt, -1, 1), UIE_INVALID_CONTROL);
    EXPECT_EQ(SetTraceAttribute(panel, kInt, 1, ATTR_TRACE_VISIBLE, 0), UIE_INVALID_CONTROL);
    EXPECT_EQ(SetCtrlAttribute(panel, kInt, ATTR_POINTS_PER_SCREEN, 50), UIE_INVALID_ATTRIBUTE);
    EXPECT_EQ(SetTraceAttribute(panel, kGraph, 1, ATTR_DIMMED, 0), UIE_INVALID_ATTRIBUTE);
    EXPECT_EQ(PlotY(panel + 40, kGraph, data, 4, VAL_DOUBLE, 0, 0, 0, 1, 0), UIE_INVALID_PANEL);

    // The graph itself answers these; whatever it says, it is not a routing error.
    EXPECT_NE(PlotStripChart(panel, kGraph, data, 4, 0, 0, VAL_DOUBLE), UIE_INVALID_CONTROL);
    EXPECT_NE(DeleteGraphPlot(panel, kGraph, -1, 1), UIE_INVALID_CONTROL);
    EXPECT_NE(SetTraceAttribute(panel, kGraph, 1, ATTR_TRACE_VISIBLE, 0), UIE_INVALID_CONTROL);
    EXPECT_NE(SetCtrlAttribute(panel, kGraph, ATTR_POINTS_PER_SCREEN, 50), UIE_INVALID_ATTRIBUTE);
    int pts = -1;
    EXPECT_EQ(GetCtrlAttribute(panel, kGraph, ATTR_POINTS_PER_SCREEN, &pts), 0);
}
