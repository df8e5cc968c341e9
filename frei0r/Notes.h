// Notes to standard error that a host may trigger on every frame, each said once per process.
#pragma once

#include <string>

namespace corvelle::frei0r {

/// Prints "corvelle: <text>" on standard error unless the same text was printed before.
void NoteOnce(const std::string& text) noexcept;

}   // namespace corvelle::frei0r
