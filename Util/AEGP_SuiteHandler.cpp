// The suite cache's acquisition and release through the host's basic suite.
#include "AEGP_SuiteHandler.h"

AEGP_SuiteHandler::AEGP_SuiteHandler(const SPBasicSuite* basic)
    : m_basic(basic),
      m_slots{
          {kPFANSISuite, kPFANSISuiteVersion1, nullptr},
          {kPFParamUtilsSuite, kPFParamUtilsSuiteVersion3, nullptr},
          {kPFIterate8Suite, kPFIterate8SuiteVersion1, nullptr},
          {kPFIterate16Suite, kPFIterate16SuiteVersion1, nullptr},
          {kPFWorldTransformSuite, kPFWorldTransformSuiteVersion1, nullptr},
          {kPFEffectCustomUISuite, kPFEffectCustomUISuiteVersion1, nullptr},
          {kPFEffectCustomUIOverlayThemeSuite, kPFEffectCustomUIOverlayThemeSuiteVersion1, nullptr},
          {kDRAWBOT_DrawSuite, kDRAWBOT_DrawSuite_Version1, nullptr},
      } {
    if (!m_basic) {
        MissingSuiteError();
    }
}

AEGP_SuiteHandler::~AEGP_SuiteHandler() {
    ReleaseAllSuites();
}

const void* AEGP_SuiteHandler::Fetch(SlotIndex index) {
    Slot& slot = m_slots[index];
    if (!slot.suite) {
        slot.suite = LoadSuite(slot.name, slot.version);
    }
    return slot.suite;
}

const void* AEGP_SuiteHandler::LoadSuite(const char* name, int32 version) const {
    const void* suite = nullptr;
    const SPErr err = m_basic->AcquireSuite(name, version, &suite);
    if (err || !suite) {
        MissingSuiteError();
    }
    return suite;
}

void AEGP_SuiteHandler::ReleaseSuite(const char* name, int32 version) {
    // A release the host refuses leaves nothing for a plug-in to do.
    (void)m_basic->ReleaseSuite(name, version);
}

void AEGP_SuiteHandler::ReleaseAllSuites() {
    for (const Slot& slot : m_slots) {
        if (slot.suite) {
            ReleaseSuite(slot.name, slot.version);
        }
    }
}

const PF_ANSICallbacksSuite1* AEGP_SuiteHandler::ANSICallbacksSuite1() {
    return static_cast<const PF_ANSICallbacksSuite1*>(Fetch(SLOT_ANSI));
}
const PF_ParamUtilsSuite3* AEGP_SuiteHandler::ParamUtilsSuite3() {
    return static_cast<const PF_ParamUtilsSuite3*>(Fetch(SLOT_PARAM_UTILS));
}
const PF_Iterate8Suite1* AEGP_SuiteHandler::Iterate8Suite1() {
    return static_cast<const PF_Iterate8Suite1*>(Fetch(SLOT_ITERATE8));
}
const PF_iterate16Suite1* AEGP_SuiteHandler::Iterate16Suite1() {
    return static_cast<const PF_iterate16Suite1*>(Fetch(SLOT_ITERATE16));
}
const PF_WorldTransformSuite1* AEGP_SuiteHandler::WorldTransformSuite1() {
    return static_cast<const PF_WorldTransformSuite1*>(Fetch(SLOT_WORLD_TRANSFORM));
}
const PF_EffectCustomUISuite1* AEGP_SuiteHandler::EffectCustomUISuite1() {
    return static_cast<const PF_EffectCustomUISuite1*>(Fetch(SLOT_CUSTOM_UI));
}
const PF_EffectCustomUIOverlayThemeSuite1* AEGP_SuiteHandler::EffectCustomUIOverlayThemeSuite1() {
    return static_cast<const PF_EffectCustomUIOverlayThemeSuite1*>(Fetch(SLOT_OVERLAY_THEME));
}
const DRAWBOT_DrawbotSuite1* AEGP_SuiteHandler::DrawbotSuite1() {
    return static_cast<const DRAWBOT_DrawbotSuite1*>(Fetch(SLOT_DRAWBOT_DRAW));
}
