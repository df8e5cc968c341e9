// The 8-bit pixel functions take shortcuts where a pixel's mask is exactly 0 or 1; the
// editor's float loop takes none. Fed the same bytes, the two must agree to the byte after
// the 8-bit conversion, in every mode, fill, falloff and shape, band pixels included.
#include "RenderTestRig.h"

#include <gtest/gtest.h>

#include <string>

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
};

std::string Describe(const Setting& s) {
    return "blend " + std::to_string(s.blend) + ", fill " + std::to_string(s.fill) +
           (s.invert ? ", inverted" : "") + (s.maskOnly ? ", mask only" : "") + ", falloff " +
           std::to_string(s.falloff) + ", shape " + std::to_string(s.shape);
}

void Configure(RenderRig& rig, const Setting& s) {
    rig.Shape(s.shape, 30, 20, 12).Origin(23.5, 15).Angle(20).Color(210, 90, 30).Opacity(70);
    rig.Popup(PARAM_BLEND_MODE, s.blend).Popup(PARAM_FILL_WITH, s.fill).Popup(PARAM_FALLOFF, s.falloff);
    rig.Checkbox(PARAM_INVERT, s.invert).Checkbox(PARAM_MASK_ONLY, s.maskOnly);
}

TEST(PathAgreement, EightBitMatchesTheFloatLoopEverywhere) {
    World bytes_in(PixelLayout::Argb8, kWidth, kHeight, 4);
    FillPattern(bytes_in);
    World floats_in(PixelLayout::BgraFloat, kWidth, kHeight);
    for (A_long y = 0; y < kHeight; ++y) {
        for (A_long x = 0; x < kWidth; ++x) {
            const uint8_t* p = bytes_in.PixelAt(x, y);
            SetFloat(floats_in, x, y,
                     PF_PixelFloat{(float)p[0] / 255.0f, (float)p[1] / 255.0f, (float)p[2] / 255.0f,
                                   (float)p[3] / 255.0f});
        }
    }

    int index = 0;
    for (A_long blend = 1; blend <= 25; ++blend) {
        for (A_long fill = 1; fill <= 2; ++fill) {
            for (const bool invert : {false, true}) {
                for (const bool mask_only : {false, true}) {
                    const Setting s{blend, fill, invert, mask_only, 1 + index % 6, 1 + (index / 6) % 2};
                    ++index;
                    SCOPED_TRACE(Describe(s));
                    RenderRig compositor(HostApp::AfterEffects);
                    RenderRig editor(HostApp::Premiere);
                    Configure(compositor, s);
                    Configure(editor, s);
                    World bytes_out(PixelLayout::Argb8, kWidth, kHeight, 4);
                    World floats_out(PixelLayout::BgraFloat, kWidth, kHeight);
                    ASSERT_EQ(compositor.Render(bytes_in, bytes_out), PF_Err_NONE);
                    ASSERT_EQ(editor.Render(floats_in, floats_out), PF_Err_NONE);
                    for (A_long y = 0; y < kHeight; ++y) {
                        for (A_long x = 0; x < kWidth; ++x) {
                            const uint8_t* got = bytes_out.PixelAt(x, y);
                            const PF_PixelFloat want = GetFloat(floats_out, x, y);
                            const uint8_t expected[4] = {Byte8(want.alpha), Byte8(want.red),
                                                         Byte8(want.green), Byte8(want.blue)};
                            ASSERT_EQ(std::memcmp(got, expected, 4), 0) << "at " << x << "," << y;
                        }
                    }
                }
            }
        }
    }
}

}   // namespace
}   // namespace corvelle::test
