// Hosts disagree on the unit (ffmpeg passes milliseconds, MLT and GStreamer seconds), so the
// time keeps as many digits as fit rather than assuming a frame rate.
#include "HostTime.h"

#include <cmath>
#include <cstdint>
#include <limits>

namespace corvelle::frei0r {

std::optional<TimeSpec> HostTimeOf(double seconds) {
    constexpr double kMaxTicks = std::numeric_limits<int32_t>::max();
    if (!std::isfinite(seconds))
        return std::nullopt;
    for (uint32_t scale = 1000000;; scale /= 10) {
        const double ticks = std::round(seconds * scale);
        if (std::fabs(ticks) <= kMaxTicks)
            return TimeSpec{static_cast<int32_t>(ticks), 1, scale};
        if (scale == 1)
            return std::nullopt;
    }
}

}   // namespace corvelle::frei0r
