// Pixel memory the library owns for the pictures it hands to front-ends.
#include "core/HostError.h"
#include "core/World.h"

#include <corvelle/corvelle.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

namespace corvelle {

namespace {

// From this size on a block gets pages of its own (a 1080p frame is 8 MB).
constexpr std::size_t kMappedBlockBytes = std::size_t{256} << 10;

}   // namespace

void PixelBuffer::Release::operator()(uint8_t* p) const {
    if (mapped > 0) {
        munmap(p, mapped);
    } else {
        std::free(p);
    }
}

PixelBuffer::PixelBuffer(std::size_t size) : m_size(size) {
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

PixelBuffer::PixelBuffer(const uint8_t* first, std::size_t size) : PixelBuffer(size) {
    if (size > 0)
        std::memcpy(m_data.get(), first, size);
}

bool PixelBuffer::operator==(const PixelBuffer& other) const {
    return m_size == other.m_size && (m_size == 0 || std::memcmp(data(), other.data(), m_size) == 0);
}

PixelBuffer& PixelBuffer::operator=(const PixelBuffer& other) {
    if (this != &other)
        *this = PixelBuffer(other);
    return *this;
}

Picture MakePicture(PixelFormat format, int width, int height) {
    if (width < 0 || height < 0) {
        throw HostError("cannot make a picture of negative size", ErrorKind::BadValue);
    }
    Picture picture;
    picture.format = format;
    picture.width = width;
    picture.height = height;
    const std::size_t rowBytes = static_cast<std::size_t>(picture.RowBytes());
    try {
        if (height > 0 && rowBytes > SIZE_MAX / static_cast<std::size_t>(height)) {
            throw std::bad_alloc();
        }
        picture.bytes = PixelBuffer(rowBytes * static_cast<std::size_t>(height));
    } catch (const std::bad_alloc&) {
        throw PictureOutOfMemory("", width, height, BytesPerPixel(format));
    }
    return picture;
}

}   // namespace corvelle
