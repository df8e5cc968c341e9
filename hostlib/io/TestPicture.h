// The built-in picture (DrawTestPicture) in a world of its own.
#pragma once

#include "core/World.h"

#include <corvelle/streams.h>

namespace corvelle {

/// A world of `layout` holding the built-in picture; the float picture goes into the world by
/// the float rules of PixelConversion.
World MakeTestPicture(PixelLayout layout, A_long width = kTestPictureWidth,
                      A_long height = kTestPictureHeight);

}   // namespace corvelle
