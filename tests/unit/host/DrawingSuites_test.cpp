// The drawing suites as a module meets them: references, pen and path counting, fault
// injection, the call record, and strokes that really land on the canvas.
#include "suites/DrawingSuites.h"

#include "CaseName.h"
#include "controls/EventWindow.h"
#include "core/Host.h"

#include "host/AE_EffectSuites.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <map>
#include <string>
#include <vector>

namespace corvelle {
namespace {

using testing_support::CaseName;

// What a script sees: the six suites, the drawing reference, its supplier and surface.
struct Drawing {
    const PF_EffectCustomUISuite1* ui = nullptr;
    const PF_EffectCustomUIOverlayThemeSuite1* theme = nullptr;
    const DRAWBOT_DrawbotSuite1* draw = nullptr;
    const DRAWBOT_SupplierSuite1* supplier = nullptr;
    const DRAWBOT_SurfaceSuite1* surface = nullptr;
    const DRAWBOT_PathSuite1* path = nullptr;
    PF_ContextH context = nullptr;
    DRAWBOT_DrawRef ref = nullptr;
    DRAWBOT_SupplierRef supplierRef = nullptr;
    DRAWBOT_SurfaceRef surfaceRef = nullptr;

    DRAWBOT_PathRef NewPath() const {
        DRAWBOT_PathRef made = nullptr;
        EXPECT_EQ(supplier->NewPath(supplierRef, &made), kSPNoError);
        return made;
    }
    DRAWBOT_PenRef NewPen(DRAWBOT_ColorRGBA color, float size) const {
        DRAWBOT_PenRef made = nullptr;
        EXPECT_EQ(supplier->NewPen(supplierRef, &color, size, &made), kSPNoError);
        return made;
    }
    SPErr Release(const void* object) const {
        return supplier->ReleaseObject(reinterpret_cast<DRAWBOT_ObjectRef>(const_cast<void*>(object)));
    }
};

struct Script {
    std::function<void(const Drawing&)> body;
    PF_ContextH context;
};

template <class Suite>
const Suite* Acquire(const SPBasicSuite* basic, const char* name) {
    const void* suite = nullptr;
    EXPECT_EQ(basic->AcquireSuite(name, 1, &suite), kSPNoError) << name;
    return static_cast<const Suite*>(suite);
}

// A stand-in module that runs the test's script inside a real command, acquiring and releasing
// the suites as the effect does, so the host's checks after the command see what it did.
PF_Err ScriptedModule(PF_Cmd cmd, PF_InData* in_data, PF_OutData*, PF_ParamDef*[], PF_LayerDef*,
                      void* extra) {
    if (cmd != PF_Cmd_SEQUENCE_SETUP || extra == nullptr) {
        return PF_Err_NONE;
    }
    const Script& script = *static_cast<const Script*>(extra);
    const SPBasicSuite* basic = in_data->pica_basicP;
    Drawing d;
    d.ui = Acquire<PF_EffectCustomUISuite1>(basic, kPFEffectCustomUISuite);
    d.theme = Acquire<PF_EffectCustomUIOverlayThemeSuite1>(basic, kPFEffectCustomUIOverlayThemeSuite);
    d.draw = Acquire<DRAWBOT_DrawbotSuite1>(basic, kDRAWBOT_DrawSuite);
    d.supplier = Acquire<DRAWBOT_SupplierSuite1>(basic, kDRAWBOT_SupplierSuite);
    d.surface = Acquire<DRAWBOT_SurfaceSuite1>(basic, kDRAWBOT_SurfaceSuite);
    d.path = Acquire<DRAWBOT_PathSuite1>(basic, kDRAWBOT_PathSuite);
    d.context = script.context;
    if (d.ui != nullptr && d.draw != nullptr &&
        d.ui->PF_GetDrawingReference(d.context, &d.ref) == PF_Err_NONE && d.ref != nullptr) {
        EXPECT_EQ(d.draw->GetSupplier(d.ref, &d.supplierRef), kSPNoError);
        EXPECT_EQ(d.draw->GetSurface(d.ref, &d.surfaceRef), kSPNoError);
    }
    script.body(d);
    for (const char* name : {kPFEffectCustomUISuite, kPFEffectCustomUIOverlayThemeSuite, kDRAWBOT_DrawSuite,
                             kDRAWBOT_SupplierSuite, kDRAWBOT_SurfaceSuite, kDRAWBOT_PathSuite}) {
        basic->ReleaseSuite(name, 1);
    }
    return PF_Err_NONE;
}

constexpr DRAWBOT_ColorRGBA kWhite{1.0f, 1.0f, 1.0f, 1.0f};

class DrawingSuitesTest : public testing::Test {
protected:
    DrawingSuitesTest() {
        m_host.SetBalancePolicy(BalancePolicy::Warn);
        m_drawing.AddContext(m_window.Context());
    }

