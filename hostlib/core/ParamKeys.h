// The one table of the effect's parameters as the host names them: persistent id and short key.
#pragma once

#include "host/AE_Effect.h"

#include <string>

namespace corvelle {

struct ParamKey {
    A_long id;
    const char* key;
};

/// In the order the host reports values: shape, origin, ..., falloff.
constexpr ParamKey kParamKeys[] = {
    {14, "shape"},  {1, "origin"},    {2, "width"},    {3, "height"},  {13, "angle"},
    {4, "feather"}, {15, "fill"},     {12, "color"},   {5, "opacity"}, {7, "blend"},
    {8, "invert"},  {9, "mask_only"}, {16, "falloff"},
};

/// The key of a persistent id, or "" when the host has no name for it.
std::string KeyOfId(A_long id);
/// The persistent id of a key, or 0.
A_long IdOfKey(const std::string& key);

}   // namespace corvelle
