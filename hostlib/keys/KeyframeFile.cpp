// The keyframe file: read with the line and column of every fault, and written back.
#include <corvelle/keyframes.h>

#include "core/HostError.h"
#include "params/ModuleDescription.h"
#include <corvelle/files.h>
#include "keys/JsonPositions.h"
#include "keys/KeyValues.h"

#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>

namespace corvelle {
namespace {

using Json = nlohmann::ordered_json;

// Far more than any hand-made or saved key file needs.
constexpr off_t kMaxKeyFileBytes = off_t{64} << 20;

/// Reads a parsed file, reporting each fault at the place in the text it comes from.
class FileReader {
public:
    FileReader(const std::string& text, Keyframes& out, const std::vector<ParamInfo>& params)
        : m_text(text), m_doc(ParseWithPositions(text)), m_out(out), m_params(params) {}

    void Read() {
        const Json& root = m_doc.value;
        if (!root.is_object()) {
            FailAtValue("", "the file", "expected an object {\"version\": 1, \"keys\": {...}}");
        }
        for (const auto& item : root.items()) {
            const std::string& name = item.key();
            if (name != "version" && name != "fps" && name != "params" && name != "keys") {
                FailAtName("/" + name, name, "unknown name (version, fps, params or keys)");
            }
        }
        if (root.contains("version") && !(root["version"].is_number_integer() && root["version"] == 1)) {
            FailAtValue("/version", "version", "expected 1, got " + root["version"].dump());
        }
        if (root.contains("fps")) {
            const Json& fps = root["fps"];
            Guard("/fps", "fps", [&] {
                if (!fps.is_number() || !(fps.get<double>() > 0.0)) {
                    throw HostError("expected frames a second above 0, got " + fps.dump(),
                                    ErrorKind::BadValue);
                }
                m_out.SetFps(fps.get<double>());
            });
        }
        if (root.contains("params")) {
            ReadConstants(root["params"]);
        }
        if (root.contains("keys")) {
            ReadTracks(root["keys"]);
        }
    }

private:
    [[noreturn]] void Fail(const std::map<std::string, std::size_t>& places, const std::string& pointer,
                           const std::string& where, const std::string& why) const {
        const auto place = places.find(pointer);
        const std::size_t offset = place != places.end() ? place->second : 0;
        throw HostError(LineAndColumn(m_text, offset) + ": " + where + ": " + why, ErrorKind::BadValue);
    }
    [[noreturn]] void FailAtValue(const std::string& pointer, const std::string& where,
                                  const std::string& why) const {
        Fail(m_doc.valueAt, pointer, where, why);
    }
    [[noreturn]] void FailAtName(const std::string& pointer, const std::string& where,
                                 const std::string& why) const {
        Fail(m_doc.nameAt, pointer, where, why);
    }

    /// Runs `check`, reporting a refusal at the value `pointer`.
    template <class Check>
    void Guard(const std::string& pointer, const std::string& where, Check&& check) const {
        try {
            check();
        } catch (const Error& e) {
            if (e.Kind() != ErrorKind::BadValue) {
                throw;
            }
            FailAtValue(pointer, where, e.what());
        }
    }

    const ParamInfo* Find(const std::string& name) const {
        for (const ParamInfo& info : m_params) {
            if (!info.key.empty() && info.key == name) {
                return &info;
            }
        }
        return nullptr;
    }

    const ParamInfo& Known(const std::string& pointer, const std::string& where,
                           const std::string& name) const {
        const ParamInfo* info = Find(name);
        if (info == nullptr) {
            std::string known;
            for (const ParamInfo& p : m_params) {
                known += p.key.empty() ? "" : (known.empty() ? "" : ", ") + p.key;
            }
            FailAtName(pointer, where, "no parameter named '" + name + "' (" + known + ")");
        }
        return *info;
    }

