// Replays the drawing calls the host recorded for one draw event into a list of strokes.
#include "core/EffectImpl.h"
#include "core/Host.h"
#include "suites/DrawingSuites.h"

#include <corvelle/corvelle.h>

#include <nlohmann/json.hpp>

#include <cairo.h>

#include <map>
#include <memory>
#include <string>

namespace corvelle {
namespace {

using Json = nlohmann::json;

struct Pen {
    Json rgba = Json::array({0.0, 0.0, 0.0, 1.0});
    double width = 1.0;
};

Json Stroke(const Json& ops, const Json& rgba, double width, double shift) {
    return Json{{"ops", ops}, {"rgba", rgba}, {"width", width}, {"dx", shift}, {"dy", shift}};
}

Json Rgba(const CanvasColor& c) {
    return Json::array({c.red, c.green, c.blue, c.alpha});
}

double Arg(const Json& args, const char* name) {
    const auto it = args.find(name);
    return it != args.end() && it->is_number() ? it->get<double>() : 0.0;
}

int Id(const Json& args, const char* name) {
    const auto it = args.find(name);
    return it != args.end() && it->is_number_integer() ? it->get<int>() : 0;
}

}   // namespace

std::string Effect::ControlStrokesJson() {
    Host& host = m_impl->host;
    // The strokes land on a one-pixel surface: only the record of them is wanted.
    std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface(
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1), cairo_surface_destroy);
    std::unique_ptr<cairo_t, decltype(&cairo_destroy)> cr(cairo_create(surface.get()), cairo_destroy);
    // Recorded for this draw event only, so a long session's memory stays flat.
    host.Trace().Clear();
    host.Trace().SetEnabled(true);
    try {
        DrawControls(cr.get());
    } catch (...) {
        host.Trace().SetEnabled(false);
        throw;
    }
    host.Trace().SetEnabled(false);
    const std::vector<CallRecord> records = host.Trace().Records();
    host.Trace().Clear();

    std::map<int, Json> paths;
    std::map<int, Pen> pens;
    Json strokes = Json::array();
    for (const CallRecord& call : records) {
        if (call.result != 0) {
            continue;   // the host drew nothing for a refused call
        }
        const Json& a = call.args;
        const std::string& f = call.function;
        if (f == "NewPath") {
            paths[Id(a, "path")] = Json::array();
        } else if (f == "NewPen") {
            Pen pen;
            if (a.contains("color")) {
                pen.rgba = a["color"];
            }
            pen.width = Arg(a, "size");
            pens[Id(a, "pen")] = pen;
        } else if (f == "MoveTo" || f == "LineTo") {
            paths[Id(a, "path")].push_back(
                Json::array({f == "MoveTo" ? "M" : "L", Arg(a, "x"), Arg(a, "y")}));
        } else if (f == "AddArc" && a.contains("center")) {
            paths[Id(a, "path")].push_back(Json::array(
                {"A", a["center"][0], a["center"][1], Arg(a, "radius"), Arg(a, "start"), Arg(a, "sweep")}));
        } else if (f == "Close") {
            paths[Id(a, "path")].push_back(Json::array({"Z"}));
        } else if (f == "PF_StrokePath") {
            const Json& ops = paths[Id(a, "path")];
            if (a.value("shadow", false)) {
                strokes.push_back(Stroke(ops, Rgba(kThemeShadowColor), kThemeWidth, kThemeShadowShift));
            }
            strokes.push_back(Stroke(ops, Rgba(kThemeColor), kThemeWidth, 0.0));
        } else if (f == "StrokePath") {
            const Pen& pen = pens[Id(a, "pen")];
            strokes.push_back(Stroke(paths[Id(a, "path")], pen.rgba, pen.width, 0.0));
        }
    }
    return strokes.dump();
}

}   // namespace corvelle
