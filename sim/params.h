// The sensor's 15-byte parameter set, its factory defaults and the EEPROM file.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace kivrel::sim
{

inline constexpr std::size_t kParamCount = 15;
using ParamBytes = std::array<std::uint8_t, kParamCount>;

// Wire index of each parameter byte.
enum Param : std::size_t {
    Threshold = 0,
    Hysteresis = 1,
    Power = 2,
    Pmod = 3,
    Hold = 4,
    Trigger = 5,
    Backlim = 6,
    Regcnt = 7,
    Average = 8,
    DeadtimeMode = 9,
    Deadtime = 10,
    Outmode = 11,
    Trshmod = 12,
    Deltatrsh = 13,
    Spare = 14,
};

enum TriggerMode : std::uint8_t { Cont = 0, Ext = 1, ExtStat = 2, AdjExt = 3 };
enum ThresholdMode : std::uint8_t { Fix = 0, Dyn1 = 1, Dyn2 = 2 };

// Power byte scale: 0 is full transmitter intensity, this value and above is none.
inline constexpr int kPowerOff = 46;

ParamBytes factoryDefaults();
const char *paramName(std::size_t index);

// EEPROM contents kept in a text file, one decimal value per line (a comment after '#' names
// it), so an operator can read and edit it. load() gives nullopt when the file does not
// exist; a file that exists but cannot be read as 15 values 0..255 is an error.
class EepromFile
{
  public:
    explicit EepromFile(std::string path) : path_(std::move(path)) {}

    const std::string &path() const { return path_; }
    std::optional<ParamBytes> load(std::string &error) const;
    bool save(const ParamBytes &bytes, std::string &error) const;

  private:
    std::string path_;
};

} // namespace kivrel::sim
