// The public API against the built module: what a front-end sees of parameters, renders,
// errors and the controls.
#include "CaseName.h"
#include "ModuleUnderTest.h"
#include "RenderTestSupport.h"
#include "params/ParamSnapshot.h"
#include "testing/Testing.h"

#include <corvelle/convert.h>
#include <corvelle/corvelle.h>
#include <corvelle/pictures.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace corvelle {
namespace {

LoadOptions Options(HostKind host = HostKind::Compositor, int width = 1920, int height = 1080) {
    LoadOptions options;
    options.modulePath = CORVELLE_MODULE_PATH;
    options.host = host;
    options.layerWidth = width;
    options.layerHeight = height;
    return options;
}

std::size_t UIUpdates(Effect& effect) {
    return Internals(effect).host.Trace().Count("PF_UpdateParamUI");
}

TEST(EffectParamsTest, ListsTheThirteenParametersWithKeysRangesAndChoices) {
    Effect effect(Options());
    const std::vector<ParamInfo> params = effect.Params();
    ASSERT_EQ(params.size(), 13u);
    std::vector<std::string> keys;
    for (const ParamInfo& p : params) {
        keys.push_back(p.key);
        EXPECT_EQ(p.index, static_cast<int>(keys.size()));
        EXPECT_TRUE(p.enabled) << p.key;
        EXPECT_EQ(p.animatable, p.type != ParamType::Popup && p.type != ParamType::Checkbox) << p.key;
    }
    EXPECT_EQ(std::count(keys.begin(), keys.end(), "mask_only"), 1);
    const ParamInfo width = effect.Param("width");
    EXPECT_EQ(width.type, ParamType::FloatSlider);
    EXPECT_EQ(width.validMin, 0.0);
    EXPECT_EQ(width.validMax, 15000.0);
    EXPECT_EQ(width.defaultValue.number, 300.0);
    EXPECT_EQ(effect.Param("blend").choices.size(), 23u);
    EXPECT_EQ(effect.Param("origin").defaultValue.x, 960.0) << "a point default is a share of the layer";
    EXPECT_EQ(effect.Get("opacity").number, 25.0);
}

TEST(EffectParamsTest, AKeyTheShownNameAndThePersistentIdFindTheSameParameter) {
    Effect effect(Options());
    const ParamInfo byKey = effect.Param("blend");
    EXPECT_EQ(effect.Param(byKey.name).index, byKey.index);
    EXPECT_EQ(effect.Param(byKey.id).index, byKey.index);
    effect.SetChoice(effect.Param(byKey.id).key, 3);
    EXPECT_EQ(effect.Get(byKey.id).choice, 3);
    EXPECT_EQ(effect.Get(byKey.id).choice, effect.Get("blend").choice);
    try {
        effect.Param("sparkle");
        ADD_FAILURE() << "an unknown name was found";
    } catch (const Error& e) {
        EXPECT_EQ(e.Kind(), ErrorKind::BadValue);
    }
}

struct SetCase {
    const char* name;
    void (*set)(Effect&);
    bool refused;
};

class EffectSetterTest : public testing::TestWithParam<SetCase> {};

TEST_P(EffectSetterTest, RefusesWhatTheHostWouldRefuseAndStoresTheRest) {
    Effect effect(Options());
    const nlohmann::ordered_json before = ParamSnapshot(Internals(effect).host);
    if (!GetParam().refused) {
        GetParam().set(effect);
        EXPECT_NE(ParamSnapshot(Internals(effect).host), before);
        return;
    }
    try {
        GetParam().set(effect);
        ADD_FAILURE() << "accepted";
    } catch (const Error& e) {
        EXPECT_EQ(e.Kind(), ErrorKind::BadValue);
    }
    EXPECT_EQ(ParamSnapshot(Internals(effect).host), before) << "a refused value changed the effect";
}

INSTANTIATE_TEST_SUITE_P(
    Values, EffectSetterTest,
    testing::Values(
        SetCase{"width_in_range", [](Effect& e) { e.SetNumber("width", 15000.0); }, false},
        SetCase{"width_above_range", [](Effect& e) { e.SetNumber("width", 15000.5); }, true},
        SetCase{"feather_negative", [](Effect& e) { e.SetNumber("feather", -1.0); }, true},
        SetCase{"width_nan", [](Effect& e) { e.SetNumber("width", std::nan("")); }, true},
        SetCase{"width_nan_even_clamped",
                [](Effect& e) { e.SetNumber("width", std::nan(""), OutOfRange::Clamp); }, true},
        SetCase{"opacity_above_range", [](Effect& e) { e.SetNumber("opacity", 100.5); }, true},
        SetCase{"number_on_a_popup", [](Effect& e) { e.SetNumber("blend", 2.0); }, true},
        SetCase{"choice_on_a_slider", [](Effect& e) { e.SetChoice("width", 2); }, true},
        SetCase{"unknown_choice", [](Effect& e) { e.SetChoice("blend", "subtract"); }, true},
        SetCase{"empty_choice", [](Effect& e) { e.SetChoice("blend", ""); }, true},
        SetCase{"choice_by_shown_name", [](Effect& e) { e.SetChoice("blend", "soft-light"); }, false},
        SetCase{"choice_zero", [](Effect& e) { e.SetChoice("blend", 0); }, true},
        SetCase{"choice_negative", [](Effect& e) { e.SetChoice("blend", -1); }, true},
        SetCase{"choice_past_the_last", [](Effect& e) { e.SetChoice("blend", 99); }, true},
        SetCase{"shape_past_the_last", [](Effect& e) { e.SetChoice("shape", 3); }, true},
        SetCase{"shape_last_choice", [](Effect& e) { e.SetChoice("shape", 2); }, false},
        SetCase{"choice_clamped_to_the_last", [](Effect& e) { e.SetChoice("blend", 99, OutOfRange::Clamp); },
                false},
        SetCase{"point_outside_fixed_range", [](Effect& e) { e.SetPoint("origin", 1e9, 0.0); }, true},
        SetCase{"angle_any_turn", [](Effect& e) { e.SetNumber("angle", -720.25); }, false}),
    testing_support::CaseName());

TEST(EffectParamsTest, ClampingKeepsAValueInsideTheValidRange) {
    Effect effect(Options());
    effect.SetNumber("width", 1e9, OutOfRange::Clamp);
    effect.SetNumber("feather", -5.0, OutOfRange::Clamp);
    effect.SetNumber("opacity", 250.0, OutOfRange::Clamp);
    EXPECT_EQ(effect.Get("width").number, 15000.0);
    EXPECT_EQ(effect.Get("feather").number, 0.0);
    EXPECT_EQ(effect.Get("opacity").number, 100.0);
    for (const auto& [asked, kept] : {std::pair{99, 2}, {-1, 1}, {0, 1}, {7, 2}}) {
        effect.SetChoice("shape", asked, OutOfRange::Clamp);
        EXPECT_EQ(effect.Get("shape").choice, kept) << asked;
    }
}

TEST(EffectParamsTest, FixedValuesRoundTiesAwayFromZero) {
    Effect effect(Options());
    effect.SetNumber("angle", -0.5 / 65536.0);
    EXPECT_EQ(Internals(effect).host.Param(effect.Param("angle").index).u.ad.value, -1);
    effect.SetNumber("angle", 1.5 / 65536.0);
    EXPECT_EQ(Internals(effect).host.Param(effect.Param("angle").index).u.ad.value, 2);
}

TEST(EffectParamsTest, MaskOnlyRenamesAndGreysAndAnUnchangedValueSendsNothing) {
    Effect effect(Options());
    Internals(effect).host.Trace().SetEnabled(true);
    const std::size_t start = UIUpdates(effect);
    effect.SetCheckbox("mask_only", false);
    EXPECT_EQ(UIUpdates(effect), start) << "setting the value it has must not run the UI update";
    effect.SetCheckbox("mask_only", true);
    EXPECT_GT(UIUpdates(effect), start);
    EXPECT_FALSE(effect.Param("blend").enabled);
    EXPECT_FALSE(effect.Param("opacity").enabled);
    EXPECT_NE(effect.Param("blend").name, "Blending mode");
    EXPECT_EQ(effect.Param(effect.Param("blend").name).key, "blend") << "the shown name finds it too";
}

// ---- Renders ---------------------------------------------------------------------------------

struct FormatCase {
    const char* name;
    HostKind host;
    PixelFormat format;
};

class EffectRenderTest : public testing::TestWithParam<FormatCase> {};

TEST_P(EffectRenderTest, CallerBuffersWithPaddedRowsGiveTheHostsBytes) {
    const FormatCase& c = GetParam();
    constexpr int kW = 97;
    constexpr int kH = 41;
    Effect effect(Options(c.host, kW, kH));
    effect.SetNumber("width", 60.0);
    effect.SetNumber("feather", 20.0);
    effect.SetChoice("blend", "screen");

    const World picture = TestPictureWorld(c.format, kW, kH);
    World expected(c.format, kW, kH);
    World input = picture;
    ASSERT_EQ(Internals(effect).host.Render(input, expected), PF_Err_NONE);

    const std::size_t pixelBytes = BytesPerPixel(c.format);
    const std::ptrdiff_t rowBytes = static_cast<std::ptrdiff_t>(kW * pixelBytes + 24);
    std::vector<uint8_t> in(static_cast<std::size_t>(rowBytes) * kH, 0xAB);
    std::vector<uint8_t> out(static_cast<std::size_t>(rowBytes) * kH, 0xEE);
    for (int y = 0; y < kH; ++y) {
        std::memcpy(in.data() + y * rowBytes, picture.Row(y), kW * pixelBytes);
    }
    effect.Render(ConstImageView{in.data(), kW, kH, rowBytes, c.format},
                  ImageView{out.data(), kW, kH, rowBytes, c.format});
    for (int y = 0; y < kH; ++y) {
        ASSERT_EQ(std::memcmp(out.data() + y * rowBytes, expected.Row(y), kW * pixelBytes), 0) << "row " << y;
        for (std::size_t pad = kW * pixelBytes; pad < static_cast<std::size_t>(rowBytes); ++pad) {
            ASSERT_EQ(out[y * rowBytes + pad], 0xEE) << "padding written in row " << y;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, EffectRenderTest,
                         testing::Values(FormatCase{"argb8", HostKind::Compositor, PixelFormat::Argb8},
                                         FormatCase{"argb16", HostKind::Compositor, PixelFormat::Argb16},
                                         FormatCase{"bgra8", HostKind::Editor, PixelFormat::Bgra8},
                                         FormatCase{"bgra_float", HostKind::Editor, PixelFormat::BgraFloat}),
                         testing_support::CaseName());

TEST(EffectRenderErrorsTest, WrongSizesFormatsAndModulesAreReportedByKind) {
    Effect effect(Options(HostKind::Compositor, 8, 4));
    std::vector<uint8_t> buffer(8 * 4 * 16);
    const ConstImageView in{buffer.data(), 8, 4, 32, PixelFormat::Argb8};
    const auto kindOf = [](auto&& call) {
        try {
            call();
        } catch (const Error& e) {
            return e.Kind();
        }
        return ErrorKind::Host;
    };
    EXPECT_EQ(kindOf([&] {
                  effect.Render(in, ImageView{buffer.data(), 7, 4, 32, PixelFormat::Argb8});
              }),
              ErrorKind::BadValue);
    EXPECT_EQ(kindOf([&] {
                  effect.Render(in, ImageView{buffer.data(), 8, 4, 16, PixelFormat::Argb8});
              }),
              ErrorKind::BadValue)
        << "rows too short";
    EXPECT_EQ(kindOf([&] {
                  effect.Render(ConstImageView{buffer.data(), 8, 4, 128, PixelFormat::BgraFloat},
                                ImageView{buffer.data(), 8, 4, 128, PixelFormat::BgraFloat});
              }),
              ErrorKind::BadValue)
        << "the compositor renders no float";
    LoadOptions missing = Options();
    missing.modulePath = "/nonexistent/Corvelle.so";
    EXPECT_EQ(kindOf([&] { Effect failed(missing); }), ErrorKind::Load);
    EXPECT_EQ(kindOf([&] { Effect failed(Options(HostKind::Compositor, 0, 10)); }), ErrorKind::BadValue);
}

TEST(EffectRenderTest, DownsampledOutputsTakeTheDownsampledSize) {
    Effect effect(Options(HostKind::Compositor, 10, 7));
    RenderSettings settings;
    settings.downsampleX = Rational{1, 2};
    settings.downsampleY = Rational{1, 3};
    effect.SetRenderSettings(settings);
    std::vector<uint8_t> in(10 * 7 * 4, 200);
    std::vector<uint8_t> out(5 * 3 * 4, 0);
    effect.Render(ConstImageView{in.data(), 10, 7, 40, PixelFormat::Argb8},
                  ImageView{out.data(), 5, 3, 20, PixelFormat::Argb8});
    EXPECT_THROW(effect.Render(ConstImageView{in.data(), 10, 7, 40, PixelFormat::Argb8},
                               ImageView{out.data(), 5, 2, 20, PixelFormat::Argb8}),
                 Error);
}

TEST(EffectRenderTest, RenderSettingsGivenAtLoadHoldFromTheFirstCommand) {
    LoadOptions load = Options(HostKind::Compositor, 10, 7);
    load.render.downsampleX = Rational{1, 2};
    load.render.downsampleY = Rational{1, 3};
    load.render.highQuality = false;
    Effect effect(load);
    EXPECT_EQ(effect.OutputWidth(), 5);
    EXPECT_EQ(effect.OutputHeight(), 3);
    EXPECT_FALSE(effect.GetRenderSettings().highQuality);
    // The set-up commands saw them too: the host keeps one set of settings from the start.
    EXPECT_EQ(Internals(effect).host.Settings().downsampleY.den, 3u);

    load.render.downsampleX = Rational{3, 2};
    try {
        Effect refused(load);
        ADD_FAILURE() << "a downsample factor above 1 was taken";
    } catch (const Error& e) {
        EXPECT_EQ(e.Kind(), ErrorKind::BadValue);
    }
}

// ---- Controls -----------------------------------------------------------------------------------

TEST(EffectControlsTest, ACornerDragResizesAndReportsWhatChanged) {
    Effect effect(Options());
    EXPECT_EQ(effect.HitTest(1110, 640), Handle::BottomRight);
    EXPECT_FALSE(effect.Dragging()) << "a hit test grabs nothing";
    EXPECT_EQ(effect.Get("width").number, 300.0);
    EXPECT_EQ(effect.Press(1110, 640), Handle::BottomRight);
    EXPECT_TRUE(effect.Dragging());
    effect.Move(1140, 670);
    const std::vector<std::string> changed = effect.Release(1160, 690);
    EXPECT_EQ(changed, (std::vector<std::string>{"width", "height"}));
    EXPECT_EQ(effect.Get("width").number, 400.0);
    EXPECT_EQ(effect.Get("height").number, 300.0);
    EXPECT_FALSE(effect.Dragging());
    EXPECT_EQ(effect.HitTest(5, 5), Handle::None);
}

TEST(EffectControlsTest, TheWindowPictureShowsTheControlsOverTheLayer) {
    Effect effect(Options(HostKind::Compositor, 200, 100));
    WindowSpec window;
    window.zoom = 2.0;
    effect.SetWindow(window);
    ASSERT_EQ(effect.WindowWidth(), 400);
    ASSERT_EQ(effect.WindowHeight(), 200);
    std::vector<uint8_t> rgba(400 * 200 * 4);
    effect.DrawWindow(nullptr, ImageView{rgba.data(), 400, 200, 1600, PixelFormat::Argb8});
    std::size_t grey = 0;
    for (std::size_t i = 0; i < rgba.size(); i += 4) {
        grey += rgba[i] == rgba[i + 1] && rgba[i] == rgba[i + 2];
        ASSERT_EQ(rgba[i + 3], 255) << "the window is opaque";
    }
    EXPECT_LT(grey, rgba.size() / 4) << "no control was drawn";
    EXPECT_THROW(effect.DrawWindow(nullptr, ImageView{rgba.data(), 399, 200, 1600, PixelFormat::Argb8}),
                 Error);
    window.zoom = 100.0;
    EXPECT_THROW(effect.SetWindow(window), Error);
}

// The PNG holds the window DrawWindow draws, and the trace the calls the module made for it.
TEST(EffectControlsTest, TheWindowPngIsTheWindowPictureAndItsTraceTheDrawCalls) {
    const testing_support::TempDir dir;
    Effect effect(Options(HostKind::Compositor, 120, 80));
    const std::vector<uint8_t> layer(120 * 80 * 4, 90);
    const ConstImageView rendered{layer.data(), 120, 80, 480, PixelFormat::Argb8};
    std::vector<uint8_t> rgba(120 * 80 * 4);
    effect.DrawWindow(&rendered, ImageView{rgba.data(), 120, 80, 480, PixelFormat::Argb8});
    effect.WriteWindowPng(&rendered, dir / "window.png", dir / "trace.jsonl");

    const Picture png = ReadPicture(dir / "window.png", PixelFormat::Argb8);
    ASSERT_EQ(png.width, 120);
    ASSERT_EQ(png.height, 80);
    for (std::size_t i = 0; i < rgba.size(); i += 4) {
        const uint8_t argb[4] = {rgba[i + 3], rgba[i], rgba[i + 1], rgba[i + 2]};
        ASSERT_EQ(std::memcmp(argb, &png.bytes[i], 4), 0) << "pixel " << i / 4;
    }
    const std::string trace = testing_support::ReadBytes(dir / "trace.jsonl");
    EXPECT_NE(trace.find("\"PF_StrokePath\""), std::string::npos) << trace.substr(0, 200);
    EXPECT_EQ(Internals(effect).host.Trace().Enabled(), false) << "recording ends with the event";

    EXPECT_THROW(effect.WriteWindowPng(nullptr, dir / "missing/window.png"), Error);

    // A draw event that fails ends the recording too, and writes neither file.
    FaultPlan faults;
    faults.failNthCall["NewPath"] = 1;
    Effect failing = MakeEffect(Options(HostKind::Compositor, 120, 80), faults);
    EXPECT_THROW(failing.WriteWindowPng(nullptr, dir / "failed.png", dir / "failed.jsonl"), Error);
    EXPECT_FALSE(Internals(failing).host.Trace().Enabled());
    EXPECT_FALSE(std::filesystem::exists(dir / "failed.png"));
    EXPECT_FALSE(std::filesystem::exists(dir / "failed.jsonl"));
}

// The report runs the set-up commands one by one, as the host sees them.
TEST(EffectInfoTest, TheModuleReportListsWhatEachSetUpCommandTold) {
    for (const HostKind host : {HostKind::Compositor, HostKind::Editor}) {
        const nlohmann::json report =
            nlohmann::json::parse(InspectModuleJson(CORVELLE_MODULE_PATH, host, /*maskOnly=*/true));
        EXPECT_EQ(report["host"], host == HostKind::Editor ? "premiere" : "ae");
        EXPECT_EQ(report["version"]["text"], "version 1.3.0 develop build 1 (0x98001)");
        EXPECT_EQ(report["parameters"].size(), report["num_params"].get<std::size_t>());
        EXPECT_EQ(report.contains("pixel_formats"), host == HostKind::Editor);
        EXPECT_TRUE(report.contains("mask_only_update"));
    }
    try {
        InspectModuleJson("/nonexistent/Corvelle.so", HostKind::Compositor, false);
        ADD_FAILURE() << "a missing module was reported";
    } catch (const Error& e) {
        EXPECT_EQ(e.Kind(), ErrorKind::Load);
    }
}

TEST(EffectInfoTest, AboutAndVersionComeFromTheModule) {
    Effect effect(Options());
    EXPECT_EQ(effect.Version().text, "version 1.3.0 develop build 1 (0x98001)");
    EXPECT_EQ(effect.Version().major, 1);
    EXPECT_EQ(effect.About().rfind("Corvelle v1.3", 0), 0u);
}

// ---- RGBA conversions ------------------------------------------------------------------------------

TEST(ConvertTest, RgbaRoundTripsExactlyThroughEveryFormat) {
    constexpr int kW = 256;
    std::vector<uint8_t> rgba(kW * 4);
    for (int x = 0; x < kW; ++x) {
        rgba[x * 4 + 0] = static_cast<uint8_t>(x);
        rgba[x * 4 + 1] = static_cast<uint8_t>(255 - x);
        rgba[x * 4 + 2] = static_cast<uint8_t>(x * 7);
        rgba[x * 4 + 3] = static_cast<uint8_t>(x * 3);
    }
    for (PixelFormat format :
         {PixelFormat::Argb8, PixelFormat::Argb16, PixelFormat::Bgra8, PixelFormat::BgraFloat}) {
        std::vector<uint8_t> world(kW * BytesPerPixel(format));
        const ImageView view{world.data(), kW, 1, static_cast<std::ptrdiff_t>(world.size()), format};
        io::FromRgba8(rgba.data(), kW * 4, view);
        std::vector<uint8_t> back(kW * 4);
        io::ToRgba8(view, back.data(), kW * 4);
        EXPECT_EQ(back, rgba) << "format " << static_cast<int>(format);
    }
    std::vector<uint8_t> argb(4);
    io::FromRgba8(rgba.data() + 4 * 10, 4, ImageView{argb.data(), 1, 1, 4, PixelFormat::Argb8});
    EXPECT_EQ(argb, (std::vector<uint8_t>{30, 10, 245, 70})) << "alpha first, then red, green, blue";
}

struct PlacesCase {
    const char* name;
    PixelFormat format;
    int places[4];   // where red, green, blue and alpha sit in a pixel
};

class ConvertPlacesTest : public testing::TestWithParam<PlacesCase> {};

template <class T>
std::vector<double> StoredChannels(const std::vector<uint8_t>& pixel) {
    T c[4];
    std::memcpy(c, pixel.data(), sizeof c);
    return {double(c[0]), double(c[1]), double(c[2]), double(c[3])};
}

TEST_P(ConvertPlacesTest, FloatChannelsLandInTheirPlacesAndComeBack) {
    const PlacesCase& c = GetParam();
    const float rgba[4] = {0.25f, 0.5f, 0.75f, 1.0f};
    std::vector<uint8_t> pixel(BytesPerPixel(c.format));
    const ImageView view{pixel.data(), 1, 1, static_cast<std::ptrdiff_t>(pixel.size()), c.format};
    io::FromRgbaFloat(rgba, 16, view);
    const std::vector<double> stored = c.format == PixelFormat::BgraFloat ? StoredChannels<float>(pixel)
                                       : c.format == PixelFormat::Argb16  ? StoredChannels<uint16_t>(pixel)
                                                                          : StoredChannels<uint8_t>(pixel);
    // The channels rise from red to alpha, so each must sit above the one before it.
    for (int k = 1; k < 4; ++k) {
        EXPECT_LT(stored[c.places[k - 1]], stored[c.places[k]]) << "channel " << k;
    }
    float back[4];
    io::ToRgbaFloat(view, back, 16);
    const float tolerance =
        (c.format == PixelFormat::Argb8 || c.format == PixelFormat::Bgra8) ? 0.51f / 255 : 0.0f;
    for (int k = 0; k < 4; ++k) {
        EXPECT_NEAR(back[k], rgba[k], tolerance) << "channel " << k;
    }
}

const PlacesCase kPlaces[] = {
    {"argb8", PixelFormat::Argb8, {1, 2, 3, 0}},
    {"argb16", PixelFormat::Argb16, {1, 2, 3, 0}},
    {"bgra8", PixelFormat::Bgra8, {2, 1, 0, 3}},
    {"bgra_float", PixelFormat::BgraFloat, {2, 1, 0, 3}},
};

INSTANTIATE_TEST_SUITE_P(Formats, ConvertPlacesTest, testing::ValuesIn(kPlaces), testing_support::CaseName());

}   // namespace
}   // namespace corvelle
