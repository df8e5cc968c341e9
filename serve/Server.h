// `corvelle serve`: serves the preview page and its WebSocket until Ctrl+C.
#pragma once

#include "Preview.h"

#include <iosfwd>
#include <string>

namespace corvelle::serve {

/// The port tried first when none is given; a free one is taken when it is busy.
constexpr unsigned short kDefaultPort = 8754;

struct ServerConfig {
    PreviewConfig preview;
    std::string listenAddress;   // empty: loopback only
    int port = -1;               // -1: kDefaultPort or a free one; 0: a free one
    bool openBrowser = false;
};

/// Loads the preview, listens, prints "Preview at <url>" on `out` and serves until SIGINT or
/// SIGTERM; refusals and malformed messages are logged on `log`. Throws Error when the preview
/// cannot start or the address cannot be bound.
void RunServer(const ServerConfig& config, std::ostream& out, std::ostream& log);

}   // namespace corvelle::serve
