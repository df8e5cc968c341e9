// The corvelle command's subcommands, each registered on the command line by its own file.
#pragma once

#include <corvelle/corvelle.h>

#include <CLI/CLI.hpp>

#include <functional>
#include <string>

namespace corvelle {

/// What every subcommand may need to know about the running command.
struct CommandContext {
    std::string argv0;   // to find the module built beside the command
    /// Makes every effect the command runs; tests give one whose host injects faults.
    std::function<Effect(const LoadOptions&)> makeEffect = [](const LoadOptions& load) {
        return Effect(load);
    };
};

void RegisterInfoCommand(CLI::App& app, const CommandContext& context);
void RegisterRenderCommand(CLI::App& app, const CommandContext& context);
void RegisterOverlayCommand(CLI::App& app, const CommandContext& context);
void RegisterDragCommand(CLI::App& app, const CommandContext& context);
void RegisterServeCommand(CLI::App& app, const CommandContext& context);

}   // namespace corvelle
