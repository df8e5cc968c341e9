// One effect instance a command runs: the module loaded, a host set up for the layer and the
// command's options applied.
#pragma once

#include "cli/Commands.h"
#include "cli/options/EffectOptions.h"
#include "testing/Testing.h"
#include "core/World.h"

#include <corvelle/corvelle.h>

#include <optional>
#include <string>

namespace corvelle {

class EffectSession {
public:
    /// Loads the module, makes a host for a layer of `layerWidth` × `layerHeight` under the host
    /// options and the context's fault plan, runs Global and Parameters setup and applies the
    /// effect options. Suite imbalances are warnings. Throws HostError on any failure.
    EffectSession(const EffectOptions& effect, const HostOptions& hostOptions, const CommandContext& context,
                  A_long layerWidth, A_long layerHeight);
    EffectSession(const EffectSession&) = delete;
    EffectSession& operator=(const EffectSession&) = delete;

    Effect& GetEffect() { return m_effect; }
    Host& GetHost() { return Internals(m_effect).host; }
    PixelLayout Layout() const { return m_layout; }

    /// Renders one layer-sized frame, point-sampled first when the render is downsampled;
    /// throws HostError starting with `what` for a frame of another size or a module error.
    /// The frame stays valid until the next render.
    const World& Render(World& layer, const std::string& what);
    /// Throws HostError "`what`: the module returned error N[: its message]" unless `err` is 0.
    void Check(PF_Err err, const std::string& what) const { Internals(m_effect).Check(err, what); }

private:
    World& OutputOfSize(A_long width, A_long height);

    PixelLayout m_layout;
    Effect m_effect;
    std::optional<World> m_output;
};

}   // namespace corvelle
