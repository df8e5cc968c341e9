// Drives the effect module through a fresh headless host per fuzz input: set-up, parameter
// values of every form, a render in any pixel layout, and window events, all chosen by the input.
#include "controls/DragSession.h"
#include "suites/DrawingSuites.h"
#include "controls/EventWindow.h"
#include "core/Host.h"
#include "core/ModuleLibrary.h"
#include "controls/OverlayCanvas.h"
#include "core/World.h"

#include "host/AE_EffectSuites.h"
#include "host/DrawbotSuiteTypes.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace corvelle;

// Small worlds and one thread: the effect's branches do not need many pixels, and each input
// must take well under a millisecond for the fuzzer to get anywhere.
constexpr A_long kMaxSide = 24;
constexpr A_long kMaxPadChannels = 12;
// Larger windows still get clicks and drags, only no canvas to draw on.
constexpr long kMaxCanvasPixels = 96L * 96L;
constexpr int kMaxWindows = 3;
constexpr int kMaxSteps = 32;

const ModuleLibrary& Module() {
    static const ModuleLibrary library(CORVELLE_FUZZ_MODULE_PATH);
    return library;
}

[[noreturn]] void Fail(const std::string& why) {
    std::fprintf(stderr, "corvelle: fuzzing: %s\n", why.c_str());
    std::abort();
}

// The host refuses what it never serves (an undeclared format, a zero denominator, a window
// too large) with HostError, and that is fine. A HostError after the module ran means it let an
// exception escape or left a suite, pen or path unbalanced: a fault of the module.
template <class Step>
void Attempt(const Host& host, Step&& step) {
    try {
        step();
    } catch (const HostError& error) {
        if (!host.LastCommandProblems().empty() || std::strstr(error.what(), "escaped") != nullptr) {
            Fail(error.what());
        }
    }
}

// Mostly a value from the interesting range, sometimes any 32-bit value.
int32_t PickInt(FuzzedDataProvider& in, int32_t lo, int32_t hi) {
    if (in.ConsumeIntegralInRange<int>(0, 7) == 0) {
        return in.ConsumeIntegral<int32_t>();
    }
    return in.ConsumeIntegralInRange<int32_t>(lo, hi);
}

PF_Fixed PickFixed(FuzzedDataProvider& in, int32_t loWhole, int32_t hiWhole) {
    switch (in.ConsumeIntegralInRange<int>(0, 7)) {
    case 0: return in.ConsumeIntegral<int32_t>();
    case 1:
        return in.PickValueInArray({std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(),
                                    int32_t{-1}, int32_t{0}, int32_t{1}, int32_t{0x8000}});
    case 2: return in.ConsumeIntegralInRange<int32_t>(loWhole, hiWhole) * 65536;
    default: return in.ConsumeIntegralInRange<int32_t>(loWhole * 65536, hiWhole * 65536);
    }
}

double PickDouble(FuzzedDataProvider& in, double lo, double hi) {
    switch (in.ConsumeIntegralInRange<int>(0, 5)) {
    case 0:
        return in.PickValueInArray(
            {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
             -std::numeric_limits<double>::infinity(), std::numeric_limits<double>::max(),
             -std::numeric_limits<double>::max(), std::numeric_limits<double>::denorm_min(),
             std::numeric_limits<double>::min(), -0.0, 0.0, 0.5, 1.0, 1e10, -1e10, 3e9});
    case 1: {
        const uint64_t bits = in.ConsumeIntegral<uint64_t>();
        double value = 0.0;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    case 2:
        return static_cast<double>(
            in.ConsumeIntegralInRange<int32_t>(static_cast<int32_t>(lo), static_cast<int32_t>(hi)));
    default: return in.ConsumeFloatingPointInRange<double>(lo, hi);
    }
}

float PickFloat(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 0:
        return in.PickValueInArray(
            {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
             -std::numeric_limits<float>::infinity(), std::numeric_limits<float>::max(),
             -std::numeric_limits<float>::max(), std::numeric_limits<float>::denorm_min(), -0.0f, 0.0f, 1.0f,
             -1.0f, 2.0f, 1e-30f});
    case 1: {
        const uint32_t bits = in.ConsumeIntegral<uint32_t>();
        float value = 0.0f;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    default: return static_cast<float>(in.ConsumeIntegral<uint8_t>()) / 255.0f;
    }
}

PF_RationalScale PickScale(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange<int>(0, 5)) {
    case 0: return PF_RationalScale{in.ConsumeIntegral<A_long>(), in.ConsumeIntegral<A_u_long>()};
    case 1:
        return PF_RationalScale{in.ConsumeIntegralInRange<A_long>(-2, 3),
                                in.ConsumeIntegralInRange<A_u_long>(0, 3)};
    case 2:
        return PF_RationalScale{in.ConsumeIntegralInRange<A_long>(1, 4),
                                in.ConsumeIntegralInRange<A_u_long>(1, 16)};
    default: return PF_RationalScale{1, 1};
    }
}

