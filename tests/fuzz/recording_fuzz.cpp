// The recording and journal readers on arbitrary file contents. The first input byte chooses
// how the rest is cut into chunks; the readers must make the same of it as from one chunk,
// every row must hold what REC or the journal could have written, and a recording row written
// out again as REC writes it must read back to the same values.
#include "fuzz_check.h"
#include "journalreader.h"
#include "recreader.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

using namespace kivrel;

namespace
{

struct Recording {
    RecTally tally{};
    std::vector<RecRow> rows;
};
struct Journal {
    int skipped = 0;
    std::vector<JournalRow> rows;
};

// Feeds `bytes` in chunks of 1 to `longest` bytes from a generator seeded with `seed`, or
// whole when `longest` is 0.
template <typename Feed>
void feedInChunks(const std::string &bytes, unsigned seed, std::size_t longest, Feed feed)
{
    std::size_t at = 0;
    while (at < bytes.size()) {
        seed = seed * 1103515245u + 12345u;
        const std::size_t n = longest ? 1 + (seed >> 16) % longest : bytes.size();
        const std::size_t take = std::min(n, bytes.size() - at);
        feed(bytes.data() + at, int(take));
        at += take;
    }
}

Recording readRecording(const std::string &bytes, unsigned seed, std::size_t longest)
{
    Recording r;
    RecReader reader;
    BeginRecReading(
        &reader,
        [](const RecRow *row, void *rows) {
            static_cast<std::vector<RecRow> *>(rows)->push_back(*row);
        },
        &r.rows);
    feedInChunks(bytes, seed, longest,
                 [&reader](const char *p, int n) { FeedRecReading(&reader, p, n); });
    EndRecReading(&reader, &r.tally);
    return r;
}

Journal readJournal(const std::string &bytes, unsigned seed, std::size_t longest)
{
    Journal j;
    JournalReader reader;
    BeginJournalReading(
        &reader,
        [](const JournalRow *row, void *rows) {
            static_cast<std::vector<JournalRow> *>(rows)->push_back(*row);
        },
        &j.rows);
    feedInChunks(bytes, seed, longest,
                 [&reader](const char *p, int n) { FeedJournalReading(&reader, p, n); });
    j.skipped = EndJournalReading(&reader);
    return j;
}

bool sameRow(const RecRow &a, const RecRow &b)
{
    return a.time == b.time && a.seconds == b.seconds && a.dat0 == b.dat0 && a.dat1 == b.dat1 &&
           a.norm == b.norm && a.threshold == b.threshold && a.hysteresis == b.hysteresis &&
           a.in0Period == b.in0Period && a.activeWindow == b.activeWindow &&
           a.edgeTime == b.edgeTime;
}

bool sameTally(const RecTally &a, const RecTally &b)
{
    return a.isRecording == b.isRecording && a.empty == b.empty && a.isJournal == b.isJournal &&
           a.rows == b.rows && a.cutShort == b.cutShort && a.notARow == b.notARow &&
           a.notARowLines[0] == b.notARowLines[0] && a.extraColumns == b.extraColumns &&
           a.unreadable == b.unreadable &&
           (a.rows == 0 || (a.first == b.first && a.last == b.last)) &&
           std::strcmp(a.firstStamp, b.firstStamp) == 0 &&
           std::strcmp(a.lastStamp, b.lastStamp) == 0;
}

bool sameJournalRow(const JournalRow &a, const JournalRow &b)
{
    return a.time == b.time && a.direction == b.direction && a.where == b.where &&
           a.port == b.port && std::strcmp(a.device, b.device) == 0 &&
           std::strcmp(a.who, b.who) == 0 && std::memcmp(a.values, b.values, sizeof a.values) == 0;
}

// The row as REC writes it, in UTC.
std::string writeRow(const RecRow &r)
{
    const double whole = std::floor(r.time);
    const std::time_t t = static_cast<std::time_t>(whole);
    std::tm utc{};
    gmtime_r(&t, &utc);
    char line[256];
    std::snprintf(line, sizeof line,
                  "%04d-%02d-%02dT%02d:%02d:%02d.%03d+00:00,%.6f,%u,%u,%u,%u,%u,%u,%u,%u,,\n",
                  utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min,
                  utc.tm_sec, int(std::lround((r.time - whole) * 1000)) % 1000, r.seconds, r.dat0,
                  r.dat1, r.norm, r.threshold, r.hysteresis, r.in0Period, r.activeWindow,
                  r.edgeTime);
    return line;
}

const char kHeader[] = "time,seconds,dat0,dat1,norm,threshold,hysteresis,in0_period,"
                       "active_window,edge_time,active_percent,edge_percent\n";

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1) return 0;
    const unsigned seed = data[0];
    const std::string bytes(reinterpret_cast<const char *>(data + 1), size - 1);

    const Recording whole = readRecording(bytes, seed, 0);
    const Recording cut = readRecording(bytes, seed, 1 + seed % 97);
    FUZZ_CHECK(sameTally(whole.tally, cut.tally),
               "the chunks changed what the recording reader counted");
    FUZZ_CHECK(whole.rows.size() == cut.rows.size(), "the chunks changed the rows read");
    for (std::size_t i = 0; i < whole.rows.size(); i++)
        FUZZ_CHECK(sameRow(whole.rows[i], cut.rows[i]), "the chunks changed a row");
    const RecTally &t = whole.tally;
    FUZZ_CHECK(t.rows == int(whole.rows.size()), "every row counted reaches the sink");
    FUZZ_CHECK(t.isRecording ||
                   (t.rows == 0 && t.cutShort + t.notARow + t.extraColumns + t.unreadable == 0),
               "a file that is no recording yields nothing");
    long lines = 0;
    for (char c : bytes)
        lines += c == '\n';
    FUZZ_CHECK(t.rows + t.cutShort + t.notARow + t.extraColumns + t.unreadable <= lines + 1,
               "no more rows and skips than lines");
    for (const RecRow &r : whole.rows) {
        FUZZ_CHECK(std::isfinite(r.time) && r.seconds >= 0 && r.seconds < 1e9,
                   "times as REC writes them");
        FUZZ_CHECK(r.in0Period <= 65535 && r.activeWindow <= 65535 && r.edgeTime <= 65535,
                   "16-bit fields");
    }
    // Written out again, a row reads back the same (years REC can write, that is after 1970).
    for (const RecRow &r : whole.rows) {
        if (r.time < 0 || r.time > 253402300799.0) continue;
        const Recording again = readRecording(kHeader + writeRow(r), 0, 0);
        FUZZ_CHECK(again.rows.size() == 1, "a row written out reads back");
        RecRow a = again.rows[0];
        FUZZ_CHECK(std::fabs(a.time - r.time) < 1e-3, "a row written out keeps its time");
        a.time = r.time;
        FUZZ_CHECK(sameRow(a, r), "a row written out reads back to the same values");
    }

    const Journal jWhole = readJournal(bytes, seed, 0);
    const Journal jCut = readJournal(bytes, seed, 1 + seed % 61);
    FUZZ_CHECK(jWhole.skipped == jCut.skipped && jWhole.rows.size() == jCut.rows.size(),
               "the chunks changed what the journal reader made of it");
    for (std::size_t i = 0; i < jWhole.rows.size(); i++) {
        const JournalRow &r = jWhole.rows[i];
        FUZZ_CHECK(sameJournalRow(r, jCut.rows[i]), "the same journal rows");
        FUZZ_CHECK(r.direction == 0 || r.direction == 1, "read or write");
        FUZZ_CHECK(r.where >= 1 && r.where <= 3, "RAM, EEPROM or FILE");
        FUZZ_CHECK(r.port >= 0 && r.port <= 255 && (r.where == 3) == (r.port == 0),
                   "a port for the sensor, none for a file");
        FUZZ_CHECK(std::memchr(r.device, 0, sizeof r.device) && std::memchr(r.who, 0, sizeof r.who),
                   "texts end inside their buffers");
        FUZZ_CHECK(std::isfinite(r.time), "a time");
    }
    return 0;
}
