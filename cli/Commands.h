// The corvelle command's subcommands, each registered on the command line by its own file.
#pragma once

#include "testing/Testing.h"

#include <CLI/CLI.hpp>

#include <string>

namespace corvelle {

/// What every subcommand may need to know about the running command.
struct CommandContext {
    std::string argv0;   // to find the module built beside the command
    FaultPlan faults;    // given to every host the command makes; only tests plan any
};

void RegisterInfoCommand(CLI::App& app, const CommandContext& context);
void RegisterRenderCommand(CLI::App& app, const CommandContext& context);
void RegisterOverlayCommand(CLI::App& app, const CommandContext& context);
void RegisterDragCommand(CLI::App& app, const CommandContext& context);
void RegisterServeCommand(CLI::App& app, const CommandContext& context);

}   // namespace corvelle
