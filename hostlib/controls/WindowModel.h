// The window the module's controls are shown in: its kind, zoom and where the layer sits.
#pragma once

#include <corvelle/corvelle.h>

namespace corvelle {

enum class WindowKind { Layer, Comp };

constexpr double kMinZoom = kMinWindowZoom;
constexpr double kMaxZoom = kMaxWindowZoom;

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

/// The host's window as a front-end describes it.
inline WindowOptions ToWindowOptions(const WindowSpec& spec) {
    WindowOptions window;
    window.kind = spec.kind == WindowSpec::Kind::Composition ? WindowKind::Comp : WindowKind::Layer;
    window.zoom = spec.zoom;
    window.offsetX = spec.offsetX;
    window.offsetY = spec.offsetY;
    window.layerPosX = spec.layerPosX;
    window.layerPosY = spec.layerPosY;
    return window;
}

}   // namespace corvelle
