// The one place where a channel value changes representation between image files, the
// built-in test picture and the host's worlds; each rule is written once, with its rounding.
#pragma once

#include "core/World.h"

#include <cstdint>

namespace corvelle {

/// Where red, green, blue and alpha sit among a world pixel's four channels.
struct ChannelOrder {
    int red, green, blue, alpha;
};
ChannelOrder ChannelsOf(PixelLayout layout);

/// The world's value for full alpha: 255, 32768 or 1.
constexpr uint16_t kDeepFull = 32768;

// ---- Integer files and the integer worlds (8-bit 0..255, 16-bit world 0..32768).
/// 16-bit file into the 16-bit world: round to nearest, (p·32768 + 32767) / 65535.
uint16_t Short2Deep(uint16_t p);
/// 16-bit world into a 16-bit file: round to nearest, (a·65535 + 16384) / 32768; values above
/// 32768 (a raw stream may hold them) count as 32768.
uint16_t Deep2Short(uint16_t a);
/// 8-bit file into the 16-bit world: round to nearest, (b·32768 + 127) / 255.
uint16_t Byte2Deep(uint8_t b);
/// 16-bit world into an 8-bit file: round to nearest, (a·255 + 16384) / 32768, above 32768 as 32768.
uint8_t Deep2Byte(uint16_t a);
/// 16-bit file into the 8-bit world: round to nearest, (p·255 + 32767) / 65535.
uint8_t Short2Byte(uint16_t p);

// ---- Float. Reading never clamps a float file into the float world; every float-to-integer
// rule clamps to the range first (NaN becomes 0) and rounds to nearest, half up.
/// 8-bit file into the float world: b / 255 in float.
float Byte2Float(uint8_t b);
/// 16-bit file into the float world: p / 65535 in float.
float Short2Float(uint16_t p);
/// 16-bit world into a float file: a / 32768 in float (exact).
float Deep2Float(uint16_t a);
/// Float to 8 bits (file or world): clamp to 0..1, × 255, round.
uint8_t Float2Byte(float v);
/// Float to a 16-bit file: clamp to 0..1, × 65535, round.
uint16_t Float2Short(float v);
/// Float to the 16-bit world: clamp to 0..1, × 32768, round.
uint16_t Float2Deep(float v);

}   // namespace corvelle
