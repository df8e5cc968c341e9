// One effect instance in the headless host: builds each command's records, keeps the
// parameters and their UI state, and serves the module's callbacks and suites.
#include "core/Host.h"

#include "suites/BasicSuites.h"
#include "core/HostError.h"
#include "suites/RenderSuites.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <list>
#include <map>
#include <mutex>
#include <thread>

namespace corvelle {

namespace {

thread_local Host* t_active = nullptr;

std::string NameOf(const PF_ParamDef& def) {
    return std::string(def.name, strnlen(def.name, sizeof def.name));
}

/// num / den rounded to nearest, ties away from zero (den > 0).
A_long RoundedQuotient(int64_t num, int64_t den) {
    int64_t quotient = num / den;
    const int64_t remainder = num % den;
    if (2 * std::llabs(remainder) >= den) {
        quotient += num < 0 ? -1 : 1;
    }
    return static_cast<A_long>(quotient);
}

/// A point default is a percentage of the layer size in 16.16; the value is layer pixels in 16.16.
PF_Fixed PointFromPercent(PF_Fixed percent, A_long layerSize) {
    return RoundedQuotient(static_cast<int64_t>(percent) * layerSize, 100);
}

PF_Fixed ScaleByDownsample(PF_Fixed value, const PF_RationalScale& scale) {
    return RoundedQuotient(static_cast<int64_t>(value) * scale.num, static_cast<int64_t>(scale.den));
}

bool IsSupportedType(PF_ParamType type) {
    switch (type) {
    case PF_Param_FIX_SLIDER:
    case PF_Param_ANGLE:
    case PF_Param_CHECKBOX:
    case PF_Param_COLOR:
    case PF_Param_POINT:
    case PF_Param_POPUP:
    case PF_Param_FLOAT_SLIDER: return true;
    default: return false;
    }
}

const char* CommandName(PF_Cmd cmd) {
    switch (cmd) {
    case PF_Cmd_ABOUT: return "About";
    case PF_Cmd_GLOBAL_SETUP: return "Global setup";
    case PF_Cmd_PARAMS_SETUP: return "Parameters setup";
    case PF_Cmd_RENDER: return "Render";
    case PF_Cmd_UPDATE_PARAMS_UI: return "Update parameter UI";
    case PF_Cmd_EVENT: return "Event";
    default: return "command";
    }
}

// The selectors a host sends before an instance has parameters; every other one lends them.
bool LendsParams(PF_Cmd cmd) {
    switch (cmd) {
    case PF_Cmd_ABOUT:
    case PF_Cmd_GLOBAL_SETUP:
    case PF_Cmd_GLOBAL_SETDOWN:
    case PF_Cmd_PARAMS_SETUP: return false;
    default: return true;
    }
}

const char* LayoutName(PixelLayout layout) {
    switch (layout) {
    case PixelLayout::Argb8: return "8-bit ARGB";
    case PixelLayout::Argb16: return "16-bit ARGB";
    case PixelLayout::Bgra8: return "8-bit BGRA";
    case PixelLayout::BgraFloat: return "float BGRA";
    }
    return "unknown";
}

}   // namespace

struct Host::Impl {
    std::mutex callMutex;
    std::map<std::string, int> callCounts;
    std::list<std::string> texts;   // choice lists and labels copied at add_param, stable addresses
    std::map<const PF_EffectWorld*, PixelLayout> lentWorlds;   // during a render only
    PF_UtilCallbacks utils{};
    int addParamCalls = 0;
    bool registering = false;   // add_param and register_ui are answered only during Parameters setup
};

Host::CommandScope::CommandScope(Host& host) : m_previous(t_active) {
    t_active = &host;
}
Host::CommandScope::~CommandScope() {
    t_active = m_previous;
}

Host* Host::Active() {
    return t_active;
}

Host::Host(PF_EntryPointFunc entry, HostSettings settings)
    : m_entry(entry), m_settings(settings), m_suites(m_trace, m_faults), m_impl(std::make_unique<Impl>()) {
    if (!m_entry) {
        throw HostError("cannot make a host: the module gave no entry point");
    }
    RegisterBasicSuites(m_suites);
    RegisterRenderSuites(m_suites);
    m_impl->utils = UtilCallbacks();
}

Host::~Host() = default;

// ---- Commands ---------------------------------------------------------------------------

PF_Err Host::Dispatch(PF_Cmd cmd, PF_ParamDef** params, PF_LayerDef* output, void* extra) {
    m_outData = PF_OutData{};
    m_inData = PF_InData{};
    m_inData.inter = InteractCallbacks();
    m_inData.utils = &m_impl->utils;
    m_inData.effect_ref = EffectRef();
    m_inData.quality = m_settings.quality;
    m_inData.appl_id = m_settings.app == HostApp::Premiere ? kApplIdPremiere : kApplIdAfterEffects;
    m_inData.num_params = m_current.empty() ? 1 : static_cast<A_long>(m_current.size());
    m_inData.current_time = m_settings.currentTime;
    m_inData.time_step = m_settings.timeStep;
    m_inData.time_scale = m_settings.timeScale;
    m_inData.width = m_settings.layerWidth;
    m_inData.height = m_settings.layerHeight;
    m_inData.downsample_x = m_settings.downsampleX;
    m_inData.downsample_y = m_settings.downsampleY;
    m_inData.pixel_aspect_ratio = m_settings.pixelAspect;
    m_inData.pica_basicP = m_faults.withholdBasicSuite ? nullptr : m_suites.BasicSuite();

    m_suites.ResetBalance();
    PF_Err err = PF_Err_NONE;
    {
        CommandScope scope(*this);
        struct Running {
            std::optional<PF_Cmd>& running;
            ~Running() { running.reset(); }
        } running{m_running};
        m_running = cmd;
        try {
            err = m_entry(cmd, &m_inData, &m_outData, params, output, extra);
        } catch (...) {
            throw HostError(std::string(CommandName(cmd)) + " " + std::to_string(cmd) +
                            ": an exception escaped the module's entry point");
        }
    }
    CheckBalance(CommandName(cmd));
    return err;
}

std::vector<PF_ParamDef> Host::CommandCopies() const {
    std::vector<PF_ParamDef> copies = m_current;
    for (PF_ParamDef& copy : copies) {
        copy.uu.change_flags = 0;
    }
    return copies;
}

PF_Err Host::DispatchWithCopies(PF_Cmd cmd, std::vector<PF_ParamDef>& copies, PF_LayerDef* output,
                                void* extra) {
    std::vector<PF_ParamDef*> pointers;
    pointers.reserve(copies.size());
    for (PF_ParamDef& copy : copies) {
        pointers.push_back(&copy);
    }
    return Dispatch(cmd, pointers.empty() ? nullptr : pointers.data(), output, extra);
}

void Host::CheckBalance(const char* command) {
    std::vector<std::string> problems = m_suites.BalanceProblems();
    for (const auto& check : m_balanceChecks) {
        std::vector<std::string> more = check();
        problems.insert(problems.end(), more.begin(), more.end());
    }
    m_problems = problems;
    if (problems.empty()) {
        return;
    }
    if (m_policy == BalancePolicy::Warn) {
        for (const std::string& problem : problems) {
            std::cerr << "corvelle: warning: " << command << ": " << problem << "\n";
        }
        return;
    }
    std::string message = std::string(command) + ": unbalanced suites";
    for (const std::string& problem : problems) {
        message += "; " + problem;
    }
    throw HostError(message);
}

PF_Err Host::About(std::string* text) {
    std::vector<PF_ParamDef> copies = CommandCopies();
    const PF_Err err = DispatchWithCopies(PF_Cmd_ABOUT, copies, nullptr, nullptr);
    if (text) {
        *text = std::string(m_outData.return_msg, strnlen(m_outData.return_msg, sizeof m_outData.return_msg));
    }
    return err;
}

PF_Err Host::GlobalSetup() {
    m_pixelFormats.clear();
    std::vector<PF_ParamDef> copies = CommandCopies();
    const PF_Err err = DispatchWithCopies(PF_Cmd_GLOBAL_SETUP, copies, nullptr, nullptr);
    m_versionWord = m_outData.my_version;
    return err;
}

PF_Err Host::ParamsSetup() {
    m_registered.clear();
    m_current.clear();
    m_uiStates.clear();
    m_uiRegistered = false;
    m_uiInfo = PF_CustomUIInfo{};
    m_impl->texts.clear();
    m_impl->addParamCalls = 0;

    // Index 0, the input layer, is the host's own; registration appends after it.
    PF_ParamDef layer{};
    layer.param_type = PF_Param_LAYER;
    layer.u.ld.width = m_settings.layerWidth;
    layer.u.ld.height = m_settings.layerHeight;
    layer.u.ld.extent_hint = PF_LRect{0, 0, m_settings.layerWidth, m_settings.layerHeight};
    m_current.push_back(layer);
    m_uiStates.push_back(ParamUIState{});
    m_impl->registering = true;
    struct EndRegistering {
        bool& flag;
        ~EndRegistering() { flag = false; }
    } endRegistering{m_impl->registering};
    // A host drops an instance whose set-up failed in any way, thrown or returned: nothing may
    // render or handle events with what it half registered.
    struct DropUnlessKept {
        Host& host;
        bool kept = false;
        ~DropUnlessKept() {
            if (!kept) {
                host.m_current.clear();
                host.m_paramsSetupFailed = true;
            }
        }
    } drop{*this};
    m_paramsSetupFailed = false;
    const PF_Err err = Dispatch(PF_Cmd_PARAMS_SETUP, nullptr, nullptr, nullptr);
    if (err) {
        return err;
    }
    // Every later command lends num_params records; the module must have registered them all.
    if (m_outData.num_params != static_cast<A_long>(m_current.size())) {
        throw HostError("Parameters setup: the module reports " + std::to_string(m_outData.num_params) +
                        " parameters but registered " + std::to_string(m_current.size()) +
                        " with the input layer");
    }
    drop.kept = true;
    return err;
}

PF_Err Host::UpdateParamsUI() {
    // The module reads every parameter record on this command; without them it would read none.
    if (m_current.size() < 2) {
        throw HostError("cannot update the parameter UI: the effect's parameters were never set up");
    }
    std::vector<PF_ParamDef> copies = CommandCopies();
    return DispatchWithCopies(PF_Cmd_UPDATE_PARAMS_UI, copies, nullptr, nullptr);
}

PF_Err Host::Render(World& input, World& output) {
    if (m_current.size() < 2) {
        throw HostError("cannot render: the effect's parameters were never set up");
    }
    const PixelLayout layout = output.Layout();
    if (input.Layout() != layout) {
        throw HostError(std::string("cannot render: the input is ") + LayoutName(input.Layout()) +
                        " but the output " + LayoutName(layout));
    }
    if (m_settings.app == HostApp::Premiere) {
        const PrPixelFormat format =
            layout == PixelLayout::Bgra8 ? PrPixelFormat_BGRA_4444_8u : PrPixelFormat_BGRA_4444_32f;
        const bool bgra = layout == PixelLayout::Bgra8 || layout == PixelLayout::BgraFloat;
        if (!bgra ||
            std::find(m_pixelFormats.begin(), m_pixelFormats.end(), format) == m_pixelFormats.end()) {
            throw HostError(std::string("cannot render: the editor renders only the formats the "
                                        "module declared at Global setup, not ") +
                            LayoutName(layout));
        }
    } else if (layout != PixelLayout::Argb8 && layout != PixelLayout::Argb16) {
        throw HostError(std::string("cannot render: the compositor renders 8-bit and 16-bit ARGB, not ") +
                        LayoutName(layout));
    }
    if (m_settings.downsampleX.den == 0 || m_settings.downsampleY.den == 0) {
        throw HostError("cannot render: a downsample factor has a zero denominator");
    }

    std::vector<PF_ParamDef> copies = CommandCopies();
    copies[0].u.ld = *input.Def();
    // As the production host does, a render sees points in its own downsampled pixels.
    for (PF_ParamDef& copy : copies) {
        if (copy.param_type == PF_Param_POINT) {
            copy.u.td.x_value = ScaleByDownsample(copy.u.td.x_value, m_settings.downsampleX);
            copy.u.td.y_value = ScaleByDownsample(copy.u.td.y_value, m_settings.downsampleY);
        }
    }

    struct LentWorlds {
        std::map<const PF_EffectWorld*, PixelLayout>& worlds;
        ~LentWorlds() { worlds.clear(); }
    } lent{m_impl->lentWorlds};
    lent.worlds[input.Def()] = layout;
    lent.worlds[&copies[0].u.ld] = layout;
    lent.worlds[output.Def()] = layout;
    return DispatchWithCopies(PF_Cmd_RENDER, copies, output.Def(), nullptr);
}

PF_Err Host::Event(PF_EventExtra& event) {
    RefuseAfterFailedSetup(PF_Cmd_EVENT);
    std::vector<PF_ParamDef> copies = CommandCopies();
    const PF_Err err = DispatchWithCopies(PF_Cmd_EVENT, copies, nullptr, &event);
    bool supervisedChanged = false;
    for (std::size_t i = 1; i < copies.size() && i < m_current.size(); ++i) {
        if (copies[i].uu.change_flags & PF_ChangeFlag_CHANGED_VALUE) {
            m_current[i].u = copies[i].u;
            if (m_clampWrittenValues)
                ClampToValidRange(m_registered[i - 1], m_current[i]);
            supervisedChanged = supervisedChanged || (m_current[i].flags & PF_ParamFlag_SUPERVISE);
        }
    }
    if (supervisedChanged) {
        const PF_Err updateErr = UpdateParamsUI();
        return err ? err : updateErr;
    }
    return err;
}

void ClampToValidRange(const PF_ParamDef& registered, PF_ParamDef& param) {
    switch (param.param_type) {
    case PF_Param_FLOAT_SLIDER: {
        const double low = static_cast<double>(registered.u.fs_d.valid_min);
        const double high = static_cast<double>(registered.u.fs_d.valid_max);
        double& value = param.u.fs_d.value;
        value = std::isnan(value) ? low : std::min(std::max(value, low), high);
        break;
    }
    case PF_Param_FIX_SLIDER:
        param.u.fd.value =
            std::min(std::max(param.u.fd.value, registered.u.fd.valid_min), registered.u.fd.valid_max);
        break;
    case PF_Param_ANGLE:
        // An angle registered without a range (both 0) turns freely.
        if (registered.u.ad.valid_min < registered.u.ad.valid_max) {
            param.u.ad.value =
                std::min(std::max(param.u.ad.value, registered.u.ad.valid_min), registered.u.ad.valid_max);
        }
        break;
    case PF_Param_POPUP:
        param.u.pd.value =
            std::min<A_long>(std::max<A_long>(param.u.pd.value, 1), registered.u.pd.num_choices);
        break;
    case PF_Param_CHECKBOX: param.u.bd.value = param.u.bd.value != 0; break;
    default: break;
    }
}

PF_Err Host::Command(PF_Cmd cmd, PF_LayerDef* output, void* extra) {
    if (LendsParams(cmd)) {
        RefuseAfterFailedSetup(cmd);
    }
    std::vector<PF_ParamDef> copies = CommandCopies();
    return DispatchWithCopies(cmd, copies, output, extra);
}

void Host::RefuseAfterFailedSetup(PF_Cmd cmd) const {
    // Before any set-up a stand-in module may still be sent what a test likes; after a failed
    // one the instance is gone, and the module would be lent no parameter records at all.
    if (m_paramsSetupFailed) {
        throw HostError(std::string("cannot send ") + CommandName(cmd) + " " + std::to_string(cmd) +
                        ": the effect's parameters failed to set up");
    }
}

// ---- Parameters -----------------------------------------------------------------------

PF_ParamDef& Host::Param(int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= m_current.size()) {
        throw HostError("no parameter " + std::to_string(index) + ": the effect has " +
                        std::to_string(m_current.size()));
    }
    return m_current[static_cast<std::size_t>(index)];
}

