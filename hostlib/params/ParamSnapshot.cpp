// Reads the parameters by persistent id, so the host needs none of the module's headers.
#include "params/ParamSnapshot.h"

#include "core/Host.h"
#include "params/ParamKeys.h"
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
    nlohmann::ordered_json values;
    for (const ParamKey& entry : kParamKeys) {
        const PF_ParamDef* def = &ById(host, entry.id, entry.type, entry.key);
        switch (def->param_type) {
        case PF_Param_POINT:
            values[entry.key] = {FromFixed(def->u.td.x_value), FromFixed(def->u.td.y_value)};
            break;
        case PF_Param_FLOAT_SLIDER: values[entry.key] = def->u.fs_d.value; break;
        case PF_Param_FIX_SLIDER: values[entry.key] = FromFixed(def->u.fd.value); break;
        case PF_Param_ANGLE: values[entry.key] = FromFixed(def->u.ad.value); break;
        case PF_Param_CHECKBOX: values[entry.key] = def->u.bd.value != 0; break;
        case PF_Param_COLOR: values[entry.key] = Hex(def->u.cd.value); break;
        default: values[entry.key] = def->u.pd.value; break;
        }
    }
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
