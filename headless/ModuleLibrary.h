// Loads the effect module with dlopen and finds its one entry point, as a production host does.
#pragma once

#include "host/AE_Effect.h"

#include <stdexcept>
#include <string>

namespace corvelle {

/// Any failure of the headless host itself; `what()` reads "what failed: why".
class HostError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class ModuleLibrary {
public:
    /// Loads with RTLD_NOW | RTLD_LOCAL; throws HostError carrying dlerror()'s text.
    explicit ModuleLibrary(const std::string& path);
    ~ModuleLibrary();   // dlclose
    ModuleLibrary(const ModuleLibrary&) = delete;
    ModuleLibrary& operator=(const ModuleLibrary&) = delete;

    PF_EntryPointFunc Entry() const { return m_entry; }
    const std::string& Path() const { return m_path; }

    /// The module built beside the command `argv0` (Corvelle.so in the same folder).
    static std::string DefaultPath(const std::string& argv0);

private:
    std::string m_path;
    void* m_handle = nullptr;
    PF_EntryPointFunc m_entry = nullptr;
};

}   // namespace corvelle
