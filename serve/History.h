// Undo and redo over whole preview documents (parameter values and keys), where the edits of
// one gesture (a slider drag, a scrub) make a single step.
#pragma once

#include <corvelle/corvelle.h>
#include <corvelle/keyframes.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace corvelle::serve {

/// One parameter's value with what a setter needs to put it back.
struct StoredValue {
    std::string key;
    ParamType type = ParamType::FloatSlider;
    ParamValue value;
};
using Values = std::vector<StoredValue>;

/// What an undo step puts back: the values that do not vary in time and every key.
struct Document {
    Values values;
    Keyframes keys;
};

class History {
public:
    /// Keeps at most `limit` undo steps; older ones fall off.
    explicit History(std::size_t limit) : m_limit(limit) {}

    /// Records `before`, the document as it was before an edit, as one undo step, and drops the
    /// redo steps. With `group` other than 0, an edit of the group that made the newest step adds
    /// no step of its own: the step already holds the document from before the gesture.
    void Remember(Document before, uint32_t group = 0);
    /// The document to go back to, with `current` kept for Redo; nothing when there is none.
    std::optional<Document> Undo(Document current);
    std::optional<Document> Redo(Document current);
    /// Ends the open group, so its next edit starts a step.
    void EndGroup() { m_group = 0; }

    bool CanUndo() const { return !m_undo.empty(); }
    bool CanRedo() const { return !m_redo.empty(); }
    std::size_t UndoSteps() const { return m_undo.size(); }

private:
    std::size_t m_limit;
    std::deque<Document> m_undo;
    std::vector<Document> m_redo;
    uint32_t m_group = 0;
};

}   // namespace corvelle::serve
