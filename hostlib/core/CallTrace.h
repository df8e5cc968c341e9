// The host's record of every call the module makes into it, in order.
#pragma once

#include <nlohmann/json.hpp>

#include <atomic>
#include <cstddef>
#include <iosfwd>
#include <mutex>
#include <string>
#include <vector>

namespace corvelle {

/// One call from the module into the host.
struct CallRecord {
    std::string suite;      // registered suite name; empty for PF_InData and event callbacks
    int version = 0;        // suite version; 0 for callbacks
    std::string function;   // "AcquireSuite", "ReleaseSuite", "add_param", "MoveTo", ...
    nlohmann::json args;    // the arguments as the module passed them (an object)
    long result = 0;        // what the host returned (PF_Err or SPErr), 0 when nothing
};

/// Thread-safe, append-only during a command; read back by tests and `--trace`. A host made for
/// a front-end records nothing unless asked (SetEnabled), so a long run's memory stays flat.
class CallTrace {
public:
    /// Appends the record while recording is on; otherwise does nothing.
    void Record(CallRecord record);
    bool Enabled() const { return m_enabled.load(std::memory_order_relaxed); }
    void SetEnabled(bool enabled) { m_enabled.store(enabled, std::memory_order_relaxed); }
    std::vector<CallRecord> Records() const;
    /// How many recorded calls have this function name (and suite, when given).
    std::size_t Count(const std::string& function, const std::string& suite = {}) const;
    /// Function names in call order, e.g. {"AcquireSuite", "sprintf", "ReleaseSuite"}.
    std::vector<std::string> Functions() const;
    void Clear();
    /// One JSON object a line: {"suite", "version", "function", "args", "result"}.
    void WriteJsonLines(std::ostream& out) const;

private:
    std::atomic<bool> m_enabled{true};
    mutable std::mutex m_mutex;
    std::vector<CallRecord> m_records;
};

}   // namespace corvelle
