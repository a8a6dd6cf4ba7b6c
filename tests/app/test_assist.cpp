// The set-up assistant: the suggestion rule and the window verdict as tables, and the proof
// against the simulated sensor that a suggestion sent counts exactly one edge per mark.
#include "sim_fixture.h"

#include "recording.h"
#include "rules.h"

#include <QRegularExpression>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
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
    const std::vector<int> quiet{160}, black{100}, marks{92, 96, 100, 104, 108};
    // Background with samples polling caught on marks' flanks, spread thinly between.
    const std::vector<int> flanks{160, 160, 160, 160, 160, 160, 160, 160, 160,
                                  160, 160, 160, 112, 120, 128, 136, 144, 152};
    // The noisy background found in the field: NORM about 170, spread 6; marks about 110.
    const std::vector<int> field{98, 102, 106, 110, 114, 118, 122};
    const std::vector<int> paper{160, 164, 168, 170, 172, 176, 180}, near{137, 141, 145, 149, 153};
    // Narrow marks: polling lands in one seldom, on its flanks about as often.
    const std::vector<int> narrow{99, 103}, narrowFlanks{160, 160, 160, 160, 160, 160, 160, 160,
                                                         160, 160, 160, 160, 124, 132, 140, 148};
    // Faint marks: one in eight at 145 and one in ten at 130 among marks of 60 and 50.
    const std::vector<int> paper200{197, 198, 199, 200, 201, 202, 203},
        marks8{57, 58, 59, 60, 61, 62, 63, 145}, marks10{47, 48, 49, 50, 51, 52, 53, 50, 49, 130};
    const std::vector<unsigned char> faint8{57, 58, 59, 60, 61, 62, 63, 144,
                                            57, 58, 59, 60, 61, 62, 63, 146},
        faint10{47, 48, 49, 50, 51, 52, 53, 130, 47, 48, 49, 50, 51, 52, 130, 50},
        pale{57, 58, 59, 60, 61, 62, 63, 190, 57, 58, 59, 60, 61, 62, 63, 189},
        faint4{57, 58, 59, 60, 145, 62, 63, 145, 57, 58, 145, 60, 61, 62, 63, 145},
        jump118{93, 91, 95, 93, 94, 93, 92, 118, 87, 91, 92, 91, 94, 90, 90, 92},
        jump104{93, 89, 97, 93, 95, 92, 91, 104, 86, 91, 94, 90, 96, 88, 90, 92};
    const std::vector<int> paper158{148, 151, 154, 156, 158, 160, 162, 165, 168};
    const struct {
        const char *name;
        int mode, haveJump;
        std::vector<unsigned char> jump, norms;
        int threshold, hysteresis; // 0: refused, with this text
        const char *refusal;
    } cases[] = {
        {"clear", 0, 1, minima(100), polled(20, marks, quiet, 100), 132, 146, nullptr},
        {"flank samples", 0, 1, minima(100), polled(20, marks, flanks, 100), 132, 145, nullptr},
        {"noisy background", 0, 1, minima(104), polled(60, field, paper, 300), 124, 146, nullptr},
        {"twenty records", 0, 1, minima(100), polled(4, marks, quiet, 20), 0, 0,
         "Poll with Go longer: 20 records, 40 wanted"},
        // Every poll between the marks: they rest on the jump buffer alone.
        {"no mark polled", 0, 1, minima(101), polled(0, marks, {191}, 130), 148, 169, nullptr},
        {"narrow marks", 0, 1, minima(100), polled(2, narrow, narrowFlanks, 130), 132, 146,
         nullptr},
        // Room at face value that only a full history could make sure of, and did not.
        {"unsure room", 0, 1, minima(100), polled(80, marks, near, 400), 0, 0,
         "Poll with Go longer: 400 records, 800 wanted"},
        {"unsure at full history", 0, 1, minima(100), polled(160, marks, near, 800), 0, 0,
         "Marks and background too close: check POWER and alignment"},
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
        {"background reaching down", 0, 1, minima(135), polled(10, {135}, {155, 155, 175}, 100), 0,
         0, "Marks and background too close: check POWER and alignment"},
        // Dim light: both spread so wide that what the sensor meets between the polls overlaps.
        {"noise on both", 0, 1, minima(113),
         polled(12, {115, 120, 125, 130, 135, 139}, {146, 150, 155, 160, 165, 170, 175, 182}, 48),
         0, 0, "Marks and background too close: check POWER and alignment"},
        // Few records of a wide background: THRESHOLD stands at the top of its room, 5 spreads
        // and two standard errors below the background, short of the middle of the estimates.
        {"THRESHOLD at the top of its room", 0, 1, minima(115),
         polled(8, marks, {154, 155, 156, 157, 158, 159, 160, 161, 162, 163, 164, 165, 166}, 40),
         128, 140, nullptr},
        // Faint marks (issue 37). A background at 200 +- 3, marks at 60 +- 3 and one mark in
        // eight at 145, after 15 s and after 40 s of polling: THRESHOLD above the faint ones.
        {"one mark in eight faint", 0, 1, faint8, polled(26, marks8, paper200, 130), 171, 182,
         nullptr},
        {"one mark in eight faint, 40 s", 0, 1, faint8, polled(72, marks8, paper200, 360), 171, 182,
         nullptr},
        {"one mark in ten faint", 0, 1, faint10, polled(26, marks10, paper200, 130), 162, 178,
         nullptr},
        {"one mark in ten faint, 40 s", 0, 1, faint10, polled(72, marks10, paper200, 360), 162, 178,
         nullptr},
        // Faint marks too pale for any THRESHOLD to count them: the print, not the sensor.
        {"faint marks too pale", 0, 1, pale, polled(26, marks8, paper200, 130), 0, 0,
         "2 of 16 marks faint (minima 190 against median 60): check the print"},
        // More than three are no split: the rule as without faint marks.
        {"four marks faint", 0, 1, faint4, polled(160, marks8, paper200, 800), 0, 0,
         "Marks and background too close: check POWER and alignment"},
        // The jump buffer measured with 691 polled values (marks near 94, background near 158):
        // the rule once gave THRESHOLD 116, under the mark that bottomed at 118. That mark is
        // faint, and there is too little room to count it.
        {"a minimum at 118", 0, 1, jump118, polled(120, {92, 93, 94, 95, 96}, paper158, 691), 0, 0,
         "Poll with Go longer: 691 records, 800 wanted"},
        {"a minimum at 118, full history", 0, 1, jump118,
         polled(139, {92, 93, 94, 95, 96}, paper158, 800), 0, 0,
         "1 of 16 marks faint (minimum 118 against median 92): check the print"},
        // A highest minimum too close to be faint: the polled marks narrowed the minima's spread
        // to a pair with THRESHOLD at 104, and without that narrowing there is none.
        {"a highest minimum not faint", 0, 1, jump104,
         polled(100, {92, 93, 94, 95, 96}, {130, 133, 136, 138, 140, 142, 144, 147, 150}, 500), 0,
         0, "No safe pair: the jump buffer's highest minimum (104) is too close to the background"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const Suggestion s =
            SuggestSetting(c.mode, c.haveJump, c.jump.data(), c.norms.data(), int(c.norms.size()));
        EXPECT_EQ(s.ok, c.threshold != 0);
        if (c.threshold) {
            EXPECT_EQ(s.threshold, c.threshold);
            EXPECT_EQ(s.hysteresis, c.hysteresis);
            // Every mark counts, faint ones too.
            EXPECT_GT(s.threshold, *std::max_element(c.jump.begin(), c.jump.end()));
            // The stated margins, in the spreads the explanation reports.
            const double below = s.faint ? s.highestMinimum : s.minima.level;
            EXPECT_GE(std::min({(s.threshold - below) / s.minima.spread,
                                (s.hysteresis - s.above.level) / s.above.spread,
                                (s.background.level - s.hysteresis) / s.background.spread}),
                      int(SuggestMargin));
            EXPECT_GE((s.background.level - s.threshold) / s.background.spread,
                      int(SuggestBackgroundMargin));
        } else {
            EXPECT_TRUE(std::string(s.refusal).starts_with(c.refusal)) << s.refusal;
        }
    }
}

