// Straight RGBA to and from the four pixel formats, by the same channel rules as picture files.
#include <corvelle/convert.h>

#include "core/HostError.h"
#include "io/PixelConversion.h"

#include <cstring>
#include <type_traits>

namespace corvelle::io {
namespace {

void Require(bool ok, const char* what) {
    if (!ok) {
        throw HostError(std::string(what) + ": a picture is missing or its rows are too short",
                        ErrorKind::BadValue);
    }
}

bool Fits(const void* data, int width, int height, std::ptrdiff_t rowBytes, std::size_t pixelBytes) {
    return width >= 0 && height >= 0 && (width == 0 || height == 0 || data != nullptr) &&
           rowBytes >= static_cast<std::ptrdiff_t>(static_cast<std::size_t>(width) * pixelBytes);
}

/// One world pixel from straight 8-bit r, g, b, a.
void StoreByte(PixelFormat format, const uint8_t* rgba, uint8_t* pixel) {
    const ChannelOrder at = ChannelsOf(format);
    switch (format) {
    case PixelFormat::Argb8:
    case PixelFormat::Bgra8:
        pixel[at.red] = rgba[0];
        pixel[at.green] = rgba[1];
        pixel[at.blue] = rgba[2];
        pixel[at.alpha] = rgba[3];
        return;
    case PixelFormat::Argb16: {
        uint16_t c[4];
        c[at.red] = Byte2Deep(rgba[0]);
        c[at.green] = Byte2Deep(rgba[1]);
        c[at.blue] = Byte2Deep(rgba[2]);
        c[at.alpha] = Byte2Deep(rgba[3]);
        std::memcpy(pixel, c, sizeof c);
        return;
    }
    case PixelFormat::BgraFloat: {
        float c[4];
        c[at.red] = Byte2Float(rgba[0]);
        c[at.green] = Byte2Float(rgba[1]);
        c[at.blue] = Byte2Float(rgba[2]);
        c[at.alpha] = Byte2Float(rgba[3]);
        std::memcpy(pixel, c, sizeof c);
        return;
    }
    }
}

void LoadByte(PixelFormat format, const uint8_t* pixel, uint8_t* rgba) {
    const ChannelOrder at = ChannelsOf(format);
    const int order[4] = {at.red, at.green, at.blue, at.alpha};
    switch (format) {
    case PixelFormat::Argb8:
    case PixelFormat::Bgra8:
        for (int k = 0; k < 4; ++k) {
            rgba[k] = pixel[order[k]];
        }
        return;
    case PixelFormat::Argb16: {
        uint16_t c[4];
        std::memcpy(c, pixel, sizeof c);
        for (int k = 0; k < 4; ++k) {
            rgba[k] = Deep2Byte(c[order[k]]);
        }
        return;
    }
    case PixelFormat::BgraFloat: {
        float c[4];
        std::memcpy(c, pixel, sizeof c);
        for (int k = 0; k < 4; ++k) {
            rgba[k] = Float2Byte(c[order[k]]);
        }
        return;
    }
    }
}

void StoreFloat(PixelFormat format, const float* rgba, uint8_t* pixel) {
    const ChannelOrder at = ChannelsOf(format);
    const int order[4] = {at.red, at.green, at.blue, at.alpha};
    switch (format) {
    case PixelFormat::Argb8:
    case PixelFormat::Bgra8:
        for (int k = 0; k < 4; ++k) {
            pixel[order[k]] = Float2Byte(rgba[k]);
        }
        return;
    case PixelFormat::Argb16: {
        uint16_t c[4];
        for (int k = 0; k < 4; ++k) {
            c[order[k]] = Float2Deep(rgba[k]);
        }
        std::memcpy(pixel, c, sizeof c);
        return;
    }
    case PixelFormat::BgraFloat: {
        float c[4];
        for (int k = 0; k < 4; ++k) {
            c[order[k]] = rgba[k];
        }
        std::memcpy(pixel, c, sizeof c);
        return;
    }
    }
}

void LoadFloat(PixelFormat format, const uint8_t* pixel, float* rgba) {
    const ChannelOrder at = ChannelsOf(format);
    const int order[4] = {at.red, at.green, at.blue, at.alpha};
    switch (format) {
    case PixelFormat::Argb8:
    case PixelFormat::Bgra8:
        for (int k = 0; k < 4; ++k) {
            rgba[k] = Byte2Float(pixel[order[k]]);
        }
        return;
    case PixelFormat::Argb16: {
        uint16_t c[4];
        std::memcpy(c, pixel, sizeof c);
        for (int k = 0; k < 4; ++k) {
            rgba[k] = Deep2Float(c[order[k]]);
        }
        return;
    }
    case PixelFormat::BgraFloat: {
        float c[4];
        std::memcpy(c, pixel, sizeof c);
        for (int k = 0; k < 4; ++k) {
            rgba[k] = c[order[k]];
        }
        return;
    }
    }
}

/// Calls `each(rgbaPixel, worldPixel)` over every pixel of the two pictures.
template <class RgbaPtr, class WorldPtr, class Each>
void ForEachPixel(RgbaPtr rgba, std::ptrdiff_t rgbaRowBytes, WorldPtr world, std::ptrdiff_t worldRowBytes,
                  int width, int height, PixelFormat format, std::size_t rgbaPixelBytes, Each each) {
    using RgbaByte =
        std::conditional_t<std::is_const_v<std::remove_pointer_t<RgbaPtr>>, const uint8_t, uint8_t>;
    using WorldByte =
        std::conditional_t<std::is_const_v<std::remove_pointer_t<WorldPtr>>, const uint8_t, uint8_t>;
    const std::size_t worldPixelBytes = BytesPerPixel(format);
    for (int y = 0; y < height; ++y) {
        auto* rgbaRow = reinterpret_cast<RgbaByte*>(rgba) + y * rgbaRowBytes;
        auto* worldRow = static_cast<WorldByte*>(world) + y * worldRowBytes;
        for (int x = 0; x < width; ++x) {
            each(rgbaRow + static_cast<std::size_t>(x) * rgbaPixelBytes,
                 worldRow + static_cast<std::size_t>(x) * worldPixelBytes);
        }
    }
}

}   // namespace

void FromRgba8(const uint8_t* rgba, std::ptrdiff_t rowBytes, const ImageView& out) {
    Require(Fits(rgba, out.width, out.height, rowBytes, 4) &&
                Fits(out.data, out.width, out.height, out.rowBytes, BytesPerPixel(out.format)),
            "converting from RGBA");
    ForEachPixel(rgba, rowBytes, out.data, out.rowBytes, out.width, out.height, out.format, 4,
                 [&](const uint8_t* p, uint8_t* w) { StoreByte(out.format, p, w); });
}

void ToRgba8(const ConstImageView& in, uint8_t* rgba, std::ptrdiff_t rowBytes) {
    Require(Fits(rgba, in.width, in.height, rowBytes, 4) &&
                Fits(in.data, in.width, in.height, in.rowBytes, BytesPerPixel(in.format)),
            "converting to RGBA");
    ForEachPixel(rgba, rowBytes, in.data, in.rowBytes, in.width, in.height, in.format, 4,
                 [&](uint8_t* p, const uint8_t* w) { LoadByte(in.format, w, p); });
}

void FromRgbaFloat(const float* rgba, std::ptrdiff_t rowBytes, const ImageView& out) {
    Require(Fits(rgba, out.width, out.height, rowBytes, 16) &&
                Fits(out.data, out.width, out.height, out.rowBytes, BytesPerPixel(out.format)),
            "converting from RGBA");
    ForEachPixel(rgba, rowBytes, out.data, out.rowBytes, out.width, out.height, out.format, 16,
                 [&](const uint8_t* p, uint8_t* w) {
                     float c[4];
                     std::memcpy(c, p, sizeof c);
                     StoreFloat(out.format, c, w);
                 });
}

void ToRgbaFloat(const ConstImageView& in, float* rgba, std::ptrdiff_t rowBytes) {
    Require(Fits(rgba, in.width, in.height, rowBytes, 16) &&
                Fits(in.data, in.width, in.height, in.rowBytes, BytesPerPixel(in.format)),
            "converting to RGBA");
    ForEachPixel(rgba, rowBytes, in.data, in.rowBytes, in.width, in.height, in.format, 16,
                 [&](uint8_t* p, const uint8_t* w) {
                     float c[4];
                     LoadFloat(in.format, w, c);
                     std::memcpy(p, c, sizeof c);
                 });
}

}   // namespace corvelle::io
