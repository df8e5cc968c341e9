// The keyframe file against the built module's parameters: what it accepts, every fault it
// refuses, the places it reports, writing it back, and an effect put at a frame.
#include "keys/JsonPositions.h"

#include <corvelle/keyframes.h>

#include "testing/Testing.h"

#include "CaseName.h"
#include "RenderTestSupport.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

namespace corvelle {
namespace {

Effect LoadedEffect() {
    LoadOptions options;
    options.modulePath = CORVELLE_MODULE_PATH;
    options.layerWidth = 64;
    options.layerHeight = 36;
    return Effect(options);
}

const std::vector<ParamInfo>& Params() {
    static const std::vector<ParamInfo> params = LoadedEffect().Params();
    return params;
}

const KeyTrack* TrackOf(const Keyframes& keys, const std::string& param) {
    for (const KeyTrack& track : keys.Tracks()) {
        if (track.param == param) {
            return &track;
        }
    }
    return nullptr;
}

const char kGoodFile[] = R"({"version": 1, "fps": 25,
  "params": {"blend": "soft-light", "invert": true, "falloff": 4},
  "keys": {
    "width": [{"frame": 0, "value": 300}, {"frame": 48, "value": 900, "interp": "ease"}],
    "color": [{"frame": 0, "value": "#000000"}, {"seconds": 1, "value": "#ff8800"}],
    "angle": [{"frame": 0, "value": 0, "interp": "hold"}, {"frame": 50, "value": 45}],
    "origin": [{"frame": 2.5, "value": [10, -4.25]}]}})";

TEST(KeyframeFile, ReadsConstantsKeysAndSeconds) {
    const Keyframes keys = Keyframes::Parse(kGoodFile, Params());
    EXPECT_EQ(25.0, keys.Fps());
    ASSERT_EQ(3u, keys.Constants().size());
    EXPECT_EQ("blend", keys.Constants()[0].first);
    EXPECT_EQ(6, keys.Constants()[0].second.choice);
    EXPECT_TRUE(keys.Constants()[1].second.checked);
    EXPECT_EQ(4, keys.Constants()[2].second.choice);
    ASSERT_EQ(4u, keys.Tracks().size());
    // Parameter order, whatever the file's order.
    EXPECT_EQ("origin", keys.Tracks()[0].param);
    EXPECT_EQ("width", keys.Tracks()[1].param);
    EXPECT_EQ(Interpolation::Ease, TrackOf(keys, "width")->keys[1].interp);
    EXPECT_EQ(25.0, TrackOf(keys, "color")->keys[1].frame);
    EXPECT_EQ(0x88, TrackOf(keys, "color")->keys[1].value.color.green);
    EXPECT_EQ(-4.25, TrackOf(keys, "origin")->keys[0].value.y);
}

TEST(KeyframeFile, WritesWhatItReadsBack) {
    Keyframes keys = Keyframes::Parse(kGoodFile, Params());
    Keyframe extra;
    extra.frame = 7.125;
    extra.value.number = 0.1 + 0.2;   // a double with no short decimal
    keys.SetKey("opacity", extra);
    const Keyframes again = Keyframes::Parse(keys.ToJson(), Params());
    EXPECT_EQ(keys.ToJson(), again.ToJson());
    EXPECT_EQ(0.1 + 0.2, TrackOf(again, "opacity")->keys[0].value.number);
    EXPECT_EQ(7.125, TrackOf(again, "opacity")->keys[0].frame);
}

TEST(KeyframeFile, SetKeyReplacesTheKeyAtItsFrameAndKeepsOrder) {
    Keyframes keys(Params());
    for (double frame : {20.0, 0.0, 10.0, 10.0}) {
        Keyframe key;
        key.frame = frame;
        key.value.number = frame + 1;
        keys.SetKey("feather", key);
    }
    const KeyTrack* track = TrackOf(keys, "feather");
    ASSERT_EQ(3u, track->keys.size());
    EXPECT_EQ(0.0, track->keys[0].frame);
    EXPECT_EQ(10.0, track->keys[1].frame);
    EXPECT_EQ(20.0, track->keys[2].frame);
    Keyframe blend;
    EXPECT_THROW(keys.SetKey("blend", blend), Error);

    keys.RemoveKey("feather", 10.0);
    keys.RemoveKey("feather", 5.0);   // no key there: nothing happens
    ASSERT_EQ(2u, TrackOf(keys, "feather")->keys.size());
    EXPECT_EQ(20.0, TrackOf(keys, "feather")->keys[1].frame);
    keys.RemoveKey("feather", 0.0);
    keys.RemoveKey("feather", 20.0);
    EXPECT_EQ(nullptr, TrackOf(keys, "feather"));
}