    void ReadConstants(const Json& params) {
        if (!params.is_object()) {
            FailAtValue("/params", "params", "expected an object of parameter values");
        }
        for (const auto& item : params.items()) {
            const std::string pointer = ChildPointer("/params", item.key());
            const std::string where = "params." + item.key();
            const ParamInfo& info = Known(pointer, where, item.key());
            Guard(pointer, where, [&] { m_out.SetConstant(info.key, ReadParamValue(info, item.value())); });
        }
    }

    void ReadTracks(const Json& keys) {
        if (!keys.is_object()) {
            FailAtValue("/keys", "keys", "expected an object of key lists");
        }
        const Json* constants = m_doc.value.contains("params") ? &m_doc.value["params"] : nullptr;
        for (const auto& item : keys.items()) {
            const std::string pointer = ChildPointer("/keys", item.key());
            const std::string where = "keys." + item.key();
            const ParamInfo& info = Known(pointer, where, item.key());
            if (!info.animatable) {
                FailAtName(pointer, where, "this parameter cannot vary in time; give it in \"params\"");
            }
            if (constants != nullptr && constants->contains(item.key())) {
                FailAtName(pointer, where, "also given a constant value in \"params\"");
            }
            if (!item.value().is_array() || item.value().empty()) {
                FailAtValue(pointer, where, "expected a list of keys [{\"frame\": F, \"value\": V}, ...]");
            }
            ReadTrack(info, pointer, where, item.value());
        }
    }

    void ReadTrack(const ParamInfo& info, const std::string& trackPointer, const std::string& trackWhere,
                   const Json& list) {
        double previous = 0.0;
        for (std::size_t i = 0; i < list.size(); ++i) {
            const std::string pointer = ChildPointer(trackPointer, i);
            const std::string where = trackWhere + "[" + std::to_string(i) + "]";
            const Keyframe key = ReadKey(info, pointer, where, list[i]);
            if (i > 0 && key.frame <= previous) {
                const std::string framePointer =
                    ChildPointer(pointer, list[i].contains("frame") ? "frame" : "seconds");
                FailAtValue(framePointer, where,
                            key.frame == previous
                                ? "frame " + Decimal(key.frame) + " has a key already"
                                : "frame " + Decimal(key.frame) + " is listed after frame " +
                                      Decimal(previous) + ": keys go in increasing frame order");
            }
            previous = key.frame;
            Guard(pointer, where, [&] { m_out.SetKey(info.key, key); });
        }
    }

    Keyframe ReadKey(const ParamInfo& info, const std::string& pointer, const std::string& where,
                     const Json& json) const {
        if (!json.is_object()) {
            FailAtValue(pointer, where, "expected a key {\"frame\": F, \"value\": V}");
        }
        for (const auto& item : json.items()) {
            const std::string& name = item.key();
            if (name != "frame" && name != "seconds" && name != "value" && name != "interp") {
                FailAtName(ChildPointer(pointer, name), where + "." + name,
                           "unknown name (frame, seconds, value or interp)");
            }
        }
        Keyframe key;
        const bool byFrame = json.contains("frame");
        const bool bySeconds = json.contains("seconds");
        if (byFrame == bySeconds) {
            FailAtValue(pointer, where, "a key needs either \"frame\" or \"seconds\"");
        }
        const std::string timeName = byFrame ? "frame" : "seconds";
        const Json& time = json[timeName];
        if (!time.is_number() || !std::isfinite(time.get<double>())) {
            FailAtValue(ChildPointer(pointer, timeName), where + "." + timeName,
                        "expected a number, got " + time.dump());
        }
        if (bySeconds && m_out.Fps() == 0.0) {
            FailAtName(ChildPointer(pointer, timeName), where + ".seconds",
                       "seconds need \"fps\" at the top of the file");
        }
        key.frame = byFrame ? time.get<double>() : time.get<double>() * m_out.Fps();
        if (!json.contains("value")) {
            FailAtValue(pointer, where, "a key needs a \"value\"");
        }
        const std::string valuePointer = ChildPointer(pointer, "value");
        Guard(valuePointer, where + ".value", [&] { key.value = ReadParamValue(info, json["value"]); });
        if (json.contains("interp")) {
            const Json& interp = json["interp"];
            const std::string text = interp.is_string() ? interp.get<std::string>() : "";
            if (text == "linear") {
                key.interp = Interpolation::Linear;
            } else if (text == "hold") {
                key.interp = Interpolation::Hold;
            } else if (text == "ease") {
                key.interp = Interpolation::Ease;
            } else {
                FailAtValue(ChildPointer(pointer, "interp"), where + ".interp",
                            "expected \"linear\", \"hold\" or \"ease\", got " + interp.dump());
            }
        }
        return key;
    }

