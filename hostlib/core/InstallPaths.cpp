// Where the files that ship beside the host library are found.
#include "core/InstallPaths.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace corvelle {

namespace {

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

std::string FindShippedFile(const std::string& fileName) {
    const std::string folder = FolderOf(OwnFile());
    const std::string candidates[] = {
        folder + "/corvelle/" + fileName,
        folder + "/" + fileName,
        folder + "/" CORVELLE_BIN_TO_MODULE "/" + fileName,
    };
    for (const std::string& candidate : candidates) {
        if (IsFile(candidate)) {
            return candidate;
        }
    }
    return candidates[1];
}

}   // namespace corvelle