// The last check every pair passes: THRESHOLD above the highest minimum, HYSTERESIS above
// THRESHOLD and below the background's level less 3 of its spreads; each bound strict.
TEST(SuggestRule, TheLastCheckPassesOnlyASafePair)
{
    const Cluster paper{158, 6, 600, 300}; // HYSTERESIS below 140
    const struct {
        int threshold, hysteresis, highestMinimum;
        Cluster background;
        int safe;
    } cases[] = {
        {119, 139, 118, paper, 1},
        {116, 137, 118, paper, 0}, // the pair the rule once gave: the mark at 118 is missed
        {118, 139, 118, paper, 0}, // THRESHOLD at the highest minimum
        {119, 140, 118, paper, 0}, // HYSTERESIS at the background's level less 3 spreads
        {119, 119, 118, paper, 0}, // HYSTERESIS at THRESHOLD
        {120, 119, 118, paper, 0},
        {101, 140, 100, {160, 6.5, 600, 300}, 1},
        {101, 140, 100, {160, 6.7, 600, 300}, 0},
        {200, 240, 190, {255, 4.9, 600, 300}, 1},
    };
    for (const auto &c : cases)
        EXPECT_EQ(SafePair(c.threshold, c.hysteresis, c.highestMinimum, c.background), c.safe)
            << c.threshold << " " << c.hysteresis << " " << c.highestMinimum;
}

