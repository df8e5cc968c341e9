// Whether two names reach one file, however they are spelled (links, "./", hard links), and the
// check every command makes that no output is an input or another output.
#pragma once

#include <string>
#include <vector>

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
/// entry of the same folder when it does not exist yet (links followed, dangling ones too).
bool SameDestination(const std::string& a, const std::string& b);

/// A file a command names, with the option (or "INPUT", "OUTPUT") that names it.
struct NamedFile {
    std::string role;
    std::string path;
    /// For an input: the role of the one output allowed to replace it, once it has been read.
    std::string rewrittenBy;
};

/// Refuses, before anything is read, an output that reaches an input or another output: writing
/// it would destroy the input as it is read, or lose one of the outputs. Names that are not
/// files of their own ("-", devices) are never refused. Throws HostError of kind BadValue.
void RefuseSharedFiles(const std::vector<NamedFile>& inputs, const std::vector<NamedFile>& outputs);

}   // namespace corvelle
