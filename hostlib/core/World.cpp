// Pixel memory the host owns and lends to the module as a PF_EffectWorld.
#include "core/World.h"

#include "core/HostError.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

namespace corvelle {

namespace {

constexpr uint8_t kPaddingFill = 0xCD;

}   // namespace

HostError PictureOutOfMemory(const std::string& doing, long long width, long long height,
                             std::size_t bytesPerPixel) {
    const double mib = static_cast<double>(width) * static_cast<double>(height) *
                       static_cast<double>(bytesPerPixel) / 1048576.0;
    return HostError((doing.empty() ? "" : doing + ": ") + "not enough memory for a " +
                         std::to_string(width) + "x" + std::to_string(height) + " picture (" +
                         std::to_string(static_cast<long long>(std::ceil(mib))) + " MiB)",
                     ErrorKind::OutOfMemory);
}

World::World(PixelLayout layout, A_long width, A_long height, A_long padBytes)
    : m_layout(layout), m_padBytes(padBytes) {
    if (width < 0 || height < 0 || padBytes < 0) {
        throw HostError("cannot make a world: negative size " + std::to_string(width) + "x" +
                        std::to_string(height) + " with padding " + std::to_string(padBytes));
    }
    const std::size_t pixelBytes = static_cast<std::size_t>(width) * BytesPerPixel(layout);
    const std::size_t rowBytes = pixelBytes + static_cast<std::size_t>(padBytes);
    if (rowBytes > 0x7fffffffu) {
        throw HostError("cannot make a world: rows of " + std::to_string(rowBytes) +
                        " bytes exceed the host's row size");
    }
    try {
        m_bytes = PixelBuffer(rowBytes * static_cast<std::size_t>(height));
    } catch (const std::bad_alloc&) {
        throw PictureOutOfMemory("", width, height, BytesPerPixel(layout));
    }
    for (A_long y = 0; y < height; ++y) {
        std::fill_n(m_bytes.data() + static_cast<std::size_t>(y) * rowBytes + pixelBytes,
                    static_cast<std::size_t>(padBytes), kPaddingFill);
    }
    m_def.world_flags = layout == PixelLayout::Argb16 ? PF_WorldFlag_DEEP : 0;
    m_def.rowbytes = static_cast<A_long>(rowBytes);
    m_def.width = width;
    m_def.height = height;
    m_def.extent_hint = PF_LRect{0, 0, width, height};
    Rebind();
}

World World::Borrow(PixelLayout layout, A_long width, A_long height, std::size_t rowBytes, void* data) {
    const std::size_t pixelBytes =
        static_cast<std::size_t>(std::max<A_long>(width, 0)) * BytesPerPixel(layout);
    if (width < 0 || height < 0 || rowBytes < pixelBytes || rowBytes > 0x7fffffffu ||
        (!data && width > 0 && height > 0)) {
        throw HostError("cannot lend a picture of " + std::to_string(width) + "x" + std::to_string(height) +
                            " with rows of " + std::to_string(rowBytes) + " bytes",
                        ErrorKind::BadValue);
    }
    World world(layout, 0, 0);
    world.m_padBytes = static_cast<A_long>(rowBytes - pixelBytes);
    world.m_borrowed = data;
    world.m_def.rowbytes = static_cast<A_long>(rowBytes);
    world.m_def.width = width;
    world.m_def.height = height;
    world.m_def.extent_hint = PF_LRect{0, 0, width, height};
    world.Rebind();
    return world;
}

World::World(const World& other)
    : m_layout(other.m_layout), m_padBytes(other.m_padBytes), m_bytes(other.m_bytes), m_def(other.m_def) {
    if (other.m_borrowed) {
        m_bytes = PixelBuffer(other.Base(), other.RowBytes() * static_cast<std::size_t>(other.Height()));
    }
    Rebind();
}

World& World::operator=(const World& other) {
    if (this != &other) {
        m_layout = other.m_layout;
        m_padBytes = other.m_padBytes;
        m_bytes = other.m_bytes;
        if (other.m_borrowed) {
            m_bytes = PixelBuffer(other.Base(), other.RowBytes() * static_cast<std::size_t>(other.Height()));
        }
        m_borrowed = nullptr;
        m_def = other.m_def;
        Rebind();
    }
    return *this;
}

PixelBuffer World::TakePixels() && {
    if (m_borrowed || m_padBytes != 0) {
        PixelBuffer packed(static_cast<std::size_t>(Width()) * BytesPerPixel(m_layout) *
                           static_cast<std::size_t>(Height()));
        const std::size_t pixelBytes = static_cast<std::size_t>(Width()) * BytesPerPixel(m_layout);
        for (A_long y = 0; y < Height(); ++y) {
            std::memcpy(packed.data() + static_cast<std::size_t>(y) * pixelBytes, Row(y), pixelBytes);
        }
        return packed;
    }
    m_def.data = nullptr;
    return std::move(m_bytes);
}

void World::Rebind() {
    // The copy must lend its own bytes, never the original's.
    void* base = m_borrowed ? m_borrowed : (m_bytes.empty() ? nullptr : m_bytes.data());
    m_def.data = static_cast<PF_PixelPtr>(base);
}

bool World::SamePixels(const World& other) const {
    if (m_layout != other.m_layout || Width() != other.Width() || Height() != other.Height()) {
        return false;
    }
    const std::size_t pixelBytes = static_cast<std::size_t>(Width()) * BytesPerPixel(m_layout);
    // A world without pixel bytes may have no storage at all, and memcmp must not see null.
    if (pixelBytes == 0) {
        return true;
    }
    for (A_long y = 0; y < Height(); ++y) {
        if (std::memcmp(Row(y), other.Row(y), pixelBytes) != 0) {
            return false;
        }
    }
    return true;
}

bool World::PaddingIntact() const {
    const std::size_t pixelBytes = static_cast<std::size_t>(Width()) * BytesPerPixel(m_layout);
    for (A_long y = 0; y < Height(); ++y) {
        const uint8_t* pad = Row(y) + pixelBytes;
        if (!std::all_of(pad, pad + m_padBytes, [](uint8_t b) { return b == kPaddingFill; })) {
            return false;
        }
    }
    return true;
}

}   // namespace corvelle
