// A mouse drag in one window as the host delivers it: a click, drag events, and the release.
#pragma once

#include "controls/EventWindow.h"

#include "host/AE_EffectUI.h"

namespace corvelle {

class Host;

/// Keeps what the module hands back in each event record (continue_refcon and send_drag)
/// and returns it with the next event, as a production host does.
class DragSession {
public:
    DragSession(Host& host, EventWindow& window);

    /// Sends PF_Event_DO_CLICK at the window pixel `at`.
    PF_Err Press(WindowPixel at);
    /// Sends PF_Event_DRAG at `at` when the module asked for drag events; otherwise sends nothing.
    PF_Err Move(WindowPixel at);
    /// Sends the drag event that ends the drag, last_time set, when the module asked for drag
    /// events; the drag state is cleared afterwards whatever the module left.
    PF_Err Release(WindowPixel at);

    /// continue_refcon[0] as the module left it after the last event.
    A_intptr_t Refcon() const { return m_refcon[0]; }
    /// Whether the module asked for drag events (send_drag) in the last event.
    bool Dragging() const { return m_sendDrag != 0; }
    /// The record of the last event sent, as the module left it.
    const PF_EventExtra& LastEvent() const { return m_last; }

private:
    PF_Err Send(PF_EventType type, WindowPixel at, bool lastTime);

    Host& m_host;
    EventWindow& m_window;
    A_intptr_t m_refcon[4] = {0, 0, 0, 0};
    PF_Boolean m_sendDrag = 0;
    A_u_long m_when = 0;
    PF_EventExtra m_last{};
};

}   // namespace corvelle
