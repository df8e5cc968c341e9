// The overlay subcommand: the rendered picture in a window with the module's controls over it.
#include "Commands.h"

#include "AtomicFile.h"
#include "ControlsRun.h"
#include "EffectOptions.h"
#include "EventWindow.h"
#include "OverlayDrawing.h"
#include "WindowOptions.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace corvelle {

namespace {

struct OverlayOptions {
    std::vector<std::string> files;
    EffectOptions effect;
    HostOptions host;
    WindowOptions window;
    std::string trace;
};

void RunOverlay(const OverlayOptions& options, const CommandContext& context) {
    const std::optional<std::string> input =
        options.files.size() == 2 ? std::optional<std::string>(options.files[0]) : std::nullopt;
    const std::string& output = options.files.back();
    CheckOverlayOutputPath(output);
    if (!options.trace.empty()) {
        CheckOutputFolder(options.trace);
    }
    ControlsRun run(options.effect, options.host, context, input);
    EventWindow window(run.GetHost(), options.window, run.LayerWidth(), run.LayerHeight());
    const World rendered = run.Render();
    DrawOverlay(run.GetHost(), window, rendered, output, options.trace);
}

}  // namespace

void RegisterOverlayCommand(CLI::App& app, const CommandContext& context) {
    auto options = std::make_shared<OverlayOptions>();
    CLI::App* overlay = app.add_subcommand(
        "overlay",
        "Render a picture (without INPUT: the built-in test picture) and draw the effect's on-screen "
        "controls over it in a layer or composition window, as a PNG");
    overlay->add_option("files", options->files, "[INPUT] OUTPUT.png")->required()->expected(1, 2);
    overlay->add_option("--trace", options->trace,
                        "write one JSON line per host call the module makes while drawing");
    AddEffectOptions(overlay, options->effect);
    AddHostOptions(overlay, options->host);
    AddWindowOptions(*overlay, options->window);
    overlay->callback([options, context] { RunOverlay(*options, context); });
}

}  // namespace corvelle
