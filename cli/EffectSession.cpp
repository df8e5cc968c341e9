// Sets up the effect the way every command needs it and renders frames through it.
#include "cli/EffectSession.h"

namespace corvelle {
namespace {

std::string SizeText(A_long width, A_long height) {
    return std::to_string(width) + "x" + std::to_string(height);
}

}   // namespace

EffectSession::EffectSession(const EffectOptions& effect, const HostOptions& hostOptions,
                             const CommandContext& context, A_long layerWidth, A_long layerHeight)
    : m_layout(WorldLayout(hostOptions)),
      m_effect(MakeEffect(MakeLoadOptions(hostOptions, layerWidth, layerHeight), hostOptions.render,
                          context.faults)) {
    ApplyEffectOptions(effect, m_effect);
}

const World& EffectSession::Render(World& layer, const std::string& what) {
    const int layerWidth = m_effect.LayerWidth();
    const int layerHeight = m_effect.LayerHeight();
    if (layer.Width() != layerWidth || layer.Height() != layerHeight) {
        throw HostError(what + ": the frame is " + SizeText(layer.Width(), layer.Height()) +
                        " but the layer is " + SizeText(layerWidth, layerHeight));
    }
    World& output = OutputOfSize(m_effect.OutputWidth(), m_effect.OutputHeight());
    try {
        m_effect.Render(layer.View(), output.View());
    } catch (const Error& e) {
        // Reported under the command's own words for the frame.
        const std::string message = e.what();
        const std::size_t colon = message.find(": ");
        throw HostError(what + ": " + (colon == std::string::npos ? message : message.substr(colon + 2)),
                        e.Kind(), e.ModuleCode());
    }
    return output;
}

// Every render writes each output pixel, so a stream's frames share one output world: a fresh
// one a frame would cost its zeroing and, for large frames, its page faults every time.
World& EffectSession::OutputOfSize(A_long width, A_long height) {
    if (!m_output || m_output->Width() != width || m_output->Height() != height) {
        m_output.reset();   // the old frame's memory goes before the new one is taken
        m_output.emplace(m_layout, width, height);
    }
    return *m_output;
}

}   // namespace corvelle
