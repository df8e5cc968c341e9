// Hosts hand frei0r plug-ins fractions of the frame; the module wants pixels, degrees and percent.
#include "Parameters.h"

#include "Notes.h"
#include <corvelle/text.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace corvelle::frei0r {

// The module's defaults on a 1920×1080 layer, as fractions: the same numbers at every frame size,
// since GStreamer reads the defaults from a 640×480 instance and sets them on the real one.
const std::array<ParamSpec, kParamCount> kParams = {{
    {"shape", F0R_PARAM_STRING, "ellipse or rectangle", "shape", Mapping::Choice, 0.0, "ellipse"},
    {"origin_x", F0R_PARAM_DOUBLE, "centre x as a fraction of the frame width", "origin", Mapping::PointX,
     0.5, nullptr},
    {"origin_y", F0R_PARAM_DOUBLE, "centre y as a fraction of the frame height", "origin", Mapping::PointY,
     0.5, nullptr},
    {"width", F0R_PARAM_DOUBLE, "shape width as a fraction of the frame width", "width", Mapping::FrameWidth,
     300.0 / 1920.0, nullptr},
    {"height", F0R_PARAM_DOUBLE, "shape height as a fraction of the frame height", "height",
     Mapping::FrameHeight, 200.0 / 1080.0, nullptr},
    {"angle", F0R_PARAM_DOUBLE, "rotation in turns (degrees / 360), clockwise", "angle", Mapping::Degrees,
     0.0, nullptr},
    {"feather", F0R_PARAM_DOUBLE, "feather width as a fraction of the frame width", "feather",
     Mapping::FrameWidth, 100.0 / 1920.0, nullptr},
    {"fill", F0R_PARAM_STRING, "color or transparent", "fill", Mapping::Choice, 0.0, "color"},
    {"color", F0R_PARAM_COLOR, "fill colour", "color", Mapping::Color, 0.0, nullptr},
    {"opacity", F0R_PARAM_DOUBLE, "fill opacity (percent / 100)", "opacity", Mapping::Percent, 0.25, nullptr},
    {"blend", F0R_PARAM_STRING, "blending mode: normal, add, multiply, screen, overlay, soft-light, ...",
     "blend", Mapping::Choice, 0.0, "multiply"},
    {"invert", F0R_PARAM_BOOL, "swap inside and outside", "invert", Mapping::Checkbox, 0.0, nullptr},
    {"mask_only", F0R_PARAM_BOOL, "output the fill colour with the mask as alpha", "mask_only",
     Mapping::Checkbox, 0.0, nullptr},
    {"falloff", F0R_PARAM_STRING,
     "feather curve: linear, quadratic, cubic, gamma-2.2, gaussian or exponential", "falloff",
     Mapping::Choice, 0.0, "linear"},
}};

namespace {

constexpr int kOriginX = 1;
constexpr int kOriginY = 2;

/// The largest and smallest 16.16 values, so a far-off point stays where the module can hold it.
double ClampToFixed(double pixels) {
    return std::clamp(pixels, -32768.0, 32767.0 + (65535.0 / 65536.0));
}

uint8_t ColorByte(float channel) {
    const double scaled = std::floor((static_cast<double>(channel) * 255.0) + 0.5);
    return static_cast<uint8_t>(std::clamp(scaled, 0.0, 255.0));
}

/// A choice given as its number, 1 to `count`; anything else is a name.
bool ChoiceNumber(const std::string& text, std::size_t count, int& number) {
    uint64_t value = 0;
    if (!ParseUnsigned(text, 1, count, value))
        return false;
    number = static_cast<int>(value);
    return true;
}

/// False when the module offers no such choice; the module then keeps its value.
bool ApplyChoice(Effect& effect, const ParamSpec& spec, const std::string& text) {
    int number = 0;
    if (ChoiceNumber(text, effect.Param(spec.key).choices.size(), number)) {
        effect.SetChoice(spec.key, number);
        return true;
    }
    try {
        effect.SetChoice(spec.key, text);
    } catch (const Error& e) {
        if (e.Kind() != ErrorKind::BadValue)
            throw;
        return false;
    }
    return true;
}

void Apply(const ParamSlots& slots, int index, Effect& effect, int width, int height) {
    const ParamSpec& spec = kParams[static_cast<std::size_t>(index)];
    const ParamSlot& slot = slots[static_cast<std::size_t>(index)];
    switch (spec.mapping) {
    case Mapping::Choice: ApplyChoice(effect, spec, slot.text); break;
    case Mapping::PointX:
    case Mapping::PointY:
        effect.SetPoint(spec.key, ClampToFixed(slots[kOriginX].number * width),
                        ClampToFixed(slots[kOriginY].number * height));
        break;
    case Mapping::FrameWidth: effect.SetNumber(spec.key, slot.number * width, OutOfRange::Clamp); break;
    case Mapping::FrameHeight: effect.SetNumber(spec.key, slot.number * height, OutOfRange::Clamp); break;
    case Mapping::Degrees: effect.SetNumber(spec.key, slot.number * 360.0, OutOfRange::Clamp); break;
    case Mapping::Percent: effect.SetNumber(spec.key, slot.number * 100.0, OutOfRange::Clamp); break;
    case Mapping::Color:
        effect.SetColor(
            spec.key, Color8{ColorByte(slot.color.r), ColorByte(slot.color.g), ColorByte(slot.color.b), 255});
        break;
    case Mapping::Checkbox: effect.SetCheckbox(spec.key, slot.number >= 0.5); break;
    }
}

/// A host's text as a note shows it: printable and short, however long or strange the text.
std::string Shown(const std::string& text) {
    constexpr std::size_t kMaxShown = 40;
    std::string shown = "'";
    for (std::size_t i = 0; i < text.size() && i < kMaxShown; ++i)
        shown += (text[i] >= 0x20 && text[i] < 0x7f) ? text[i] : '?';
    return shown + (text.size() > kMaxShown ? "...'" : "'");
}

bool SameNumber(double a, double b) {
    return a == b && std::signbit(a) == std::signbit(b);
}

}   // namespace

