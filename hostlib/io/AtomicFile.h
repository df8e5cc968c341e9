// An output file written under a temporary name in its own folder and renamed into place
// only when complete, so a failed run leaves no partial file and keeps an existing one.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace corvelle {

class AtomicFile {
public:
    /// Creates the temporary file beside `path`, keeping its extension (image writers choose
    /// the format by it); throws HostError when the folder is missing or not writable.
    explicit AtomicFile(const std::string& path);
    /// Removes the temporary file unless Commit() succeeded.
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    /// Where to write; another writer (an image library) may open this name itself.
    const std::string& TempPath() const { return m_tempPath; }
    const std::string& Path() const { return m_path; }
    /// Appends bytes through the file's own descriptor; throws HostError on failure.
    void Write(const void* data, std::size_t size);
    /// Flushes, closes and renames over `path`; throws HostError on failure.
    void Commit();

private:
    std::string m_path;
    std::string m_tempPath;
    int m_fd = -1;
    bool m_committed = false;
};

/// Throws HostError unless the folder `path` would be written in exists.
void CheckOutputFolder(const std::string& path);

/// Writes `bytes` to `path` whole or not at all.
void WriteFileAtomically(const std::string& path, const std::vector<unsigned char>& bytes);

}   // namespace corvelle
