// The preview session's state machine: every page message becomes calls of the public API.
#include "serve/Preview.h"

#include "serve/ControlsDrawing.h"

#include "core/EffectImpl.h"
#include "params/ParamSnapshot.h"
#include "io/FrameSequence.h"
#include "io/RawFrames.h"

#include <corvelle/convert.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <utility>

namespace corvelle::serve {
namespace {

using Json = nlohmann::json;

// Undo keeps this many steps; older ones fall off.
constexpr std::size_t kMaxHistory = 200;

const char* TypeName(ParamType type) {
    switch (type) {
    case ParamType::Layer: return "layer";
    case ParamType::FloatSlider: return "float";
    case ParamType::FixedSlider: return "fixed";
    case ParamType::Angle: return "angle";
    case ParamType::Checkbox: return "checkbox";
    case ParamType::Color: return "color";
    case ParamType::Point: return "point";
    case ParamType::Popup: return "popup";
    }
    return "unknown";
}

std::string Hex(Color8 c) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text = "#";
    for (uint8_t v : {c.red, c.green, c.blue}) {
        text += kDigits[v >> 4];
        text += kDigits[v & 15];
    }
    return text;
}

bool ParseHexColor(const std::string& text, Color8& color) {
    if (text.size() != 7 || text[0] != '#') {
        return false;
    }
    uint8_t channels[3] = {};
    for (int i = 0; i < 3; ++i) {
        unsigned v = 0;
        const char* begin = text.data() + 1 + (2 * i);
        const auto [end, err] = std::from_chars(begin, begin + 2, v, 16);
        if (err != std::errc() || end != begin + 2) {
            return false;
        }
        channels[i] = static_cast<uint8_t>(v);
    }
    color = Color8{channels[0], channels[1], channels[2], 255};
    return true;
}

Json ValueJson(ParamType type, const ParamValue& v) {
    switch (type) {
    case ParamType::Point: return Json::array({v.x, v.y});
    case ParamType::Color: return Hex(v.color);
    case ParamType::Popup: return v.choice;
    case ParamType::Checkbox: return v.checked;
    default: return v.number;
    }
}

bool SameValue(ParamType type, const ParamValue& a, const ParamValue& b) {
    switch (type) {
    case ParamType::Point: return a.x == b.x && a.y == b.y;
    case ParamType::Color:
        return a.color.red == b.color.red && a.color.green == b.color.green && a.color.blue == b.color.blue;
    case ParamType::Popup: return a.choice == b.choice;
    case ParamType::Checkbox: return a.checked == b.checked;
    case ParamType::Layer: return true;
    default: return a.number == b.number;
    }
}

void SetValue(Effect& effect, const StoredValue& v) {
    switch (v.type) {
    case ParamType::FloatSlider:
    case ParamType::FixedSlider:
    case ParamType::Angle: effect.SetNumber(v.key, v.value.number); break;
    case ParamType::Point: effect.SetPoint(v.key, v.value.x, v.value.y); break;
    case ParamType::Color: effect.SetColor(v.key, v.value.color); break;
    case ParamType::Popup: effect.SetChoice(v.key, v.value.choice); break;
    case ParamType::Checkbox: effect.SetCheckbox(v.key, v.value.checked); break;
    case ParamType::Layer: break;
    }
}

Values ValuesOf(const Effect& effect) {
    Values values;
    for (const ParamInfo& info : effect.Params()) {
        if (info.type != ParamType::Layer) {
            values.push_back(StoredValue{info.key, info.type, effect.Get(info.key)});
        }
    }
    return values;
}

bool SameValues(const Values& a, const Values& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](const auto& x, const auto& y) {
               return x.key == y.key && SameValue(x.type, x.value, y.value);
           });
}

std::string NumberText(double v) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, v);
    return std::string(buffer, result.ptr);
}

/// Quotes a word for a POSIX shell when it holds anything but safe characters.
std::string ShellWord(const std::string& word) {
    const bool safe = !word.empty() && std::all_of(word.begin(), word.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) ||
               std::string_view("%+,-./:=_#").find(c) != std::string_view::npos;
    });
    if (safe) {
        return word;
    }
    std::string quoted = "'";
    for (char c : word) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

