// Shows the module's on-screen controls over a rendered layer in one window, as a PNG.
#pragma once

#include "controls/EventWindow.h"
#include "core/World.h"
#include "controls/OverlayCanvas.h"

#include <string>

namespace corvelle {

class Host;

/// Paints `rendered` (downsampled as the host settings say) where `window` shows the layer.
void PaintRenderedLayer(OverlayCanvas& canvas, Host& host, const EventWindow& window, const World& rendered);

/// Sends the module one draw event for `window`, its drawing suites drawing on `canvas`. Throws
/// HostError when the module fails the event; warns on stderr when it does not handle it.
void SendDrawEvent(Host& host, EventWindow& window, OverlayCanvas& canvas);

/// Places `rendered` (downsampled as the host settings say; null: none) where `window` shows the
/// layer, sends the module one draw event for the window with the drawing suites drawing on that picture, and writes it to `pngPath`. When
/// `tracePath` is not empty, it receives one JSON line per host call of the draw event.
/// Throws HostError when the module fails the event or an output cannot be written.
void DrawOverlay(Host& host, EventWindow& window, const World* rendered, const std::string& pngPath,
                 const std::string& tracePath);

}   // namespace corvelle
