// Point sampling with integer arithmetic, so the picked layer pixel is exact at any factor.
#include "pixels/PointSample.h"

#include <cstdint>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

namespace corvelle {

A_long DownsampledSide(A_long side, PF_RationalScale factor) {
    const int64_t num = factor.num;
    const int64_t den = factor.den;
    return static_cast<A_long>(((static_cast<int64_t>(side) * num) + den - 1) / den);
}

namespace {

/// Copies the picked pixels of one row; a fixed size lets each copy be a plain move.
template <std::size_t PixelBytes>
void SampleRow(const uint8_t* source, const std::vector<std::size_t>& offsets, uint8_t* destination) {
    for (const std::size_t offset : offsets) {
        std::memcpy(destination, source + offset, PixelBytes);
        destination += PixelBytes;
    }
}

}   // namespace

World PointSample(const World& source, PF_RationalScale factorX, PF_RationalScale factorY) {
    std::optional<World> sampled;
    PointSample(source, factorX, factorY, sampled);
    return std::move(*sampled);
}

void PointSample(const World& source, PF_RationalScale factorX, PF_RationalScale factorY,
                 std::optional<World>& into) {
    const A_long width = DownsampledSide(source.Width(), factorX);
    const A_long height = DownsampledSide(source.Height(), factorY);
    if (!into || into->Layout() != source.Layout() || into->Width() != width || into->Height() != height) {
        into.reset();
        into.emplace(source.Layout(), width, height);
    }
    World& sampled = *into;
    const std::size_t pixelBytes = BytesPerPixel(source.Layout());
    // Every row picks the same columns: worked out once, not at each pixel.
    std::vector<std::size_t> offsets(static_cast<std::size_t>(width));
    for (A_long x = 0; x < width; ++x) {
        const int64_t sx = (static_cast<int64_t>(x) * factorX.den) / factorX.num;
        offsets[static_cast<std::size_t>(x)] = static_cast<std::size_t>(sx) * pixelBytes;
    }
    for (A_long y = 0; y < height; ++y) {
        const int64_t sy = (static_cast<int64_t>(y) * factorY.den) / factorY.num;
        const uint8_t* sourceRow = source.Row(static_cast<A_long>(sy));
        uint8_t* row = sampled.Row(y);
        switch (pixelBytes) {
        case 4: SampleRow<4>(sourceRow, offsets, row); break;
        case 8: SampleRow<8>(sourceRow, offsets, row); break;
        default: SampleRow<16>(sourceRow, offsets, row); break;
        }
    }
}

}   // namespace corvelle
