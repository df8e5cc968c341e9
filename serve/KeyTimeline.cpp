// The preview's keys, kept apart from the values that do not vary in time, which live in the
// effect itself.
#include "KeyTimeline.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

namespace corvelle::serve {
namespace {

/// `keys` without their constants: the preview holds those in the effect.
Keyframes TracksOf(const Keyframes& keys, std::vector<ParamInfo> params) {
    Keyframes tracks(std::move(params));
    tracks.SetFps(keys.Fps());
    for (const KeyTrack& track : keys.Tracks()) {
        for (const Keyframe& key : track.keys) {
            tracks.SetKey(track.param, key);
        }
    }
    return tracks;
}

bool Exists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 || errno != ENOENT;
}

}   // namespace

KeyTimeline::KeyTimeline(const Effect& effect, std::string path)
    : m_path(std::move(path)), m_keys(effect.Params()) {}

void KeyTimeline::Load(Effect& effect, double fps, long frame) {
    if (m_path.empty() || !Exists(m_path)) {
        m_keys.SetFps(fps);
        return;
    }
    struct stat info {};
    if (stat(m_path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
        throw Error("--keys: reading " + m_path + ": not a regular file", ErrorKind::IO);
    }
    Keyframes loaded = [&] {
        try {
            return Keyframes::Load(m_path, effect.Params());
        } catch (const Error& e) {
            throw Error("--keys: " + std::string(e.what()), e.Kind());
        }
    }();
    if (fps != 0.0) {
        loaded.SetFps(fps);
    }
    loaded.Apply(effect, frame);
    m_keys = TracksOf(loaded, effect.Params());
    m_savedText = Document(effect).ToJson();
}

const KeyTrack* KeyTimeline::Track(const std::string& param) const {
    for (const KeyTrack& track : m_keys.Tracks()) {
        if (track.param == param) {
            return &track;
        }
    }
    return nullptr;
}

bool KeyTimeline::KeyAt(const std::string& param, long frame) const {
    const auto has = [frame](const KeyTrack& track) {
        return std::any_of(track.keys.begin(), track.keys.end(),
                           [frame](const Keyframe& k) { return k.frame == static_cast<double>(frame); });
    };
    if (param.empty()) {
        return std::any_of(m_keys.Tracks().begin(), m_keys.Tracks().end(), has);
    }
    const KeyTrack* track = Track(param);
    return track != nullptr && has(*track);
}

double KeyTimeline::LastKeyFrame() const {
    double last = -1.0;
    for (const KeyTrack& track : m_keys.Tracks()) {
        last = std::max(last, track.keys.back().frame);
    }
    return last;
}

void KeyTimeline::StopwatchOn(const Effect& effect, const std::string& param, long frame) {
    if (Keyed(param)) {
        return;
    }
    Keyframe key;
    key.frame = static_cast<double>(frame);
    key.value = effect.Get(param);
    m_keys.SetKey(param, key);
}

void KeyTimeline::StopwatchOff(const std::string& param) {
    while (const KeyTrack* track = Track(param)) {
        m_keys.RemoveKey(param, track->keys.front().frame);
    }
}

bool KeyTimeline::Record(const Effect& effect, const std::string& param, long frame) {
    const KeyTrack* track = Track(param);
    if (track == nullptr) {
        return false;
    }
    Keyframe key;
    key.frame = static_cast<double>(frame);
    key.value = effect.Get(param);
    for (const Keyframe& existing : track->keys) {
        if (existing.frame == key.frame) {
            key.interp = existing.interp;
        }
    }
    m_keys.SetKey(param, key);
    return true;
}

bool KeyTimeline::RemoveKeysAt(const std::string& param, long frame) {
    std::vector<std::string> params;
    for (const KeyTrack& track : m_keys.Tracks()) {
        if ((param.empty() || track.param == param) && KeyAt(track.param, frame)) {
            params.push_back(track.param);
        }
    }
    for (const std::string& p : params) {
        m_keys.RemoveKey(p, static_cast<double>(frame));
    }
    return !params.empty();
}

void KeyTimeline::Clear() {
    while (!m_keys.Tracks().empty()) {
        StopwatchOff(m_keys.Tracks().front().param);
    }
}

Keyframes KeyTimeline::Document(const Effect& effect) const {
    Keyframes document = m_keys;
    for (const ParamInfo& info : effect.Params()) {
        if (info.type != ParamType::Layer && !Keyed(info.key)) {
            document.SetConstant(info.key, effect.Get(info.key));
        }
    }
    return document;
}

void KeyTimeline::Save(const Effect& effect) {
    if (m_path.empty()) {
        throw Error("saving: no keyframe file was named on the command line (--keys)", ErrorKind::BadValue);
    }
    const Keyframes document = Document(effect);
    document.Save(m_path);
    m_savedText = document.ToJson();
}

bool KeyTimeline::Unsaved(const Effect& effect) const {
    return Document(effect).ToJson() != m_savedText;
}

nlohmann::json KeyTimeline::FramesJson() const {
    nlohmann::json frames = nlohmann::json::object();
    for (const KeyTrack& track : m_keys.Tracks()) {
        nlohmann::json list = nlohmann::json::array();
        for (const Keyframe& key : track.keys) {
            list.push_back(key.frame);
        }
        frames[track.param] = std::move(list);
    }
    return frames;
}

}   // namespace corvelle::serve
