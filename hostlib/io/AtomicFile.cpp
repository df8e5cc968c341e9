// Temporary-file-then-rename output with the permissions cp would keep, and straight-through
// writes for outputs that are not files.
#include <corvelle/files.h>

#include "core/HostError.h"
#include "io/FileOps.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvelle {
namespace {

// Links are followed at most this deep, as the kernel does.
constexpr int kMaxLinks = 40;

std::string Folder(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

/// A new file gets what open(O_CREAT, 0666) would give it under the umask of the moment, read
/// where the kernel shows it, since setting and restoring it would race with other threads.
mode_t CreationMode() {
    mode_t mask = 022;
    if (FILE* status = std::fopen("/proc/self/status", "re")) {
        char line[256];
        unsigned value = 0;
        while (std::fgets(line, sizeof line, status)) {
            if (std::sscanf(line, "Umask: %o", &value) == 1) {
                mask = static_cast<mode_t>(value);
                break;
            }
        }
        std::fclose(status);
    } else {
        mask = umask(022);
        umask(mask);
    }
    return static_cast<mode_t>(0666 & ~mask);
}

std::string Why() {
    return std::strerror(errno);
}

[[noreturn]] void Refuse(const std::string& path, const std::string& why) {
    throw HostError("writing " + path + ": " + why, ErrorKind::IO);
}

/// `path` with symbolic links in its last component followed, so that renaming onto the result
/// replaces the file a link points to (a dangling link leads to where the file will be made).
std::string FollowLinks(const std::string& path) {
    std::string current = path;
    for (int depth = 0; depth < kMaxLinks; ++depth) {
        struct stat info {};
        if (lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
            return current;
        std::vector<char> buffer(PATH_MAX + 1);
        const ssize_t n = readlink(current.c_str(), buffer.data(), PATH_MAX);
        if (n < 0)
            return current;
        const std::string link(buffer.data(), static_cast<std::size_t>(n));
        current =
            (link[0] == '/' || current.find('/') == std::string::npos) ? link : Folder(current) + "/" + link;
    }
    errno = ELOOP;
    Refuse(path, Why());
}

/// Names that reach the process's own descriptors (/dev/stdout, /proc/self/fd/1) must be written
/// through: renaming a new file over what they resolve to would detach it from the descriptor.
bool NamesADescriptor(const std::string& path) {
    return path.rfind("/dev/", 0) == 0 || path.rfind("/proc/", 0) == 0;
}

}   // namespace

void CheckOutputFolder(const std::string& path) {
    if (path.empty())
        throw HostError("writing output: no file name given", ErrorKind::BadValue);
    const std::string folder = Folder(FollowLinks(path));
    struct stat info {};
    if (stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        Refuse(path, "the folder " + folder + " does not exist");
    }
}

AtomicFile::AtomicFile(const std::string& path) : m_path(path) {
    CheckOutputFolder(path);
    m_target = FollowLinks(path);
    struct stat existing {};
    const bool exists = stat(m_target.c_str(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode)) {
        errno = EISDIR;
        Refuse(path, Why());
    }
    if ((exists && !S_ISREG(existing.st_mode)) || NamesADescriptor(path)) {
        m_direct = true;
        m_fd = open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | (exists ? O_TRUNC : O_CREAT | O_TRUNC),
                    0666);
        if (m_fd < 0)
            Refuse(path, Why());
        return;
    }
    // As cp does: a file this user may not write is left alone even where its folder is writable.
    if (exists && faccessat(AT_FDCWD, m_target.c_str(), W_OK, AT_EACCESS) != 0)
        Refuse(path, Why());

    // A short fixed name, so a long output name never pushes it past the file-name limit.
    const std::string folder = Folder(m_target);
    std::string pattern =
        (m_target.find('/') == std::string::npos ? std::string() : folder + "/") + ".corvelle-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    int createError = 0;
    {
        const CleanupSignalsHeld held;
        // Nothing here allocates: a signal's cleanup on another thread waits for this scope, and
        // may have stopped that thread holding the allocator's lock.
        m_fd = mkostemp(buffer.data(), O_CLOEXEC);
        createError = errno;
        if (m_fd >= 0)
            RememberTempFile(buffer.data());
    }
    if (m_fd >= 0)
        m_tempPath.assign(buffer.data());
    if (m_fd < 0)
        Refuse(path, "cannot create a file in " + folder + ": " + std::strerror(createError));
    if (exists) {
        // Owner first: changing it may clear set-id bits that the mode then restores.
        if (fchown(m_fd, existing.st_uid, existing.st_gid) != 0) {
            [[maybe_unused]] const int ignored = fchown(m_fd, static_cast<uid_t>(-1), existing.st_gid);
        }
        fchmod(m_fd, existing.st_mode & 07777);
    } else {
        fchmod(m_fd, CreationMode());
    }
}

AtomicFile::~AtomicFile() {
    if (m_fd >= 0)
        close(m_fd);
    if (!m_committed && !m_tempPath.empty()) {
        unlink(m_tempPath.c_str());
        ForgetTempFile(m_tempPath.c_str());
    }
}

void AtomicFile::Fail() const {
    Refuse(m_path, Why());
}

void AtomicFile::Write(const void* data, std::size_t size) {
    if (m_fd < 0)
        Refuse(m_path, "the file is already closed");
    if (!WriteAll(m_fd, data, size))
        Fail();
}

void AtomicFile::Commit() {
    if (m_fd < 0)
        Refuse(m_path, "the file is already closed");
    // A device or FIFO has nothing to flush to a disk.
    if (!m_direct && !SyncFile(m_fd))
        Fail();
    const int fd = m_fd;
    m_fd = -1;
    if (close(fd) != 0)
        Fail();
    if (!m_direct) {
        if (!RenameFile(m_tempPath.c_str(), m_target.c_str()))
            Fail();
        ForgetTempFile(m_tempPath.c_str());
        // The new name reaches the disk with the folder.
        const int folder = open(Folder(m_target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (folder >= 0) {
            fsync(folder);
            close(folder);
        }
    }
    m_committed = true;
}

void WriteFileAtomically(const std::string& path, const std::vector<unsigned char>& bytes) {
    AtomicFile file(path);
    file.Write(bytes.data(), bytes.size());
    file.Commit();
}

}   // namespace corvelle
