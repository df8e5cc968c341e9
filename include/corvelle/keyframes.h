// Parameters that change over time: a keyframe file's values, the value each parameter has at a
// frame, and an Effect set up for that frame as a production host would hand it to the module.
//
// The file is JSON:
//   {"version": 1, "fps": 25,
//    "params": {"blend": "screen", "invert": true},
//    "keys": {"width": [{"frame": 0, "value": 300}, {"frame": 48, "value": 900, "interp": "ease"}],
//             "color": [{"seconds": 0, "value": "#000000"}, {"seconds": 1, "value": "#ff8800"}]}}
// Values take the forms of `corvelle render`'s options: numbers for sliders, degrees for the
// angle, percent for the opacity, [x, y] layer pixels for the origin, "#rrggbb" for colours,
// a choice name or number for popups, true or false for checkboxes.
#pragma once

#include <corvelle/corvelle.h>

#include <string>
#include <utility>
#include <vector>

namespace corvelle {

/// How the value travels from a key to the next one; u = (f − f0) / (f1 − f0) in double.
enum class Interpolation {
    Linear,   // v0 + (v1 − v0)·u
    Hold,     // v0 until the next key
    Ease,     // v0 + (v1 − v0)·(u·u·(3 − 2·u))
};

struct Keyframe {
    double frame = 0.0;   // fractional when the file gave seconds
    ParamValue value;     // in the field the parameter's type uses; colours keep alpha 255
    Interpolation interp = Interpolation::Linear;
};

/// One parameter's keys, in increasing frame order, no two on the same frame.
struct KeyTrack {
    std::string param;   // the parameter's key, as ParamInfo::key ("width")
    ParamType type = ParamType::FloatSlider;
    std::vector<Keyframe> keys;
};

/// The time a host hands the module for `frame` at `fps`: whole rates give time scale fps and
/// step 1; 23.976, 29.97, 59.94 and the like (n·1000/1001) give scale n·1000 and step 1001; other
/// rates the smallest step up to 1000 that makes fps·step whole. fps 0 means no rate: scale 30,
/// step 1. Throws Error(BadValue) for a rate it cannot express or a time outside 32 bits.
CORVELLE_API TimeSpec TimeOfFrame(long frame, double fps);

class CORVELLE_API Keyframes {
public:
    /// No keys and no constants, for the parameters `params` (Effect::Params()).
    explicit Keyframes(std::vector<ParamInfo> params);

    /// Reads a keyframe file's text, checking it against `params`. Throws Error(BadValue) whose
    /// message reads "line L, column C: <where>: <why>" for malformed JSON, unknown names, keys on a
    /// parameter that cannot vary in time, values of the wrong form or out of range, and frames
    /// out of order or repeated; <where> names the parameter and key ("keys.width[1].value").
    static Keyframes Parse(const std::string& text, std::vector<ParamInfo> params);
    /// Parse on a file's contents; Error(IO) when it cannot be read.
    static Keyframes Load(const std::string& path, std::vector<ParamInfo> params);
    /// The file's text, which Parse reads back to the same keys and constants.
    std::string ToJson() const;
    /// Writes ToJson() to `path` whole or not at all; Error(IO) on failure.
    void Save(const std::string& path) const;

    /// Frames a second, 0 when the file gives none.
    double Fps() const { return m_fps; }
    void SetFps(double fps);

    /// The "params" constants, in parameter order.
    const std::vector<std::pair<std::string, ParamValue>>& Constants() const { return m_constants; }
    /// The keyed parameters, in parameter order.
    const std::vector<KeyTrack>& Tracks() const { return m_tracks; }

    /// Sets the constant of `param` (replacing any keys it had). Throws Error(BadValue) for an
    /// unknown parameter or a value out of range.
    void SetConstant(const std::string& param, const ParamValue& value);
    /// Adds the key, or replaces the one at the same frame, keeping the frames in order (and
    /// dropping any constant of `param`). Throws Error(BadValue) for an unknown parameter, one that
    /// cannot vary in time, or a value out of range.
    void SetKey(const std::string& param, const Keyframe& key);
    /// Removes the key of `param` at `frame`, if there is one, and the parameter's keys with it when
    /// it was the last; the parameter then keeps whatever value it was last given.
    void RemoveKey(const std::string& param, double frame);

    /// The parameter's value at `frame`, interpolated in double and not yet rounded to its stored
    /// form; before the first key and after the last the nearest key holds.
    static ParamValue ValueAt(const KeyTrack& track, double frame);

    /// Sets `effect`'s time to TimeOfFrame(frame, Fps()) and every constant and keyed parameter to
    /// its value at `frame`, rounded as `corvelle render` rounds the same number (16.16 ties away
    /// from zero, colour channels floor(x + 0.5)). Parameters the file does not name keep theirs.
    void Apply(Effect& effect, long frame) const;

private:
    const ParamInfo& Info(const std::string& param) const;

    std::vector<ParamInfo> m_params;
    double m_fps = 0.0;
    std::vector<std::pair<std::string, ParamValue>> m_constants;
    std::vector<KeyTrack> m_tracks;
};

}   // namespace corvelle
