// The time a frei0r host passes with each frame, as the module's host time.
#pragma once

#include <corvelle/corvelle.h>

#include <optional>

namespace corvelle::frei0r {

/// `seconds` in the finest of 1/1000000, 1/100000, ... 1 second that holds it in the host's
/// 32-bit time (microseconds up to about 35 minutes), one tick long: frei0r tells no frame
/// duration. Nothing for a time no scale holds (NaN, ffmpeg's huge negative time for a
/// re-copied frame): the previous time then stands.
std::optional<TimeSpec> HostTimeOf(double seconds);

}   // namespace corvelle::frei0r
