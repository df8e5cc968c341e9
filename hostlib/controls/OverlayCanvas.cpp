// Cairo drawing of one window: the rendered layer placed in it and strokes over it.
#include "controls/OverlayCanvas.h"

#include <corvelle/files.h>
#include "core/HostError.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <sstream>

namespace corvelle {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kWindowGrey = 0.2;

struct Straight8 {
    uint32_t alpha, red, green, blue;
};

uint32_t From16(uint16_t v) {
    // The compositor's 16-bit white is 32768; anything above it counts as white.
    const uint32_t clamped = std::min<uint32_t>(v, 32768u);
    return ((clamped * 255u) + 16384u) / 32768u;
}

uint32_t FromFloat(float v) {
    // NaN and values below 0 give 0, values above 1 give 255.
    if (!(v > 0.0f)) {
        return 0;
    }
    if (v >= 1.0f) {
        return 255;
    }
    return static_cast<uint32_t>((static_cast<double>(v) * 255.0) + 0.5);
}

Straight8 ReadPixel(const World& world, A_long x, A_long y) {
    const uint8_t* p = world.PixelAt(x, y);
    switch (world.Layout()) {
    case PixelLayout::Argb8: return {p[0], p[1], p[2], p[3]};
    case PixelLayout::Bgra8: return {p[3], p[2], p[1], p[0]};
    case PixelLayout::Argb16: {
        uint16_t c[4];
        std::memcpy(c, p, sizeof c);
        return {From16(c[0]), From16(c[1]), From16(c[2]), From16(c[3])};
    }
    case PixelLayout::BgraFloat: {
        float c[4];
        std::memcpy(c, p, sizeof c);
        return {FromFloat(c[3]), FromFloat(c[2]), FromFloat(c[1]), FromFloat(c[0])};
    }
    }
    return {0, 0, 0, 0};
}

// ARGB32 holds premultiplied colour: each channel × alpha / 255, rounded to nearest
// (not the ÷256 shift, which darkens opaque white to 254).
uint32_t Premultiply(uint32_t c, uint32_t alpha) {
    return ((c * alpha) + 127u) / 255u;
}

cairo_status_t AppendBytes(void* closure, const unsigned char* data, unsigned int length) {
    auto* bytes = static_cast<std::vector<unsigned char>*>(closure);
    bytes->insert(bytes->end(), data, data + length);
    return CAIRO_STATUS_SUCCESS;
}

}   // namespace

void CanvasPath::MoveTo(double x, double y) {
    m_ops.push_back({OpKind::Move, x, y, 0.0, 0.0, 0.0});
}

void CanvasPath::LineTo(double x, double y) {
    m_ops.push_back({OpKind::Line, x, y, 0.0, 0.0, 0.0});
}

void CanvasPath::AddArc(double cx, double cy, double radius, double startDegrees, double sweepDegrees) {
    m_ops.push_back({OpKind::Arc, cx, cy, radius, startDegrees, sweepDegrees});
}

void CanvasPath::Close() {
    m_ops.push_back({OpKind::Close, 0.0, 0.0, 0.0, 0.0, 0.0});
}

void CanvasPath::AppendTo(cairo_t* cr) const {
    for (const Op& op : m_ops) {
        switch (op.kind) {
        case OpKind::Move: cairo_move_to(cr, op.x, op.y); break;
        case OpKind::Line: cairo_line_to(cr, op.x, op.y); break;
        case OpKind::Arc: {
            // Cairo's angles are radians and, with y down, grow clockwise like the host's.
            const bool whole = std::fabs(op.sweep) >= 360.0;
            const double sweep = std::clamp(op.sweep, -360.0, 360.0);
            const double a1 = op.start * (kPi / 180.0);
            const double a2 = (op.start + sweep) * (kPi / 180.0);
            if (sweep >= 0.0) {
                cairo_arc(cr, op.x, op.y, op.radius, a1, a2);
            } else {
                cairo_arc_negative(cr, op.x, op.y, op.radius, a1, a2);
            }
            if (whole) {
                cairo_close_path(cr);
            }
            break;
        }
        case OpKind::Close: cairo_close_path(cr); break;
        }
    }
}