std::string ChoiceWord(const std::string& name) {
    std::string word;
    for (char c : name) {
        word += c == ' ' ? '-' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return word;
}

}   // namespace

PixelFormat FormatFor(HostKind host, int depth) {
    if (host == HostKind::Compositor && (depth == 8 || depth == 16)) {
        return depth == 8 ? PixelFormat::Argb8 : PixelFormat::Argb16;
    }
    if (host == HostKind::Editor && (depth == 8 || depth == 32)) {
        return depth == 8 ? PixelFormat::Bgra8 : PixelFormat::BgraFloat;
    }
    throw BadMessage(host == HostKind::Compositor ? "the compositor renders 8 or 16 bits"
                                                  : "the editor renders 8 or 32 bits");
}

Preview::Preview(const PreviewConfig& config)
    : m_config(config),
      m_input(config.input),
      m_host(config.host),
      m_depth(config.depth),
      m_aspect(config.pixelAspect) {
    FormatFor(m_host, m_depth);
    LoadOptions load;
    load.modulePath = config.modulePath;
    load.host = m_host;
    load.layerWidth = m_input.Width();
    load.layerHeight = m_input.Height();
    m_effect = std::make_unique<Effect>(load);
    if (config.applyStartOptions) {
        config.applyStartOptions(*m_effect);
    }
    LoadFrame(0);
    ApplyView(m_view);
}

Preview::~Preview() = default;

PixelFormat Preview::Format() const {
    return FormatFor(m_host, m_depth);
}

Values Preview::CurrentValues() const {
    return ValuesOf(*m_effect);
}

void Preview::LoadFrame(long index) {
    m_layer = m_input.Read(index, Format());
    m_frame = index;
}

int Preview::Downsample() const {
    if (!m_view.autoDownsample || m_view.zoom >= 1.0) {
        return 1;
    }
    // As the compositor does at a zoom below 100 %: a whole factor no finer than the screen shows.
    return std::max(1, static_cast<int>(std::floor((1.0 / m_view.zoom) + 1e-9)));
}

void Preview::ApplyRenderSettings(bool preview) {
    RenderSettings settings;
    const int d = preview ? Downsample() : 1;
    settings.downsampleX = Rational{1, static_cast<uint32_t>(d)};
    settings.downsampleY = settings.downsampleX;
    settings.pixelAspect = m_aspect;
    settings.threads = m_config.threads;
    m_effect->SetRenderSettings(settings);
}

void Preview::ApplyView(const ViewRequest& view) {
    WindowSpec spec;
    spec.kind = view.composition ? WindowSpec::Kind::Composition : WindowSpec::Kind::Layer;
    spec.zoom = view.zoom;
    spec.offsetX = view.offsetX;
    spec.offsetY = view.offsetY;
    spec.layerPosX = view.layerPosX;
    spec.layerPosY = view.layerPosY;
    m_effect->SetWindow(spec);   // refuses a window it cannot show, keeping the old one
    m_view = view;
}

void Preview::SwitchHost(bool editor, int depth) {
    const HostKind host = editor ? HostKind::Editor : HostKind::Compositor;
    const PixelFormat format = FormatFor(host, depth);
    if (m_input.FixedFormat() && format != m_input.Spec().rawFormat) {
        throw BadMessage("a raw stream keeps the host and depth it was given with");
    }
    if (host != m_host) {
        LoadOptions load;
        load.modulePath = m_config.modulePath;
        load.host = host;
        load.layerWidth = m_input.Width();
        load.layerHeight = m_input.Height();
        auto effect = std::make_unique<Effect>(load);
        for (const StoredValue& v : CurrentValues()) {
            SetValue(*effect, v);
        }
        std::swap(effect, m_effect);
        m_host = host;
        try {
            ApplyView(m_view);
        } catch (...) {
            std::swap(effect, m_effect);
            m_host = editor ? HostKind::Compositor : HostKind::Editor;
            throw;
        }
    }
    m_depth = depth;
    LoadFrame(m_frame);
}

