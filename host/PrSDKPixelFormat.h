// Pixel formats of the video editor; four-character codes packed first character lowest.
#pragma once

#include <cstdint>

typedef uint32_t PrPixelFormat;

#define MAKE_PIXEL_FORMAT_FOURCC(ch0, ch1, ch2, ch3)                                                 \
    ((uint32_t)(uint8_t)(ch0) | ((uint32_t)(uint8_t)(ch1) << 8) | ((uint32_t)(uint8_t)(ch2) << 16) | \
     ((uint32_t)(uint8_t)(ch3) << 24))

enum : PrPixelFormat {
    PrPixelFormat_BGRA_4444_8u = MAKE_PIXEL_FORMAT_FOURCC('b', 'g', 'r', 'a'),   // 0x61726762
    PrPixelFormat_BGRA_4444_32f = MAKE_PIXEL_FORMAT_FOURCC('B', 'G', 'r', 'a')   // 0x61724742
};
static_assert(PrPixelFormat_BGRA_4444_8u == 0x61726762, "8-bit BGRA code");
static_assert(PrPixelFormat_BGRA_4444_32f == 0x61724742, "float BGRA code");
