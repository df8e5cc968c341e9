// The one table of the effect's parameters as the host names them: persistent id and short key.
#pragma once

#include "host/AE_Effect.h"

#include <string>
#include <vector>

namespace corvelle {

struct ParamKey {
    A_long id;
    const char* key;
    PF_ParamType type;   // the type the host expects the module to register it as
};

/// In the order the host reports values: shape, origin, ..., falloff.
constexpr ParamKey kParamKeys[] = {
    {14, "shape", PF_Param_POPUP},       {1, "origin", PF_Param_POINT},
    {2, "width", PF_Param_FLOAT_SLIDER}, {3, "height", PF_Param_FLOAT_SLIDER},
    {13, "angle", PF_Param_ANGLE},       {4, "feather", PF_Param_FLOAT_SLIDER},
    {15, "fill", PF_Param_POPUP},        {12, "color", PF_Param_COLOR},
    {5, "opacity", PF_Param_FIX_SLIDER}, {7, "blend", PF_Param_POPUP},
    {8, "invert", PF_Param_CHECKBOX},    {9, "mask_only", PF_Param_CHECKBOX},
    {16, "falloff", PF_Param_POPUP},
};

/// The key of a persistent id, or "" when the host has no name for it.
std::string KeyOfId(A_long id);
/// The persistent id of a key, or 0.
A_long IdOfKey(const std::string& key);
/// The parameter index (1 is the first after the layer) the module registered `key` at, with the
/// id and type the table gives it; 0 when it registered no such parameter.
int IndexOfKey(const std::vector<PF_ParamDef>& registered, const std::string& key);

}   // namespace corvelle
