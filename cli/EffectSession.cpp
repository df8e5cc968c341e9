// Sets up the effect the way every command needs it and renders frames through it.
#include "cli/EffectSession.h"

#include "core/PointSample.h"

namespace corvelle {
namespace {

std::string SizeText(A_long width, A_long height) {
    return std::to_string(width) + "x" + std::to_string(height);
}

bool IsFullSize(const HostSettings& settings) {
    return settings.downsampleX.num == static_cast<A_long>(settings.downsampleX.den) &&
           settings.downsampleY.num == static_cast<A_long>(settings.downsampleY.den);
}

}   // namespace

EffectSession::EffectSession(const EffectOptions& effect, const HostOptions& hostOptions,
                             const CommandContext& context, A_long layerWidth, A_long layerHeight)
    : m_layout(WorldLayout(hostOptions)),
      m_effect(Effect::Impl::Create(hostOptions.modulePath,
                                    MakeHostSettings(hostOptions, layerWidth, layerHeight), context.faults)) {
    ApplyEffectOptions(effect, m_effect);
}

const World& EffectSession::Render(World& layer, const std::string& what) {
    const HostSettings& settings = GetHost().Settings();
    if (layer.Width() != settings.layerWidth || layer.Height() != settings.layerHeight) {
        throw HostError(what + ": the frame is " + SizeText(layer.Width(), layer.Height()) +
                        " but the layer is " + SizeText(settings.layerWidth, settings.layerHeight));
    }
    if (IsFullSize(settings)) {
        Check(GetHost().Render(layer, OutputOfSize(layer.Width(), layer.Height())), what);
        return *m_output;
    }
    World sampled = PointSample(layer, settings.downsampleX, settings.downsampleY);
    Check(GetHost().Render(sampled, OutputOfSize(sampled.Width(), sampled.Height())), what);
    return *m_output;
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
