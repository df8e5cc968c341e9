// The guard every C function the host hands the module runs its body in.
#pragma once

#include "core/Host.h"
#include "host/AE_Effect.h"

#include <nlohmann/json.hpp>

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

/// One PF_Err callback of the host: refused outside a command, counted against the fault plan,
/// served by `body(host, args)` when no fault is planned (it may add to the recorded arguments),
/// and recorded with its arguments and result.
template <class Body>
PF_Err ServeHostCall(const char* suite, int version, const char* function, nlohmann::json args,
                     Body&& body) noexcept {
    return GuardedCallback<PF_Err>(PF_Err_INTERNAL_STRUCT_DAMAGED, [&]() -> PF_Err {
        Host* host = Host::Active();
        if (!host) {
            return PF_Err_INVALID_CALLBACK;
        }
        PF_Err err = host->InjectedFault(function);
        if (!err) {
            err = body(*host, args);
        }
        host->RecordCall(suite, version, function, std::move(args), err);
        return err;
    });
}

}   // namespace corvelle
