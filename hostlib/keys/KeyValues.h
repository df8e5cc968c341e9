// A parameter value in a keyframe file: read from JSON in the forms `corvelle render`'s options
// take, checked against the parameter's range, and written back.
#pragma once

#include <corvelle/corvelle.h>

#include <nlohmann/json.hpp>

#include <string>

namespace corvelle {

/// The value `json` gives `info`; throws Error(BadValue) with the reason alone (no place) for a
/// value of the wrong form or outside the parameter's range.
ParamValue ReadParamValue(const ParamInfo& info, const nlohmann::ordered_json& json);
/// Throws Error(BadValue) with the reason when `value` is outside `info`'s range.
void CheckParamValue(const ParamInfo& info, const ParamValue& value);
nlohmann::ordered_json WriteParamValue(const ParamInfo& info, const ParamValue& value);

/// Sets `info`'s parameter on `effect` in its stored form: sliders and angles as the setters
/// round them (16.16 ties away from zero) with a value a rounding step outside the range
/// clamped, points likewise, colours as given.
void SetParamValue(Effect& effect, const ParamInfo& info, const ParamValue& value);

}   // namespace corvelle
