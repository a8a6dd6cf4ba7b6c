// Command buttons without the sensor: transfer target, parameter files and help texts.
#include "sensor_fixture.h"

#include "gui.h"
#include "helptexts.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <csignal>
#include <sys/resource.h>

using namespace kivrel;
using namespace kivrel::test;

namespace
{

int commit(CtrlCallbackPtr cb, int control = 0)
{
    return cb(panel, control, EVENT_COMMIT, nullptr, 0, 0);
}

int changed(CtrlCallbackPtr cb, int control)
{
    return cb(panel, control, EVENT_VAL_CHANGED, nullptr, 0, 0);
}

// Counts the line breaks and the blanks in front of each, the way the texts are catalogued.
std::vector<int> blanksBeforeBreaks(const QString &text)
{
    std::vector<int> runs;
    for (int i = 0; i < text.size(); i++)
        if (text[i] == '\n') {
            int n = 0;
            while (i - 1 - n >= 0 && text[i - 1 - n] == ' ')
                n++;
            runs.push_back(n);
        }
    return runs;
}

} // namespace

TEST_F(PanelTest, TargetTogglesWorkAsARadioGroupWithRamAsFallback)
{
    InitVars();
    auto toggles = [] {
        return std::vector<int>{intValue(PANEL_RAM), intValue(PANEL_EEPROM), intValue(PANEL_FILE)};
    };
    SetCtrlVal(panel, PANEL_FILE, 1);
    changed(CBF_SelectFILE, PANEL_FILE);
    EXPECT_EQ(target, DATFILE);
    EXPECT_EQ(toggles(), (std::vector<int>{0, 0, 1}));

    SetCtrlVal(panel, PANEL_EEPROM, 1);
    changed(CBF_SelectEEPROM, PANEL_EEPROM);
    EXPECT_EQ(target, EEPROM);
    EXPECT_EQ(toggles(), (std::vector<int>{0, 1, 0}));

    SetCtrlVal(panel, PANEL_EEPROM, 0); // switching EE off returns to RAM
    changed(CBF_SelectEEPROM, PANEL_EEPROM);
    EXPECT_EQ(target, RAM);
    EXPECT_EQ(toggles(), (std::vector<int>{1, 0, 0}));

    SetCtrlVal(panel, PANEL_RAM, 0); // RAM cannot be switched off
    changed(CBF_SelectRAM, PANEL_RAM);
    EXPECT_EQ(target, RAM);
    EXPECT_EQ(toggles(), (std::vector<int>{1, 0, 0}));

    // The toggles act on a value change only; a commit alone does nothing.
    SetCtrlVal(panel, PANEL_FILE, 1);
    commit(CBF_SelectFILE, PANEL_FILE);
    EXPECT_EQ(target, RAM);
}

TEST_F(PanelTest, StartUpValuesDoNotDependOnThePanelFile)
{
    SetCtrlVal(panel, PANEL_PARAVISIBLE, 0);
    SetCtrlVal(panel, PANEL_SOURCE, 2);
    InitVars();
    EXPECT_EQ(com, 1);
    EXPECT_EQ(kivrel::sync, 0x55);
    EXPECT_EQ(order, 1);
    EXPECT_EQ(target, RAM);
    EXPECT_EQ(para, 1);
    EXPECT_TRUE(shown(PANEL_THRESHOLD));
    EXPECT_FALSE(shown(PANEL_BACKLIM));
    EXPECT_EQ(source, 2) << "the views follow the source the panel holds";
    EXPECT_TRUE(shown(PANEL_GRAPHDATA2));
    EXPECT_EQ(status(), "InitVars");
    // The parameter variables start from the panel's values.
    EXPECT_EQ(threshold, byteValue(PANEL_THRESHOLD));
    for (int i = 0; i < AnzPara; i++)
        EXPECT_EQ(pp[i], 0) << "pp is untouched until the first transfer";
}

class FileTest : public SensorTest
{
  protected:
    void SetUp() override
    {
        SensorTest::SetUp();
        setProjectDir(dir.path());
        target = DATFILE;
    }
    QString path(const char *name) const { return dir.filePath(name); }
    QTemporaryDir dir;
};

