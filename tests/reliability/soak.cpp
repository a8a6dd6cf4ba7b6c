// Long polling against a scripted sensor with faults injected along the way.
//
//   test_rel_soak [--cycles N] [--faults LIST] [--max-heap-growth-mb X] [--max-rss-growth-mb X]
//
// LIST is a comma list of short, long, noise, silence, late, hangup, spread evenly over the
// run; a hangup is followed by a new sensor on the same COM number and a connect from the port
// selector. Passes when every cycle but the injected ones read a record, every injected fault
// was reported exactly once, and (from 2000 cycles on) neither the heap nor the resident set
// grew past the limits between the end of the first tenth and the end. Without arguments it
// is the short pass the test suite runs.
#include "scratch_home.h"
#include "sensor_fixture.h"

#include <QAbstractButton>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <malloc.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
// From the sanitizer run-time; GCC ships no header that declares it.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes(void);
#endif

using namespace kivrel::test;

namespace
{

const Bytes kRecord = record(90, 101);
constexpr int kChunk = 1000; // cycles per Go, so the peer's records of the run stay small
constexpr double kLateSeconds = 3.6;

struct Options {
    long cycles = 300;
    std::vector<std::string> faults{"short"};
    double maxHeapGrowthMb = 2.0;
    double maxRssGrowthMb = 16.0;
};

bool parse(int argc, char **argv, Options &o)
{
    for (int i = 1; i < argc; i++) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--cycles" && hasValue) {
            o.cycles = std::strtol(argv[++i], nullptr, 10);
        } else if (a == "--faults" && hasValue) {
            o.faults.clear();
            std::string list = argv[++i];
            for (std::size_t at = 0; at <= list.size();) {
                const std::size_t comma = std::min(list.find(',', at), list.size());
                if (comma > at) o.faults.push_back(list.substr(at, comma - at));
                at = comma + 1;
            }
        } else if (a == "--max-heap-growth-mb" && hasValue) {
            o.maxHeapGrowthMb = std::strtod(argv[++i], nullptr);
        } else if (a == "--max-rss-growth-mb" && hasValue) {
            o.maxRssGrowthMb = std::strtod(argv[++i], nullptr);
        } else {
            return false;
        }
    }
    for (const std::string &f : o.faults)
        if (f != "short" && f != "long" && f != "noise" && f != "silence" && f != "late" &&
            f != "hangup")
            return false;
    return o.cycles > long(o.faults.size()) * 2;
}

