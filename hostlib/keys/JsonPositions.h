// JSON read with the place in the text where each name and value starts, so a file's semantic
// faults can be reported at their line and column as its syntax faults are.
#pragma once

#include <nlohmann/json.hpp>

#include <cstddef>
#include <map>
#include <string>

namespace corvelle {

/// "line L, column C" of byte `offset` of `text`, both counted from 1.
std::string LineAndColumn(const std::string& text, std::size_t offset);

struct PositionedJson {
    nlohmann::ordered_json value;
    /// Byte offsets by JSON pointer ("/keys/width/1/value"): where each value starts, and where
    /// the name of each object member starts.
    std::map<std::string, std::size_t> valueAt;
    std::map<std::string, std::size_t> nameAt;
};

/// The pointer of member `name` or element `index` below `parent`.
std::string ChildPointer(const std::string& parent, const std::string& name);
std::string ChildPointer(const std::string& parent, std::size_t index);

/// Parses `text`. Throws Error(BadValue) "line L, column C: why" for malformed JSON and for a
/// name given twice in one object.
PositionedJson ParseWithPositions(const std::string& text);

}   // namespace corvelle
