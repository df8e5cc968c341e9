// An output file written whole or not at all. A regular file (or a new one) is written under a
// short temporary name in its own folder and renamed into place only when complete, so a
// failed run leaves no partial file and keeps an existing one; a symbolic link is followed, so
// the file it points to is replaced and the link stays. A FIFO or a device is written straight
// through, never renamed over.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace corvelle {

class AtomicFile {
public:
    /// Opens the output for `path`; throws HostError (IO) when its folder is missing or not
    /// writable, when an existing file may not be written by this user, or when it is a folder.
    /// A replaced file keeps its mode, and its owner and group where the process may set them;
    /// a new file gets 0666 under the umask.
    explicit AtomicFile(const std::string& path);
    /// Removes the temporary file unless Commit() succeeded.
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    const std::string& Path() const { return m_path; }
    /// Appends bytes; throws HostError (IO) naming the output and the system's reason.
    void Write(const void* data, std::size_t size);
    /// Flushes to the disk, closes and renames over the target; throws HostError (IO) on failure,
    /// leaving the target as it was.
    void Commit();

private:
    [[noreturn]] void Fail() const;

    std::string m_path;     // as the user gave it: messages name this
    std::string m_target;   // the file replaced: `path` with its links followed
    std::string m_tempPath;
    int m_fd = -1;
    bool m_direct = false;
    bool m_committed = false;
};

/// Throws HostError (IO) unless the folder `path` would be written in exists.
void CheckOutputFolder(const std::string& path);

/// Writes `bytes` to `path` whole or not at all.
void WriteFileAtomically(const std::string& path, const std::vector<unsigned char>& bytes);

}   // namespace corvelle
