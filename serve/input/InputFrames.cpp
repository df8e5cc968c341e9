// Reads the preview's input frames through the library's picture and stream readers.
#include "InputFrames.h"

#include <corvelle/convert.h>
#include <corvelle/files.h>
#include <corvelle/streams.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace corvelle::serve {
namespace {

class Fd {
public:
    explicit Fd(const std::string& path) : m_fd(open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
        if (m_fd < 0) {
            throw Error("reading " + path + ": " + std::strerror(errno), ErrorKind::IO);
        }
    }
    ~Fd() { close(m_fd); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int Get() const { return m_fd; }

private:
    int m_fd;
};

}   // namespace

InputFrames::InputFrames(const InputSpec& spec) : m_spec(spec) {
    switch (spec.kind) {
    case InputSpec::Kind::BuiltIn:
        m_width = kTestPictureWidth;
        m_height = kTestPictureHeight;
        m_count = std::clamp(spec.duration, 1L, kMaxDuration);
        break;
    case InputSpec::Kind::Picture: {
        const Picture first = ReadPicture(spec.path, PixelFormat::Argb8);
        m_width = first.width;
        m_height = first.height;
        m_count = std::clamp(spec.duration, 1L, kMaxDuration);
        break;
    }
    case InputSpec::Kind::Video:
        m_video = ProbeVideo(spec.path, spec.maxPixels);
        m_width = m_video.width;
        m_height = m_video.height;
        m_count = m_video.frames;
        break;
    case InputSpec::Kind::Sequence: {
        CheckFramePattern(spec.path);
        if (spec.first < 0 || spec.last < spec.first) {
            throw Error("--frames: expected A-B with 0 <= A <= B", ErrorKind::BadValue);
        }
        const Picture first = ReadPicture(FrameName(spec.path, spec.first), PixelFormat::Argb8);
        m_width = first.width;
        m_height = first.height;
        m_count = spec.last - spec.first + 1;
        break;
    }
    case InputSpec::Kind::Raw: {
        m_width = spec.rawWidth;
        m_height = spec.rawHeight;
        const Fd fd(spec.path);
        struct stat info {};
        if (fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
            throw Error("reading " + spec.path + ": not a regular file (a preview needs to seek)",
                        ErrorKind::IO);
        }
        const std::size_t frame = RawFrameBytes(spec.rawFormat, m_width, m_height);
        m_count = static_cast<long>(static_cast<std::size_t>(info.st_size) / frame);
        if (m_count < 1) {
            throw Error("reading " + spec.path + ": shorter than one " + std::to_string(m_width) + "x" +
                            std::to_string(m_height) + " frame",
                        ErrorKind::IO);
        }
        break;
    }
    }
}

void InputFrames::SetDuration(long frames) {
    if (Still()) {
        m_count = std::clamp(frames, 1L, kMaxDuration);
    }
}

long InputFrames::Number(long index) const {
    return m_spec.kind == InputSpec::Kind::Sequence ? m_spec.first + index : index;
}

Picture InputFrames::Read(long index, PixelFormat format) {
    if (index < 0 || index >= m_count) {
        throw Error(
            "frame " + std::to_string(index) + ": the input has " + std::to_string(m_count) + " frames",
            ErrorKind::BadValue);
    }
    switch (m_spec.kind) {
    case InputSpec::Kind::BuiltIn: {
        Picture picture = MakePicture(format, kTestPictureWidth, kTestPictureHeight);
        DrawTestPicture(picture.View());
        return picture;
    }
    case InputSpec::Kind::Picture: return ReadPicture(m_spec.path, format);
    case InputSpec::Kind::Sequence: {
        const std::string name = FrameName(m_spec.path, Number(index));
        Picture picture = ReadPicture(name, format);
        if (picture.width != m_width || picture.height != m_height) {
            throw Error("reading " + name + ": its size differs from the sequence's first frame",
                        ErrorKind::IO);
        }
        return picture;
    }
    case InputSpec::Kind::Video: {
        if (!m_decoder || m_decoder->Position() != index) {
            m_decoder.reset();
            m_decoder = std::make_unique<VideoFrames>(m_spec.path, m_video, index);
        }
        std::vector<uint8_t> rgba;
        bool got = false;
        try {
            got = m_decoder->Next(rgba);
        } catch (...) {
            m_decoder.reset();   // the next read starts a decoder of its own
            throw;
        }
        if (!got) {
            m_decoder.reset();
            throw Error("reading " + m_spec.path + ": frame " + std::to_string(index) +
                            " is past the end, though ffprobe counted " + std::to_string(m_count) + " frames",
                        ErrorKind::IO);
        }
        Picture picture = MakePicture(format, m_width, m_height);
        io::FromRgba8(rgba.data(), static_cast<std::ptrdiff_t>(m_width) * 4, picture.View());
        return picture;
    }
    case InputSpec::Kind::Raw: {
        if (format != m_spec.rawFormat) {
            throw Error("a raw stream is read in the layout it was given in", ErrorKind::BadValue);
        }
        Picture picture = MakePicture(format, m_width, m_height);
        const Fd fd(m_spec.path);
        const std::size_t bytes = picture.bytes.size();
        std::size_t got = 0;
        const off_t start = static_cast<off_t>(bytes) * index;
        while (got < bytes) {
            const ssize_t n =
                pread(fd.Get(), picture.bytes.data() + got, bytes - got, start + static_cast<off_t>(got));
            if (n <= 0) {
                throw Error("reading " + m_spec.path + ": frame " + std::to_string(index) + " is cut short",
                            ErrorKind::IO);
            }
            got += static_cast<std::size_t>(n);
        }
        return picture;
    }
    }
    throw Error("reading the input: unknown kind", ErrorKind::BadValue);
}

}   // namespace corvelle::serve
