// Reads and writes image files through OpenImageIO, converting each channel once.
#include "pictures/ImageFiles.h"

#include <corvelle/files.h>
#include "core/HostError.h"
#include "io/PixelConversion.h"
#include "pictures/StderrCapture.h"

#include <OpenImageIO/filesystem.h>
#include <OpenImageIO/imageio.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvelle {
namespace {

// The point parameter cannot address a layer pixel beyond 16.16's range.
constexpr int kMaxSide = 32767;
constexpr long long kMaxPixelLimit = static_cast<long long>(kMaxSide) * kMaxSide;
// Deflate packs at most about 1032 bytes into one, LZW about 2700 at its 12-bit codes.
constexpr double kMaxPackingRatio = 4096.0;

enum class FileKind { Png, Tiff, Exr, Other };

FileKind KindOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return FileKind::Other;
    std::string ext = path.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (ext == "png")
        return FileKind::Png;
    if (ext == "tif" || ext == "tiff")
        return FileKind::Tiff;
    if (ext == "exr")
        return FileKind::Exr;
    return FileKind::Other;
}

// File sample → world channel, one overload per pair; the rules are PixelConversion's.
void ToWorld(uint8_t b, uint8_t& out) {
    out = b;
}
void ToWorld(uint16_t p, uint8_t& out) {
    out = Short2Byte(p);
}
void ToWorld(float v, uint8_t& out) {
    out = Float2Byte(v);
}
void ToWorld(uint8_t b, uint16_t& out) {
    out = Byte2Deep(b);
}
void ToWorld(uint16_t p, uint16_t& out) {
    out = Short2Deep(p);
}
void ToWorld(float v, uint16_t& out) {
    out = Float2Deep(v);
}
void ToWorld(uint8_t b, float& out) {
    out = Byte2Float(b);
}
void ToWorld(uint16_t p, float& out) {
    out = Short2Float(p);
}
void ToWorld(float v, float& out) {
    out = v;
}

// World channel → file sample.
void ToFile(uint8_t b, uint8_t& out) {
    out = b;
}
void ToFile(uint8_t b, float& out) {
    out = Byte2Float(b);
}
void ToFile(uint16_t a, uint16_t& out) {
    out = Deep2Short(a);
}
void ToFile(uint16_t a, float& out) {
    out = Deep2Float(a);
}
void ToFile(float v, float& out) {
    out = v;
}
void ToFile(float v, uint16_t& out) {
    out = Float2Short(v);
}

template <class W>
W FullAlpha();
template <>
uint8_t FullAlpha<uint8_t>() {
    return 255;
}
template <>
uint16_t FullAlpha<uint16_t>() {
    return kDeepFull;
}
template <>
float FullAlpha<float>() {
    return 1.0f;
}

/// Where colour and alpha sit among a file's channels; alpha < 0 when it has none.
struct FileChannels {
    int count, red, green, blue, alpha;
};

FileChannels ChannelsOfFile(const OIIO::ImageSpec& spec) {
    FileChannels c{spec.nchannels, 0, 0, 0, -1};
    if (spec.alpha_channel >= 0 && spec.alpha_channel < spec.nchannels) {
        c.alpha = spec.alpha_channel;
    } else if (spec.nchannels == 2 || spec.nchannels == 4) {
        c.alpha = spec.nchannels - 1;
    }
    if (spec.nchannels >= 3) {
        c.green = 1;
        c.blue = 2;
    }
    return c;
}

/// Converts `rows` rows of file samples into the world from row `top` on.
template <class T, class W>
void FileToWorld(const T* samples, const FileChannels& fc, World& world, A_long top, A_long rows) {
    const ChannelOrder wc = ChannelsOf(world.Layout());
    const std::size_t stride = static_cast<std::size_t>(fc.count);
    for (A_long y = 0; y < rows; ++y) {
        const T* src =
            samples + static_cast<std::size_t>(y) * static_cast<std::size_t>(world.Width()) * stride;
        W* dst = reinterpret_cast<W*>(world.Row(top + y));
        for (A_long x = 0; x < world.Width(); ++x, src += stride, dst += 4) {
            ToWorld(src[fc.red], dst[wc.red]);
            ToWorld(src[fc.green], dst[wc.green]);
            ToWorld(src[fc.blue], dst[wc.blue]);
            if (fc.alpha >= 0) {
                ToWorld(src[fc.alpha], dst[wc.alpha]);
            } else {
                dst[wc.alpha] = FullAlpha<W>();
            }
        }
    }
}

