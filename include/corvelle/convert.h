// Conversions between Corvelle's pixel formats and straight RGBA, for front-ends that speak RGBA.
// 8-bit to the 16-bit world rounds (b·32768 + 127) / 255; to float b / 255; float to integers
// clamps to 0..1 and rounds (NaN is 0). Rows are `rowBytes` apart on both sides.
#pragma once

#include <corvelle/corvelle.h>

#include <cstdint>

namespace corvelle::io {

/// Straight RGBA 8-bit into `out` (same size, any format).
CORVELLE_API void FromRgba8(const uint8_t* rgba, std::ptrdiff_t rowBytes, const ImageView& out);
/// `in` (any format) into straight RGBA 8-bit.
CORVELLE_API void ToRgba8(const ConstImageView& in, uint8_t* rgba, std::ptrdiff_t rowBytes);
/// Straight RGBA float into `out`.
CORVELLE_API void FromRgbaFloat(const float* rgba, std::ptrdiff_t rowBytes, const ImageView& out);
/// `in` into straight RGBA float.
CORVELLE_API void ToRgbaFloat(const ConstImageView& in, float* rgba, std::ptrdiff_t rowBytes);

}   // namespace corvelle::io