// A minimum is faint when it lies more than 6 x 1.4826 x MAD above the median of the others
// (that spread never below half a count), at most 3 of them.
TEST(SuggestRule, TellsAFaintMarkFromNoise)
{
    const std::vector<unsigned char> norms = polled(20, {92, 93, 94, 95, 96}, {158}, 100);
    // The others: median 92, median absolute deviation 1, so faint above 100.9.
    std::vector<unsigned char> spread{93, 91, 95, 93, 94, 93, 92, 0,
                                      87, 91, 92, 91, 94, 90, 90, 92};
    // The others all alike: the spread is half a count, faint above 95.
    std::vector<unsigned char> alike(16, 92);
    const struct {
        std::vector<unsigned char> &jump;
        int value, faint;
    } cases[] = {{spread, 100, 0}, {spread, 101, 1}, {spread, 118, 1},
                 {spread, 80, 0},  {alike, 95, 0},   {alike, 96, 1}};
    for (const auto &c : cases) {
        std::vector<unsigned char> jump = c.jump;
        jump[7] = static_cast<unsigned char>(c.value);
        const Suggestion s = SuggestSetting(0, 1, jump.data(), norms.data(), int(norms.size()));
        EXPECT_EQ(s.faint, c.faint) << int(c.value);
    }
    // Three faint minima are faint marks; a fourth makes none of them faint.
    std::vector<unsigned char> jump(16, 92);
    for (int faint = 1; faint <= 4; faint++) {
        jump[std::size_t(faint) * 3] = 130;
        const Suggestion s = SuggestSetting(0, 1, jump.data(), norms.data(), int(norms.size()));
        EXPECT_EQ(s.faint, faint <= 3 ? faint : 0) << faint;
    }
}

