// The command-line description of the window the module's controls are shown in.
#pragma once

#include <CLI/CLI.hpp>

#include <string>

namespace corvelle {

enum class WindowKind { Layer, Comp };

/// The zooms a window can have, as the host's own windows offer them.
constexpr double kMinZoom = 1.0 / 64.0;
constexpr double kMaxZoom = 64.0;

/// Whether `zoom` lies in kMinZoom..kMaxZoom (so it is finite, normal and positive; NaN is not).
bool IsWindowZoom(double zoom);

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

/// A pair "X,Y" of whole window pixels, as --press and --move take it.
struct WindowPixel {
    int x = 0;
    int y = 0;
};

/// Adds --window, --zoom, --offset and --layer-pos, each checked as CLI11 parses it.
void AddWindowOptions(CLI::App& app, WindowOptions& options);

/// Reads "X,Y" of two finite numbers; throws HostError naming `what` otherwise.
void ParseNumberPair(const std::string& text, const std::string& what, double& x, double& y);
/// Reads "X,Y" of two whole numbers within ±1000000; throws HostError naming `what` otherwise.
WindowPixel ParseWindowPixel(const std::string& text, const std::string& what);

}   // namespace corvelle
