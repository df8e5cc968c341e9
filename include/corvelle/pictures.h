// Picture files (PNG, TIFF, OpenEXR) in and out of Corvelle's pixel formats, in libcorvelle-io.
// Channel values go in and out as stored; alpha is never premultiplied.
#pragma once

#include <corvelle/corvelle.h>

#include <cstdint>
#include <string>
#include <vector>

namespace corvelle {

/// A picture the library owns, rows packed without padding.
struct Picture {
    PixelFormat format = PixelFormat::Argb8;
    int width = 0;
    int height = 0;
    std::vector<uint8_t> bytes;

    std::ptrdiff_t RowBytes() const { return static_cast<std::ptrdiff_t>(width) * BytesPerPixel(format); }
    ImageView View() { return ImageView{bytes.data(), width, height, RowBytes(), format}; }
    ConstImageView View() const { return ConstImageView{bytes.data(), width, height, RowBytes(), format}; }
};

/// A blank (transparent black) picture.
CORVELLE_API Picture MakePicture(PixelFormat format, int width, int height);
/// Reads the first picture of a file into `format`; grey fills red, green and blue, no alpha is
/// full alpha. Throws Error (IO, BadValue, OutOfMemory).
CORVELLE_API Picture ReadPicture(const std::string& path, PixelFormat format);
/// Writes PNG, TIFF or OpenEXR (by the name's ending) at the picture's natural depth; the file
/// appears whole or not at all. Throws Error (IO, BadValue).
CORVELLE_API void WritePicture(const std::string& path, const ConstImageView& picture);

}   // namespace corvelle
