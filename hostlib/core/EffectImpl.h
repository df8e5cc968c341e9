// What an Effect holds; tests reach the host through it by testing/Testing.h.
#pragma once

#include "controls/DragSession.h"
#include "controls/EventWindow.h"
#include "core/FaultPlan.h"
#include "core/Host.h"
#include "core/ModuleLibrary.h"

#include <corvelle/corvelle.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace corvelle {

/// The host settings an Effect loaded with `options` starts with; throws Error (BadValue) for
/// render settings the host cannot use.
HostSettings HostSettingsFor(const LoadOptions& options);

struct Effect::Impl {
    Impl(std::shared_ptr<ModuleLibrary> module, const HostSettings& settings);

    /// Loads the module at `path` (empty: the default), makes a host with `settings` and
    /// `faults`, and runs Global and Parameters setup. Throws HostError.
    static std::unique_ptr<Impl> Create(const std::string& path, const HostSettings& settings,
                                        const FaultPlan& faults = {});

    std::shared_ptr<ModuleLibrary> module;   // outlives the host, whose entry point lives in it
    corvelle::Host host;
    WindowSpec window;                          // as the front-end gave it
    std::unique_ptr<EventWindow> eventWindow;   // made on first use, remade when the window changes
    std::unique_ptr<DragSession> drag;
    std::optional<World> sampledLayer;   // a downsampled render's layer, reused while its size holds
    nlohmann::ordered_json beforeDrag;

    EventWindow& Window();
    /// Throws HostError (Module, with the module's code and message) unless `err` is 0.
    void Check(PF_Err err, const std::string& what) const;
    /// Changes a parameter as a user would, unless `differs` says the value is already there.
    void Change(int index, const std::string& label, const std::function<bool(const PF_ParamDef&)>& differs,
                const std::function<void(PF_ParamDef&)>& change);
};

}   // namespace corvelle
