// The window the module's controls are shown in: its kind, zoom and where the layer sits.
#pragma once

namespace corvelle {

enum class WindowKind { Layer, Comp };

/// The zooms a window can have, as the host's own windows offer them.
constexpr double kMinZoom = 1.0 / 64.0;
constexpr double kMaxZoom = 64.0;

/// Whether `zoom` lies in kMinZoom..kMaxZoom (so it is finite, normal and positive; NaN is not).
inline bool IsWindowZoom(double zoom) {
    return zoom >= kMinZoom && zoom <= kMaxZoom;
}

/// Where the layer sits in the window: window = layer × zoom + offset in a layer window, and
/// window = (layer + layer position) × zoom + offset in a composition window.
struct WindowOptions {
    WindowKind kind = WindowKind::Layer;
    double zoom = 1.0;
    double offsetX = 0.0;
    double offsetY = 0.0;
    double layerPosX = 0.0;
    double layerPosY = 0.0;
};

/// A whole window pixel, as mouse events give it.
struct WindowPixel {
    int x = 0;
    int y = 0;
};

}   // namespace corvelle