    /// Runs `body` as the module's part of one command.
    void Run(const std::function<void(const Drawing&)>& body) {
        Script script{body, m_window.Context()};
        ASSERT_EQ(m_host.Command(PF_Cmd_SEQUENCE_SETUP, nullptr, &script), PF_Err_NONE);
    }
    uint32_t Background() { return m_canvas.PixelAt(63, 47); }

    Host m_host{ScriptedModule};
    OverlayCanvas m_canvas{64, 48};
    DrawingSuites m_drawing{m_host, m_canvas};
    EventWindow m_window{m_host, WindowOptions{}, 64, 48};
};

TEST_F(DrawingSuitesTest, BalancedPensAndPathsLeaveNoProblem) {
    Run([](const Drawing& d) {
        DRAWBOT_PenRef pen = d.NewPen(kWhite, 1.0f);
        DRAWBOT_PathRef path = d.NewPath();
        EXPECT_EQ(d.supplier->RetainObject(reinterpret_cast<DRAWBOT_ObjectRef>(path)), kSPNoError);
        EXPECT_EQ(d.Release(path), kSPNoError);
        EXPECT_EQ(d.Release(path), kSPNoError);
        EXPECT_EQ(d.Release(pen), kSPNoError);
    });
    EXPECT_TRUE(m_host.LastCommandProblems().empty());
}

TEST_F(DrawingSuitesTest, ReportsAPenNeverReleasedOnce) {
    Run([](const Drawing& d) { d.NewPen(kWhite, 1.0f); });
    EXPECT_EQ(m_host.LastCommandProblems(),
              std::vector<std::string>{"pen 1 made 1 time, retained 0 times, released 0 times"});
    Run([](const Drawing&) {});
    EXPECT_TRUE(m_host.LastCommandProblems().empty()) << "a leak is reported after its own command only";
}

TEST_F(DrawingSuitesTest, RefusesAndReportsADoubleRelease) {
    Run([](const Drawing& d) {
        DRAWBOT_PathRef path = d.NewPath();
        EXPECT_EQ(d.Release(path), kSPNoError);
        EXPECT_EQ(d.Release(path), PF_Err_BAD_CALLBACK_PARAM);
    });
    EXPECT_EQ(m_host.LastCommandProblems(),
              std::vector<std::string>{"path 1 made 1 time, retained 0 times, released 2 times"});
}

TEST_F(DrawingSuitesTest, RefusesReleasedMismatchedAndForeignReferences) {
    Run([](const Drawing& d) {
        DRAWBOT_PathRef path = d.NewPath();
        DRAWBOT_PenRef pen = d.NewPen(kWhite, 1.0f);
        auto* penAsPath = reinterpret_cast<DRAWBOT_PathRef>(pen);
        auto* pathAsPen = reinterpret_cast<DRAWBOT_PenRef>(path);
        EXPECT_EQ(d.path->MoveTo(penAsPath, 1.0f, 1.0f), PF_Err_BAD_CALLBACK_PARAM);
        EXPECT_EQ(d.surface->StrokePath(d.surfaceRef, pathAsPen, path), PF_Err_BAD_CALLBACK_PARAM);
        EXPECT_EQ(d.surface->StrokePath(reinterpret_cast<DRAWBOT_SurfaceRef>(d.supplierRef), pen, path),
                  PF_Err_BAD_CALLBACK_PARAM);
        EXPECT_EQ(d.theme->PF_StrokePath(reinterpret_cast<DRAWBOT_DrawRef>(d.surfaceRef), path, 1),
                  PF_Err_BAD_CALLBACK_PARAM);
        int local = 0;
        EXPECT_EQ(d.Release(&local), PF_Err_BAD_CALLBACK_PARAM);
        EXPECT_EQ(d.Release(path), kSPNoError);
        EXPECT_EQ(d.path->LineTo(path, 1.0f, 1.0f), PF_Err_BAD_CALLBACK_PARAM) << "used after release";
        EXPECT_EQ(d.supplier->RetainObject(reinterpret_cast<DRAWBOT_ObjectRef>(path)),
                  PF_Err_BAD_CALLBACK_PARAM);
        EXPECT_EQ(d.Release(pen), kSPNoError);
    });
    EXPECT_TRUE(m_host.LastCommandProblems().empty());
}

TEST_F(DrawingSuitesTest, RefusesNumbersCairoCannotDraw) {
    Run([](const Drawing& d) {
        const float nan = std::numeric_limits<float>::quiet_NaN();
        const float inf = std::numeric_limits<float>::infinity();
        DRAWBOT_PenRef pen = nullptr;
        EXPECT_EQ(d.supplier->NewPen(d.supplierRef, &kWhite, nan, &pen), PF_Err_BAD_CALLBACK_PARAM);
        EXPECT_EQ(d.supplier->NewPen(d.supplierRef, &kWhite, -1.0f, &pen), PF_Err_BAD_CALLBACK_PARAM);
        EXPECT_EQ(d.supplier->NewPen(d.supplierRef, nullptr, 1.0f, &pen), PF_Err_BAD_CALLBACK_PARAM);
        EXPECT_EQ(pen, nullptr);
        DRAWBOT_PathRef path = d.NewPath();
        const DRAWBOT_PointF32 centre{inf, 0.0f};
        EXPECT_EQ(d.path->MoveTo(path, nan, 0.0f), PF_Err_BAD_CALLBACK_PARAM);
        EXPECT_EQ(d.path->AddArc(path, &centre, 1.0f, 0.0f, 360.0f), PF_Err_BAD_CALLBACK_PARAM);
        EXPECT_EQ(d.path->AddArc(path, nullptr, 1.0f, 0.0f, 360.0f), PF_Err_BAD_CALLBACK_PARAM);
        EXPECT_EQ(d.Release(path), kSPNoError);
    });
    EXPECT_TRUE(m_host.LastCommandProblems().empty()) << "refused pens are not counted as made";
}

TEST_F(DrawingSuitesTest, DrawingReferenceOnlyForTheWindowsContext) {
    EventWindow other(m_host, WindowOptions{}, 64, 48);
    Run([&other](const Drawing& d) {
        EXPECT_NE(d.ref, nullptr);
        DRAWBOT_DrawRef ref = d.ref;
        EXPECT_EQ(d.ui->PF_GetDrawingReference(other.Context(), &ref), PF_Err_BAD_CALLBACK_PARAM);
        EXPECT_EQ(ref, nullptr);
    });
    m_host.Faults().noDrawingReference = true;
    Run([](const Drawing& d) { EXPECT_EQ(d.ref, nullptr); });
    EXPECT_EQ(m_host.Trace().Records().back().function, "ReleaseSuite");
}

TEST_F(DrawingSuitesTest, RecordsEachCallWithItsArguments) {
    Run([](const Drawing& d) {
        DRAWBOT_PathRef path = d.NewPath();
        const DRAWBOT_PointF32 centre{3.5f, 4.25f};
        d.path->MoveTo(path, 1.5f, 2.25f);
        d.path->AddArc(path, &centre, 6.0f, 0.0f, 360.0f);
        d.theme->PF_StrokePath(d.ref, path, 1);
        d.Release(path);
    });
    std::map<std::string, CallRecord> last;
    for (const CallRecord& r : m_host.Trace().Records()) {
        last[r.function] = r;
    }
    EXPECT_EQ(last["NewPath"].suite, kDRAWBOT_SupplierSuite);
    EXPECT_EQ(last["NewPath"].args, (nlohmann::json{{"path", 1}}));
    EXPECT_EQ(last["MoveTo"].suite, kDRAWBOT_PathSuite);
    EXPECT_EQ(last["MoveTo"].version, 1);
    EXPECT_EQ(last["MoveTo"].args, (nlohmann::json{{"path", 1}, {"x", 1.5}, {"y", 2.25}}));
    EXPECT_EQ(last["AddArc"].args,
              (nlohmann::json{
                  {"path", 1}, {"center", {3.5, 4.25}}, {"radius", 6.0}, {"start", 0.0}, {"sweep", 360.0}}));
    EXPECT_EQ(last["PF_StrokePath"].suite, kPFEffectCustomUIOverlayThemeSuite);
    EXPECT_EQ(last["PF_StrokePath"].args, (nlohmann::json{{"path", 1}, {"shadow", true}}));
    EXPECT_EQ(last["ReleaseObject"].args, (nlohmann::json{{"path", 1}}));
}

struct FaultCase {
    const char* function;
    std::function<SPErr(const Drawing&, DRAWBOT_PenRef, DRAWBOT_PathRef)> call;
};

class DrawingFaultTest : public DrawingSuitesTest, public testing::WithParamInterface<FaultCase> {};

// Whatever the function, only its k-th call over the host's life fails, with the plan's code.
TEST_P(DrawingFaultTest, FailsOnlyTheKthCall) {
    const FaultCase& c = GetParam();
    m_host.Faults().callFailureError = 77;
    std::vector<SPErr> results;
    Run([&](const Drawing& d) {
        DRAWBOT_PenRef pen = d.NewPen(kWhite, 1.0f);
        DRAWBOT_PathRef path = d.NewPath();
        m_host.Faults().failNthCall[c.function] = static_cast<int>(m_host.Trace().Count(c.function)) + 2;
        for (int i = 0; i < 3; ++i) {
            results.push_back(c.call(d, pen, path));
        }
        d.Release(path);
        d.Release(pen);
    });
    EXPECT_EQ(results, (std::vector<SPErr>{kSPNoError, 77, kSPNoError}));
    EXPECT_TRUE(m_host.LastCommandProblems().empty()) << "a failed maker makes nothing to release";
}

// Makers release what they make, so the balance stays clean.
SPErr MakeAndDropPath(const Drawing& d, DRAWBOT_PenRef, DRAWBOT_PathRef) {
    DRAWBOT_PathRef made = nullptr;
    const SPErr err = d.supplier->NewPath(d.supplierRef, &made);
    if (made != nullptr) {
        d.Release(made);
    }
    return err;
}

SPErr MakeAndDropPen(const Drawing& d, DRAWBOT_PenRef, DRAWBOT_PathRef) {
    DRAWBOT_PenRef made = nullptr;
    const SPErr err = d.supplier->NewPen(d.supplierRef, &kWhite, 1.0f, &made);
    if (made != nullptr) {
        d.Release(made);
    }
    return err;
}

const DRAWBOT_PointF32 kCentre{10.0f, 10.0f};

INSTANTIATE_TEST_SUITE_P(
    Drawing, DrawingFaultTest,
    testing::Values(FaultCase{"MoveTo", [](const Drawing& d, DRAWBOT_PenRef,
                                           DRAWBOT_PathRef p) { return d.path->MoveTo(p, 1, 1); }},
                    FaultCase{"LineTo", [](const Drawing& d, DRAWBOT_PenRef,
                                           DRAWBOT_PathRef p) { return d.path->LineTo(p, 1, 1); }},
                    FaultCase{"AddArc",
                              [](const Drawing& d, DRAWBOT_PenRef, DRAWBOT_PathRef p) {
                                  return d.path->AddArc(p, &kCentre, 2.0f, 0.0f, 360.0f);
                              }},
                    FaultCase{"Close", [](const Drawing& d, DRAWBOT_PenRef,
                                          DRAWBOT_PathRef p) { return d.path->Close(p); }},
                    FaultCase{"NewPath", MakeAndDropPath}, FaultCase{"NewPen", MakeAndDropPen},
                    FaultCase{"StrokePath",
                              [](const Drawing& d, DRAWBOT_PenRef pen, DRAWBOT_PathRef p) {
                                  return d.surface->StrokePath(d.surfaceRef, pen, p);
                              }},
                    FaultCase{"PF_StrokePath",
                              [](const Drawing& d, DRAWBOT_PenRef, DRAWBOT_PathRef p) {
                                  return d.theme->PF_StrokePath(d.ref, p, 1);
                              }},
                    FaultCase{"GetSupplier",
                              [](const Drawing& d, DRAWBOT_PenRef, DRAWBOT_PathRef) {
                                  DRAWBOT_SupplierRef s = nullptr;
                                  return d.draw->GetSupplier(d.ref, &s);
                              }},
                    FaultCase{"GetSurface",
                              [](const Drawing& d, DRAWBOT_PenRef, DRAWBOT_PathRef) {
                                  DRAWBOT_SurfaceRef s = nullptr;
                                  return d.draw->GetSurface(d.ref, &s);
                              }},
                    FaultCase{"PF_GetDrawingReference",
                              [](const Drawing& d, DRAWBOT_PenRef, DRAWBOT_PathRef) {
                                  DRAWBOT_DrawRef r = nullptr;
                                  return d.ui->PF_GetDrawingReference(d.context, &r);
                              }},
                    FaultCase{"RetainObject",
                              [](const Drawing& d, DRAWBOT_PenRef, DRAWBOT_PathRef p) {
                                  const SPErr err =
                                      d.supplier->RetainObject(reinterpret_cast<DRAWBOT_ObjectRef>(p));
                                  if (err == kSPNoError) {
                                      d.Release(p);
                                  }
                                  return err;
                              }}),
    [](const testing::TestParamInfo<FaultCase>& p) { return std::string(p.param.function); });

TEST_F(DrawingSuitesTest, StrokedLineCoversItsOwnRow) {
    const uint32_t background = Background();
    Run([](const Drawing& d) {
        DRAWBOT_PenRef pen = d.NewPen(kWhite, 1.0f);
        DRAWBOT_PathRef path = d.NewPath();
        d.path->MoveTo(path, 5.0f, 10.0f);
        d.path->LineTo(path, 30.0f, 10.0f);
        EXPECT_EQ(d.surface->StrokePath(d.surfaceRef, pen, path), kSPNoError);
        d.Release(path);
        d.Release(pen);
    });
    EXPECT_EQ(m_canvas.PixelAt(15, 10), 0xFFFFFFFFu);
    EXPECT_EQ(m_canvas.PixelAt(15, 9), background);
    EXPECT_EQ(m_canvas.PixelAt(15, 11), background);
    EXPECT_EQ(m_canvas.PixelAt(40, 10), background);
}

TEST_F(DrawingSuitesTest, ThemeShadowSitsOnePixelBelowTheLine) {
    const uint32_t background = Background();
    Run([](const Drawing& d) {
        DRAWBOT_PathRef path = d.NewPath();
        d.path->MoveTo(path, 5.0f, 10.0f);
        d.path->LineTo(path, 30.0f, 10.0f);
        EXPECT_EQ(d.theme->PF_StrokePath(d.ref, path, 1), kSPNoError);
        d.path->MoveTo(path, 5.0f, 30.0f);
        d.path->LineTo(path, 30.0f, 30.0f);
        EXPECT_EQ(d.theme->PF_StrokePath(d.ref, path, 0), kSPNoError);
        d.Release(path);
    });
    const auto green = [](uint32_t p) { return (p >> 8) & 0xFFu; };
    EXPECT_GT(green(m_canvas.PixelAt(15, 10)), green(background)) << "the line is light";
    EXPECT_LT(green(m_canvas.PixelAt(15, 11)), green(background)) << "its shadow is dark";
    EXPECT_EQ(m_canvas.PixelAt(15, 10), m_canvas.PixelAt(15, 30)) << "the line is drawn over its shadow";
    EXPECT_EQ(m_canvas.PixelAt(15, 31), background) << "no shadow unless asked";
}

TEST_F(DrawingSuitesTest, WholeArcIsACircleAroundItsCentre) {
    const uint32_t background = Background();
    Run([](const Drawing& d) {
        DRAWBOT_PathRef path = d.NewPath();
        const DRAWBOT_PointF32 centre{30.0f, 20.0f};
        EXPECT_EQ(d.path->AddArc(path, &centre, 10.0f, 0.0f, 360.0f), kSPNoError);
        EXPECT_EQ(d.theme->PF_StrokePath(d.ref, path, 0), kSPNoError);
        d.Release(path);
    });
    for (const auto& [x, y] : std::vector<std::pair<int, int>>{{40, 20}, {20, 20}, {30, 30}, {30, 10}}) {
        EXPECT_NE(m_canvas.PixelAt(x, y), background) << x << "," << y;
    }
    EXPECT_EQ(m_canvas.PixelAt(30, 20), background);
    EXPECT_EQ(m_canvas.PixelAt(40, 30), background) << "a circle, not a square";
}

struct ArcCase {
    const char* name;
    double start;
    double sweep;
    double startX, startY;   // where the arc begins, centre (50, 50), radius 10
    double endX, endY;       // where the pen is afterwards
    bool closed;
};

class ArcTest : public testing::TestWithParam<ArcCase> {};

// Degrees from +x, clockwise on screen since y points down.
TEST_P(ArcTest, AnglesAreDegreesClockwiseFromPlusX) {
    const ArcCase& c = GetParam();
    CanvasPath path;
    path.AddArc(50.0, 50.0, 10.0, c.start, c.sweep);
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
    cairo_t* cr = cairo_create(surface);
    path.AppendTo(cr);
    double x = 0.0;
    double y = 0.0;
    cairo_get_current_point(cr, &x, &y);
    cairo_path_t* copy = cairo_copy_path(cr);
    ASSERT_EQ(copy->status, CAIRO_STATUS_SUCCESS);
    ASSERT_GT(copy->num_data, 0);
    ASSERT_EQ(copy->data[0].header.type, CAIRO_PATH_MOVE_TO);
    const double firstX = copy->data[1].point.x;
    const double firstY = copy->data[1].point.y;
    bool closed = false;
    for (int i = 0; i < copy->num_data; i += copy->data[i].header.length) {
        closed = closed || copy->data[i].header.type == CAIRO_PATH_CLOSE_PATH;
    }
    cairo_path_destroy(copy);
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    // Cairo keeps points in 24.8 fixed point, so these whole values come back exactly.
    EXPECT_EQ(firstX, c.startX);
    EXPECT_EQ(firstY, c.startY);
    EXPECT_EQ(x, c.endX);
    EXPECT_EQ(y, c.endY);
    EXPECT_EQ(closed, c.closed);
}

INSTANTIATE_TEST_SUITE_P(Drawing, ArcTest,
                         testing::Values(ArcCase{"whole_from_0", 0, 360, 60, 50, 60, 50, true},
                                         ArcCase{"quarter_clockwise", 0, 90, 60, 50, 50, 60, false},
                                         ArcCase{"quarter_back", 0, -90, 60, 50, 50, 40, false},
                                         ArcCase{"half_from_90", 90, 180, 50, 60, 50, 40, false},
                                         ArcCase{"whole_from_180", 180, 360, 40, 50, 40, 50, true},
                                         ArcCase{"whole_backwards", 0, -360, 60, 50, 60, 50, true},
                                         ArcCase{"more_than_whole", 270, 720, 50, 40, 50, 40, true}),
                         CaseName());

}   // namespace
}   // namespace corvelle