/// What a line says without a library's own prefix ("libpng error: ...").
std::string Saying(const std::string& line) {
    const std::size_t colon = line.find(": ");
    return line.rfind("lib", 0) == 0 && colon != std::string::npos ? line.substr(colon + 2) : line;
}

/// The first lines an image library gave (its error text, what it printed), trimmed, without
/// repeats or what `already` says, on one short line: a decoder may repeat itself per row.
std::string OneLine(const std::string& text, const std::string& already = {}) {
    constexpr std::size_t kMaxLines = 2;
    constexpr std::size_t kMaxLength = 300;
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size() && lines.size() < kMaxLines) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        const std::size_t first = line.find_first_not_of(" \t");
        const std::size_t last = line.find_last_not_of(" \t");
        line = first == std::string::npos ? std::string() : line.substr(first, last - first + 1);
        const std::string said = Saying(line);
        bool repeated = said.empty() || already.find(said) != std::string::npos;
        for (const std::string& kept : lines)
            repeated = repeated || kept.find(said) != std::string::npos;
        if (!repeated)
            lines.push_back(line);
        start = end + 1;
    }
    std::string joined;
    for (const std::string& line : lines)
        joined += (joined.empty() ? "" : "; ") + line;
    if (joined.size() > kMaxLength)
        joined = joined.substr(0, kMaxLength) + "...";
    return joined;
}

[[noreturn]] void Unreadable(const std::string& path, const std::string& why) {
    const std::string line = OneLine(why);
    throw HostError("reading " + path + ": " + (line.empty() ? "the image library gave no reason" : line),
                    ErrorKind::IO);
}

/// Decodes a band of rows at a time, so the file's samples never need a picture-sized buffer and
/// a file whose data ends early fails before the rows it lacks are touched.
template <class T>
void ReadSamples(OIIO::ImageInput& in, const std::string& path, OIIO::TypeDesc type, World& world) {
    const OIIO::ImageSpec& spec = in.spec();
    const std::size_t rowSamples =
        static_cast<std::size_t>(spec.width) * static_cast<std::size_t>(spec.nchannels);
    const A_long band = static_cast<A_long>(std::max<std::size_t>(
        1, std::min<std::size_t>(64, (std::size_t{4} << 20) / (rowSamples * sizeof(T)))));
    std::vector<T> samples(rowSamples * static_cast<std::size_t>(band));
    const FileChannels fc = ChannelsOfFile(spec);
    for (A_long top = 0; top < world.Height(); top += band) {
        const A_long rows = std::min<A_long>(band, world.Height() - top);
        if (!in.read_scanlines(0, 0, spec.y + top, spec.y + top + rows, spec.z, 0, spec.nchannels, type,
                               samples.data())) {
            Unreadable(path, in.geterror());
        }
        switch (world.Layout()) {
        case PixelLayout::Argb8:
        case PixelLayout::Bgra8: FileToWorld<T, uint8_t>(samples.data(), fc, world, top, rows); break;
        case PixelLayout::Argb16: FileToWorld<T, uint16_t>(samples.data(), fc, world, top, rows); break;
        case PixelLayout::BgraFloat: FileToWorld<T, float>(samples.data(), fc, world, top, rows); break;
        }
    }
}

/// A regular file open for reading, its size as opened.
struct InputFile {
    struct Close {
        void operator()(FILE* stream) const { std::fclose(stream); }
    };
    std::unique_ptr<FILE, Close> file;
    std::size_t size = 0;
};

/// Whether the file starts as a picture of a format the image library reads. Checked before the
/// library sees the file: offered junk, it tries every reader it has, and some read on to the
/// file's end.
bool StartsLikeAPicture(int fd) {
    static const std::string kSignatures[] = {std::string("\x89PNG\r\n\x1a\n", 8),
                                              std::string("II*\0", 4),
                                              std::string("MM\0*", 4),
                                              std::string("II+\0", 4),
                                              std::string("MM\0+", 4),
                                              std::string("\x76\x2f\x31\x01", 4),
                                              std::string("\xff\xd8\xff", 3)};
    char first[8] = {};
    ssize_t got = -1;
    do {
        got = pread(fd, first, sizeof first, 0);
    } while (got < 0 && errno == EINTR);
    const std::string start(first, got > 0 ? static_cast<std::size_t>(got) : 0);
    for (const std::string& signature : kSignatures) {
        if (start.compare(0, signature.size(), signature) == 0)
            return true;
    }
    return false;
}

