// MLT sets every parameter before every frame, so a bad value would otherwise repeat each frame.
#include "Notes.h"

#include <cstdio>
#include <mutex>
#include <set>

namespace corvelle::frei0r {

void NoteOnce(const std::string& text) noexcept {
    // Bounded, so a host that cycles through endless bad values cannot grow it without end.
    constexpr std::size_t kMaxRemembered = 256;
    static std::mutex mutex;
    static std::set<std::string> said;
    try {
        std::lock_guard<std::mutex> lock(mutex);
        if (said.count(text) != 0)
            return;
        if (said.size() < kMaxRemembered)
            said.insert(text);
        std::fprintf(stderr, "corvelle: %s\n", text.c_str());
    } catch (...) {
        // Out of memory while noting: the note is lost, the host keeps running.
    }
}

}   // namespace corvelle::frei0r
