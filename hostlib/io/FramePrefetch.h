// Reads a raw stream's next frame on a thread of its own while the current one renders, so
// reading and rendering overlap instead of taking turns.
#pragma once

#include "core/World.h"
#include <corvelle/streams.h>

#include <cstddef>
#include <future>
#include <vector>

namespace corvelle {

class FramePrefetch {
public:
    /// A frame read ahead is one more frame held; past this size (4K at 16 bits and float, 8K)
    /// the memory matters more than the overlap, and frames are read in turn.
    static constexpr std::size_t kMaxReadAheadBytes = std::size_t{64} << 20;

    /// Frames of `layout`, `width` × `height` from `reader`, which must outlive this.
    FramePrefetch(RawFrameReader& reader, PixelLayout layout, A_long width, A_long height,
                  std::size_t maxReadAheadBytes = kMaxReadAheadBytes);
    /// Waits for a read still under way (it fills a frame this object owns).
    ~FramePrefetch();
    FramePrefetch(const FramePrefetch&) = delete;
    FramePrefetch& operator=(const FramePrefetch&) = delete;

    /// The next frame, valid until the next call; null when the stream has ended between
    /// frames. Throws what the reader throws, for the frame it was reading.
    World* Next();
    /// Frames handed out so far.
    long FramesRead() const { return m_handedOut; }

private:
    void StartReading(World& target);

    RawFrameReader& m_reader;
    std::vector<World> m_frames;   // two when reading ahead
    int m_reading = 0;             // the frame the read under way fills
    std::future<bool> m_pending;
    long m_handedOut = 0;
};

}   // namespace corvelle
