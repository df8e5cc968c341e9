// Numbers as people type them on a command line or in a file: one grammar for every reader, so
// that no two of them disagree on signs, exponents or surrounding blanks (none are accepted).
#pragma once

#include <corvelle/corvelle.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace corvelle {

/// Decimal digits only (no sign), at most 18 of them, within [min, max]; false otherwise.
CORVELLE_API bool ParseUnsigned(std::string_view text, uint64_t min, uint64_t max, uint64_t& value);

/// "WxH": two ParseUnsigned sides from 1 to `maxSide` around one 'x'; false otherwise.
CORVELLE_API bool ParseSize(std::string_view text, uint64_t maxSide, uint64_t& width, uint64_t& height);

/// An optional sign and decimal digits, within [min, max]; false otherwise.
CORVELLE_API bool ParseInteger(std::string_view text, int64_t min, int64_t max, int64_t& value);

/// [+-]digits[.digits][e[+-]digits] (a point alone needs a digit beside it) as the nearest
/// finite double; no hexadecimal, no inf or nan, no blanks. False otherwise, value untouched.
CORVELLE_API bool ParseDecimal(std::string_view text, double& value);

/// [+-]digits[.digits] in 16.16 fixed point, rounded to nearest with ties away from zero,
/// computed exactly from the digits; false when malformed or outside the 16.16 range.
CORVELLE_API bool ParseFixed16(std::string_view text, int32_t& value);

/// A decimal or a ratio "N/D" of two decimals (D not 0), as the nearest double.
CORVELLE_API bool ParseDecimalOrRatio(std::string_view text, double& value);

/// A colour as RRGGBB in hexadecimal (either case), '#' optional, into red, green and blue;
/// false otherwise, rgb untouched.
CORVELLE_API bool ParseHexRgb(std::string_view text, uint8_t (&rgb)[3]);

/// Shortest decimal text that reads back as the same double.
CORVELLE_API std::string Decimal(double value);
/// Shortest decimal text that reads back as the same float (for the host's single-precision fields).
CORVELLE_API std::string Decimal(float value);

}   // namespace corvelle
