// The command-line description of the window the module's controls are shown in.
#pragma once

#include <corvelle/corvelle.h>

#include <CLI/CLI.hpp>

#include <string>

namespace corvelle {

/// Adds --window, --zoom, --offset and --layer-pos, each checked as CLI11 parses it.
void AddWindowOptions(CLI::App& app, WindowSpec& options);

/// Reads "X,Y" of two finite numbers; throws Error naming `what` otherwise.
void ParseNumberPair(const std::string& text, const std::string& what, double& x, double& y);
/// Reads "X,Y" of two whole numbers within ±1000000; throws Error naming `what` otherwise.
WindowPixel ParseWindowPixel(const std::string& text, const std::string& what);

}   // namespace corvelle
