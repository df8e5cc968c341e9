// Loads the effect module with dlopen and finds its one entry point, as a production host does.
#include "ModuleLibrary.h"

#include <dlfcn.h>
#include <unistd.h>

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

}   // namespace

ModuleLibrary::ModuleLibrary(const std::string& path) : m_path(path) {
    // Without a slash dlopen would search the library path instead of the named file.
    const std::string openPath = path.find('/') == std::string::npos ? "./" + path : path;
    dlerror();
    m_handle = dlopen(openPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!m_handle) {
        throw HostError("cannot load module " + path + ": " + LastDlError());
    }
    dlerror();
    void* symbol = dlsym(m_handle, "EntryPointFunc");
    if (!symbol) {
        dlclose(m_handle);
        throw HostError("module " + path + " has no EntryPointFunc");
    }
    m_entry = reinterpret_cast<PF_EntryPointFunc>(symbol);
}

ModuleLibrary::~ModuleLibrary() {
    // The entry point and every table the module handed out die with the handle.
    dlclose(m_handle);
}

std::string ModuleLibrary::DefaultPath(const std::string& argv0) {
    std::vector<char> buffer(4096);
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    const std::string command =
        length > 0 ? std::string(buffer.data(), static_cast<std::size_t>(length)) : argv0;
    return FolderOf(command) + "/" + CORVELLE_MODULE_FILE_NAME;
}

}   // namespace corvelle