OverlayCanvas::OverlayCanvas(int width, int height)
    : m_width(width),
      m_height(height),
      m_surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height)) {
    if (cairo_surface_status(m_surface.get()) != CAIRO_STATUS_SUCCESS) {
        throw HostError("overlay canvas: " +
                        std::string(cairo_status_to_string(cairo_surface_status(m_surface.get()))));
    }
    m_cr.reset(cairo_create(m_surface.get()));
    cairo_set_source_rgb(m_cr.get(), kWindowGrey, kWindowGrey, kWindowGrey);
    cairo_paint(m_cr.get());
    if (cairo_status(m_cr.get()) != CAIRO_STATUS_SUCCESS) {
        throw HostError("overlay canvas: " + std::string(cairo_status_to_string(cairo_status(m_cr.get()))));
    }
}

OverlayCanvas::OverlayCanvas(cairo_t* context) : m_width(0), m_height(0) {
    if (!context || cairo_status(context) != CAIRO_STATUS_SUCCESS) {
        throw HostError("overlay canvas: the Cairo context is missing or in an error state",
                        ErrorKind::BadValue);
    }
    m_cr.reset(cairo_reference(context));
}

void OverlayCanvas::RequireSurface(const char* what) const {
    if (!m_surface) {
        throw HostError(std::string(what) + ": the canvas draws on a caller's context");
    }
}

void OverlayCanvas::CopyStraightRgba(uint8_t* rgba, std::ptrdiff_t rowBytes) {
    RequireSurface("copying the window");
    cairo_surface_flush(m_surface.get());
    const unsigned char* data = cairo_image_surface_get_data(m_surface.get());
    const int stride = cairo_image_surface_get_stride(m_surface.get());
    for (int y = 0; y < m_height; ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride);
        uint8_t* out = rgba + static_cast<std::ptrdiff_t>(y) * rowBytes;
        for (int x = 0; x < m_width; ++x) {
            const uint32_t p = row[x];
            const uint32_t a = p >> 24;
            const auto unpremultiply = [a](uint32_t c) {
                return a == 0 ? 0u : std::min(255u, ((c * 255u) + (a / 2u)) / a);
            };
            out[(4 * x) + 0] = static_cast<uint8_t>(unpremultiply((p >> 16) & 0xffu));
            out[(4 * x) + 1] = static_cast<uint8_t>(unpremultiply((p >> 8) & 0xffu));
            out[(4 * x) + 2] = static_cast<uint8_t>(unpremultiply(p & 0xffu));
            out[(4 * x) + 3] = static_cast<uint8_t>(a);
        }
    }
}

