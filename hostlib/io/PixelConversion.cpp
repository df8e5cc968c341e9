// Channel value rules between files and worlds; integer rules use integer arithmetic only.
#include "io/PixelConversion.h"

namespace corvelle {
namespace {

/// Clamps to 0..1 with NaN at 0: the comparisons are arranged so NaN fails both.
double Unit(float v) {
    if (v >= 1.0f)
        return 1.0;
    if (v > 0.0f)
        return static_cast<double>(v);
    return 0.0;
}

/// Unit(v) × scale, rounded half up; the product of a float and a small integer is exact in
/// double, so the rounding sees the true value.
uint32_t ScaleRound(float v, double scale) {
    return static_cast<uint32_t>((Unit(v) * scale) + 0.5);
}

uint32_t DeepClamped(uint16_t a) {
    return a > kDeepFull ? kDeepFull : a;
}

}   // namespace

ChannelOrder ChannelsOf(PixelLayout layout) {
    switch (layout) {
    case PixelLayout::Argb8:
    case PixelLayout::Argb16: return ChannelOrder{1, 2, 3, 0};
    case PixelLayout::Bgra8:
    case PixelLayout::BgraFloat: return ChannelOrder{2, 1, 0, 3};
    }
    return ChannelOrder{1, 2, 3, 0};
}

uint16_t Short2Deep(uint16_t p) {
    return static_cast<uint16_t>(((static_cast<uint32_t>(p) * 32768u) + 32767u) / 65535u);
}

uint16_t Deep2Short(uint16_t a) {
    return static_cast<uint16_t>(((DeepClamped(a) * 65535u) + 16384u) / 32768u);
}

uint16_t Byte2Deep(uint8_t b) {
    return static_cast<uint16_t>(((static_cast<uint32_t>(b) * 32768u) + 127u) / 255u);
}

uint8_t Deep2Byte(uint16_t a) {
    return static_cast<uint8_t>(((DeepClamped(a) * 255u) + 16384u) / 32768u);
}

uint8_t Short2Byte(uint16_t p) {
    return static_cast<uint8_t>(((static_cast<uint32_t>(p) * 255u) + 32767u) / 65535u);
}

float Byte2Float(uint8_t b) {
    return static_cast<float>(b) / 255.0f;
}

float Short2Float(uint16_t p) {
    return static_cast<float>(p) / 65535.0f;
}

float Deep2Float(uint16_t a) {
    return static_cast<float>(a) / 32768.0f;
}

uint8_t Float2Byte(float v) {
    return static_cast<uint8_t>(ScaleRound(v, 255.0));
}

uint16_t Float2Short(float v) {
    return static_cast<uint16_t>(ScaleRound(v, 65535.0));
}

uint16_t Float2Deep(float v) {
    return static_cast<uint16_t>(ScaleRound(v, 32768.0));
}

}   // namespace corvelle
