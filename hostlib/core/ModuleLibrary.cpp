// Loads the effect module with dlopen and finds its one entry point, as a production host does.
#include "core/ModuleLibrary.h"

#include "core/InstallPaths.h"

#include <dlfcn.h>

#include <cstdlib>
#include <map>
#include <mutex>

namespace corvelle {

namespace {

std::string LastDlError() {
    const char* text = dlerror();
    return text ? text : "unknown error";
}

}   // namespace

ModuleLibrary::ModuleLibrary(const std::string& path) : m_path(path) {
    // Without a slash dlopen would search the library path instead of the named file.
    const std::string openPath = path.find('/') == std::string::npos ? "./" + path : path;
    dlerror();
    m_handle = dlopen(openPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!m_handle) {
        throw HostError("cannot load module " + path + ": " + LastDlError(), ErrorKind::Load);
    }
    dlerror();
    void* symbol = dlsym(m_handle, "EntryPointFunc");
    if (!symbol) {
        dlclose(m_handle);
        throw HostError("module " + path + " has no EntryPointFunc", ErrorKind::Load);
    }
    m_entry = reinterpret_cast<PF_EntryPointFunc>(symbol);
}

ModuleLibrary::~ModuleLibrary() {
    // The entry point and every table the module handed out die with the handle.
    dlclose(m_handle);
}

std::shared_ptr<ModuleLibrary> ModuleLibrary::Shared(const std::string& path) {
    static std::mutex mutex;
    static std::map<std::string, std::weak_ptr<ModuleLibrary>> loaded;
    std::lock_guard<std::mutex> lock(mutex);
    std::weak_ptr<ModuleLibrary>& slot = loaded[path];
    if (std::shared_ptr<ModuleLibrary> library = slot.lock()) {
        return library;
    }
    auto library = std::make_shared<ModuleLibrary>(path);
    slot = library;
    return library;
}

std::string ModuleLibrary::DefaultPath() {
    if (const char* chosen = std::getenv("CORVELLE_MODULE"); chosen && *chosen) {
        return chosen;
    }
    return FindShippedFile(CORVELLE_MODULE_FILE_NAME);
}

}   // namespace corvelle