struct BadFile {
    const char* name;
    const char* text;
};

class BadKeyframeFileTest : public ::testing::TestWithParam<BadFile> {};

TEST_P(BadKeyframeFileTest, RefusedAsABadValue) {
    try {
        Keyframes::Parse(GetParam().text, Params());
        ADD_FAILURE() << "accepted";
    } catch (const Error& e) {
        EXPECT_EQ(ErrorKind::BadValue, e.Kind()) << e.what();
    }
}

#define K(body) R"({"version": 1, "keys": {)" body "}}"
#define P(body) R"({"version": 1, "params": {)" body "}}"

const BadFile kBadFiles[] = {
    {"empty", ""},
    {"truncated", R"({"version": 1, "keys": {"width": [)"},
    {"trailing_comma", R"({"version": 1,})"},
    {"not_an_object", "[1, 2]"},
    {"unknown_top_name", R"({"version": 1, "key": {}})"},
    {"version_2", R"({"version": 2, "keys": {}})"},
    {"version_text", R"({"version": "1"})"},
    {"fps_zero", R"({"fps": 0})"},
    {"fps_negative", R"({"fps": -25})"},
    {"fps_text", R"({"fps": "25"})"},
    {"fps_not_a_ratio", R"({"fps": 0.1234567})"},
    {"name_twice", R"({"version": 1, "version": 1})"},
    {"unknown_parameter", K(R"("widht": [{"frame": 0, "value": 1}])")},
    {"keyed_popup", K(R"("blend": [{"frame": 0, "value": 3}])")},
    {"keyed_checkbox", K(R"("invert": [{"frame": 0, "value": true}])")},
    {"keyed_mask_only", K(R"("mask_only": [{"frame": 0, "value": true}])")},
    {"keys_not_object", R"({"keys": []})"},
    {"track_not_list", K(R"("width": {"frame": 0, "value": 1})")},
    {"track_empty", K(R"("width": [])")},
    {"key_not_object", K(R"("width": [3])")},
    {"key_no_frame", K(R"("width": [{"value": 1}])")},
    {"key_frame_and_seconds", K(R"("width": [{"frame": 0, "seconds": 0, "value": 1}])")},
    {"key_seconds_without_fps", K(R"("width": [{"seconds": 1, "value": 1}])")},
    {"key_frame_text", K(R"("width": [{"frame": "0", "value": 1}])")},
    {"key_no_value", K(R"("width": [{"frame": 0}])")},
    {"key_unknown_field", K(R"("width": [{"frame": 0, "value": 1, "ease": true}])")},
    {"key_bad_interp", K(R"("width": [{"frame": 0, "value": 1, "interp": "cubic"}])")},
    {"frames_unsorted", K(R"("width": [{"frame": 5, "value": 1}, {"frame": 4, "value": 2}])")},
    {"frames_repeated", K(R"("width": [{"frame": 5, "value": 1}, {"frame": 5, "value": 2}])")},
    {"seconds_repeat_frame",
     R"({"fps": 10, "keys": {"width": [{"frame": 10, "value": 1}, {"seconds": 1, "value": 2}]}})"},
    {"width_above_range", K(R"("width": [{"frame": 0, "value": 15000.5}])")},
    {"width_negative", K(R"("width": [{"frame": 0, "value": -1}])")},
    {"width_text", K(R"("width": [{"frame": 0, "value": "300"}])")},
    {"width_huge_exponent", K(R"("width": [{"frame": 0, "value": 1e999}])")},
    {"opacity_above_100", K(R"("opacity": [{"frame": 0, "value": 100.001}])")},
    {"angle_outside_fixed", K(R"("angle": [{"frame": 0, "value": 40000}])")},
    {"origin_one_number", K(R"("origin": [{"frame": 0, "value": [1]}])")},
    {"origin_outside_fixed", K(R"("origin": [{"frame": 0, "value": [0, 32768]}])")},
    {"origin_text", K(R"("origin": [{"frame": 0, "value": "1,2"}])")},
    {"color_short", K(R"("color": [{"frame": 0, "value": "#ff88"}])")},
    {"color_not_hex", K(R"("color": [{"frame": 0, "value": "#gg0000"}])")},
    {"color_number", K(R"("color": [{"frame": 0, "value": 16711680}])")},
    {"constant_unknown", P(R"("size": 3)")},
    {"constant_choice_0", P(R"("blend": 0)")},
    {"constant_choice_above", P(R"("shape": 3)")},
    {"constant_choice_name", P(R"("blend": "sepia")")},
    {"constant_checkbox_text", P(R"("invert": "yes")")},
    {"constant_width_range", P(R"("width": 15001)")},
    {"constant_and_keys", R"({"params": {"width": 3}, "keys": {"width": [{"frame": 0, "value": 1}]}})"},
};

INSTANTIATE_TEST_SUITE_P(Faults, BadKeyframeFileTest, ::testing::ValuesIn(kBadFiles),
                         testing_support::CaseName());

TEST(KeyframeFile, WhatIsNotAReadableKeyFileIsAnInputFault) {
    testing_support::TempDir dir;
    const std::string big = dir / "big.json";
    std::ofstream(big).put('{');
    ASSERT_EQ(0, truncate(big.c_str(), off_t{65} << 20));   // sparse: no disk taken
    for (const std::string& path :
         {std::string("/nonexistent/keys.json"), dir.Path(), std::string("/dev/zero"), big}) {
        try {
            Keyframes::Load(path, Params());
            ADD_FAILURE() << path << " accepted";
        } catch (const Error& e) {
            EXPECT_EQ(ErrorKind::IO, e.Kind()) << path;
        }
    }
}

// Places are what the messages name; they are checked here on the reader itself.
TEST(JsonPositions, FindsWhereEachNameAndValueStarts) {
    const std::string text = "{\"a\": [1, {\"b\" :\n  -2.5e1 }],\r\n \"c\":\"x\\\"y\", \"d\": true}";
    const PositionedJson doc = ParseWithPositions(text);
    EXPECT_EQ(text.find("[1"), doc.valueAt.at("/a"));
    EXPECT_EQ(text.find("1,"), doc.valueAt.at("/a/0"));
    EXPECT_EQ(text.find("{\"b"), doc.valueAt.at("/a/1"));
    EXPECT_EQ(text.find("\"b"), doc.nameAt.at("/a/1/b"));
    EXPECT_EQ(text.find("-2.5"), doc.valueAt.at("/a/1/b"));
    EXPECT_EQ(text.find("\"x"), doc.valueAt.at("/c"));
    EXPECT_EQ(text.find("true"), doc.valueAt.at("/d"));
    EXPECT_EQ("line 2, column 3", LineAndColumn(text, text.find("-2.5")));
    EXPECT_EQ("line 1, column 1", LineAndColumn(text, 0));
}

// A frame's values and time reach the module as its host hands them over, in renders and events.
TEST(KeyframeApply, SetsValuesAndTimeForRendersAndEvents) {
    Effect effect = LoadedEffect();
    const Keyframes keys = Keyframes::Parse(
        R"({"fps": 29.97, "params": {"blend": "screen"},
            "keys": {"opacity": [{"frame": 0, "value": 0}, {"frame": 6, "value": 0.0000152587890625}],
                     "angle": [{"frame": 0, "value": 0}, {"frame": 6, "value": -0.0000152587890625}],
                     "origin": [{"frame": 0, "value": [0, 0]}, {"frame": 3, "value": [1, 0.00001]}]}})",
        Params());
    keys.Apply(effect, 3);
    EXPECT_EQ(4, effect.Get("blend").choice);
    // Halfway to one 16.16 step is a tie, rounded away from zero either side.
    EXPECT_EQ(1.0 / 65536.0, effect.Get("opacity").number);
    EXPECT_EQ(-1.0 / 65536.0, effect.Get("angle").number);
    EXPECT_EQ(1.0, effect.Get("origin").x);
    EXPECT_EQ(1.0 / 65536.0, effect.Get("origin").y);   // 0.65536 rounds up to one step

    std::vector<uint8_t> in(64 * 36 * 4, 128);
    std::vector<uint8_t> out(in.size());
    effect.Render(ConstImageView{in.data(), 64, 36, 64 * 4, PixelFormat::Argb8},
                  ImageView{out.data(), 64, 36, 64 * 4, PixelFormat::Argb8});
    const PF_InData& rendered = Internals(effect).host.InData();
    EXPECT_EQ(3003, rendered.current_time);
    EXPECT_EQ(1001, rendered.time_step);
    EXPECT_EQ(30000u, rendered.time_scale);

    keys.Apply(effect, 9);
    effect.Press(0, 0);
    const PF_InData& event = Internals(effect).host.InData();
    EXPECT_EQ(9009, event.current_time);
    EXPECT_EQ(1001, event.time_step);
    EXPECT_EQ(30000u, event.time_scale);
    effect.Release(0, 0);
}

}   // namespace
}   // namespace corvelle