TEST(SuggestRule, SaysHowManyMarksAreFaint)
{
    const std::vector<unsigned char> jump{57, 58, 59, 60, 61, 62, 63, 144,
                                          57, 58, 59, 60, 61, 62, 63, 146};
    const std::vector<unsigned char> norms =
        polled(26, {57, 58, 59, 60, 61, 62, 63, 145}, {197, 198, 199, 200, 201, 202, 203}, 130);
    const Suggestion s = SuggestSetting(0, 1, jump.data(), norms.data(), int(norms.size()));
    char text[256];
    DescribeSuggestion(s, text, sizeof text);
    EXPECT_STREQ(text, "THRESHOLD 171: 12.0 spreads above the highest faint minimum (2 of 16 marks "
                       "faint), 13.8 below the background; HYSTERESIS 182: 17.3 above the marks' "
                       "highest minimum, 8.6 below the background");
    // Fewer edges than the minima's spread needs once the faint one is left out: let more pass.
    std::vector<unsigned char> few(16, 0);
    for (int i = 0; i < 8; i++)
        few[std::size_t(i)] = static_cast<unsigned char>(58 + i % 5);
    few[15] = 146;
    const Suggestion fewer = SuggestSetting(0, 1, few.data(), norms.data(), int(norms.size()));
    EXPECT_EQ(fewer.faint, 1);
    EXPECT_STREQ(fewer.refusal,
                 "Only 9 edges in the jump buffer: let more marks pass, then GetBuff");
}

namespace
{

// splitmix64: the same draws on every platform, unlike the standard distributions.
struct Draw {
    std::uint64_t state;
    std::uint64_t next()
    {
        std::uint64_t x = (state += 0x9E3779B97F4A7C15ull);
        x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
        x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
        return x ^ (x >> 31);
    }
    double uniform(double lo, double hi)
    {
        return lo + (hi - lo) * double(next() >> 11) / 9007199254740992.0;
    }
    int below(int n) { return int(next() % std::uint64_t(n)); }
    double normal()
    {
        const double u = (double(next() >> 11) + 1) / 9007199254740992.0, v = uniform(0, 1);
        return std::sqrt(-2 * std::log(u)) * std::cos(6.283185307179586 * v);
    }
    unsigned char norm(double v)
    {
        return static_cast<unsigned char>(std::clamp(std::lround(v), 1L, 255L));
    }
};

// A line as the rule may meet it: marks and background of any level and spread, in one line of
// three every few marks faint, in one of two a mark that bottomed out a few spreads higher than
// the rest, and samples caught on the marks' flanks.
void randomLine(Draw &d, std::vector<unsigned char> &jump, std::vector<unsigned char> &norms)
{
    const double marks = d.uniform(30, 170);
    const double background = std::min(250.0, marks + d.uniform(8, 120));
    const double markSpread = d.uniform(0.5, 4), minimaSpread = d.uniform(0.5, 5),
                 backgroundSpread = d.uniform(0.5, 8);
    const double minima = marks - d.uniform(0, 4);
    const int faintEvery = d.below(3) == 0 ? 4 + d.below(13) : 0;
    const double faint = marks + d.uniform(0.2, 0.95) * (background - marks);
    jump.clear();
    for (int i = 0; i < 16; i++) {
        const bool isFaint = faintEvery && (i + d.below(faintEvery)) % faintEvery == 0;
        jump.push_back(d.norm((isFaint ? faint : minima) + minimaSpread * d.normal()));
    }
    if (d.below(2) == 0)
        jump[std::size_t(d.below(16))] = d.norm(minima + d.uniform(2, 7) * minimaSpread);
    const int n = 20 + d.below(781);
    const double inMarks = d.uniform(0, 0.3), onFlanks = d.uniform(0, 0.08);
    norms.clear();
    for (int i = 0; i < n; i++) {
        const double u = d.uniform(0, 1);
        double v = background + backgroundSpread * d.normal();
        if (u < inMarks)
            v = faintEvery && d.below(faintEvery) == 0 ? faint : marks + markSpread * d.normal();
        else if (u < inMarks + onFlanks)
            v = d.uniform(marks, background);
        norms.push_back(d.norm(v));
    }
}

} // namespace

