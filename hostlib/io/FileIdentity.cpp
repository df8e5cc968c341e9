// File identity by stat, which follows every link on the way.
#include <corvelle/files.h>

#include "core/HostError.h"

#include <map>
#include <tuple>

#include <sys/stat.h>
#include <unistd.h>

namespace corvelle {
namespace {

// More links than this in a row is a loop; the system gives up at 40 too.
constexpr int kMaxLinks = 40;

/// Where writing a name lands: an existing file, or an entry (`name`) of an existing folder.
struct Place {
    FileId id;
    std::string name;   // empty for an existing file
    bool operator<(const Place& o) const { return std::tie(id, name) < std::tie(o.id, o.name); }
};

void SplitPath(const std::string& path, std::string& folder, std::string& name) {
    const std::size_t slash = path.rfind('/');
    folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    name = slash == std::string::npos ? path : path.substr(slash + 1);
}

/// The name a chain of links ends at, for a name that reaches no file: writing it creates that.
std::string FollowDanglingLinks(std::string path) {
    for (int hop = 0; hop < kMaxLinks; ++hop) {
        struct stat info {};
        if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
            return path;
        std::string target(static_cast<std::size_t>(info.st_size > 0 ? info.st_size : 4096), '\0');
        const ssize_t length = readlink(path.c_str(), &target[0], target.size());
        if (length <= 0)
            return path;
        target.resize(static_cast<std::size_t>(length));
        std::string folder, name;
        SplitPath(path, folder, name);
        path = target[0] == '/' ? target : folder + "/" + target;
    }
    return path;
}

/// False for names that are no file of their own: "-" and devices, which any number of outputs
/// may share, and names whose folder is missing, which fail when they are written.
bool PlaceOf(const std::string& path, Place& place) {
    if (path.empty() || path == "-")
        return false;
    struct stat info {};
    if (stat(path.c_str(), &info) == 0) {
        if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode))
            return false;
        place = Place{FileId{static_cast<unsigned long long>(info.st_dev),
                             static_cast<unsigned long long>(info.st_ino)},
                      ""};
        return true;
    }
    std::string folder, name;
    SplitPath(FollowDanglingLinks(path), folder, name);
    place.name = name;
    return IdentifyFile(folder, place.id);
}

}   // namespace

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
    Place first;
    Place second;
    return PlaceOf(a, first) && PlaceOf(b, second) && !(first < second) && !(second < first);
}

void RefuseSharedFiles(const std::vector<NamedFile>& inputs, const std::vector<NamedFile>& outputs) {
    std::map<Place, const NamedFile*> read;
    for (const NamedFile& input : inputs) {
        Place place;
        if (!PlaceOf(input.path, place) || !place.name.empty())
            continue;
        // A file read twice may be replaced only when every role that reads it allows it.
        const auto known = read.emplace(place, &input);
        if (!known.second && input.rewrittenBy.empty())
            known.first->second = &input;
    }
    std::map<Place, const NamedFile*> written;
    for (const NamedFile& output : outputs) {
        Place place;
        if (!PlaceOf(output.path, place))
            continue;
        const auto input = read.find(place);
        if (input != read.end() && input->second->rewrittenBy != output.role) {
            throw HostError(output.role + " " + output.path + ": it is " + input->second->role + " " +
                                input->second->path + " itself",
                            ErrorKind::BadValue);
        }
        const auto other = written.emplace(place, &output);
        if (!other.second) {
            throw HostError(output.role + " " + output.path + ": it names " + other.first->second->role +
                                " " + other.first->second->path + " too",
                            ErrorKind::BadValue);
        }
    }
}

}   // namespace corvelle
