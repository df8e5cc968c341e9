// Streams of raw frames in a world's native layout: rows top first, no padding, frame after
// frame; compositor 8-bit a,r,g,b bytes, compositor 16-bit a,r,g,b little-endian uint16
// (0..32768), editor 8-bit b,g,r,a bytes, editor float b,g,r,a little-endian float32.
#pragma once

#include <corvelle/files.h>
#include "core/World.h"

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace corvelle {

/// The bytes of one frame of `width` × `height` in `layout`.
std::size_t RawFrameBytes(PixelLayout layout, A_long width, A_long height);

class RawFrameReader {
public:
    /// Opens `path`, or standard input for "-"; throws HostError when it cannot be opened.
    explicit RawFrameReader(const std::string& path);
    ~RawFrameReader();
    RawFrameReader(const RawFrameReader&) = delete;
    RawFrameReader& operator=(const RawFrameReader&) = delete;

    /// Whether the stream has ended between frames, waiting for its next byte if need be; lets
    /// a caller refuse an empty stream before allocating a frame or touching an output.
    bool AtEnd();
    /// Fills `world` with the next frame, straight into its rows; false when the stream ends
    /// between frames. A frame cut short throws HostError (IO) saying how many bytes were
    /// missing.
    bool Next(World& world);
    long FramesRead() const { return m_frames; }
    const std::string& Name() const { return m_name; }

private:
    /// Reads up to `size` bytes, fewer only at the end of the stream.
    std::size_t ReadUpTo(uint8_t* data, std::size_t size);

    std::string m_name;
    int m_fd = -1;
    bool m_owned = false;
    long m_frames = 0;
    bool m_peeked = false;   // m_peek holds the next frame's first byte
    bool m_ended = false;
    uint8_t m_peek = 0;
};

class RawFrameWriter {
public:
    /// Writes to standard output for "-" (frames appear as they are rendered), otherwise to a
    /// temporary file renamed over `path` by Finish().
    explicit RawFrameWriter(const std::string& path);
    /// Appends one frame; throws HostError on failure.
    void Write(const World& world);
    /// Makes a file output appear; without it the temporary file is removed.
    void Finish();

private:
    std::string m_name;
    std::unique_ptr<AtomicFile> m_file;
    std::vector<uint8_t> m_buffer;
};

}   // namespace corvelle
