// The host's few file system calls that can lose data, each checked in one place: the write-all
// loop, fsync and rename, with a seam through which tests make any one of them fail.
#pragma once

#include <cerrno>
#include <cstddef>

namespace corvelle {

/// Writes all `size` bytes to `fd`, resuming after short writes and EINTR. False with errno set
/// when a write fails.
bool WriteAll(int fd, const void* data, std::size_t size);
/// fsync, with the seam.
bool SyncFile(int fd);
/// rename, with the seam.
bool RenameFile(const char* from, const char* to);

/// Which call of each kind fails, counted from 1 since the plan was set (0 = none), and the
/// errno it fails with. Tests only; the plan belongs to the calling thread.
struct FileFaultPlan {
    int failWriteAt = 0;
    int failSyncAt = 0;
    int failRenameAt = 0;
    int error = ENOSPC;
};
void SetFileFaultPlan(const FileFaultPlan& plan);

}   // namespace corvelle
