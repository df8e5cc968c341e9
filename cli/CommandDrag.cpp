// The drag subcommand: a press, moves and a release in a window, and the parameters they leave.
#include "Commands.h"

#include "ControlsRun.h"
#include "options/WindowOptions.h"

#include <corvelle/files.h>

#include <nlohmann/json.hpp>

#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace corvelle {
namespace {

struct DragOptions {
    std::optional<std::string> input;
    ControlsOptions controls;
    std::string press;
    std::vector<std::string> moves;
    std::string release;
    std::string overlay;
    std::string saveKeys;
};

std::string PixelText(WindowPixel at) {
    return std::to_string(at.x) + "," + std::to_string(at.y);
}

/// Runs one mouse event, reporting its failure at the pixel it happened at.
template <typename Event>
auto AtPixel(const std::string& what, WindowPixel at, Event event) {
    try {
        return event();
    } catch (const Error& e) {
        throw Retold(e, what + " at " + PixelText(at));
    }
}

/// The keys the drag leaves, as a host with each changed parameter's stopwatch on keeps them: a key
/// at the frame for each changed parameter that can vary in time (an existing key there keeps its
/// interpolation), a constant for any other.
Keyframes KeysAfterDrag(ControlsRun& run, long frame, const std::vector<std::string>& changed) {
    Effect& effect = run.GetEffect();
    Keyframes keys = run.Keys() ? *run.Keys() : Keyframes(effect.Params());
    for (const std::string& param : changed) {
        const ParamInfo info = effect.Param(param);
        if (!info.animatable) {
            keys.SetConstant(param, effect.Get(param));
            continue;
        }
        Keyframe key;
        key.frame = static_cast<double>(frame);
        key.value = effect.Get(param);
        for (const KeyTrack& track : keys.Tracks()) {
            for (const Keyframe& existing : track.keys) {
                if (track.param == param && existing.frame == key.frame) {
                    key.interp = existing.interp;
                }
            }
        }
        keys.SetKey(param, key);
    }
    return keys;
}

void RunDrag(const DragOptions& options, const CommandContext& context) {
    // Every position is checked before the module is loaded.
    const WindowPixel press = ParseWindowPixel(options.press, "--press");
    std::vector<WindowPixel> moves;
    for (const std::string& text : options.moves) {
        moves.push_back(ParseWindowPixel(text, "--move"));
    }
    // A drag always ends with the button going up; without --release it goes up where the mouse is.
    const WindowPixel release = !options.release.empty() ? ParseWindowPixel(options.release, "--release")
                                : moves.empty()          ? press
                                                         : moves.back();
    std::vector<NamedFile> outputs;
    if (!options.overlay.empty()) {
        CheckPngOutputPath(options.overlay);
        outputs.push_back({"--overlay", options.overlay, ""});
    }
    if (!options.saveKeys.empty()) {
        CheckOutputFolder(options.saveKeys);
        outputs.push_back({"--save-keys", options.saveKeys, ""});
    }
    std::vector<NamedFile> inputs = ControlsInputs(options.controls, options.input);
    // The key file read may be saved over with the drag's keys: it is read whole first.
    for (NamedFile& input : inputs) {
        if (input.role == "--keys")
            input.rewrittenBy = "--save-keys";
    }
    RefuseSharedFiles(inputs, outputs);

    ControlsRun run(options.controls, context, options.input);
    Effect& effect = run.GetEffect();
    const Handle grabbed = AtPixel("press", press, [&] { return effect.Press(press.x, press.y); });
    for (const WindowPixel& at : moves) {
        AtPixel("move", at, [&] { effect.Move(at.x, at.y); });
    }
    const std::vector<std::string> changed =
        AtPixel("release", release, [&] { return effect.Release(release.x, release.y); });

    // The parameters as the release left them, before the overlay renders and draws.
    const nlohmann::ordered_json after = nlohmann::ordered_json::parse(effect.ParamsJson());
    if (!options.overlay.empty()) {
        const ConstImageView rendered = run.Render();
        effect.WriteWindowPng(&rendered, options.overlay);
    }
    nlohmann::ordered_json result;
    result["grabbed"] = static_cast<int>(grabbed);
    result["params"] = after;
    result["changed"] = changed;
    if (!options.saveKeys.empty()) {
        KeysAfterDrag(run, options.controls.keys.frame.value_or(0), changed).Save(options.saveKeys);
    }
    std::cout << result.dump() << "\n";
}

}   // namespace

void RegisterDragCommand(CLI::App& app, const CommandContext& context) {
    auto options = std::make_shared<DragOptions>();
    CLI::App* drag = app.add_subcommand(
        "drag",
        "Press, move and release the mouse in a window over the effect's controls and print the "
        "parameters as JSON");
    drag->add_option("--press", options->press, "window pixel where the button goes down")
        ->required()
        ->option_text("X,Y");
    drag->add_option("--move", options->moves, "window pixel the mouse moves to while down (repeatable)")
        ->option_text("X,Y");
    drag->add_option("--release", options->release,
                     "window pixel where the button goes up (default: the last position)")
        ->option_text("X,Y");
    drag->add_option_function<std::string>(
            "--input", [options](const std::string& path) { options->input = path; },
            "the layer's picture (default: the built-in test picture)")
        ->option_text("PATH");
    drag->add_option("--overlay", options->overlay, "also draw the controls after the drag into this PNG")
        ->option_text("PATH");
    drag->add_option("--save-keys", options->saveKeys,
                     "write the --keys file (or a new one) with the drag's changes as keys at --frame")
        ->option_text("PATH");
    AddControlsOptions(*drag, options->controls);
    drag->callback([options, context] { RunDrag(*options, context); });
}

}   // namespace corvelle
