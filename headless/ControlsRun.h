// One effect instance set up for showing and driving its on-screen controls.
#pragma once

#include "EffectOptions.h"
#include "Host.h"
#include "ModuleLibrary.h"
#include "World.h"

#include <optional>
#include <string>

namespace corvelle {

class ControlsRun {
public:
    /// Loads the module, makes a host for the layer `input` (or the built-in test picture)
    /// under the host options, runs Global and Parameters setup and applies the effect options.
    /// Suite imbalances are warnings. Throws HostError on any failure.
    ControlsRun(const EffectOptions& effect, const HostOptions& hostOptions, const std::string& argv0,
                const std::optional<std::string>& input);

    Host& GetHost() { return m_host; }
    A_long LayerWidth() const { return m_layer.Width(); }
    A_long LayerHeight() const { return m_layer.Height(); }

    /// Renders the layer with the current parameters (point-sampled first when downsampled).
    World Render();
    /// Throws HostError "`what`: the module returned error N[: its message]" unless `err` is 0.
    void Check(PF_Err err, const std::string& what) const;

private:
    ModuleLibrary m_library;   // outlives the host, whose entry point lives in it
    PixelLayout m_layout;
    World m_layer;
    Host m_host;
};

}  // namespace corvelle
