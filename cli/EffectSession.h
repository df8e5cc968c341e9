// One effect instance a command runs: the module loaded for the layer, the host options in force
// and the command's effect options applied.
#pragma once

#include "Commands.h"
#include "options/EffectOptions.h"

#include <corvelle/corvelle.h>

#include <optional>
#include <string>

namespace corvelle {

class EffectSession {
public:
    /// Loads the module for a layer of `layerWidth` × `layerHeight` under the host options, through
    /// the context's maker, and applies the effect options. Throws Error on any failure.
    EffectSession(const EffectOptions& effect, const HostOptions& hostOptions, const CommandContext& context,
                  int layerWidth, int layerHeight);
    EffectSession(const EffectSession&) = delete;
    EffectSession& operator=(const EffectSession&) = delete;

    Effect& GetEffect() { return m_effect; }
    PixelFormat Format() const { return m_format; }

    /// Renders one layer-sized frame, point-sampled first when the render is downsampled;
    /// throws Error starting with `what` for a frame of another size or a module error.
    /// The frame stays valid until the next render.
    ConstImageView Render(const ConstImageView& layer, const std::string& what);

private:
    Picture& OutputOfSize(int width, int height);

    PixelFormat m_format;
    Effect m_effect;
    std::optional<Picture> m_output;
};

/// `error` told under the command's own words `what`: "what: why", the library's own "doing:"
/// dropped, its kind and module code kept.
Error Retold(const Error& error, const std::string& what);

/// Reads the layer's picture `input` in the host's format, or makes the built-in test picture.
Picture ReadLayer(const HostOptions& hostOptions, const std::optional<std::string>& input);

}   // namespace corvelle
