// Fuzzes the parsers of the command line's values: every number grammar, frame ranges and frame
// patterns. Each must refuse or accept without fault, and agree with the others where they meet.
#include "core/HostError.h"
#include <corvelle/text.h>
#include <corvelle/files.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using namespace corvelle;

[[noreturn]] void Fail(const std::string& why, const std::string& text) {
    std::fprintf(stderr, "corvelle: fuzzing: %s for '%s'\n", why.c_str(), text.c_str());
    std::abort();
}

void CheckNumbers(const std::string& text) {
    double decimal = 0.0;
    const bool isDecimal = ParseDecimal(text, decimal);
    int32_t fixed = 0;
    if (ParseFixed16(text, fixed)) {
        // The exact 16.16 rounding is within half a step of the nearest double.
        if (!isDecimal)
            Fail("a 16.16 number is not a decimal", text);
        if (std::fabs(decimal * 65536.0 - fixed) > 0.5 + 1e-6 * std::fabs(decimal * 65536.0))
            Fail("16.16 and double disagree", text);
    }
    int64_t integer = 0;
    if (ParseInteger(text, INT64_MIN, INT64_MAX, integer) &&
        (!isDecimal || decimal != static_cast<double>(integer)))
        Fail("an integer is not the same decimal", text);
    uint64_t whole = 0;
    if (ParseUnsigned(text, 0, UINT64_MAX, whole) &&
        (!ParseInteger(text, 0, INT64_MAX, integer) || static_cast<uint64_t>(integer) != whole))
        Fail("a whole number is not the same integer", text);
    double ratio = 0.0;
    if (isDecimal && (!ParseDecimalOrRatio(text, ratio) || ratio != decimal))
        Fail("a decimal is not the same ratio", text);
    if (ParseDecimalOrRatio(text, ratio) && !std::isfinite(ratio))
        Fail("a ratio is not finite", text);
}

void CheckFrames(const std::string& text) {
    FrameRange range;
    if (ParseFrameRange(text, range) && (range.first < 0 || range.first > range.last))
        Fail("a frame range runs backwards", text);
    if (!HasFramePattern(text))
        return;
    try {
        CheckFramePattern(text);
    } catch (const HostError&) {
        return;
    }
    const std::string name = FrameName(text, 123);
    if (name.find("123") == std::string::npos)
        Fail("a frame name lacks its number", text);
}

}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    CheckNumbers(text);
    CheckFrames(text);
    return 0;
}
