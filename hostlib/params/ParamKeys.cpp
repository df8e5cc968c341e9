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

}   // namespace corvelle
