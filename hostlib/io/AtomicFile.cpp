// Temporary-file-then-rename output, with the permissions a plain create would give.
#include "io/AtomicFile.h"

#include "core/HostError.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvelle {
namespace {

std::string Folder(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

/// The extension including its dot, or empty; only the last path component counts.
std::string Extension(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return "";
    if (dot == (slash == std::string::npos ? 0 : slash + 1))
        return "";   // a hidden file's name
    return path.substr(dot);
}

/// mkstemps creates 0600; a finished output gets what open(O_CREAT, 0666) would give.
mode_t CreationMode() {
    static std::once_flag once;
    static mode_t mode = 0644;
    std::call_once(once, [] {
        const mode_t mask = umask(022);
        umask(mask);
        mode = static_cast<mode_t>(0666 & ~mask);
    });
    return mode;
}

std::string Why() {
    return std::strerror(errno);
}

}   // namespace

void CheckOutputFolder(const std::string& path) {
    if (path.empty())
        throw HostError("writing output: no file name given");
    const std::string folder = Folder(path);
    struct stat info {};
    if (stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        throw HostError("writing " + path + ": the folder " + folder + " does not exist");
    }
}

AtomicFile::AtomicFile(const std::string& path) : m_path(path) {
    CheckOutputFolder(path);
    const std::string folder = Folder(path);
    const std::string extension = Extension(path);
    const std::size_t slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::string stem = name.substr(0, name.size() - extension.size());
    std::string pattern =
        (folder == "." && slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + "." +
        stem + ".corvelle-XXXXXX" + extension;
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    m_fd = mkstemps(buffer.data(), static_cast<int>(extension.size()));
    if (m_fd < 0)
        throw HostError("writing " + path + ": cannot create a file in " + folder + ": " + Why());
    m_tempPath.assign(buffer.data());
    fchmod(m_fd, CreationMode());
}

AtomicFile::~AtomicFile() {
    if (m_fd >= 0)
        close(m_fd);
    if (!m_committed && !m_tempPath.empty())
        unlink(m_tempPath.c_str());
}

void AtomicFile::Write(const void* data, std::size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = write(m_fd, p, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw HostError("writing " + m_path + ": " + Why());
        }
        p += n;
        size -= static_cast<std::size_t>(n);
    }
}

void AtomicFile::Commit() {
    if (fsync(m_fd) != 0)
        throw HostError("writing " + m_path + ": " + Why());
    const int fd = m_fd;
    m_fd = -1;
    if (close(fd) != 0)
        throw HostError("writing " + m_path + ": " + Why());
    if (std::rename(m_tempPath.c_str(), m_path.c_str()) != 0) {
        throw HostError("writing " + m_path + ": cannot rename " + m_tempPath + ": " + Why());
    }
    m_committed = true;
}

void WriteFileAtomically(const std::string& path, const std::vector<unsigned char>& bytes) {
    AtomicFile file(path);
    file.Write(bytes.data(), bytes.size());
    file.Commit();
}

}   // namespace corvelle
