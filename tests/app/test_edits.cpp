// What the operator typed is what the sensor gets; unsent edits are marked; the title names the
// port; file loads and saves say so in the status line.
#include "sensor_fixture.h"

#include "assistant.h"
#include "marks.h"
#include "norms.h"
#include "ports_p.h"

#include <QFile>
#include <QSpinBox>
#include <QTemporaryDir>

using namespace kivrel;
using namespace kivrel::test;

namespace
{

bool marked(int id)
{
    int v = -1;
    GetCtrlAttribute(panel, id, ATTR_MARKED, &v);
    return v == 1;
}

class EditTest : public SensorTest
{
  protected:
    void SetUp() override
    {
        SensorTest::SetUp();
        setProjectDir(dir.path());
        connect();
        window()->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window(), 2000)) << "F-keys need the window";
    }
    // Switches the target toggle on, whatever was on before.
    static void use(int toggle)
    {
        click(PANEL_RAM); // RAM stays on when clicked; the others toggle
        if (toggle != PANEL_RAM) click(toggle);
    }
    // Types into a field as the operator does, leaving the text unconfirmed.
    static void typeInto(int id, const char *text)
    {
        window()->activateWindow(); // back from a file dialog
        ASSERT_TRUE(QTest::qWaitForWindowActive(window(), 2000));
        auto *spin = qobject_cast<QSpinBox *>(widget(id));
        spin->setFocus();
        spin->selectAll();
        QTest::keyClick(spin, Qt::Key_Backspace);
        QTest::keyClicks(spin, text);
    }
    // The parameter bytes that F9 sent on: the telegram, or the file it saved.
    Bytes sendWithF9(int toTarget)
    {
        if (toTarget == DATFILE) popups->answerFileDialog(dir.filePath("typed.dat"));
        pressKey(Qt::Key_F9);
        if (toTarget == DATFILE) {
            spinUntil([&] { return QFile::exists(dir.filePath("typed.dat")); });
            return Bytes(pp, pp + AnzPara); // the file's own bytes are compared below
        }
        // The key clicks its button a moment later, through the event loop.
        EXPECT_TRUE(spinUntil([&] { return !telegrams().empty(); }));
        const auto sent = telegrams();
        if (sent.empty()) return {};
        EXPECT_EQ(sent[0].order(), toTarget == RAM ? 1 : 2);
        return Bytes(sent[0].bytes.begin() + 2, sent[0].bytes.end());
    }

    QTemporaryDir dir;
};

} // namespace

// Typed text counts once any command runs, by the rules Enter applies: a field left empty keeps
// its value, a number the field cannot take is never typed in the first place. Each target gets
// values of its own, so a pass that lost the edit cannot pass on what the one before committed.
TEST_F(EditTest, TypedTextWithoutEnterIsWhatSendSends)
{
    struct Case {
        int field;
        int wire;                   // wire index of the field
        const char *typed[DATFILE]; // for RAM, EEPROM, DATFILE
        int sent[DATFILE];          // the byte that must go out
    };
    const Case fields[] = {
        {PANEL_THRESHOLD, 0, {"77", "78", "79"}, {77, 78, 79}},
        {PANEL_HYSTERESIS, 1, {"201", "202", "203"}, {201, 202, 203}},
        {PANEL_HOLD, 4, {"", "", ""}, {10, 10, 10}}, // half-typed: the old value
        // "15", "17", "19" %: what sensor bytes 39, 38 and 37 show.
        {PANEL_POWER, 2, {"150", "170", "190"}, {39, 38, 37}},
        {PANEL_THRESHOLD, 0, {"999", "888", "666"}, {99, 88, 66}}}; // > 255: "99"...
    Bytes sensor = kParams; // what the sensor holds, for the marks after a save to a file
    for (int toTarget : {RAM, EEPROM, DATFILE}) {
        for (const Case &c : fields) {
            const std::size_t t = std::size_t(toTarget - 1), wire = std::size_t(c.wire);
            SCOPED_TRACE(testing::Message() << "target " << toTarget << " field " << c.field
                                            << " typed '" << c.typed[t] << "'");
            peer->clearReceived();
            const int toggle[] = {0, PANEL_RAM, PANEL_EEPROM, PANEL_FILE};
            use(toggle[toTarget]);
            typeInto(c.field, c.typed[t]); // after the click, so only F9 can confirm it
            const Bytes sent = sendWithF9(toTarget);
            ASSERT_EQ(sent.size(), std::size_t(AnzPara));
            EXPECT_EQ(sent[wire], c.sent[t]);
            if (toTarget == DATFILE) {
                QFile saved(dir.filePath("typed.dat"));
                ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
                const QList<QByteArray> values = saved.readAll().simplified().split(' ');
                EXPECT_EQ(values.value(c.wire).toInt(), c.sent[t]) << "the saved file";
                saved.remove();
                EXPECT_EQ(marked(c.field), sent[wire] != sensor[wire]) << "a file is no sensor";
            } else {
                sensor = sent;
                EXPECT_FALSE(marked(c.field)) << "what the panel shows is what went out";
            }
        }
    }
}

