// The host's basic suite: hands out registered suite tables by exact name and version.
#pragma once

#include "host/SPBasic.h"

#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace corvelle {

class CallTrace;
struct FaultPlan;

class SuiteRegistry {
public:
    SuiteRegistry(CallTrace& trace, const FaultPlan& faults);

    /// Makes a suite table available under (name, version); the table must outlive the registry.
    void Add(const std::string& name, int version, const void* table);
    bool Has(const std::string& name, int version) const;

    /// Answers the module's AcquireSuite: records the call; refuses unknown pairs and those the
    /// fault plan lists; counts each grant so the balance check can see leaks.
    SPErr Acquire(const char* name, int32 version, const void** suite);
    /// Answers ReleaseSuite: records it and counts it against the grants.
    SPErr Release(const char* name, int32 version);

    /// Suites acquired and not released, or released more often than acquired, since the last
    /// ResetBalance(): one message each, e.g. "\"PF ANSI Suite\" 1 acquired 1 time, released 0 times".
    std::vector<std::string> BalanceProblems() const;
    void ResetBalance();

    /// The table the module receives as pica_basicP; its functions reach this registry through
    /// the command scope set up by Host (C tables carry no user pointer).
    const SPBasicSuite* BasicSuite() const;

private:
    struct Counts {
        int acquired = 0;
        int released = 0;
    };
    CallTrace& m_trace;
    const FaultPlan& m_faults;
    mutable std::mutex m_mutex;
    std::map<std::pair<std::string, int>, const void*> m_tables;
    std::map<std::pair<std::string, int>, Counts> m_counts;
};

}   // namespace corvelle
