// Telegram decoding, the sensor's answers and deliberate faults. No I/O here: the line layer
// feeds received bytes and sends what comes back.
#pragma once

#include "model.h"
#include "params.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kivrel::sim
{

inline constexpr std::uint8_t kSync = 0x55;
inline constexpr std::size_t kTelegramSize = 17;

enum Order : std::uint8_t {
    SendRam = 1,
    SendEeprom = 2,
    GetRam = 3,
    GetEeprom = 4,
    GetData = 5,
    GetJumpBuffer = 6,
    LineCheck = 7,
};

// Length of the correct answer to an order code, 0 for none.
std::size_t replyLength(std::uint8_t order);

struct Faults {
    bool silent = false;     // never answer
    bool shortReply = false; // one byte too few
    bool longReply = false;  // one byte too many (also after orders that have no answer)
    bool noise = false;      // random bytes of random length 1..32 instead of the answer, and
                             // a parameter write stored with one byte garbled
    double delaySec = 0;     // extra wait before answering (applied by the line layer)
    long dropAfter = -1;     // hang up after this many telegrams; negative: never
    int garble = -1;         // a parameter write arrives with this byte of its set inverted
    int order = 0;           // 0: faults hit every order code, else only this one
};

struct Answer {
    std::uint8_t order = 0;
    std::vector<std::uint8_t> bytes; // what to send, possibly empty
    bool faulted = false;            // a fault changed or withheld the answer
    bool hangUp = false;             // close the line after sending
    std::optional<PassCount> closed; // a parameter write ended this counting window
};

class Engine
{
  public:
    // A telegram whose bytes stop arriving for this long is abandoned; a real line carries
    // all 17 bytes in 35 ms.
    static constexpr double kGapMs = 100.0;

    // eeprom may be null: EEPROM then lives only as long as the process.
    Engine(Model &model, const Faults &faults, const EepromFile *eeprom,
           const ParamBytes &eepromContents, std::uint64_t seed = 1);

    // One received byte at nowMs (ms on the simulator's clock). Returns the answer when the
    // byte completes a telegram.
    std::optional<Answer> feed(std::uint8_t byte, double nowMs);

    const ParamBytes &ram() const { return ram_; }
    const ParamBytes &eeprom() const { return eeprom_; }
    std::uint64_t telegrams() const { return telegrams_; }
    std::uint64_t skippedBytes() const { return skipped_; }
    const std::string &lastError() const { return lastError_; } // EEPROM write problems

  private:
    Answer execute(const std::uint8_t *telegram, double nowMs);
    void applyFaults(Answer &answer);
    std::uint8_t randomByte();

    Model &model_;
    Faults faults_;
    const EepromFile *eepromFile_;
    ParamBytes ram_{};
    ParamBytes eeprom_{};
    std::vector<std::uint8_t> pending_;
    double lastByteMs_ = 0;
    std::uint64_t telegrams_ = 0;
    std::uint64_t skipped_ = 0;
    std::uint64_t rng_;
    std::string lastError_;
};

} // namespace kivrel::sim