// The marks compare the panel with the sensor's set: a transfer with the sensor clears them, a
// saved file changes none, a loaded file shows how it differs from the sensor, SUGGEST marks
// what it filled in. An edit marks exactly its control (on either page), says so to assistive
// technology and in the title; editing back unmarks.
TEST_F(EditTest, MarksShowWhatDiffersFromTheSensor)
{
    const QString file = dir.filePath("set.dat");
    Bytes fix = kParams;
    fix[12] = 0; // TRSH MODE FIX, which SUGGEST wants
    const struct {
        std::function<void()> action;
        bool thresholdMarked; // after the action; each row first edits THRESHOLD up by one
    } rows[] = {
        {[&] { connect(); }, false}, // the read after the line check
        {[&] { use(PANEL_RAM), peer->answer(3, Reply(kFresh)), click(BUTTON_GET); }, false},
        {[&] { use(PANEL_EEPROM), peer->answer(4, Reply(kParams)), click(BUTTON_GET); }, false},
        {[&] { use(PANEL_RAM), click(BUTTON_SEND); }, false},
        {[&] { use(PANEL_EEPROM), click(BUTTON_SEND); }, false},
        {[&] { use(PANEL_FILE), popups->answerFileDialog(file), click(BUTTON_SEND); }, true},
        // The file holds the sensor's threshold plus one, the panel now plus two.
        {[&] { use(PANEL_FILE), popups->answerFileDialog(file), click(BUTTON_GET); }, true},
        {[&] { use(PANEL_RAM), peer->answer(3, Reply(fix)), click(BUTTON_GET); }, false},
    };
    auto *threshold = qobject_cast<QSpinBox *>(widget(PANEL_THRESHOLD));
    auto *backlim = qobject_cast<QSpinBox *>(widget(PANEL_BACKLIM));
    int saved = -1;
    for (std::size_t i = 0; i < std::size(rows); i++) {
        SCOPED_TRACE(testing::Message() << "row " << i);
        const int before = backlim->value();
        threshold->stepUp();           // as the arrow keys do
        backlim->setValue(before + 1); // the hidden page, as the operator left it
        EXPECT_TRUE(marked(PANEL_THRESHOLD));
        EXPECT_TRUE(marked(PANEL_BACKLIM));
        EXPECT_FALSE(marked(PANEL_HYSTERESIS));
        EXPECT_EQ(widget(PANEL_THRESHOLD)->accessibleDescription(), "Changed, not sent");
        EXPECT_TRUE(window()->isWindowModified());
        backlim->setValue(before);
        EXPECT_FALSE(marked(PANEL_BACKLIM)) << "edited back to the sensor's value";

        rows[i].action();
        spinUntil([&] { return window()->isWindowModified() == rows[i].thresholdMarked; });
        EXPECT_EQ(marked(PANEL_THRESHOLD), rows[i].thresholdMarked);
        EXPECT_EQ(widget(PANEL_THRESHOLD)->accessibleDescription(),
                  rows[i].thresholdMarked ? "Changed, not sent" : "");
        EXPECT_EQ(window()->isWindowModified(), rows[i].thresholdMarked);
        EXPECT_FALSE(marked(PANEL_HYSTERESIS));
        if (i == 5) saved = threshold->value();
        if (i == 6) {
            EXPECT_EQ(threshold->value(), saved) << "the file's value";
        }
    }

    // SUGGEST fills two fields, as if typed: marks 60, background 100.
    for (int n = 0; n < NormHistoryLength; n++) {
        dataNorm = static_cast<unsigned char>(n % 4 == 0 ? 58 + n % 5 : 98 + n % 5);
        KeepNorm();
    }
    for (int i = 0; i < 16; i++)
        jumpbuf[i] = static_cast<unsigned char>(50 + i % 4);
    NoteJumpBuffer();
    click(BUTTON_SUGGEST);
    EXPECT_NE(byteValue(PANEL_THRESHOLD), fix[0]) << status().toStdString();
    EXPECT_TRUE(marked(PANEL_THRESHOLD));
    EXPECT_TRUE(marked(PANEL_HYSTERESIS));
    EXPECT_FALSE(marked(PANEL_HOLD));
    EXPECT_TRUE(window()->isWindowModified());
    EXPECT_EQ(reports(), 0);
}

TEST_F(EditTest, TitleNamesThePortAndStatusNamesTheFile)
{
    const QString device = QString::fromStdString(peer->slavePath()).mid(5); // without /dev/
    EXPECT_EQ(window()->windowTitle(), "KIVREL-Vired V4.0 \u2014 COM1 (" + device + ")[*]");
    platform::setPortLister([] { return QList<platform::MachinePort>{}; }); // no serial ports
    pickPort(7);
    platform::setPortLister({});
    EXPECT_EQ(window()->windowTitle(), "KIVREL-Vired V4.0 \u2014 COM7[*]") << "no device";
    EXPECT_EQ(status(), "No serial port found");

    // A fault's text gives way to the next success, and a port status to that.
    click(PANEL_FILE);
    popups->answerFileDialog(dir.filePath("missing.dat"));
    click(BUTTON_GET);
    EXPECT_EQ(status(), "File not loaded: cannot open it");
    popups->answerFileDialog(dir.filePath("init.dat"));
    click(BUTTON_SEND);
    EXPECT_EQ(status(), "File saved: init.dat");
    popups->answerFileDialog(dir.filePath("init.dat"));
    click(BUTTON_GET);
    EXPECT_EQ(status(), "File loaded: init.dat");
    click(PANEL_RAM);
    peer->answer(7, Reply(kLineOk));
    peer->answer(3, Reply(kParams));
    pickPort(1);
    EXPECT_EQ(status(), kLineOkText);
}
