// A suite cache for one command: acquires each suite on first use and releases all at the end.
#pragma once

#include "../host/AE_EffectSuites.h"

class AEGP_SuiteHandler {
public:
    /// Throws the integer PF_Err_BAD_CALLBACK_PARAM when the host gave no basic suite.
    explicit AEGP_SuiteHandler(const SPBasicSuite* basic);
    ~AEGP_SuiteHandler();
    AEGP_SuiteHandler(const AEGP_SuiteHandler&) = delete;
    AEGP_SuiteHandler& operator=(const AEGP_SuiteHandler&) = delete;

    /// Each accessor acquires its suite on first use and throws the integer 516 on refusal.
    const PF_ANSICallbacksSuite1* ANSICallbacksSuite1();
    const PF_ParamUtilsSuite3* ParamUtilsSuite3();
    const PF_Iterate8Suite1* Iterate8Suite1();
    const PF_iterate16Suite1* Iterate16Suite1();
    const PF_WorldTransformSuite1* WorldTransformSuite1();
    const PF_EffectCustomUISuite1* EffectCustomUISuite1();
    const PF_EffectCustomUIOverlayThemeSuite1* EffectCustomUIOverlayThemeSuite1();
    const DRAWBOT_DrawbotSuite1* DrawbotSuite1();

private:
    struct Slot {
        const char* name;
        int32 version;
        const void* suite;
    };
    enum SlotIndex {
        SLOT_ANSI,
        SLOT_PARAM_UTILS,
        SLOT_ITERATE8,
        SLOT_ITERATE16,
        SLOT_WORLD_TRANSFORM,
        SLOT_CUSTOM_UI,
        SLOT_OVERLAY_THEME,
        SLOT_DRAWBOT_DRAW,
        SLOT_COUNT
    };

    const void* Fetch(SlotIndex index);
    const void* LoadSuite(const char* name, int32 version) const;
    void ReleaseSuite(const char* name, int32 version);
    void ReleaseAllSuites();
    [[noreturn]] void MissingSuiteError() const;

    const SPBasicSuite* m_basic;
    Slot m_slots[SLOT_COUNT];
};
