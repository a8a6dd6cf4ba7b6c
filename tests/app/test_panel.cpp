// The panel file with the program's callbacks: identifiers, value types, page and view
// switching, parameter editing, live displays and the branding area.
#include "panel_fixture.h"

#include "assistant.h"
#include "gui.h"
#include "logo.h"

#include <QComboBox>
#include <QLabel>
#include <QSpinBox>

#include <set>

using namespace kivrel;
using namespace kivrel::test;

namespace
{

enum class Vt { Byte, Int, String, None };

struct Row {
    int id;
    Vt type;
    const char *callback;
};

// Identifier, value type and callback of every control the program addresses.
const Row kControls[] = {
    {PANEL_COMPORT, Vt::Int, "CBF_EditConnect"},
    {PANEL_TRSHMOD, Vt::Byte, "CBF_EditTrshMod"},
    {PANEL_DELTATRSH, Vt::Byte, "CBF_EditDeltaTrsh"},
    {PANEL_THRESHOLD, Vt::Byte, "CBF_EditThreshold"},
    {PANEL_HYSTERESIS, Vt::Byte, "CBF_EditHysteresis"},
    {PANEL_TRIGGER, Vt::Byte, "CBF_EditTrigger"},
    {PANEL_HOLD, Vt::Byte, "CBF_EditHold"},
    {PANEL_PMOD, Vt::Byte, "CBF_EditPmod"},
    {PANEL_POWER, Vt::Byte, "CBF_EditPower"},
    {PANEL_RAM, Vt::Int, "CBF_SelectRAM"},
    {PANEL_EEPROM, Vt::Int, "CBF_SelectEEPROM"},
    {PANEL_FILE, Vt::Int, "CBF_SelectFILE"},
    {PANEL_PARAVISIBLE, Vt::Byte, "CBF_ParaVisible"},
    {PANEL_BACKLIM, Vt::Byte, "CBF_EditBacklim"},
    {PANEL_REGCNT, Vt::Byte, "CBF_EditRegcnt"},
    {PANEL_AVERAGE, Vt::Byte, "CBF_EditAverage"},
    {PANEL_OUTMODE, Vt::Byte, "CBF_EditOutmode"},
    {PANEL_DEADTIMEMODE, Vt::Byte, "CBF_EditDeadTimeMode"},
    {PANEL_DEADTIME, Vt::Byte, "CBF_EditDeadTime"},
    {PANEL_SOURCE, Vt::Int, "CBF_SelectSource"},
    {PANEL_DISPEDGE, Vt::Int, "CBF_DispEdge"},
    {PANEL_DISPDAT0, Vt::Byte, "CBF_DispDat0"},
    {PANEL_DISPWIN, Vt::Int, "CBF_DispWin"},
    {PANEL_DISPDAT1, Vt::Byte, "CBF_DispDat1"},
    {PANEL_DISPNORM, Vt::Byte, "CBF_DispNORM"},
    {PANEL_DISPHYST, Vt::Byte, "CBF_DispHYST"},
    {PANEL_DISPTRSH, Vt::Byte, "CBF_DispTRSH"},
    {PANEL_LOGO, Vt::None, nullptr},
    {PANEL_STATUS, Vt::String, "CBF_DispStatus"},
    {PANEL_GRAPHDATA2, Vt::None, "CBF_GraphData2"},
    {PANEL_GRAPHDATA1, Vt::None, "CBF_GraphData1"},
    {PANEL_LOGOFRAME, Vt::None, nullptr},
    {PANEL_GRAPHRAW1, Vt::None, "CBF_GraphRaw1"},
};

const void *boundCallback(const char *name)
{
    for (int i = 0; i < NameTable.count; i++)
        if (std::strcmp(NameTable.entries[i].name + 1, name) == 0)
            return NameTable.entries[i].address;
    return nullptr;
}

} // namespace

