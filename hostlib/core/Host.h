// One effect instance in the headless host: builds each command's records, keeps the
// parameters and their UI state, and serves the module's callbacks and suites.
#pragma once

#include "core/CallTrace.h"
#include "core/FaultPlan.h"
#include "core/SuiteRegistry.h"
#include "core/World.h"

#include "host/AE_EffectSuites.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace corvelle {

enum class HostApp { AfterEffects, Premiere };
constexpr A_long kApplIdAfterEffects = 0x46584354;   // 'FXCT'
constexpr A_long kApplIdPremiere = PF_APPL_ID_PREMIERE;

/// What the host tells the module about the layer and the render in PF_InData.
struct HostSettings {
    HostApp app = HostApp::AfterEffects;
    A_long layerWidth = 1920;
    A_long layerHeight = 1080;
    PF_RationalScale downsampleX{1, 1};
    PF_RationalScale downsampleY{1, 1};
    PF_RationalScale pixelAspect{1, 1};
    PF_Quality quality = PF_Quality_HI;
    unsigned threads = 0;   // rows of an iteration are spread over this many; 0 = all cores
    A_long currentTime = 0;
    A_long timeStep = 1;
    A_u_long timeScale = 30;
};

/// What a leaked or doubly released suite does after a command: throw HostError (tests) or
/// print a warning on stderr (the command).
enum class BalancePolicy { Throw, Warn };

/// The state of one parameter's control as the user sees it.
struct ParamUIState {
    std::string name;
    bool disabled = false;
};

/// What a production host stores of a value the module wrote: `param` clamped to the valid range
/// `registered` declares (sliders, ranged angles, popups; a checkbox becomes 0 or 1).
void ClampToValidRange(const PF_ParamDef& registered, PF_ParamDef& param);

class Host {
public:
    Host(PF_EntryPointFunc entry, HostSettings settings = {});
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    HostSettings& Settings() { return m_settings; }
    FaultPlan& Faults() { return m_faults; }
    CallTrace& Trace() { return m_trace; }
    const CallTrace& Trace() const { return m_trace; }
    SuiteRegistry& Suites() { return m_suites; }
    void SetBalancePolicy(BalancePolicy policy) { m_policy = policy; }
    /// Whether Event stores what the module writes clamped to each parameter's valid range, as a
    /// production host does (front-ends), or as written (tests of the module's own formulas,
    /// the default). The module's drag formulas may write values outside the range.
    void SetClampWrittenValues(bool clamp) { m_clampWrittenValues = clamp; }

    // ---- Commands. Each builds fresh PF_InData/PF_OutData, calls the module once, checks the
    // suite balance, and returns the module's result.
    /// PF_Cmd_ABOUT; `text` receives return_msg.
    PF_Err About(std::string* text = nullptr);
    /// PF_Cmd_GLOBAL_SETUP; records the pixel formats declared (Premiere).
    PF_Err GlobalSetup();
    /// PF_Cmd_PARAMS_SETUP; stores what add_param and register_ui receive, initialises the
    /// current values from the defaults (a point's default is a percentage of the layer size).
    /// After a failure, returned or thrown, the instance has no values, so Render, Event,
    /// UpdateParamsUI and any Command that lends parameters throw HostError; a num_params that
    /// disagrees with what was registered throws HostError.
    PF_Err ParamsSetup();
    /// PF_Cmd_UPDATE_PARAMS_UI with the current parameters.
    PF_Err UpdateParamsUI();
    /// PF_Cmd_RENDER: params[PARAM_INPUT] is `input`, the output world is `output`.
    PF_Err Render(World& input, World& output);
    /// PF_Cmd_EVENT with copies of the current parameters (HostError after a failed
    /// ParamsSetup); a value the module marks with PF_ChangeFlag_CHANGED_VALUE becomes the
    /// parameter's new value (clamped to its valid range when SetClampWrittenValues asks for it)
    /// and a supervised one then gets UpdateParamsUI.
    PF_Err Event(PF_EventExtra& event);
    /// Any selector, with the current parameters, for dispatch tests; after a failed
    /// ParamsSetup only those sent without parameters (About, Global setup and setdown).
    PF_Err Command(PF_Cmd cmd, PF_LayerDef* output = nullptr, void* extra = nullptr);

    /// The output block as the last command left it (zeroed before each command).
    const PF_OutData& OutData() const { return m_outData; }
    /// The pica_basicP-backed, callback-filled input block of the last command.
    const PF_InData& InData() const { return m_inData; }

    // ---- Parameters (index 0 is the input layer the host supplies).
    /// The definitions exactly as add_param received them, in call order (index 1 first).
    const std::vector<PF_ParamDef>& RegisteredParams() const { return m_registered; }
    /// Whether register_ui was called, and with what.
    bool UIRegistered() const { return m_uiRegistered; }
    const PF_CustomUIInfo& RegisteredUI() const { return m_uiInfo; }
    /// The current value record of a parameter; size is 1 + registered count after ParamsSetup.
    PF_ParamDef& Param(int index);
    std::size_t ParamCount() const { return m_current.size(); }
    /// Changes a value as the user would: applies `change`, and when the parameter was
    /// registered with PF_ParamFlag_SUPERVISE sends UpdateParamsUI, whose result is returned.
    PF_Err ChangeParam(int index, const std::function<void(PF_ParamDef&)>& change);
    /// Name and disabled bit as the last PF_UpdateParamUI (or registration) left them.
    ParamUIState UIState(int index) const;

