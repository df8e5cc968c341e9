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

/// The course of every callback: a refusal (non-zero) or the fault planned for it stops the call,
/// otherwise `body(args)` serves it (and may add to the recorded arguments); either way the call
/// is recorded with its arguments and result.
template <class Err, class Body>
Err RunRecorded(Host& host, const char* suite, int version, const char* function, nlohmann::json args,
                Err refusal, Body&& body) {
    Err err = refusal;
    if (!err) {
        err = host.InjectedFault(function);
    }
    if (!err) {
        err = body(args);
    }
    host.RecordCall(suite, version, function, std::move(args), err);
    return err;
}

/// One PF_Err callback of the active host: refused outside a command and where
/// `refuse(host)` says so, then run and recorded as RunRecorded does with `body(host, args)`.
template <class Refuse, class Body>
PF_Err ServeHostCall(const char* suite, int version, const char* function, nlohmann::json args,
                     Refuse&& refuse, Body&& body) noexcept {
    return GuardedCallback<PF_Err>(PF_Err_INTERNAL_STRUCT_DAMAGED, [&]() -> PF_Err {
        Host* host = Host::Active();
        if (!host) {
            return PF_Err_INVALID_CALLBACK;
        }
        return RunRecorded<PF_Err>(*host, suite, version, function, std::move(args), refuse(*host),
                                   [&](nlohmann::json& recorded) { return body(*host, recorded); });
    });
}

template <class Body>
PF_Err ServeHostCall(const char* suite, int version, const char* function, nlohmann::json args,
                     Body&& body) noexcept {
    return ServeHostCall(
        suite, version, function, std::move(args), [](const Host&) { return PF_Err_NONE; },
        std::forward<Body>(body));
}

}   // namespace corvelle
