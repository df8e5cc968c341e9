// The keyframe model: constants and keyed parameters, the value at a frame, and an effect set up
// for a frame.
#include <corvelle/keyframes.h>

#include "core/HostError.h"
#include "keys/KeyValues.h"

#include <algorithm>
#include <cmath>

namespace corvelle {
namespace {

[[noreturn]] void Refuse(const std::string& why) {
    throw HostError(why, ErrorKind::BadValue);
}

double Mix(double v0, double v1, double s) {
    return v0 + ((v1 - v0) * s);
}

uint8_t Channel(uint8_t c0, uint8_t c1, double s) {
    const double c = std::floor(Mix(c0, c1, s) + 0.5);
    return static_cast<uint8_t>(std::clamp(c, 0.0, 255.0));
}

/// The value a fraction `s` of the way from `a` to `b`; popups and checkboxes only jump.
ParamValue Between(ParamType type, const ParamValue& a, const ParamValue& b, double s) {
    ParamValue v = a;
    switch (type) {
    case ParamType::FloatSlider:
    case ParamType::FixedSlider:
    case ParamType::Angle: v.number = Mix(a.number, b.number, s); break;
    case ParamType::Point:
        v.x = Mix(a.x, b.x, s);
        v.y = Mix(a.y, b.y, s);
        break;
    case ParamType::Color:
        v.color.red = Channel(a.color.red, b.color.red, s);
        v.color.green = Channel(a.color.green, b.color.green, s);
        v.color.blue = Channel(a.color.blue, b.color.blue, s);
        break;
    default: break;
    }
    return v;
}

template <class Entry>
void SortByParamOrder(std::vector<Entry>& entries, const std::vector<ParamInfo>& params,
                      const std::string& (*name)(const Entry&)) {
    const auto order = [&params](const std::string& key) {
        for (const ParamInfo& info : params) {
            if (info.key == key) {
                return info.index;
            }
        }
        return 0;
    };
    std::stable_sort(entries.begin(), entries.end(),
                     [&](const Entry& a, const Entry& b) { return order(name(a)) < order(name(b)); });
}

const std::string& ConstantName(const std::pair<std::string, ParamValue>& c) {
    return c.first;
}

const std::string& TrackName(const KeyTrack& t) {
    return t.param;
}

}   // namespace

Keyframes::Keyframes(std::vector<ParamInfo> params) : m_params(std::move(params)) {}

void Keyframes::SetFps(double fps) {
    TimeOfFrame(0, fps);   // refuses a rate no host time can express
    m_fps = fps;
}

const ParamInfo& Keyframes::Info(const std::string& param) const {
    for (const ParamInfo& info : m_params) {
        if (!info.key.empty() && info.key == param) {
            return info;
        }
    }
    std::string known;
    for (const ParamInfo& info : m_params) {
        if (!info.key.empty()) {
            known += (known.empty() ? "" : ", ") + info.key;
        }
    }
    Refuse("no parameter named '" + param + "' (" + known + ")");
}

void Keyframes::SetConstant(const std::string& param, const ParamValue& value) {
    const ParamInfo& info = Info(param);
    CheckParamValue(info, value);
    m_tracks.erase(
        std::remove_if(m_tracks.begin(), m_tracks.end(), [&](const KeyTrack& t) { return t.param == param; }),
        m_tracks.end());
    for (auto& constant : m_constants) {
        if (constant.first == param) {
            constant.second = value;
            return;
        }
    }
    m_constants.emplace_back(param, value);
    SortByParamOrder(m_constants, m_params, ConstantName);
}

void Keyframes::SetKey(const std::string& param, const Keyframe& key) {
    const ParamInfo& info = Info(param);
    if (!info.animatable) {
        Refuse(param + " cannot vary in time");
    }
    if (!std::isfinite(key.frame)) {
        Refuse(param + ": a key's frame must be a finite number");
    }
    CheckParamValue(info, key.value);
    m_constants.erase(std::remove_if(m_constants.begin(), m_constants.end(),
                                     [&](const auto& c) { return c.first == param; }),
                      m_constants.end());
    auto track =
        std::find_if(m_tracks.begin(), m_tracks.end(), [&](const KeyTrack& t) { return t.param == param; });
    if (track == m_tracks.end()) {
        m_tracks.push_back(KeyTrack{param, info.type, {}});
        track = m_tracks.end() - 1;
    }
    std::vector<Keyframe>& keys = track->keys;
    const auto at = std::lower_bound(keys.begin(), keys.end(), key.frame,
                                     [](const Keyframe& k, double frame) { return k.frame < frame; });
    if (at != keys.end() && at->frame == key.frame) {
        *at = key;
    } else {
        keys.insert(at, key);
    }
    SortByParamOrder(m_tracks, m_params, TrackName);
}

void Keyframes::RemoveKey(const std::string& param, double frame) {
    for (auto track = m_tracks.begin(); track != m_tracks.end(); ++track) {
        if (track->param != param) {
            continue;
        }
        std::vector<Keyframe>& keys = track->keys;
        keys.erase(
            std::remove_if(keys.begin(), keys.end(), [frame](const Keyframe& k) { return k.frame == frame; }),
            keys.end());
        if (keys.empty()) {
            m_tracks.erase(track);
        }
        return;
    }
}

ParamValue Keyframes::ValueAt(const KeyTrack& track, double frame) {
    const std::vector<Keyframe>& keys = track.keys;
    if (keys.empty()) {
        Refuse(track.param + ": no keys");
    }
    if (frame <= keys.front().frame) {
        return keys.front().value;
    }
    if (frame >= keys.back().frame) {
        return keys.back().value;
    }
    // The key at or before the frame, and the one after it.
    const auto next = std::upper_bound(keys.begin(), keys.end(), frame,
                                       [](double f, const Keyframe& k) { return f < k.frame; });
    const Keyframe& a = *(next - 1);
    const Keyframe& b = *next;
    if (a.interp == Interpolation::Hold || frame == a.frame) {
        return a.value;
    }
    const double u = (frame - a.frame) / (b.frame - a.frame);
    const double s = a.interp == Interpolation::Ease ? (u * u) * (3.0 - (2.0 * u)) : u;
    return Between(track.type, a.value, b.value, s);
}

void Keyframes::Apply(Effect& effect, long frame) const {
    effect.SetTime(TimeOfFrame(frame, m_fps));
    for (const auto& [param, value] : m_constants) {
        SetParamValue(effect, Info(param), value);
    }
    for (const KeyTrack& track : m_tracks) {
        SetParamValue(effect, Info(track.param), ValueAt(track, static_cast<double>(frame)));
    }
}

}   // namespace corvelle
