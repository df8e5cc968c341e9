// Sets up the effect the way every command needs it and renders frames through it.
#include "EffectSession.h"

#include "PointSample.h"

#include <cstring>

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
    : m_library(ModulePath(hostOptions, context.argv0)),
      m_layout(WorldLayout(hostOptions)),
      m_host(m_library.Entry(), MakeHostSettings(hostOptions, layerWidth, layerHeight)) {
    m_host.SetBalancePolicy(BalancePolicy::Warn);
    m_host.Faults() = context.faults;
    Check(m_host.GlobalSetup(), "setting up the effect");
    Check(m_host.ParamsSetup(), "setting up the effect's parameters");
    ApplyEffectOptions(effect, m_host);
}

World EffectSession::Render(World& layer, const std::string& what) {
    const HostSettings& settings = m_host.Settings();
    if (layer.Width() != settings.layerWidth || layer.Height() != settings.layerHeight) {
        throw HostError(what + ": the frame is " + SizeText(layer.Width(), layer.Height()) +
                        " but the layer is " + SizeText(settings.layerWidth, settings.layerHeight));
    }
    if (IsFullSize(settings)) {
        return RenderWorld(layer, what);
    }
    World sampled = PointSample(layer, settings.downsampleX, settings.downsampleY);
    return RenderWorld(sampled, what);
}

World EffectSession::RenderWorld(World& input, const std::string& what) {
    World output(m_layout, input.Width(), input.Height());
    Check(m_host.Render(input, output), what);
    return output;
}

void EffectSession::Check(PF_Err err, const std::string& what) const {
    if (err == PF_Err_NONE) {
        return;
    }
    std::string why = "the module returned error " + std::to_string(err);
    const PF_OutData& out = m_host.OutData();
    if ((out.out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE) != 0) {
        const std::string message(out.return_msg, strnlen(out.return_msg, sizeof out.return_msg));
        if (!message.empty()) {
            why += ": " + message;
        }
    }
    throw HostError(what + ": " + why);
}

}   // namespace corvelle
