// Loads the effect module with dlopen and finds its one entry point, as a production host does.
#pragma once

#include "core/HostError.h"
#include "host/AE_Effect.h"

#include <memory>
#include <string>

namespace corvelle {

class ModuleLibrary {
public:
    /// Loads with RTLD_NOW | RTLD_LOCAL; throws HostError (Load) carrying dlerror()'s text.
    explicit ModuleLibrary(const std::string& path);
    ~ModuleLibrary();   // dlclose
    ModuleLibrary(const ModuleLibrary&) = delete;
    ModuleLibrary& operator=(const ModuleLibrary&) = delete;

    /// The one loaded copy of the module at `path` in this process, loaded on first use and
    /// unloaded when its last user lets go.
    static std::shared_ptr<ModuleLibrary> Shared(const std::string& path);

    PF_EntryPointFunc Entry() const { return m_entry; }
    const std::string& Path() const { return m_path; }

    /// $CORVELLE_MODULE when set; otherwise the module where an install or the build puts it,
    /// looked for beside the file this library was linked into (a shared library or a program):
    /// corvelle/ there, the folder itself, then the installed module seen from the installed program.
    static std::string DefaultPath();

private:
    std::string m_path;
    void* m_handle = nullptr;
    PF_EntryPointFunc m_entry = nullptr;
};

}   // namespace corvelle
