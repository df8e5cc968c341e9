// The temporary files a run has open, so an interrupted run can remove them from its signal
// handler without touching anything but these names.
#pragma once

#include <csignal>

namespace corvelle {

/// The signals whose handlers remove the remembered files before the run ends.
constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};

/// Holds the cleanup signals back on this thread while it lives: a file created and remembered
/// in its scope is either not there yet or known to the handler when a signal lands.
class CleanupSignalsHeld {
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
bool RememberTempFile(const char* path);
void ForgetTempFile(const char* path);
/// Unlinks every remembered file. Async-signal-safe.
void RemoveTempFilesNow();

}   // namespace corvelle
