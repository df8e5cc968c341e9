// Loads the effect module with dlopen and finds its one entry point, as a production host does.
#include "core/ModuleLibrary.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <mutex>
#include <vector>

namespace corvelle {

namespace {

std::string LastDlError() {
    const char* text = dlerror();
    return text ? text : "unknown error";
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool IsFile(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

/// The file (shared library or program) this function was linked into.
std::string OwnFile() {
    Dl_info info{};
    // A program started by a relative name reports that name; the full path stays right when
    // the working folder changes later.
    if (dladdr(reinterpret_cast<void*>(&OwnFile), &info) != 0 && info.dli_fname && *info.dli_fname) {
        if (char* full = realpath(info.dli_fname, nullptr)) {
            std::string path(full);
            std::free(full);
            return path;
        }
    }
    std::vector<char> buffer(4096);
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    return length > 0 ? std::string(buffer.data(), static_cast<std::size_t>(length)) : std::string(".");
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
    const std::string folder = FolderOf(OwnFile());
    const std::string candidates[] = {
        folder + "/corvelle/" CORVELLE_MODULE_FILE_NAME,
        folder + "/" CORVELLE_MODULE_FILE_NAME,
        folder + "/" CORVELLE_BIN_TO_MODULE "/" CORVELLE_MODULE_FILE_NAME,
    };
    for (const std::string& candidate : candidates) {
        if (IsFile(candidate)) {
            return candidate;
        }
    }
    return candidates[1];
}

}   // namespace corvelle
