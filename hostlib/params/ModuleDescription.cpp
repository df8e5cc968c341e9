// What a host shows of a loaded module: its version word, flags and parameter table, as JSON.
#include "params/ModuleDescription.h"

#include <charconv>
#include <cstdio>
#include <cstring>

namespace corvelle {

namespace {

struct NamedBit {
    A_long bit;
    const char* name;
};

constexpr NamedBit kOutFlagNames[] = {
    {PF_OutFlag_DISPLAY_ERROR_MESSAGE, "DISPLAY_ERROR_MESSAGE"},
    {PF_OutFlag_PIX_INDEPENDENT, "PIX_INDEPENDENT"},
    {PF_OutFlag_CUSTOM_UI, "CUSTOM_UI"},
    {PF_OutFlag_REFRESH_UI, "REFRESH_UI"},
    {PF_OutFlag_FORCE_RERENDER, "FORCE_RERENDER"},
    {PF_OutFlag_DEEP_COLOR_AWARE, "DEEP_COLOR_AWARE"},
    {PF_OutFlag_SEND_UPDATE_PARAMS_UI, "SEND_UPDATE_PARAMS_UI"},
};

constexpr NamedBit kParamFlagNames[] = {
    {PF_ParamFlag_CANNOT_TIME_VARY, "CANNOT_TIME_VARY"},
    {PF_ParamFlag_SUPERVISE, "SUPERVISE"},
};

template <std::size_t N>
nlohmann::json BitNames(A_long value, const NamedBit (&names)[N]) {
    nlohmann::json list = nlohmann::json::array();
    for (int bit = 0; bit < 32; ++bit) {
        const A_long mask = static_cast<A_long>(1u << bit);
        if (!(value & mask)) {
            continue;
        }
        const char* name = nullptr;
        for (const NamedBit& named : names) {
            if (named.bit == mask) {
                name = named.name;
            }
        }
        list.push_back(name ? std::string(name) : "bit " + std::to_string(bit));
    }
    return list;
}

std::string Text(const char* text, std::size_t capacity) {
    return std::string(text, strnlen(text, capacity));
}

double FromFixed(PF_Fixed value) {
    return static_cast<double>(value) / 65536.0;
}

nlohmann::json Range(double low, double high) {
    return nlohmann::json::array({low, high});
}

/// The choice text split at bars, `count` entries as the host shows them; missing ones are empty.
nlohmann::json Choices(const char* text, A_short count) {
    nlohmann::json choices = nlohmann::json::array();
    const std::string all = text ? text : "";
    std::size_t start = 0;
    for (A_short i = 0; i < count; ++i) {
        if (start > all.size()) {
            choices.push_back("");
            continue;
        }
        const std::size_t bar = all.find('|', start);
        const std::size_t end = bar == std::string::npos ? all.size() : bar;
        choices.push_back(all.substr(start, end - start));
        start = end + 1;
    }
    return choices;
}

std::string ColorText(const PF_Pixel& pixel) {
    char text[16];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", pixel.red, pixel.green, pixel.blue);
    return text;
}

nlohmann::json Color(const PF_Pixel& pixel) {
    return {{"rgb", ColorText(pixel)}, {"alpha", pixel.alpha}};
}

const char* TypeName(PF_ParamType type) {
    switch (type) {
    case PF_Param_LAYER: return "layer";
    case PF_Param_FIX_SLIDER: return "fixed slider";
    case PF_Param_ANGLE: return "angle";
    case PF_Param_CHECKBOX: return "checkbox";
    case PF_Param_COLOR: return "color";
    case PF_Param_POINT: return "point";
    case PF_Param_POPUP: return "popup";
    case PF_Param_FLOAT_SLIDER: return "float slider";
    default: return "unknown";
    }
}

void AddTypeFields(const PF_ParamDef& def, const PF_ParamDef& current, nlohmann::json& entry) {
    switch (def.param_type) {
    case PF_Param_POPUP:
        entry["default"] = def.u.pd.dephault;
        entry["value"] = current.u.pd.value;
        entry["num_choices"] = def.u.pd.num_choices;
        entry["choices"] = Choices(def.u.pd.u.namesptr, def.u.pd.num_choices);
        break;
    case PF_Param_FLOAT_SLIDER:
        entry["default"] = static_cast<double>(def.u.fs_d.dephault);
        entry["value"] = current.u.fs_d.value;
        entry["valid"] =
            Range(static_cast<double>(def.u.fs_d.valid_min), static_cast<double>(def.u.fs_d.valid_max));
        entry["slider"] =
            Range(static_cast<double>(def.u.fs_d.slider_min), static_cast<double>(def.u.fs_d.slider_max));
        entry["precision"] = def.u.fs_d.precision;
        entry["display_flags"] = def.u.fs_d.display_flags;
        entry["curve_tolerance"] = static_cast<double>(def.u.fs_d.curve_tolerance);
        entry["phase"] = def.u.fs_d.phase;
        break;
    case PF_Param_FIX_SLIDER:
        entry["default"] = FromFixed(def.u.fd.dephault);
        entry["value"] = FromFixed(current.u.fd.value);
        entry["valid"] = Range(FromFixed(def.u.fd.valid_min), FromFixed(def.u.fd.valid_max));
        entry["slider"] = Range(FromFixed(def.u.fd.slider_min), FromFixed(def.u.fd.slider_max));
        entry["precision"] = def.u.fd.precision;
        entry["display_flags"] = def.u.fd.display_flags;
        entry["percent"] = (def.u.fd.display_flags & PF_ValueDisplayFlag_PERCENT) != 0;
        break;
    case PF_Param_ANGLE:
        entry["default"] = FromFixed(def.u.ad.dephault);
        entry["value"] = FromFixed(current.u.ad.value);
        break;
    case PF_Param_CHECKBOX:
        entry["default"] = def.u.bd.dephault != 0;
        entry["value"] = current.u.bd.value != 0;
        entry["label"] = def.u.bd.u.nameptr ? def.u.bd.u.nameptr : "";
        break;
    case PF_Param_COLOR:
        entry["default"] = Color(def.u.cd.dephault);
        entry["value"] = Color(current.u.cd.value);
        break;
    case PF_Param_POINT:
        entry["default_percent"] = Range(FromFixed(def.u.td.x_dephault), FromFixed(def.u.td.y_dephault));
        entry["value"] = Range(FromFixed(current.u.td.x_value), FromFixed(current.u.td.y_value));
        entry["restrict_bounds"] = def.u.td.restrict_bounds != 0;
        break;
    default: break;
    }
}

}   // namespace

nlohmann::json DescribeVersion(A_u_long word) {
    static constexpr const char* kStages[] = {"develop", "alpha", "beta", "release"};
    const unsigned major = (word >> PF_VERS_VERS_SHIFT) & PF_VERS_VERS_BITS;
    const unsigned minor = (word >> PF_VERS_SUBVERS_SHIFT) & PF_VERS_SUBVERS_BITS;
    const unsigned fix = (word >> PF_VERS_BUGFIX_SHIFT) & PF_VERS_BUGFIX_BITS;
    const unsigned stage = (word >> PF_VERS_STAGE_SHIFT) & PF_VERS_STAGE_BITS;
    const unsigned build = (word >> PF_VERS_BUILD_SHIFT) & PF_VERS_BUILD_BITS;
    char text[96];
    std::snprintf(text, sizeof text, "version %u.%u.%u %s build %u (0x%x)", major, minor, fix, kStages[stage],
                  build, static_cast<unsigned>(word));
    return {{"word", word},   {"major", major}, {"minor", minor}, {"fix", fix}, {"stage", kStages[stage]},
            {"build", build}, {"text", text}};
}

nlohmann::json DescribeOutFlags(PF_OutFlags flags) {
    return {{"value", flags}, {"names", BitNames(flags, kOutFlagNames)}};
}

nlohmann::json DescribePixelFormats(const std::vector<PrPixelFormat>& formats) {
    nlohmann::json list = nlohmann::json::array();
    for (const PrPixelFormat format : formats) {
        const char* name = format == PrPixelFormat_BGRA_4444_8u    ? "BGRA_4444_8u"
                           : format == PrPixelFormat_BGRA_4444_32f ? "BGRA_4444_32f"
                                                                   : "unknown";
        list.push_back({{"code", format}, {"name", name}});
    }
    return list;
}

nlohmann::json DescribeParams(Host& host) {
    nlohmann::json table = nlohmann::json::array();
    table.push_back({{"index", 0}, {"name", "input layer"}, {"type", "layer"}, {"disabled", false}});
    const std::vector<PF_ParamDef>& registered = host.RegisteredParams();
    for (std::size_t i = 0; i < registered.size(); ++i) {
        const int index = static_cast<int>(i) + 1;
        const PF_ParamDef& def = registered[i];
        const ParamUIState ui = host.UIState(index);
        nlohmann::json entry{
            {"index", index},
            {"name", ui.name},
            {"registered_name", Text(def.name, sizeof def.name)},
            {"type", TypeName(def.param_type)},
            {"type_code", def.param_type},
            {"id", def.uu.id},
            {"flags", {{"value", def.flags}, {"names", BitNames(def.flags, kParamFlagNames)}}},
            {"disabled", ui.disabled}};
        AddTypeFields(def, host.Param(index), entry);
        table.push_back(entry);
    }
    return table;
}

}   // namespace corvelle
