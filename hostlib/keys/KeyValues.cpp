// Values are kept as `corvelle render` would read them from its options, so that keys and
// command lines agree on every stored bit.
#include "keys/KeyValues.h"

#include "core/HostError.h"
#include <corvelle/text.h>
#include "params/ModuleDescription.h"

#include <cctype>
#include <cmath>
#include <cstdio>

namespace corvelle {
namespace {

constexpr double kFixedOne = 65536.0;

[[noreturn]] void Refuse(const std::string& why) {
    throw HostError(why, ErrorKind::BadValue);
}

/// Whether value × 65536, rounded, is a 16.16 number.
bool FitsFixed(double value) {
    const double scaled = value * kFixedOne;
    return scaled >= -2147483648.0 && scaled < 2147483647.5;
}

double ReadNumber(const nlohmann::ordered_json& json, const char* what) {
    if (!json.is_number()) {
        Refuse(std::string("expected ") + what + ", got " + json.dump());
    }
    const double v = json.get<double>();
    if (!std::isfinite(v)) {
        Refuse(std::string("expected ") + what + ", got a number too large");
    }
    return v;
}

/// As the effect matches choice names: case ignored, '-' and '_' standing for a space.
std::string ChoiceWord(const std::string& text) {
    std::string out;
    for (char c : text) {
        out += (c == '-' || c == '_') ? ' ' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

Color8 ReadColor(const nlohmann::ordered_json& json) {
    uint8_t rgb[3] = {};
    if (!json.is_string() || !ParseHexRgb(json.get<std::string>(), rgb)) {
        Refuse("expected a colour \"#rrggbb\", got " + json.dump());
    }
    Color8 c;
    c.red = rgb[0];
    c.green = rgb[1];
    c.blue = rgb[2];
    return c;
}

int ReadChoice(const ParamInfo& info, const nlohmann::ordered_json& json) {
    if (json.is_string()) {
        const std::string wanted = ChoiceWord(json.get<std::string>());
        std::string offered;
        for (std::size_t i = 0; i < info.choices.size(); ++i) {
            if (!wanted.empty() && ChoiceWord(info.choices[i]) == wanted) {
                return static_cast<int>(i) + 1;
            }
            std::string shown = ChoiceWord(info.choices[i]);
            for (char& c : shown) {
                c = c == ' ' ? '-' : c;
            }
            offered += (i == 0 ? "" : ", ") + shown;
        }
        Refuse(json.dump() + " is not one of " + offered);
    }
    if (!json.is_number_integer()) {
        Refuse("expected a choice name or number, got " + json.dump());
    }
    return json.get<int>();   // checked against the choices by CheckParamValue
}

std::string ColorText(const Color8& c) {
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", c.red, c.green, c.blue);
    return text;
}

}   // namespace

ParamValue ReadParamValue(const ParamInfo& info, const nlohmann::ordered_json& json) {
    ParamValue v;
    switch (info.type) {
    case ParamType::FloatSlider:
    case ParamType::FixedSlider:
    case ParamType::Angle: v.number = ReadNumber(json, "a number"); break;
    case ParamType::Point:
        if (!json.is_array() || json.size() != 2) {
            Refuse("expected [x, y] in layer pixels, got " + json.dump());
        }
        v.x = ReadNumber(json[0], "[x, y] in layer pixels");
        v.y = ReadNumber(json[1], "[x, y] in layer pixels");
        break;
    case ParamType::Color: v.color = ReadColor(json); break;
    case ParamType::Popup:
        if (json.is_number_integer() && (json.get<int64_t>() < 1 || json.get<int64_t>() > 1000)) {
            Refuse(json.dump() + " is not a choice from 1 to " + std::to_string(info.choices.size()));
        }
        v.choice = ReadChoice(info, json);
        break;
    case ParamType::Checkbox:
        if (!json.is_boolean()) {
            Refuse("expected true or false, got " + json.dump());
        }
        v.checked = json.get<bool>();
        break;
    case ParamType::Layer: Refuse("the input layer takes no value");
    }
    CheckParamValue(info, v);
    return v;
}

void CheckParamValue(const ParamInfo& info, const ParamValue& v) {
    switch (info.type) {
    case ParamType::FloatSlider:
    case ParamType::FixedSlider:
    case ParamType::Angle:
        if (!(v.number >= info.validMin && v.number <= info.validMax)) {
            Refuse(Decimal(v.number) + " is not between " + Decimal(info.validMin) + " and " +
                   Decimal(info.validMax));
        }
        if (info.type != ParamType::FloatSlider && !FitsFixed(v.number)) {
            Refuse(Decimal(v.number) + " is outside the 16.16 range");
        }
        break;
    case ParamType::Point:
        if (!FitsFixed(v.x) || !FitsFixed(v.y)) {
            Refuse("[" + Decimal(v.x) + ", " + Decimal(v.y) + "] is outside the 16.16 range");
        }
        break;
    case ParamType::Popup:
        if (v.choice < 1 || v.choice > static_cast<int>(info.choices.size())) {
            Refuse(std::to_string(v.choice) + " is not a choice from 1 to " +
                   std::to_string(info.choices.size()));
        }
        break;
    default: break;
    }
}

nlohmann::ordered_json WriteParamValue(const ParamInfo& info, const ParamValue& v) {
    switch (info.type) {
    case ParamType::FloatSlider:
    case ParamType::FixedSlider:
    case ParamType::Angle: return v.number;
    case ParamType::Point: return nlohmann::ordered_json::array({v.x, v.y});
    case ParamType::Color: return ColorText(v.color);
    case ParamType::Popup: return v.choice;
    case ParamType::Checkbox: return v.checked;
    case ParamType::Layer: break;
    }
    return nullptr;
}

void SetParamValue(Effect& effect, const ParamInfo& info, const ParamValue& v) {
    switch (info.type) {
    case ParamType::FloatSlider:
    case ParamType::FixedSlider:
    case ParamType::Angle: effect.SetNumber(info.key, v.number, OutOfRange::Clamp); break;
    case ParamType::Point: effect.SetPoint(info.key, v.x, v.y); break;
    case ParamType::Color:
        effect.SetColor(info.key, Color8{v.color.red, v.color.green, v.color.blue, 255});
        break;
    case ParamType::Popup: effect.SetChoice(info.key, v.choice); break;
    case ParamType::Checkbox: effect.SetCheckbox(info.key, v.checked); break;
    case ParamType::Layer: break;
    }
}

}   // namespace corvelle
