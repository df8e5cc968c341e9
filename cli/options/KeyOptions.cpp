// Reads the keyframe file before any work, against the parameters the module registers.
#include "options/KeyOptions.h"

#include <climits>

namespace corvelle {

void AddKeyOptions(CLI::App& app, KeyOptions& options) {
    app.add_option_function<std::string>(
           "--keys", [&options](const std::string& path) { options.keysPath = path; },
           "keyframe file (JSON) giving parameters that change from frame to frame")
        ->option_text("FILE");
    app.add_option_function<std::string>(
           "--frame",
           [&options](const std::string& text) {
               long frame = 0;
               bool ok = !text.empty() && text.size() <= 10;
               for (char c : text) {
                   ok = ok && c >= '0' && c <= '9';
                   frame = ok ? (frame * 10) + (c - '0') : frame;
               }
               if (!ok || frame > INT_MAX) {
                   throw CLI::ValidationError("--frame",
                                              "expected a frame number from 0, got '" + text + "'");
               }
               options.frame = frame;
           },
           "the frame the picture shows, for --keys and the time the module sees (default 0)")
        ->option_text("N");
}

std::optional<Keyframes> LoadKeyFile(const KeyOptions& options, const HostOptions& host) {
    if (!options.keysPath) {
        return std::nullopt;
    }
    LoadOptions load;
    load.modulePath = host.modulePath;
    load.host = host.host;
    const std::vector<ParamInfo> params = Effect(load).Params();
    try {
        return Keyframes::Load(*options.keysPath, params);
    } catch (const Error& e) {
        if (e.Kind() != ErrorKind::BadValue && e.Kind() != ErrorKind::IO) {
            throw;
        }
        throw CLI::ValidationError("--keys", e.what());
    }
}

void ShowFrame(Effect& effect, const std::optional<Keyframes>& keys, long frame) {
    if (keys) {
        keys->Apply(effect, frame);
    } else {
        effect.SetTime(TimeOfFrame(frame, 0.0));
    }
}

}   // namespace corvelle
