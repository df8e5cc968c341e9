// Pixel memory the host owns and lends to the module as a PF_EffectWorld.
#include "World.h"

#include "ModuleLibrary.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace corvelle {

namespace {

constexpr uint8_t kPaddingFill = 0xCD;

}   // namespace

std::size_t BytesPerPixel(PixelLayout layout) {
    switch (layout) {
    case PixelLayout::Argb8: return sizeof(PF_Pixel);
    case PixelLayout::Argb16: return sizeof(PF_Pixel16);
    case PixelLayout::Bgra8: return 4;
    case PixelLayout::BgraFloat: return 4 * sizeof(float);
    }
    return 0;
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
    m_bytes.assign(rowBytes * static_cast<std::size_t>(height), 0);
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

World::World(const World& other)
    : m_layout(other.m_layout), m_padBytes(other.m_padBytes), m_bytes(other.m_bytes), m_def(other.m_def) {
    Rebind();
}

World& World::operator=(const World& other) {
    if (this != &other) {
        m_layout = other.m_layout;
        m_padBytes = other.m_padBytes;
        m_bytes = other.m_bytes;
        m_def = other.m_def;
        Rebind();
    }
    return *this;
}

void World::Rebind() {
    // The copy must lend its own bytes, never the original's.
    m_def.data = m_bytes.empty() ? nullptr : reinterpret_cast<PF_PixelPtr>(m_bytes.data());
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