TEST_F(PanelTest, EveryControlHasItsIdentifierTypeAndCallback)
{
    for (const Row &r : kControls) {
        SCOPED_TRACE(r.id);
        ASSERT_NE(widget(r.id), nullptr);
        int error = 0;
        const platform::Control *c = platform::findControl(panel, r.id, &error);
        ASSERT_NE(c, nullptr);
        const platform::ValueType want[] = {platform::ValueType::Byte, platform::ValueType::Int,
                                            platform::ValueType::String, platform::ValueType::None};
        EXPECT_EQ(c->type, want[int(r.type)]);
        if (r.callback) {
            ASSERT_NE(boundCallback(r.callback), nullptr);
            EXPECT_EQ(reinterpret_cast<const void *>(c->callback), boundCallback(r.callback));
        } else {
            EXPECT_EQ(c->callback, nullptr);
        }
        EXPECT_FALSE(widget(r.id)->accessibleName().isEmpty());
    }
    EXPECT_EQ(graph(PANEL_GRAPHRAW1)->kind(), platform::GraphControl::Kind::StripChart);
    EXPECT_EQ(graph(PANEL_GRAPHRAW1)->traceCount(), 5);
    auto *list = qobject_cast<QComboBox *>(widget(PANEL_DEADTIME));
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->count(), 16);
}

TEST_F(PanelTest, NameTableIsSortedAndComplete)
{
    std::set<std::string> names;
    for (int i = 1; i < NameTable.count; i++)
        EXPECT_LT(std::strcmp(NameTable.entries[i - 1].name, NameTable.entries[i].name), 0)
            << NameTable.entries[i].name;
    for (int i = 0; i < NameTable.count; i++) {
        EXPECT_EQ(NameTable.entries[i].name[0], '_');
        EXPECT_EQ(NameTable.entries[i].kind, CVI_NAME_FUNCTION);
        names.insert(NameTable.entries[i].name);
    }
    EXPECT_EQ(names.size(), 48u); // the panel, 41 controls and 6 decorations
    EXPECT_TRUE(names.count("_CBF_P"));
    EXPECT_TRUE(names.count("_CBF_DECO6"));
}

TEST_F(PanelTest, PanelFileStartValues)
{
    EXPECT_EQ(intValue(PANEL_COMPORT), 1);
    EXPECT_EQ(intValue(PANEL_RAM), 1);
    EXPECT_EQ(intValue(PANEL_EEPROM), 0);
    EXPECT_EQ(intValue(PANEL_FILE), 0);
    EXPECT_EQ(intValue(PANEL_SOURCE), 0);
    EXPECT_EQ(byteValue(PANEL_PARAVISIBLE), 1);
    // The selectors carry the codes the sensor uses.
    for (int code : {1, 2, 0, 3}) {
        ASSERT_EQ(SetCtrlVal(panel, PANEL_TRIGGER, code), 0);
        EXPECT_EQ(byteValue(PANEL_TRIGGER), code);
    }
    auto *trigger = qobject_cast<QComboBox *>(widget(PANEL_TRIGGER));
    ASSERT_NE(trigger, nullptr);
    EXPECT_EQ(trigger->itemText(0), "EXT");
    EXPECT_EQ(trigger->itemText(2), "CONT");
    auto *power = qobject_cast<QSpinBox *>(widget(PANEL_POWER));
    ASSERT_NE(power, nullptr);
    EXPECT_EQ(power->maximum(), 100);
}

