// The 8-bit and 16-bit pixel functions take shortcuts: settled tables where a pixel's mask is
// exactly 0 or 1, and whole-pixel register arithmetic in the blends that allow it; the editor's
// float loop takes none. Fed the same values, the compositor's and the editor's 8-bit pixels and
// the compositor's 16-bit ones must agree with it after the conversion to their depth, in every
// mode, fill, falloff and shape, band pixels included, with fills that reach the ends of the range.
#include "RenderTestRig.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace corvelle::test {
namespace {

constexpr A_long kWidth = 48;
constexpr A_long kHeight = 32;

A_u_char Byte8(float value) {
    const float scaled = value * 255.0f;
    if (scaled >= 255.0f) {
        return 255;
    }
    return (scaled > 0.0f) ? (A_u_char)scaled : (A_u_char)0;
}

struct Setting {
    A_long blend;
    A_long fill;
    bool invert;
    bool maskOnly;
    A_long falloff;
    A_long shape;
    A_u_char red, green, blue;
    double opacity;
};

A_u_short Word16(float value) {
    const float scaled = value * 32768.0f;
    if (scaled >= 32768.0f) {
        return 32768;
    }
    return (scaled > 0.0f) ? (A_u_short)scaled : (A_u_short)0;
}

std::string Describe(const Setting& s) {
    return "blend " + std::to_string(s.blend) + ", fill " + std::to_string(s.fill) +
           (s.invert ? ", inverted" : "") + (s.maskOnly ? ", mask only" : "") + ", falloff " +
           std::to_string(s.falloff) + ", shape " + std::to_string(s.shape) + ", fill colour " +
           std::to_string(s.red) + "," + std::to_string(s.green) + "," + std::to_string(s.blue) +
           ", opacity " + std::to_string(s.opacity);
}

void Configure(RenderRig& rig, const Setting& s) {
    rig.Shape(s.shape, 30, 20, 12)
        .Origin(23.5, 15)
        .Angle(20)
        .Color(s.red, s.green, s.blue)
        .Opacity(s.opacity);
    rig.Popup(PARAM_BLEND_MODE, s.blend).Popup(PARAM_FILL_WITH, s.fill).Popup(PARAM_FALLOFF, s.falloff);
    rig.Checkbox(PARAM_INVERT, s.invert).Checkbox(PARAM_MASK_ONLY, s.maskOnly);
}

// The editor's float loop under `s`: the frame every integer path is held to.
void RenderFloatLoop(const Setting& s, World& floats_in, World* floats_out) {
    RenderRig editor(HostApp::Premiere);
    Configure(editor, s);
    ASSERT_EQ(editor.Render(floats_in, *floats_out), PF_Err_NONE);
}

// Every mode, fill, inversion and mask-only setting, under two fills; the falloffs and shapes
// take turns so that each meets many modes.
std::vector<Setting> AllSettings() {
    struct Fill {
        A_u_char red, green, blue;
        double opacity;
    };
    const Fill fills[] = {{210, 90, 30, 70}, {255, 0, 128, 100}};
    std::vector<Setting> settings;
    for (const Fill& colour : fills) {
        for (A_long blend = 1; blend <= 25; ++blend) {
            for (A_long fill = 1; fill <= 2; ++fill) {
                for (const bool invert : {false, true}) {
                    for (const bool mask_only : {false, true}) {
                        const int index = (int)settings.size();
                        settings.push_back(Setting{blend, fill, invert, mask_only, 1 + index % 6,
                                                   1 + (index / 6) % 2, colour.red, colour.green, colour.blue,
                                                   colour.opacity});
                    }
                }
            }
        }
    }
    return settings;
}

TEST(PathAgreement, EightBitMatchesTheFloatLoopEverywhere) {
    World bytes_in(PixelLayout::Argb8, kWidth, kHeight, 4);
    FillPattern(bytes_in);
    World floats_in(PixelLayout::BgraFloat, kWidth, kHeight);
    World bgra_in(PixelLayout::Bgra8, kWidth, kHeight);
    for (A_long y = 0; y < kHeight; ++y) {
        for (A_long x = 0; x < kWidth; ++x) {
            const uint8_t* p = bytes_in.PixelAt(x, y);
            uint8_t* q = bgra_in.PixelAt(x, y);
            q[0] = p[3];
            q[1] = p[2];
            q[2] = p[1];
            q[3] = p[0];
            SetFloat(floats_in, x, y,
                     PF_PixelFloat{(float)p[0] / 255.0f, (float)p[1] / 255.0f, (float)p[2] / 255.0f,
                                   (float)p[3] / 255.0f});
        }
    }

    for (const Setting& s : AllSettings()) {
        SCOPED_TRACE(Describe(s));
        RenderRig compositor(HostApp::AfterEffects);
        RenderRig editor_bytes(HostApp::Premiere);
        Configure(compositor, s);
        Configure(editor_bytes, s);
        World bytes_out(PixelLayout::Argb8, kWidth, kHeight, 4);
        World bgra_out(PixelLayout::Bgra8, kWidth, kHeight);
        ASSERT_EQ(compositor.Render(bytes_in, bytes_out), PF_Err_NONE);
        ASSERT_EQ(editor_bytes.Render(bgra_in, bgra_out), PF_Err_NONE);
        World floats_out(PixelLayout::BgraFloat, kWidth, kHeight);
        ASSERT_NO_FATAL_FAILURE(RenderFloatLoop(s, floats_in, &floats_out));
        for (A_long y = 0; y < kHeight; ++y) {
            for (A_long x = 0; x < kWidth; ++x) {
                const PF_PixelFloat want = GetFloat(floats_out, x, y);
                const uint8_t expected[4] = {Byte8(want.alpha), Byte8(want.red), Byte8(want.green),
                                             Byte8(want.blue)};
                ASSERT_EQ(std::memcmp(bytes_out.PixelAt(x, y), expected, 4), 0) << "at " << x << "," << y;
                const uint8_t expected_bgra[4] = {expected[3], expected[2], expected[1], expected[0]};
                ASSERT_EQ(std::memcmp(bgra_out.PixelAt(x, y), expected_bgra, 4), 0)
                    << "editor bytes at " << x << "," << y;
            }
        }
    }
}

TEST(PathAgreement, SixteenBitMatchesTheFloatLoopEverywhere) {
    World words_in(PixelLayout::Argb16, kWidth, kHeight);
    FillPattern(words_in);
    // The ends of the range, and words above it, which a host may hand over all the same.
    const uint16_t edges[] = {0, 1, 32767, 32768, 32769, 40000, 65535};
    for (A_long x = 0; x < kWidth; ++x) {
        for (int c = 0; c < 4; ++c) {
            const uint16_t v = edges[(std::size_t)(x + c) % (sizeof edges / sizeof edges[0])];
            std::memcpy(words_in.PixelAt(x, kHeight / 2) + 2 * c, &v, sizeof v);
        }
    }
    World floats_in(PixelLayout::BgraFloat, kWidth, kHeight);
    for (A_long y = 0; y < kHeight; ++y) {
        for (A_long x = 0; x < kWidth; ++x) {
            uint16_t argb[4];
            std::memcpy(argb, words_in.PixelAt(x, y), sizeof argb);
            const float scale = 1.0f / 32768.0f;
            SetFloat(floats_in, x, y,
                     PF_PixelFloat{(float)argb[0] * scale, (float)argb[1] * scale, (float)argb[2] * scale,
                                   (float)argb[3] * scale});
        }
    }

    for (const Setting& s : AllSettings()) {
        SCOPED_TRACE(Describe(s));
        RenderRig compositor(HostApp::AfterEffects);
        Configure(compositor, s);
        World words_out(PixelLayout::Argb16, kWidth, kHeight);
        ASSERT_EQ(compositor.Render(words_in, words_out), PF_Err_NONE);
        World floats_out(PixelLayout::BgraFloat, kWidth, kHeight);
        ASSERT_NO_FATAL_FAILURE(RenderFloatLoop(s, floats_in, &floats_out));
        for (A_long y = 0; y < kHeight; ++y) {
            for (A_long x = 0; x < kWidth; ++x) {
                const PF_PixelFloat want = GetFloat(floats_out, x, y);
                const uint16_t expected[4] = {Word16(want.alpha), Word16(want.red), Word16(want.green),
                                              Word16(want.blue)};
                ASSERT_EQ(std::memcmp(words_out.PixelAt(x, y), expected, sizeof expected), 0)
                    << "at " << x << "," << y;
            }
        }
    }
}

}   // namespace
}   // namespace corvelle::test
