// Image files in and out of the host's worlds through OpenImageIO, with channel values taken
// and written as stored (never premultiplied by the reader or the writer).
#pragma once

#include "core/World.h"

#include <corvelle/pictures.h>

#include <string>

namespace corvelle {

/// Reads the first subimage of `path` into a new world of `layout` by the rules of
/// PixelConversion; grey files fill red, green and blue, files without alpha get full alpha.
/// Only regular files are read. Throws HostError (IO, "reading PATH: why") when the file is
/// missing, not a regular file, unreadable, corrupt or cut short, more than `maxPixels` pixels
/// (never more than 32767 on a side), or declares more picture than its bytes can hold; the
/// last two before the picture's memory is allocated.
World ReadImage(const std::string& path, PixelLayout layout, long long maxPixels = kDefaultMaxPicturePixels);

/// Throws HostError (BadValue) unless WriteImage can write this kind of file (PNG, TIFF,
/// OpenEXR), judged by the name's ending.
void CheckImageOutputPath(const std::string& path);

/// Writes RGBA at the world's natural depth: 8-bit worlds as 8-bit, the 16-bit world as 16-bit,
/// the float world as float (unclamped) to TIFF and OpenEXR and as clamped 16-bit to PNG;
/// OpenEXR, which has no integer channels, gets integer worlds as float. The file appears
/// whole or not at all. Throws HostError on failure.
void WriteImage(const std::string& path, const World& world);

}   // namespace corvelle
