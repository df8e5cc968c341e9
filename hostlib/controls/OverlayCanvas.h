// The picture of one window at window resolution, drawn with Cairo and written as PNG.
#pragma once

#include "core/World.h"

#include <cairo.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace corvelle {

/// Straight (not premultiplied) colour, each channel 0 to 1.
struct CanvasColor {
    double red = 0.0;
    double green = 0.0;
    double blue = 0.0;
    double alpha = 1.0;
};

/// A figure in window coordinates, kept as the module built it so it can be stroked more than
/// once (the theme's drop shadow strokes it twice).
class CanvasPath {
public:
    void MoveTo(double x, double y);
    void LineTo(double x, double y);
    /// Angles in degrees, 0 along +x, growing clockwise on screen (y points down); a sweep of
    /// 360 or more (either way) is a whole, closed circle.
    void AddArc(double cx, double cy, double radius, double startDegrees, double sweepDegrees);
    void Close();
    std::size_t Size() const { return m_ops.size(); }
    /// Appends the figure to `cr`'s current path.
    void AppendTo(cairo_t* cr) const;

private:
    enum class OpKind { Move, Line, Arc, Close };
    struct Op {
        OpKind kind;
        double x, y, radius, start, sweep;
    };
    std::vector<Op> m_ops;
};

class OverlayCanvas {
public:
    /// An opaque window of `width` × `height` pixels in the window's background grey; throws
    /// HostError when Cairo cannot make it.
    OverlayCanvas(int width, int height);
    /// Draws on a caller's context instead, whose user space is window pixels; the canvas keeps a
    /// reference to it. PixelAt, CopyStraightRgba and WritePng need a canvas of its own.
    explicit OverlayCanvas(cairo_t* context);

    int Width() const { return m_width; }
    int Height() const { return m_height; }

    /// Draws the rendered layer with its top-left corner at window position (left, top), each
    /// of its pixels scaleX × scaleY window pixels, composited over what is there. Throws
    /// HostError, the window untouched, for a position that is not finite or a scale that is
    /// not a positive normal number.
    void PaintLayer(const World& picture, double left, double top, double scaleX, double scaleY);
    /// Strokes `path` moved by (shiftX, shiftY); whole window coordinates fall on pixel centres,
    /// so a 1-pixel line at y = 10 covers row 10. False when Cairo reports an error.
    bool Stroke(const CanvasPath& path, CanvasColor color, double width, double shiftX = 0.0,
                double shiftY = 0.0);

    /// The pixel as Cairo holds it: premultiplied ARGB, alpha in the top byte; throws HostError
    /// outside the window.
    uint32_t PixelAt(int x, int y);
    /// The window as straight (not premultiplied) RGBA 8-bit rows `rowBytes` apart.
    void CopyStraightRgba(uint8_t* rgba, std::ptrdiff_t rowBytes);
    /// Writes the window as PNG, whole or not at all; throws HostError on failure.
    void WritePng(const std::string& path);

private:
    struct SurfaceDeleter {
        void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
    };
    struct ContextDeleter {
        void operator()(cairo_t* cr) const { cairo_destroy(cr); }
    };
    struct PatternDeleter {
        void operator()(cairo_pattern_t* p) const { cairo_pattern_destroy(p); }
    };

    void RequireSurface(const char* what) const;

    int m_width;
    int m_height;
    // Declared before the context, which holds a reference to it and is destroyed first.
    std::unique_ptr<cairo_surface_t, SurfaceDeleter> m_surface;
    std::unique_ptr<cairo_t, ContextDeleter> m_cr;
};

}   // namespace corvelle
