// Reads and writes image files through OpenImageIO, converting each channel once.
#include "pictures/ImageFiles.h"

#include "io/AtomicFile.h"
#include "core/HostError.h"
#include "io/PixelConversion.h"

#include <OpenImageIO/imageio.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

namespace corvelle {
namespace {

// The point parameter cannot address a layer pixel beyond 16.16's range.
constexpr int kMaxSide = 32767;

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

template <class T, class W>
void FileToWorld(const std::vector<T>& samples, const FileChannels& fc, World& world) {
    const ChannelOrder wc = ChannelsOf(world.Layout());
    const std::size_t stride = static_cast<std::size_t>(fc.count);
    for (A_long y = 0; y < world.Height(); ++y) {
        const T* src =
            samples.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(world.Width()) * stride;
        W* dst = reinterpret_cast<W*>(world.Row(y));
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

template <class T>
void ReadSamples(OIIO::ImageInput& in, const std::string& path, OIIO::TypeDesc type, World& world) {
    const OIIO::ImageSpec& spec = in.spec();
    std::vector<T> samples(static_cast<std::size_t>(spec.width) * static_cast<std::size_t>(spec.height) *
                           static_cast<std::size_t>(spec.nchannels));
    if (!in.read_image(0, 0, 0, spec.nchannels, type, samples.data())) {
        throw HostError("reading " + path + ": " + in.geterror());
    }
    const FileChannels fc = ChannelsOfFile(spec);
    switch (world.Layout()) {
    case PixelLayout::Argb8:
    case PixelLayout::Bgra8: FileToWorld<T, uint8_t>(samples, fc, world); break;
    case PixelLayout::Argb16: FileToWorld<T, uint16_t>(samples, fc, world); break;
    case PixelLayout::BgraFloat: FileToWorld<T, float>(samples, fc, world); break;
    }
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
    AtomicFile file(path);
    std::unique_ptr<OIIO::ImageOutput> out = OIIO::ImageOutput::create(file.TempPath());
    if (!out)
        throw HostError("writing " + path + ": " + OIIO::geterror());
    OIIO::ImageSpec spec(world.Width(), world.Height(), 4, type);
    spec.channelnames = {"R", "G", "B", "A"};
    spec.alpha_channel = 3;
    spec.attribute("oiio:UnassociatedAlpha", 1);
    if (!out->open(file.TempPath(), spec) || !out->write_image(type, samples.data()) || !out->close()) {
        throw HostError("writing " + path + ": " + out->geterror());
    }
    file.Commit();
}

}   // namespace

World ReadImage(const std::string& path, PixelLayout layout) {
    OIIO::ImageSpec config;
    config.attribute("oiio:UnassociatedAlpha", 1);
    std::unique_ptr<OIIO::ImageInput> in = OIIO::ImageInput::open(path, &config);
    if (!in) {
        std::string why = OIIO::geterror();
        throw HostError("reading " + path + ": " +
                        (why.empty() ? "not an image file OpenImageIO can read" : why));
    }
    const OIIO::ImageSpec& spec = in->spec();
    if (spec.width < 1 || spec.height < 1 || spec.depth != 1 || spec.nchannels < 1) {
        throw HostError("reading " + path + ": not a flat picture with at least one channel");
    }
    if (spec.width > kMaxSide || spec.height > kMaxSide) {
        throw HostError("reading " + path + ": " + std::to_string(spec.width) + "x" +
                        std::to_string(spec.height) + " is larger than the " + std::to_string(kMaxSide) +
                        " pixels a layer side may have");
    }
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
    return world;
}

void CheckImageOutputPath(const std::string& path) {
    if (KindOf(path) == FileKind::Other) {
        throw HostError("writing " + path + ": unsupported output format (use .png, .tif, .tiff or .exr)");
    }
}

void WriteImage(const std::string& path, const World& world) {
    CheckImageOutputPath(path);
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

}   // namespace corvelle