HostSettings PickSettings(FuzzedDataProvider& in) {
    HostSettings settings;
    settings.app = in.ConsumeBool() ? HostApp::Premiere : HostApp::AfterEffects;
    settings.layerWidth = PickInt(in, 0, kMaxSide);
    settings.layerHeight = PickInt(in, 0, kMaxSide);
    settings.downsampleX = PickScale(in);
    settings.downsampleY = in.ConsumeBool() ? settings.downsampleX : PickScale(in);
    settings.pixelAspect = PickScale(in);
    settings.quality = PickInt(in, PF_Quality_LO, PF_Quality_HI);
    settings.threads = 1;
    settings.currentTime = in.ConsumeIntegral<A_long>();
    return settings;
}

// Any one fault of the host's plan, or none; returns whether one was planned.
bool PlanFault(FuzzedDataProvider& in, FaultPlan& faults) {
    static const char* const kSuites[] = {kPFANSISuite,           kPFParamUtilsSuite,
                                          kPFIterate8Suite,       kPFIterate16Suite,
                                          kPFWorldTransformSuite, kPFPixelFormatSuite,
                                          kPFEffectCustomUISuite, kPFEffectCustomUIOverlayThemeSuite,
                                          kDRAWBOT_DrawSuite,     kDRAWBOT_SupplierSuite,
                                          kDRAWBOT_SurfaceSuite,  kDRAWBOT_PathSuite};
    static const char* const kFunctions[] = {"AcquireSuite",
                                             "sprintf",
                                             "strcpy",
                                             "copy",
                                             "copy_hq",
                                             "add_param",
                                             "register_ui",
                                             "PF_UpdateParamUI",
                                             "iterate",
                                             "AddSupportedPixelFormat",
                                             "ClearSupportedPixelFormats",
                                             "GetPixelFormat",
                                             "PF_GetDrawingReference",
                                             "PF_StrokePath",
                                             "GetSupplier",
                                             "GetSurface",
                                             "NewPen",
                                             "NewPath",
                                             "RetainObject",
                                             "ReleaseObject",
                                             "StrokePath",
                                             "MoveTo",
                                             "LineTo",
                                             "AddArc",
                                             "Close",
                                             "layer_to_comp",
                                             "comp_to_layer",
                                             "source_to_frame",
                                             "frame_to_source"};
    switch (in.ConsumeIntegralInRange<int>(0, 15)) {
    case 0: faults.refusedSuites.insert({in.PickValueInArray(kSuites), 1}); return true;
    case 1: faults.withholdBasicSuite = true; return true;
    case 2: faults.failAddParamAt = in.ConsumeIntegralInRange<int>(1, 14); return true;
    case 3: faults.registerUIError = PF_Err_OUT_OF_MEMORY; return true;
    case 4: faults.failUpdateParamUIIndex = in.ConsumeIntegralInRange<int>(-1, 13); return true;
    case 5:
    case 6:
        faults.failNthCall[in.PickValueInArray(kFunctions)] = in.ConsumeIntegralInRange<int>(1, 40);
        faults.callFailureError = in.ConsumeIntegral<PF_Err>();
        return true;
    case 7: faults.noDrawingReference = true; return true;
    case 8: faults.pixelFormatOverride = in.ConsumeIntegral<PrPixelFormat>(); return true;
    default: return false;
    }
}