bool Preview::SetFromMessage(const std::string& key, const SentValue& value) {
    const ParamInfo info = m_effect->Param(key);
    const ParamValue before = m_effect->Get(key);
    const auto need = [&](SentValue::Type type, const char* what) {
        if (value.type != type) {
            throw BadMessage(key + ": expected " + what);
        }
    };
    switch (info.type) {
    case ParamType::FloatSlider:
    case ParamType::FixedSlider:
    case ParamType::Angle:
        need(SentValue::Type::Number, "a number");
        m_effect->SetNumber(key, value.number);
        break;
    case ParamType::Point:
        need(SentValue::Type::Pair, "two numbers");
        m_effect->SetPoint(key, value.x, value.y);
        break;
    case ParamType::Color: {
        need(SentValue::Type::Text, "#rrggbb");
        Color8 color;
        if (!ParseHexColor(value.text, color)) {
            throw BadMessage(key + ": expected #rrggbb");
        }
        m_effect->SetColor(key, color);
        break;
    }
    case ParamType::Popup:
        need(SentValue::Type::Number, "a choice number");
        // Checked here as well: the library takes any number for a popup.
        if (value.number != std::trunc(value.number) || value.number < 1 ||
            value.number > static_cast<double>(info.choices.size())) {
            throw BadMessage(key + ": expected a choice number from 1 to " +
                             std::to_string(info.choices.size()));
        }
        m_effect->SetChoice(key, static_cast<int>(value.number));
        break;
    case ParamType::Checkbox:
        need(SentValue::Type::Boolean, "true or false");
        m_effect->SetCheckbox(key, value.boolean);
        break;
    case ParamType::Layer: throw BadMessage(key + ": the input layer is not set from the page");
    }
    return !SameValue(info.type, before, m_effect->Get(key));
}

void Preview::Remember(Values before) {
    m_undo.push_back(std::move(before));
    if (m_undo.size() > kMaxHistory) {
        m_undo.erase(m_undo.begin());
    }
    m_redo.clear();
}

void Preview::Restore(const Values& values) {
    for (const StoredValue& v : values) {
        if (!SameValue(v.type, v.value, m_effect->Get(v.key))) {
            SetValue(*m_effect, v);
        }
    }
}

Outcome Preview::Apply(const ClientMessage& message) {
    Outcome outcome;
    m_seq = message.seq;
    switch (message.kind) {
    case MessageKind::Press:
        m_beforeDrag = CurrentValues();
        m_effect->Press(message.x, message.y);
        outcome.render = true;
        break;
    case MessageKind::Move:
        if (m_effect->Dragging()) {
            m_effect->Move(message.x, message.y);
            outcome.render = true;
        }
        break;
    case MessageKind::Release:
        if (m_effect->Dragging()) {
            const std::vector<std::string> changed = m_effect->Release(message.x, message.y);
            if (!changed.empty() && !m_beforeDrag.empty()) {
                Remember(std::move(m_beforeDrag));
            }
            m_beforeDrag.clear();
            outcome.render = true;
        }
        break;
    case MessageKind::Hover:
        outcome.hover = true;
        outcome.handle = m_effect->Dragging() ? Handle::None : m_effect->HitTest(message.x, message.y);
        break;
    case MessageKind::Set: {
        Values before = CurrentValues();
        if (SetFromMessage(message.key, message.value)) {
            Remember(std::move(before));
        }
        outcome.render = true;
        break;
    }
    case MessageKind::View: {
        const bool rerender = message.view.autoDownsample != m_view.autoDownsample ||
                              std::min(message.view.zoom, 1.0) != std::min(m_view.zoom, 1.0);
        ApplyView(message.view);
        outcome.render = rerender;
        outcome.state = true;
        break;
    }
    case MessageKind::Frame:
        LoadFrame(std::min(message.frame, m_input.Count() - 1));
        outcome.render = true;
        break;
    case MessageKind::Host:
        SwitchHost(message.editorHost, message.depth);
        outcome.render = true;
        break;
    case MessageKind::Aspect:
        m_aspect = Rational{message.aspectNum, static_cast<uint32_t>(message.aspectDen)};
        outcome.render = true;
        break;
    case MessageKind::Undo:
    case MessageKind::Redo: {
        std::vector<Values>& from = message.kind == MessageKind::Undo ? m_undo : m_redo;
        std::vector<Values>& to = message.kind == MessageKind::Undo ? m_redo : m_undo;
        if (!from.empty()) {
            to.push_back(CurrentValues());
            Restore(from.back());
            from.pop_back();
        }
        outcome.render = true;
        break;
    }
    case MessageKind::Reset: {
        Values before = CurrentValues();
        if (message.key.empty()) {
            m_effect->ResetParams();
        } else {
            const ParamInfo info = m_effect->Param(message.key);
            SetValue(*m_effect, StoredValue{info.key, info.type, info.defaultValue});
        }
        if (!SameValues(before, CurrentValues())) {
            Remember(std::move(before));
        }
        outcome.render = true;
        break;
    }
    case MessageKind::RenderOutput:        // the server runs it, reporting progress
    case MessageKind::FrameShown: break;   // the server's flow control
    }
    return outcome;
}