// Whatever the rule meets, a pair it returns counts every mark of the jump buffer, re-arms between
// marks and stays clear of the background. The rule before the last check and faint marks
// returned 5 pairs in these 4000 lines whose THRESHOLD missed the highest minimum, the first at
// case 592.
TEST(SuggestRule, NoPairItReturnsMissesAMark)
{
    Draw d{1};
    std::vector<unsigned char> jump, norms;
    int suggested = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 4000; i++) {
        randomLine(d, jump, norms);
        const Suggestion s = SuggestSetting(0, 1, jump.data(), norms.data(), int(norms.size()));
        if (!s.ok) continue;
        suggested++;
        const int highest = *std::max_element(jump.begin(), jump.end());
        ASSERT_GT(s.threshold, highest) << "case " << i;
        ASSERT_GT(s.hysteresis, s.threshold) << "case " << i;
        ASSERT_LT(s.hysteresis, s.background.level - double(SuggestMargin) * s.background.spread)
            << "case " << i;
    }
    EXPECT_GT(suggested, 1500); // the random lines leave room often enough to tell
    std::printf("%d suggestions in 4000 random lines, %.2f s\n", suggested,
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
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
    double room;      // counts between the marks and the background (docs/ASSISTANT.md shows how)
    int part = 1;     // which ctest entry runs it, to keep each short
    double rate = 20; // marks a second
    // What a refusal may say: some marks printed faint are named, never POWER and alignment.
    bool faint = false;
};

// The percents are ones no byte shows, which the panel converts by the formula alone: 77 %
// and 9 % send 11 and 42 however a shown percent may be converted back.
const Setting kSettings[] = {
    {"black marks", {}, 77, 120, 150, 34.9},
    {"wide marks", {"--mark", "45"}, 77, 120, 150, 34.6},
    {"narrow marks, half power", {"--mark", "8"}, 50, 120, 150, 30.0},
    {"quarter power", {"--mark", "30", "--jitter", "3"}, 25, 120, 150, 0.3},
    {"black marks, noisy", {"--jitter", "6"}, 77, 120, 150, 16.9},
    {"grey marks", {"--depth", "50"}, 77, 150, 156, 9.5},
    {"grey marks, noisy", {"--depth", "50", "--jitter", "4"}, 77, 150, 156, 2.0, 2},
    {"pale marks", {"--depth", "35", "--jitter", "3"}, 77, 154, 157, 0.3, 2},
    {"noisy background", {"--jitter", "7", "--grain", "12"}, 77, 120, 150, 2.1, 2},
    {"dim light, steady", {}, 20, 120, 150, 9.3, 2},
    {"hard: dim light", {"--jitter", "4"}, 9, 120, 150, -98.8},
    {"hard: faint marks in noise", {"--depth", "15", "--jitter", "6"}, 77, 157, 160, -17.9, 2},
    {"narrow marks", {"--mark", "2"}, 77, 120, 150, 35.5, 2, 5},
    {"grey marks, noisy ground", {"--depth", "50", "--grain", "3"}, 77, 150, 156, 7.5},
    // Faint marks, the room counted from them (docs/ASSISTANT.md); the first threshold counts
    // them too. In the normal build only, as the rest.
    {"faint marks, one in ten", {"--faint-every", "10"}, 77, 152, 157, 1.6, 3, 20, true},
    {"faint marks, one in eight, darker",
     {"--faint-every", "8", "--faint-depth", "85"},
     77,
     135,
     152,
     26.0,
     3,
     20,
     true},
    // Narrow marks: polling seldom lands in one, and all but never in the one faint mark of
    // the jump buffer.
    {"one faint mark in the jump buffer, none polled",
     {"--mark", "2", "--faint-every", "16"},
     77,
     152,
     157,
     1.7,
     3,
     5,
     true},
};
const int kSeeds[] = {5, 6, 7};
// Where there is this much room, a suggestion is due.
const double kRoomForSure = 12;

class AssistProof : public SimTest, public testing::WithParamInterface<std::tuple<Setting, int>>
{
  protected:
    void pollUntil(int records) // Go until `records` NORM values are in, then Stop
    {
        when([records] { return normCount >= records; }, [] { click(BUTTON_STOP); },
             pollDeadline - 5);
        click(BUTTON_GO);
    }
};

} // namespace

