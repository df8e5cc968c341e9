// The host's drawing suites for one window, drawing on its overlay canvas with Cairo.
#pragma once

#include "controls/OverlayCanvas.h"

#include "host/AE_EffectUI.h"

#include <memory>
#include <string>
#include <vector>

namespace corvelle {

class Host;

/// How the headless host's overlay theme strokes a figure (PF_StrokePath): a light blue line,
/// and for the shadow the same figure one pixel right and down in translucent black, first.
constexpr CanvasColor kThemeColor{0.55, 0.85, 1.0, 1.0};
constexpr CanvasColor kThemeShadowColor{0.0, 0.0, 0.0, 0.6};
constexpr double kThemeWidth = 1.0;
constexpr double kThemeShadowShift = 1.0;

/// Serves "PF Effect Custom UI Suite", "PF Effect Custom UI Overlay Theme Suite" and the four
/// DRAWBOT suites, each version 1, for one host. Every call is recorded in the host's trace
/// with its arguments, can be failed through the host's fault plan, and checks each reference
/// the module hands back. Pens and paths are counted: after every command the host reports one
/// still held, or released more often than made and retained, and then forgets them all.
class DrawingSuites {
public:
    /// Registers the suites in `host`; both must outlive this object, and only one
    /// DrawingSuites may serve a host at a time (HostError otherwise).
    DrawingSuites(Host& host, OverlayCanvas& canvas);
    ~DrawingSuites();
    DrawingSuites(const DrawingSuites&) = delete;
    DrawingSuites& operator=(const DrawingSuites&) = delete;

    /// Lets PF_GetDrawingReference hand out this canvas's reference for `context`; it refuses
    /// every context not added.
    void AddContext(PF_ContextH context);

    /// Pens and paths made since the last command ended and not yet released.
    int LiveObjects() const;

    struct State;   // the suites' bookkeeping, defined beside their C functions

private:
    std::unique_ptr<State> m_state;
};

}   // namespace corvelle
