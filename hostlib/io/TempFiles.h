// The temporary files a run has open, so an interrupted run can remove them from its signal
// handler without touching anything but these names.
#pragma once

namespace corvelle {

/// Remembers `path` (copied; at most 4095 bytes) until Forget; false when no slot is free or
/// the name is too long, in which case the file is simply not removed on a signal.
bool RememberTempFile(const char* path);
void ForgetTempFile(const char* path);
/// Unlinks every remembered file. Async-signal-safe.
void RemoveTempFilesNow();

}   // namespace corvelle