/// Opens a regular file; anything else (a FIFO, a device such as /dev/zero, a folder) is refused
/// before a byte is read, so an endless input cannot hang the run. The decoder reads from it as
/// it needs: a file that is not a picture costs the few bytes that tell so, never its size.
InputFile OpenRegularFile(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        Unreadable(path, std::strerror(errno));
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        const int error = errno;
        close(fd);
        Unreadable(path, S_ISDIR(info.st_mode)   ? "is a folder"
                         : S_ISREG(info.st_mode) ? std::strerror(error)
                                                 : "not a regular file");
    }
    InputFile input;
    input.file.reset(fdopen(fd, "rb"));
    if (!input.file) {
        const int error = errno;
        close(fd);
        Unreadable(path, std::strerror(error));
    }
    input.size = static_cast<std::size_t>(info.st_size);
    if (KindOf(path) != FileKind::Other && !StartsLikeAPicture(fd))
        Unreadable(path, "not a picture file: it starts with no PNG, TIFF, OpenEXR or JPEG signature");
    return input;
}

std::string Size(long long width, long long height) {
    return std::to_string(width) + "x" + std::to_string(height);
}

template <class W, class T>
std::vector<T> WorldToFile(const World& world) {
    const ChannelOrder wc = ChannelsOf(world.Layout());
    std::vector<T> samples(static_cast<std::size_t>(world.Width()) *
                           static_cast<std::size_t>(world.Height()) * 4);
    T* dst = samples.data();
    for (A_long y = 0; y < world.Height(); ++y) {
        const W* src = reinterpret_cast<const W*>(world.Row(y));
        for (A_long x = 0; x < world.Width(); ++x, src += 4, dst += 4) {
            ToFile(src[wc.red], dst[0]);
            ToFile(src[wc.green], dst[1]);
            ToFile(src[wc.blue], dst[2]);
            ToFile(src[wc.alpha], dst[3]);
        }
    }
    return samples;
}

template <class T>
void WriteSamples(const std::string& path, const World& world, const std::vector<T>& samples,
                  OIIO::TypeDesc type) {
    // Encoded in memory, so every byte reaches the disk through the checked writer.
    std::vector<unsigned char> encoded;
    OIIO::Filesystem::IOVecOutput proxy(encoded);
    // By format name, since the output's own name may be nothing but its ending (".png").
    static const char* const kFormats[] = {"png", "tiff", "openexr"};
    const char* format = kFormats[static_cast<int>(KindOf(path))];
    std::unique_ptr<OIIO::ImageOutput> out = OIIO::ImageOutput::create(format, &proxy);
    if (!out)
        throw HostError("writing " + path + ": " + OneLine(OIIO::geterror()), ErrorKind::IO);
    OIIO::ImageSpec spec(world.Width(), world.Height(), 4, type);
    spec.channelnames = {"R", "G", "B", "A"};
    spec.alpha_channel = 3;
    spec.attribute("oiio:UnassociatedAlpha", 1);
    if (!out->open(format, spec) || !out->write_image(type, samples.data()) || !out->close()) {
        throw HostError("writing " + path + ": " + OneLine(out->geterror()), ErrorKind::IO);
    }
    WriteFileAtomically(path, encoded);
}

/// Converts the world to the file's samples and writes them.
void WriteConverted(const std::string& path, const World& world) {
    const FileKind kind = KindOf(path);
    switch (world.Layout()) {
    case PixelLayout::Argb8:
    case PixelLayout::Bgra8:
        if (kind == FileKind::Exr) {
            WriteSamples(path, world, WorldToFile<uint8_t, float>(world), OIIO::TypeDesc::FLOAT);
        } else {
            WriteSamples(path, world, WorldToFile<uint8_t, uint8_t>(world), OIIO::TypeDesc::UINT8);
        }
        break;
    case PixelLayout::Argb16:
        if (kind == FileKind::Exr) {
            WriteSamples(path, world, WorldToFile<uint16_t, float>(world), OIIO::TypeDesc::FLOAT);
        } else {
            WriteSamples(path, world, WorldToFile<uint16_t, uint16_t>(world), OIIO::TypeDesc::UINT16);
        }
        break;
    case PixelLayout::BgraFloat:
        if (kind == FileKind::Png) {
            WriteSamples(path, world, WorldToFile<float, uint16_t>(world), OIIO::TypeDesc::UINT16);
        } else {
            WriteSamples(path, world, WorldToFile<float, float>(world), OIIO::TypeDesc::FLOAT);
        }
        break;
    }
}

