// Lookups in the parameter table.
#include "params/ParamKeys.h"

namespace corvelle {

std::string KeyOfId(A_long id) {
    for (const ParamKey& entry : kParamKeys) {
        if (entry.id == id) {
            return entry.key;
        }
    }
    return {};
}

A_long IdOfKey(const std::string& key) {
    for (const ParamKey& entry : kParamKeys) {
        if (key == entry.key) {
            return entry.id;
        }
    }
    return 0;
}

int IndexOfKey(const std::vector<PF_ParamDef>& registered, const std::string& key) {
    for (const ParamKey& entry : kParamKeys) {
        if (key != entry.key) {
            continue;
        }
        for (std::size_t i = 0; i < registered.size(); ++i) {
            if (registered[i].uu.id == entry.id && registered[i].param_type == entry.type) {
                return static_cast<int>(i) + 1;
            }
        }
    }
    return 0;
}

}   // namespace corvelle
