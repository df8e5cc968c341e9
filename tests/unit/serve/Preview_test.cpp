// The preview session without a network: parameter changes, history, the window, the equivalent
// render command and the output render.
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

class PreviewTest : public testing::Test {
protected:
    void SetUp() override {
        Picture input = MakePicture(PixelFormat::Argb8, kWidth, kHeight);
        for (std::size_t i = 0; i < input.bytes.size(); ++i) {
            input.bytes[i] = static_cast<uint8_t>((i * 7) % 251);
        }
        m_input = m_dir.Path() + "/in.png";
        WritePicture(m_input, std::as_const(input).View());
        PreviewConfig config;
        config.input.kind = InputSpec::Kind::Picture;
        config.input.path = m_input;
        config.output = m_dir.Path() + "/out.png";
        config.modulePath = CORVELLE_MODULE_PATH;
        m_preview = std::make_unique<Preview>(config);
    }

    Outcome Send(const std::string& json) { return m_preview->Apply(ParseMessage(json)); }
    nlohmann::json Snapshot() { return m_preview->State()["snapshot"]; }

    TempDir m_dir;
    std::string m_input;
    std::unique_ptr<Preview> m_preview;
};

TEST_F(PreviewTest, UndoRedoAndResetWalkTheHistory) {
    const nlohmann::json start = Snapshot();
    EXPECT_TRUE(Send(R"({"t":"set","key":"width","value":120})").render);
    Send(R"({"t":"set","key":"color","value":"#102030"})");
    const nlohmann::json changed = Snapshot();
    EXPECT_EQ(changed["width"], 120.0);
    EXPECT_EQ(changed["color"], "#102030");

    Send(R"({"t":"undo"})");
    EXPECT_EQ(Snapshot()["color"], start["color"]);
    EXPECT_EQ(Snapshot()["width"], 120.0);
    Send(R"({"t":"undo"})");
    EXPECT_EQ(Snapshot(), start);
    EXPECT_FALSE(m_preview->State()["canUndo"].get<bool>());
    Send(R"({"t":"redo"})");
    Send(R"({"t":"redo"})");
    EXPECT_EQ(Snapshot(), changed);

    Send(R"({"t":"reset","key":"width"})");
    EXPECT_EQ(Snapshot()["width"], start["width"]);
    Send(R"({"t":"reset"})");
    EXPECT_EQ(Snapshot(), start);
    Send(R"({"t":"undo"})");
    EXPECT_EQ(Snapshot()["color"], "#102030");
}

TEST_F(PreviewTest, RefusedChangesChangeNothing) {
    const nlohmann::json start = Snapshot();
    const std::vector<std::string> refused{
        R"({"t":"set","key":"width","value":"wide"})",   // wrong type
        R"({"t":"set","key":"width","value":-5})",       // outside the valid range
        R"({"t":"set","key":"shape","value":9})",        // no such choice
        R"({"t":"set","key":"color","value":"red"})",
        R"({"t":"set","key":"nosuchkey","value":1})",
        R"({"t":"host","host":"ae","depth":32})",
        // A window wider than the host draws.
        R"({"t":"view","zoom":64,"ox":10000,"oy":0,"kind":"layer","lx":0,"ly":0,"auto":true})",
    };
    for (const std::string& text : refused) {
        EXPECT_ANY_THROW(Send(text)) << text;
    }
    EXPECT_EQ(Snapshot(), start);
    EXPECT_EQ(m_preview->State()["view"]["zoom"], 1.0);
    EXPECT_FALSE(m_preview->State()["canUndo"].get<bool>());
}

TEST_F(PreviewTest, ZoomBelowOneRendersDownsampled) {
    std::vector<uint8_t> rgba;
    int w = 0;
    int h = 0;
    Send(R"({"t":"view","zoom":0.5,"ox":3,"oy":4,"kind":"layer","lx":0,"ly":0,"auto":true})");
    m_preview->RenderView(rgba, w, h);
    EXPECT_EQ(std::make_pair(w, h), std::make_pair(kWidth / 2, kHeight / 2));
    EXPECT_EQ(m_preview->State()["view"]["layerLeft"], 3.0);
    Send(R"({"t":"view","zoom":0.3,"ox":0,"oy":0,"kind":"layer","lx":0,"ly":0,"auto":true})");
    m_preview->RenderView(rgba, w, h);
    EXPECT_EQ(std::make_pair(w, h), std::make_pair((kWidth + 2) / 3, kHeight / 3));
    Send(R"({"t":"view","zoom":0.3,"ox":0,"oy":0,"kind":"layer","lx":0,"ly":0,"auto":false})");
    m_preview->RenderView(rgba, w, h);
    EXPECT_EQ(std::make_pair(w, h), std::make_pair(kWidth, kHeight));
}

TEST_F(PreviewTest, TheCopiedCommandRendersWhatThePreviewShows) {
    for (const char* change : {
             R"({"t":"set","key":"shape","value":2})",
             R"({"t":"set","key":"origin","value":[70.25,40]})",
             R"({"t":"set","key":"angle","value":12.5})",
             R"({"t":"set","key":"feather","value":17.75})",
             R"({"t":"set","key":"color","value":"#c08040"})",
             R"({"t":"set","key":"opacity","value":61.3})",
             R"({"t":"set","key":"blend","value":6})",
             R"({"t":"set","key":"invert","value":true})",
             R"({"t":"set","key":"falloff","value":4})",
             R"({"t":"aspect","num":10,"den":11})",
         }) {
        Send(change);
    }
    std::vector<uint8_t> shown;
    int w = 0;
    int h = 0;
    m_preview->RenderView(shown, w, h);

    std::istringstream words(m_preview->RenderCommand());
    std::vector<std::string> args;
    for (std::string word; words >> word;) {
        args.push_back(word);
    }
    ASSERT_GE(args.size(), 4u);
    ASSERT_EQ(args[1], "render");
    args.insert(args.end(), {"--module", CORVELLE_MODULE_PATH});
    std::vector<const char*> argv;
    for (const std::string& a : args) {
        argv.push_back(a.c_str());
    }
    std::ostringstream out;
    std::ostringstream err;
    ASSERT_EQ(RunCommandLine(static_cast<int>(argv.size()), argv.data(), CommandContext{}, out, err), 0)
        << m_preview->RenderCommand() << "\n"
        << err.str();
    const Picture rendered = ReadPicture(m_dir.Path() + "/out.png", PixelFormat::Argb8);
    std::vector<uint8_t> rgba(shown.size());
    io::ToRgba8(rendered.View(), rgba.data(), static_cast<std::ptrdiff_t>(kWidth) * 4);
    EXPECT_EQ(rgba, shown);
}

TEST_F(PreviewTest, RenderOutputWritesTheFileWithProgress) {
    std::vector<std::pair<long, long>> progress;
    m_preview->RenderOutput([&](long done, long total) { progress.emplace_back(done, total); });
    EXPECT_EQ(progress, (std::vector<std::pair<long, long>>{{1, 1}}));
    const Picture written = ReadPicture(m_dir.Path() + "/out.png", PixelFormat::Argb8);
    EXPECT_EQ(written.width, kWidth);
}

TEST_F(PreviewTest, HostAndDepthKeepTheValues) {
    Send(R"({"t":"set","key":"width","value":77})");
    const nlohmann::json before = Snapshot();
    Send(R"({"t":"host","host":"premiere","depth":32})");
    EXPECT_EQ(m_preview->State()["host"], "premiere");
    EXPECT_EQ(Snapshot(), before);
    std::vector<uint8_t> rgba;
    int w = 0;
    int h = 0;
    m_preview->RenderView(rgba, w, h);
    EXPECT_EQ(w, kWidth);
    Send(R"({"t":"host","host":"ae","depth":16})");
    EXPECT_EQ(Snapshot(), before);
}

TEST_F(PreviewTest, ControlsTravelAsStrokes) {
    const nlohmann::json strokes = m_preview->State()["controls"];
    ASSERT_FALSE(strokes.empty());
    for (const nlohmann::json& stroke : strokes) {
        EXPECT_FALSE(stroke["ops"].empty());
        EXPECT_EQ(stroke["rgba"].size(), 4u);
    }
    // Hit test through the state's geometry: the centre at (80, 45) is no handle, the top-left
    // corner of the default 300x200 shape at (-70, -55) is outside the window but still one.
    EXPECT_EQ(Send(R"({"t":"hover","x":80,"y":45})").handle, Handle::None);
    EXPECT_EQ(Send(R"({"t":"hover","x":-70,"y":-55})").handle, Handle::TopLeft);
}

}   // namespace
}   // namespace corvelle::serve
