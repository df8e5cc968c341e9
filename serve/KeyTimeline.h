// The preview's keys: which parameters vary in time and their keys, the frame rate that turns
// frames into host time, and the keyframe file they are read from and saved to.
#pragma once

#include <corvelle/corvelle.h>
#include <corvelle/keyframes.h>

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace corvelle::serve {

class KeyTimeline {
public:
    /// No keys, for `effect`'s parameters; `path` is where Save writes (empty: nowhere).
    KeyTimeline(const Effect& effect, std::string path);

    /// Reads the file at Path() when there is one: its constants go straight to `effect`, its keys
    /// stay here, and `frame` is shown. A frame rate other than 0 replaces the file's. Throws
    /// Error (BadValue for a malformed file, IO for an unreadable one) naming the file.
    void Load(Effect& effect, double fps, long frame);

    const std::string& Path() const { return m_path; }
    double Fps() const { return m_keys.Fps(); }
    void SetFps(double fps) { m_keys.SetFps(fps); }

    bool HasKeys() const { return !m_keys.Tracks().empty(); }
    bool Keyed(const std::string& param) const { return Track(param) != nullptr; }
    /// Whether `param` (or any parameter, for an empty name) has a key at `frame`.
    bool KeyAt(const std::string& param, long frame) const;
    /// The last frame with a key, or -1.
    double LastKeyFrame() const;

    /// Starts `param` varying in time with a key at `frame` holding its value in `effect`;
    /// Error(BadValue) for a parameter that cannot vary in time.
    void StopwatchOn(const Effect& effect, const std::string& param, long frame);
    /// Removes the keys of `param`; `effect` keeps the value it shows as the constant.
    void StopwatchOff(const std::string& param);
    /// After `param` changed in `effect` at `frame`: a keyed parameter gets or replaces its key
    /// there (a replaced key keeps its interpolation); others need nothing. Whether a key changed.
    bool Record(const Effect& effect, const std::string& param, long frame);
    /// Removes the key of `param` at `frame`, or every parameter's for an empty name; whether one went.
    bool RemoveKeysAt(const std::string& param, long frame);
    void Clear();

    /// Puts `effect` at `frame`: its time and the keyed parameters' values there.
    void Apply(Effect& effect, long frame) const { m_keys.Apply(effect, frame); }

    const Keyframes& Keys() const { return m_keys; }
    void SetKeys(const Keyframes& keys) { m_keys = keys; }
    /// What Save writes: the keys, and every other parameter's value in `effect` as a constant.
    Keyframes Document(const Effect& effect) const;
    /// Writes Document(effect) to Path() whole or not at all; Error(IO) on failure or without a path.
    void Save(const Effect& effect);
    /// Whether Document(effect) differs from what was last read or saved.
    bool Unsaved(const Effect& effect) const;

    /// {"param": [frame, ...]} for every keyed parameter.
    nlohmann::json FramesJson() const;

private:
    const KeyTrack* Track(const std::string& param) const;

    std::string m_path;
    Keyframes m_keys;
    std::string m_savedText;   // ToJson of the document last read or saved; empty: none yet
};

}   // namespace corvelle::serve
