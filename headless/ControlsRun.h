// One effect instance set up for showing and driving its on-screen controls.
#pragma once

#include "Commands.h"
#include "EffectOptions.h"
#include "EffectSession.h"
#include "Host.h"
#include "World.h"

#include <optional>
#include <string>

namespace corvelle {

class ControlsRun {
public:
    /// Reads the layer `input` (or makes the built-in test picture), then sets the effect up
    /// for it as EffectSession does. Throws HostError on any failure.
    ControlsRun(const EffectOptions& effect, const HostOptions& hostOptions, const CommandContext& context,
                const std::optional<std::string>& input);

    Host& GetHost() { return m_session.GetHost(); }
    A_long LayerWidth() const { return m_layer.Width(); }
    A_long LayerHeight() const { return m_layer.Height(); }

    /// Renders the layer with the current parameters (point-sampled first when downsampled).
    World Render() { return m_session.Render(m_layer, "rendering"); }

private:
    World m_layer;
    EffectSession m_session;
};

}  // namespace corvelle
