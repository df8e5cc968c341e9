// One draw event over a rendered layer: the canvas, the drawing suites and the outputs.
#include "controls/OverlayDrawing.h"

#include <corvelle/files.h>
#include "suites/DrawingSuites.h"
#include "core/Host.h"
#include "core/HostError.h"
#include "controls/OverlayCanvas.h"

#include <algorithm>
#include <cctype>
#include <iostream>
#include <sstream>

namespace corvelle {

void CheckPngOutputPath(const std::string& path) {
    std::string lower = path;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    if (lower.size() < 4 || lower.compare(lower.size() - 4, 4, ".png") != 0) {
        throw HostError("writing " + path + ": the overlay is a PNG picture, so its name must end in .png",
                        ErrorKind::BadValue);
    }
    CheckOutputFolder(path);
}

void PaintRenderedLayer(OverlayCanvas& canvas, Host& host, const EventWindow& window, const World& rendered) {
    // A downsampled render has one pixel for each den/num layer pixels, and the window shows
    // it enlarged to the layer's size, as the host's own windows do.
    const HostSettings& settings = host.Settings();
    const double zoom = window.Options().zoom;
    const double scaleX = zoom * static_cast<double>(settings.downsampleX.den) / settings.downsampleX.num;
    const double scaleY = zoom * static_cast<double>(settings.downsampleY.den) / settings.downsampleY.num;
    canvas.PaintLayer(rendered, window.LayerLeft(), window.LayerTop(), scaleX, scaleY);
}

void SendDrawEvent(Host& host, EventWindow& window, OverlayCanvas& canvas) {
    DrawingSuites drawing(host, canvas);
    drawing.AddContext(window.Context());
    PF_EventExtra event = window.NewEvent(PF_Event_DRAW);
    const PF_Err err = host.Event(event);
    if (err != PF_Err_NONE) {
        throw HostError("draw event: the module returned error " + std::to_string(err), ErrorKind::Module,
                        err);
    }
    if ((event.evt_out_flags & PF_EO_HANDLED_EVENT) == 0) {
        std::cerr
            << "corvelle: warning: draw event: the module did not handle it, so no controls are drawn\n";
    }
}

void DrawOverlay(Host& host, EventWindow& window, const World* rendered, const std::string& pngPath,
                 const std::string& tracePath) {
    OverlayCanvas canvas(window.Width(), window.Height());
    if (rendered) {
        PaintRenderedLayer(canvas, host, window, *rendered);
    }
    // Calls are recorded only while the draw event runs, and only when a trace is asked for;
    // a failed event must not leave an effect recording every call from then on.
    host.Trace().Clear();
    const bool recording = host.Trace().Enabled();
    host.Trace().SetEnabled(recording || !tracePath.empty());
    try {
        SendDrawEvent(host, window, canvas);
    } catch (...) {
        host.Trace().SetEnabled(recording);
        throw;
    }
    host.Trace().SetEnabled(recording);
    if (!tracePath.empty()) {
        std::ostringstream lines;
        host.Trace().WriteJsonLines(lines);
        const std::string text = lines.str();
        WriteFileAtomically(tracePath, std::vector<unsigned char>(text.begin(), text.end()));
    }
    canvas.WritePng(pngPath);
}

}   // namespace corvelle
