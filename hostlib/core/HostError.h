// The error every part of the host library throws: the public Error, made where the host sees
// the failure.
#pragma once

#include <corvelle/corvelle.h>

#include <string>

namespace corvelle {

/// `what()` reads "what failed: why"; the kind says which family of failure it is.
class HostError : public Error {
public:
    explicit HostError(const std::string& message, ErrorKind kind = ErrorKind::Host, int moduleCode = 0)
        : Error(message, kind, moduleCode) {}
};

}   // namespace corvelle
