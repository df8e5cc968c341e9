// Streams of raw frames in a pixel format's own layout: rows top first, no padding, frame after
// frame; compositor 8-bit a,r,g,b bytes, compositor 16-bit a,r,g,b little-endian uint16
// (0..32768), editor 8-bit b,g,r,a bytes, editor float b,g,r,a little-endian float32. And the
// built-in picture rendered when a front-end is given no input.
#pragma once

#include <corvelle/corvelle.h>
#include <corvelle/files.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace corvelle {

/// The bytes of one frame of `width` × `height` in `format`.
CORVELLE_API std::size_t RawFrameBytes(PixelFormat format, int width, int height);

class CORVELLE_API RawFrameReader {
public:
    /// Opens `path`, or standard input for "-"; throws Error when it cannot be opened.
    explicit RawFrameReader(const std::string& path);
    ~RawFrameReader();
    RawFrameReader(const RawFrameReader&) = delete;
    RawFrameReader& operator=(const RawFrameReader&) = delete;

    /// Whether the stream has ended between frames, waiting for its next byte if need be; lets
    /// a caller refuse an empty stream before allocating a frame or touching an output.
    bool AtEnd();
    /// Fills `frame` with the next frame, straight into its rows; false when the stream ends
    /// between frames. A frame cut short throws Error (IO) saying how many bytes were missing.
    bool Next(const ImageView& frame);
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

class CORVELLE_API RawFrameWriter {
public:
    /// Writes to standard output for "-" (frames appear as they are rendered), otherwise to a
    /// temporary file renamed over `path` by Finish().
    explicit RawFrameWriter(const std::string& path);
    /// Appends one frame; throws Error on failure.
    void Write(const ConstImageView& frame);
    /// Makes a file output appear; without it the temporary file is removed.
    void Finish();

private:
    std::string m_name;
    std::unique_ptr<AtomicFile> m_file;
    std::vector<uint8_t> m_buffer;
};

/// Reads a raw stream's next frame on a thread of its own while the current one renders, so
/// reading and rendering overlap instead of taking turns.
class CORVELLE_API FramePrefetch {
public:
    /// A frame read ahead is one more frame held; past this size (4K at 16 bits and float, 8K)
    /// the memory matters more than the overlap, and frames are read in turn.
    static constexpr std::size_t kMaxReadAheadBytes = std::size_t{64} << 20;

    /// Frames of `format`, `width` × `height` from `reader`, which must outlive this.
    FramePrefetch(RawFrameReader& reader, PixelFormat format, int width, int height,
                  std::size_t maxReadAheadBytes = kMaxReadAheadBytes);
    /// Waits for a read still under way (it fills a frame this object owns).
    ~FramePrefetch();
    FramePrefetch(const FramePrefetch&) = delete;
    FramePrefetch& operator=(const FramePrefetch&) = delete;

    /// The next frame, valid until the next call; null when the stream has ended between
    /// frames. Throws what the reader throws, for the frame it was reading.
    const Picture* Next();
    /// Frames handed out so far.
    long FramesRead() const { return m_handedOut; }

private:
    void StartReading(Picture& target);

    RawFrameReader& m_reader;
    std::vector<Picture> m_frames;   // two when reading ahead
    int m_reading = 0;               // the frame the read under way fills
    std::future<bool> m_pending;
    long m_handedOut = 0;
};

/// Renders one frame on one lane: `frame` counts from 0. The result stays valid until the
/// lane's next call.
using LaneRender = std::function<ConstImageView(long frame, const ConstImageView& layer)>;
/// Fills `layer` with frame `frame` (making or replacing the picture as it needs); false when
/// there is no such frame, which ends the run.
using FrameSource = std::function<bool(long frame, std::optional<Picture>& layer)>;
/// Takes frame `frame` rendered.
using FrameSink = std::function<void(long frame, const ConstImageView& rendered)>;

/// How the lanes of RenderFrames share the frames' input and output.
enum class FrameAccess {
    InTurn,   // one stream each way: frames are read, and written, one at a time in frame order
    AtOnce,   // a file a frame: each lane reads and writes its own frames while the others work
};

/// Renders frames 0, 1, 2… on several lanes at once, each lane one whole frame at a time: lane 0
/// on the calling thread, the others on threads of their own, each taking the next frame when
/// it is free, so that one frame's serial work (its mask, its file) overlaps another's. Each lane
/// holds one frame in. Returns how many frames were written. At the first failure (reading,
/// rendering or writing a frame) no frame after it is started or, InTurn, written; once every
/// lane has stopped, the error of the earliest frame that failed is thrown. AtOnce, frames after
/// it that were already under way may have been written.
CORVELLE_API long RenderFrames(const FrameSource& read, const std::vector<LaneRender>& lanes,
                               const FrameSink& write, FrameAccess access);

/// Renders every frame of `reader` (frames of `format`, `width` × `height`) and hands each result
/// to `write` in frame order; returns how many were written. With one lane the next frame is
/// read while this one renders (see FramePrefetch); with several, RenderFrames in turn.
CORVELLE_API long RenderFramesInOrder(RawFrameReader& reader, PixelFormat format, int width, int height,
                                      const std::vector<LaneRender>& lanes, const FrameSink& write);

constexpr int kTestPictureWidth = 1920;
constexpr int kTestPictureHeight = 1080;

/// Draws the built-in picture over the whole of `out` (any format and size). Top half: a hue
/// sweep across whose brightness falls from 1 to 0.2 downward; then the same sweep at full
/// brightness with saturation falling from 1 to 0; then a grey ramp from black to white; at the
/// bottom the hue sweep over an alpha ramp from 0 to 1. Only + − × ÷ and floor are used, so every
/// build gives the same values.
CORVELLE_API void DrawTestPicture(const ImageView& out);
/// The built-in picture in a picture of its own.
CORVELLE_API Picture MakeTestPicture(PixelFormat format, int width = kTestPictureWidth,
                                     int height = kTestPictureHeight);

}   // namespace corvelle
