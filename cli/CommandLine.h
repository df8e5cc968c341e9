// The corvelle command line: parsing, the help's layout, and how every failure is reported.
#pragma once

#include "Commands.h"
#include <corvelle/files.h>

#include <CLI/CLI.hpp>

#include <optional>
#include <ostream>
#include <string>

namespace corvelle {

/// Adds the positionals [INPUT] OUTPUT: a single file is OUTPUT, two are INPUT and OUTPUT.
void AddInputOutput(CLI::App& app, std::optional<std::string>& input, std::string& output,
                    const std::string& description);

/// Adds --frames A-B (frame numbers of an image sequence), checked as CLI11 parses it.
void AddFramesOption(CLI::App* app, std::optional<FrameRange>& frames);

/// Parses `argv` and runs the one subcommand it names, with `context` for every host it makes.
/// Help goes to `out`; a failure, of the parse or of the run, goes to `err` as one line
/// "corvelle: what failed: why". Returns the exit status: 0, 1 when the run failed, 2 when the
/// command line was wrong.
int RunCommandLine(int argc, const char* const* argv, const CommandContext& context, std::ostream& out,
                   std::ostream& err);

}   // namespace corvelle
