// The serve subcommand: the command line of the browser preview, handed to the preview server.
#include "CommandLine.h"
#include "Commands.h"
#include "options/EffectOptions.h"

// The preview server's own headers, from its folder.
#include "Server.h"
#include "input/VideoFile.h"

#include <corvelle/files.h>
#include <corvelle/keyframes.h>
#include <corvelle/pictures.h>
#include <corvelle/text.h>

#include <iostream>
#include <memory>
#include <optional>
#include <string>

namespace corvelle {
namespace {

struct ServeOptions {
    std::optional<std::string> input;
    std::string output;
    std::optional<std::string> raw;
    std::optional<FrameRange> frames;
    std::string keys;
    double fps = 0.0;
    std::optional<long> duration;
    int port = -1;
    std::string listen;
    bool open = false;
    EffectOptions effect;
    HostOptions host;
};

Error Mistake(const std::string& message) {
    return Error(message, ErrorKind::BadValue);
}

/// Refuses two names for one file where the second would be written over the first.
void RefuseSame(const std::string& kept, const std::string& written, const std::string& what) {
    if (!kept.empty() && !written.empty() && SameDestination(kept, written)) {
        throw Mistake("serve: " + what + " " + written + " is the input " + kept + " itself");
    }
}

constexpr uint64_t kMaxSide = 32767;

bool ParseRawSize(const std::string& text, int& width, int& height) {
    uint64_t w = 0;
    uint64_t h = 0;
    if (!ParseSize(text, kMaxSide, w, h)) {
        return false;
    }
    width = static_cast<int>(w);
    height = static_cast<int>(h);
    return true;
}

serve::InputSpec InputOf(const ServeOptions& options) {
    serve::InputSpec spec;
    if (options.raw) {
        if (!options.input) {
            throw Error("serve: --raw needs an INPUT file of raw frames");
        }
        if (options.frames) {
            throw Error("serve: --frames applies to image sequences only");
        }
        spec.kind = serve::InputSpec::Kind::Raw;
        spec.path = *options.input;
        ParseRawSize(*options.raw, spec.rawWidth, spec.rawHeight);
        spec.rawFormat = WorldLayout(options.host);
        return spec;
    }
    if (options.frames || (options.input && HasFramePattern(*options.input))) {
        if (!options.input || !HasFramePattern(*options.input) || !options.frames) {
            throw Error(
                "serve: an image sequence needs a frame pattern such as in.%04d.png and --frames A-B");
        }
        spec.kind = serve::InputSpec::Kind::Sequence;
        spec.path = *options.input;
        spec.first = options.frames->first;
        spec.last = options.frames->last;
        if (!options.output.empty()) {
            CheckFramePattern(options.output);
        }
        return spec;
    }
    if (options.input && serve::IsVideoFile(*options.input)) {
        spec.kind = serve::InputSpec::Kind::Video;
        spec.path = *options.input;
        spec.maxPixels = options.host.maxPixels;
        if (!options.output.empty()) {
            if (!HasFramePattern(options.output)) {
                throw Mistake("serve: --output for a video is a frame pattern such as out.%04d.png");
            }
            CheckFramePattern(options.output);
        }
        return spec;
    }
    if (options.input) {
        spec.kind = serve::InputSpec::Kind::Picture;
        spec.path = *options.input;
    }
    // Without --duration a picture lasts as long as its keys.
    spec.duration = options.duration.value_or(0);
    if (!options.output.empty() && HasFramePattern(options.output)) {
        throw Error("serve: --output is a frame pattern but the input is one picture");
    }
    return spec;
}

void RunServe(const ServeOptions& options, const CommandContext& context) {
    WorldLayout(options.host);   // a depth the host cannot render fails before anything starts
    serve::ServerConfig config;
    config.preview.input = InputOf(options);
    const serve::InputSpec& input = config.preview.input;
    const bool still =
        input.kind == serve::InputSpec::Kind::BuiltIn || input.kind == serve::InputSpec::Kind::Picture;
    if (options.duration && !still) {
        throw Mistake("serve: --duration is for a single picture; other inputs have frames of their own");
    }
    if (!options.output.empty()) {
        if (input.kind != serve::InputSpec::Kind::Raw) {
            CheckPictureOutputPath(options.output);
        }
        CheckOutputFolder(HasFramePattern(options.output) ? FrameName(options.output, 0) : options.output);
        if (input.kind != serve::InputSpec::Kind::Sequence) {
            RefuseSame(input.path, options.output, "--output");
        }
    }
    if (!options.keys.empty()) {
        RefuseSame(
            input.kind == serve::InputSpec::Kind::Sequence ? FrameName(input.path, input.first) : input.path,
            options.keys, "--keys");
        if (!options.output.empty() && SameDestination(options.keys, options.output)) {
            throw Mistake("serve: --keys and --output name the same file");
        }
        CheckOutputFolder(options.keys);
    }
    config.preview.keysPath = options.keys;
    config.preview.fps = options.fps;
    config.preview.output = options.output;
    config.preview.modulePath = options.host.modulePath;
    config.preview.host = options.host.host;
    config.preview.depth = static_cast<int>(options.host.depth);
    config.preview.pixelAspect = options.host.render.pixelAspect;
    config.preview.threads = options.host.render.threads;
    const EffectOptions effect = options.effect;
    config.preview.applyStartOptions = [effect](Effect& e) { ApplyEffectOptions(effect, e); };
    config.listenAddress = options.listen;
    config.port = options.port;
    config.openBrowser = options.open;
    (void)context;
    serve::RunServer(config, std::cout, std::cerr);
}

}   // namespace

void RegisterServeCommand(CLI::App& app, const CommandContext& context) {
    auto options = std::make_shared<ServeOptions>();
    CLI::App* serve = app.add_subcommand(
        "serve",
        "Preview the effect in the browser and drag its controls with the mouse (without INPUT: the "
        "built-in test picture)");
    serve
        ->add_option("input", options->input,
                     "a picture, a frame pattern with --frames, raw frames with --raw, or a video (with "
                     "ffmpeg installed)")
        ->option_text("[INPUT]");
    serve
        ->add_option("--output", options->output,
                     "where the page's Render button writes (a picture, a frame "
                     "pattern or a raw stream, like the input; a frame pattern for a video)")
        ->option_text("PATH");
    serve
        ->add_option_function<std::string>(
            "--raw",
            [options](const std::string& text) {
                int w = 0;
                int h = 0;
                if (!ParseRawSize(text, w, h)) {
                    throw CLI::ValidationError("--raw",
                                               "expected WxH with sides from 1 to 32767, got '" + text + "'");
                }
                options->raw = text;
            },
            "INPUT is a raw frame stream of WxH in the world's native layout")
        ->option_text("WxH");
    AddFramesOption(serve, options->frames);
    serve
        ->add_option("--keys", options->keys,
                     "keyframe file read at start when it exists; the page's Save writes the parameters and "
                     "keys to it")
        ->option_text("FILE");
    serve
        ->add_option_function<std::string>(
            "--fps",
            [options](const std::string& text) {
                double fps = 0.0;
                bool ok = ParseDouble(text, fps) && fps > 0.0;
                try {
                    ok = ok && (TimeOfFrame(0, fps), true);
                } catch (const Error&) {
                    ok = false;
                }
                if (!ok) {
                    throw CLI::ValidationError(
                        "--fps",
                        "expected frames a second above 0 and at most 1000, a ratio of whole numbers "
                        "with a divisor up to 1000, got '" +
                            text + "'");
                }
                options->fps = fps;
            },
            "frames a second, for the host time keys are shown at (default: a video's own, else the "
            "--keys file's, else none)")
        ->option_text("FPS");
    serve
        ->add_option_function<long>(
            "--duration",
            [options](long frames) {
                if (frames < 1 || frames > serve::kMaxDuration) {
                    throw CLI::ValidationError("--duration", "expected 1 to " +
                                                                 std::to_string(serve::kMaxDuration) +
                                                                 " frames, got " + std::to_string(frames));
                }
                options->duration = frames;
            },
            "frames a single picture lasts on the page's timeline (default: up to its last key, or 1)")
        ->option_text("FRAMES");
    serve
        ->add_option("--port", options->port,
                     "port to listen on; 0: a free one (default 8754, or a free one)")
        ->check(CLI::Range(0, 65535))
        ->option_text("N");
    serve
        ->add_option(
            "--listen", options->listen,
            "listen on this address instead of loopback only (others on the network can then reach it)")
        ->option_text("ADDR");
    serve->add_flag("--open", options->open, "open the page in the desktop's browser");
    AddEffectOptions(serve, options->effect);
    AddHostOptions(serve, options->host);
    // The preview picks its downsampling from the zoom and always renders in high quality.
    serve->remove_option(serve->get_option("--downsample"));
    serve->remove_option(serve->get_option("--quality"));
    serve->callback([options, context] { RunServe(*options, context); });
}

}   // namespace corvelle
