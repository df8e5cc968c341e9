// Point-sampled scaling of a frame to the size a downsampled render has.
#pragma once

#include "core/World.h"

#include <optional>

namespace corvelle {

/// One side at downsample num/den: ceil(side · num / den), so no layer pixel is lost.
A_long DownsampledSide(A_long side, PF_RationalScale factor);

/// A world of the downsampled size whose pixel (x, y) is the source's (⌊x·den/num⌋, ⌊y·den/num⌋),
/// the top-left layer pixel of the block that output pixel covers. A factor of 1 copies.
World PointSample(const World& source, PF_RationalScale factorX, PF_RationalScale factorY);
/// The same into `into`, whose world is reused when it has the size and layout already (every
/// pixel is written): renders of one view in a row sample into the same memory.
void PointSample(const World& source, PF_RationalScale factorX, PF_RationalScale factorY,
                 std::optional<World>& into);

}   // namespace corvelle