void PickValue(FuzzedDataProvider& in, PF_ParamDef& def) {
    switch (def.param_type) {
    case PF_Param_POPUP: def.u.pd.value = PickInt(in, -1, 27); break;
    case PF_Param_CHECKBOX: def.u.bd.value = PickInt(in, 0, 1); break;
    case PF_Param_ANGLE: def.u.ad.value = PickFixed(in, -1080, 1080); break;
    case PF_Param_FIX_SLIDER: def.u.fd.value = PickFixed(in, -10, 110); break;
    case PF_Param_FLOAT_SLIDER: def.u.fs_d.value = PickDouble(in, -100.0, 16000.0); break;
    case PF_Param_POINT:
        def.u.td.x_value = PickFixed(in, -2 * kMaxSide, 3 * kMaxSide);
        def.u.td.y_value = PickFixed(in, -2 * kMaxSide, 3 * kMaxSide);
        break;
    case PF_Param_COLOR:
        def.u.cd.value = PF_Pixel{in.ConsumeIntegral<A_u_char>(), in.ConsumeIntegral<A_u_char>(),
                                  in.ConsumeIntegral<A_u_char>(), in.ConsumeIntegral<A_u_char>()};
        break;
    default: break;
    }
}

void ChangeSomeParam(FuzzedDataProvider& in, Host& host) {
    if (host.ParamCount() < 2) {
        return;
    }
    const int index = in.ConsumeIntegralInRange<int>(1, static_cast<int>(host.ParamCount()) - 1);
    Attempt(host, [&] { host.ChangeParam(index, [&](PF_ParamDef& def) { PickValue(in, def); }); });
}

void FillPixels(FuzzedDataProvider& in, World& world) {
    const std::size_t rowBytes = BytesPerPixel(world.Layout()) * static_cast<std::size_t>(world.Width());
    const bool floats = world.Layout() == PixelLayout::BgraFloat && in.ConsumeBool();
    for (A_long y = 0; y < world.Height(); ++y) {
        uint8_t* row = world.Row(y);
        if (floats) {
            for (std::size_t i = 0; i < rowBytes; i += sizeof(float)) {
                const float value = PickFloat(in);
                std::memcpy(row + i, &value, sizeof value);
            }
        } else {
            const std::vector<uint8_t> bytes = in.ConsumeBytes<uint8_t>(rowBytes);
            std::copy(bytes.begin(), bytes.end(), row);
        }
    }
}

// Row padding in whole channels: a host keeps every channel of every row aligned.
A_long PickPadding(FuzzedDataProvider& in, PixelLayout layout) {
    const A_long channelBytes = static_cast<A_long>(BytesPerPixel(layout) / 4);
    return in.ConsumeIntegralInRange<A_long>(0, kMaxPadChannels) * channelBytes;
}

// The compositor renders ARGB, the editor BGRA, but any layout may be asked for.
PixelLayout PickLayout(FuzzedDataProvider& in, HostApp app) {
    if (in.ConsumeIntegralInRange<int>(0, 7) == 0) {
        return in.PickValueInArray(
            {PixelLayout::Argb8, PixelLayout::Argb16, PixelLayout::Bgra8, PixelLayout::BgraFloat});
    }
    if (app == HostApp::Premiere) {
        return in.ConsumeBool() ? PixelLayout::Bgra8 : PixelLayout::BgraFloat;
    }
    return in.ConsumeBool() ? PixelLayout::Argb8 : PixelLayout::Argb16;
}

bool OpacityIsZero(Host& host) {
    for (std::size_t i = 1; i < host.ParamCount(); ++i) {
        const PF_ParamDef& def = host.Param(static_cast<int>(i));
        if (def.param_type == PF_Param_FIX_SLIDER) {
            return def.u.fd.value == 0;
        }
    }
    return false;
}

// Renders and checks what holds whatever the parameters: the input is only read, nothing is
// written outside the output's pixels, and zero opacity copies the input.
void RenderOnce(FuzzedDataProvider& in, Host& host, PixelLayout layout, bool faulty, World& output) {
    const A_long width = output.Width();
    const A_long height = output.Height();
    const bool sameSize = in.ConsumeIntegralInRange<int>(0, 5) != 0;
    World input(layout, sameSize ? width : in.ConsumeIntegralInRange<A_long>(0, kMaxSide),
                sameSize ? height : in.ConsumeIntegralInRange<A_long>(0, kMaxSide), PickPadding(in, layout));
    FillPixels(in, input);
    const World before = input;
    PF_Err err = PF_Err_NONE;
    bool rendered = false;
    Attempt(host, [&] {
        err = host.Render(input, output);
        rendered = true;
    });
    if (!input.SamePixels(before) || !input.PaddingIntact()) {
        Fail("the render changed its input");
    }
    if (!output.PaddingIntact()) {
        Fail("the render wrote past the output's rows");
    }
    if (rendered && !faulty && err == PF_Err_NONE && sameSize && OpacityIsZero(host) &&
        !output.SamePixels(input)) {
        Fail("zero opacity did not copy the input");
    }
}