PF_Err Host::ChangeParam(int index, const std::function<void(PF_ParamDef&)>& change) {
    if (index < 1 || static_cast<std::size_t>(index) >= m_current.size()) {
        throw HostError("cannot change parameter " + std::to_string(index) + ": the effect has " +
                        std::to_string(m_current.size()));
    }
    PF_ParamDef& param = m_current[static_cast<std::size_t>(index)];
    change(param);
    if (m_registered[static_cast<std::size_t>(index) - 1].flags & PF_ParamFlag_SUPERVISE) {
        return UpdateParamsUI();
    }
    return PF_Err_NONE;
}

ParamUIState Host::UIState(int index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= m_uiStates.size()) {
        throw HostError("no parameter " + std::to_string(index) + ": the effect has " +
                        std::to_string(m_uiStates.size()));
    }
    return m_uiStates[static_cast<std::size_t>(index)];
}

void Host::AddBalanceCheck(std::function<std::vector<std::string>()> check) {
    m_balanceChecks.push_back(std::move(check));
}

void Host::RecordCall(const std::string& suite, int version, const std::string& function, nlohmann::json args,
                      long result) {
    if (!m_trace.Enabled())
        return;
    m_trace.Record(CallRecord{suite, version, function, std::move(args), result});
}

PF_Err Host::InjectedFault(const std::string& function) {
    std::lock_guard<std::mutex> lock(m_impl->callMutex);
    const int count = ++m_impl->callCounts[function];
    const auto planned = m_faults.failNthCall.find(function);
    return planned != m_faults.failNthCall.end() && planned->second == count ? m_faults.callFailureError
                                                                             : PF_Err_NONE;
}

