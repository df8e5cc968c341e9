// What the command does when it is interrupted.
#pragma once

namespace corvelle {

/// On SIGINT, SIGTERM or SIGHUP (unless the parent ignores it), removes the temporary file being
/// written and exits with 128 + the signal (130, 143, 129). SIGPIPE keeps whatever disposition
/// the command was started with: by default a vanished reader ends the run silently, as it
/// ends any filter; where it is ignored the failed write is reported and the exit status is 1.
void InstallInterruptHandlers();

}   // namespace corvelle
