// The render subcommand: a picture, an image sequence or a raw frame stream through one host.
#include "Commands.h"

#include "CommandLine.h"
#include "EffectSession.h"
#include "Progress.h"
#include "options/EffectOptions.h"
#include "options/KeyOptions.h"

#include <corvelle/files.h>
#include <corvelle/pictures.h>
#include <corvelle/streams.h>
#include <corvelle/text.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

namespace corvelle {
namespace {

constexpr int kMaxSide = 32767;

struct FrameSize {
    int width = 0;
    int height = 0;
};

struct RenderOptions {
    std::optional<std::string> input;
    std::string output;
    std::optional<FrameSize> raw;
    std::optional<FrameRange> frames;
    EffectOptions effect;
    HostOptions host;
    KeyOptions keys;
};

Error Mistake(const std::string& message) {
    return Error(message, ErrorKind::BadValue);
}

/// The files the command reads besides its pictures: the key file.
std::vector<NamedFile> OtherInputs(const RenderOptions& options) {
    std::vector<NamedFile> inputs;
    if (options.keys.keysPath)
        inputs.push_back({"--keys", *options.keys.keysPath, ""});
    return inputs;
}

/// Refuses an output that reaches an input, then reads the key file: both before any frame.
std::optional<Keyframes> CheckFilesAndLoadKeys(const RenderOptions& options, std::vector<NamedFile> inputs,
                                               const std::vector<NamedFile>& outputs) {
    const std::vector<NamedFile> others = OtherInputs(options);
    inputs.insert(inputs.end(), others.begin(), others.end());
    RefuseSharedFiles(inputs, outputs);
    return LoadKeyFile(options.keys, options.host);
}

void RenderPicture(const RenderOptions& options, const CommandContext& context,
                   const std::optional<std::string>& input, const std::string& output) {
    CheckPictureOutputPath(output);
    CheckOutputFolder(output);
    std::vector<NamedFile> inputs;
    if (input)
        inputs.push_back({"INPUT", *input, ""});
    const std::optional<Keyframes> keys = CheckFilesAndLoadKeys(options, inputs, {{"OUTPUT", output, ""}});
    const Picture layer = ReadLayer(options.host, input);
    EffectSession run(options.effect, options.host, context, layer.width, layer.height);
    ShowFrame(run.GetEffect(), keys, options.keys.frame.value_or(0));
    WritePicture(output, run.Render(layer.View(), "rendering"));
}

/// Lanes rendering frames side by side (see RenderFrames). A frame's mask is worked out on one
/// thread before its rows are shared, and a sequence's files are read and written on one, so a
/// second frame in flight keeps the other cores busy meanwhile; the lanes share the library's
/// render threads. Frames too large to hold twice go one at a time.
std::size_t LaneCount(const HostOptions& host, PixelFormat format, int width, int height) {
    const unsigned threads =
        host.render.threads > 0 ? host.render.threads : std::thread::hardware_concurrency();
    const bool small = RawFrameBytes(format, width, height) <= FramePrefetch::kMaxReadAheadBytes;
    return threads >= 2 && small ? 2 : 1;
}

/// Where a lane's frame stands in the run: the frame the keys show, and the words for its errors.
struct FramePlace {
    long keyFrame;
    std::string what;
};

/// One effect a lane, each showing its frame's keys before it renders.
class FrameLanes {
public:
    FrameLanes(const RenderOptions& options, const CommandContext& context,
               const std::optional<Keyframes>& keys, int width, int height,
               std::function<FramePlace(long frame)> place) {
        const std::size_t count = LaneCount(options.host, WorldLayout(options.host), width, height);
        for (std::size_t lane = 0; lane < count; ++lane) {
            m_sessions.push_back(
                std::make_unique<EffectSession>(options.effect, options.host, context, width, height));
            m_lanes.push_back(
                [&keys, place, run = m_sessions.back().get()](long frame, const ConstImageView& layer) {
                    const FramePlace at = place(frame);
                    ShowFrame(run->GetEffect(), keys, at.keyFrame);
                    return run->Render(layer, at.what);
                });
        }
    }
    const std::vector<LaneRender>& Lanes() const { return m_lanes; }

private:
    std::vector<std::unique_ptr<EffectSession>> m_sessions;
    std::vector<LaneRender> m_lanes;
};

void RenderSequence(const RenderOptions& options, const CommandContext& context,
                    const std::optional<std::string>& input, const std::string& output) {
    if (!input || !HasFramePattern(*input) || !HasFramePattern(output)) {
        throw Mistake(
            "rendering a sequence: INPUT and OUTPUT must both be frame patterns such as in.%04d.png");
    }
    if (!options.frames)
        throw Mistake("rendering a sequence: --frames A-B is needed with frame patterns");
    CheckFramePattern(*input);
    CheckFramePattern(output);
    CheckPictureOutputPath(output);
    const FrameRange range = *options.frames;
    CheckOutputFolder(FrameName(output, range.first));
    // Every input frame is there before the first output is written, and none is an output.
    std::vector<NamedFile> inputs;
    std::vector<NamedFile> outputs;
    for (long frame = range.first; frame <= range.last; ++frame) {
        const std::string name = FrameName(*input, frame);
        if (access(name.c_str(), R_OK) != 0)
            throw Error("reading " + name + ": " + std::strerror(errno), ErrorKind::IO);
        inputs.push_back({"input frame", name, ""});
        outputs.push_back({"writing", FrameName(output, frame), ""});
    }
    const std::optional<Keyframes> keys = CheckFilesAndLoadKeys(options, inputs, outputs);

    const PixelFormat format = WorldLayout(options.host);
    std::optional<Picture> first =
        ReadPicture(FrameName(*input, range.first), format, options.host.maxPixels);
    FrameLanes lanes(options, context, keys, first->width, first->height, [&](long frame) {
        return FramePlace{range.first + frame, "rendering " + FrameName(*input, range.first + frame)};
    });
    const long count = range.last - range.first + 1;
    Progress progress(count);
    std::mutex progressing;
    RenderFrames(
        [&](long frame, std::optional<Picture>& layer) {
            if (frame >= count)
                return false;
            // Frame 0 is taken once, by one lane: the picture read to size the effects.
            layer = frame == 0
                        ? std::move(first)
                        : ReadPicture(FrameName(*input, range.first + frame), format, options.host.maxPixels);
            return true;
        },
        lanes.Lanes(),
        [&](long frame, const ConstImageView& rendered) {
            WritePicture(FrameName(output, range.first + frame), rendered);
            const std::lock_guard<std::mutex> lock(progressing);
            progress.FrameDone();
        },
        FrameAccess::AtOnce);
}

void RenderStream(const RenderOptions& options, const CommandContext& context,
                  const std::optional<std::string>& input, const std::string& output) {
    if (options.frames)
        throw Mistake("rendering raw frames: --frames applies to image sequences only");
    const FrameSize size = *options.raw;
    const PixelFormat format = WorldLayout(options.host);
    std::vector<NamedFile> inputs;
    if (input)
        inputs.push_back({"INPUT", *input, ""});
    const std::optional<Keyframes> keys = CheckFilesAndLoadKeys(options, inputs, {{"OUTPUT", output, ""}});
    std::unique_ptr<RawFrameReader> reader;
    if (input) {
        reader = std::make_unique<RawFrameReader>(*input);
        // Nothing is allocated and no output touched before the first byte arrives.
        if (reader->AtEnd())
            throw Error("reading " + reader->Name() + ": no frames in it", ErrorKind::IO);
    }
    RawFrameWriter writer(output);
    if (!reader) {
        EffectSession run(options.effect, options.host, context, size.width, size.height);
        const Picture picture = MakeTestPicture(format, size.width, size.height);
        ShowFrame(run.GetEffect(), keys, 0);
        writer.Write(run.Render(picture.View(), "rendering"));
        writer.Finish();
        return;
    }
    // The stream's first frame is frame 0.
    FrameLanes lanes(options, context, keys, size.width, size.height, [](long frame) {
        return FramePlace{frame, "rendering frame " + std::to_string(frame + 1)};
    });
    Progress progress(0);
    RenderFramesInOrder(*reader, format, size.width, size.height, lanes.Lanes(),
                        [&](long, const ConstImageView& rendered) {
                            writer.Write(rendered);
                            progress.FrameDone();
                        });
    writer.Finish();
}

void RunRender(const RenderOptions& options, const CommandContext& context) {
    WorldLayout(options.host);   // a depth the host cannot render fails before any file is touched
    const std::optional<std::string>& input = options.input;
    const std::string& output = options.output;
    const bool sequence = options.frames || HasFramePattern(output) || (input && HasFramePattern(*input));
    if (options.keys.frame && (options.raw || sequence)) {
        throw CLI::ValidationError("--frame",
                                   "a sequence's frames keep their numbers and a raw stream's first "
                                   "frame is 0; --frame is for single pictures");
    }
    if (options.raw) {
        RenderStream(options, context, input, output);
    } else if (sequence) {
        RenderSequence(options, context, input, output);
    } else {
        if ((input && *input == "-") || output == "-") {
            throw Mistake("rendering: standard input and output carry raw frames only; give --raw WxH");
        }
        RenderPicture(options, context, input, output);
    }
}

}   // namespace

void RegisterRenderCommand(CLI::App& app, const CommandContext& context) {
    auto options = std::make_shared<RenderOptions>();
    CLI::App* render = app.add_subcommand("render",
                                          "Render a picture, an image sequence or a raw frame stream "
                                          "(without INPUT: the built-in test picture)");
    AddInputOutput(*render, options->input, options->output,
                   "pictures, frame patterns (in.%04d.png), or - with --raw");
    render
        ->add_option_function<std::string>(
            "--raw",
            [options](const std::string& text) {
                uint64_t width = 0;
                uint64_t height = 0;
                if (!ParseSize(text, kMaxSide, width, height)) {
                    throw CLI::ValidationError("--raw",
                                               "expected WxH with sides from 1 to 32767, got '" + text + "'");
                }
                options->raw = FrameSize{static_cast<int>(width), static_cast<int>(height)};
            },
            "INPUT and OUTPUT are raw frame streams of WxH in the world's native layout")
        ->option_text("WxH");
    AddFramesOption(render, options->frames);
    AddEffectOptions(render, options->effect);
    AddHostOptions(render, options->host);
    AddKeyOptions(*render, options->keys);
    render->callback([options, context] { RunRender(*options, context); });
}

}   // namespace corvelle
