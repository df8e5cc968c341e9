// One composition or layer window: its geometry, its context and the event callbacks it serves.
#pragma once

#include "controls/WindowModel.h"

#include "host/AE_EffectUI.h"

namespace corvelle {

class Host;

/// The largest window side the headless host draws, in pixels.
constexpr int kMaxWindowSide = 16384;

class EventWindow {
public:
    /// The window is just large enough to show the layer (layer window) or the composition,
    /// taken as layer size + layer position (composition window), at the zoom and offset given;
    /// throws HostError for a zoom IsWindowZoom refuses or a window that is empty or larger
    /// than kMaxWindowSide.
    EventWindow(Host& host, const WindowOptions& options, A_long layerWidth, A_long layerHeight);
    EventWindow(const EventWindow&) = delete;
    EventWindow& operator=(const EventWindow&) = delete;

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    const WindowOptions& Options() const { return m_options; }
    /// Window position of the layer's top-left corner; the layer appears there scaled by zoom.
    double LayerLeft() const;
    double LayerTop() const;

    /// The handle every event record of this window carries; its w_type tells the window kind.
    PF_ContextH Context() { return &m_contextPtr; }
    /// A fresh record for one event, its callbacks bound to this window and recorded in the
    /// host's call trace; a draw event's update rectangle is the whole window.
    PF_EventExtra NewEvent(PF_EventType type);

    // The maps the callbacks apply, in 16.16: each computed in double from the 16.16 value and
    // rounded to the nearest 16.16 value (ties away from zero), saturating at the 32-bit range.
    PF_FixedPoint LayerToComp(PF_FixedPoint pt) const;
    PF_FixedPoint CompToLayer(PF_FixedPoint pt) const;
    /// Layer (layer window) or composition (composition window) to window.
    PF_FixedPoint SourceToFrame(PF_FixedPoint pt) const;
    /// Window to layer (layer window) or composition (composition window).
    PF_FixedPoint FrameToSource(PF_FixedPoint pt) const;

    /// The host whose trace and fault plan the callbacks use.
    Host& GetHost() { return m_host; }

private:
    Host& m_host;
    WindowOptions m_options;
    int m_width = 0;
    int m_height = 0;
    PF_Context m_context{};
    PF_ContextPtr m_contextPtr = &m_context;
};

}   // namespace corvelle
