// Scratch folders, file contents and runs of the built corvelle command for the render tests.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <vector>

#include <dirent.h>
#include <unistd.h>

namespace corvelle::testing_support {

/// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir() {
        std::string pattern =
            std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + "/corvelle-test-XXXXXX";
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        m_path = mkdtemp(buffer.data()) ? buffer.data() : "";
    }
    ~TempDir() {
        if (!m_path.empty() && std::system(("rm -rf '" + m_path + "'").c_str()) != 0) {
            // Nothing to do: a scratch folder left behind harms no test.
        }
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string operator/(const std::string& name) const { return m_path + "/" + name; }
    const std::string& Path() const { return m_path; }
    /// The names in the folder, hidden temporaries included, sorted.
    std::vector<std::string> Names() const;

private:
    std::string m_path;
};

inline bool Exists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

/// A raw stream of `frames` frames of `frameBytes` each, frame i filled with the letter 'a' + i so
/// that frames cannot be mixed up unseen, then `extraBytes` of 'z': a last frame cut short.
inline std::string LetteredFrames(int frames, std::size_t frameBytes, std::size_t extraBytes = 0) {
    std::string bytes;
    for (int frame = 0; frame < frames; ++frame)
        bytes += std::string(frameBytes, static_cast<char>('a' + frame));
    return bytes + std::string(extraBytes, 'z');
}

struct CommandResult {
    int status = -1;   // exit status, or -1 when the command did not exit normally
    std::string out;   // standard output
    std::string err;   // standard error
};

/// Runs `command` (a shell command line) with standard input from `stdinPath` (or /dev/null).
inline CommandResult RunShell(const TempDir& dir, const std::string& command,
                              const std::string& stdinPath = "/dev/null") {
    const std::string out = dir / ".stdout";
    const std::string err = dir / ".stderr";
    const int raw = std::system((command + " <'" + stdinPath + "' >'" + out + "' 2>'" + err + "'").c_str());
    CommandResult result;
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    result.out = ReadBytes(out);
    result.err = ReadBytes(err);
    unlink(out.c_str());
    unlink(err.c_str());
    return result;
}

/// Runs `corvelle render ARGS`, with `--module <the built module>` unless ARGS name one;
/// arguments are single-quoted.
inline CommandResult RunRender(const TempDir& dir, const std::vector<std::string>& args,
                               const std::string& stdinPath = "/dev/null") {
    std::string command = std::string("'") + CORVELLE_COMMAND_PATH + "' render";
    for (const std::string& arg : args)
        command += " '" + arg + "'";
    if (std::find(args.begin(), args.end(), "--module") == args.end()) {
        command += std::string(" --module '") + CORVELLE_MODULE_PATH + "'";
    }
    return RunShell(dir, command, stdinPath);
}

inline std::vector<std::string> TempDir::Names() const {
    std::vector<std::string> names;
    if (DIR* dir = opendir(m_path.c_str())) {
        while (const dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..")
                names.push_back(name);
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

}   // namespace corvelle::testing_support
