// The set-up assistant: the suggestion rule and the window verdict as tables, and the proof
// against the simulated sensor that a suggestion sent counts exactly one edge per mark.
#include "sim_fixture.h"

#include "rules.h"

#include <QRegularExpression>

#include <vector>

using namespace kivrel;
using namespace kivrel::test;

namespace
{

// `marks` samples cycling through `mark` among background samples cycling through
// `background`, n in all.
std::vector<unsigned char> polled(int marks, std::vector<int> mark, std::vector<int> background,
                                  int n)
{
    std::vector<unsigned char> v;
    for (int i = 0; i < n; i++) {
        const auto &from = i < marks ? mark : background;
        v.push_back(static_cast<unsigned char>(from[std::size_t(i) % from.size()]));
    }
    return v;
}

std::vector<unsigned char> minima(int highest)
{
    std::vector<unsigned char> j(16);
    for (int i = 0; i < 16; i++)
        j[std::size_t(i)] = static_cast<unsigned char>(std::max(0, highest - 15 + i));
    return j;
}

} // namespace

TEST(SuggestRule, SuggestsBetweenMarksAndBackgroundOrSaysWhyNot)
{
    const std::vector<int> quiet{160}, black{100};
    const std::vector<int> noisy{152, 155, 158, 161, 164, 167, 170};
    const struct {
        const char *name;
        int mode, haveJump;
        std::vector<unsigned char> jump, norms;
        int threshold, hysteresis; // 0: refused, with this text
        const char *refusal;
    } cases[] = {
        {"clear", 0, 1, minima(100), polled(20, black, quiet, 100), 130, 145, nullptr},
        // Background 152 to 170: P90 167, its foot 161 - (170 - 161) * 2.4 = 140.
        {"noisy", 0, 1, minima(100), polled(30, black, noisy, 100), 133, 136, nullptr},
        // Marks 110 to 130 with minima around 97: their top 2 * 120 - 97 = 143 lifts the
        // hysteresis above the threshold's margin.
        {"grey marks", 0, 1, minima(105), polled(20, {110, 120, 130}, quiet, 100), 132, 151,
         nullptr},
        {"twenty records do", 0, 1, minima(100), polled(4, black, quiet, 20), 130, 145, nullptr},
        {"DYN1", 1, 1, minima(100), polled(20, black, quiet, 100), 0, 0,
         "Suggestions are for TRSH MODE FIX"},
        {"no jump buffer", 0, 0, minima(100), polled(20, black, quiet, 100), 0, 0,
         "Press GetBuff first"},
        {"nineteen records", 0, 1, minima(100), polled(4, black, quiet, 19), 0, 0,
         "Poll with Go for a few seconds"},
        {"no edge recorded", 0, 1, minima(0), polled(20, black, quiet, 100), 0, 0,
         "No edge in the jump buffer"},
        {"marks as light as paper", 0, 1, minima(154), polled(20, {154}, quiet, 100), 0, 0,
         "Marks and background too close: check POWER and alignment"},
        // Much of the background sits right at the threshold: no room for a hysteresis.
        {"background reaching down", 0, 1, minima(135), polled(10, {135}, {155, 155, 175}, 100), 0,
         0, "Marks and background too close: check POWER and alignment"},
        // Dim light: both spread so wide that what the sensor meets between the polls overlaps.
        {"noise on both", 0, 1, minima(113),
         polled(12, {115, 120, 125, 130, 135, 139}, {146, 150, 155, 160, 165, 170, 175, 182}, 48),
         0, 0, "Marks and background too close: check POWER and alignment"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const Suggestion s =
            SuggestSetting(c.mode, c.haveJump, c.jump.data(), c.norms.data(), int(c.norms.size()));
        EXPECT_EQ(s.ok, c.threshold != 0);
        if (c.threshold) {
            EXPECT_EQ(s.threshold, c.threshold);
            EXPECT_EQ(s.hysteresis, c.hysteresis);
            EXPECT_LE(std::abs((s.threshold - s.markLevel) - (s.background - s.threshold)), 1)
                << "equal margins";
        } else {
            ASSERT_NE(s.refusal, nullptr);
            EXPECT_TRUE(std::string(s.refusal).starts_with(c.refusal)) << s.refusal;
        }
    }
}

TEST(WindowVerdict, JudgesWindowAndEdgeAgainstTheirAims)
{
    const struct {
        unsigned in0, window, edge;
        const char *verdict;
    } cases[] = {
        {2000, 1200, 600, "window 60 % \u2713  edge 30 % \u2713"},
        {2000, 1160, 820, "window 58 % \u2713  edge 41 %: late by 12 %"},
        {2000, 900, 100, "window 45 %: short by 15 %  edge 5 %: early by 17 %"},
        {1000, 800, 400, "window 80 %: long by 20 %  edge 40 % \u2713"},
        {100, 65, 37, "window 65 % \u2713  edge 37 % \u2713"}, // both at the edge of tolerance
        {100, 66, 39, "window 66 %: long by 6 %  edge 39 %: late by 6 %"},
        {0, 1200, 600, "no IN0 period: check the trigger inputs"},
    };
    for (const auto &c : cases) {
        char text[128];
        JudgeWindow(c.in0, c.window, c.edge, text, sizeof text);
        EXPECT_STREQ(text, c.verdict);
    }
}

// ---- Proof against the simulated sensor -----------------------------------------------------

namespace
{

struct Setting {
    const char *name;
    QStringList simArgs;
    int power;                           // percent on the panel
    int startThreshold, startHysteresis; // the operator's first guess, to fill the jump buffer
    bool mayRefuse;                      // a setting where saying "cannot" is a right answer
};

// The first six must find values; the marginal two may find them or say they cannot, the
// hard two must say they cannot or find values that work.
const Setting kSettings[] = {
    {"black marks", {}, 78, 120, 150, false},
    {"wide marks", {"--mark", "45"}, 78, 120, 150, false},
    {"narrow marks, half power", {"--mark", "8"}, 50, 120, 150, false},
    {"quarter power", {"--mark", "30", "--jitter", "3"}, 25, 120, 150, false},
    {"black marks, noisy", {"--jitter", "6"}, 78, 120, 150, false},
    {"grey marks", {"--depth", "50"}, 78, 150, 156, false},
    {"marginal: grey marks, noisy", {"--depth", "50", "--jitter", "4"}, 78, 150, 156, true},
    {"marginal: pale marks", {"--depth", "35", "--jitter", "3"}, 78, 154, 157, true},
    {"hard: dim light", {"--jitter", "4"}, 10, 120, 150, true},
    {"hard: faint marks in noise", {"--depth", "15", "--jitter", "6"}, 78, 157, 160, true},
};

class AssistProof : public SimTest, public testing::WithParamInterface<Setting>
{
};

} // namespace

TEST_P(AssistProof, ASentSuggestionCountsOneEdgePerMark)
{
    const Setting &s = GetParam();
    startSim(QStringList{"--fast", "--rate", "20", "--stats", "--seed", "5"} + s.simArgs);
    connect();
    // The operator's start: power and a first threshold that counts the marks.
    SetCtrlVal(panel, PANEL_POWER, s.power);
    SetCtrlVal(panel, PANEL_THRESHOLD, s.startThreshold);
    SetCtrlVal(panel, PANEL_HYSTERESIS, s.startHysteresis);
    click(BUTTON_SEND);
    // The operator polls for some two seconds: 36 records.
    when([] { return normCount >= 36; }, [] { click(BUTTON_STOP); });
    click(BUTTON_GO);
    click(BUTTON_GETBUFF);
    click(BUTTON_SUGGEST);
    char line[256] = "";
    GetCtrlVal(panel, PANEL_SUGGESTION, line);
    const bool suggested = QString(line).startsWith("THRESHOLD");
    const int threshold = byteValue(PANEL_THRESHOLD), hysteresis = byteValue(PANEL_HYSTERESIS);
    if (suggested) click(BUTTON_SEND);
    spin(2.5); // fifty marks pass
    ASSERT_TRUE(sim->stop());
    const QRegularExpressionMatch counts =
        QRegularExpression("since the last parameter write: marks (\\d+), edges (\\d+)")
            .match(sim->errorOutput());
    ASSERT_TRUE(counts.hasMatch());
    const int marks = counts.captured(1).toInt(), edges = counts.captured(2).toInt();
    std::printf("| %s | %s | %d %% | %s | %d | %d |\n", s.name,
                s.simArgs.join(' ').toStdString().c_str(), s.power, line, marks, edges);
    EXPECT_EQ(reports(), 0);
    if (!suggested) {
        EXPECT_TRUE(s.mayRefuse) << line;
        EXPECT_TRUE(QString(line).startsWith("Marks and background too close")) << line;
        return;
    }
    EXPECT_LT(threshold, hysteresis);
    EXPECT_GE(marks, 35);
    EXPECT_EQ(edges, marks) << "threshold " << threshold << ", hysteresis " << hysteresis;
}

INSTANTIATE_TEST_SUITE_P(Settings, AssistProof, testing::ValuesIn(kSettings),
                         [](const testing::TestParamInfo<Setting> &info) {
                             return "Setting" + std::to_string(info.index);
                         });