// ---- The host side of the module's calls ---------------------------------------------------

PF_Err Host::AddParam(PF_ProgPtr effect_ref, PF_ParamIndex index, const PF_ParamDef* def) {
    if (effect_ref != EffectRef() || !def) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    if (++m_impl->addParamCalls == m_faults.failAddParamAt) {
        return m_faults.addParamError;
    }
    if (!m_impl->registering) {
        return PF_Err_INVALID_CALLBACK;
    }
    if (index != -1 && static_cast<std::size_t>(index) != m_current.size()) {
        return PF_Err_INVALID_INDEX;
    }
    if (!IsSupportedType(def->param_type)) {
        return PF_Err_UNRECOGNIZED_PARAM_TYPE;
    }
    PF_ParamDef stored = *def;
    // The module's texts need not outlive the call, so the host keeps its own copies.
    if (stored.param_type == PF_Param_POPUP && stored.u.pd.u.namesptr) {
        stored.u.pd.u.namesptr = m_impl->texts.emplace_back(stored.u.pd.u.namesptr).c_str();
    }
    if (stored.param_type == PF_Param_CHECKBOX && stored.u.bd.u.nameptr) {
        stored.u.bd.u.nameptr = m_impl->texts.emplace_back(stored.u.bd.u.nameptr).c_str();
    }

    PF_ParamDef current = stored;
    switch (current.param_type) {
    case PF_Param_POPUP: current.u.pd.value = current.u.pd.dephault; break;
    case PF_Param_FLOAT_SLIDER: current.u.fs_d.value = static_cast<double>(current.u.fs_d.dephault); break;
    case PF_Param_FIX_SLIDER: current.u.fd.value = current.u.fd.dephault; break;
    case PF_Param_ANGLE: current.u.ad.value = current.u.ad.dephault; break;
    case PF_Param_CHECKBOX: current.u.bd.value = current.u.bd.dephault; break;
    case PF_Param_COLOR: current.u.cd.value = current.u.cd.dephault; break;
    case PF_Param_POINT:
        current.u.td.x_value = PointFromPercent(current.u.td.x_dephault, m_settings.layerWidth);
        current.u.td.y_value = PointFromPercent(current.u.td.y_dephault, m_settings.layerHeight);
        break;
    default: break;
    }
    m_registered.push_back(stored);
    m_current.push_back(current);
    m_uiStates.push_back(ParamUIState{NameOf(stored), (stored.ui_flags & PF_PUI_DISABLED) != 0});
    return PF_Err_NONE;
}

