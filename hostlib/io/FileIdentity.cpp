// File identity by stat, which follows every link on the way.
#include "io/FileIdentity.h"

#include <sys/stat.h>

namespace corvelle {

bool IdentifyFile(const std::string& path, FileId& id) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0)
        return false;
    id = FileId{static_cast<unsigned long long>(info.st_dev), static_cast<unsigned long long>(info.st_ino)};
    return true;
}

bool SameFile(const std::string& a, const std::string& b) {
    FileId first;
    FileId second;
    return IdentifyFile(a, first) && IdentifyFile(b, second) && first == second;
}

bool SameDestination(const std::string& a, const std::string& b) {
    if (SameFile(a, b))
        return true;
    const auto split = [](const std::string& path, std::string& folder, std::string& name) {
        const std::size_t slash = path.rfind('/');
        folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
        name = slash == std::string::npos ? path : path.substr(slash + 1);
    };
    std::string folderA, nameA, folderB, nameB;
    split(a, folderA, nameA);
    split(b, folderB, nameB);
    return nameA == nameB && SameFile(folderA, folderB);
}

}   // namespace corvelle
