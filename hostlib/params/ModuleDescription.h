// What a host shows of a loaded module: its version word, flags and parameter table, as JSON.
#pragma once

#include "core/Host.h"

#include <corvelle/text.h>

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

}   // namespace corvelle