double rssMb()
{
    long pages = 0, resident = 0;
    if (std::FILE *f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// Bytes the program holds on the heap now, as its allocator counts them.
double heapMb()
{
#if defined(__SANITIZE_ADDRESS__)
    return double(__sanitizer_get_current_allocated_bytes()) / (1024.0 * 1024.0);
#else
    const struct mallinfo2 m = mallinfo2();
    return double(m.uordblks + m.hblkhd) / (1024.0 * 1024.0);
#endif
}

QAbstractButton *button(int id)
{
    return qobject_cast<QAbstractButton *>(widget(id));
}

class Soak
{
  public:
    explicit Soak(const Options &o) : o_(o) {}

    int run()
    {
        newSensor();
        kivrel::InitVars();
        connect();
        if (failed_) return finish();
        const long faults = long(o_.faults.size());
        for (long i = 0; i < faults && !failed_; i++) {
            pollUntil((i + 1) * o_.cycles / (faults + 1) - 1);
            inject(o_.faults[std::size_t(i)]);
        }
        pollUntil(o_.cycles);
        return finish();
    }

  private:
    void fail(const std::string &why)
    {
        if (!failed_) std::fprintf(stderr, "soak: FAIL at cycle %ld: %s\n", cycles_, why.c_str());
        failed_ = true;
    }

    void newSensor()
    {
        peer_.reset(); // first, so the old pair's path is free to map again
        peer_ = std::make_unique<SensorPeer>();
        if (!peer_->ok()) fail("no pseudo-terminal");
        peer_->mapToCom(1);
    }

    // The port selector's way: pick COM 1, which closes, reopens and checks the line.
    void connect()
    {
        peer_->answer(7, Reply(kLineOk));
        peer_->answer(3, Reply(kParams));
        if (kivrel::com == 0)
            kivrel::InitRS232(1);
        else
            pickPort(1);
        if (status() != kLineOkText || popups_.count() != 0)
            fail("connect failed: " + status().toStdString());
        popups_.clear();
        peer_->clearReceived();
        peer_->answerAlways(5, Reply(kRecord));
    }

    // One Go; `onTelegrams` runs once `after` polls have gone out (with `repeat`, on every
    // tick from then on). Returns the polls sent. Polling still on well past the time those
    // polls take is stopped and fails the run, so a fault never hangs it.
    long go(std::size_t after, const std::function<void()> &onTelegrams, bool repeat = false)
    {
        QObject scope;
        QTimer watch(&scope);
        bool done = false;
        const Stopwatch running;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            if ((!done || repeat) && peer_->waitForTelegrams(after, milliseconds(0))) {
                done = true;
                onTelegrams();
            }
            if (kivrel::poll != 0 && running.seconds() > 15.0 + 0.2 * double(after)) {
                fail("polling ran past its deadline");
                kivrel::poll = 0;
            }
        });
        watch.start(5);
        button(5)->click();
        watch.stop();
        if (kivrel::poll != 0) fail("polling did not end");
        // The last request may still be on its way to the sensor: count only once the line
        // is quiet, so a fault queued next cannot go to this run's last poll.
        std::size_t seen = peer_->telegrams().size();
        double quietSince = Timer();
        const double start = quietSince;
        while (Timer() - quietSince < 0.1 && Timer() - start < 2.0) {
            ProcessSystemEvents();
            if (peer_->waitForTelegrams(seen + 1, milliseconds(0))) {
                seen = peer_->telegrams().size();
                quietSince = Timer();
            }
        }
        long n = 0;
        for (const auto &t : peer_->telegrams())
            n += t.order() == 5;
        peer_->clearReceived();
        return n;
    }

    // Stops a Go once `after` polls have gone out. A Stop during Go's settle wait is undone
    // when polling starts, so it is pressed whenever polling runs from then on.
    long goAndStop(std::size_t after)
    {
        return go(
            after,
            [] {
                if (kivrel::poll == 1) button(6)->click();
            },
            true);
    }

    void sample()
    {
        const double rss = rssMb(), heap = heapMb();
        if (baseRss_ < 0 && cycles_ >= o_.cycles / 10) {
            baseRss_ = rss;
            baseHeap_ = heap;
            baseCycle_ = cycles_;
        }
        rss_ = rss;
        heap_ = heap;
        if (rss > maxRss_) maxRss_ = rss;
    }

    void pollUntil(long target)
    {
        while (cycles_ < target && !failed_) {
            const std::size_t want = std::size_t(std::min<long>(kChunk, target - cycles_));
            cycles_ += goAndStop(want);
            if (popups_.count() != 0) fail("a report nobody injected");
            sample();
            if (cycles_ / 1000 != lastProgress_) {
                lastProgress_ = cycles_ / 1000;
                std::fprintf(stderr, "soak: %ld cycles, RSS %.1f MB, heap %.1f MB\n", cycles_, rss_,
                             heap_);
            }
        }
    }

    void inject(const std::string &kind)
    {
        ++injected_;
        Bytes bytes = kRecord;
        Reply reply(bytes);
        if (kind == "short") {
            bytes.pop_back();
            reply = Reply(bytes);
        } else if (kind == "long") {
            bytes.push_back(0x5A);
            reply = Reply(bytes);
        } else if (kind == "noise") {
            reply = Reply(Bytes{0x13, 0xF0, 0x00, 0xFF, 0x55, 0xAA, 0x07, 0x42, 0x99, 0x01, 0x02,
                                0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C});
        } else if (kind == "silence") {
            reply = Reply::silence();
        } else if (kind == "late") {
            reply = Reply(bytes).after(kLateSeconds);
        }
        const double start = Timer();
        if (kind != "hangup") peer_->answer(5, reply);
        bool hungUp = false;
        cycles_ += go(
            kind == "hangup" ? 3 : 1,
            [&] {
                if (kind == "hangup" && !hungUp) {
                    hungUp = true;
                    peer_->hangUp();
                }
                if (Timer() - start > 10.0 && kivrel::poll == 1) {
                    fail(kind + ": polling went on after the fault");
                    button(6)->click();
                }
            },
            true);
        const double took = Timer() - start;
        const int reports = popups_.countOf("INFO", kInfoTimeout);
        reported_ += reports;
        std::fprintf(stderr, "soak: injected %s at cycle %ld: %d report(s) after %.2f s\n",
                     kind.c_str(), cycles_, reports, took);
        if (reports != 1 || popups_.count() != 1)
            fail(kind + ": " + std::to_string(popups_.count()) + " popups, " +
                 std::to_string(reports) + " timeout reports");
        if (took > 0.1 + 3.0 + 0.3 + 1.5)
            fail(kind + ": the report took " + std::to_string(took) + " s");
        popups_.clear();
        if (kind == "late") {
            // The late reply lands while nothing waits; the next request flushes it.
            spin(kLateSeconds - took + 0.3);
        }
        if (kind == "hangup") {
            newSensor();
            connect();
        }
    }

    int finish()
    {
        const bool grew =
            baseRss_ >= 0 && o_.cycles >= 2000 &&
            (heap_ - baseHeap_ > o_.maxHeapGrowthMb || rss_ - baseRss_ > o_.maxRssGrowthMb);
        if (cycles_ < o_.cycles && !failed_) fail("ran short");
        if (reported_ != injected_) fail("faults injected and reported differ");
        if (grew) fail("memory grew");
        std::printf("soak: cycles %ld\n", cycles_);
        std::printf("soak: faults injected %d, reported %d\n", injected_, reported_);
        std::printf("soak: RSS at cycle %ld %.1f MB, at the end %.1f MB (max %.1f MB)\n",
                    baseCycle_, baseRss_, rss_, maxRss_);
        std::printf("soak: heap at cycle %ld %.2f MB, at the end %.2f MB\n", baseCycle_, baseHeap_,
                    heap_);
        std::printf("soak: %s\n", failed_ ? "FAIL" : "PASS");
        std::fflush(stdout);
        peer_.reset();
        return failed_ ? 1 : 0;
    }

    const Options &o_;
    PopupRecorder popups_;
    std::unique_ptr<SensorPeer> peer_;
    long cycles_ = 0;
    long lastProgress_ = 0;
    int injected_ = 0;
    int reported_ = 0;
    bool failed_ = false;
    double baseRss_ = -1, baseHeap_ = -1, rss_ = 0, heap_ = 0, maxRss_ = 0;
    long baseCycle_ = 0;
};

} // namespace

int main(int argc, char **argv)
{
    const kivrel::test::ScratchHome home; // the journal and temporary files of the run go here
    if (!home.ok()) return 2;
    Options options;
    if (!parse(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: %s [--cycles N] [--faults short,long,noise,silence,late,hangup]\n"
                     "          [--max-heap-growth-mb X] [--max-rss-growth-mb X]\n",
                     argv[0]);
        return 2;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    int qtArgc = 1;
    CviInstance instance{&qtArgc, argv};
    if (InitCVIRTE(&instance, &kivrel::NameTable, nullptr) == 0) return 2;
    kivrel::panel = LoadPanel(0, kPanelFile, kivrel::PANEL);
    if (kivrel::panel < 0) {
        std::fprintf(stderr, "soak: panel file not found beside the executable\n");
        return 2;
    }
    DisplayPanel(kivrel::panel);
    GetProjectDir(kivrel::proj_dir);
    int result = 0;
    {
        Soak soak(options);
        result = soak.run();
    }
    kivrel::poll = 0;
    CloseCom(kivrel::com);
    DiscardPanel(kivrel::panel);
    CloseCVIRTE();
    return result;
}