TEST_F(FileTest, SaveAndLoadRoundTripKeepsTheSpareByte)
{
    SetCtrlVal(panel, PANEL_THRESHOLD, 111);
    SetCtrlVal(panel, PANEL_POWER, 99);
    frei15 = 201;
    popups->answerFileDialog(path("init.dat"));
    commit(CBF_ButtonSend);
    ASSERT_EQ(popups->count(), 1);
    const RecordedPopup &dialog = popups->popups()[0];
    EXPECT_EQ(dialog.kind, RecordedPopup::Kind::FileDialog);
    EXPECT_EQ(dialog.title, "init");
    EXPECT_EQ(dialog.text, "init.dat");
    EXPECT_EQ(QDir(dialog.directory), QDir(dir.path()));
    EXPECT_TRUE(dialog.nameFilters.join(' ').contains("*.dat"));
    QFile file(path("init.dat"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().startsWith(" 111\n"));
    EXPECT_EQ(pp[2], 1) << "99 % is sent as sensor power 1";

    SetCtrlVal(panel, PANEL_THRESHOLD, 5);
    frei15 = 0;
    popups->answerFileDialog(path("init.dat"));
    commit(CBF_ButtonGet);
    EXPECT_EQ(byteValue(PANEL_THRESHOLD), 111);
    EXPECT_EQ(byteValue(PANEL_POWER), 97) << "a saved percent may come back truncated";
    EXPECT_EQ(frei15, 201);
    EXPECT_TRUE(peer->telegrams().empty()) << "files never talk to the sensor";
}

TEST_F(FileTest, CancelChangesNothing)
{
    SetCtrlVal(panel, PANEL_THRESHOLD, 44);
    const Bytes before(pp, pp + 15);
    popups->cancelFileDialog();
    commit(CBF_ButtonSend);
    popups->cancelFileDialog();
    commit(CBF_ButtonGet);
    EXPECT_EQ(popups->count(), 2);
    EXPECT_EQ(Bytes(pp, pp + 15), before);
    EXPECT_EQ(byteValue(PANEL_THRESHOLD), 44);
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty());
}

TEST_F(FileTest, ABadFileLoadsNothingAndSaysWhy)
{
    const std::pair<QByteArray, const char *> files[] = {
        {"1 2 3 4 5 6 7 8 9 10 11 12 13 14", "File not loaded: fewer than 15 values"},
        {"1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16", "File not loaded: more than 15 values"},
        {"1 2 3 4 5 6 7 8 9 10 11 12 13 14 300", "File not loaded: values must be 0 to 255"},
        {"", "File not loaded: fewer than 15 values"},
    };
    SetCtrlVal(panel, PANEL_THRESHOLD, 44); // an unsent edit that must survive
    pp[0] = 9;
    for (const auto &[text, why] : files) {
        QFile f(path("bad.dat"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
        f.close();
        popups->answerFileDialog(path("bad.dat"));
        commit(CBF_ButtonGet);
        EXPECT_EQ(status(), why);
        EXPECT_EQ(pp[0], 9);
        EXPECT_EQ(byteValue(PANEL_THRESHOLD), 44);
    }
    popups->answerFileDialog(path("missing.dat")); // a new name: accepted, then not found
    commit(CBF_ButtonGet);
    EXPECT_EQ(status(), "File not loaded: cannot open it");
    EXPECT_EQ(byteValue(PANEL_THRESHOLD), 44);
}

TEST_F(FileTest, AFailedSaveKeepsTheOldFileAndSaysSo)
{
    SetCtrlVal(panel, PANEL_THRESHOLD, 12);
    popups->answerFileDialog(path("keep.dat"));
    commit(CBF_ButtonSend);
    QFile old(path("keep.dat"));
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    const QByteArray first = old.readAll();
    old.close();

    // A file-size limit below one parameter file fails the write as a full disk would.
    struct rlimit limit {
    };
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &limit), 0);
    const struct rlimit saved = limit;
    const auto handler = signal(SIGXFSZ, SIG_IGN);
    limit.rlim_cur = 8;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    SetCtrlVal(panel, PANEL_THRESHOLD, 13);
    popups->answerFileDialog(path("keep.dat"));
    commit(CBF_ButtonSend);
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, handler);
    EXPECT_EQ(status(), "File not saved: cannot write it");
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), first);
}