Json Preview::State() {
    Json params = Json::array();
    for (const ParamInfo& info : m_effect->Params()) {
        if (info.type == ParamType::Layer) {
            continue;
        }
        Json p{{"key", info.key},
               {"name", info.name},
               {"type", TypeName(info.type)},
               {"enabled", info.enabled},
               {"animatable", info.animatable},
               {"value", ValueJson(info.type, m_effect->Get(info.key))},
               {"default", ValueJson(info.type, info.defaultValue)}};
        if (info.type == ParamType::FloatSlider || info.type == ParamType::FixedSlider ||
            info.type == ParamType::Angle) {
            p["min"] = info.validMin;
            p["max"] = info.validMax;
            p["sliderMin"] = info.sliderMin;
            p["sliderMax"] = info.sliderMax;
        }
        if (info.type == ParamType::Popup) {
            p["choices"] = info.choices;
        }
        params.push_back(std::move(p));
    }
    Json state;
    state["t"] = "state";
    state["seq"] = m_seq;
    state["params"] = std::move(params);
    state["snapshot"] = ParamSnapshot(m_effect->Internals().host);
    state["view"] = Json{{"zoom", m_view.zoom},
                         {"ox", m_view.offsetX},
                         {"oy", m_view.offsetY},
                         {"kind", m_view.composition ? "comp" : "layer"},
                         {"lx", m_view.layerPosX},
                         {"ly", m_view.layerPosY},
                         {"auto", m_view.autoDownsample},
                         {"windowWidth", m_effect->WindowWidth()},
                         {"windowHeight", m_effect->WindowHeight()},
                         {"layerLeft", m_effect->LayerLeft()},
                         {"layerTop", m_effect->LayerTop()},
                         {"downsample", Downsample()}};
    state["layer"] = Json{{"width", m_input.Width()}, {"height", m_input.Height()}};
    state["frames"] =
        Json{{"count", m_input.Count()}, {"index", m_frame}, {"number", m_input.Number(m_frame)}};
    state["host"] = m_host == HostKind::Editor ? "premiere" : "ae";
    state["depth"] = m_depth;
    state["fixedFormat"] = m_input.FixedFormat();
    state["aspect"] = Json::array({m_aspect.num, m_aspect.den});
    state["canUndo"] = !m_undo.empty();
    state["canRedo"] = !m_redo.empty();
    state["dragging"] = m_effect->Dragging();
    state["output"] = m_config.output.empty() ? Json(nullptr) : Json(m_config.output);
    state["command"] = RenderCommand();
    state["controls"] = DrawControls(*m_effect);
    return state;
}

void Preview::RenderView(std::vector<uint8_t>& rgba, int& width, int& height) {
    ApplyRenderSettings(true);
    const int d = Downsample();
    width = (m_input.Width() + d - 1) / d;
    height = (m_input.Height() + d - 1) / d;
    Picture out = MakePicture(Format(), width, height);
    m_effect->Render(std::as_const(m_layer).View(), out.View());
    rgba.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4);
    io::ToRgba8(std::as_const(out).View(), rgba.data(), static_cast<std::ptrdiff_t>(width) * 4);
}