PF_Err Host::RegisterUI(PF_ProgPtr effect_ref, const PF_CustomUIInfo* info) {
    if (effect_ref != EffectRef() || !info) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    if (!m_impl->registering) {
        return PF_Err_INVALID_CALLBACK;
    }
    if (m_faults.registerUIError) {
        return *m_faults.registerUIError;
    }
    m_uiRegistered = true;
    m_uiInfo = *info;
    return PF_Err_NONE;
}

PF_Err Host::UpdateParamUI(PF_ProgPtr effect_ref, PF_ParamIndex index, const PF_ParamDef* def) {
    if (effect_ref != EffectRef() || !def) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    if (m_faults.failUpdateParamUIIndex &&
        (*m_faults.failUpdateParamUIIndex == -1 || *m_faults.failUpdateParamUIIndex == index)) {
        return m_faults.updateParamUIError;
    }
    if (index < 1 || static_cast<std::size_t>(index) >= m_current.size()) {
        return PF_Err_INVALID_INDEX;
    }
    PF_ParamDef& current = m_current[static_cast<std::size_t>(index)];
    if (def->param_type != current.param_type) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    // Only the control changes: its name and flags, never the value.
    const std::string name = NameOf(*def);
    m_uiStates[static_cast<std::size_t>(index)] = ParamUIState{name, (def->ui_flags & PF_PUI_DISABLED) != 0};
    current.ui_flags = def->ui_flags;
    std::memset(current.name, 0, sizeof current.name);
    std::memcpy(current.name, name.data(), std::min(name.size(), sizeof current.name - 1));
    return PF_Err_NONE;
}

