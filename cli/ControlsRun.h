// One effect instance set up for showing and driving its on-screen controls in a window.
#pragma once

#include "Commands.h"
#include "EffectSession.h"
#include "options/EffectOptions.h"
#include "options/KeyOptions.h"
#include "options/WindowOptions.h"

#include <corvelle/corvelle.h>
#include <corvelle/files.h>

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
    /// window. Throws Error on any failure.
    ControlsRun(const ControlsOptions& options, const CommandContext& context,
                const std::optional<std::string>& input);

    Effect& GetEffect() { return m_session.GetEffect(); }
    /// The --keys file, if any, as read.
    const std::optional<Keyframes>& Keys() const { return m_keys; }

    /// Renders the layer with the current parameters (point-sampled first when downsampled); valid
    /// until the next render.
    ConstImageView Render() { return m_session.Render(m_layer.View(), "rendering"); }

private:
    std::optional<Keyframes> m_keys;
    Picture m_layer;
    EffectSession m_session;
};

}   // namespace corvelle
