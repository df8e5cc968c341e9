// What a host shows of a loaded module: its version word, flags and parameter table, as JSON.
#pragma once

#include "core/Host.h"

#include <nlohmann/json.hpp>

#include <string>

namespace corvelle {

/// The version word decoded: {"word", "major", "minor", "fix", "stage", "build", "text"}.
nlohmann::json DescribeVersion(A_u_long word);

/// An out-flag word: {"value", "names"}; bits without a name read "bit N".
nlohmann::json DescribeOutFlags(PF_OutFlags flags);

/// The editor pixel formats in the order declared: [{"code", "name"}].
nlohmann::json DescribePixelFormats(const std::vector<PrPixelFormat>& formats);

/// The parameter table after Parameters setup, one object per index from 0, with the control's
/// name and disabled state as the last UI update left them.
nlohmann::json DescribeParams(Host& host);

/// Shortest decimal text that reads back as the same double.
std::string Decimal(double value);
/// Shortest decimal text that reads back as the same float (for the host's single-precision fields).
std::string Decimal(float value);

}   // namespace corvelle
