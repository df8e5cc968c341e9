// The render subcommand: a picture, an image sequence or a raw frame stream through one host.
#include "Commands.h"

#include "AtomicFile.h"
#include "EffectOptions.h"
#include "FrameSequence.h"
#include "Host.h"
#include "ImageFiles.h"
#include "ModuleLibrary.h"
#include "PointSample.h"
#include "Progress.h"
#include "RawFrames.h"
#include "TestPicture.h"

#include <csignal>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <unistd.h>

namespace corvelle {
namespace {

constexpr A_long kMaxSide = 32767;

struct FrameSize {
    A_long width = 0;
    A_long height = 0;
};

struct RenderOptions {
    std::vector<std::string> files;
    std::optional<FrameSize> raw;
    std::optional<FrameRange> frames;
    EffectOptions effect;
    HostOptions host;
};

std::string SizeText(A_long width, A_long height) {
    return std::to_string(width) + "x" + std::to_string(height);
}

bool ParseSide(const std::string& text, A_long& side) {
    if (text.empty() || text.size() > 5) return false;
    A_long v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = (v * 10) + (c - '0');
    }
    if (v < 1 || v > kMaxSide) return false;
    side = v;
    return true;
}

/// One host for the whole run: set up once for the layer, then rendering frame after frame.
class EffectRun {
public:
    EffectRun(const RenderOptions& options, const std::string& argv0, A_long layerWidth, A_long layerHeight)
        : m_library(ModulePath(options.host, argv0)),
          m_layout(WorldLayout(options.host)),
          m_host(m_library.Entry(), SettingsFor(options.host, layerWidth, layerHeight)) {
        m_host.SetBalancePolicy(BalancePolicy::Warn);
        Check(m_host.GlobalSetup(), "setting up the effect");
        Check(m_host.ParamsSetup(), "setting up the effect's parameters");
        ApplyEffectOptions(options.effect, m_host);
    }

    PixelLayout Layout() const { return m_layout; }

    /// Renders one layer-sized frame, point-sampled first when the render is downsampled.
    World Render(World& layer, const std::string& what) {
        const HostSettings& settings = m_host.Settings();
        if (layer.Width() != settings.layerWidth || layer.Height() != settings.layerHeight) {
            throw HostError(what + ": the frame is " + SizeText(layer.Width(), layer.Height()) +
                            " but the layer is " + SizeText(settings.layerWidth, settings.layerHeight));
        }
        const bool full = settings.downsampleX.num == static_cast<A_long>(settings.downsampleX.den) &&
                          settings.downsampleY.num == static_cast<A_long>(settings.downsampleY.den);
        if (full) return RenderWorld(layer, what);
        World sampled = PointSample(layer, settings.downsampleX, settings.downsampleY);
        return RenderWorld(sampled, what);
    }

private:
    static HostSettings SettingsFor(const HostOptions& options, A_long layerWidth, A_long layerHeight) {
        HostSettings settings = MakeHostSettings(options);
        settings.layerWidth = layerWidth;
        settings.layerHeight = layerHeight;
        return settings;
    }

    World RenderWorld(World& input, const std::string& what) {
        World output(m_layout, input.Width(), input.Height());
        Check(m_host.Render(input, output), what);
        return output;
    }

    void Check(PF_Err err, const std::string& what) const {
        if (err == PF_Err_NONE) return;
        std::string why = "the module returned error " + std::to_string(err);
        const PF_OutData& out = m_host.OutData();
        if ((out.out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE) != 0) {
            const std::string message(out.return_msg, strnlen(out.return_msg, sizeof out.return_msg));
            if (!message.empty()) why += ": " + message;
        }
        throw HostError(what + ": " + why);
    }

