// Reads and writes raw frame streams through plain descriptors, whole frames at a time.
#include "io/RawFrames.h"

#include "core/HostError.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace corvelle {
namespace {

// The world keeps 16-bit and float channels in native order; the stream's are little-endian.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "raw streams copy native little-endian channels");

std::string Why() {
    return std::strerror(errno);
}

std::string DisplayName(const std::string& path, const char* standardName) {
    return path == "-" ? std::string(standardName) : path;
}

}   // namespace

std::size_t RawFrameBytes(PixelLayout layout, A_long width, A_long height) {
    return static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * BytesPerPixel(layout);
}

RawFrameReader::RawFrameReader(const std::string& path) : m_name(DisplayName(path, "standard input")) {
    if (path == "-") {
        m_fd = STDIN_FILENO;
        return;
    }
    m_fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (m_fd < 0)
        throw HostError("reading " + m_name + ": " + Why());
    m_owned = true;
}

RawFrameReader::~RawFrameReader() {
    if (m_owned)
        close(m_fd);
}

bool RawFrameReader::Next(World& world) {
    const std::size_t rowBytes = static_cast<std::size_t>(world.Width()) * BytesPerPixel(world.Layout());
    const std::size_t frameBytes = rowBytes * static_cast<std::size_t>(world.Height());
    // Rows without padding take the frame as it comes; padded ones go through a buffer.
    const bool straight = world.RowBytes() == rowBytes;
    uint8_t* target = nullptr;
    if (straight) {
        target = frameBytes > 0 ? world.Row(0) : nullptr;
    } else {
        m_buffer.resize(frameBytes);
        target = m_buffer.data();
    }
    std::size_t got = 0;
    while (got < frameBytes) {
        const ssize_t n = read(m_fd, target + got, frameBytes - got);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw HostError("reading " + m_name + ": " + Why());
        }
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    if (got == 0 && frameBytes > 0)
        return false;
    if (got < frameBytes) {
        throw HostError("reading " + m_name + ": frame " + std::to_string(m_frames + 1) +
                        " is short: " + std::to_string(frameBytes - got) + " of its " +
                        std::to_string(frameBytes) + " bytes are missing");
    }
    if (!straight) {
        for (A_long y = 0; y < world.Height(); ++y) {
            std::memcpy(world.Row(y), m_buffer.data() + (static_cast<std::size_t>(y) * rowBytes), rowBytes);
        }
    }
    ++m_frames;
    return true;
}

RawFrameWriter::RawFrameWriter(const std::string& path) : m_name(DisplayName(path, "standard output")) {
    if (path != "-")
        m_file = std::make_unique<AtomicFile>(path);
}

void RawFrameWriter::Write(const World& world) {
    const std::size_t rowBytes = static_cast<std::size_t>(world.Width()) * BytesPerPixel(world.Layout());
    const std::size_t frameBytes = rowBytes * static_cast<std::size_t>(world.Height());
    if (frameBytes == 0)
        return;
    // Rows without padding go out as they lie; padded ones are packed into a buffer first.
    const uint8_t* p = world.Row(0);
    if (world.RowBytes() != rowBytes) {
        m_buffer.resize(frameBytes);
        for (A_long y = 0; y < world.Height(); ++y) {
            std::memcpy(m_buffer.data() + (static_cast<std::size_t>(y) * rowBytes), world.Row(y), rowBytes);
        }
        p = m_buffer.data();
    }
    if (m_file) {
        m_file->Write(p, frameBytes);
        return;
    }
    std::size_t left = frameBytes;
    while (left > 0) {
        const ssize_t n = write(STDOUT_FILENO, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw HostError("writing " + m_name + ": " + Why());
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
}

void RawFrameWriter::Finish() {
    if (m_file)
        m_file->Commit();
}

}   // namespace corvelle
