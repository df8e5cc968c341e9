// Straight RGBA to and from the four pixel formats, by the same channel rules as picture files.
#include <corvelle/convert.h>

#include "core/HostError.h"
#include "io/PixelConversion.h"

#include <array>
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

/// One stored channel type's conversions to and from straight 8-bit and float channels.
template <class T>
struct Channel;

template <>
struct Channel<uint8_t> {
    static uint8_t FromByte(uint8_t v) { return v; }
    static uint8_t ToByte(uint8_t v) { return v; }
    static uint8_t FromFloat(float v) { return Float2Byte(v); }
    static float ToFloat(uint8_t v) { return Byte2Float(v); }
};

template <>
struct Channel<uint16_t> {
    static uint16_t FromByte(uint8_t v) { return Byte2Deep(v); }
    static uint8_t ToByte(uint16_t v) { return Deep2Byte(v); }
    static uint16_t FromFloat(float v) { return Float2Deep(v); }
    static float ToFloat(uint16_t v) { return Deep2Float(v); }
};

template <>
struct Channel<float> {
    static float FromByte(uint8_t v) { return Byte2Float(v); }
    static uint8_t ToByte(float v) { return Float2Byte(v); }
    static float FromFloat(float v) { return v; }
    static float ToFloat(float v) { return v; }
};

/// A straight RGBA channel (uint8_t or float) from a stored one, and back.
template <class Rgba, class T>
Rgba ToRgbaChannel(T v) {
    if constexpr (std::is_same_v<Rgba, uint8_t>) {
        return Channel<T>::ToByte(v);
    } else {
        return Channel<T>::ToFloat(v);
    }
}

template <class T, class Rgba>
T FromRgbaChannel(Rgba v) {
    if constexpr (std::is_same_v<Rgba, uint8_t>) {
        return Channel<T>::FromByte(v);
    } else {
        return Channel<T>::FromFloat(v);
    }
}

/// Calls `visit(T{})` with the channel type `format` stores.
template <class Visit>
void VisitChannelType(PixelFormat format, Visit&& visit) {
    switch (format) {
    case PixelFormat::Argb8:
    case PixelFormat::Bgra8: visit(uint8_t{}); return;
    case PixelFormat::Argb16: visit(uint16_t{}); return;
    case PixelFormat::BgraFloat: visit(float{}); return;
    }
}

/// Where red, green, blue and alpha sit in a pixel of `format`.
std::array<int, 4> RgbaPlaces(PixelFormat format) {
    const ChannelOrder at = ChannelsOf(format);
    return {at.red, at.green, at.blue, at.alpha};
}

// The format is settled once a call, so each pixel is four moves and four conversions; pixels
// go through memcpy because callers' rows need not be aligned for the channel type.

template <class Rgba>
void WorldToRgba(const ConstImageView& in, Rgba* rgba, std::ptrdiff_t rowBytes) {
    const std::array<int, 4> at = RgbaPlaces(in.format);
    VisitChannelType(in.format, [&](auto type) {
        using T = decltype(type);
        for (int y = 0; y < in.height; ++y) {
            const auto* source = static_cast<const uint8_t*>(in.data) + y * in.rowBytes;
            Rgba* out = reinterpret_cast<Rgba*>(reinterpret_cast<uint8_t*>(rgba) + y * rowBytes);
            for (int x = 0; x < in.width; ++x, source += sizeof(T[4]), out += 4) {
                T c[4];
                std::memcpy(c, source, sizeof c);
                Rgba p[4];
                for (int k = 0; k < 4; ++k) {
                    p[k] = ToRgbaChannel<Rgba>(c[at[k]]);
                }
                std::memcpy(out, p, sizeof p);
            }
        }
    });
}

template <class Rgba>
void RgbaToWorld(const Rgba* rgba, std::ptrdiff_t rowBytes, const ImageView& out) {
    const std::array<int, 4> at = RgbaPlaces(out.format);
    VisitChannelType(out.format, [&](auto type) {
        using T = decltype(type);
        for (int y = 0; y < out.height; ++y) {
            const Rgba* in =
                reinterpret_cast<const Rgba*>(reinterpret_cast<const uint8_t*>(rgba) + y * rowBytes);
            auto* target = static_cast<uint8_t*>(out.data) + y * out.rowBytes;
            for (int x = 0; x < out.width; ++x, in += 4, target += sizeof(T[4])) {
                Rgba p[4];
                std::memcpy(p, in, sizeof p);
                T c[4];
                for (int k = 0; k < 4; ++k) {
                    c[at[k]] = FromRgbaChannel<T>(p[k]);
                }
                std::memcpy(target, c, sizeof c);
            }
        }
    });
}

}   // namespace

void FromRgba8(const uint8_t* rgba, std::ptrdiff_t rowBytes, const ImageView& out) {
    Require(Fits(rgba, out.width, out.height, rowBytes, 4) &&
                Fits(out.data, out.width, out.height, out.rowBytes, BytesPerPixel(out.format)),
            "converting from RGBA");
    RgbaToWorld(rgba, rowBytes, out);
}

void ToRgba8(const ConstImageView& in, uint8_t* rgba, std::ptrdiff_t rowBytes) {
    Require(Fits(rgba, in.width, in.height, rowBytes, 4) &&
                Fits(in.data, in.width, in.height, in.rowBytes, BytesPerPixel(in.format)),
            "converting to RGBA");
    WorldToRgba(in, rgba, rowBytes);
}

void FromRgbaFloat(const float* rgba, std::ptrdiff_t rowBytes, const ImageView& out) {
    Require(Fits(rgba, out.width, out.height, rowBytes, 16) &&
                Fits(out.data, out.width, out.height, out.rowBytes, BytesPerPixel(out.format)),
            "converting from RGBA");
    RgbaToWorld(rgba, rowBytes, out);
}

void ToRgbaFloat(const ConstImageView& in, float* rgba, std::ptrdiff_t rowBytes) {
    Require(Fits(rgba, in.width, in.height, rowBytes, 16) &&
                Fits(in.data, in.width, in.height, in.rowBytes, BytesPerPixel(in.format)),
            "converting to RGBA");
    WorldToRgba(in, rgba, rowBytes);
}

}   // namespace corvelle::io
