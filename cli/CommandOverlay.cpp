// The overlay subcommand: the rendered picture in a window with the module's controls over it.
#include "Commands.h"

#include <corvelle/files.h>
#include "CommandLine.h"
#include "ControlsRun.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace corvelle {

namespace {

struct OverlayOptions {
    std::optional<std::string> input;
    std::string output;
    ControlsOptions controls;
    std::string trace;
};

void RunOverlay(const OverlayOptions& options, const CommandContext& context) {
    const std::string& output = options.output;
    CheckPngOutputPath(output);
    if (!options.trace.empty())
        CheckOutputFolder(options.trace);
    std::vector<NamedFile> outputs{{"OUTPUT", output, ""}};
    if (!options.trace.empty())
        outputs.push_back({"--trace", options.trace, ""});
    RefuseSharedFiles(ControlsInputs(options.controls, options.input), outputs);
    ControlsRun run(options.controls, context, options.input);
    const ConstImageView rendered = run.Render();
    run.GetEffect().WriteWindowPng(&rendered, output, options.trace);
}

}   // namespace

void RegisterOverlayCommand(CLI::App& app, const CommandContext& context) {
    auto options = std::make_shared<OverlayOptions>();
    CLI::App* overlay = app.add_subcommand(
        "overlay",
        "Render a picture (without INPUT: the built-in test picture) and draw the effect's on-screen "
        "controls over it in a layer or composition window, as a PNG");
    AddInputOutput(*overlay, options->input, options->output, "the layer's picture and the window's PNG");
    overlay
        ->add_option("--trace", options->trace,
                     "write one JSON line per host call the module makes while drawing")
        ->option_text("PATH");
    AddControlsOptions(*overlay, options->controls);
    overlay->callback([options, context] { RunOverlay(*options, context); });
}

}   // namespace corvelle
