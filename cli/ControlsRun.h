// One effect instance set up for showing and driving its on-screen controls in a window.
#pragma once

#include "cli/Commands.h"
#include "cli/options/EffectOptions.h"
#include "cli/EffectSession.h"
#include "cli/options/KeyOptions.h"
#include "controls/EventWindow.h"
#include "core/Host.h"
#include <corvelle/files.h>
#include "cli/options/WindowOptions.h"
#include "core/World.h"

#include <CLI/CLI.hpp>

#include <optional>
#include <string>
#include <vector>

namespace corvelle {

/// The command-line options the controls commands share.
struct ControlsOptions {
    EffectOptions effect;
    HostOptions host;
    WindowSpec window;
    KeyOptions keys;
};

/// Adds the effect, host, window and keyframe options.
void AddControlsOptions(CLI::App& app, ControlsOptions& options);

/// The files the controls commands read: the layer's picture `input` and the key file.
std::vector<NamedFile> ControlsInputs(const ControlsOptions& options,
                                      const std::optional<std::string>& input);

class ControlsRun {
public:
    /// Reads the keyframe file (see LoadKeyFile) and the layer `input` (or makes the built-in test
    /// picture), sets the effect up for it as EffectSession does, puts it at --frame, and opens the
    /// window. Throws HostError on any failure.
    ControlsRun(const ControlsOptions& options, const CommandContext& context,
                const std::optional<std::string>& input);

    Host& GetHost() { return m_session.GetHost(); }
    Effect& GetEffect() { return m_session.GetEffect(); }
    /// The --keys file, if any, as read.
    const std::optional<Keyframes>& Keys() const { return m_keys; }
    EventWindow& Window() { return m_window; }

    /// Renders the layer with the current parameters (point-sampled first when downsampled).
    World Render() { return m_session.Render(m_layer, "rendering"); }

private:
    std::optional<Keyframes> m_keys;
    World m_layer;
    EffectSession m_session;
    EventWindow m_window;   // its events reach the session's host
};

}   // namespace corvelle
