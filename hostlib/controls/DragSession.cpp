// Carries the module's drag state from one event record to the next.
#include "controls/DragSession.h"

#include "core/Host.h"

#include <algorithm>
#include <iterator>

namespace corvelle {

DragSession::DragSession(Host& host, EventWindow& window) : m_host(host), m_window(window) {}

PF_Err DragSession::Press(WindowPixel at) {
    return Send(PF_Event_DO_CLICK, at, false);
}

PF_Err DragSession::Move(WindowPixel at) {
    return Dragging() ? Send(PF_Event_DRAG, at, false) : PF_Err_NONE;
}

PF_Err DragSession::Release(WindowPixel at) {
    const PF_Err err = Dragging() ? Send(PF_Event_DRAG, at, true) : PF_Err_NONE;
    // The button is up: whatever the module left, the next press starts a new drag.
    std::fill(std::begin(m_refcon), std::end(m_refcon), 0);
    m_sendDrag = 0;
    return err;
}

PF_Err DragSession::Send(PF_EventType type, WindowPixel at, bool lastTime) {
    PF_EventExtra event = m_window.NewEvent(type);
    PF_DoClickEventInfo& click = event.u.do_click;
    // A tick a time, so records of one drag tell their order apart.
    click.when = ++m_when;
    click.screen_point = PF_Point{at.x, at.y};
    std::copy(std::begin(m_refcon), std::end(m_refcon), std::begin(click.continue_refcon));
    click.send_drag = m_sendDrag;
    click.last_time = lastTime ? 1 : 0;
    const PF_Err err = m_host.Event(event);
    std::copy(std::begin(click.continue_refcon), std::end(click.continue_refcon), std::begin(m_refcon));
    m_sendDrag = click.send_drag;
    m_last = event;
    return err;
}

}   // namespace corvelle
