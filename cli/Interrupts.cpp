// Signal handlers that only unlink and exit: both are async-signal-safe.
#include "Interrupts.h"

#include <corvelle/files.h>

#include <csignal>

#include <unistd.h>

namespace corvelle {
namespace {

void OnInterrupt(int signal) {
    RemoveTempFilesNow();
    _exit(128 + signal);
}

}   // namespace

void InstallInterruptHandlers() {
    for (const int signal : kCleanupSignals) {
        struct sigaction current {};
        sigaction(signal, nullptr, &current);
        if (current.sa_handler == SIG_IGN)
            continue;   // nohup and background jobs ask for the signal to be ignored
        struct sigaction action {};
        action.sa_handler = OnInterrupt;
        sigemptyset(&action.sa_mask);
        sigaction(signal, &action, nullptr);
    }
}

}   // namespace corvelle
