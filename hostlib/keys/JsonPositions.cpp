// Positions come from an input iterator that counts what the parser has consumed; at each event
// of the parser's callback the value just begun lies after the separators and blanks since the
// previous event.
#include "keys/JsonPositions.h"

#include "core/HostError.h"

#include <iterator>
#include <vector>

namespace corvelle {
namespace {

/// Reads chars and tells `consumed` how many have been taken.
class CountingIterator {
public:
    using iterator_category = std::input_iterator_tag;
    using value_type = char;
    using difference_type = std::ptrdiff_t;
    using pointer = const char*;
    using reference = const char&;

    CountingIterator(const char* at, const char* begin, std::size_t* consumed)
        : m_at(at), m_begin(begin), m_consumed(consumed) {}
    reference operator*() const { return *m_at; }
    CountingIterator& operator++() {
        ++m_at;
        *m_consumed = static_cast<std::size_t>(m_at - m_begin);
        return *this;
    }
    CountingIterator operator++(int) {
        CountingIterator before = *this;
        ++*this;
        return before;
    }
    bool operator==(const CountingIterator& other) const { return m_at == other.m_at; }
    bool operator!=(const CountingIterator& other) const { return m_at != other.m_at; }

private:
    const char* m_at;
    const char* m_begin;
    std::size_t* m_consumed;
};

std::string Escaped(const std::string& token) {
    std::string out;
    for (char c : token) {
        out += c == '~' ? std::string("~0") : c == '/' ? std::string("~1") : std::string(1, c);
    }
    return out;
}

struct Container {
    std::string pointer;
    bool array = false;
    std::size_t nextIndex = 0;
    std::string member;   // the name just read, in an object
    std::vector<std::string> names;
};

class PositionRecorder {
public:
    PositionRecorder(const std::string& text, PositionedJson& out) : m_text(text), m_out(out) {}

    std::size_t* Consumed() { return &m_consumed; }

    bool operator()(int, nlohmann::ordered_json::parse_event_t event, nlohmann::ordered_json& parsed) {
        using Event = nlohmann::ordered_json::parse_event_t;
        const std::size_t start = TokenStart();
        switch (event) {
        case Event::object_start:
        case Event::array_start:
            m_open.push_back(Container{Begin(start), event == Event::array_start, 0, {}, {}});
            break;
        case Event::key: {
            Container& object = m_open.back();
            object.member = parsed.get<std::string>();
            for (const std::string& name : object.names) {
                if (name == object.member) {
                    throw HostError(LineAndColumn(m_text, start) + ": \"" + object.member +
                                        "\" is given twice in one object",
                                    ErrorKind::BadValue);
                }
            }
            object.names.push_back(object.member);
            m_out.nameAt[ChildPointer(object.pointer, object.member)] = start;
            break;
        }
        case Event::value: Begin(start); break;
        case Event::object_end:
        case Event::array_end: m_open.pop_back(); break;
        }
        m_last = m_consumed;
        return true;
    }

private:
    /// After the previous event only blanks and separators come before the next token (a number's
    /// end is found by reading one character past it, which is a blank or a separator).
    std::size_t TokenStart() const {
        std::size_t at = m_last;
        while (at < m_text.size() && (m_text[at] == ' ' || m_text[at] == '\t' || m_text[at] == '\n' ||
                                      m_text[at] == '\r' || m_text[at] == ',' || m_text[at] == ':')) {
            ++at;
        }
        return at;
    }

    /// Records where the value at the current place starts and returns its pointer.
    std::string Begin(std::size_t start) {
        std::string pointer;
        if (!m_open.empty()) {
            Container& parent = m_open.back();
            pointer = parent.array ? ChildPointer(parent.pointer, parent.nextIndex++)
                                   : ChildPointer(parent.pointer, parent.member);
        }
        m_out.valueAt[pointer] = start;
        return pointer;
    }

    const std::string& m_text;
    PositionedJson& m_out;
    std::size_t m_consumed = 0;
    std::size_t m_last = 0;
    std::vector<Container> m_open;
};

/// nlohmann's "parse error at line 1, column 5: syntax error ..." without its own place.
std::string ParseErrorReason(const std::string& what) {
    const std::size_t column = what.find("column ");
    const std::size_t colon = column == std::string::npos ? std::string::npos : what.find(": ", column);
    return colon == std::string::npos ? what : what.substr(colon + 2);
}

}   // namespace

std::string LineAndColumn(const std::string& text, std::size_t offset) {
    std::size_t line = 1;
    std::size_t lineStart = 0;
    for (std::size_t i = 0; i < offset && i < text.size(); ++i) {
        if (text[i] == '\n') {
            ++line;
            lineStart = i + 1;
        }
    }
    return "line " + std::to_string(line) + ", column " + std::to_string(offset - lineStart + 1);
}

std::string ChildPointer(const std::string& parent, const std::string& name) {
    return parent + "/" + Escaped(name);
}

std::string ChildPointer(const std::string& parent, std::size_t index) {
    return parent + "/" + std::to_string(index);
}

PositionedJson ParseWithPositions(const std::string& text) {
    PositionedJson out;
    PositionRecorder recorder(text, out);
    const char* begin = text.data();
    CountingIterator first(begin, begin, recorder.Consumed());
    CountingIterator last(begin + text.size(), begin, recorder.Consumed());
    try {
        out.value = nlohmann::ordered_json::parse(
            first, last,
            [&recorder](int depth, nlohmann::ordered_json::parse_event_t event,
                        nlohmann::ordered_json& parsed) { return recorder(depth, event, parsed); });
    } catch (const nlohmann::ordered_json::parse_error& e) {
        // `byte` counts from 1 and names the last character read.
        const std::size_t offset = e.byte > 0 ? e.byte - 1 : 0;
        throw HostError(
            LineAndColumn(text, std::min(offset, text.size())) + ": " + ParseErrorReason(e.what()),
            ErrorKind::BadValue);
    } catch (const nlohmann::ordered_json::exception& e) {
        // A number too large for a double: the reader has just passed it.
        const std::string what = e.what();
        const std::size_t bracket = what.find("] ");
        throw HostError(LineAndColumn(text, *recorder.Consumed()) + ": " +
                            (bracket == std::string::npos ? what : what.substr(bracket + 2)),
                        ErrorKind::BadValue);
    }
    return out;
}

}   // namespace corvelle
