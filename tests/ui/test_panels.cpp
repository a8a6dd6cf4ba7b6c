// Loading panels, handles, and the operator's actions reaching callbacks.
#include "testpanel_fixture.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWindow>

using namespace kivrel::test;
using kivrel::platform::panelWidget;

namespace
{

std::vector<int> eventCodes(int control)
{
    std::vector<int> codes;
    for (const Event &e : events())
        if (e.control == control) codes.push_back(e.event);
    return codes;
}

QString writeVariant(const QTemporaryDir &dir, const QByteArray &text)
{
    const QString path = dir.filePath(QStringLiteral("variant.uir"));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return {};
    f.write(text);
    return path;
}

int visibleMenus()
{
    int n = 0;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (qobject_cast<QMenu *>(w) && w->isVisible()) ++n;
    return n;
}

// What the windowing system sends after a right press; QTest's mouse clicks do not.
void requestContextMenu(QWidget *w)
{
    const QPoint pos(w->width() / 2, w->height() / 2);
    QContextMenuEvent event(QContextMenuEvent::Mouse, pos, w->mapToGlobal(pos));
    QApplication::sendEvent(w, &event);
}

class Loading : public ::testing::Test
{
  protected:
    void SetUp() override { ASSERT_TRUE(InitCVIRTE(nullptr, &nameTable(), nullptr)); }
};

} // namespace

TEST_F(Loading, BindsCallbackNamesAndStaysHiddenUntilDisplayed)
{
    const int p = LoadPanel(0, panelPath().toLocal8Bit().constData(), kPanelId);
    ASSERT_GE(p, 1);
    QWidget *w = panelWidget(p);
    ASSERT_TRUE(w);
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(DisplayPanel(p), 0);
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(DiscardPanel(p), 0);
}

TEST_F(Loading, UnknownCallbackNameFailsAndShowsNothing)
{
    QTemporaryDir dir;
    QByteArray text = panelText();
    const QByteArray name = "<string>CtrlCb</string>";
    const qsizetype at = text.indexOf(name);
    ASSERT_GE(at, 0);
    text.replace(at, name.size(), "<string>NoSuchCallback</string>");
    ASSERT_TRUE(text.contains("NoSuchCallback"));
    const QString path = writeVariant(dir, text);
    const int before = int(QApplication::topLevelWidgets().size());
    ::testing::internal::CaptureStderr();
    const int p = LoadPanel(0, path.toLocal8Bit().constData(), kPanelId);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(p, UIE_UNKNOWN_CALLBACK);
    EXPECT_NE(err.find("NoSuchCallback"), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_EQ(int(QApplication::topLevelWidgets().size()), before);
}

TEST_F(Loading, UnknownPanelCallbackFails)
{
    QTemporaryDir dir;
    QByteArray text = panelText();
    text.replace("<string>PanelCb</string>", "<string>PanelGone</string>");
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(LoadPanel(0, writeVariant(dir, text).toLocal8Bit().constData(), kPanelId),
              UIE_UNKNOWN_CALLBACK);
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("PanelGone"), std::string::npos);
}

TEST_F(Loading, MissingFile)
{
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(LoadPanel(0, "no_such_panel_file.uir", 1), UIE_PANEL_FILE_NOT_FOUND);
    EXPECT_EQ(LoadPanel(0, "/nonexistent/dir/panel.uir", 1), UIE_PANEL_FILE_NOT_FOUND);
    ::testing::internal::GetCapturedStderr();
}

TEST_F(Loading, MalformedFile)
{
    QTemporaryDir dir;
    const QByteArray text = panelText();
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(LoadPanel(0, writeVariant(dir, text.left(text.size() / 2)).toLocal8Bit(), 1),
              UIE_BAD_PANEL_FILE);
    EXPECT_EQ(LoadPanel(0, writeVariant(dir, "not a panel at all").toLocal8Bit(), 1),
              UIE_BAD_PANEL_FILE);
    ::testing::internal::GetCapturedStderr();
}

TEST_F(Loading, ResourceIdMustMatchThePanel)
{
    ::testing::internal::CaptureStderr();
    EXPECT_LT(LoadPanel(0, panelPath().toLocal8Bit().constData(), 2), 0);
    ::testing::internal::GetCapturedStderr();
}