TEST_F(PanelTest, PageSwitchFlipsExactlyTheTwoPagesAndKeepsDimming)
{
    const int page1[] = {9, 7, 8, 10, 11, 13, 14, 12};
    const int page2[] = {23, 24, 25, 26, 27, 28};
    SetCtrlAttribute(panel, PANEL_REGCNT, ATTR_DIMMED, 1);
    SetCtrlAttribute(panel, PANEL_POWER, ATTR_DIMMED, 1);
    ParaVis();
    for (int id : page1)
        EXPECT_TRUE(shown(id)) << id;
    for (int id : page2)
        EXPECT_FALSE(shown(id)) << id;

    SetCtrlVal(panel, PANEL_PARAVISIBLE, 0);
    CBF_ParaVisible(panel, PANEL_PARAVISIBLE, EVENT_COMMIT, nullptr, 0, 0);
    EXPECT_EQ(para, 0);
    for (int id : page1)
        EXPECT_FALSE(shown(id)) << id;
    for (int id : page2)
        EXPECT_TRUE(shown(id)) << id;
    EXPECT_TRUE(shown(PANEL_COMPORT));
    EXPECT_TRUE(shown(PANEL_DISPTRSH));

    SetCtrlVal(panel, PANEL_PARAVISIBLE, 1);
    CBF_ParaVisible(panel, PANEL_PARAVISIBLE, EVENT_COMMIT, nullptr, 0, 0);
    EXPECT_EQ(para, 1);
    for (int id : page1)
        EXPECT_TRUE(shown(id)) << id;
    for (int id : page2)
        EXPECT_FALSE(shown(id)) << id;
    EXPECT_TRUE(dimmed(PANEL_REGCNT));
    EXPECT_TRUE(dimmed(PANEL_POWER));
    EXPECT_FALSE(dimmed(PANEL_THRESHOLD));
}

TEST_F(PanelTest, DisplaySourcesArrangeViewsAndTraces)
{
    auto *chart = graph(PANEL_GRAPHRAW1);
    auto traces = [&] {
        std::vector<bool> v;
        for (int t = 1; t <= 5; t++)
            v.push_back(chart->traceVisible(t));
        return v;
    };

    SetCtrlVal(panel, PANEL_SOURCE, 2);
    DispVis();
    EXPECT_EQ(source, 2);
    for (int id : {30, 32, 40})
        EXPECT_TRUE(shown(id)) << id;
    for (int id : {31, 33, 34, 41, 43})
        EXPECT_FALSE(shown(id)) << id;

    SetCtrlVal(panel, PANEL_SOURCE, 0);
    DispVis();
    for (int id : {31, 33, 34, 43, 35, 36})
        EXPECT_TRUE(shown(id)) << id;
    for (int id : {30, 32, 40, 41})
        EXPECT_FALSE(shown(id)) << id;
    EXPECT_EQ(traces(), (std::vector<bool>{true, true, false, false, false}));

    SetCtrlVal(panel, PANEL_SOURCE, 1);
    DispVis();
    EXPECT_EQ(traces(), (std::vector<bool>{false, false, true, true, true}));
    for (int id : {31, 33, 34, 43})
        EXPECT_TRUE(shown(id)) << id;

    // A jump-buffer graph is hidden again by every view.
    SetCtrlAttribute(panel, PANEL_GRAPHDATA1, ATTR_VISIBLE, 1);
    SetCtrlAttribute(panel, PANEL_GRAPHRAW1, ATTR_VISIBLE, 0);
    SetCtrlVal(panel, PANEL_SOURCE, 1);
    DispVis();
    EXPECT_FALSE(shown(PANEL_GRAPHDATA1));
    EXPECT_TRUE(shown(PANEL_GRAPHRAW1));
    SetCtrlAttribute(panel, PANEL_GRAPHDATA1, ATTR_VISIBLE, 1);
    SetCtrlVal(panel, PANEL_SOURCE, 2);
    DispVis();
    EXPECT_FALSE(shown(PANEL_GRAPHDATA1));
    EXPECT_TRUE(shown(PANEL_GRAPHDATA2));
}

TEST_F(PanelTest, PowerConversionsAtTheirExampleValues)
{
    // A percent some byte shows gives that byte back (97 and 78 are 1 and 10, 2 is 45); the
    // others keep the truncating formula.
    const int toSensor[][2] = {{100, 0}, {50, 23}, {99, 1}, {97, 1}, {78, 10},
                               {3, 45},  {0, 46},  {1, 46}, {2, 45}};
    for (auto [percent, sensor] : toSensor) {
        SetCtrlVal(panel, PANEL_POWER, percent);
        GetPanelValues();
        EXPECT_EQ(power, sensor) << percent << " %";
    }
    const int toPanel[][2] = {{0, 100}, {1, 97}, {23, 50}, {45, 2}, {46, 0}};
    for (auto [sensor, percent] : toPanel) {
        power = static_cast<unsigned char>(sensor);
        SetPanelValues();
        EXPECT_EQ(power, percent) << "sensor " << sensor;
        EXPECT_EQ(byteValue(PANEL_POWER), percent);
    }
}

