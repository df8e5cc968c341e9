// Reads and writes raw frame streams through plain descriptors, whole frames at a time.
#include "io/RawFrames.h"

#include "core/HostError.h"
#include "io/FileOps.h"

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
        throw HostError("reading " + m_name + ": " + Why(), ErrorKind::IO);
    m_owned = true;
}

RawFrameReader::~RawFrameReader() {
    if (m_owned)
        close(m_fd);
}

std::size_t RawFrameReader::ReadUpTo(uint8_t* data, std::size_t size) {
    std::size_t got = 0;
    while (got < size && !m_ended) {
        const ssize_t n = read(m_fd, data + got, size - got);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw HostError("reading " + m_name + ": " + Why(), ErrorKind::IO);
        }
        if (n == 0)
            m_ended = true;
        got += static_cast<std::size_t>(n);
    }
    return got;
}

bool RawFrameReader::AtEnd() {
    if (!m_peeked && !m_ended)
        m_peeked = ReadUpTo(&m_peek, 1) == 1;
    return !m_peeked;
}

bool RawFrameReader::Next(World& world) {
    const std::size_t rowBytes = static_cast<std::size_t>(world.Width()) * BytesPerPixel(world.Layout());
    const std::size_t frameBytes = rowBytes * static_cast<std::size_t>(world.Height());
    if (frameBytes == 0 || AtEnd())
        return false;
    // Straight into the world, so memory is committed as the bytes arrive, never ahead of them.
    std::size_t got = 0;
    const auto fill = [&](uint8_t* data, std::size_t size) {
        std::size_t offset = 0;
        if (m_peeked) {
            data[0] = m_peek;
            m_peeked = false;
            offset = 1;
        }
        got += offset + ReadUpTo(data + offset, size - offset);
    };
    if (world.RowBytes() == rowBytes) {
        fill(world.Row(0), frameBytes);
    } else {
        for (A_long y = 0; y < world.Height() && !m_ended; ++y)
            fill(world.Row(y), rowBytes);
    }
    if (got < frameBytes) {
        throw HostError("reading " + m_name + ": frame " + std::to_string(m_frames + 1) +
                            " is short: " + std::to_string(frameBytes - got) + " of its " +
                            std::to_string(frameBytes) + " bytes are missing",
                        ErrorKind::IO);
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
    if (!WriteAll(STDOUT_FILENO, p, frameBytes))
        throw HostError("writing " + m_name + ": " + Why(), ErrorKind::IO);
}

void RawFrameWriter::Finish() {
    if (m_file)
        m_file->Commit();
}

}   // namespace corvelle