World DecodeImage(const std::string& path, const InputFile& file, PixelLayout layout, long long maxPixels) {
    OIIO::Filesystem::IOFile proxy(file.file.get(), OIIO::Filesystem::IOProxy::Read);
    const std::size_t fileBytes = file.size;
    OIIO::ImageSpec config;
    config.attribute("oiio:UnassociatedAlpha", 1);
    std::unique_ptr<OIIO::ImageInput> in = OIIO::ImageInput::open(path, &config, &proxy);
    if (!in) {
        std::string why = OIIO::geterror();
        Unreadable(path, why.empty() ? "not an image file OpenImageIO can read" : why);
    }
    const OIIO::ImageSpec& spec = in->spec();
    if (spec.width < 1 || spec.height < 1 || spec.depth != 1 || spec.nchannels < 1) {
        Unreadable(path, "not a flat picture with at least one channel");
    }
    if (spec.width > kMaxSide || spec.height > kMaxSide) {
        Unreadable(path, Size(spec.width, spec.height) + " is larger than the " + std::to_string(kMaxSide) +
                             " pixels a layer side may have");
    }
    const long long pixels = static_cast<long long>(spec.width) * spec.height;
    if (pixels > std::min(maxPixels, kMaxPixelLimit)) {
        Unreadable(path, Size(spec.width, spec.height) + " is " + std::to_string(pixels) +
                             " pixels, more than the limit of " + std::to_string(maxPixels) +
                             " (--max-pixels)");
    }
    // No coding the readers know packs more than this into a byte, so a header claiming more
    // describes data the file does not hold; refused before its picture is allocated.
    const double declared = static_cast<double>(pixels) * spec.nchannels * spec.format.size();
    if (declared > static_cast<double>(fileBytes) * kMaxPackingRatio + 65536.0) {
        Unreadable(path, "its header declares a " + Size(spec.width, spec.height) + " picture that its " +
                             std::to_string(fileBytes) + " bytes cannot hold");
    }
    // Stored without compression, the samples must all be there: a file cut short is refused
    // before its reader allocates buffers for the data it claims.
    if (spec.get_string_attribute("compression") == "none" && declared > static_cast<double>(fileBytes)) {
        Unreadable(path,
                   "its header declares a " + Size(spec.width, spec.height) +
                       " picture without compression, but the file ends " +
                       std::to_string(static_cast<long long>(declared) - static_cast<long long>(fileBytes)) +
                       " bytes early");
    }
    try {
        World world(layout, spec.width, spec.height);
        const bool uniform = spec.channelformats.empty();
        if (uniform && spec.format == OIIO::TypeDesc::UINT8) {
            ReadSamples<uint8_t>(*in, path, OIIO::TypeDesc::UINT8, world);
        } else if (uniform && spec.format == OIIO::TypeDesc::UINT16) {
            ReadSamples<uint16_t>(*in, path, OIIO::TypeDesc::UINT16, world);
        } else {
            // Half, float and anything else come as float, the only type that holds them all.
            ReadSamples<float>(*in, path, OIIO::TypeDesc::FLOAT, world);
        }
        if (in->has_error())
            Unreadable(path, in->geterror());
        return world;
    } catch (const std::bad_alloc&) {
        throw PictureOutOfMemory("reading " + path, spec.width, spec.height, BytesPerPixel(layout));
    }
}

}   // namespace

World ReadImage(const std::string& path, PixelLayout layout, long long maxPixels) {
    const InputFile file = OpenRegularFile(path);
    StderrCapture capture;
    try {
        World world = DecodeImage(path, file, layout, maxPixels);
        const std::string printed = OneLine(capture.Finish());
        if (!printed.empty())
            std::cerr << "corvelle: warning: reading " << path << ": " << printed << "\n";
        return world;
    } catch (const HostError& e) {
        const std::string printed = OneLine(capture.Finish(), e.what());
        if (printed.empty())
            throw;
        throw HostError(std::string(e.what()) + "; " + printed, e.Kind());
    }
}

void CheckImageOutputPath(const std::string& path) {
    if (KindOf(path) == FileKind::Other) {
        throw HostError("writing " + path + ": unsupported output format (use .png, .tif, .tiff or .exr)",
                        ErrorKind::BadValue);
    }
}

void WriteImage(const std::string& path, const World& world) {
    CheckImageOutputPath(path);
    try {
        WriteConverted(path, world);
    } catch (const std::bad_alloc&) {
        throw PictureOutOfMemory("writing " + path, world.Width(), world.Height(),
                                 BytesPerPixel(world.Layout()));
    }
}

}   // namespace corvelle
