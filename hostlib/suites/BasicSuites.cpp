// The host's general suites and PF_InData callbacks: ANSI text and maths, parameter UI updates,
// parameter registration.
#include "suites/BasicSuites.h"

#include "core/Host.h"
#include "core/HostCallback.h"
#include "suites/RenderSuites.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <limits>

namespace corvelle {

namespace {

constexpr const char* kNoSuite = "";

/// vsprintf, bounded when the buffer is the command's return_msg (the one size the host knows).
A_long FormatInto(const char* suite, int version, A_char* buffer, const A_char* format, va_list args) {
    return GuardedCallback<A_long>(-1, [&]() -> A_long {
        Host* host = Host::Active();
        if (!buffer || !format) {
            return -1;
        }
        if (host && host->InjectedFault("sprintf")) {
            host->RecordCall(suite, version, "sprintf", {{"format", format}}, -1);
            return -1;
        }
        const std::size_t room = host ? host->ReturnMsgRoom(buffer) : 0;
        A_long written = 0;
        if (room > 0) {
            const int wanted = std::vsnprintf(buffer, room, format, args);
            written = wanted < 0 ? wanted : static_cast<A_long>(std::strlen(buffer));
        } else {
            written = std::vsprintf(buffer, format, args);
        }
        if (host) {
            host->RecordCall(suite, version, "sprintf",
                             {{"format", format}, {"text", written >= 0 ? buffer : ""}}, written);
        }
        return written;
    });
}

A_long UtilSprintf(A_char* buffer, const A_char* format, ...) {
    va_list args;
    va_start(args, format);
    const A_long written = FormatInto(kNoSuite, 0, buffer, format, args);
    va_end(args);
    return written;
}

A_long AnsiSuiteSprintf(A_char* buffer, const A_char* format, ...) {
    va_list args;
    va_start(args, format);
    const A_long written = FormatInto(kPFANSISuite, kPFANSISuiteVersion1, buffer, format, args);
    va_end(args);
    return written;
}

A_char* CopyText(const char* suite, int version, A_char* dst, const A_char* src) {
    return GuardedCallback<A_char*>(nullptr, [&]() -> A_char* {
        Host* host = Host::Active();
        if (!dst || !src) {
            return nullptr;
        }
        // The record's arguments are built only for a trace: they cost more than the copy.
        const bool traced = host && host->Trace().Enabled();
        if (host && host->InjectedFault("strcpy")) {
            if (traced) {
                host->RecordCall(suite, version, "strcpy", {{"src", src}}, -1);
            }
            return nullptr;
        }
        std::strcpy(dst, src);
        if (traced) {
            host->RecordCall(suite, version, "strcpy", {{"src", src}}, 0);
        }
        return dst;
    });
}

A_char* UtilStrcpy(A_char* dst, const A_char* src) {
    return CopyText(kNoSuite, 0, dst, src);
}
A_char* AnsiSuiteStrcpy(A_char* dst, const A_char* src) {
    return CopyText(kPFANSISuite, kPFANSISuiteVersion1, dst, src);
}

double Maths(const char* function, double x, double (*math)(double)) {
    return GuardedCallback<double>(std::numeric_limits<double>::quiet_NaN(), [&]() -> double {
        const double y = math(x);
        Host* host = Host::Active();
        if (host && host->Trace().Enabled()) {
            host->RecordCall(kPFANSISuite, kPFANSISuiteVersion1, function, {{"x", x}, {"value", y}}, 0);
        }
        return y;
    });
}

double AnsiCos(double x) {
    return Maths("cos", x, [](double v) { return std::cos(v); });
}
double AnsiSin(double x) {
    return Maths("sin", x, [](double v) { return std::sin(v); });
}
double AnsiFabs(double x) {
    return Maths("fabs", x, [](double v) { return std::fabs(v); });
}

PF_Err UtilCopy(PF_ProgPtr effect_ref, PF_EffectWorld* src, PF_EffectWorld* dst, PF_Rect* src_r,
                PF_Rect* dst_r) {
    return ServeHostCall(kNoSuite, 0, "copy", {{"src_r", src_r != nullptr}, {"dst_r", dst_r != nullptr}},
                         [&](Host& host, nlohmann::json&) {
                             return effect_ref == host.EffectRef() ? CopyWorld(&host, src, dst, src_r, dst_r)
                                                                   : PF_Err_BAD_CALLBACK_PARAM;
                         });
}

/// The fields a reader of the trace looks for; the id only where it is one (at registration).
nlohmann::json DescribeParam(PF_ParamIndex index, const PF_ParamDef* def, bool withId) {
    if (!def) {
        return {{"index", index}};
    }
    const std::string name(def->name, strnlen(def->name, sizeof def->name));
    nlohmann::json args{{"index", index},
                        {"param_type", def->param_type},
                        {"name", name},
                        {"flags", def->flags},
                        {"ui_flags", def->ui_flags}};
    if (withId) {
        args["id"] = def->uu.id;
    }
    return args;
}

// Describing a parameter costs more than serving its call, and only a trace reads it.
nlohmann::json DescribeParamIfTraced(PF_ParamIndex index, const PF_ParamDef* def, bool withId) {
    const Host* host = Host::Active();
    return host != nullptr && host->Trace().Enabled() ? DescribeParam(index, def, withId)
                                                      : nlohmann::json::object();
}

PF_Err AddParam(PF_ProgPtr effect_ref, PF_ParamIndex index, PF_ParamDefPtr def) {
    return ServeHostCall(kNoSuite, 0, "add_param", DescribeParamIfTraced(index, def, true),
                         [&](Host& host, nlohmann::json&) { return host.AddParam(effect_ref, index, def); });
}

PF_Err RegisterUI(PF_ProgPtr effect_ref, PF_CustomUIInfo* info) {
    return ServeHostCall(kNoSuite, 0, "register_ui",
                         info ? nlohmann::json{{"events", info->events}} : nlohmann::json::object(),
                         [&](Host& host, nlohmann::json&) { return host.RegisterUI(effect_ref, info); });
}

PF_Err UpdateParamUI(PF_ProgPtr effect_ref, PF_ParamIndex index, const PF_ParamDef* def) {
    return ServeHostCall(kPFParamUtilsSuite, kPFParamUtilsSuiteVersion3, "PF_UpdateParamUI",
                         DescribeParamIfTraced(index, def, false), [&](Host& host, nlohmann::json&) {
                             return host.UpdateParamUI(effect_ref, index, def);
                         });
}

constexpr PF_ANSICallbacksSuite1 kAnsiSuite{AnsiCos, AnsiSin, AnsiFabs, AnsiSuiteSprintf, AnsiSuiteStrcpy};
constexpr PF_ParamUtilsSuite3 kParamUtilsSuite{UpdateParamUI};

}   // namespace

void RegisterBasicSuites(SuiteRegistry& suites) {
    suites.Add(kPFANSISuite, kPFANSISuiteVersion1, &kAnsiSuite);
    suites.Add(kPFParamUtilsSuite, kPFParamUtilsSuiteVersion3, &kParamUtilsSuite);
}

PF_UtilCallbacks UtilCallbacks() {
    PF_UtilCallbacks utils{};
    utils.copy = UtilCopy;
    utils.ansi.sprintf = UtilSprintf;
    utils.ansi.strcpy = UtilStrcpy;
    return utils;
}

PF_InteractCallbacks InteractCallbacks() {
    return PF_InteractCallbacks{AddParam, RegisterUI};
}

}   // namespace corvelle
