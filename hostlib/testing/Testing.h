// What tests, fuzz targets and benchmarks reach behind the public API: the host an Effect drives
// (its call trace, its parameters' raw values) and Effects made over a host with a fault plan.
// Front-ends never include this; it is not installed.
#pragma once

#include "core/EffectImpl.h"
#include "core/FaultPlan.h"
#include "core/Host.h"

#include <corvelle/corvelle.h>

#include <memory>
#include <string>
#include <utility>

namespace corvelle {

class EffectAccess {
public:
    using Internals = Effect::Impl;

    static Internals& Of(Effect& effect) { return *effect.m_impl; }
    static const Internals& Of(const Effect& effect) { return *effect.m_impl; }
    static Effect Make(std::unique_ptr<Internals> internals) { return Effect(std::move(internals)); }
};

/// What `effect` holds: its host, module and controls window.
inline EffectAccess::Internals& Internals(Effect& effect) {
    return EffectAccess::Of(effect);
}
inline const EffectAccess::Internals& Internals(const Effect& effect) {
    return EffectAccess::Of(effect);
}

/// An Effect over the module at `path` (empty: the default), with a host made from `settings`
/// that injects `faults`, after Global and Parameters setup. Throws HostError.
inline Effect MakeEffect(const std::string& path, const HostSettings& settings,
                         const FaultPlan& faults = {}) {
    return EffectAccess::Make(EffectAccess::Internals::Create(path, settings, faults));
}

/// As above, from what a front-end holds: `render` is in force from the module's first command.
inline Effect MakeEffect(const LoadOptions& load, const RenderSettings& render,
                         const FaultPlan& faults = {}) {
    HostSettings settings;
    settings.app = load.host == HostKind::Editor ? HostApp::Premiere : HostApp::AfterEffects;
    settings.layerWidth = load.layerWidth;
    settings.layerHeight = load.layerHeight;
    settings.downsampleX = PF_RationalScale{render.downsampleX.num, render.downsampleX.den};
    settings.downsampleY = PF_RationalScale{render.downsampleY.num, render.downsampleY.den};
    settings.pixelAspect = PF_RationalScale{render.pixelAspect.num, render.pixelAspect.den};
    settings.quality = render.highQuality ? PF_Quality_HI : PF_Quality_LO;
    settings.threads = render.threads;
    return MakeEffect(load.modulePath, settings, faults);
}

}   // namespace corvelle