ParamSlots DefaultSlots() {
    ParamSlots slots;
    for (std::size_t i = 0; i < kParams.size(); ++i) {
        slots[i].number = kParams[i].number;
        if (kParams[i].text)
            slots[i].text = kParams[i].text;
    }
    return slots;
}

bool SetParam(ParamSlots& slots, int index, const void* param, Effect* effect, int width, int height) {
    const ParamSpec& spec = kParams[static_cast<std::size_t>(index)];
    ParamSlot& slot = slots[static_cast<std::size_t>(index)];
    const std::string label = std::string("parameter ") + spec.name;
    switch (spec.type) {
    case F0R_PARAM_STRING: {
        const char* text = *static_cast<const f0r_param_string*>(param);
        if (!text) {
            NoteOnce(label + ": no text given, keeping " + Shown(slot.text));
            return false;
        }
        if (slot.text == text)
            return false;
        if (effect && !ApplyChoice(*effect, spec, text)) {
            NoteOnce(label + ": " + Shown(text) + " names no choice, keeping " + Shown(slot.text));
            return false;
        }
        slot.text = text;
        return true;
    }
    case F0R_PARAM_COLOR: {
        const f0r_param_color_t color = *static_cast<const f0r_param_color_t*>(param);
        if (std::isnan(color.r) || std::isnan(color.g) || std::isnan(color.b)) {
            NoteOnce(label + ": a channel is not a number, keeping the colour");
            return false;
        }
        if (color.r == slot.color.r && color.g == slot.color.g && color.b == slot.color.b)
            return false;
        slot.color = color;
        break;
    }
    default: {
        const double number = *static_cast<const double*>(param);
        if (std::isnan(number)) {
            NoteOnce(label + ": not a number, keeping the previous value");
            return false;
        }
        if (SameNumber(number, slot.number))
            return false;
        slot.number = number;
        break;
    }
    }
    if (effect)
        Apply(slots, index, *effect, width, height);
    return true;
}

void ApplyAll(const ParamSlots& slots, Effect& effect, int width, int height) {
    for (int i = 0; i < kParamCount; ++i)
        Apply(slots, i, effect, width, height);
}

void GetParam(const ParamSlots& slots, int index, void* param) {
    const ParamSlot& slot = slots[static_cast<std::size_t>(index)];
    switch (kParams[static_cast<std::size_t>(index)].type) {
    case F0R_PARAM_STRING:
        // Hosts copy the text at once; it stays valid until the parameter next changes.
        *static_cast<f0r_param_string*>(param) = const_cast<char*>(slot.text.c_str());
        break;
    case F0R_PARAM_COLOR: *static_cast<f0r_param_color_t*>(param) = slot.color; break;
    default: *static_cast<double*>(param) = slot.number; break;
    }
}

}   // namespace corvelle::frei0r
