// The checked write, fsync and rename, and their test seam.
#include "io/FileOps.h"

#include <cstdio>

#include <unistd.h>

namespace corvelle {
namespace {

struct FaultCounts {
    FileFaultPlan plan;
    int writes = 0;
    int syncs = 0;
    int renames = 0;
};

thread_local FaultCounts t_faults;

/// True, with errno set, when the plan makes this call fail.
bool Planned(int at, int& count) {
    if (at <= 0)
        return false;
    if (++count != at)
        return false;
    errno = t_faults.plan.error;
    return true;
}

}   // namespace

void SetFileFaultPlan(const FileFaultPlan& plan) {
    t_faults = FaultCounts{plan, 0, 0, 0};
}

bool WriteAll(int fd, const void* data, std::size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        if (Planned(t_faults.plan.failWriteAt, t_faults.writes))
            return false;
        const ssize_t n = write(fd, p, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool SyncFile(int fd) {
    if (Planned(t_faults.plan.failSyncAt, t_faults.syncs))
        return false;
    return fsync(fd) == 0;
}

bool RenameFile(const char* from, const char* to) {
    if (Planned(t_faults.plan.failRenameAt, t_faults.renames))
        return false;
    return std::rename(from, to) == 0;
}

}   // namespace corvelle
