// The host's basic suite: hands out registered suite tables by exact name and version.
#include "core/SuiteRegistry.h"

#include "core/CallTrace.h"
#include "core/FaultPlan.h"
#include "core/Host.h"
#include "core/HostCallback.h"

namespace corvelle {

namespace {

std::string Times(int n) {
    return std::to_string(n) + (n == 1 ? " time" : " times");
}

SPErr BasicAcquireSuite(const char* name, int32 version, const void** suite) {
    return GuardedCallback<SPErr>(kSPSuiteNotFoundError, [&]() -> SPErr {
        Host* host = Host::Active();
        if (!host) {
            if (suite) {
                *suite = nullptr;
            }
            return kSPSuiteNotFoundError;
        }
        return host->Suites().Acquire(name, version, suite);
    });
}

SPErr BasicReleaseSuite(const char* name, int32 version) {
    return GuardedCallback<SPErr>(kSPSuiteNotFoundError, [&]() -> SPErr {
        Host* host = Host::Active();
        return host ? host->Suites().Release(name, version) : kSPSuiteNotFoundError;
    });
}

constexpr SPBasicSuite kBasicSuite{BasicAcquireSuite, BasicReleaseSuite};

}   // namespace

SuiteRegistry::SuiteRegistry(CallTrace& trace, const FaultPlan& faults) : m_trace(trace), m_faults(faults) {}

void SuiteRegistry::Add(const std::string& name, int version, const void* table) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_tables[{name, version}] = table;
}

bool SuiteRegistry::Has(const std::string& name, int version) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_tables.count({name, version}) != 0;
}

SPErr SuiteRegistry::Acquire(const char* name, int32 version, const void** suite) {
    const std::string key = name ? name : "";
    SPErr err = kSPNoError;
    const void* table = nullptr;
    Host* host = Host::Active();
    const PF_Err injected = host ? host->InjectedFault("AcquireSuite") : PF_Err_NONE;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto found = m_tables.find({key, version});
        const bool refusedNow =
            !m_faults.refuseOnlyDuring || (host && host->RunningCommand() == m_faults.refuseOnlyDuring);
        if (!name || !suite || found == m_tables.end() ||
            (refusedNow && m_faults.refusedSuites.count({key, version}) != 0)) {
            err = kSPSuiteNotFoundError;
        } else if (injected) {
            err = injected;
        } else {
            table = found->second;
            ++m_counts[{key, version}].acquired;
        }
    }
    // A refusal hands back null, so a caller that ignores the code still sees no table.
    if (suite) {
        *suite = table;
    }
    // Checked here: the record's arguments cost more to build than the lookup itself.
    if (m_trace.Enabled()) {
        m_trace.Record({key, version, "AcquireSuite", {{"name", key}, {"version", version}}, err});
    }
    return err;
}

SPErr SuiteRegistry::Release(const char* name, int32 version) {
    const std::string key = name ? name : "";
    SPErr err = kSPNoError;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        // Counted even when unknown: a release without an acquisition is a balance fault.
        ++m_counts[{key, version}].released;
        if (!name || m_tables.count({key, version}) == 0) {
            err = kSPSuiteNotFoundError;
        }
    }
    if (m_trace.Enabled()) {
        m_trace.Record({key, version, "ReleaseSuite", {{"name", key}, {"version", version}}, err});
    }
    return err;
}

std::vector<std::string> SuiteRegistry::BalanceProblems() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<std::string> problems;
    for (const auto& [suite, counts] : m_counts) {
        if (counts.acquired != counts.released) {
            problems.push_back("\"" + suite.first + "\" " + std::to_string(suite.second) + " acquired " +
                               Times(counts.acquired) + ", released " + Times(counts.released));
        }
    }
    return problems;
}

void SuiteRegistry::ResetBalance() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_counts.clear();
}

const SPBasicSuite* SuiteRegistry::BasicSuite() const {
    return &kBasicSuite;
}

}   // namespace corvelle
