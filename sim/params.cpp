#include "params.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace kivrel::sim
{

ParamBytes factoryDefaults()
{
    // Chosen so that a plain start shows one edge per mark on the default target.
    return {120, 150, 10, 0, 10, 0, 10, 10, 1, 1, 2, 0, 0, 20, 0};
}

const char *paramName(std::size_t index)
{
    static const char *const names[kParamCount] = {
        "threshold", "hysteresis", "power",   "pmod",      "hold",
        "trigger",   "backlim",    "regcnt",  "average",   "deadtimemode",
        "deadtime",  "outmode",    "trshmod", "deltatrsh", "spare"};
    return index < kParamCount ? names[index] : "?";
}

std::optional<ParamBytes> EepromFile::load(std::string &error) const
{
    std::ifstream in(path_);
    if (!in) {
        if (errno == ENOENT) return std::nullopt;
        error = "cannot read EEPROM file " + path_ + ": " + std::strerror(errno);
        return std::nullopt;
    }
    ParamBytes bytes{};
    std::size_t count = 0;
    std::string line;
    int lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        if (auto hash = line.find('#'); hash != std::string::npos) line.erase(hash);
        std::istringstream fields(line);
        long value = 0;
        if (!(fields >> value)) {
            std::string rest;
            if (std::istringstream(line) >> rest) {
                error = path_ + ":" + std::to_string(lineNo) + ": not a number: " + rest;
                return std::nullopt;
            }
            continue; // blank or comment-only line
        }
        if (value < 0 || value > 255) {
            error = path_ + ":" + std::to_string(lineNo) + ": value out of range 0..255";
            return std::nullopt;
        }
        if (count == kParamCount) {
            error = path_ + ": more than 15 values";
            return std::nullopt;
        }
        bytes[count++] = static_cast<std::uint8_t>(value);
    }
    if (count != kParamCount) {
        error = path_ + ": expected 15 values, found " + std::to_string(count);
        return std::nullopt;
    }
    return bytes;
}

bool EepromFile::save(const ParamBytes &bytes, std::string &error) const
{
    // Written to a temporary name and renamed, so a crash never leaves half a file behind.
    const std::string tmp = path_ + ".tmp";
    {
        std::ofstream out(tmp, std::ios::trunc);
        if (!out) {
            error = "cannot write EEPROM file " + tmp + ": " + std::strerror(errno);
            return false;
        }
        for (std::size_t i = 0; i < kParamCount; ++i) {
            char line[48];
            std::snprintf(line, sizeof line, "%4u  # %s\n", bytes[i], paramName(i));
            out << line;
        }
        out.flush();
        if (!out) {
            error = "cannot write EEPROM file " + tmp;
            return false;
        }
    }
    if (std::rename(tmp.c_str(), path_.c_str()) != 0) {
        error = "cannot replace EEPROM file " + path_ + ": " + std::strerror(errno);
        ::unlink(tmp.c_str());
        return false;
    }
    return true;
}

} // namespace kivrel::sim
