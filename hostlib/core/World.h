// Pixel memory the host owns and lends to the module as a PF_EffectWorld.
#pragma once

#include "core/HostError.h"
#include "host/AE_Effect.h"

#include <corvelle/corvelle.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace corvelle {

/// The four native layouts: the compositor's ARGB 8 and 16 bit, the editor's BGRA 8 bit and float.
using PixelLayout = PixelFormat;

/// The error for a picture memory cannot hold: "[doing: ]not enough memory for a WxH picture
/// (N MiB)", N rounded up so that no picture is ever said to need 0 MiB.
HostError PictureOutOfMemory(const std::string& doing, long long width, long long height,
                             std::size_t bytesPerPixel);

class World {
public:
    /// Rows are `width * BytesPerPixel + padBytes` apart; the padding is filled with 0xCD so a
    /// stride fault shows. Throws HostError (OutOfMemory) naming the size when memory runs out. extent_hint covers the whole world; Argb16 sets PF_WorldFlag_DEEP.
    World(PixelLayout layout, A_long width, A_long height, A_long padBytes = 0);
    /// Lends the caller's pixels (not copied, not freed): rows `rowBytes` apart, at least
    /// width × BytesPerPixel. Copies of a borrowed world own a copy of its pixels.
    static World Borrow(PixelLayout layout, A_long width, A_long height, std::size_t rowBytes, void* data);
    World(const World& other);
    World& operator=(const World& other);
    // Moved bytes keep their buffer, so the lent pointer stays right.
    World(World&&) noexcept = default;
    World& operator=(World&&) noexcept = default;

    PixelLayout Layout() const { return m_layout; }
    A_long Width() const { return m_def.width; }
    A_long Height() const { return m_def.height; }
    std::size_t RowBytes() const { return static_cast<std::size_t>(m_def.rowbytes); }

    /// The pixels as the public API and the stream readers and writers see them.
    ImageView View() {
        return ImageView{Row(0), Width(), Height(), static_cast<std::ptrdiff_t>(RowBytes()), m_layout};
    }
    ConstImageView View() const {
        return ConstImageView{Row(0), Width(), Height(), static_cast<std::ptrdiff_t>(RowBytes()), m_layout};
    }

    PF_EffectWorld* Def() { return &m_def; }
    const PF_EffectWorld* Def() const { return &m_def; }

    uint8_t* Row(A_long y) { return Base() + static_cast<std::size_t>(y) * RowBytes(); }
    const uint8_t* Row(A_long y) const { return Base() + static_cast<std::size_t>(y) * RowBytes(); }
    /// The first byte of pixel (x, y).
    uint8_t* PixelAt(A_long x, A_long y) {
        return Row(y) + static_cast<std::size_t>(x) * BytesPerPixel(m_layout);
    }
    const uint8_t* PixelAt(A_long x, A_long y) const {
        return Row(y) + static_cast<std::size_t>(x) * BytesPerPixel(m_layout);
    }

    /// The pixels packed row after row, for a Picture; taken without a copy from an owned world
    /// without padding. The world is left without pixels.
    PixelBuffer TakePixels() &&;

    /// True when every pixel byte (padding excluded) equals the other world's.
    bool SamePixels(const World& other) const;
    /// True when every padding byte still holds the fill pattern.
    bool PaddingIntact() const;

private:
    void Rebind();
    uint8_t* Base() const { return static_cast<uint8_t*>(static_cast<void*>(m_def.data)); }

    PixelLayout m_layout;
    A_long m_padBytes;
    PixelBuffer m_bytes;
    void* m_borrowed = nullptr;
    PF_EffectWorld m_def{};
};

}   // namespace corvelle
