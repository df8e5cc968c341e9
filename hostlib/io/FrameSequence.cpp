// Frame patterns are parsed here rather than handed to printf, so a name can never become a
// format string with other conversions.
#include <corvelle/files.h>

#include "core/HostError.h"
#include <corvelle/text.h>

namespace corvelle {
namespace {

constexpr long kMaxFrame = 999999999;

struct Conversion {
    std::size_t begin = 0;   // the '%'
    std::size_t end = 0;     // one past the 'd'
    bool zeroPad = false;
    unsigned width = 0;
};

/// Parses the conversion starting at pattern[begin] == '%'; false when it is not %[0][width]d.
bool ParseConversion(const std::string& pattern, std::size_t begin, Conversion& c) {
    std::size_t i = begin + 1;
    c.begin = begin;
    c.zeroPad = i < pattern.size() && pattern[i] == '0';
    if (c.zeroPad)
        ++i;
    std::size_t digits = 0;
    c.width = 0;
    for (; i < pattern.size() && pattern[i] >= '0' && pattern[i] <= '9'; ++i, ++digits) {
        c.width = (c.width * 10) + static_cast<unsigned>(pattern[i] - '0');
    }
    if (digits > 1 || i >= pattern.size() || pattern[i] != 'd')
        return false;
    c.end = i + 1;
    return true;
}

bool ParseNumber(const std::string& text, long& value) {
    uint64_t v = 0;
    if (!ParseUnsigned(text, 0, kMaxFrame, v))
        return false;
    value = static_cast<long>(v);
    return true;
}

}   // namespace

bool HasFramePattern(const std::string& path) {
    return path.find('%') != std::string::npos;
}

void CheckFramePattern(const std::string& pattern) {
    const std::size_t first = pattern.find('%');
    Conversion c;
    if (first == std::string::npos || !ParseConversion(pattern, first, c)) {
        throw HostError("frame pattern " + pattern + ": needs one frame number conversion such as %d or %04d",
                        ErrorKind::BadValue);
    }
    if (pattern.find('%', c.end) != std::string::npos) {
        throw HostError("frame pattern " + pattern + ": holds more than one '%'", ErrorKind::BadValue);
    }
}

std::string FrameName(const std::string& pattern, long frame) {
    CheckFramePattern(pattern);
    Conversion c;
    ParseConversion(pattern, pattern.find('%'), c);
    std::string number = std::to_string(frame);
    if (number.size() < c.width)
        number.insert(0, c.width - number.size(), c.zeroPad ? '0' : ' ');
    return pattern.substr(0, c.begin) + number + pattern.substr(c.end);
}

bool ParseFrameRange(const std::string& text, FrameRange& range) {
    const std::size_t dash = text.find('-');
    FrameRange r;
    if (dash == std::string::npos) {
        if (!ParseNumber(text, r.first))
            return false;
        r.last = r.first;
    } else if (!ParseNumber(text.substr(0, dash), r.first) || !ParseNumber(text.substr(dash + 1), r.last)) {
        return false;
    }
    if (r.first > r.last || r.last > kMaxFrame)
        return false;
    range = r;
    return true;
}

}   // namespace corvelle
