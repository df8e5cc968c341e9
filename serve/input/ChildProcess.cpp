// Spawns helper programs with posix_spawn and reads their output with poll, so a program that
// fills its error pipe never stalls the one being read.
#include "ChildProcess.h"

#include <corvelle/corvelle.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace corvelle::serve {
namespace {

constexpr std::size_t kErrorTail = 4096;

[[noreturn]] void Fail(const std::string& what, int error) {
    throw Error(what + ": " + std::strerror(error), ErrorKind::IO);
}

/// Closes both ends of a pipe on every way out until they are handed over.
struct Pipe {
    int fds[2] = {-1, -1};
    Pipe() {
        if (pipe2(fds, O_CLOEXEC) != 0) {
            Fail("making a pipe", errno);
        }
    }
    ~Pipe() {
        for (int fd : fds) {
            if (fd >= 0) {
                close(fd);
            }
        }
    }
    int Take(int end) {
        const int fd = fds[end];
        fds[end] = -1;
        return fd;
    }
};

}   // namespace

std::string FindProgram(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::string folders = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= folders.size()) {
        const std::size_t end = std::min(folders.find(':', start), folders.size());
        const std::string folder = folders.substr(start, end - start);
        const std::string candidate = (folder.empty() ? "." : folder) + "/" + program;
        if (access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
        start = end + 1;
    }
    return "";
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv) {
    Pipe out;
    Pipe err;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out.fds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err.fds[1], 2);
    std::vector<char*> args;
    for (const std::string& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    const int failed = posix_spawn(&m_pid, argv.at(0).c_str(), &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) {
        Fail("starting " + argv[0], failed);
    }
    m_out = out.Take(0);
    m_err = err.Take(0);
}

ChildProcess::~ChildProcess() {
    if (m_out >= 0) {
        close(m_out);
    }
    if (m_err >= 0) {
        close(m_err);
    }
    if (!m_waited && m_pid > 0) {
        // A decoder stopped early would otherwise go on to the end of the clip.
        kill(m_pid, SIGTERM);
        int status = 0;
        while (waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
}

void ChildProcess::DrainError(bool block) {
    char buffer[1024];
    while (m_err >= 0) {
        pollfd p{m_err, POLLIN, 0};
        if (!block && poll(&p, 1, 0) <= 0) {
            return;
        }
        const ssize_t n = read(m_err, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            close(m_err);
            m_err = -1;
            return;
        }
        m_errTail.append(buffer, static_cast<std::size_t>(n));
        if (m_errTail.size() > kErrorTail) {
            m_errTail.erase(0, m_errTail.size() - kErrorTail);
        }
    }
}

std::size_t ChildProcess::Read(uint8_t* data, std::size_t size) {
    std::size_t got = 0;
    while (got < size && m_out >= 0) {
        pollfd fds[2] = {{m_out, POLLIN, 0}, {m_err, POLLIN, 0}};
        const int ready = poll(fds, m_err >= 0 ? 2 : 1, -1);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            Fail("reading from a helper program", errno);
        }
        if (m_err >= 0 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            DrainError(false);
        }
        if ((fds[0].revents & (POLLIN | POLLHUP | POLLERR)) == 0) {
            continue;
        }
        const ssize_t n = read(m_out, data + got, size - got);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            Fail("reading from a helper program", errno);
        }
        if (n == 0) {
            close(m_out);
            m_out = -1;
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    return got;
}

int ChildProcess::Wait() {
    if (m_waited) {
        return m_status;
    }
    if (m_out >= 0) {
        close(m_out);
        m_out = -1;
    }
    DrainError(true);
    int status = 0;
    while (waitpid(m_pid, &status, 0) < 0) {
        if (errno != EINTR) {
            Fail("waiting for a helper program", errno);
        }
    }
    m_waited = true;
    m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return m_status;
}

std::string ChildProcess::LastErrorLine() const {
    std::string tail = m_errTail;
    while (!tail.empty() && (tail.back() == '\n' || tail.back() == '\r')) {
        tail.pop_back();
    }
    const std::size_t newline = tail.find_last_of('\n');
    return newline == std::string::npos ? tail : tail.substr(newline + 1);
}

std::string RunForOutput(const std::vector<std::string>& argv, std::size_t limit, const std::string& what) {
    ChildProcess child(argv);
    std::string output(limit + 1, '\0');
    const std::size_t got = child.Read(reinterpret_cast<uint8_t*>(output.data()), output.size());
    if (got > limit) {
        throw Error(what + ": " + argv[0] + " wrote more than " + std::to_string(limit) + " bytes",
                    ErrorKind::IO);
    }
    output.resize(got);
    const int status = child.Wait();
    if (status != 0) {
        const std::string line = child.LastErrorLine();
        throw Error(what + ": " + argv[0] + " failed" + (line.empty() ? "" : ": " + line), ErrorKind::IO);
    }
    return output;
}

}   // namespace corvelle::serve
