// The window model behind the event callbacks: layer, composition and window coordinates.
#include "controls/EventWindow.h"

#include <corvelle/text.h>

#include "core/HostCallback.h"

#include "core/Host.h"
#include "core/HostError.h"
#include "params/ModuleDescription.h"

#include <cmath>
#include <cstdint>
#include <exception>
#include <limits>
#include <sstream>
#include <string>

namespace corvelle {
namespace {

constexpr A_u_long kContextMagic = 0x43565743;   // 'CVWC'
constexpr double kFixedOne = 65536.0;

// Nearest 16.16 value, ties away from zero as the module's own fix() rounds; a value past the
// 32-bit range saturates rather than wrapping.
PF_Fixed RoundToFixed(double units) {
    constexpr double lo = static_cast<double>(std::numeric_limits<PF_Fixed>::min());
    constexpr double hi = static_cast<double>(std::numeric_limits<PF_Fixed>::max());
    const double rounded = std::round(units);
    if (!(rounded >= lo)) {
        return std::numeric_limits<PF_Fixed>::min();
    }
    if (rounded > hi) {
        return std::numeric_limits<PF_Fixed>::max();
    }
    return static_cast<PF_Fixed>(rounded);
}

// Adds `shift` pixels after scaling by `scale`, all in 16.16 units so one rounding suffices.
PF_FixedPoint Affine(PF_FixedPoint pt, double scale, double shiftX, double shiftY) {
    return PF_FixedPoint{RoundToFixed((static_cast<double>(pt.x) * scale) + (shiftX * kFixedOne)),
                         RoundToFixed((static_cast<double>(pt.y) * scale) + (shiftY * kFixedOne))};
}

PF_FixedPoint Inverse(PF_FixedPoint pt, double scale, double shiftX, double shiftY) {
    return PF_FixedPoint{RoundToFixed((static_cast<double>(pt.x) - (shiftX * kFixedOne)) / scale),
                         RoundToFixed((static_cast<double>(pt.y) - (shiftY * kFixedOne)) / scale)};
}

int WindowSide(double extent, const char* what) {
    const double side = std::ceil(extent);
    if (!(side >= 1.0) || side > kMaxWindowSide) {
        // The zoom and offset the user gave make the window; a window too big is their mistake.
        throw HostError(std::string("window ") + what + ": " + Decimal(extent) + " pixels is outside 1 to " +
                            std::to_string(kMaxWindowSide) + " (see --zoom and --offset)",
                        ErrorKind::BadValue);
    }
    return static_cast<int>(side);
}

nlohmann::json PointJson(PF_FixedPoint pt) {
    return nlohmann::json::array({pt.x, pt.y});
}

using PointMap = PF_FixedPoint (EventWindow::*)(PF_FixedPoint) const;

// Every callback: check what the module passed, let the fault plan fail it, record it.
PF_Err Convert(void* refcon, PF_ContextH context, PF_FixedPoint* pt, const char* name, PointMap map,
               nlohmann::json args) noexcept {
    auto* window = static_cast<EventWindow*>(refcon);
    if (window == nullptr) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    return GuardedCallback<PF_Err>(PF_Err_INTERNAL_STRUCT_DAMAGED, [&]() -> PF_Err {
        Host& host = window->GetHost();
        // Only a trace reads the points, and describing them costs more than mapping them.
        const bool traced = host.Trace().Enabled();
        const bool refused = context != window->Context() || pt == nullptr;
        if (!refused && traced) {
            args["in"] = PointJson(*pt);
        }
        return RunRecorded<PF_Err>(host, "", 0, name, std::move(args),
                                   refused ? PF_Err_BAD_CALLBACK_PARAM : PF_Err_NONE,
                                   [&](nlohmann::json& recorded) {
                                       *pt = (window->*map)(*pt);
                                       if (traced) {
                                           recorded["out"] = PointJson(*pt);
                                       }
                                       return PF_Err_NONE;
                                   });
    });
}

nlohmann::json TimeArgs(A_long curr_time, A_long time_scale) {
    return nlohmann::json{{"curr_time", curr_time}, {"time_scale", time_scale}};
}

PF_Err LayerToCompCallback(void* refcon, PF_ContextH context, A_long curr_time, A_long time_scale,
                           PF_FixedPoint* pt) {
    return Convert(refcon, context, pt, "layer_to_comp", &EventWindow::LayerToComp,
                   TimeArgs(curr_time, time_scale));
}

PF_Err CompToLayerCallback(void* refcon, PF_ContextH context, A_long curr_time, A_long time_scale,
                           PF_FixedPoint* pt) {
    return Convert(refcon, context, pt, "comp_to_layer", &EventWindow::CompToLayer,
                   TimeArgs(curr_time, time_scale));
}

PF_Err SourceToFrameCallback(void* refcon, PF_ContextH context, PF_FixedPoint* pt) {
    return Convert(refcon, context, pt, "source_to_frame", &EventWindow::SourceToFrame,
                   nlohmann::json::object());
}

PF_Err FrameToSourceCallback(void* refcon, PF_ContextH context, PF_FixedPoint* pt) {
    return Convert(refcon, context, pt, "frame_to_source", &EventWindow::FrameToSource,
                   nlohmann::json::object());
}

}   // namespace

EventWindow::EventWindow(Host& host, const WindowOptions& options, A_long layerWidth, A_long layerHeight)
    : m_host(host), m_options(options) {
    if (!IsWindowZoom(options.zoom)) {
        std::ostringstream why;
        why << "window zoom: " << options.zoom << " is outside 1/64 to 64";
        throw HostError(why.str());
    }
    const bool comp = options.kind == WindowKind::Comp;
    const double sourceWidth = static_cast<double>(layerWidth) + (comp ? options.layerPosX : 0.0);
    const double sourceHeight = static_cast<double>(layerHeight) + (comp ? options.layerPosY : 0.0);
    m_width = WindowSide((sourceWidth * options.zoom) + options.offsetX, "width");
    m_height = WindowSide((sourceHeight * options.zoom) + options.offsetY, "height");
    m_context.magic = kContextMagic;
    m_context.w_type = comp ? PF_Window_COMP : PF_Window_LAYER;
}

double EventWindow::LayerLeft() const {
    const double pos = m_options.kind == WindowKind::Comp ? m_options.layerPosX : 0.0;
    return (pos * m_options.zoom) + m_options.offsetX;
}

double EventWindow::LayerTop() const {
    const double pos = m_options.kind == WindowKind::Comp ? m_options.layerPosY : 0.0;
    return (pos * m_options.zoom) + m_options.offsetY;
}

PF_EventExtra EventWindow::NewEvent(PF_EventType type) {
    PF_EventExtra event{};
    event.contextH = Context();
    event.e_type = type;
    event.cbs.refcon = this;
    event.cbs.layer_to_comp = LayerToCompCallback;
    event.cbs.comp_to_layer = CompToLayerCallback;
    event.cbs.source_to_frame = SourceToFrameCallback;
    event.cbs.frame_to_source = FrameToSourceCallback;
    if (type == PF_Event_DRAW) {
        event.u.draw.update_rect = PF_Rect{0, 0, m_width, m_height};
        event.u.draw.depth = 32;
    } else {
        event.u.do_click.num_clicks = 1;
    }
    return event;
}

PF_FixedPoint EventWindow::LayerToComp(PF_FixedPoint pt) const {
    return Affine(pt, 1.0, m_options.layerPosX, m_options.layerPosY);
}

PF_FixedPoint EventWindow::CompToLayer(PF_FixedPoint pt) const {
    return Inverse(pt, 1.0, m_options.layerPosX, m_options.layerPosY);
}

PF_FixedPoint EventWindow::SourceToFrame(PF_FixedPoint pt) const {
    return Affine(pt, m_options.zoom, m_options.offsetX, m_options.offsetY);
}

PF_FixedPoint EventWindow::FrameToSource(PF_FixedPoint pt) const {
    return Inverse(pt, m_options.zoom, m_options.offsetX, m_options.offsetY);
}

}   // namespace corvelle
