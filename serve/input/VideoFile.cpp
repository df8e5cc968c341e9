// Probing and decoding video files with Debian's ffmpeg tools. Nothing ffprobe says is trusted
// further than it is checked: sizes, counts and rates are bounded here, and every frame is read
// to its exact byte count.
#include "VideoFile.h"

#include <corvelle/text.h>

#include <corvelle/corvelle.h>
#include <corvelle/keyframes.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <initializer_list>
#include <cmath>
#include <cstdio>

namespace corvelle::serve {
namespace {

using Json = nlohmann::json;

constexpr int kMaxSide = 32767;
constexpr std::size_t kMaxProbeBytes = 64 * 1024;

[[noreturn]] void Refuse(const std::string& path, const std::string& why) {
    throw Error("reading " + path + ": " + why, ErrorKind::IO);
}

/// A field that ffprobe writes as a number or as digits in a string; false when absent.
bool WholeField(const Json& object, const char* name, long long& value) {
    const auto it = object.find(name);
    if (it == object.end()) {
        return false;
    }
    if (it->is_number_integer()) {
        value = it->get<long long>();
        return true;
    }
    if (!it->is_string()) {
        return false;
    }
    int64_t whole = 0;
    if (!ParseInteger(it->get_ref<const std::string&>(), INT64_MIN, INT64_MAX, whole)) {
        return false;
    }
    value = whole;
    return true;
}

/// "num/den" with both whole and positive; false otherwise.
bool ParseRate(const Json& object, const char* name, long long& num, long long& den) {
    const auto it = object.find(name);
    if (it == object.end() || !it->is_string()) {
        return false;
    }
    const std::string& text = it->get_ref<const std::string&>();
    const std::size_t slash = text.find('/');
    if (slash == std::string::npos) {
        return false;
    }
    uint64_t n = 0;
    uint64_t d = 0;
    const std::string_view view = text;
    if (!ParseUnsigned(view.substr(0, slash), 1, 1000000000, n) ||
        !ParseUnsigned(view.substr(slash + 1), 1, 1000000000, d)) {
        return false;
    }
    num = static_cast<long long>(n);
    den = static_cast<long long>(d);
    return true;
}

/// Seconds as ffprobe writes them ("0.040000"); 0 when absent or not a finite number.
double Seconds(const Json& object, const char* name) {
    const auto it = object.find(name);
    if (it == object.end() || !it->is_string()) {
        return 0.0;
    }
    const std::string& text = it->get_ref<const std::string&>();
    double v = 0.0;
    return ParseDecimal(text, v) && std::fabs(v) < 1.0e9 ? v : 0.0;
}

bool IsImageFormat(const std::string& format) {
    const std::string pipe = "_pipe";
    return format == "image2" || (format.size() > pipe.size() &&
                                  format.compare(format.size() - pipe.size(), pipe.size(), pipe) == 0);
}

std::string Decimal(double v) {
    char text[64];
    std::snprintf(text, sizeof text, "%.9f", v);
    return text;
}

}   // namespace

VideoInfo ParseProbe(const std::string& text, const std::string& path, long long maxPixels) {
    const Json doc = Json::parse(text, nullptr, false);
    if (doc.is_discarded() || !doc.is_object()) {
        Refuse(path, "ffprobe's answer is not a JSON object");
    }
    const auto streams = doc.find("streams");
    const auto format = doc.find("format");
    VideoInfo info;
    if (format != doc.end() && format->is_object()) {
        const auto name = format->find("format_name");
        info.picture = name != format->end() && name->is_string() && IsImageFormat(name->get<std::string>());
    }
    if (streams == doc.end() || !streams->is_array() || streams->empty() || !(*streams)[0].is_object()) {
        Refuse(path, "no video stream in it");
    }
    const Json& stream = (*streams)[0];
    const auto type = stream.find("codec_type");
    if (type == stream.end() || *type != "video") {
        Refuse(path, "no video stream in it");
    }
    long long width = 0;
    long long height = 0;
    if (!WholeField(stream, "width", width) || !WholeField(stream, "height", height) || width < 1 ||
        height < 1 || width > kMaxSide || height > kMaxSide) {
        Refuse(path, "the video's frame size is missing or not from 1 to " + std::to_string(kMaxSide));
    }
    if (width * height > maxPixels) {
        Refuse(path, std::to_string(width) + "x" + std::to_string(height) + " is more than the limit of " +
                         std::to_string(maxPixels) + " pixels (--max-pixels)");
    }
    info.width = static_cast<int>(width);
    info.height = static_cast<int>(height);
    if (info.picture) {
        info.frames = 1;
        return info;
    }
    long long frames = 0;
    if (!WholeField(stream, "nb_read_packets", frames) && !WholeField(stream, "nb_frames", frames)) {
        Refuse(path, "ffprobe could not count its frames");
    }
    if (frames < 1 || frames > kMaxVideoFrames) {
        Refuse(path, "ffprobe counts " + std::to_string(frames) + " frames; a preview takes 1 to " +
                         std::to_string(kMaxVideoFrames));
    }
    info.frames = static_cast<long>(frames);
    long long num = 0;
    long long den = 0;
    if (!ParseRate(stream, "r_frame_rate", num, den)) {
        Refuse(path, "ffprobe gives no frame rate");
    }
    info.rateNum = num;
    info.rateDen = den;
    long long avgNum = 0;
    long long avgDen = 0;
    info.constantRate = ParseRate(stream, "avg_frame_rate", avgNum, avgDen) && avgNum * den == num * avgDen;
    info.startOffset = Seconds(stream, "start_time") -
                       (format != doc.end() && format->is_object() ? Seconds(*format, "start_time") : 0.0);
    const double fps = static_cast<double>(num) / static_cast<double>(den);
    try {
        TimeOfFrame(info.frames, fps);
        info.fps = fps;
    } catch (const Error&) {
        info.fps = 0.0;   // no host time at this rate: the keys count frames without one
    }
    return info;
}

bool HaveVideoTools() {
    return !FindProgram("ffprobe").empty() && !FindProgram("ffmpeg").empty();
}

bool IsVideoFile(const std::string& path) {
    const std::size_t dot = path.find_last_of("./");
    std::string ending = dot != std::string::npos && path[dot] == '.' ? path.substr(dot + 1) : "";
    for (char& c : ending) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    const auto among = [&ending](std::initializer_list<const char*> endings) {
        return std::any_of(endings.begin(), endings.end(), [&](const char* e) { return ending == e; });
    };
    if (among({"png", "tif", "tiff", "exr", "jpg", "jpeg", "bmp",  "tga", "dpx", "hdr",
               "ppm", "pgm", "pnm",  "sgi", "rgb", "psd",  "webp", "jp2", "cin", "ico"})) {
        return false;
    }
    if (!HaveVideoTools()) {
        if (among({"mp4", "mkv", "mov", "avi", "webm", "m4v", "mpg", "mpeg", "ts", "mts", "mxf", "ogv", "flv",
                   "wmv", "gif", "y4m", "nut"})) {
            Refuse(path, "a video needs ffprobe and ffmpeg (Debian's ffmpeg package), which are not on PATH");
        }
        return false;
    }
    std::string text;
    try {
        text = RunForOutput({FindProgram("ffprobe"), "-v", "error", "-select_streams", "v:0", "-show_entries",
                             "stream=codec_type:format=format_name", "-of", "json", "file:" + path},
                            kMaxProbeBytes, "reading " + path);
    } catch (const Error&) {
        return false;   // not a file ffprobe knows: the picture reader says why it cannot read it
    }
    const Json doc = Json::parse(text, nullptr, false);
    if (doc.is_discarded() || !doc.is_object()) {
        return false;
    }
    const auto format = doc.find("format");
    const auto streams = doc.find("streams");
    if (format == doc.end() || !format->is_object() || streams == doc.end() || !streams->is_array() ||
        streams->empty()) {
        return false;
    }
    const auto name = format->find("format_name");
    return name != format->end() && name->is_string() && !IsImageFormat(name->get<std::string>());
}

VideoInfo ProbeVideo(const std::string& path, long long maxPixels) {
    const std::string ffprobe = FindProgram("ffprobe");
    if (ffprobe.empty() || FindProgram("ffmpeg").empty()) {
        Refuse(path, "a video needs ffprobe and ffmpeg (Debian's ffmpeg package), which are not on PATH");
    }
    const std::string text = RunForOutput(
        {ffprobe, "-v", "error", "-select_streams", "v:0", "-count_packets", "-show_entries",
         "stream=codec_type,width,height,r_frame_rate,avg_frame_rate,nb_frames,nb_read_packets,start_time:"
         "format=format_name,start_time",
         "-of", "json", "file:" + path},
        kMaxProbeBytes, "reading " + path);
    return ParseProbe(text, path, maxPixels);
}

std::vector<std::string> DecodeArguments(const std::string& ffmpeg, const std::string& path,
                                         const VideoInfo& info, long first) {
    std::vector<std::string> args{ffmpeg, "-nostdin", "-v", "error"};
    const double num = static_cast<double>(info.rateNum);
    const double den = static_cast<double>(info.rateDen);
    const bool seek = info.constantRate && first > 0;
    if (seek) {
        // Half a frame early: the accurate seek drops every frame before that time, so the first
        // frame kept is `first` however its timestamp was rounded.
        const double at = info.startOffset + ((static_cast<double>(first) - 0.5) * den / num);
        args.insert(args.end(), {"-ss", Decimal(at)});
    }
    args.insert(args.end(), {"-i", "file:" + path, "-map", "0:v:0", "-an", "-sn", "-dn"});
    if (!seek && first > 0) {
        args.insert(args.end(), {"-vf", "select=gte(n\\," + std::to_string(first) + ")"});
    }
    // Passthrough: the raw output has no rate of its own to pad or thin the frames to.
    args.insert(args.end(), {"-fps_mode", "passthrough", "-f", "rawvideo", "-pix_fmt", "rgba", "pipe:1"});
    return args;
}

VideoFrames::VideoFrames(const std::string& path, const VideoInfo& info, long first)
    : m_path(path),
      m_frameBytes(static_cast<std::size_t>(info.width) * static_cast<std::size_t>(info.height) * 4),
      m_next(first) {
    const std::string ffmpeg = FindProgram("ffmpeg");
    if (ffmpeg.empty()) {
        Refuse(path, "a video needs ffmpeg (Debian's ffmpeg package), which is not on PATH");
    }
    m_child = std::make_unique<ChildProcess>(DecodeArguments(ffmpeg, path, info, first));
}

bool VideoFrames::Next(std::vector<uint8_t>& rgba) {
    rgba.resize(m_frameBytes);
    const std::size_t got = m_child->Read(rgba.data(), m_frameBytes);
    if (got == m_frameBytes) {
        ++m_next;
        return true;
    }
    const int status = m_child->Wait();
    if (status != 0) {
        const std::string line = m_child->LastErrorLine();
        Refuse(m_path,
               "ffmpeg failed at frame " + std::to_string(m_next) + (line.empty() ? "" : ": " + line));
    }
    if (got != 0) {
        Refuse(m_path, "frame " + std::to_string(m_next) + " is cut short: ffmpeg gave " +
                           std::to_string(got) + " of " + std::to_string(m_frameBytes) + " bytes");
    }
    return false;
}

}   // namespace corvelle::serve
