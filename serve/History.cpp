// The preview's undo and redo stacks.
#include "History.h"

#include <utility>

namespace corvelle::serve {

void History::Remember(Document before, uint32_t group) {
    const bool sameGesture = group != 0 && group == m_group && !m_undo.empty();
    m_group = group;
    m_redo.clear();
    if (sameGesture) {
        return;
    }
    m_undo.push_back(std::move(before));
    if (m_undo.size() > m_limit) {
        m_undo.pop_front();
    }
}

std::optional<Document> History::Undo(Document current) {
    m_group = 0;
    if (m_undo.empty()) {
        return std::nullopt;
    }
    Document back = std::move(m_undo.back());
    m_undo.pop_back();
    m_redo.push_back(std::move(current));
    return back;
}

std::optional<Document> History::Redo(Document current) {
    m_group = 0;
    if (m_redo.empty()) {
        return std::nullopt;
    }
    Document forward = std::move(m_redo.back());
    m_redo.pop_back();
    m_undo.push_back(std::move(current));
    return forward;
}

}   // namespace corvelle::serve
