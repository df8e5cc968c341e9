// A program run with an argument vector (never a shell), its standard output read through a pipe
// in bounded pieces and the tail of its standard error kept for messages.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace corvelle::serve {

/// The full path of `program` found on PATH, or empty.
std::string FindProgram(const std::string& program);

class ChildProcess {
public:
    /// Starts argv[0] (a path) with `argv`, standard input from /dev/null. Throws Error(IO) when it
    /// cannot be started.
    explicit ChildProcess(const std::vector<std::string>& argv);
    /// Closes the pipes, ends the program if it still runs and waits for it.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    /// Reads up to `size` bytes of standard output, fewer only when the output ends; meanwhile
    /// keeps the last few kilobytes of standard error. Throws Error(IO) on a read failure.
    std::size_t Read(uint8_t* data, std::size_t size);
    /// Waits for the program to end; its exit status, or 128 + the signal that ended it.
    int Wait();
    /// The last line the program wrote on standard error, for messages.
    std::string LastErrorLine() const;

private:
    void DrainError(bool block);

    pid_t m_pid = -1;
    int m_out = -1;
    int m_err = -1;
    std::string m_errTail;
    bool m_waited = false;
    int m_status = 0;
};

/// Runs `argv` to its end and returns its standard output, refusing more than `limit` bytes.
/// Throws Error(IO) naming `what` when the program fails, says too much or cannot be started.
std::string RunForOutput(const std::vector<std::string>& argv, std::size_t limit, const std::string& what);

}   // namespace corvelle::serve