TEST_F(Loading, PlainNameResolvesBesideTheExecutable)
{
    const int p = LoadPanel(0, "testpanel.uir", kPanelId);
    ASSERT_GE(p, 1);
    EXPECT_EQ(DiscardPanel(p), 0);
}

TEST_F(Loading, DiscardDeletesWidgetsAndInvalidatesHandle)
{
    const int p = LoadPanel(0, panelPath().toLocal8Bit().constData(), kPanelId);
    ASSERT_GE(p, 1);
    QPointer<QWidget> w = panelWidget(p);
    ASSERT_TRUE(w);
    EXPECT_EQ(DiscardPanel(p), 0);
    EXPECT_TRUE(w.isNull());
    EXPECT_EQ(DisplayPanel(p), UIE_INVALID_PANEL);
    EXPECT_EQ(DiscardPanel(p), UIE_INVALID_PANEL);
    int v = 0;
    EXPECT_EQ(GetCtrlVal(p, kInt, &v), UIE_INVALID_PANEL);
}

TEST_F(Loading, HandlesAreSmallAndDistinct)
{
    const QByteArray path = panelPath().toLocal8Bit();
    const int a = LoadPanel(0, path, kPanelId);
    const int b = LoadPanel(0, path, kPanelId);
    ASSERT_GE(a, 1);
    ASSERT_GE(b, 1);
    EXPECT_NE(a, b);
    EXPECT_LT(a, 16);
    EXPECT_LT(b, 16);
    EXPECT_EQ(DiscardPanel(a), 0);
    EXPECT_EQ(DiscardPanel(b), 0);
}

using Events = UiTest;

TEST_F(Events, ProgramSetValuesRaiseNoEvent)
{
    show();
    EXPECT_EQ(SetCtrlVal(panel, kByte, 12), 0);
    EXPECT_EQ(SetCtrlVal(panel, kInt, -500), 0);
    EXPECT_EQ(SetCtrlVal(panel, kSelector, 3), 0);
    EXPECT_EQ(SetCtrlVal(panel, kToggle, 1), 0);
    EXPECT_EQ(SetCtrlVal(panel, kCheck, 1), 0);
    EXPECT_EQ(SetCtrlVal(panel, kTextLine, "text"), 0);
    EXPECT_EQ(ReplaceListItem(panel, kSelector, 3, "drei", 9), 0);
    spin(0.03);
    EXPECT_TRUE(events().empty());
}

TEST_F(Events, OperatorChangeRaisesValChangedThenCommit)
{
    show();
    QTest::mouseClick(widget(kToggle), Qt::LeftButton);
    EXPECT_EQ(eventCodes(kToggle), (std::vector<int>{EVENT_VAL_CHANGED, EVENT_COMMIT}));
    int v = -1;
    EXPECT_EQ(GetCtrlVal(panel, kToggle, &v), 0);
    EXPECT_EQ(v, 1);

    QTest::mouseClick(widget(kCheck), Qt::LeftButton);
    EXPECT_EQ(eventCodes(kCheck), (std::vector<int>{EVENT_VAL_CHANGED, EVENT_COMMIT}));

    // Arrow step on a spin box.
    QTest::keyClick(widget(kInt), Qt::Key_Up);
    EXPECT_EQ(eventCodes(kInt), (std::vector<int>{EVENT_VAL_CHANGED, EVENT_COMMIT}));

    // Picking another item; from the item with value 1 down to the item with value 2.
    QTest::keyClick(widget(kSelector), Qt::Key_Down);
    EXPECT_EQ(eventCodes(kSelector), (std::vector<int>{EVENT_VAL_CHANGED, EVENT_COMMIT}));
    EXPECT_EQ(GetCtrlVal(panel, kSelector, &v), 0);
    EXPECT_EQ(v, 2);

    // A command button commits only.
    QTest::mouseClick(widget(kCmdF8), Qt::LeftButton);
    EXPECT_EQ(eventCodes(kCmdF8), (std::vector<int>{EVENT_COMMIT}));
    for (const Event &e : events())
        EXPECT_EQ(e.panel, panel);
}

