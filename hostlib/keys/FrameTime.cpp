// Frame numbers as host time: current_time / time_scale seconds, one frame time_step long.
#include <corvelle/keyframes.h>

#include "core/HostError.h"
#include "params/ModuleDescription.h"

#include <cmath>
#include <cstdint>

namespace corvelle {
namespace {

constexpr double kMaxFps = 1000.0;
constexpr uint32_t kMaxStep = 1000;

/// Broadcast rates are n·1000/1001 frames a second and are written rounded (29.97).
bool IsBroadcastRate(double fps, double& whole) {
    whole = std::round(fps * 1.001);
    return whole >= 1.0 && std::fabs(fps * 1.001 - whole) < 1e-3;
}

}   // namespace

TimeSpec TimeOfFrame(long frame, double fps) {
    TimeSpec time;
    if (fps == 0.0) {
        time.timeScale = 30;
        time.timeStep = 1;
    } else if (!(fps > 0.0 && fps <= kMaxFps)) {
        throw HostError("fps " + Decimal(fps) + ": expected a rate above 0 and at most 1000",
                        ErrorKind::BadValue);
    } else if (fps == std::floor(fps)) {
        time.timeScale = static_cast<uint32_t>(fps);
        time.timeStep = 1;
    } else {
        double whole = 0.0;
        if (IsBroadcastRate(fps, whole)) {
            time.timeScale = static_cast<uint32_t>(whole) * 1000u;
            time.timeStep = 1001;
        } else {
            uint32_t step = 2;
            for (; step <= kMaxStep; ++step) {
                const double scaled = fps * step;
                if (std::fabs(scaled - std::round(scaled)) < 1e-9 * scaled) {
                    break;
                }
            }
            if (step > kMaxStep) {
                throw HostError(
                    "fps " + Decimal(fps) + ": not a ratio of whole numbers with a divisor up to 1000",
                    ErrorKind::BadValue);
            }
            time.timeScale = static_cast<uint32_t>(std::round(fps * step));
            time.timeStep = static_cast<int32_t>(step);
        }
    }
    const bool fits = frame >= INT32_MIN && frame <= INT32_MAX;
    const int64_t current = fits ? static_cast<int64_t>(frame) * time.timeStep : 0;
    if (!fits || current < INT32_MIN || current > INT32_MAX) {
        throw HostError("frame " + std::to_string(frame) + " is too far from 0 to be a host time",
                        ErrorKind::BadValue);
    }
    time.currentTime = static_cast<int32_t>(current);
    return time;
}

}   // namespace corvelle
