// Reads the page's messages: JSON objects whose field "t" names what they ask for.
#include "Messages.h"

#include <corvelle/corvelle.h>

#include <nlohmann/json.hpp>

#include <cmath>
#include <map>

namespace corvelle::serve {
namespace {

using Json = nlohmann::json;

// Mouse positions, offsets and layer positions stay far inside the 16.16 range the module maps
// window points through (about ±32767 pixels).
constexpr double kMaxPixel = 1.0e6;
constexpr double kMaxOffset = 1.0e4;
constexpr std::size_t kMaxKeyLength = 32;
constexpr std::size_t kMaxTextValue = 64;

const Json& Field(const Json& message, const char* name) {
    const auto it = message.find(name);
    if (it == message.end()) {
        throw BadMessage(std::string("missing field \"") + name + "\"");
    }
    return *it;
}

double Number(const Json& message, const char* name, double min, double max) {
    const Json& field = Field(message, name);
    if (!field.is_number()) {
        throw BadMessage(std::string("\"") + name + "\" must be a number");
    }
    const double v = field.get<double>();
    if (!std::isfinite(v) || v < min || v > max) {
        throw BadMessage(std::string("\"") + name + "\" is out of range");
    }
    return v;
}

long Whole(const Json& message, const char* name, double min, double max) {
    const double v = Number(message, name, min, max);
    if (v != std::trunc(v)) {
        throw BadMessage(std::string("\"") + name + "\" must be a whole number");
    }
    return static_cast<long>(v);
}

bool Boolean(const Json& message, const char* name) {
    const Json& field = Field(message, name);
    if (!field.is_boolean()) {
        throw BadMessage(std::string("\"") + name + "\" must be true or false");
    }
    return field.get<bool>();
}

std::string Text(const Json& message, const char* name, std::size_t maxLength) {
    const Json& field = Field(message, name);
    if (!field.is_string() || field.get_ref<const std::string&>().size() > maxLength) {
        throw BadMessage(std::string("\"") + name + "\" must be a short text");
    }
    return field.get<std::string>();
}

/// Parameter keys are the host's short names: lower-case letters, digits and '_'.
std::string Key(const Json& message, bool allowEmpty) {
    std::string key = Text(message, "key", kMaxKeyLength);
    if (key.empty() && !allowEmpty) {
        throw BadMessage("\"key\" is empty");
    }
    for (char c : key) {
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_')) {
            throw BadMessage("\"key\" is not a parameter key");
        }
    }
    return key;
}

SentValue Value(const Json& message) {
    const Json& field = Field(message, "value");
    SentValue value;
    if (field.is_boolean()) {
        value.type = SentValue::Type::Boolean;
        value.boolean = field.get<bool>();
    } else if (field.is_number()) {
        value.type = SentValue::Type::Number;
        value.number = field.get<double>();
        if (!std::isfinite(value.number)) {
            throw BadMessage("\"value\" must be finite");
        }
    } else if (field.is_string()) {
        value.type = SentValue::Type::Text;
        value.text = Text(message, "value", kMaxTextValue);
    } else if (field.is_array() && field.size() == 2 && field[0].is_number() && field[1].is_number()) {
        value.type = SentValue::Type::Pair;
        value.x = field[0].get<double>();
        value.y = field[1].get<double>();
        if (!std::isfinite(value.x) || !std::isfinite(value.y) || std::fabs(value.x) > kMaxPixel ||
            std::fabs(value.y) > kMaxPixel) {
            throw BadMessage("\"value\" must be two finite numbers");
        }
    } else {
        throw BadMessage("\"value\" must be a number, true or false, a text or two numbers");
    }
    return value;
}

void ReadPosition(const Json& message, ClientMessage& out) {
    out.x = static_cast<int>(Whole(message, "x", -kMaxPixel, kMaxPixel));
    out.y = static_cast<int>(Whole(message, "y", -kMaxPixel, kMaxPixel));
}

void ReadView(const Json& message, ClientMessage& out) {
    ViewRequest& view = out.view;
    view.zoom = Number(message, "zoom", kMinWindowZoom, kMaxWindowZoom);
    view.offsetX = Number(message, "ox", -kMaxOffset, kMaxOffset);
    view.offsetY = Number(message, "oy", -kMaxOffset, kMaxOffset);
    const std::string kind = Text(message, "kind", 8);
    if (kind != "layer" && kind != "comp") {
        throw BadMessage("\"kind\" must be layer or comp");
    }
    view.composition = kind == "comp";
    view.layerPosX = Number(message, "lx", -kMaxOffset, kMaxOffset);
    view.layerPosY = Number(message, "ly", -kMaxOffset, kMaxOffset);
    view.autoDownsample = Boolean(message, "auto");
}

void ReadHost(const Json& message, ClientMessage& out) {
    const std::string host = Text(message, "host", 16);
    if (host != "ae" && host != "premiere") {
        throw BadMessage("\"host\" must be ae or premiere");
    }
    out.editorHost = host == "premiere";
    out.depth = static_cast<int>(Whole(message, "depth", 8, 32));
    if (out.depth != 8 && out.depth != 16 && out.depth != 32) {
        throw BadMessage("\"depth\" must be 8, 16 or 32");
    }
}

const std::map<std::string, MessageKind>& Kinds() {
    static const std::map<std::string, MessageKind> kinds{
        {"press", MessageKind::Press},
        {"move", MessageKind::Move},
        {"release", MessageKind::Release},
        {"hover", MessageKind::Hover},
        {"set", MessageKind::Set},
        {"view", MessageKind::View},
        {"frame", MessageKind::Frame},
        {"host", MessageKind::Host},
        {"aspect", MessageKind::Aspect},
        {"undo", MessageKind::Undo},
        {"redo", MessageKind::Redo},
        {"reset", MessageKind::Reset},
        {"render", MessageKind::RenderOutput},
        {"shown", MessageKind::FrameShown},
        {"stopwatch", MessageKind::Stopwatch},
        {"removekey", MessageKind::RemoveKey},
        {"save", MessageKind::Save},
    };
    return kinds;
}

}   // namespace