WindowOptions PickWindow(FuzzedDataProvider& in) {
    WindowOptions options;
    options.kind = in.ConsumeBool() ? WindowKind::Comp : WindowKind::Layer;
    switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 0: options.zoom = PickDouble(in, 1e-3, 1e4); break;
    case 1: options.zoom = in.PickValueInArray({0.03125, 0.25, 0.5, 2.0, 4.0, 8.0}); break;
    default: options.zoom = 1.0; break;
    }
    if (in.ConsumeBool()) {
        options.offsetX = PickDouble(in, -64.0, 64.0);
        options.offsetY = PickDouble(in, -64.0, 64.0);
    }
    if (options.kind == WindowKind::Comp && in.ConsumeBool()) {
        options.layerPosX = PickDouble(in, -64.0, 64.0);
        options.layerPosY = PickDouble(in, -64.0, 64.0);
    }
    return options;
}

WindowPixel PickPoint(FuzzedDataProvider& in, const EventWindow& window) {
    if (in.ConsumeIntegralInRange<int>(0, 7) == 0) {
        return WindowPixel{in.ConsumeIntegral<int>(), in.ConsumeIntegral<int>()};
    }
    return WindowPixel{in.ConsumeIntegralInRange<int>(-8, window.Width() + 8),
                       in.ConsumeIntegralInRange<int>(-8, window.Height() + 8)};
}

// An event record no drag session would send: another event or window type, or a drag
// carrying any handle number.
void SendOddEvent(FuzzedDataProvider& in, Host& host, EventWindow& window) {
    const PF_EventType type = static_cast<PF_EventType>(PickInt(in, PF_Event_NEW_CONTEXT, PF_Event_IDLE));
    PF_EventExtra event = window.NewEvent(type);
    if (type == PF_Event_DO_CLICK || type == PF_Event_DRAG) {
        PF_DoClickEventInfo& click = event.u.do_click;
        const WindowPixel at = PickPoint(in, window);
        click.screen_point = PF_Point{at.x, at.y};
        click.continue_refcon[0] = PickInt(in, -1, 11);
        click.send_drag = in.ConsumeBool();
        click.last_time = in.ConsumeBool();
    }
    PF_Context& context = **window.Context();
    const PF_WindowType kind = context.w_type;
    if (in.ConsumeBool()) {
        context.w_type = PickInt(in, -1, PF_Window_EFFECT + 1);
    }
    Attempt(host, [&] { host.Event(event); });
    context.w_type = kind;
}

bool Showable(double scale) {
    return scale >= 1e-6 && scale <= 1e6;
}

