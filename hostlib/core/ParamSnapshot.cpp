// Reads the parameters by persistent id, so the host needs none of the module's headers.
#include "core/ParamSnapshot.h"

#include "core/Host.h"
#include "core/HostError.h"

#include <cstdio>

namespace corvelle {
namespace {

constexpr double kFixedOne = 65536.0;

double FromFixed(PF_Fixed v) {
    return static_cast<double>(v) / kFixedOne;
}

const PF_ParamDef& ById(Host& host, A_long id, PF_ParamType type, const char* name) {
    const std::vector<PF_ParamDef>& registered = host.RegisteredParams();
    for (std::size_t i = 0; i < registered.size(); ++i) {
        if (registered[i].uu.id == id) {
            if (registered[i].param_type != type) {
                throw HostError(std::string("reading ") + name + ": the module registers it as type " +
                                std::to_string(registered[i].param_type) + ", expected " +
                                std::to_string(type));
            }
            return host.Param(static_cast<int>(i) + 1);
        }
    }
    throw HostError(std::string("reading ") + name + ": the module registers no parameter with id " +
                    std::to_string(id));
}

std::string Hex(const PF_Pixel& c) {
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", c.red, c.green, c.blue);
    return text;
}

}   // namespace

nlohmann::ordered_json ParamSnapshot(Host& host) {
    const PF_PointDef& origin = ById(host, 1, PF_Param_POINT, "origin").u.td;
    nlohmann::ordered_json values;
    values["shape"] = ById(host, 14, PF_Param_POPUP, "shape").u.pd.value;
    values["origin"] = {FromFixed(origin.x_value), FromFixed(origin.y_value)};
    values["width"] = ById(host, 2, PF_Param_FLOAT_SLIDER, "width").u.fs_d.value;
    values["height"] = ById(host, 3, PF_Param_FLOAT_SLIDER, "height").u.fs_d.value;
    values["angle"] = FromFixed(ById(host, 13, PF_Param_ANGLE, "angle").u.ad.value);
    values["feather"] = ById(host, 4, PF_Param_FLOAT_SLIDER, "feather").u.fs_d.value;
    values["fill"] = ById(host, 15, PF_Param_POPUP, "fill").u.pd.value;
    values["color"] = Hex(ById(host, 12, PF_Param_COLOR, "color").u.cd.value);
    values["opacity"] = FromFixed(ById(host, 5, PF_Param_FIX_SLIDER, "opacity").u.fd.value);
    values["blend"] = ById(host, 7, PF_Param_POPUP, "blend").u.pd.value;
    values["invert"] = ById(host, 8, PF_Param_CHECKBOX, "invert").u.bd.value != 0;
    values["mask_only"] = ById(host, 9, PF_Param_CHECKBOX, "mask_only").u.bd.value != 0;
    values["falloff"] = ById(host, 16, PF_Param_POPUP, "falloff").u.pd.value;
    return values;
}

std::vector<std::string> ChangedParams(const nlohmann::ordered_json& before,
                                       const nlohmann::ordered_json& after) {
    std::vector<std::string> changed;
    for (const auto& item : after.items()) {
        if (!before.contains(item.key()) || before[item.key()] != item.value()) {
            changed.push_back(item.key());
        }
    }
    return changed;
}

}   // namespace corvelle