TEST_F(PanelTest, PanelAndVariablesMoveInBothDirections)
{
    pp[0] = 120; // threshold
    pp[2] = 23;  // power, sensor scale
    pp[8] = 4;   // average
    pp[9] = 1;   // deadtimemode
    pp[10] = 5;  // deadtime
    pp[11] = 1;  // outmode
    pp[12] = 2;  // trshmod
    pp[13] = 17; // deltatrsh
    pp[14] = 99; // frei15, on no control
    CopyPPtoVars();
    SetPanelValues();
    EXPECT_EQ(byteValue(PANEL_THRESHOLD), 120);
    EXPECT_EQ(byteValue(PANEL_POWER), 50);
    EXPECT_EQ(byteValue(PANEL_AVERAGE), 4);
    EXPECT_EQ(byteValue(PANEL_DEADTIMEMODE), 1);
    EXPECT_EQ(byteValue(PANEL_DEADTIME), 5);
    EXPECT_EQ(byteValue(PANEL_OUTMODE), 1);
    EXPECT_EQ(byteValue(PANEL_TRSHMOD), 2);
    EXPECT_EQ(byteValue(PANEL_DELTATRSH), 17);
    threshold = 0;
    frei15 = 1;
    GetPanelValues();
    CopyVarsToPP();
    EXPECT_EQ(pp[0], 120);
    EXPECT_EQ(pp[2], 23);
    EXPECT_EQ(pp[14], 1) << "the spare byte is never read from the panel";
}

TEST_F(PanelTest, ThresholdModeSetsLabelsAndDimming)
{
    struct {
        int mode;
        const char *thr, *hyst;
        bool deltaDimmed;
    } rows[] = {{1, "MAX TRSH", "DELTA HYST", false},
                {0, "TRESHOLD", "HYSTERESIS", true},
                {2, "MIN TRSH", "DELTA HYST", false}};
    for (auto &r : rows) {
        SetCtrlVal(panel, PANEL_TRSHMOD, r.mode);
        CBF_EditTrshMod(panel, PANEL_TRSHMOD, EVENT_COMMIT, nullptr, 0, 0);
        EXPECT_EQ(trshmod, r.mode);
        EXPECT_EQ(label(PANEL_THRESHOLD), r.thr);
        EXPECT_EQ(label(PANEL_HYSTERESIS), r.hyst);
        EXPECT_EQ(dimmed(PANEL_DELTATRSH), r.deltaDimmed);
    }
    // Another event does nothing.
    SetCtrlVal(panel, PANEL_TRSHMOD, 0);
    CBF_EditTrshMod(panel, PANEL_TRSHMOD, EVENT_VAL_CHANGED, nullptr, 0, 0);
    EXPECT_EQ(label(PANEL_THRESHOLD), "MIN TRSH");
}

TEST_F(PanelTest, PowerModeAndTriggerDimTheirControls)
{
    for (int mode : {0, 1, 0}) {
        SetCtrlVal(panel, PANEL_PMOD, mode);
        CBF_EditPmod(panel, PANEL_PMOD, EVENT_COMMIT, nullptr, 0, 0);
        EXPECT_EQ(dimmed(PANEL_POWER), mode != 0);
        EXPECT_EQ(dimmed(PANEL_REGCNT), mode == 0);
    }
    for (int code : {1, 0, 2, 3, 0}) {
        SetCtrlVal(panel, PANEL_TRIGGER, code);
        CBF_EditTrigger(panel, PANEL_TRIGGER, EVENT_COMMIT, nullptr, 0, 0);
        EXPECT_EQ(trigger, code);
        EXPECT_EQ(dimmed(PANEL_DEADTIMEMODE), code != 0) << code;
        EXPECT_EQ(dimmed(PANEL_DEADTIME), code != 0) << code;
    }
}