void RunWindow(FuzzedDataProvider& in, Host& host, const World& rendered) {
    std::unique_ptr<EventWindow> window;
    const WindowOptions options = PickWindow(in);
    Attempt(host, [&] {
        window = std::make_unique<EventWindow>(host, options, host.Settings().layerWidth,
                                               host.Settings().layerHeight);
    });
    if (!window) {
        return;
    }
    // Declared before the drawing suites, which draw on it and go first.
    std::unique_ptr<OverlayCanvas> canvas;
    std::unique_ptr<DrawingSuites> drawing;
    if (static_cast<long>(window->Width()) * window->Height() <= kMaxCanvasPixels &&
        in.ConsumeIntegralInRange<int>(0, 7) != 0) {
        canvas = std::make_unique<OverlayCanvas>(window->Width(), window->Height());
        const HostSettings& settings = host.Settings();
        const double scaleX =
            options.zoom * static_cast<double>(settings.downsampleX.den) / settings.downsampleX.num;
        const double scaleY =
            options.zoom * static_cast<double>(settings.downsampleY.den) / settings.downsampleY.num;
        bool painted = true;
        // Cairo keeps a singular scale as an error that poisons the canvas, and the commands
        // never ask for one, so the layer is painted only at a scale a window can show.
        if (in.ConsumeBool() && Showable(scaleX) && Showable(scaleY)) {
            painted = false;
            Attempt(host, [&] {
                canvas->PaintLayer(rendered, window->LayerLeft(), window->LayerTop(), scaleX, scaleY);
                painted = true;
            });
        }
        if (painted) {
            drawing = std::make_unique<DrawingSuites>(host, *canvas);
            drawing->AddContext(window->Context());
        }
    }
    DragSession drag(host, *window);
    const int steps = in.ConsumeIntegralInRange<int>(0, kMaxSteps);
    for (int step = 0; step < steps && in.remaining_bytes() > 0; ++step) {
        switch (in.ConsumeIntegralInRange<int>(0, 7)) {
        case 0: {
            PF_EventExtra event = window->NewEvent(PF_Event_DRAW);
            Attempt(host, [&] { host.Event(event); });
            break;
        }
        case 1: Attempt(host, [&] { drag.Press(PickPoint(in, *window)); }); break;
        case 2:
        case 3: Attempt(host, [&] { drag.Move(PickPoint(in, *window)); }); break;
        case 4: Attempt(host, [&] { drag.Release(PickPoint(in, *window)); }); break;
        case 5: ChangeSomeParam(in, host); break;
        case 6: SendOddEvent(in, host, *window); break;
        case 7: Attempt(host, [&] { host.UpdateParamsUI(); }); break;
        }
    }
}

// Selectors the module answers with nothing but 0, sent as a host may.
void SendOtherCommand(FuzzedDataProvider& in, Host& host) {
    const PF_Cmd cmd = in.PickValueInArray(
        {PF_Cmd_ABOUT, PF_Cmd_GLOBAL_SETDOWN, PF_Cmd_SEQUENCE_SETUP, PF_Cmd_FRAME_SETUP,
         PF_Cmd_USER_CHANGED_PARAM, PF_Cmd_UPDATE_PARAMS_UI, PF_Cmd_SMART_PRE_RENDER, PF_Cmd_SMART_RENDER});
    Attempt(host, [&] { host.Command(cmd); });
}

void RunOne(FuzzedDataProvider& in) {
    const HostSettings settings = PickSettings(in);
    Host host(Module().Entry(), settings);
    host.SetBalancePolicy(BalancePolicy::Throw);
    host.Trace().SetEnabled(false);   // nothing reads it, and recording costs more than the calls
    const bool faulty = PlanFault(in, host.Faults());

    // A host drops an instance whose set-up failed, so such an input ends there.
    PF_Err err = PF_Err_INTERNAL_STRUCT_DAMAGED;
    Attempt(host, [&] { err = host.GlobalSetup(); });
    if (err != PF_Err_NONE) {
        if (!faulty) {
            Fail("Global setup failed with error " + std::to_string(err) +
                 " though the host refused nothing");
        }
        return;
    }
    err = PF_Err_INTERNAL_STRUCT_DAMAGED;
    Attempt(host, [&] { err = host.ParamsSetup(); });
    if (err != PF_Err_NONE || host.ParamCount() < 2) {
        if (!faulty) {
            Fail("Parameters setup failed with error " + std::to_string(err) +
                 " though the host refused nothing");
        }
        return;
    }

    const int changes = in.ConsumeIntegralInRange<int>(0, 16);
    for (int i = 0; i < changes; ++i) {
        ChangeSomeParam(in, host);
    }
    if (in.ConsumeIntegralInRange<int>(0, 7) == 0) {
        SendOtherCommand(in, host);
    }

    const PixelLayout layout = PickLayout(in, settings.app);
    World output(layout, in.ConsumeIntegralInRange<A_long>(0, kMaxSide),
                 in.ConsumeIntegralInRange<A_long>(0, kMaxSide), PickPadding(in, layout));
    RenderOnce(in, host, layout, faulty, output);

    const int windows = in.ConsumeIntegralInRange<int>(0, kMaxWindows);
    for (int i = 0; i < windows && in.remaining_bytes() > 0; ++i) {
        RunWindow(in, host, output);
        if (in.ConsumeBool()) {
            RenderOnce(in, host, layout, faulty, output);
        }
    }
}

}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    RunOne(in);
    return 0;
}