TEST_F(Events, TypedValueCommitsOnceOnEnter)
{
    show();
    auto *spin = qobject_cast<QSpinBox *>(widget(kByte));
    ASSERT_TRUE(spin);
    spin->setFocus();
    auto *edit = spin->findChild<QLineEdit *>();
    ASSERT_TRUE(edit);
    edit->selectAll();
    QTest::keyClicks(edit, "42");
    EXPECT_TRUE(eventCodes(kByte).empty()) << "no event while typing";
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(eventCodes(kByte), (std::vector<int>{EVENT_VAL_CHANGED, EVENT_COMMIT}));
    unsigned char b = 0;
    EXPECT_EQ(GetCtrlVal(panel, kByte, &b), 0);
    EXPECT_EQ(b, 42);
}

TEST_F(Events, RightClickReachesDimmedControlsAndOpensNoMenu)
{
    show();
    ASSERT_EQ(SetCtrlAttribute(panel, kInt, ATTR_DIMMED, 1), 0);
    QWidget *spinBox = widget(kInt);
    ASSERT_FALSE(spinBox->isEnabled());
    // Fails the test instead of hanging it if a menu ever opens.
    int menusSeen = 0;
    QTimer guard;
    QObject::connect(&guard, &QTimer::timeout, [&menusSeen] {
        if (QWidget *popup = QApplication::activePopupWidget()) {
            ++menusSeen;
            popup->close();
        }
    });
    guard.start(5);

    QTest::mouseClick(spinBox, Qt::RightButton);
    QTest::mouseClick(spinBox->findChild<QLineEdit *>(), Qt::RightButton);
    ASSERT_EQ(eventCodes(kInt), (std::vector<int>{EVENT_RIGHT_CLICK, EVENT_RIGHT_CLICK}));
    EXPECT_GE(events()[0].data1, 40); // panel coordinates: y, then x
    EXPECT_GE(events()[0].data2, 100);

    // Enabled text field with its own context menu, decoration, indicator and graph.
    for (int ctrl : {kTextLine, kDecoration, kLcd, kGraph})
        QTest::mouseClick(widget(ctrl), Qt::RightButton);
    QTest::mouseClick(widget(kTextLine), Qt::RightButton);
    requestContextMenu(widget(kTextLine));
    requestContextMenu(spinBox->findChild<QLineEdit *>());
    spin(0.03);
    EXPECT_EQ(eventCodes(kTextLine), (std::vector<int>{EVENT_RIGHT_CLICK, EVENT_RIGHT_CLICK}));
    EXPECT_EQ(eventCodes(kDecoration), (std::vector<int>{EVENT_RIGHT_CLICK}));
    EXPECT_EQ(eventCodes(kLcd), (std::vector<int>{EVENT_RIGHT_CLICK}));
    EXPECT_EQ(eventCodes(kGraph), (std::vector<int>{EVENT_RIGHT_CLICK}));
    EXPECT_EQ(menusSeen, 0);
    EXPECT_EQ(visibleMenus(), 0);
}

TEST_F(Events, WidgetsOutsidePanelsKeepTheirMenus)
{
    // Shows the check above can see a menu at all.
    QLineEdit outside;
    outside.resize(100, 24);
    outside.show();
    ASSERT_TRUE(spinUntil([&outside] { return outside.isVisible(); }));
    requestContextMenu(&outside);
    const bool opened = spinUntil([] { return visibleMenus() > 0; }, 1.0);
    if (QWidget *popup = QApplication::activePopupWidget()) popup->close();
    EXPECT_TRUE(opened);
    EXPECT_TRUE(events().empty());
}

TEST_F(Events, RightClickOnLabelReachesItsControl)
{
    show();
    QTest::mouseClick(kivrel::platform::controlLabel(panel, kInt), Qt::RightButton);
    EXPECT_EQ(eventCodes(kInt), (std::vector<int>{EVENT_RIGHT_CLICK}));
}

TEST_F(Events, ControlWithoutCallbackIsQuiet)
{
    show();
    QTest::mouseClick(widget(kStatus), Qt::RightButton);
    spin(0.01);
    EXPECT_TRUE(events().empty());
}

TEST_F(Events, CloseRaisesEventAndWindowStays)
{
    show();
    QWidget *w = panelWidget(panel);
    w->windowHandle()->close();
    spin(0.02);
    ASSERT_EQ(events().size(), 1u);
    EXPECT_EQ(events()[0].control, 0);
    EXPECT_EQ(events()[0].event, EVENT_CLOSE);
    EXPECT_EQ(events()[0].panel, panel);
    EXPECT_TRUE(w->isVisible());

    w->close();
    spin(0.01);
    EXPECT_EQ(events().size(), 2u);
    EXPECT_TRUE(w->isVisible());
}

