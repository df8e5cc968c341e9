// The drawing suites' C functions: reference checks, counting, recording and Cairo strokes.
#include "suites/DrawingSuites.h"

#include "core/Host.h"
#include "core/HostCallback.h"
#include "core/HostError.h"

#include "host/AE_EffectSuites.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>

namespace corvelle {

namespace {

// A path longer than this is a runaway loop in the module, not a figure.
constexpr std::size_t kMaxPathOps = std::size_t{1} << 20;

enum class ObjectKind { Pen, Path };

const char* KindName(ObjectKind kind) {
    return kind == ObjectKind::Pen ? "pen" : "path";
}

struct DrawObject {
    ObjectKind kind;
    int id;
    int made = 1;
    int retained = 0;
    int released = 0;
    CanvasColor color;
    double width = 0.0;
    CanvasPath path;

    bool Alive() const { return made + retained > released; }
};

// Gives the refs handed out for the one window distinct addresses.
struct RefTag {
    char unused;
};

}   // namespace

struct DrawingSuites::State {
    State(Host& h, OverlayCanvas& c) : host(h), canvas(c) {}

    Host& host;
    OverlayCanvas& canvas;
    std::mutex mutex;
    std::vector<PF_ContextH> contexts;
    RefTag drawRef{};
    RefTag supplier{};
    RefTag surface{};
    std::map<const void*, std::unique_ptr<DrawObject>> objects;
    int nextId[2] = {1, 1};

    DRAWBOT_DrawRef DrawRef() { return reinterpret_cast<DRAWBOT_DrawRef>(&drawRef); }
    DRAWBOT_SupplierRef SupplierRef() { return reinterpret_cast<DRAWBOT_SupplierRef>(&supplier); }
    DRAWBOT_SurfaceRef SurfaceRef() { return reinterpret_cast<DRAWBOT_SurfaceRef>(&surface); }

    /// The object behind a ref the module handed back, found without dereferencing it.
    DrawObject* Find(const void* ref) {
        const auto it = objects.find(ref);
        return it == objects.end() ? nullptr : it->second.get();
    }
    DrawObject* FindLive(const void* ref, ObjectKind kind) {
        DrawObject* object = Find(ref);
        return object != nullptr && object->kind == kind && object->Alive() ? object : nullptr;
    }
    /// How a ref reads in the trace: the object's number, or null when it is none of ours.
    nlohmann::json RefJson(const void* ref) {
        const DrawObject* object = Find(ref);
        return object != nullptr ? nlohmann::json(object->id) : nlohmann::json(nullptr);
    }
    DrawObject& Make(ObjectKind kind) {
        auto object = std::make_unique<DrawObject>();
        object->kind = kind;
        object->id = nextId[static_cast<int>(kind)]++;
        DrawObject& made = *object;
        objects.emplace(object.get(), std::move(object));
        return made;
    }