TEST_P(AssistProof, ASentSuggestionCountsOneEdgePerMark)
{
    const auto &[s, seed] = GetParam();
    pollDeadline = 45; // a full NORM history
    const QString rate = QString::number(s.rate);
    startSim(QStringList{"--fast", "--rate", rate, "--stats", "--seed", QString::number(seed)} +
             s.simArgs);
    connect();
    // The operator's start: power and a first threshold that counts the marks.
    SetCtrlVal(panel, PANEL_POWER, s.power);
    SetCtrlVal(panel, PANEL_THRESHOLD, s.startThreshold);
    SetCtrlVal(panel, PANEL_HYSTERESIS, s.startHysteresis);
    click(BUTTON_SEND);
    pollUntil(130);
    click(BUTTON_GETBUFF);
    char line[256] = "";
    int wanted = 0;
    // Polling as long as SUGGEST asks, each time for more.
    click(BUTTON_SUGGEST);
    GetCtrlVal(panel, PANEL_SUGGESTION, line);
    while (std::sscanf(line, "Poll with Go longer: %*d records, %d wanted", &wanted) == 1) {
        pollUntil(wanted);
        click(BUTTON_SUGGEST);
        GetCtrlVal(panel, PANEL_SUGGESTION, line);
    }
    const bool suggested = QString(line).startsWith("THRESHOLD");
    const int threshold = byteValue(PANEL_THRESHOLD), hysteresis = byteValue(PANEL_HYSTERESIS);
    const int records = normCount;
    if (suggested) click(BUTTON_SEND);
    // Fifty marks pass, polled: a simulator nobody asks for five seconds skips ahead.
    after(int(50 / s.rate * 1000), [] { click(BUTTON_STOP); });
    click(BUTTON_GO);
    ASSERT_TRUE(sim->stop());
    const QRegularExpressionMatch counts =
        QRegularExpression("since the last parameter write: marks (\\d+), edges (\\d+)")
            .match(sim->errorOutput());
    ASSERT_TRUE(counts.hasMatch());
    const int marks = counts.captured(1).toInt(), edges = counts.captured(2).toInt();
    const QStringList simArgs =
        (s.rate != 20 ? QStringList{"--rate", rate} : QStringList{}) + s.simArgs;
    std::printf("| %s | %s | %d | %d %% | %d | %s | %d | %d |\n", s.name,
                simArgs.join(' ').toStdString().c_str(), seed, s.power, records, line, marks,
                edges);
    EXPECT_EQ(reports(), 0);
    if (!suggested) {
        EXPECT_LT(s.room, kRoomForSure) << line;
        // Faint marks are named where the jump buffer shows them faint: in these settings, where
        // the other minima spread widely, in about three buffers of four (docs/ASSISTANT.md).
        const bool faintNamed = QRegularExpression("^\\d+ of 16 marks faint \\(minim(um|a) \\d+ "
                                                   "against median \\d+\\): check the print$")
                                    .match(line)
                                    .hasMatch();
        EXPECT_TRUE((s.faint && faintNamed) ||
                    QString(line).startsWith("Marks and background too close"))
            << line;
        return;
    }
    EXPECT_LT(threshold, hysteresis);
    EXPECT_GE(marks, 35);
    EXPECT_EQ(edges, marks) << "threshold " << threshold << ", hysteresis " << hysteresis;
}

// PartNSeedMSettingK: the proof polls for minutes, ctest runs a seed and half the settings at once.
INSTANTIATE_TEST_SUITE_P(Settings, AssistProof,
                         testing::Combine(testing::ValuesIn(kSettings), testing::ValuesIn(kSeeds)),
                         [](const testing::TestParamInfo<std::tuple<Setting, int>> &info) {
                             return "Part" + std::to_string(std::get<0>(info.param).part) + "Seed" +
                                    std::to_string(std::get<1>(info.param)) + "Setting" +
                                    std::to_string(info.index / std::size(kSeeds));
                         });
