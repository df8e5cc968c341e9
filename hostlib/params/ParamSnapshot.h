// The effect's parameter values as `corvelle drag` reports them.
#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace corvelle {

class Host;

/// The current values, found by persistent id, in the order shape, origin, width, height,
/// angle, feather, fill, color, opacity, blend, invert, mask_only, falloff: popups as their
/// choice numbers, origin as [x, y] layer pixels, angle in degrees and opacity in percent (each
/// 16.16 value / 65536), color as "#rrggbb", checkboxes as booleans. Throws HostError when
/// the module registers one of them under another type or not at all.
nlohmann::ordered_json ParamSnapshot(Host& host);

/// The names whose values differ between two snapshots, in snapshot order.
std::vector<std::string> ChangedParams(const nlohmann::ordered_json& before,
                                       const nlohmann::ordered_json& after);

}   // namespace corvelle
