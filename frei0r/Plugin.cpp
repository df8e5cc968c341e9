// The frei0r entry points: each turns a host call into the instance's, and nothing escapes them.
#include "Instance.h"
#include "Notes.h"
#include "Parameters.h"

#include <corvelle/corvelle.h>

#include <dlfcn.h>
#include <sys/stat.h>

#include <cstdlib>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <utility>

namespace corvelle::frei0r {
namespace {

// frei0r frames have no stride and hosts hold them in memory: sides beyond this are refused.
constexpr unsigned kMaxSide = 30000;

struct Process {
    std::mutex mutex;
    int initCount = 0;
    // Holds the module loaded between the first f0r_init and the last f0r_deinit, so instances
    // that come and go (ffmpeg reconfiguring a graph) do not load it again each time.
    std::unique_ptr<Effect> keeper;
    bool keeperTried = false;
    // The module's own version, once an effect has been made of it.
    std::optional<ModuleVersion> version;
    bool versionTried = false;
};

Process* g_process = nullptr;
std::once_flag g_processMade;

Process& TheProcess() {
    std::call_once(g_processMade, [] { g_process = new Process; });
    return *g_process;
}

// MLT unloads the plug-in after every filter without calling f0r_deinit, and GStreamer never
// calls it: what f0r_init kept goes when the plug-in goes. Live instances hold the module
// themselves, and their effects only need libcorvelle, which stays loaded (see below).
__attribute__((destructor)) void ReleaseProcess() {
    delete g_process;
    g_process = nullptr;
}

// libcorvelle's render threads start once and are never stopped, so the library must outlive
// every unload of the plug-in that loaded it: pin it.
__attribute__((constructor)) void PinLibrary() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&Effect::DefaultModulePath), &info) != 0 && info.dli_fname)
        dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
}

bool IsFile(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

/// The module where the install put it, found from the plug-in's own folder (so a moved prefix
/// still works), unless CORVELLE_MODULE names one; empty: the library decides.
const std::string& ModulePath() {
    static const std::string path = [] {
        if (const char* chosen = std::getenv("CORVELLE_MODULE"); chosen && *chosen)
            return std::string();
        Dl_info info{};
        if (dladdr(reinterpret_cast<void*>(&TheProcess), &info) == 0 || !info.dli_fname)
            return std::string();
        std::string own = info.dli_fname;
        const std::size_t slash = own.rfind('/');
        const std::string folder = slash == std::string::npos ? "." : own.substr(0, slash);
        const std::string candidate = folder + "/" CORVELLE_FREI0R_TO_MODULE;
        return IsFile(candidate) ? candidate : std::string();
    }();
    return path;
}

/// A small effect of the module, for what does not depend on the frame.
LoadOptions SmallEffect() {
    LoadOptions options;
    options.modulePath = ModulePath();
    options.layerWidth = 16;
    options.layerHeight = 16;
    return options;
}

void KeepModuleLoaded(Process& process) {
    std::lock_guard<std::mutex> lock(process.mutex);
    if (process.initCount == 0 || process.keeperTried)
        return;
    process.keeperTried = true;
    try {
        process.keeper = std::make_unique<Effect>(SmallEffect());
        process.version = process.keeper->Version();
    } catch (const std::exception&) {
        // Each instance says why it passes frames through.
    }
}

/// The module's version, loading it once if no instance has; the plug-in's own without it.
std::pair<int, int> PluginVersion() {
    Process& process = TheProcess();
    std::lock_guard<std::mutex> lock(process.mutex);
    if (!process.version && !process.versionTried) {
        process.versionTried = true;
        try {
            process.version = Effect(SmallEffect()).Version();
        } catch (const std::exception&) {
            // The instances say why they pass frames through.
        }
    }
    if (process.version)
        return {process.version->major, process.version->minor};
    return {CORVELLE_VERSION_MAJOR, CORVELLE_VERSION_MINOR};
}

Instance* AsInstance(f0r_instance_t instance) {
    return static_cast<Instance*>(instance);
}

bool ValidIndex(int index) {
    return index >= 0 && index < kParamCount;
}

}   // namespace
}   // namespace corvelle::frei0r

