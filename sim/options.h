// Command line of kivrel-sim.
#pragma once

#include "model.h"
#include "protocol.h"

#include <string>

namespace kivrel::sim
{

struct Options {
    std::string device; // real serial device instead of a pseudo-terminal
    std::string link;   // extra symbolic link to the pseudo-terminal
    int listen = -1;    // TCP port on loopback instead of a pseudo-terminal (0: any free one)
    std::string eeprom; // file keeping the EEPROM across runs
    bool fast = false;
    bool stats = false;
    bool verbose = false;
    TargetConfig target;
    Faults faults;
};

enum class ParseResult { Run, Help, Error };

ParseResult parseOptions(int argc, const char *const *argv, Options &options, std::string &error);
std::string helpText();

} // namespace kivrel::sim