    const std::string& m_text;
    PositionedJson m_doc;
    Keyframes& m_out;
    const std::vector<ParamInfo>& m_params;
};

Json FrameJson(double frame) {
    if (frame == std::floor(frame) && std::fabs(frame) < 9.0e15) {
        return static_cast<int64_t>(frame);
    }
    return frame;
}

const char* InterpName(Interpolation interp) {
    switch (interp) {
    case Interpolation::Hold: return "hold";
    case Interpolation::Ease: return "ease";
    case Interpolation::Linear: break;
    }
    return "linear";
}

}   // namespace

Keyframes Keyframes::Parse(const std::string& text, std::vector<ParamInfo> params) {
    Keyframes out(std::move(params));
    FileReader(text, out, out.m_params).Read();
    return out;
}

Keyframes Keyframes::Load(const std::string& path, std::vector<ParamInfo> params) {
    const auto fault = [&path](const std::string& why) {
        return HostError("reading " + path + ": " + why, ErrorKind::IO);
    };
    // A folder opens like a file and then fails inside the stream; a device or FIFO could
    // hand over endless bytes: only a regular file of a sensible size is read.
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        throw fault(std::strerror(errno));
    }
    if (!S_ISREG(info.st_mode)) {
        throw fault("not a regular file");
    }
    if (info.st_size > kMaxKeyFileBytes) {
        throw fault("larger than " + std::to_string(kMaxKeyFileBytes >> 20) + " MiB");
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw fault(std::strerror(errno));
    }
    std::string text;
    try {
        text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } catch (const std::ios_base::failure&) {
        throw fault(std::strerror(errno));
    }
    if (in.bad()) {
        throw fault(std::strerror(errno));
    }
    try {
        return Parse(text, std::move(params));
    } catch (const Error& e) {
        throw HostError(path + ": " + e.what(), e.Kind(), e.ModuleCode());
    }
}

std::string Keyframes::ToJson() const {
    Json root;
    root["version"] = 1;
    if (m_fps != 0.0) {
        root["fps"] = FrameJson(m_fps);
    }
    if (!m_constants.empty()) {
        Json params = Json::object();
        for (const auto& [param, value] : m_constants) {
            params[param] = WriteParamValue(Info(param), value);
        }
        root["params"] = params;
    }
    Json keys = Json::object();
    for (const KeyTrack& track : m_tracks) {
        Json list = Json::array();
        for (const Keyframe& key : track.keys) {
            Json k;
            k["frame"] = FrameJson(key.frame);
            k["value"] = WriteParamValue(Info(track.param), key.value);
            if (key.interp != Interpolation::Linear) {
                k["interp"] = InterpName(key.interp);
            }
            list.push_back(k);
        }
        keys[track.param] = list;
    }
    root["keys"] = keys;
    return root.dump(2) + "\n";
}

void Keyframes::Save(const std::string& path) const {
    const std::string text = ToJson();
    try {
        WriteFileAtomically(path, std::vector<unsigned char>(text.begin(), text.end()));
    } catch (const Error& e) {
        throw HostError(e.what(), ErrorKind::IO);
    }
}

}   // namespace corvelle
