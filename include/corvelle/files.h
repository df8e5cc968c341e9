// Files as every front-end writes and names them: outputs that appear whole or not at all, the
// temporary files an interrupted run removes, the check that no output destroys an input, and
// numbered image sequences.
#pragma once

#include <corvelle/corvelle.h>

#include <csignal>
#include <cstddef>
#include <string>
#include <vector>

namespace corvelle {

// ---- Outputs written whole or not at all

/// A regular file (or a new one) is written under a short temporary name in its own folder and
/// renamed into place only when complete, so a failed run leaves no partial file and keeps an
/// existing one; a symbolic link is followed, so the file it points to is replaced and the link
/// stays. A FIFO or a device is written straight through, never renamed over.
class CORVELLE_API AtomicFile {
public:
    /// Opens the output for `path`; throws Error (IO) when its folder is missing or not
    /// writable, when an existing file may not be written by this user, or when it is a folder.
    /// A replaced file keeps its mode, and its owner and group where the process may set them;
    /// a new file gets 0666 under the umask.
    explicit AtomicFile(const std::string& path);
    /// Removes the temporary file unless Commit() succeeded.
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    const std::string& Path() const { return m_path; }
    /// Appends bytes; throws Error (IO) naming the output and the system's reason.
    void Write(const void* data, std::size_t size);
    /// Flushes to the disk, closes and renames over the target; throws Error (IO) on failure,
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

/// Throws Error (IO) unless the folder `path` would be written in exists.
CORVELLE_API void CheckOutputFolder(const std::string& path);

/// Writes `bytes` to `path` whole or not at all.
CORVELLE_API void WriteFileAtomically(const std::string& path, const std::vector<unsigned char>& bytes);

// ---- Temporary files removed when a run is interrupted

/// The signals whose handlers remove the remembered files before the run ends.
constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};

/// Holds the cleanup signals back on this thread while it lives: a file created and remembered
/// in its scope is either not there yet or known to the handler when a signal lands, on this
/// thread or any other (RemoveTempFilesNow waits for every scope to end, and once it has begun a
/// new scope never returns). Nothing in the scope may allocate or lock.
class CORVELLE_API CleanupSignalsHeld {
public:
    CleanupSignalsHeld();
    ~CleanupSignalsHeld();
    CleanupSignalsHeld(const CleanupSignalsHeld&) = delete;
    CleanupSignalsHeld& operator=(const CleanupSignalsHeld&) = delete;

private:
    sigset_t m_previous;
};

/// Remembers `path` (copied; at most 4095 bytes) until Forget; false when no slot is free or
/// the name is too long, in which case the file is simply not removed on a signal.
CORVELLE_API bool RememberTempFile(const char* path);
CORVELLE_API void ForgetTempFile(const char* path);
/// Unlinks every remembered file, once no thread is between making a file and remembering it.
/// Async-signal-safe; for a handler that ends the process next, since no file can be made after.
CORVELLE_API void RemoveTempFilesNow();

// ---- Whether two names reach one file

/// A file's device and inode, after following links.
struct FileId {
    unsigned long long device = 0;
    unsigned long long inode = 0;
    bool operator<(const FileId& o) const { return device != o.device ? device < o.device : inode < o.inode; }
    bool operator==(const FileId& o) const { return device == o.device && inode == o.inode; }
};

/// The identity of the file `path` reaches; false when there is none (yet).
CORVELLE_API bool IdentifyFile(const std::string& path, FileId& id);

/// True when both names reach the same existing file.
CORVELLE_API bool SameFile(const std::string& a, const std::string& b);

/// True when writing to both names would write one file: the same existing file, or the same
/// entry of the same folder when it does not exist yet (links followed, dangling ones too).
CORVELLE_API bool SameDestination(const std::string& a, const std::string& b);

/// A file a command names, with the option (or "INPUT", "OUTPUT") that names it.
struct NamedFile {
    std::string role;
    std::string path;
    /// For an input: the role of the one output allowed to replace it, once it has been read.
    std::string rewrittenBy;
};

/// Refuses, before anything is read, an output that reaches an input or another output: writing
/// it would destroy the input as it is read, or lose one of the outputs. Names that are not
/// files of their own ("-", devices) are never refused. Throws Error of kind BadValue.
CORVELLE_API void RefuseSharedFiles(const std::vector<NamedFile>& inputs,
                                    const std::vector<NamedFile>& outputs);

// ---- Numbered image sequences: printf-style frame patterns (in.%04d.png) and frame ranges

/// Whether `path` is meant as a pattern (holds a '%').
CORVELLE_API bool HasFramePattern(const std::string& path);

/// Throws Error unless `pattern` holds exactly one %d conversion (%d, %4d, %04d; width at most
/// 9) and no other '%'.
CORVELLE_API void CheckFramePattern(const std::string& pattern);

/// The pattern with `frame` (not negative) in place of its conversion, as printf would write it.
CORVELLE_API std::string FrameName(const std::string& pattern, long frame);

struct FrameRange {
    long first = 0;
    long last = 0;
};

/// "A-B" with 0 <= A <= B, or a single frame "N"; false when malformed.
CORVELLE_API bool ParseFrameRange(const std::string& text, FrameRange& range);

}   // namespace corvelle
