// The host's render suites: pixel iteration at both depths, world copies, pixel formats.
#pragma once

#include "core/SuiteRegistry.h"

#include "host/AE_EffectSuites.h"

namespace corvelle {

class Host;

/// Registers "PF Iterate8 Suite" 1, "PF iterate16 Suite" 1, "PF World Transform Suite" 1 and
/// "PF Pixel Format Suite" 1.
void RegisterRenderSuites(SuiteRegistry& suites);

/// Makes `dst` equal to `src` over their common area and transparent black elsewhere; both
/// worlds must have the same pixel size. Only whole-world copies (null rectangles) are served.
PF_Err CopyWorld(const Host* host, const PF_EffectWorld* src, PF_EffectWorld* dst, const PF_Rect* src_r,
                 const PF_Rect* dst_r);

}   // namespace corvelle
