// Picture files (PNG, TIFF, OpenEXR) in and out of Corvelle's pixel formats, in libcorvelle-io.
// Channel values go in and out as stored; alpha is never premultiplied.
#pragma once

#include <corvelle/corvelle.h>

#include <string>

namespace corvelle {

/// The most pixels a picture input may have unless a caller asks for another limit: 16384 ×
/// 8192, room for every video and film format; an 8-bit picture of it takes 512 MiB.
constexpr long long kDefaultMaxPicturePixels = 16384LL * 8192LL;

/// Reads the first picture of a regular file into `format`; grey fills red, green and blue, no
/// alpha is full alpha. A file of more than `maxPixels` pixels (never more than 32767 on a side),
/// or one declaring more picture than its bytes hold, is refused before any picture memory is
/// taken. Throws Error (IO, BadValue, OutOfMemory).
CORVELLE_API Picture ReadPicture(const std::string& path, PixelFormat format,
                                 long long maxPixels = kDefaultMaxPicturePixels);
/// Throws Error (BadValue) unless WritePicture can write this kind of file, by the name's ending.
CORVELLE_API void CheckPictureOutputPath(const std::string& path);
/// Writes PNG, TIFF or OpenEXR (by the name's ending) at the picture's natural depth; the file
/// appears whole or not at all. Throws Error (IO, BadValue).
CORVELLE_API void WritePicture(const std::string& path, const ConstImageView& picture);

}   // namespace corvelle