using namespace corvelle::frei0r;

// The version script exports these and nothing else.
#pragma GCC visibility push(default)
extern "C" {

int f0r_init() {
    try {
        Process& process = TheProcess();
        std::lock_guard<std::mutex> lock(process.mutex);
        ++process.initCount;
    } catch (...) {
    }
    return 1;
}

void f0r_deinit() {
    try {
        Process& process = TheProcess();
        std::unique_ptr<corvelle::Effect> released;
        {
            std::lock_guard<std::mutex> lock(process.mutex);
            if (process.initCount == 0)
                return;
            if (--process.initCount == 0) {
                // Live instances hold the module themselves; only the keeper goes.
                released = std::move(process.keeper);
                process.keeperTried = false;
            }
        }
    } catch (...) {
    }
}

void f0r_get_plugin_info(f0r_plugin_info_t* info) {
    if (!info)
        return;
    info->name = "corvelle";
    info->author = "The Corvelle developers";
    info->plugin_type = F0R_PLUGIN_TYPE_FILTER;
    info->color_model = F0R_COLOR_MODEL_RGBA8888;
    info->frei0r_version = FREI0R_MAJOR_VERSION;
    std::pair<int, int> version{CORVELLE_VERSION_MAJOR, CORVELLE_VERSION_MINOR};
    try {
        version = PluginVersion();
    } catch (...) {
    }
    info->major_version = version.first;
    info->minor_version = version.second;
    info->num_params = kParamCount;
    info->explanation =
        "A feathered ellipse or rectangle; outside it a fill colour through a blending mode, or transparency";
}

void f0r_get_param_info(f0r_param_info_t* info, int index) {
    if (!info || !ValidIndex(index))
        return;
    const ParamSpec& spec = kParams[static_cast<std::size_t>(index)];
    info->name = spec.name;
    info->type = spec.type;
    info->explanation = spec.explanation;
}

f0r_instance_t f0r_construct(unsigned int width, unsigned int height) {
    try {
        KeepModuleLoaded(TheProcess());
        if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide) {
            NoteOnce("cannot render a " + std::to_string(width) + "x" + std::to_string(height) +
                     " frame: each side must be 1 to " + std::to_string(kMaxSide) +
                     "; frames pass through unchanged");
            return new Instance(0, 0, std::string(), static_cast<std::size_t>(width) * height);
        }
        return new Instance(static_cast<int>(width), static_cast<int>(height), ModulePath(),
                            static_cast<std::size_t>(width) * height);
    } catch (...) {
        return nullptr;   // only when even a pass-through instance cannot be allocated
    }
}

void f0r_destruct(f0r_instance_t instance) {
    try {
        delete AsInstance(instance);
    } catch (...) {
    }
}

void f0r_set_param_value(f0r_instance_t instance, f0r_param_t param, int index) {
    if (!instance || !param || !ValidIndex(index))
        return;
    try {
        AsInstance(instance)->SetParam(index, param);
    } catch (...) {
    }
}

void f0r_get_param_value(f0r_instance_t instance, f0r_param_t param, int index) {
    if (!instance || !param || !ValidIndex(index))
        return;
    try {
        AsInstance(instance)->GetParam(index, param);
    } catch (...) {
    }
}

void f0r_update(f0r_instance_t instance, double time, const uint32_t* inframe, uint32_t* outframe) {
    if (!instance || !inframe || !outframe)
        return;
    try {
        AsInstance(instance)->Update(time, inframe, outframe);
    } catch (...) {
    }
}

void f0r_update2(f0r_instance_t instance, double time, const uint32_t* inframe1, const uint32_t* /*inframe2*/,
                 const uint32_t* /*inframe3*/, uint32_t* outframe) {
    f0r_update(instance, time, inframe1, outframe);
}

}   // extern "C"
#pragma GCC visibility pop
