// The options that put a command at a frame of a keyframe file: --keys and --frame.
#pragma once

#include "options/EffectOptions.h"

#include <corvelle/corvelle.h>
#include <corvelle/keyframes.h>

#include <CLI/CLI.hpp>

#include <optional>
#include <string>

namespace corvelle {

struct KeyOptions {
    std::optional<std::string> keysPath;
    std::optional<long> frame;
};

/// Adds --keys FILE and --frame N.
void AddKeyOptions(CLI::App& app, KeyOptions& options);

/// The --keys file read against the parameters of the module the host options load; nothing
/// without --keys. A file that cannot be read or is malformed throws CLI::ValidationError, a
/// command-line mistake; a module that cannot be loaded throws Error.
std::optional<Keyframes> LoadKeyFile(const KeyOptions& options, const HostOptions& host);

/// Puts `effect` at `frame`: its time, and the values `keys` give there when there are keys.
void ShowFrame(Effect& effect, const std::optional<Keyframes>& keys, long frame);

}   // namespace corvelle