    /// The version word the module gave at its last Global setup.
    A_u_long ModuleVersionWord() const { return m_versionWord; }
    /// The formats the module declared at Global setup (Premiere), in the order declared.
    const std::vector<PrPixelFormat>& DeclaredPixelFormats() const { return m_pixelFormats; }

    /// Balance problems found after the last command (empty when every suite was released once).
    const std::vector<std::string>& LastCommandProblems() const { return m_problems; }
    /// Adds a check run after every command beside the suite balance (the drawing suites use it
    /// for pens and paths never released or released twice); it returns one message a problem.
    void AddBalanceCheck(std::function<std::vector<std::string>()> check);

    // ---- For the host's own suite implementations (trampolines) during a command.
    /// The host whose command is running on this thread, or null.
    static Host* Active();
    /// The selector being dispatched to the module, if any.
    std::optional<PF_Cmd> RunningCommand() const { return m_running; }
    void RecordCall(const std::string& suite, int version, const std::string& function, nlohmann::json args,
                    long result);
    /// Counts a call of `function` and returns the fault plan's error for it, or 0.
    PF_Err InjectedFault(const std::string& function);

    /// Makes a host the active one on this thread for its lifetime (commands use it; a test
    /// may too, to call suites outside a command). Restores the previous one on exit.
    class CommandScope {
    public:
        explicit CommandScope(Host& host);
        ~CommandScope();
        CommandScope(const CommandScope&) = delete;
        CommandScope& operator=(const CommandScope&) = delete;

    private:
        Host* m_previous;
    };

    /// The effect_ref the module receives; callbacks refuse any other.
    PF_ProgPtr EffectRef() const { return reinterpret_cast<PF_ProgPtr>(m_impl.get()); }

    // ---- What the host does with the module's calls (the suites' C functions come here).
    /// add_param: appends a copy of the definition, its texts copied into host storage.
    PF_Err AddParam(PF_ProgPtr effect_ref, PF_ParamIndex index, const PF_ParamDef* def);
    /// register_ui: stores the record.
    PF_Err RegisterUI(PF_ProgPtr effect_ref, const PF_CustomUIInfo* info);
    /// PF_UpdateParamUI: takes the control's name and disabled bit from `def`.
    PF_Err UpdateParamUI(PF_ProgPtr effect_ref, PF_ParamIndex index, const PF_ParamDef* def);
    PF_Err AddSupportedPixelFormat(PF_ProgPtr effect_ref, PrPixelFormat format);
    PF_Err ClearSupportedPixelFormats(PF_ProgPtr effect_ref);
    /// GetPixelFormat: the format of a world lent for the running render (or the override).
    PF_Err PixelFormatOf(const PF_EffectWorld* world, PrPixelFormat* format) const;
    /// The layout of a world lent for the running render, or null when it is not one.
    const PixelLayout* LayoutOf(const PF_EffectWorld* world) const;
    /// How many threads an iteration spreads its rows over (at least 1).
    unsigned IterationThreads() const;
    /// The room left in the running command's return_msg from `buffer` on, or 0 when
    /// `buffer` lies elsewhere (so sprintf can be bounded where the host knows the size).
    std::size_t ReturnMsgRoom(const char* buffer) const;

private:
    // Implementation detail; see Host.cpp.
    struct Impl;
    PF_Err Dispatch(PF_Cmd cmd, PF_ParamDef** params, PF_LayerDef* output, void* extra);
    PF_Err DispatchWithCopies(PF_Cmd cmd, std::vector<PF_ParamDef>& copies, PF_LayerDef* output, void* extra);
    void CheckBalance(const char* command);
    /// Throws HostError naming `cmd` when the last ParamsSetup failed.
    void RefuseAfterFailedSetup(PF_Cmd cmd) const;
    std::vector<PF_ParamDef> CommandCopies() const;

    PF_EntryPointFunc m_entry;
    HostSettings m_settings;
    FaultPlan m_faults;
    CallTrace m_trace;
    SuiteRegistry m_suites;
    BalancePolicy m_policy = BalancePolicy::Throw;
    bool m_clampWrittenValues = false;
    std::unique_ptr<Impl> m_impl;

    PF_InData m_inData{};
    PF_OutData m_outData{};
    std::vector<PF_ParamDef> m_registered;
    std::vector<PF_ParamDef> m_current;
    std::vector<ParamUIState> m_uiStates;
    bool m_uiRegistered = false;
    PF_CustomUIInfo m_uiInfo{};
    std::vector<PrPixelFormat> m_pixelFormats;
    std::vector<std::string> m_problems;
    std::vector<std::function<std::vector<std::string>()>> m_balanceChecks;
    std::optional<PF_Cmd> m_running;
    bool m_paramsSetupFailed = false;
    A_u_long m_versionWord = 0;
};

}   // namespace corvelle
