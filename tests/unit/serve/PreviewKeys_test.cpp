// Keys in the preview session: the stopwatch, keys set from the panel and from drags, frames
// showing the values between keys, undo over key changes, and the saved file rendering what the
// preview shows.
#include "serve/Preview.h"

#include "cli/CommandLine.h"

#include "RenderTestSupport.h"

#include <corvelle/convert.h>
#include <corvelle/pictures.h>

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace corvelle::serve {
namespace {

using testing_support::TempDir;

constexpr int kWidth = 160;
constexpr int kHeight = 90;

class PreviewKeysTest : public testing::Test {
protected:
    void SetUp() override {
        Picture input = MakePicture(PixelFormat::Argb8, kWidth, kHeight);
        for (std::size_t i = 0; i < input.bytes.size(); ++i) {
            input.bytes[i] = static_cast<uint8_t>((i * 13) % 251);
        }
        WritePicture(m_dir / "in.png", std::as_const(input).View());
        Start(11);
    }

    void Start(long duration) {
        PreviewConfig config;
        config.input.kind = InputSpec::Kind::Picture;
        config.input.path = m_dir / "in.png";
        config.input.duration = duration;
        config.output = m_dir / "out.png";
        config.keysPath = m_dir / "keys.json";
        config.modulePath = CORVELLE_MODULE_PATH;
        m_preview = std::make_unique<Preview>(config);
    }

    Outcome Send(const std::string& json) { return m_preview->Apply(ParseMessage(json)); }
    void Frame(long frame) { Send(R"({"t":"frame","frame":)" + std::to_string(frame) + "}"); }
    void SetWidth(double width, int group = 0) {
        Send(R"({"t":"set","key":"width","value":)" + std::to_string(width) + R"(,"group":)" +
             std::to_string(group) + "}");
    }
    double Width() { return m_preview->State()["snapshot"]["width"].get<double>(); }
    nlohmann::json KeyFrames(const std::string& param) {
        const nlohmann::json frames = m_preview->State()["keys"]["frames"];
        return frames.contains(param) ? frames[param] : nlohmann::json::array();
    }
    nlohmann::json Param(const std::string& key) {
        const nlohmann::json state = m_preview->State();
        for (const nlohmann::json& p : state["params"]) {
            if (p["key"] == key) {
                return p;
            }
        }
        return nullptr;
    }

    TempDir m_dir;
    std::unique_ptr<Preview> m_preview;
};

TEST_F(PreviewKeysTest, StopwatchKeysAndTheValuesBetweenThem) {
    Send(R"({"t":"stopwatch","key":"width","on":true})");
    EXPECT_EQ(nlohmann::json::array({0}), KeyFrames("width"));
    EXPECT_TRUE(Param("width")["keyed"].get<bool>());
    SetWidth(100);   // replaces the key the stopwatch set
    Frame(10);
    SetWidth(200);
    EXPECT_EQ(nlohmann::json::array({0, 10}), KeyFrames("width"));
    Frame(5);
    EXPECT_EQ(150.0, Width());
    EXPECT_FALSE(Param("width")["keyHere"].get<bool>());
    EXPECT_FALSE(Param("height")["keyed"].get<bool>());

    // Nothing to delete between keys; at frame 10 the key goes and frame 5 holds the first.
    Send(R"({"t":"removekey","key":"width"})");
    EXPECT_EQ(nlohmann::json::array({0, 10}), KeyFrames("width"));
    Frame(10);
    Send(R"({"t":"removekey","key":""})");
    EXPECT_EQ(nlohmann::json::array({0}), KeyFrames("width"));
    Frame(5);
    EXPECT_EQ(100.0, Width());
}

TEST_F(PreviewKeysTest, StopwatchOffKeepsTheValueOnShow) {
    Send(R"({"t":"stopwatch","key":"width","on":true})");
    SetWidth(100);
    Frame(10);
    SetWidth(200);
    Frame(4);
    Send(R"({"t":"stopwatch","key":"width","on":false})");
    EXPECT_TRUE(KeyFrames("width").empty());
    EXPECT_EQ(140.0, Width());
    Frame(0);
    EXPECT_EQ(140.0, Width());
}

TEST_F(PreviewKeysTest, AHandleDragSetsAKeyAtTheFrameAsOneUndoStep) {
    Send(R"({"t":"stopwatch","key":"width","on":true})");
    Frame(3);
    // The top-left corner of the default 300x200 shape centred on the 160x90 layer.
    ASSERT_EQ(Handle::TopLeft, Send(R"({"t":"hover","x":-70,"y":-55})").handle);
    Send(R"({"t":"press","x":-70,"y":-55})");
    Send(R"({"t":"move","x":-60,"y":-50})");
    Send(R"({"t":"move","x":-50,"y":-45})");
    Send(R"({"t":"release","x":-50,"y":-45})");
    EXPECT_EQ(nlohmann::json::array({0, 3}), KeyFrames("width"));
    const double dragged = Width();
    EXPECT_NE(300.0, dragged);
    Frame(0);
    EXPECT_EQ(300.0, Width());

    Send(R"({"t":"undo"})");
    EXPECT_EQ(nlohmann::json::array({0}), KeyFrames("width"));
    Send(R"({"t":"redo"})");
    Frame(3);
    EXPECT_EQ(dragged, Width());
}

TEST_F(PreviewKeysTest, ASliderDragIsOneUndoStep) {
    Send(R"({"t":"stopwatch","key":"width","on":true})");
    for (int w = 301; w <= 320; ++w) {
        SetWidth(w, 77);
    }
    SetWidth(50);   // a separate edit
    Send(R"({"t":"undo"})");
    EXPECT_EQ(320.0, Width());
    Send(R"({"t":"undo"})");
    EXPECT_EQ(300.0, Width());
    EXPECT_EQ(nlohmann::json::array({0}), KeyFrames("width"));
    Send(R"({"t":"undo"})");   // the stopwatch itself
    EXPECT_TRUE(KeyFrames("width").empty());
    EXPECT_FALSE(m_preview->State()["canUndo"].get<bool>());
}

TEST_F(PreviewKeysTest, RefusedKeyMessagesChangeNothing) {
    const std::vector<std::string> refused{
        R"({"t":"stopwatch","key":"falloff","on":true})",   // cannot vary in time
        R"({"t":"stopwatch","key":"nosuch","on":true})",
        R"({"t":"stopwatch","key":"nosuch","on":false})",
        R"({"t":"removekey","key":"nosuch"})",
        R"({"t":"frame","frame":11})",
        R"({"t":"frame","frame":1000000000})",
    };
    for (const std::string& text : refused) {
        EXPECT_ANY_THROW(Send(text)) << text;
    }
    EXPECT_FALSE(m_preview->State()["canUndo"].get<bool>());
    EXPECT_TRUE(m_preview->State()["keys"]["frames"].empty());
    EXPECT_EQ(0, m_preview->State()["frames"]["index"]);
}

// The saved file through `corvelle render --keys` gives the frame on show, byte for byte.
TEST_F(PreviewKeysTest, TheSavedFileRendersTheFrameOnShow) {
    Send(R"({"t":"set","key":"blend","value":6})");
    Send(R"({"t":"stopwatch","key":"width","on":true})");
    Send(R"({"t":"stopwatch","key":"angle","on":true})");
    SetWidth(60);
    Frame(8);
    SetWidth(140.5);
    Send(R"({"t":"set","key":"angle","value":40})");
    Frame(3);
    EXPECT_TRUE(m_preview->State()["keys"]["unsaved"].get<bool>());
    EXPECT_NE("", m_preview->CommandNote());
    EXPECT_TRUE(Send(R"({"t":"save"})").saved);
    EXPECT_FALSE(m_preview->State()["keys"]["unsaved"].get<bool>());
    EXPECT_EQ("", m_preview->CommandNote());

    std::vector<uint8_t> shown;
    int w = 0;
    int h = 0;
    m_preview->RenderView(shown, w, h);
    std::istringstream words(m_preview->RenderCommand());
    std::vector<std::string> args;
    for (std::string word; words >> word;) {
        args.push_back(word);
    }
    ASSERT_NE(args.end(), std::find(args.begin(), args.end(), "--keys"));
    args.insert(args.end(), {"--module", CORVELLE_MODULE_PATH});
    std::vector<const char*> argv;
    for (const std::string& a : args) {
        argv.push_back(a.c_str());
    }
    std::ostringstream out;
    std::ostringstream err;
    ASSERT_EQ(0, RunCommandLine(static_cast<int>(argv.size()), argv.data(), CommandContext{}, out, err))
        << m_preview->RenderCommand() << "\n"
        << err.str();
    const Picture rendered = ReadPicture(m_dir / "out.png", PixelFormat::Argb8);
    std::vector<uint8_t> rgba(shown.size());
    io::ToRgba8(rendered.View(), rgba.data(), static_cast<std::ptrdiff_t>(kWidth) * 4);
    EXPECT_EQ(shown, rgba);

    // The page's own render of the frame on show gives the same file.
    std::remove((m_dir / "out.png").c_str());
    m_preview->RenderOutput([](long, long) {});
    const Picture again = ReadPicture(m_dir / "out.png", PixelFormat::Argb8);
    EXPECT_EQ(rendered.bytes, again.bytes);

    SetWidth(10);
    EXPECT_TRUE(m_preview->State()["keys"]["unsaved"].get<bool>());
}

TEST_F(PreviewKeysTest, AFileReadAtStartSetsValuesKeysAndLength) {
    testing_support::WriteBytes(m_dir / "keys.json",
                                R"({"version": 1, "fps": 25, "params": {"blend": "screen"},
        "keys": {"width": [{"frame": 2, "value": 20}, {"frame": 14.5, "value": 60}]}})");
    Start(0);
    const nlohmann::json state = m_preview->State();
    EXPECT_EQ(16, state["frames"]["count"]);   // through the last key, rounded up
    EXPECT_EQ(25.0, state["keys"]["fps"]);
    EXPECT_EQ(20.0, state["snapshot"]["width"]);
    EXPECT_FALSE(state["keys"]["unsaved"].get<bool>());
    EXPECT_EQ(nlohmann::json::array({2, 14.5}), KeyFrames("width"));

    testing_support::WriteBytes(m_dir / "keys.json", R"({"keys": {"width": [{"frame": 0, "value": -1}]}})");
    try {
        Start(0);
        FAIL() << "a malformed file was read";
    } catch (const Error& e) {
        EXPECT_EQ(ErrorKind::BadValue, e.Kind());
    }
    std::remove((m_dir / "keys.json").c_str());
    ASSERT_EQ(0, mkdir((m_dir / "keys.json").c_str(), 0700));
    try {
        Start(0);
        FAIL() << "a folder was read as a file";
    } catch (const Error& e) {
        EXPECT_EQ(ErrorKind::IO, e.Kind());
    }
}

}   // namespace
}   // namespace corvelle::serve
