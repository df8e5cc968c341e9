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

// Between 8-bit worlds and RGBA bytes the channels only move: a fixed operation on each pixel's
// 32-bit word (on a little-endian machine), which the compiler applies to many pixels at once.
using WordMove = uint32_t (*)(uint32_t);

uint32_t RgbaToArgb(uint32_t w) {
    return (w << 8) | (w >> 24);
}
uint32_t ArgbToRgba(uint32_t w) {
    return (w >> 8) | (w << 24);
}
uint32_t SwapRedBlue(uint32_t w) {
    return (w & 0xff00ff00u) | ((w >> 16) & 0xffu) | ((w & 0xffu) << 16);
}

/// The word operation for 8-bit pixels of `format`, or null where channels do not just move.
WordMove ByteMove(PixelFormat format, bool toRgba) {
    if (__BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__) {
        return nullptr;
    }
    const std::array<int, 4> at = RgbaPlaces(format);
    if (format == PixelFormat::Argb8 && at == std::array<int, 4>{1, 2, 3, 0}) {
        return toRgba ? ArgbToRgba : RgbaToArgb;
    }
    if (format == PixelFormat::Bgra8 && at == std::array<int, 4>{2, 1, 0, 3}) {
        return SwapRedBlue;
    }
    return nullptr;
}

template <WordMove Move>
void MoveRow(const uint8_t* from, uint8_t* to, int width) {
    for (int x = 0; x < width; ++x) {
        uint32_t w;
        std::memcpy(&w, from + 4 * static_cast<std::ptrdiff_t>(x), 4);
        w = Move(w);
        std::memcpy(to + 4 * static_cast<std::ptrdiff_t>(x), &w, 4);
    }
}

/// Moves the bytes of every row; false where the format's channels do not just move.
bool MoveBytes(PixelFormat format, bool toRgba, const uint8_t* from, std::ptrdiff_t fromRowBytes, uint8_t* to,
               std::ptrdiff_t toRowBytes, int width, int height) {
    const WordMove move = ByteMove(format, toRgba);
    if (!move) {
        return false;
    }
    for (int y = 0; y < height; ++y) {
        const uint8_t* source = from + y * fromRowBytes;
        uint8_t* target = to + y * toRowBytes;
        if (move == RgbaToArgb) {
            MoveRow<RgbaToArgb>(source, target, width);
        } else if (move == ArgbToRgba) {
            MoveRow<ArgbToRgba>(source, target, width);
        } else {
            MoveRow<SwapRedBlue>(source, target, width);
        }
    }
    return true;
}

// Otherwise the format is settled once a call, so each pixel is four moves and four conversions;
// pixels go through memcpy because callers' rows need not be aligned for the channel type.

template <class Rgba>
void WorldToRgba(const ConstImageView& in, Rgba* rgba, std::ptrdiff_t rowBytes) {
    if constexpr (std::is_same_v<Rgba, uint8_t>) {
        if (MoveBytes(in.format, true, static_cast<const uint8_t*>(in.data), in.rowBytes, rgba, rowBytes,
                      in.width, in.height)) {
            return;
        }
    }
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
    if constexpr (std::is_same_v<Rgba, uint8_t>) {
        if (MoveBytes(out.format, false, rgba, rowBytes, static_cast<uint8_t*>(out.data), out.rowBytes,
                      out.width, out.height)) {
            return;
        }
    }
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
