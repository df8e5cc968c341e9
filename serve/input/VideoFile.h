// Video files through ffprobe and ffmpeg: what a file holds, and its frames decoded one by one
// as straight RGBA 8-bit, exactly the frames a decode of the whole clip gives.
#pragma once

#include "ChildProcess.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace corvelle::serve {

/// The most frames a clip may have: far more than a preview is ever asked for, and few enough that
/// every frame's host time fits in 32 bits at any rate.
constexpr long kMaxVideoFrames = 2000000;

struct VideoInfo {
    bool picture = false;   // a still image format (PNG, JPEG, ...): read it as a picture instead
    int width = 0;
    int height = 0;
    long frames = 0;
    double fps = 0.0;                     // 0 when the rate is not one a host time can express
    bool constantRate = true;             // the nominal and the average rate agree
    long long rateNum = 0, rateDen = 1;   // the nominal rate as ffprobe gave it, for seeking
    double startOffset = 0.0;             // seconds from the file's start to the video's first frame
};

/// Reads the JSON ffprobe prints for the first video stream and the format (see ProbeVideo).
/// Throws Error(IO) naming `path` for anything but a well-formed answer describing a video of
/// 1 to 32767 pixels a side, at most `maxPixels` pixels and 1 to kMaxVideoFrames frames.
VideoInfo ParseProbe(const std::string& json, const std::string& path, long long maxPixels);

/// Whether ffprobe and ffmpeg are both on PATH.
bool HaveVideoTools();

/// Whether `path` should be read as a video rather than a picture: never for a picture file
/// ending (.png, .exr, ...); otherwise when ffprobe finds a video stream in a format that is not
/// a still image's. Throws Error(IO) for a video file ending (.mp4, .mkv, ...) without ffprobe
/// and ffmpeg on PATH; other files are then taken for pictures.
bool IsVideoFile(const std::string& path);

/// Runs ffprobe on `path`. Throws Error(IO) when ffprobe is missing, fails or describes no video.
VideoInfo ProbeVideo(const std::string& path, long long maxPixels);

/// A running ffmpeg that decodes `path` from frame `first` on; each Next gives the following frame.
class VideoFrames {
public:
    VideoFrames(const std::string& path, const VideoInfo& info, long first);

    /// Fills `rgba` (width × height × 4 bytes) with the next frame; false when the clip has ended
    /// exactly between frames. A frame cut short throws Error(IO) saying how many bytes came.
    bool Next(std::vector<uint8_t>& rgba);
    /// The index of the frame the next Next gives.
    long Position() const { return m_next; }

private:
    std::string m_path;
    std::size_t m_frameBytes;
    long m_next;
    std::unique_ptr<ChildProcess> m_child;
};

/// The ffmpeg arguments that decode `path` from frame `first` on as raw RGBA rows on standard
/// output: a seek half a frame before the frame's time for a constant-rate clip, a frame-number
/// selection otherwise.
std::vector<std::string> DecodeArguments(const std::string& ffmpeg, const std::string& path,
                                         const VideoInfo& info, long first);

}   // namespace corvelle::serve
