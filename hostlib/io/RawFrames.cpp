// Reads and writes raw frame streams through plain descriptors, whole frames at a time.
#include <corvelle/streams.h>

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

uint8_t* RowOf(const ImageView& frame, int y) {
    return static_cast<uint8_t*>(frame.data) + (static_cast<std::ptrdiff_t>(y) * frame.rowBytes);
}

const uint8_t* RowOf(const ConstImageView& frame, int y) {
    return static_cast<const uint8_t*>(frame.data) + (static_cast<std::ptrdiff_t>(y) * frame.rowBytes);
}

std::string DisplayName(const std::string& path, const char* standardName) {
    return path == "-" ? std::string(standardName) : path;
}

}   // namespace

std::size_t RawFrameBytes(PixelFormat format, int width, int height) {
    return static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * BytesPerPixel(format);
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

bool RawFrameReader::Next(const ImageView& frame) {
    const std::size_t rowBytes = static_cast<std::size_t>(frame.width) * BytesPerPixel(frame.format);
    const std::size_t frameBytes = rowBytes * static_cast<std::size_t>(frame.height);
    if (frameBytes == 0 || AtEnd())
        return false;
    // Straight into the frame, so memory is committed as the bytes arrive, never ahead of them.
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
    if (static_cast<std::size_t>(frame.rowBytes) == rowBytes) {
        fill(RowOf(frame, 0), frameBytes);
    } else {
        for (int y = 0; y < frame.height && !m_ended; ++y)
            fill(RowOf(frame, y), rowBytes);
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

void RawFrameWriter::Write(const ConstImageView& frame) {
    const std::size_t rowBytes = static_cast<std::size_t>(frame.width) * BytesPerPixel(frame.format);
    const std::size_t frameBytes = rowBytes * static_cast<std::size_t>(frame.height);
    if (frameBytes == 0)
        return;
    // Rows without padding go out as they lie; padded ones are packed into a buffer first.
    const uint8_t* p = RowOf(frame, 0);
    if (static_cast<std::size_t>(frame.rowBytes) != rowBytes) {
        m_buffer.resize(frameBytes);
        for (int y = 0; y < frame.height; ++y) {
            std::memcpy(m_buffer.data() + (static_cast<std::size_t>(y) * rowBytes), RowOf(frame, y),
                        rowBytes);
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
