// Point sampling with integer arithmetic, so the picked layer pixel is exact at any factor.
#include "core/PointSample.h"

#include <cstdint>
#include <cstring>

namespace corvelle {

A_long DownsampledSide(A_long side, PF_RationalScale factor) {
    const int64_t num = factor.num;
    const int64_t den = factor.den;
    return static_cast<A_long>(((static_cast<int64_t>(side) * num) + den - 1) / den);
}

World PointSample(const World& source, PF_RationalScale factorX, PF_RationalScale factorY) {
    const A_long width = DownsampledSide(source.Width(), factorX);
    const A_long height = DownsampledSide(source.Height(), factorY);
    World sampled(source.Layout(), width, height);
    const std::size_t pixelBytes = BytesPerPixel(source.Layout());
    for (A_long y = 0; y < height; ++y) {
        const int64_t sy = (static_cast<int64_t>(y) * factorY.den) / factorY.num;
        const uint8_t* srcRow = source.Row(static_cast<A_long>(sy));
        uint8_t* dst = sampled.Row(y);
        for (A_long x = 0; x < width; ++x, dst += pixelBytes) {
            const int64_t sx = (static_cast<int64_t>(x) * factorX.den) / factorX.num;
            std::memcpy(dst, srcRow + (static_cast<std::size_t>(sx) * pixelBytes), pixelBytes);
        }
    }
    return sampled;
}

}   // namespace corvelle