TEST_F(PanelTest, DeadTimeListFollowsItsModeAndKeepsTheIndex)
{
    auto *list = qobject_cast<QComboBox *>(widget(PANEL_DEADTIME));
    ASSERT_NE(list, nullptr);
    SetCtrlVal(panel, PANEL_DEADTIME, 5);
    for (int mode : {1, 0}) {
        SetCtrlVal(panel, PANEL_DEADTIMEMODE, mode);
        CBF_EditDeadTimeMode(panel, PANEL_DEADTIMEMODE, EVENT_COMMIT, nullptr, 0, 0);
        EXPECT_EQ(deadtimemode, mode);
        EXPECT_EQ(label(PANEL_DEADTIME), mode ? "DEAD TIME[ms]" : "DEAD TIME[%]");
        ASSERT_EQ(list->count(), 16);
        for (int i = 0; i < 16; i++) {
            EXPECT_EQ(list->itemText(i), QString::number(i * (mode ? 2 : 6)));
            SetCtrlVal(panel, PANEL_DEADTIME, i);
            EXPECT_EQ(byteValue(PANEL_DEADTIME), i);
        }
        SetCtrlVal(panel, PANEL_DEADTIME, 5);
        EXPECT_EQ(list->currentText(), mode ? "10" : "30");
    }
    EXPECT_EQ(byteValue(PANEL_DEADTIME), 5);
}

TEST_F(PanelTest, InitPanelValuesTakesModesFromTheControls)
{
    SetCtrlVal(panel, PANEL_TRSHMOD, 1);
    SetCtrlVal(panel, PANEL_PMOD, 1);
    SetCtrlVal(panel, PANEL_DEADTIMEMODE, 1);
    SetCtrlVal(panel, PANEL_TRIGGER, 2);
    trshmod = pmod = deadtimemode = trigger = 0;
    InitPanelValues();
    EXPECT_EQ(trshmod, 1);
    EXPECT_EQ(pmod, 1);
    EXPECT_EQ(deadtimemode, 1);
    EXPECT_EQ(trigger, 2);
    EXPECT_EQ(label(PANEL_THRESHOLD), "MAX TRSH");
    EXPECT_TRUE(dimmed(PANEL_POWER));
    EXPECT_FALSE(dimmed(PANEL_REGCNT));
    EXPECT_EQ(label(PANEL_DEADTIME), "DEAD TIME[ms]");
    EXPECT_TRUE(dimmed(PANEL_DEADTIME));
}

namespace
{
void record(unsigned char dat0, unsigned char dat1, unsigned char norm, unsigned trsh,
            unsigned hyst, unsigned edge = 0, unsigned in0 = 0, unsigned in1 = 0)
{
    const unsigned char bytes[AnzData] = {dat0,
                                          dat1,
                                          norm,
                                          static_cast<unsigned char>(edge & 0xFF),
                                          static_cast<unsigned char>(edge >> 8),
                                          static_cast<unsigned char>(in0 & 0xFF),
                                          static_cast<unsigned char>(in0 >> 8),
                                          static_cast<unsigned char>(in1 & 0xFF),
                                          static_cast<unsigned char>(in1 >> 8),
                                          static_cast<unsigned char>(trsh),
                                          static_cast<unsigned char>(hyst)};
    std::memcpy(databuf, bytes, sizeof bytes);
    CopyDatatoVars();
}
} // namespace

