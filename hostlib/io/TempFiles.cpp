// Fixed slots of plain characters, since a signal handler may neither allocate nor lock.
#include <corvelle/files.h>

#include <atomic>
#include <cstring>

#include <pthread.h>

#include <unistd.h>

namespace corvelle {
namespace {

constexpr int kSlots = 8;
constexpr std::size_t kMaxName = 4096;

struct Slot {
    std::atomic<int> state{0};   // 0 free, 1 being filled, 2 holds a name
    char name[kMaxName];
};

Slot g_slots[kSlots];

// A signal may land on any thread, not only the one holding it back: the cleanup waits for every
// thread between making a file and remembering it, and once it has begun no new file is made.
std::atomic<int> g_holding{0};
std::atomic<bool> g_cleaningUp{false};

}   // namespace

CleanupSignalsHeld::CleanupSignalsHeld() {
    sigset_t held;
    sigemptyset(&held);
    for (const int signal : kCleanupSignals)
        sigaddset(&held, signal);
    pthread_sigmask(SIG_BLOCK, &held, &m_previous);
    g_holding.fetch_add(1);
    if (g_cleaningUp.load()) {
        g_holding.fetch_sub(1);
        for (;;)
            pause();   // the run is ending on another thread, which exits the process
    }
}

CleanupSignalsHeld::~CleanupSignalsHeld() {
    g_holding.fetch_sub(1);
    // A signal that arrived meanwhile is delivered here, once the file is remembered.
    pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
}

bool RememberTempFile(const char* path) {
    const std::size_t length = std::strlen(path);
    if (length >= kMaxName)
        return false;
    for (Slot& slot : g_slots) {
        int expected = 0;
        if (slot.state.compare_exchange_strong(expected, 1)) {
            std::memcpy(slot.name, path, length + 1);
            slot.state.store(2);
            return true;
        }
    }
    return false;
}

void ForgetTempFile(const char* path) {
    for (Slot& slot : g_slots) {
        if (slot.state.load() == 2 && std::strcmp(slot.name, path) == 0) {
            slot.state.store(0);
            return;
        }
    }
}

void RemoveTempFilesNow() {
    g_cleaningUp.store(true);
    while (g_holding.load() != 0) {
        // another thread is remembering the file it just made: a few instructions more
    }
    for (Slot& slot : g_slots) {
        if (slot.state.load() == 2)
            unlink(slot.name);
    }
}

}   // namespace corvelle
