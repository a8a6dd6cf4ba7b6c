// An in-memory platform for the reply fuzz target: the logic is linked against this instead of
// the Qt platform, so a whole exchange runs deterministically from one input.
//
// Reply bytes arrive in records from the input stream: a length byte, then that many bytes.
// Each ProcessSystemEvents call delivers the next record into the input queue (a zero length
// delivers nothing that turn; 0xF0 to 0xFF stand for 128 to 2048 bytes). Timer advances a fake
// clock by a fixed step on every call, so every timed wait ends.
#ifndef KIVREL_TESTS_FUZZ_FAKE_PLATFORM_H
#define KIVREL_TESTS_FUZZ_FAKE_PLATFORM_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fake
{

struct Event {
    enum Kind { Open, Write, Read, FlushIn, FlushOut, Popup } kind;
    std::vector<uint8_t> bytes; // Write: the telegram; Read: the bytes moved
    int value = 0;              // Read: the count asked for; Open: the result
    std::string title, text;    // Popup
};

struct Config {
    const uint8_t *stream = nullptr;
    size_t size = 0;
    double clockStep = 0.05; // seconds per Timer call
    int openResult = 0;      // what OpenComConfig returns
    int source = 0;          // start value of the display-source control
    // Called after each ProcessSystemEvents delivery and after each Sleep, with the count of
    // such calls so far; the harness uses them to stop a polling loop.
    void (*onEvents)(int turn) = nullptr;
    void (*onSleep)(int count) = nullptr;
};

void Reset(const Config &config);
void ClearTrace();
const std::vector<Event> &Trace();

// Control values as the panel holds them; -1 or "" for an unknown control.
int CtrlInt(int control);
std::string CtrlText(int control);
// Calls that asked for or gave a control's value in a type the control does not hold.
int TypeMismatches();
// Plot calls whose array or count was unusable.
int BadPlots();

} // namespace fake

#endif