TEST_F(PanelTest, HistoryKeepsTheLastHundredSamples)
{
    record(10, 20, 30, 40, 50);
    SetPanelData();
    for (int i = 0; i < 495; i++)
        ASSERT_EQ(alldata[i], 0.0) << i;
    EXPECT_EQ(alldata[495], 10.0);
    EXPECT_EQ(alldata[499], 50.0);
    EXPECT_EQ(byteValue(PANEL_DISPDAT0), 10);
    EXPECT_EQ(byteValue(PANEL_DISPDAT1), 20);
    EXPECT_EQ(byteValue(PANEL_DISPNORM), 30);
    EXPECT_EQ(byteValue(PANEL_DISPTRSH), 40);
    EXPECT_EQ(byteValue(PANEL_DISPHYST), 50);

    for (int k = 2; k <= 100; k++) {
        record(k, k, k, k, static_cast<unsigned char>(k + 100));
        SetPanelData();
    }
    EXPECT_EQ(alldata[0], 10.0) << "the first record is still the oldest of 100";
    EXPECT_EQ(alldata[495], 100.0);
    EXPECT_EQ(alldata[499], 200.0);
    record(1, 2, 3, 4, 5);
    SetPanelData();
    EXPECT_EQ(alldata[0], 2.0) << "the 101st record pushes the first out";
    EXPECT_EQ(alldata[495], 1.0);

    // The strip chart gets the whole history: 100 points a trace, newest last.
    source = 0;
    ShowGraph();
    auto *chart = graph(PANEL_GRAPHRAW1);
    EXPECT_EQ(chart->pointsPerScreen(), 101);
    EXPECT_EQ(chart->tracePointCount(1), 100);
}

TEST_F(PanelTest, AdjustmentPercentagesAndMarkers)
{
    record(0, 0, 0, 0, 0, 60, 200, 120);
    SetPanelData();
    EXPECT_EQ(intValue(PANEL_DISPWIN), 60);
    EXPECT_EQ(intValue(PANEL_DISPEDGE), 30);
    EXPECT_FALSE(dimmed(PANEL_DISPWIN));

    record(0, 0, 0, 0, 0, 1, 3, 0);
    SetPanelData();
    EXPECT_EQ(intValue(PANEL_DISPEDGE), 33);

    record(0, 0, 0, 0, 0, 0x1234, 0x1234, 0x1234 + 46);
    SetPanelData();
    EXPECT_EQ(intValue(PANEL_DISPEDGE), 100);
    EXPECT_EQ(intValue(PANEL_DISPWIN), 100);

    // No IN0 period: nothing to divide by, the displays show 0 greyed out.
    record(0, 0, 0, 0, 0, 50, 0, 70);
    SetPanelData();
    EXPECT_EQ(intValue(PANEL_DISPEDGE), 0);
    EXPECT_EQ(intValue(PANEL_DISPWIN), 0);
    EXPECT_TRUE(dimmed(PANEL_DISPEDGE));
    EXPECT_TRUE(dimmed(PANEL_DISPWIN));
}

TEST_F(PanelTest, AdjustmentGraphDrawsMarkersUpToOneHundred)
{
    auto *adjust = graph(PANEL_GRAPHDATA2);
    auto markerAt = [&](int plot) {
        QCPGraph *g = adjust->graph(plot);
        int at = -1, count = 0;
        for (auto it = g->data()->constBegin(); it != g->data()->constEnd(); ++it)
            if (it->value != 0) {
                at = int(it->key);
                count++;
            }
        EXPECT_LE(count, 1);
        EXPECT_EQ(g->dataCount(), 101);
        return at;
    };
    source = 2;
    record(0, 0, 0, 0, 0, 60, 200, 120);
    SetPanelData();
    const double before = Timer();
    ShowGraph();
    EXPECT_GE(Timer() - before, 1.0) << "the adjustment graph waits a second";
    ASSERT_EQ(adjust->plotCount(), 2);
    EXPECT_EQ(adjust->graph(0)->pen().color(), QColor(0, 0, 255));
    EXPECT_EQ(adjust->graph(1)->pen().color(), QColor(255, 0, 0));
    EXPECT_EQ(markerAt(0), 30); // edge, blue
    EXPECT_EQ(markerAt(1), 60); // window, red

    record(0, 0, 0, 0, 0, 202, 200, 200); // 101 % and 100 %
    SetPanelData();
    ShowGraph();
    ASSERT_EQ(adjust->plotCount(), 2);
    EXPECT_EQ(markerAt(0), -1);
    EXPECT_EQ(markerAt(1), 100);
}

