// The frames the preview shows and renders: the built-in picture, a picture file, a numbered
// image sequence, a raw frame stream or a video, each read on demand in the pixel format asked for.
#pragma once

#include <corvelle/corvelle.h>
#include <corvelle/pictures.h>

#include "VideoFile.h"

#include <memory>
#include <string>

namespace corvelle::serve {

/// The most frames a still picture may last on the timeline.
constexpr long kMaxDuration = kMaxVideoFrames;

struct InputSpec {
    enum class Kind { BuiltIn, Picture, Sequence, Raw, Video } kind = Kind::BuiltIn;
    std::string path;                             // picture, frame pattern (in.%04d.png), raw stream or video
    long first = 0, last = 0;                     // sequence frame numbers
    long duration = 1;                            // frames a still picture lasts; 0: as long as its keys
    long long maxPixels = 16384LL * 8192LL;       // video frames with more are refused
    int rawWidth = 0, rawHeight = 0;              // raw stream frame size
    PixelFormat rawFormat = PixelFormat::Argb8;   // the stream's native layout
};

class InputFrames {
public:
    /// Checks the input is there and finds its frame size and count; throws Error (IO,
    /// BadValue) when it cannot be read.
    explicit InputFrames(const InputSpec& spec);

    const InputSpec& Spec() const { return m_spec; }
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    long Count() const { return m_count; }
    /// Raw streams hold one pixel format; the others are read into any.
    bool FixedFormat() const { return m_spec.kind == InputSpec::Kind::Raw; }
    /// The frame number shown to the user for index `index` (sequences count from `first`).
    long Number(long index) const;

    /// Makes a still picture last `frames` frames (1 to kMaxDuration).
    void SetDuration(long frames);
    /// Frames a second the input has of its own (a video's), else 0.
    double Fps() const { return m_video.fps; }
    /// Whether every frame is the same picture (the built-in one or a picture file).
    bool Still() const {
        return m_spec.kind == InputSpec::Kind::BuiltIn || m_spec.kind == InputSpec::Kind::Picture;
    }

    /// Frame `index` (0 ≤ index < Count()) in `format`. Throws Error (IO, BadValue). A video's
    /// frames read in increasing order come from one running decoder.
    Picture Read(long index, PixelFormat format);

private:
    InputSpec m_spec;
    int m_width = 0;
    int m_height = 0;
    long m_count = 1;
    VideoInfo m_video;
    std::unique_ptr<VideoFrames> m_decoder;
};

}   // namespace corvelle::serve
