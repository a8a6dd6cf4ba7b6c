// The reading operations and the line faults the fault tables combine.
#pragma once

#include "rel_fixture.h"

#include <tuple>

namespace reltest
{

enum class Op { LineCheck, GetRam, GetEeprom, Polling, JumpBuffer };
enum class Fault { Silence, Short, Long, Noise, Late };

inline const Op kOps[] = {Op::LineCheck, Op::GetRam, Op::GetEeprom, Op::Polling, Op::JumpBuffer};
inline const Fault kFaults[] = {Fault::Silence, Fault::Short, Fault::Long, Fault::Noise,
                                Fault::Late};

inline const char *name(Op op)
{
    switch (op) {
    case Op::LineCheck: return "LineCheck";
    case Op::GetRam: return "GetRam";
    case Op::GetEeprom: return "GetEeprom";
    case Op::Polling: return "Polling";
    case Op::JumpBuffer: return "JumpBuffer";
    }
    return "?";
}

inline const char *name(Fault f)
{
    switch (f) {
    case Fault::Silence: return "Silence";
    case Fault::Short: return "Short";
    case Fault::Long: return "Long";
    case Fault::Noise: return "Noise";
    case Fault::Late: return "Late";
    }
    return "?";
}

inline int orderOf(Op op)
{
    switch (op) {
    case Op::LineCheck: return 7;
    case Op::GetRam: return 3;
    case Op::GetEeprom: return 4;
    case Op::Polling: return 5;
    case Op::JumpBuffer: return 6;
    }
    return 0;
}

// The settle wait a command button adds before its read.
inline double settleOf(Op op)
{
    switch (op) {
    case Op::LineCheck: return 0.0;
    case Op::GetEeprom: return 1.5;
    default: return 0.1;
    }
}

// A late reply comes this long after its request: past the 3 s limit, with room for a
// loaded machine to notice the limit first.
inline constexpr double kLateSeconds = 3.6;
// What a timed wait may overrun its limit by on a loaded two-core machine.
inline constexpr double kMargin = kMarginSeconds;

using FaultCase = std::tuple<Op, Fault>;

inline std::string caseName(const testing::TestParamInfo<FaultCase> &info)
{
    return std::string(name(std::get<0>(info.param))) + "_" + name(std::get<1>(info.param));
}

} // namespace reltest
