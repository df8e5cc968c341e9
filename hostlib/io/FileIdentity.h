// Whether two names reach one file, however they are spelled (links, "./", hard links).
#pragma once

#include <string>

namespace corvelle {

/// A file's device and inode, after following links.
struct FileId {
    unsigned long long device = 0;
    unsigned long long inode = 0;
    bool operator<(const FileId& o) const { return device != o.device ? device < o.device : inode < o.inode; }
    bool operator==(const FileId& o) const { return device == o.device && inode == o.inode; }
};

/// The identity of the file `path` reaches; false when there is none (yet).
bool IdentifyFile(const std::string& path, FileId& id);

/// True when both names reach the same existing file.
bool SameFile(const std::string& a, const std::string& b);

/// True when writing to both names would write one file: the same existing file, or the same
/// name in the same folder when it does not exist yet.
bool SameDestination(const std::string& a, const std::string& b);

}   // namespace corvelle