// The verdict judges the window only in ADJ EXT, the one trigger mode that measures it; in any
// other mode the record's zeros are no fault and the line stays empty.
TEST_F(PanelTest, TheVerdictSpeaksOnlyForAdjExt)
{
    const struct {
        int trigger;
        unsigned in0;
        const char *verdict;
    } cases[] = {
        {TRIGGER_ADJ_EXT, 200, "window 60 % \u2713  edge 30 % \u2713"},
        {TRIGGER_ADJ_EXT, 0, "no IN0 period: check the trigger inputs"},
        {0, 0, ""},   // CONT
        {1, 200, ""}, // EXT
        {2, 0, ""},   // EXTSTAT
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.trigger);
        SetCtrlVal(panel, PANEL_VERDICT, "stale");
        SetCtrlVal(panel, PANEL_TRIGGER, c.trigger);
        record(0, 0, 0, 0, 0, 60, c.in0, 120);
        ShowWindowVerdict();
        char text[256] = "";
        GetCtrlVal(panel, PANEL_VERDICT, text);
        EXPECT_EQ(QString::fromUtf8(text), QString::fromUtf8(c.verdict));
    }
}

TEST_F(PanelTest, BrandingVariantFiveCreatesFourLinesInOrder)
{
    auto before = window()->findChildren<QLabel *>();
    ShowLogo(5);
    QList<QLabel *> made;
    for (QLabel *l : window()->findChildren<QLabel *>())
        if (!before.contains(l)) made.append(l);
    ASSERT_EQ(made.size(), 4);
    EXPECT_EQ(made[0]->text(), "KIVREL-Vired V4.0");
    EXPECT_EQ(made[1]->text(), "Orbeck GmbH");
    EXPECT_TRUE(made[3]->text().endsWith(".example"));
    EXPECT_EQ(made[0]->pos(), QPoint(218, 30));
    EXPECT_EQ(made[1]->pos(), QPoint(15, 5));
    EXPECT_EQ(made[2]->pos(), QPoint(15, 20));
    EXPECT_EQ(made[3]->pos(), QPoint(15, 35));
    for (QLabel *l : made) {
        const int id = l->property(platform::kCtrlIdProperty).toInt();
        int error = 0;
        const platform::Control *c = platform::findControl(panel, id, &error);
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(c->textColor, 0xFFFFFF);
        EXPECT_EQ(c->bgColor, 0x0080FF);
    }
    EXPECT_EQ(widget(PANEL_LOGO)->pos(), QPoint(168, 6));
    int error = 0;
    EXPECT_EQ(platform::findControl(panel, PANEL_LOGOFRAME, &error)->frameColor, 0x0080FF);
    auto *logo = qobject_cast<QLabel *>(widget(PANEL_LOGO));
    ASSERT_NE(logo, nullptr);
    EXPECT_FALSE(logo->pixmap().isNull()) << "Orbeck.bmp beside the executable";
}

TEST_F(PanelTest, BrandingVariantZeroAndOutOfRange)
{
    const int labelsBefore = int(window()->findChildren<QLabel *>().size());
    ShowLogo(-1);
    ShowLogo(12);
    EXPECT_EQ(window()->findChildren<QLabel *>().size(), labelsBefore);
    const QPoint logoAt = widget(PANEL_LOGO)->pos();
    EXPECT_EQ(logoAt, QPoint(168, 6)) << "the panel file's own position";

    ShowLogo(0);
    EXPECT_EQ(window()->findChildren<QLabel *>().size(), labelsBefore + 1);
    EXPECT_EQ(widget(PANEL_LOGO)->pos(), QPoint(640, 5));
    auto *logo = qobject_cast<QLabel *>(widget(PANEL_LOGO));
    EXPECT_TRUE(logo->pixmap().isNull()) << "variant 0 loads no bitmap";
    int error = 0;
    EXPECT_EQ(platform::findControl(panel, PANEL_LOGOFRAME, &error)->frameColor, 0xFFFFFF);
}