    ModuleLibrary m_library;   // outlives the host, whose entry point lives in it
    PixelLayout m_layout;
    Host m_host;
};

void RenderPicture(const RenderOptions& options, const std::string& argv0, const std::optional<std::string>& input,
                   const std::string& output) {
    CheckImageOutputPath(output);
    CheckOutputFolder(output);
    const PixelLayout layout = WorldLayout(options.host);
    World layer = input ? ReadImage(*input, layout) : MakeTestPicture(layout);
    EffectRun run(options, argv0, layer.Width(), layer.Height());
    const World rendered = run.Render(layer, "rendering");
    WriteImage(output, rendered);
}

void RenderSequence(const RenderOptions& options, const std::string& argv0, const std::optional<std::string>& input,
                    const std::string& output) {
    if (!input || !HasFramePattern(*input) || !HasFramePattern(output)) {
        throw HostError("rendering a sequence: INPUT and OUTPUT must both be frame patterns such as in.%04d.png");
    }
    if (!options.frames) throw HostError("rendering a sequence: --frames A-B is needed with frame patterns");
    CheckFramePattern(*input);
    CheckFramePattern(output);
    CheckImageOutputPath(output);
    const FrameRange range = *options.frames;
    CheckOutputFolder(FrameName(output, range.first));
    // Every input frame is there before the first output is written.
    for (long frame = range.first; frame <= range.last; ++frame) {
        const std::string name = FrameName(*input, frame);
        if (access(name.c_str(), R_OK) != 0) throw HostError("reading " + name + ": " + std::strerror(errno));
    }

    const PixelLayout layout = WorldLayout(options.host);
    World first = ReadImage(FrameName(*input, range.first), layout);
    EffectRun run(options, argv0, first.Width(), first.Height());
    Progress progress(range.last - range.first + 1);
    for (long frame = range.first; frame <= range.last; ++frame) {
        World layer = frame == range.first ? std::move(first) : ReadImage(FrameName(*input, frame), layout);
        const World rendered = run.Render(layer, "rendering " + FrameName(*input, frame));
        WriteImage(FrameName(output, frame), rendered);
        progress.FrameDone();
    }
}

void RenderStream(const RenderOptions& options, const std::string& argv0, const std::optional<std::string>& input,
                  const std::string& output) {
    if (options.frames) throw HostError("rendering raw frames: --frames applies to image sequences only");
    const FrameSize size = *options.raw;
    const PixelLayout layout = WorldLayout(options.host);
    std::unique_ptr<RawFrameReader> reader;
    if (input) reader = std::make_unique<RawFrameReader>(*input);
    if (output == "-") {
        // A reader that goes away should give a message, not a silent death by signal.
        std::signal(SIGPIPE, SIG_IGN);
    }
    RawFrameWriter writer(output);
    EffectRun run(options, argv0, size.width, size.height);
    if (!reader) {
        World picture = MakeTestPicture(layout, size.width, size.height);
        writer.Write(run.Render(picture, "rendering"));
    } else {
        World layer(layout, size.width, size.height);
        Progress progress(0);
        while (reader->Next(layer)) {
            writer.Write(run.Render(layer, "rendering frame " + std::to_string(reader->FramesRead())));
            progress.FrameDone();
        }
    }
    writer.Finish();
}

void RunRender(const RenderOptions& options, const std::string& argv0) {
    WorldLayout(options.host);   // a depth the host cannot render fails before any file is touched
    const std::optional<std::string> input =
        options.files.size() == 2 ? std::optional<std::string>(options.files[0]) : std::nullopt;
    const std::string& output = options.files.back();
    if (options.raw) {
        RenderStream(options, argv0, input, output);
    } else if (options.frames || HasFramePattern(output) || (input && HasFramePattern(*input))) {
        RenderSequence(options, argv0, input, output);
    } else {
        if ((input && *input == "-") || output == "-") {
            throw HostError("rendering: standard input and output carry raw frames only; give --raw WxH");
        }
        RenderPicture(options, argv0, input, output);
    }
}

}  // namespace

void RegisterRenderCommand(CLI::App& app, const CommandContext& context) {
    auto options = std::make_shared<RenderOptions>();
    CLI::App* render = app.add_subcommand(
        "render",
        "Render a picture, an image sequence or a raw frame stream (without INPUT: the built-in test picture)");
    render->add_option("files", options->files, "[INPUT] OUTPUT: image files, frame patterns (in.%04d.png), or - with --raw")
        ->required()
        ->expected(1, 2);
    render->add_option_function<std::string>(
        "--raw",
        [options](const std::string& text) {
            const std::size_t x = text.find('x');
            FrameSize size;
            if (x == std::string::npos || !ParseSide(text.substr(0, x), size.width) ||
                !ParseSide(text.substr(x + 1), size.height)) {
                throw CLI::ValidationError("--raw", "expected WxH with sides from 1 to 32767, got '" + text + "'");
            }
            options->raw = size;
        },
        "INPUT and OUTPUT are raw frame streams of WxH in the world's native layout");
    render->add_option_function<std::string>(
        "--frames",
        [options](const std::string& text) {
            FrameRange range;
            if (!ParseFrameRange(text, range)) {
                throw CLI::ValidationError("--frames", "expected A-B with 0 <= A <= B, got '" + text + "'");
            }
            options->frames = range;
        },
        "frame numbers A-B of an image sequence");
    AddEffectOptions(render, options->effect);
    AddHostOptions(render, options->host);
    render->callback([options, argv0 = context.argv0] { RunRender(*options, argv0); });
}

}  // namespace corvelle