TEST_F(PanelTest, RightClickShowsEachHelpTextByteForByte)
{
    InitVars();
    PopupRecorder popups;
    struct Help {
        CtrlCallbackPtr cb;
        const char *text;
        int length;
        std::vector<int> blanks;
    };
    const Help helps[] = {
        {CBF_EditConnect, kInfoEditConnect, 26, {}},
        {CBF_ButtonSend, kInfoButtonSend, 263, {27, 27}},
        {CBF_ButtonGet, kInfoButtonGet, 231, {26, 26}},
        {CBF_ButtonGo, kInfoButtonGo, 159, {25, 24}},
        {CBF_ButtonStop, kInfoButtonStop, 84, {24}},
        {CBF_ButtonGetBuff, kInfoButtonGetBuff, 477, {30, 30, 30, 30}},
        {CBF_SelectRAM, kInfoSelectMEM, 70, {}},
        {CBF_SelectEEPROM, kInfoSelectMEM, 70, {}},
        {CBF_SelectFILE, kInfoSelectMEM, 70, {}},
        {CBF_ParaVisible, kInfoSwitchPara, 36, {}},
        {CBF_SelectSource, kInfoSelectSource, 46, {}},
        {CBF_EditThreshold, kInfoEditThreshold, 389, {29, 29, 29, 29}},
        {CBF_EditTrshMod, kInfoEditThrsMod, 616, {1, 0, 1, 1, 0, 1, 1, 1, 0, 1, 1}},
        {CBF_EditDeltaTrsh, kInfoEditDeltaTrsh, 82, {29}},
        {CBF_EditHysteresis, kInfoEditHysteresis, 572, {31, 31, 31, 31, 31, 30}},
        {CBF_EditTrigger, kInfoEditTrigger, 645, {28, 28, 27, 28, 28, 28}},
        {CBF_EditPmod, kInfoEditPmod, 457, {25, 25, 25, 25}},
        {CBF_EditPower, kInfoEditPower, 128, {26}},
        {CBF_EditHold, kInfoEditHold, 29, {}},
        {CBF_EditBacklim, kInfoEditBacklim, 199, {28, 28}},
        {CBF_EditRegcnt, kInfoEditRegcnt, 170, {26}},
        {CBF_EditAverage, kInfoEditAverage, 98, {}},
        {CBF_EditOutmode, kInfoEditOutmode, 384, {28, 28, 28, 28}},
        {CBF_EditDeadTimeMode, kInfoEditDeadTimeMode, 77, {}},
        {CBF_EditDeadTime, kInfoEditDeadTime, 38, {}},
        {CBF_DispDat0, kInfoDispDat0, 50, {}},
        {CBF_DispDat1, kInfoDispDat1, 50, {}},
        {CBF_DispNORM, kInfoDispNORM, 137, {25}},
        {CBF_DispTRSH, kInfoDispTrsh, 49, {}},
        {CBF_DispHYST, kInfoDispHyst, 51, {}},
        {CBF_DispEdge, kInfoDispEDGE, 147, {25}},
        {CBF_DispWin, kInfoDispWIN, 146, {24}},
        {CBF_DispStatus, kInfoStatus, 43, {}},
        {CBF_GraphRaw1, kInfoGraph, 40, {}},
        {CBF_GraphData1, kInfoGraphData1, 496, {27, 27, 27, 27}},
        {CBF_GraphData2, kInfoGraphData2, 731, {27, 27, 27, 27, 27, 27}},
        {CBF_ButtonHistory, kInfoButtonHistory, 347, {6, 6, 6, 6}},
    };
    for (const Help &h : helps) {
        popups.clear();
        EXPECT_EQ(h.cb(panel, 0, EVENT_RIGHT_CLICK, nullptr, 0, 0), 0);
        ASSERT_EQ(popups.count(), 1) << h.text;
        EXPECT_EQ(popups.popups()[0].title, "Info");
        const QString shown = popups.popups()[0].text;
        EXPECT_EQ(shown, QString::fromLatin1(h.text));
        EXPECT_EQ(shown.size(), h.length) << h.text;
        EXPECT_EQ(blanksBeforeBreaks(shown), h.blanks) << h.text;
    }
    EXPECT_TRUE(QString(InfoEditConnect).startsWith(" Select a serial COM-PORT."));
    EXPECT_TRUE(QString(InfoEditThreshold).endsWith(" See edit box TRSH MODE "));
    EXPECT_TRUE(QString(InfoEditRegcnt).startsWith("This EDIT-BOX"));
    EXPECT_TRUE(QString(InfoGraphData2).contains("corresponds wiht 100%"));
    // A right click starts nothing and changes no state.
    EXPECT_EQ(poll, 0);
    EXPECT_EQ(target, RAM);
}

TEST_F(PanelTest, DecorationsExplainTheControlOfTheVisiblePage)
{
    InitVars();
    PopupRecorder popups;
    const CtrlCallbackPtr decos[] = {CBF_DECO1, CBF_DECO2, CBF_DECO3,
                                     CBF_DECO4, CBF_DECO5, CBF_DECO6};
    const char *page1[] = {kInfoEditThreshold, kInfoEditHysteresis, kInfoEditTrigger,
                           kInfoEditHold,      kInfoEditPmod,       kInfoEditPower};
    const char *page2[] = {kInfoEditBacklim, kInfoEditRegcnt,       kInfoEditAverage,
                           kInfoEditOutmode, kInfoEditDeadTimeMode, kInfoEditDeadTime};
    for (int page : {1, 0}) {
        SetCtrlVal(panel, PANEL_PARAVISIBLE, page);
        commit(CBF_ParaVisible, PANEL_PARAVISIBLE);
        for (int i = 0; i < 6; i++) {
            popups.clear();
            decos[i](panel, 0, EVENT_RIGHT_CLICK, nullptr, 0, 0);
            decos[i](panel, 0, EVENT_COMMIT, nullptr, 0, 0); // ignored
            ASSERT_EQ(popups.count(), 1);
            EXPECT_EQ(popups.popups()[0].text, QString(page ? page1[i] : page2[i])) << i;
        }
    }
}

TEST_F(PanelTest, HelpOnlyControlsIgnoreTheirCommit)
{
    InitVars();
    PopupRecorder popups;
    SetCtrlVal(panel, PANEL_THRESHOLD, 77);
    const unsigned char before = threshold;
    commit(CBF_EditThreshold, PANEL_THRESHOLD);
    commit(CBF_DispStatus, PANEL_STATUS);
    spin(0.05);
    EXPECT_EQ(threshold, before);
    EXPECT_EQ(popups.count(), 0);
}