TEST_F(Events, FunctionKeyCommitsDuringNestedWait)
{
    show();
    bool stopped = false;
    onControl() = [&stopped](int, int control, int event) {
        if (control == kCmdF9 && event == EVENT_COMMIT) stopped = true;
    };
    // The program waits by spinning; the operator presses F9 meanwhile.
    QTimer::singleShot(20, [this] { QTest::keyClick(panelWidget(panel), Qt::Key_F9); });
    EXPECT_TRUE(spinUntil([&stopped] { return stopped; }, 3.0));
    EXPECT_EQ(eventCodes(kCmdF9), (std::vector<int>{EVENT_COMMIT}));
}

TEST_F(Events, FunctionKeyWhileAValueHasFocus)
{
    show();
    widget(kInt)->setFocus();
    QTest::keyClick(widget(kInt)->findChild<QLineEdit *>(), Qt::Key_F8);
    EXPECT_TRUE(spinUntil([] { return !eventCodes(kCmdF8).empty(); }, 3.0));
    EXPECT_EQ(eventCodes(kCmdF8), (std::vector<int>{EVENT_COMMIT}));
    EXPECT_TRUE(eventCodes(kInt).empty());
}

TEST_F(Events, CallbacksNestInsideACallbacksWait)
{
    show();
    std::vector<std::string> trace;
    bool innerDone = false;
    onControl() = [&](int, int control, int event) {
        if (event != EVENT_COMMIT) return;
        if (control == kCmdF8) {
            trace.push_back("outer begin");
            QTimer::singleShot(10, [this] { QTest::mouseClick(widget(kCmdF9), Qt::LeftButton); });
            spinUntil([&innerDone] { return innerDone; }, 3.0);
            trace.push_back("outer end");
        } else if (control == kCmdF9) {
            trace.push_back("inner");
            innerDone = true;
        }
    };
    QTest::mouseClick(widget(kCmdF8), Qt::LeftButton);
    EXPECT_EQ(trace, (std::vector<std::string>{"outer begin", "inner", "outer end"}));
}

TEST_F(Events, QuitFromNestedCallbackEndsRunAfterOuterCallback)
{
    show();
    std::vector<std::string> trace;
    bool innerDone = false;
    onControl() = [&](int, int control, int event) {
        if (event != EVENT_COMMIT) return;
        if (control == kCmdF8) {
            trace.push_back("outer begin");
            QTimer::singleShot(10, [this] { QTest::mouseClick(widget(kCmdF9), Qt::LeftButton); });
            spinUntil([&innerDone] { return innerDone; }, 3.0);
            spin(0.02); // more dispatching after the quit request, still inside
            trace.push_back("outer end");
        } else if (control == kCmdF9) {
            trace.push_back("inner quits");
            QuitUserInterface(0);
            innerDone = true;
        }
    };
    bool watchdogFired = false;
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [&watchdogFired] {
        watchdogFired = true;
        QuitUserInterface(1);
    });
    watchdog.start(5000);
    QTimer::singleShot(10, [this] { QTest::mouseClick(widget(kCmdF8), Qt::LeftButton); });
    EXPECT_EQ(RunUserInterface(), 0);
    trace.push_back("run returned");
    EXPECT_FALSE(watchdogFired);
    EXPECT_EQ(trace, (std::vector<std::string>{"outer begin", "inner quits", "outer end",
                                               "run returned"}));
}

TEST_F(Events, DiscardOwnPanelFromCallbackIsSafe)
{
    show();
    QPointer<QWidget> w = panelWidget(panel);
    onControl() = [this](int p, int control, int event) {
        if (control == kCmdF8 && event == EVENT_COMMIT) {
            EXPECT_EQ(DiscardPanel(p), 0);
            panel = -1;
        }
    };
    QTest::mouseClick(widget(kCmdF8), Qt::LeftButton);
    EXPECT_EQ(panel, -1);
    EXPECT_TRUE(spinUntil([&w] { return w.isNull(); }, 2.0));
}