ClientMessage ParseMessage(const std::string& text) {
    if (text.size() > kMaxMessageBytes) {
        throw BadMessage("message longer than " + std::to_string(kMaxMessageBytes) + " bytes");
    }
    const Json message = Json::parse(text, nullptr, false);
    if (message.is_discarded() || !message.is_object()) {
        throw BadMessage("not a JSON object");
    }
    const auto kind = Kinds().find(Text(message, "t", 16));
    if (kind == Kinds().end()) {
        throw BadMessage("unknown message kind");
    }
    ClientMessage out;
    out.kind = kind->second;
    if (message.contains("seq")) {
        out.seq = static_cast<uint32_t>(Whole(message, "seq", 0, 4294967295.0));
    }
    switch (out.kind) {
    case MessageKind::Press:
    case MessageKind::Move:
    case MessageKind::Release:
    case MessageKind::Hover: ReadPosition(message, out); break;
    case MessageKind::Set:
        out.key = Key(message, false);
        out.value = Value(message);
        if (message.contains("group")) {
            out.group = static_cast<uint32_t>(Whole(message, "group", 0, 4294967295.0));
        }
        break;
    case MessageKind::Stopwatch:
        out.key = Key(message, false);
        out.on = Boolean(message, "on");
        break;
    case MessageKind::RemoveKey: out.key = Key(message, true); break;
    case MessageKind::View: ReadView(message, out); break;
    case MessageKind::Frame: out.frame = Whole(message, "frame", 0, 1.0e9); break;
    case MessageKind::Host: ReadHost(message, out); break;
    case MessageKind::Aspect:
        out.aspectNum = static_cast<int>(Whole(message, "num", 1, 1.0e6));
        out.aspectDen = static_cast<int>(Whole(message, "den", 1, 1.0e6));
        break;
    case MessageKind::Reset: out.key = message.contains("key") ? Key(message, true) : std::string(); break;
    case MessageKind::Undo:
    case MessageKind::Redo:
    case MessageKind::RenderOutput:
    case MessageKind::FrameShown:
    case MessageKind::Save: break;
    }
    return out;
}

}   // namespace corvelle::serve
