// The one number grammar of the host and its front-ends.
#include <corvelle/text.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>
#include <system_error>
#include <vector>

namespace corvelle {
namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

/// Length of the run of digits at text[from...].
std::size_t Digits(std::string_view text, std::size_t from) {
    std::size_t i = from;
    while (i < text.size() && IsDigit(text[i]))
        ++i;
    return i - from;
}

bool HasSign(std::string_view text) {
    return !text.empty() && (text[0] == '+' || text[0] == '-');
}

}   // namespace

bool ParseUnsigned(std::string_view text, uint64_t min, uint64_t max, uint64_t& value) {
    if (text.empty() || text.size() > 18 || Digits(text, 0) != text.size())
        return false;
    uint64_t v = 0;
    for (char c : text)
        v = (v * 10) + static_cast<uint64_t>(c - '0');
    if (v < min || v > max)
        return false;
    value = v;
    return true;
}

bool ParseInteger(std::string_view text, int64_t min, int64_t max, int64_t& value) {
    const bool negative = !text.empty() && text[0] == '-';
    uint64_t magnitude = 0;
    if (!ParseUnsigned(HasSign(text) ? text.substr(1) : text, 0, uint64_t{1} << 62, magnitude))
        return false;
    const int64_t v = negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
    if (v < min || v > max)
        return false;
    value = v;
    return true;
}

bool ParseDecimal(std::string_view text, double& value) {
    std::size_t i = HasSign(text) ? 1 : 0;
    const std::size_t whole = Digits(text, i);
    i += whole;
    std::size_t fraction = 0;
    if (i < text.size() && text[i] == '.') {
        fraction = Digits(text, i + 1);
        i += 1 + fraction;
    }
    if (whole + fraction == 0)
        return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            ++i;
        const std::size_t exponent = Digits(text, i);
        if (exponent == 0)
            return false;
        i += exponent;
    }
    if (i != text.size())
        return false;
    // from_chars takes no '+', and reads the rest in the C locale whatever the process's is.
    const std::string_view unsigned_ = text[0] == '+' ? text.substr(1) : text;
    double v = 0.0;
    const auto [end, error] = std::from_chars(unsigned_.data(), unsigned_.data() + unsigned_.size(), v);
    if (error != std::errc() || end != unsigned_.data() + unsigned_.size() || !std::isfinite(v))
        return false;
    value = v;
    return true;
}

bool ParseFixed16(std::string_view text, int32_t& value) {
    // Exact from the digits, so a tie is a tie even where the decimal has no double.
    const std::size_t n = text.size();
    std::size_t i = 0;
    const bool negative = HasSign(text) && text[0] == '-';
    if (HasSign(text))
        ++i;
    uint64_t whole = 0;
    std::size_t wholeDigits = 0;
    for (; i < n && IsDigit(text[i]); ++i, ++wholeDigits) {
        whole = (whole * 10) + static_cast<uint64_t>(text[i] - '0');
        if (whole > 32768)
            return false;
    }
    std::vector<unsigned> fraction;
    if (i < n && text[i] == '.') {
        for (++i; i < n && IsDigit(text[i]); ++i)
            fraction.push_back(static_cast<unsigned>(text[i] - '0'));
    }
    if (i != n || (wholeDigits == 0 && fraction.empty()))
        return false;

    // Multiply the decimal fraction by 65536 digit by digit; what carries out is whole units.
    unsigned carry = 0;
    for (std::size_t k = fraction.size(); k-- > 0;) {
        const unsigned t = (fraction[k] * 65536u) + carry;
        fraction[k] = t % 10u;
        carry = t / 10u;
    }
    uint64_t scaled = (whole * 65536u) + carry;
    if (!fraction.empty() && fraction[0] >= 5)
        ++scaled;   // half or more: away from zero

    if (scaled > (negative ? 2147483648ULL : 2147483647ULL))
        return false;
    value = static_cast<int32_t>(negative ? -static_cast<int64_t>(scaled) : static_cast<int64_t>(scaled));
    return true;
}

bool ParseDecimalOrRatio(std::string_view text, double& value) {
    const std::size_t slash = text.find('/');
    if (slash == std::string_view::npos)
        return ParseDecimal(text, value);
    double num = 0.0;
    double den = 0.0;
    if (!ParseDecimal(text.substr(0, slash), num) || !ParseDecimal(text.substr(slash + 1), den) || den == 0.0)
        return false;
    const double v = num / den;
    if (!std::isfinite(v))
        return false;
    value = v;
    return true;
}

bool ParseSize(std::string_view text, uint64_t maxSide, uint64_t& width, uint64_t& height) {
    const std::size_t x = text.find('x');
    uint64_t w = 0;
    uint64_t h = 0;
    if (x == std::string_view::npos || !ParseUnsigned(text.substr(0, x), 1, maxSide, w) ||
        !ParseUnsigned(text.substr(x + 1), 1, maxSide, h)) {
        return false;
    }
    width = w;
    height = h;
    return true;
}

bool ParseHexRgb(std::string_view text, uint8_t (&rgb)[3]) {
    if (!text.empty() && text[0] == '#') {
        text.remove_prefix(1);
    }
    if (text.size() != 6) {
        return false;
    }
    uint8_t channels[3] = {};
    for (std::size_t i = 0; i < 3; ++i) {
        unsigned v = 0;
        const char* begin = text.data() + (2 * i);
        const auto [end, err] = std::from_chars(begin, begin + 2, v, 16);
        if (err != std::errc() || end != begin + 2) {
            return false;
        }
        channels[i] = static_cast<uint8_t>(v);
    }
    std::copy(channels, channels + 3, rgb);
    return true;
}

std::string Decimal(double value) {
    char text[40];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    return std::string(text, end);
}

std::string Decimal(float value) {
    char text[40];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    return std::string(text, end);
}

}   // namespace corvelle
