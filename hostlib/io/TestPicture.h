// The built-in picture rendered when no input is given: colour and grey ramps on which
// every blending mode, falloff and the transparent fill show what they do.
#pragma once

#include "core/World.h"

namespace corvelle {

constexpr A_long kTestPictureWidth = 1920;
constexpr A_long kTestPictureHeight = 1080;

/// Top half: a hue sweep across whose brightness falls from 1 to 0.2 downward; then the same
/// sweep at full brightness with saturation falling from 1 to 0; then a grey ramp from black
/// to white; at the bottom the hue sweep over an alpha ramp from 0 to 1. Only + − × ÷ and
/// floor are used, so every build gives the same values; the float picture goes into the
/// world by the float rules of PixelConversion.
World MakeTestPicture(PixelLayout layout, A_long width = kTestPictureWidth,
                      A_long height = kTestPictureHeight);

}   // namespace corvelle
