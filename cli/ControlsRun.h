// One effect instance set up for showing and driving its on-screen controls in a window.
#pragma once

#include "cli/Commands.h"
#include "cli/EffectOptions.h"
#include "cli/EffectSession.h"
#include "controls/EventWindow.h"
#include "core/Host.h"
#include "cli/WindowOptions.h"
#include "core/World.h"

#include <CLI/CLI.hpp>

#include <optional>
#include <string>

namespace corvelle {

/// The command-line options the controls commands share.
struct ControlsOptions {
    EffectOptions effect;
    HostOptions host;
    WindowOptions window;
};

/// Adds the effect, host and window options.
void AddControlsOptions(CLI::App& app, ControlsOptions& options);

class ControlsRun {
public:
    /// Reads the layer `input` (or makes the built-in test picture), sets the effect up for it
    /// as EffectSession does, and opens the window. Throws HostError on any failure.
    ControlsRun(const ControlsOptions& options, const CommandContext& context,
                const std::optional<std::string>& input);

    Host& GetHost() { return m_session.GetHost(); }
    EventWindow& Window() { return m_window; }

    /// Renders the layer with the current parameters (point-sampled first when downsampled).
    World Render() { return m_session.Render(m_layer, "rendering"); }

private:
    World m_layer;
    EffectSession m_session;
    EventWindow m_window;   // its events reach the session's host
};

}   // namespace corvelle