void OverlayCanvas::PaintLayer(const World& picture, double left, double top, double scaleX, double scaleY) {
    // A singular or non-finite matrix would leave the context in an error state for good, and
    // every later stroke on it would draw nothing; so it never reaches Cairo. The product is
    // checked too: Cairo refuses a matrix whose determinant underflows to zero.
    const bool scaleOk = scaleX > 0.0 && scaleY > 0.0 && std::isnormal(scaleX) && std::isnormal(scaleY) &&
                         std::isnormal(scaleX * scaleY);
    if (!scaleOk || !std::isfinite(left) || !std::isfinite(top)) {
        std::ostringstream why;
        why << "overlay layer: cannot place it at (" << left << ", " << top << ") scaled " << scaleX << " x "
            << scaleY << "; the position must be finite and the scales positive normal numbers";
        throw HostError(why.str());
    }
    std::unique_ptr<cairo_surface_t, SurfaceDeleter> layer(
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, picture.Width(), picture.Height()));
    if (cairo_surface_status(layer.get()) != CAIRO_STATUS_SUCCESS) {
        throw HostError("overlay layer: " +
                        std::string(cairo_status_to_string(cairo_surface_status(layer.get()))));
    }
    cairo_surface_flush(layer.get());
    unsigned char* data = cairo_image_surface_get_data(layer.get());
    const int stride = cairo_image_surface_get_stride(layer.get());
    for (A_long y = 0; y < picture.Height(); ++y) {
        auto* row = reinterpret_cast<uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride);
        for (A_long x = 0; x < picture.Width(); ++x) {
            const Straight8 p = ReadPixel(picture, x, y);
            row[x] = (p.alpha << 24) | (Premultiply(p.red, p.alpha) << 16) |
                     (Premultiply(p.green, p.alpha) << 8) | Premultiply(p.blue, p.alpha);
        }
    }
    cairo_surface_mark_dirty(layer.get());
    // Ours until the function ends; the context takes its own reference while it paints.
    std::unique_ptr<cairo_pattern_t, PatternDeleter> pattern(cairo_pattern_create_for_surface(layer.get()));
    // Zoomed in, a person wants to see the layer's own pixels, not a blur of them.
    const bool enlarged = scaleX >= 1.0 && scaleY >= 1.0;
    cairo_pattern_set_filter(pattern.get(), enlarged ? CAIRO_FILTER_NEAREST : CAIRO_FILTER_GOOD);

    cairo_t* cr = m_cr.get();
    cairo_save(cr);
    cairo_translate(cr, left, top);
    cairo_scale(cr, scaleX, scaleY);
    cairo_set_source(cr, pattern.get());
    cairo_paint(cr);
    // Gives back the context's references to the pattern and the layer.
    cairo_restore(cr);
    if (cairo_status(cr) != CAIRO_STATUS_SUCCESS) {
        throw HostError("overlay layer: " + std::string(cairo_status_to_string(cairo_status(cr))));
    }
}

bool OverlayCanvas::Stroke(const CanvasPath& path, CanvasColor color, double width, double shiftX,
                           double shiftY) {
    cairo_t* cr = m_cr.get();
    cairo_save(cr);
    cairo_new_path(cr);
    cairo_translate(cr, shiftX + 0.5, shiftY + 0.5);
    path.AppendTo(cr);
    cairo_set_source_rgba(cr, color.red, color.green, color.blue, color.alpha);
    cairo_set_line_width(cr, width);
    cairo_stroke(cr);
    cairo_restore(cr);
    return cairo_status(cr) == CAIRO_STATUS_SUCCESS;
}

uint32_t OverlayCanvas::PixelAt(int x, int y) {
    RequireSurface("reading a window pixel");
    if (x < 0 || y < 0 || x >= m_width || y >= m_height) {
        throw HostError("overlay pixel (" + std::to_string(x) + ", " + std::to_string(y) +
                        "): outside the window");
    }
    cairo_surface_flush(m_surface.get());
    const unsigned char* data = cairo_image_surface_get_data(m_surface.get());
    const int stride = cairo_image_surface_get_stride(m_surface.get());
    uint32_t pixel = 0;
    std::memcpy(&pixel, data + static_cast<std::ptrdiff_t>(y) * stride + static_cast<std::ptrdiff_t>(x) * 4,
                sizeof pixel);
    return pixel;
}

void OverlayCanvas::WritePng(const std::string& path) {
    RequireSurface("writing the window");
    cairo_surface_flush(m_surface.get());
    std::vector<unsigned char> bytes;
    const cairo_status_t status = cairo_surface_write_to_png_stream(m_surface.get(), AppendBytes, &bytes);
    if (status != CAIRO_STATUS_SUCCESS) {
        throw HostError("writing " + path + ": " + cairo_status_to_string(status));
    }
    WriteFileAtomically(path, bytes);
}

}   // namespace corvelle