PF_Err Host::AddSupportedPixelFormat(PF_ProgPtr effect_ref, PrPixelFormat format) {
    if (effect_ref != EffectRef()) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    m_pixelFormats.push_back(format);
    return PF_Err_NONE;
}

PF_Err Host::ClearSupportedPixelFormats(PF_ProgPtr effect_ref) {
    if (effect_ref != EffectRef()) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    m_pixelFormats.clear();
    return PF_Err_NONE;
}

PF_Err Host::PixelFormatOf(const PF_EffectWorld* world, PrPixelFormat* format) const {
    if (!world || !format) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    if (m_faults.pixelFormatOverride) {
        *format = *m_faults.pixelFormatOverride;
        return PF_Err_NONE;
    }
    const PixelLayout* layout = LayoutOf(world);
    if (!layout) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    switch (*layout) {
    case PixelLayout::Bgra8: *format = PrPixelFormat_BGRA_4444_8u; return PF_Err_NONE;
    case PixelLayout::BgraFloat: *format = PrPixelFormat_BGRA_4444_32f; return PF_Err_NONE;
    case PixelLayout::Argb8:
    case PixelLayout::Argb16: return PF_Err_UNRECOGNIZED_PARAM_TYPE;   // no editor code for these
    }
    return PF_Err_UNRECOGNIZED_PARAM_TYPE;
}

const PixelLayout* Host::LayoutOf(const PF_EffectWorld* world) const {
    const auto found = m_impl->lentWorlds.find(world);
    return found == m_impl->lentWorlds.end() ? nullptr : &found->second;
}

unsigned Host::IterationThreads() const {
    if (m_settings.threads > 0) {
        return m_settings.threads;
    }
    return std::max(1u, std::thread::hardware_concurrency());
}

std::size_t Host::ReturnMsgRoom(const char* buffer) const {
    const char* begin = m_outData.return_msg;
    const char* end = begin + sizeof m_outData.return_msg;
    // Compared as integers: pointers into different objects have no order in C++.
    const auto at = reinterpret_cast<std::uintptr_t>(buffer);
    if (at < reinterpret_cast<std::uintptr_t>(begin) || at >= reinterpret_cast<std::uintptr_t>(end)) {
        return 0;
    }
    return static_cast<std::size_t>(reinterpret_cast<std::uintptr_t>(end) - at);
}

}   // namespace corvelle