void Preview::RenderOutput(const std::function<void(long, long)>& progress) {
    const std::string& output = m_config.output;
    if (output.empty()) {
        throw Error("rendering: no output was named on the command line (--output)", ErrorKind::BadValue);
    }
    ApplyRenderSettings(false);
    const PixelFormat format = Format();
    const long total = m_input.Count();
    const auto renderFrame = [&](long index) {
        const Picture layer = index == m_frame ? m_layer : m_input.Read(index, format);
        Picture out = MakePicture(format, m_input.Width(), m_input.Height());
        m_effect->Render(layer.View(), out.View());
        return out;
    };
    try {
        if (m_input.Spec().kind == InputSpec::Kind::Raw) {
            RawFrameWriter writer(output);
            for (long i = 0; i < total; ++i) {
                Picture out = renderFrame(i);
                writer.Write(World::Borrow(format, out.width, out.height,
                                           static_cast<std::size_t>(out.RowBytes()), out.bytes.data()));
                progress(i + 1, total);
            }
            writer.Finish();
        } else if (m_input.Spec().kind == InputSpec::Kind::Sequence) {
            for (long i = 0; i < total; ++i) {
                const Picture out = renderFrame(i);
                WritePicture(FrameName(output, m_input.Number(i)), out.View());
                progress(i + 1, total);
            }
        } else {
            const Picture out = renderFrame(0);
            WritePicture(output, out.View());
            progress(1, 1);
        }
    } catch (...) {
        ApplyRenderSettings(true);
        throw;
    }
    ApplyRenderSettings(true);
}

std::string Preview::RenderCommand() const {
    const InputSpec& in = m_input.Spec();
    std::vector<std::string> words{"corvelle", "render"};
    if (in.kind != InputSpec::Kind::BuiltIn) {
        words.push_back(in.path);
    }
    const bool sequence = in.kind == InputSpec::Kind::Sequence;
    words.push_back(!m_config.output.empty()          ? m_config.output
                    : sequence                        ? "out.%04d.png"
                    : in.kind == InputSpec::Kind::Raw ? "out.raw"
                                                      : "out.png");
    if (sequence) {
        words.push_back("--frames");
        words.push_back(std::to_string(in.first) + "-" + std::to_string(in.last));
    }
    if (in.kind == InputSpec::Kind::Raw) {
        words.push_back("--raw");
        words.push_back(std::to_string(in.rawWidth) + "x" + std::to_string(in.rawHeight));
    }
    for (const ParamInfo& info : m_effect->Params()) {
        if (info.type == ParamType::Layer) {
            continue;
        }
        const ParamValue v = m_effect->Get(info.key);
        if (SameValue(info.type, v, info.defaultValue)) {
            continue;
        }
        std::string option = "--" + info.key;
        std::replace(option.begin(), option.end(), '_', '-');
        switch (info.type) {
        case ParamType::Checkbox:
            if (v.checked) {
                words.push_back(option);
            }
            continue;
        case ParamType::Point:
            words.push_back(option);
            words.push_back(NumberText(v.x) + "," + NumberText(v.y));
            break;
        case ParamType::Color:
            words.push_back(option);
            words.push_back(Hex(v.color).substr(1));
            break;
        case ParamType::Popup:
            words.push_back(option);
            words.push_back(v.choice >= 1 && static_cast<std::size_t>(v.choice) <= info.choices.size()
                                ? ChoiceWord(info.choices[static_cast<std::size_t>(v.choice) - 1])
                                : std::to_string(v.choice));
            break;
        default:
            words.push_back(option);
            words.push_back(NumberText(v.number));
            break;
        }
    }
    if (m_host == HostKind::Editor) {
        words.insert(words.end(), {"--host", "premiere"});
    }
    if (m_depth != 8) {
        words.insert(words.end(), {"--depth", std::to_string(m_depth)});
    }
    if (m_aspect.num != static_cast<int32_t>(m_aspect.den)) {
        words.insert(words.end(),
                     {"--par", std::to_string(m_aspect.num) + "/" + std::to_string(m_aspect.den)});
    }
    std::string command;
    for (const std::string& word : words) {
        command += (command.empty() ? "" : " ") + ShellWord(word);
    }
    return command;
}

}   // namespace corvelle::serve
