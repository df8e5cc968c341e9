// Numbered image sequences: printf-style frame patterns (in.%04d.png) and frame ranges.
#pragma once

#include <string>

namespace corvelle {

/// Whether `path` is meant as a pattern (holds a '%').
bool HasFramePattern(const std::string& path);

/// Throws HostError unless `pattern` holds exactly one %d conversion (%d, %4d, %04d; width at
/// most 9) and no other '%'.
void CheckFramePattern(const std::string& pattern);

/// The pattern with `frame` (not negative) in place of its conversion, as printf would write it.
std::string FrameName(const std::string& pattern, long frame);

struct FrameRange {
    long first = 0;
    long last = 0;
};

/// "A-B" with 0 <= A <= B, or a single frame "N"; false when malformed.
bool ParseFrameRange(const std::string& text, FrameRange& range);

}   // namespace corvelle
