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

}   // namespace

CleanupSignalsHeld::CleanupSignalsHeld() {
    sigset_t held;
    sigemptyset(&held);
    for (const int signal : kCleanupSignals)
        sigaddset(&held, signal);
    pthread_sigmask(SIG_BLOCK, &held, &m_previous);
}

CleanupSignalsHeld::~CleanupSignalsHeld() {
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
    for (Slot& slot : g_slots) {
        if (slot.state.load() == 2)
            unlink(slot.name);
    }
}

}   // namespace corvelle
