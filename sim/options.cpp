#include "options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace kivrel::sim
{

namespace
{

bool toDouble(const std::string &s, double lo, double hi, double &out)
{
    if (s.empty()) return false;
    char *end = nullptr;
    errno = 0;
    const double v = std::strtod(s.c_str(), &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(v) || v < lo || v > hi) return false;
    out = v;
    return true;
}

bool toLong(const std::string &s, long lo, long hi, long &out)
{
    if (s.empty()) return false;
    char *end = nullptr;
    errno = 0;
    const long v = std::strtol(s.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < lo || v > hi) return false;
    out = v;
    return true;
}

} // namespace

std::string helpText()
{
    return "Usage: kivrel-sim [OPTION]...\n"
           "Simulates the KIVREL edge sensor on a serial line. Prints the port path as the first\n"
           "line on stdout, then answers telegrams until interrupted.\n"
           "\n"
           "Port:\n"
           "  --link PATH        also make a symbolic link PATH to the pseudo-terminal\n"
           "  --device PATH      use a real serial device (4800 8N1) instead of a pseudo-terminal\n"
           "  --listen PORT      serve raw TCP on 127.0.0.1:PORT instead, one client at a time, "
           "as\n"
           "                     a serial device server would (0: any free port); the first line\n"
           "                     is then tcp://127.0.0.1:PORT\n"
           "  --eeprom FILE      keep the EEPROM in FILE (15 lines of values 0..255)\n"
           "  --fast             answer at once without 4800-baud wire time\n"
           "  --stats            at exit, print on stderr the simulator's own turnaround and\n"
           "                     the marks and edges since the last parameter write\n"
           "  --verbose          log every telegram and its answer on stderr, the set each\n"
           "                     parameter write leaves, and the marks and edges counted\n"
           "                     until each parameter write\n"
           "Target:\n"
           "  --rate HZ          marks passing per second, 0 for none (default 5)\n"
           "  --mark PERCENT     share of the period a mark covers (default 20)\n"
           "  --depth PERCENT    how dark the marks are, 0 (invisible) to 100 (default 100)\n"
           "  --faint-every N    print every Nth mark faint, so a threshold set for the others\n"
           "                     misses it (default 0: none)\n"
           "  --faint-depth PERCENT\n"
           "                     how dark the faint marks are, 0 to 100 as --depth (default 30 %\n"
           "                     of --depth: NORM about 148 against 161 for the paper)\n"
           "  --jitter COUNTS    measurement noise on DAT0/DAT1 (default 2)\n"
           "  --grain PERCENT    unevenness of the paper: standard deviation of its darkness\n"
           "                     from scan to scan, in percent of a black mark (default 0)\n"
           "  --seed N           seed of the noise and the mark darkness (default 1)\n"
           "Faults:\n"
           "  --silent           never answer\n"
           "  --short            answer one byte too few\n"
           "  --long             answer one byte too many\n"
           "  --noise            answer 1..32 random bytes instead; a parameter write\n"
           "                     arrives with one byte garbled\n"
           "  --garble N         a parameter write arrives with its byte N (0..14) inverted\n"
           "  --delay SEC        answer SEC seconds later than normal\n"
           "  --drop-after N     hang up the line after N telegrams and exit\n"
           "  --fault-order CODE apply the faults to order code CODE (1..7) only\n"
           "  --help             show this help and exit\n";
}

ParseResult parseOptions(int argc, const char *const *argv, Options &o, std::string &error)
{
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::string value;
        bool hasValue = false;
        if (auto eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg.erase(eq);
            hasValue = true;
        }
        auto needValue = [&]() -> bool {
            if (hasValue) return true;
            if (i + 1 >= argc) {
                error = "option " + arg + " needs a value";
                return false;
            }
            value = argv[++i];
            return true;
        };
        auto bad = [&](const char *what) {
            error = "bad value for " + arg + ": '" + value + "' (" + what + ")";
            return ParseResult::Error;
        };
        const bool flag = arg == "--help" || arg == "-h" || arg == "--fast" || arg == "--stats" ||
                          arg == "--verbose" || arg == "--silent" || arg == "--short" ||
                          arg == "--long" || arg == "--noise";
        if (flag && hasValue) {
            error = "option " + arg + " takes no value";
            return ParseResult::Error;
        }
        if (arg == "--help" || arg == "-h") return ParseResult::Help;
        if (arg == "--fast")
            o.fast = true;
        else if (arg == "--stats")
            o.stats = true;
        else if (arg == "--verbose")
            o.verbose = true;
        else if (arg == "--silent")
            o.faults.silent = true;
        else if (arg == "--short")
            o.faults.shortReply = true;
        else if (arg == "--long")
            o.faults.longReply = true;
        else if (arg == "--noise")
            o.faults.noise = true;
        else if (arg == "--link" || arg == "--device" || arg == "--eeprom") {
            if (!needValue()) return ParseResult::Error;
            if (value.empty()) return bad("a path is needed");
            (arg == "--link" ? o.link : arg == "--device" ? o.device : o.eeprom) = value;
        } else if (arg == "--listen") {
            if (!needValue()) return ParseResult::Error;
            long port = 0;
            if (!toLong(value, 0, 65535, port)) return bad("a TCP port 0 to 65535");
            o.listen = static_cast<int>(port);
        } else if (arg == "--rate") {
            if (!needValue()) return ParseResult::Error;
            if (!toDouble(value, 0, 500, o.target.rateHz)) return bad("0 to 500");
        } else if (arg == "--mark") {
            if (!needValue()) return ParseResult::Error;
            double pct = 0;
            if (!toDouble(value, 1, 90, pct)) return bad("1 to 90");
            o.target.markFraction = pct / 100.0;
        } else if (arg == "--depth") {
            if (!needValue()) return ParseResult::Error;
            double pct = 0;
            if (!toDouble(value, 0, 100, pct)) return bad("0 to 100");
            o.target.depth = pct / 100.0;
        } else if (arg == "--faint-every") {
            if (!needValue()) return ParseResult::Error;
            long every = 0;
            if (!toLong(value, 0, 1000000L, every)) return bad("0 to 1000000");
            o.target.faintEvery = static_cast<int>(every);
        } else if (arg == "--faint-depth") {
            if (!needValue()) return ParseResult::Error;
            double pct = 0;
            if (!toDouble(value, 0, 100, pct)) return bad("0 to 100");
            o.target.faintDepth = pct / 100.0;
        } else if (arg == "--jitter") {
            if (!needValue()) return ParseResult::Error;
            if (!toDouble(value, 0, 50, o.target.noise)) return bad("0 to 50");
        } else if (arg == "--grain") {
            if (!needValue()) return ParseResult::Error;
            double pct = 0;
            if (!toDouble(value, 0, 50, pct)) return bad("0 to 50");
            o.target.grain = pct / 100.0;
        } else if (arg == "--seed") {
            if (!needValue()) return ParseResult::Error;
            long seed = 0;
            if (!toLong(value, 0, 2147483647L, seed)) return bad("0 to 2147483647");
            o.target.seed = static_cast<std::uint64_t>(seed);
        } else if (arg == "--delay") {
            if (!needValue()) return ParseResult::Error;
            if (!toDouble(value, 0, 3600, o.faults.delaySec)) return bad("0 to 3600 seconds");
        } else if (arg == "--drop-after") {
            if (!needValue()) return ParseResult::Error;
            if (!toLong(value, 1, 1000000000L, o.faults.dropAfter)) return bad("1 or more");
        } else if (arg == "--garble") {
            if (!needValue()) return ParseResult::Error;
            long index = 0;
            if (!toLong(value, 0, 14, index)) return bad("a parameter's index 0 to 14");
            o.faults.garble = static_cast<int>(index);
        } else if (arg == "--fault-order") {
            if (!needValue()) return ParseResult::Error;
            long code = 0;
            if (!toLong(value, 1, 7, code)) return bad("order code 1 to 7");
            o.faults.order = static_cast<int>(code);
        } else {
            error = "unknown option " + arg + " (see --help)";
            return ParseResult::Error;
        }
    }
    if (!o.device.empty() && !o.link.empty()) {
        error = "--link only applies to the pseudo-terminal, not with --device";
        return ParseResult::Error;
    }
    if (o.listen >= 0 && (!o.device.empty() || !o.link.empty())) {
        error = "--listen serves TCP: not with --device or --link";
        return ParseResult::Error;
    }
    return ParseResult::Run;
}

} // namespace kivrel::sim
