// The guard every C function the host hands the module runs its body in.
#pragma once

#include "host/AE_Effect.h"

#include <utility>

namespace corvelle {

/// Runs `body` and returns its result; any exception becomes `failure`, since nothing may
/// cross back into the module's C frames.
template <class Result, class Body>
Result GuardedCallback(Result failure, Body&& body) noexcept {
    try {
        return std::forward<Body>(body)();
    } catch (...) {
        return failure;
    }
}

}   // namespace corvelle
