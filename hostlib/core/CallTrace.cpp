// Recording and reading back the module's calls into the host.
#include "core/CallTrace.h"

#include <ostream>

namespace corvelle {

void CallTrace::Record(CallRecord record) {
    if (!Enabled())
        return;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_records.push_back(std::move(record));
}

std::vector<CallRecord> CallTrace::Records() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_records;
}

std::size_t CallTrace::Count(const std::string& function, const std::string& suite) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::size_t n = 0;
    for (const CallRecord& r : m_records) {
        if (r.function == function && (suite.empty() || r.suite == suite)) {
            ++n;
        }
    }
    return n;
}

std::vector<std::string> CallTrace::Functions() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<std::string> names;
    names.reserve(m_records.size());
    for (const CallRecord& r : m_records) {
        names.push_back(r.function);
    }
    return names;
}

void CallTrace::Clear() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_records.clear();
}

void CallTrace::WriteJsonLines(std::ostream& out) const {
    for (const CallRecord& r : Records()) {
        nlohmann::json line = {{"suite", r.suite},
                               {"version", r.version},
                               {"function", r.function},
                               {"args", r.args.is_null() ? nlohmann::json::object() : r.args},
                               {"result", r.result}};
        out << line.dump() << "\n";
    }
}

}   // namespace corvelle
