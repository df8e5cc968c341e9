// What tests, fuzz targets and benchmarks reach behind the public API: the host an Effect drives
// (its call trace, its parameters' raw values) and Effects made over a host with a fault plan.
// Front-ends never include this; it is not installed.
#pragma once

#include "core/EffectImpl.h"
#include "core/FaultPlan.h"
#include "core/Host.h"
#include "core/World.h"

#include <corvelle/corvelle.h>
#include <corvelle/streams.h>

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

/// An Effect as `Effect(load)` makes it, over a host that injects `faults`.
inline Effect MakeEffect(const LoadOptions& load, const FaultPlan& faults) {
    return MakeEffect(load.modulePath, HostSettingsFor(load), faults);
}

/// The built-in picture in a world of its own, for tests that hand worlds to a host.
inline World TestPictureWorld(PixelFormat format, int width = kTestPictureWidth,
                              int height = kTestPictureHeight) {
    World world(format, width, height);
    DrawTestPicture(world.View());
    return world;
}

}   // namespace corvelle
