// Pixel memory the host owns and lends to the module as a PF_EffectWorld.
#include "core/World.h"

#include "core/HostError.h"

#include <sys/mman.h>
#include <unistd.h>

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
// From this size on a block gets pages of its own (a 1080p frame is 8 MB).
constexpr std::size_t kMappedBlockBytes = std::size_t{256} << 10;

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

void ZeroedBytes::Release::operator()(uint8_t* p) const {
    if (mapped > 0) {
        munmap(p, mapped);
    } else {
        std::free(p);
    }
}

ZeroedBytes::ZeroedBytes(std::size_t size) : m_size(size) {
    if (size == 0) {
        return;
    }
    if (size < kMappedBlockBytes) {
        m_data = std::unique_ptr<uint8_t[], Release>(static_cast<uint8_t*>(std::calloc(size, 1)), Release{0});
        if (!m_data)
            throw std::bad_alloc();
        return;
    }
    const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    if (size > SIZE_MAX - page)
        throw std::bad_alloc();
    const std::size_t mapped = (size + page - 1) / page * page;
    void* block = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED)
        throw std::bad_alloc();
    m_data = std::unique_ptr<uint8_t[], Release>(static_cast<uint8_t*>(block), Release{mapped});
}

ZeroedBytes::ZeroedBytes(const uint8_t* first, std::size_t size) : ZeroedBytes(size) {
    if (size > 0)
        std::memcpy(m_data.get(), first, size);
}

ZeroedBytes& ZeroedBytes::operator=(const ZeroedBytes& other) {
    if (this != &other)
        *this = ZeroedBytes(other);
    return *this;
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
        m_bytes = ZeroedBytes(rowBytes * static_cast<std::size_t>(height));
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
        m_bytes = ZeroedBytes(other.Base(), other.RowBytes() * static_cast<std::size_t>(other.Height()));
    }
    Rebind();
}

World& World::operator=(const World& other) {
    if (this != &other) {
        m_layout = other.m_layout;
        m_padBytes = other.m_padBytes;
        m_bytes = other.m_bytes;
        if (other.m_borrowed) {
            m_bytes = ZeroedBytes(other.Base(), other.RowBytes() * static_cast<std::size_t>(other.Height()));
        }
        m_borrowed = nullptr;
        m_def = other.m_def;
        Rebind();
    }
    return *this;
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