    /// One message for each pen or path not given back, or given back too often, since the
    /// last call; then forgets them, so refs never outlive the command that made them.
    std::vector<std::string> Settle() {
        std::lock_guard<std::mutex> lock(mutex);
        std::vector<std::string> problems;
        for (const auto& entry : objects) {
            const DrawObject& o = *entry.second;
            if (o.made + o.retained != o.released) {
                problems.push_back(std::string(KindName(o.kind)) + " " + std::to_string(o.id) + " made " +
                                   std::to_string(o.made) + " time, retained " + std::to_string(o.retained) +
                                   " times, released " + std::to_string(o.released) + " times");
            }
        }
        objects.clear();
        nextId[0] = nextId[1] = 1;
        return problems;
    }
};

namespace {

using State = DrawingSuites::State;

std::mutex& RegistryMutex() {
    static std::mutex mutex;
    return mutex;
}

// C suite tables carry no user pointer, so a call finds its drawing suites through the host
// whose command is running on this thread.
std::map<const Host*, State*>& Registry() {
    static std::map<const Host*, State*> registry;
    return registry;
}

State* StateOf(const Host* host) {
    std::lock_guard<std::mutex> lock(RegistryMutex());
    const auto it = Registry().find(host);
    return it == Registry().end() ? nullptr : it->second;
}

bool Finite(float v) {
    return std::isfinite(v);
}

// Cairo draws in double; every float the module passes is exact there.
double Widen(float v) {
    return static_cast<double>(v);
}

// Runs one suite function: counts it against the fault plan, runs `body` when no fault is
// injected, and records the call with its arguments and result. Nothing escapes.
template <class Body>
SPErr Serve(const char* suite, const char* function, nlohmann::json args, Body&& body) noexcept {
    return GuardedCallback<SPErr>(PF_Err_INTERNAL_STRUCT_DAMAGED, [&]() -> SPErr {
        State* state = StateOf(Host::Active());
        if (state == nullptr) {
            return PF_Err_INTERNAL_STRUCT_DAMAGED;
        }
        std::lock_guard<std::mutex> lock(state->mutex);
        return RunRecorded<SPErr>(state->host, suite, 1, function, std::move(args), PF_Err_NONE,
                                  [&](nlohmann::json& recorded) { return body(*state, recorded); });
    });
}

// ---- "PF Effect Custom UI Suite"
PF_Err GetDrawingReference(const PF_ContextH contextH, DRAWBOT_DrawRef* referenceP0) {
    return Serve(kPFEffectCustomUISuite, "PF_GetDrawingReference", nlohmann::json::object(),
                 [&](State& s, nlohmann::json& args) -> SPErr {
                     if (referenceP0 == nullptr) {
                         return PF_Err_BAD_CALLBACK_PARAM;
                     }
                     *referenceP0 = nullptr;
                     if (std::find(s.contexts.begin(), s.contexts.end(), contextH) == s.contexts.end()) {
                         return PF_Err_BAD_CALLBACK_PARAM;
                     }
                     if (!s.host.Faults().noDrawingReference) {
                         *referenceP0 = s.DrawRef();
                     }
                     args["drawing_ref"] =
                         *referenceP0 != nullptr ? nlohmann::json(1) : nlohmann::json(nullptr);
                     return PF_Err_NONE;
                 });
}

// ---- "PF Effect Custom UI Overlay Theme Suite"
PF_Err ThemeStrokePath(const DRAWBOT_DrawRef drawbot_ref, const DRAWBOT_PathRef path_ref,
                       PF_Boolean draw_shadowB) {
    return Serve(kPFEffectCustomUIOverlayThemeSuite, "PF_StrokePath",
                 nlohmann::json{{"shadow", draw_shadowB != 0}}, [&](State& s, nlohmann::json& args) -> SPErr {
                     args["path"] = s.RefJson(path_ref);
                     const DrawObject* path = s.FindLive(path_ref, ObjectKind::Path);
                     if (drawbot_ref != s.DrawRef() || path == nullptr) {
                         return PF_Err_BAD_CALLBACK_PARAM;
                     }
                     bool ok = true;
                     if (draw_shadowB != 0) {
                         ok = s.canvas.Stroke(path->path, kThemeShadowColor, kThemeWidth, kThemeShadowShift,
                                              kThemeShadowShift);
                     }
                     ok = ok && s.canvas.Stroke(path->path, kThemeColor, kThemeWidth);
                     return ok ? PF_Err_NONE : PF_Err_INTERNAL_STRUCT_DAMAGED;
                 });
}

// ---- "DRAWBOT Draw Suite"
SPErr GetSupplier(DRAWBOT_DrawRef in_drawbot_ref, DRAWBOT_SupplierRef* out_supplierP) {
    return Serve(kDRAWBOT_DrawSuite, "GetSupplier", nlohmann::json::object(),
                 [&](State& s, nlohmann::json&) -> SPErr {
                     if (in_drawbot_ref != s.DrawRef() || out_supplierP == nullptr) {
                         return PF_Err_BAD_CALLBACK_PARAM;
                     }
                     *out_supplierP = s.SupplierRef();
                     return PF_Err_NONE;
                 });
}

SPErr GetSurface(DRAWBOT_DrawRef in_drawbot_ref, DRAWBOT_SurfaceRef* out_surfaceP) {
    return Serve(kDRAWBOT_DrawSuite, "GetSurface", nlohmann::json::object(),
                 [&](State& s, nlohmann::json&) -> SPErr {
                     if (in_drawbot_ref != s.DrawRef() || out_surfaceP == nullptr) {
                         return PF_Err_BAD_CALLBACK_PARAM;
                     }
                     *out_surfaceP = s.SurfaceRef();
                     return PF_Err_NONE;
                 });
}

// ---- "DRAWBOT Supplier Suite"
SPErr NewPen(DRAWBOT_SupplierRef in_supplier_ref, const DRAWBOT_ColorRGBA* in_colorP, float in_size,
             DRAWBOT_PenRef* out_penP) {
    nlohmann::json args{{"size", in_size}};
    if (in_colorP != nullptr) {
        args["color"] = {in_colorP->red, in_colorP->green, in_colorP->blue, in_colorP->alpha};
    }
    return Serve(kDRAWBOT_SupplierSuite, "NewPen", std::move(args),
                 [&](State& s, nlohmann::json& out) -> SPErr {
                     if (in_supplier_ref != s.SupplierRef() || in_colorP == nullptr || out_penP == nullptr ||
                         !Finite(in_colorP->red) || !Finite(in_colorP->green) || !Finite(in_colorP->blue) ||
                         !Finite(in_colorP->alpha) || !Finite(in_size) || in_size < 0.0f) {
                         return PF_Err_BAD_CALLBACK_PARAM;
                     }
                     DrawObject& pen = s.Make(ObjectKind::Pen);
                     pen.color = CanvasColor{Widen(in_colorP->red), Widen(in_colorP->green),
                                             Widen(in_colorP->blue), Widen(in_colorP->alpha)};
                     pen.width = Widen(in_size);
                     *out_penP = reinterpret_cast<DRAWBOT_PenRef>(&pen);
                     out["pen"] = pen.id;
                     return PF_Err_NONE;
                 });
}

SPErr NewPath(DRAWBOT_SupplierRef in_supplier_ref, DRAWBOT_PathRef* out_pathP) {
    return Serve(kDRAWBOT_SupplierSuite, "NewPath", nlohmann::json::object(),
                 [&](State& s, nlohmann::json& out) -> SPErr {
                     if (in_supplier_ref != s.SupplierRef() || out_pathP == nullptr) {
                         return PF_Err_BAD_CALLBACK_PARAM;
                     }
                     DrawObject& path = s.Make(ObjectKind::Path);
                     *out_pathP = reinterpret_cast<DRAWBOT_PathRef>(&path);
                     out["path"] = path.id;
                     return PF_Err_NONE;
                 });
}

// Retain and release: finds the pen or path behind `ref` without dereferencing it, names it
// in the trace, and hands it to `body`; a ref that is none of ours is refused.
template <class Body>
SPErr ServeObject(const char* function, DRAWBOT_ObjectRef ref, Body&& body) {
    return Serve(kDRAWBOT_SupplierSuite, function, nlohmann::json::object(),
                 [&](State& s, nlohmann::json& args) -> SPErr {
                     DrawObject* object = s.Find(ref);
                     if (object == nullptr) {
                         args["object"] = nullptr;
                         return PF_Err_BAD_CALLBACK_PARAM;
                     }
                     args[KindName(object->kind)] = object->id;
                     return body(*object);
                 });
}

SPErr RetainObject(DRAWBOT_ObjectRef in_obj_ref) {
    return ServeObject("RetainObject", in_obj_ref, [](DrawObject& object) -> SPErr {
        // Reviving a pen or path already given back would hand the module freed memory.
        if (!object.Alive()) {
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        ++object.retained;
        return PF_Err_NONE;
    });
}

SPErr ReleaseObject(DRAWBOT_ObjectRef in_obj_ref) {
    return ServeObject("ReleaseObject", in_obj_ref, [](DrawObject& object) -> SPErr {
        const bool wasAlive = object.Alive();
        // Counted even when too many, so the balance check can name the double release.
        ++object.released;
        return wasAlive ? PF_Err_NONE : PF_Err_BAD_CALLBACK_PARAM;
    });
}

// ---- "DRAWBOT Surface Suite"
SPErr SurfaceStrokePath(DRAWBOT_SurfaceRef in_surface_ref, DRAWBOT_PenRef in_pen_ref,
                        DRAWBOT_PathRef in_path_ref) {
    return Serve(kDRAWBOT_SurfaceSuite, "StrokePath", nlohmann::json::object(),
                 [&](State& s, nlohmann::json& args) -> SPErr {
                     args["pen"] = s.RefJson(in_pen_ref);
                     args["path"] = s.RefJson(in_path_ref);
                     const DrawObject* pen = s.FindLive(in_pen_ref, ObjectKind::Pen);
                     const DrawObject* path = s.FindLive(in_path_ref, ObjectKind::Path);
                     if (in_surface_ref != s.SurfaceRef() || pen == nullptr || path == nullptr) {
                         return PF_Err_BAD_CALLBACK_PARAM;
                     }
                     return s.canvas.Stroke(path->path, pen->color, pen->width)
                                ? PF_Err_NONE
                                : PF_Err_INTERNAL_STRUCT_DAMAGED;
                 });
}

// ---- "DRAWBOT Path Suite"
template <class Build>
SPErr ServePath(const char* function, DRAWBOT_PathRef path_ref, nlohmann::json args, bool finite,
                Build&& build) {
    return Serve(kDRAWBOT_PathSuite, function, std::move(args), [&](State& s, nlohmann::json& out) -> SPErr {
        out["path"] = s.RefJson(path_ref);
        DrawObject* path = s.FindLive(path_ref, ObjectKind::Path);
        if (path == nullptr || !finite) {
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        if (path->path.Size() >= kMaxPathOps) {
            return PF_Err_OUT_OF_MEMORY;
        }
        build(path->path);
        return PF_Err_NONE;
    });
}

SPErr MoveTo(DRAWBOT_PathRef in_path_ref, float in_x, float in_y) {
    return ServePath("MoveTo", in_path_ref, {{"x", in_x}, {"y", in_y}}, Finite(in_x) && Finite(in_y),
                     [&](CanvasPath& p) { p.MoveTo(Widen(in_x), Widen(in_y)); });
}

SPErr LineTo(DRAWBOT_PathRef in_path_ref, float in_x, float in_y) {
    return ServePath("LineTo", in_path_ref, {{"x", in_x}, {"y", in_y}}, Finite(in_x) && Finite(in_y),
                     [&](CanvasPath& p) { p.LineTo(Widen(in_x), Widen(in_y)); });
}

SPErr AddArc(DRAWBOT_PathRef in_path_ref, const DRAWBOT_PointF32* in_centerP, float in_radius,
             float in_start_angle, float in_sweep) {
    nlohmann::json args{{"radius", in_radius}, {"start", in_start_angle}, {"sweep", in_sweep}};
    bool valid = in_centerP != nullptr && Finite(in_radius) && in_radius >= 0.0f && Finite(in_start_angle) &&
                 Finite(in_sweep);
    if (in_centerP != nullptr) {
        args["center"] = {in_centerP->x, in_centerP->y};
        valid = valid && Finite(in_centerP->x) && Finite(in_centerP->y);
    }
    return ServePath("AddArc", in_path_ref, std::move(args), valid, [&](CanvasPath& p) {
        p.AddArc(Widen(in_centerP->x), Widen(in_centerP->y), Widen(in_radius), Widen(in_start_angle),
                 Widen(in_sweep));
    });
}

SPErr Close(DRAWBOT_PathRef in_path_ref) {
    return ServePath("Close", in_path_ref, nlohmann::json::object(), true, [](CanvasPath& p) { p.Close(); });
}

const PF_EffectCustomUISuite1 kCustomUISuite{GetDrawingReference};
const PF_EffectCustomUIOverlayThemeSuite1 kThemeSuite{ThemeStrokePath};
const DRAWBOT_DrawbotSuite1 kDrawSuite{GetSupplier, GetSurface};
const DRAWBOT_SupplierSuite1 kSupplierSuite{NewPen, NewPath, RetainObject, ReleaseObject};
const DRAWBOT_SurfaceSuite1 kSurfaceSuite{SurfaceStrokePath};
const DRAWBOT_PathSuite1 kPathSuite{MoveTo, LineTo, AddArc, Close};

}   // namespace

DrawingSuites::DrawingSuites(Host& host, OverlayCanvas& canvas)
    : m_state(std::make_unique<State>(host, canvas)) {
    {
        std::lock_guard<std::mutex> lock(RegistryMutex());
        if (!Registry().emplace(&host, m_state.get()).second) {
            throw HostError("drawing suites: this host already has a window's drawing suites");
        }
    }
    try {
        SuiteRegistry& suites = host.Suites();
        suites.Add(kPFEffectCustomUISuite, kPFEffectCustomUISuiteVersion1, &kCustomUISuite);
        suites.Add(kPFEffectCustomUIOverlayThemeSuite, kPFEffectCustomUIOverlayThemeSuiteVersion1,
                   &kThemeSuite);
        suites.Add(kDRAWBOT_DrawSuite, kDRAWBOT_DrawSuite_Version1, &kDrawSuite);
        suites.Add(kDRAWBOT_SupplierSuite, kDRAWBOT_SupplierSuite_Version1, &kSupplierSuite);
        suites.Add(kDRAWBOT_SurfaceSuite, kDRAWBOT_SurfaceSuite_Version1, &kSurfaceSuite);
        suites.Add(kDRAWBOT_PathSuite, kDRAWBOT_PathSuite_Version1, &kPathSuite);
        // The check goes through the registry, so it finds nothing once this object is gone.
        const Host* key = &host;
        host.AddBalanceCheck([key]() {
            State* state = StateOf(key);
            return state != nullptr ? state->Settle() : std::vector<std::string>{};
        });
    } catch (...) {
        std::lock_guard<std::mutex> lock(RegistryMutex());
        Registry().erase(&host);
        throw;
    }
}

DrawingSuites::~DrawingSuites() {
    std::lock_guard<std::mutex> lock(RegistryMutex());
    Registry().erase(&m_state->host);
}

void DrawingSuites::AddContext(PF_ContextH context) {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->contexts.push_back(context);
}

int DrawingSuites::LiveObjects() const {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return static_cast<int>(std::count_if(m_state->objects.begin(), m_state->objects.end(),
                                          [](const auto& entry) { return entry.second->Alive(); }));
}

}   // namespace corvelle
