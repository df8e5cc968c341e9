// Builds the test picture in double, rounds it to float once, then stores it in the world.
#include <corvelle/streams.h>

#include "io/PixelConversion.h"

#include <cmath>
#include <cstring>

namespace corvelle {
namespace {

struct Rgba {
    double red, green, blue, alpha;
};

/// Hue in degrees, saturation and brightness in 0..1, by the usual six-sector rule.
Rgba FromHsb(double hue, double saturation, double brightness) {
    const double h6 = hue / 60.0;
    const double sector = std::floor(h6);
    const double f = h6 - sector;
    const double p = brightness * (1.0 - saturation);
    const double q = brightness * (1.0 - (saturation * f));
    const double t = brightness * (1.0 - (saturation * (1.0 - f)));
    switch (static_cast<int>(sector) % 6) {
    case 0: return Rgba{brightness, t, p, 1.0};
    case 1: return Rgba{q, brightness, p, 1.0};
    case 2: return Rgba{p, brightness, t, 1.0};
    case 3: return Rgba{p, q, brightness, 1.0};
    case 4: return Rgba{t, p, brightness, 1.0};
    default: return Rgba{brightness, p, q, 1.0};
    }
}

Rgba PictureAt(double fx, double fy) {
    const double hue = fx * 360.0;
    if (fy < 0.5)
        return FromHsb(hue, 1.0, 1.0 - (0.8 * (fy / 0.5)));
    if (fy < 0.75)
        return FromHsb(hue, 1.0 - ((fy - 0.5) / 0.25), 1.0);
    if (fy < 0.875)
        return Rgba{fx, fx, fx, 1.0};
    Rgba c = FromHsb(hue, 1.0, 1.0);
    c.alpha = fx;
    return c;
}

void Store(float v, uint8_t* channel, PixelLayout layout) {
    switch (layout) {
    case PixelLayout::Argb8:
    case PixelLayout::Bgra8: *channel = Float2Byte(v); break;
    case PixelLayout::Argb16: {
        const uint16_t deep = Float2Deep(v);
        std::memcpy(channel, &deep, sizeof deep);
        break;
    }
    case PixelLayout::BgraFloat: std::memcpy(channel, &v, sizeof v); break;
    }
}

}   // namespace

void DrawTestPicture(const ImageView& out) {
    const PixelLayout layout = out.format;
    const int width = out.width;
    const int height = out.height;
    const ChannelOrder order = ChannelsOf(layout);
    const std::size_t channelBytes = BytesPerPixel(layout) / 4;
    for (int y = 0; y < height; ++y) {
        const double fy = (static_cast<double>(y) + 0.5) / static_cast<double>(height);
        uint8_t* row = static_cast<uint8_t*>(out.data) + (static_cast<std::ptrdiff_t>(y) * out.rowBytes);
        for (int x = 0; x < width; ++x) {
            const double fx = (static_cast<double>(x) + 0.5) / static_cast<double>(width);
            const Rgba c = PictureAt(fx, fy);
            uint8_t* pixel = row + (static_cast<std::size_t>(x) * BytesPerPixel(layout));
            Store(static_cast<float>(c.red), pixel + (static_cast<std::size_t>(order.red) * channelBytes),
                  layout);
            Store(static_cast<float>(c.green), pixel + (static_cast<std::size_t>(order.green) * channelBytes),
                  layout);
            Store(static_cast<float>(c.blue), pixel + (static_cast<std::size_t>(order.blue) * channelBytes),
                  layout);
            Store(static_cast<float>(c.alpha), pixel + (static_cast<std::size_t>(order.alpha) * channelBytes),
                  layout);
        }
    }
}

Picture MakeTestPicture(PixelFormat format, int width, int height) {
    Picture picture = MakePicture(format, width, height);
    DrawTestPicture(picture.View());
    return picture;
}

}   // namespace corvelle
