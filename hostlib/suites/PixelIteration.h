// The host's loop over one band of rows: the pixel function once per pixel, input beyond
// its own edge read as transparent black.
#pragma once

#include "host/AE_Effect.h"

#include <algorithm>
#include <cstddef>

namespace corvelle {

template <class Pixel>
Pixel* PixelAddress(const PF_EffectWorld& world, A_long x, A_long y) {
    return reinterpret_cast<Pixel*>(reinterpret_cast<char*>(world.data) +
                                    static_cast<std::ptrdiff_t>(y) * world.rowbytes) +
           x;
}

/// Calls the pixel function for rows [y0, y1) of `area`; stops at the first error.
template <class Pixel, class PixelFunc>
PF_Err IterateBand(const PF_EffectWorld* src, const PF_LRect& area, A_long y0, A_long y1, void* refcon,
                   PixelFunc pix_fn, const PF_EffectWorld& dst) {
    for (A_long y = y0; y < y1; ++y) {
        Pixel* out = PixelAddress<Pixel>(dst, area.left, y);
        // Beyond the input the function sees transparent black, never memory past the input.
        const bool rowInInput = src && y < src->height;
        const A_long inputEnd = rowInInput ? std::clamp(src->width, area.left, area.right) : area.left;
        A_long x = area.left;
        if (x < inputEnd) {
            Pixel* in = PixelAddress<Pixel>(*src, x, y);
            for (; x < inputEnd; ++x, ++in, ++out) {
                if (const PF_Err err = pix_fn(refcon, x, y, in, out)) {
                    return err;
                }
            }
        }
        for (; x < area.right; ++x, ++out) {
            Pixel blank{};
            if (const PF_Err err = pix_fn(refcon, x, y, &blank, out)) {
                return err;
            }
        }
    }
    return PF_Err_NONE;
}

}   // namespace corvelle
