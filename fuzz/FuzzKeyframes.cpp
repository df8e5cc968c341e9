// Feeds arbitrary text to the keyframe file reader: it either refuses it with a BadValue error or
// reads keys that write back to text it reads to the same keys, and every value at any frame can
// be had.
#include <corvelle/corvelle.h>
#include <corvelle/keyframes.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using namespace corvelle;

Effect& LoadedEffect() {
    // Kept for the whole run: unloading the module would unmap the coverage counters the fuzzer
    // registered for it.
    static Effect effect = [] {
        LoadOptions options;
        options.modulePath = CORVELLE_FUZZ_MODULE_PATH;
        return Effect(options);
    }();
    return effect;
}

const std::vector<ParamInfo>& Params() {
    static const std::vector<ParamInfo> params = LoadedEffect().Params();
    return params;
}

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "keyframes: %s\n", what);
    std::abort();
}

}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    try {
        const Keyframes keys = Keyframes::Parse(text, Params());
        const std::string written = keys.ToJson();
        if (Keyframes::Parse(written, Params()).ToJson() != written) {
            Fail("a written file reads back differently");
        }
        for (const KeyTrack& track : keys.Tracks()) {
            for (const Keyframe& key : track.keys) {
                Keyframes::ValueAt(track, key.frame - 0.5);
                Keyframes::ValueAt(track, key.frame);
                Keyframes::ValueAt(track, key.frame + 0.25);
            }
        }
        TimeOfFrame(static_cast<long>(size), keys.Fps());
    } catch (const Error& e) {
        if (e.Kind() != ErrorKind::BadValue) {
            Fail("a refusal other than a bad value");
        }
    }
    return 0;
}
