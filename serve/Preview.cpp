// The preview session's state machine: every page message becomes calls of the public API.
#include "Preview.h"

#include "ControlsDrawing.h"

#include <corvelle/convert.h>
#include <corvelle/files.h>
#include <corvelle/streams.h>
#include <corvelle/text.h>

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
    uint8_t rgb[3] = {};
    // The page's colour picker always sends "#rrggbb".
    if (text.empty() || text[0] != '#' || !ParseHexRgb(text, rgb)) {
        return false;
    }
    color = Color8{rgb[0], rgb[1], rgb[2], 255};
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
      m_aspect(config.pixelAspect),
      m_history(kMaxHistory) {
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
    m_keys.emplace(*m_effect, config.keysPath);
    m_keys->Load(*m_effect, config.fps != 0.0 ? config.fps : m_input.Fps(), KeyFrame(0));
    if (m_input.Still() && config.input.duration == 0) {
        // Long enough to show every key the file has.
        const double last = std::min(m_keys->LastKeyFrame(), static_cast<double>(kMaxDuration - 1));
        m_input.SetDuration(std::max(1L, static_cast<long>(std::ceil(last)) + 1));
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

Document Preview::CurrentDocument() const {
    return Document{CurrentValues(), m_keys->Keys()};
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
        m_keys->Apply(*effect, KeyFrame(m_frame));
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
        // Checked here too, so the page hears of a wrong number as a bad message.
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

void Preview::RememberIfChanged(Document before, uint32_t group) {
    if (SameValues(before.values, CurrentValues()) && before.keys.ToJson() == m_keys->Keys().ToJson()) {
        return;
    }
    m_history.Remember(std::move(before), group);
}

void Preview::Restore(const Values& values) {
    for (const StoredValue& v : values) {
        if (!SameValue(v.type, v.value, m_effect->Get(v.key))) {
            SetValue(*m_effect, v);
        }
    }
}

void Preview::RestoreDocument(const Document& document) {
    m_keys->SetKeys(document.keys);
    Restore(document.values);
    // The values were kept at the frame of the edit; the keys give this frame's.
    m_keys->Apply(*m_effect, KeyFrame(m_frame));
}

Outcome Preview::Apply(const ClientMessage& message) {
    Outcome outcome;
    m_seq = message.seq;
    const long frame = KeyFrame(m_frame);
    switch (message.kind) {
    case MessageKind::Press:
        m_beforeDrag = CurrentDocument();
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
            for (const std::string& changed : m_effect->Release(message.x, message.y)) {
                m_keys->Record(*m_effect, changed, frame);
            }
            if (m_beforeDrag) {
                RememberIfChanged(std::move(*m_beforeDrag));
            }
            m_beforeDrag.reset();
            outcome.render = true;
        }
        break;
    case MessageKind::Hover:
        outcome.hover = true;
        outcome.handle = m_effect->Dragging() ? Handle::None : m_effect->HitTest(message.x, message.y);
        break;
    case MessageKind::Set: {
        Document before = CurrentDocument();
        SetFromMessage(message.key, message.value);
        m_keys->Record(*m_effect, message.key, frame);
        RememberIfChanged(std::move(before), message.group);
        outcome.render = true;
        break;
    }
    case MessageKind::Stopwatch: {
        const ParamInfo info = m_effect->Param(message.key);
        if (message.on && !info.animatable) {
            throw BadMessage(message.key + " cannot vary in time");
        }
        Document before = CurrentDocument();
        if (message.on) {
            m_keys->StopwatchOn(*m_effect, info.key, frame);
        } else {
            m_keys->StopwatchOff(info.key);
        }
        RememberIfChanged(std::move(before));
        outcome.state = true;
        break;
    }
    case MessageKind::RemoveKey: {
        if (!message.key.empty()) {
            m_effect->Param(message.key);   // an unknown parameter is refused, not ignored
        }
        Document before = CurrentDocument();
        if (m_keys->RemoveKeysAt(message.key, frame)) {
            m_keys->Apply(*m_effect, frame);
        }
        RememberIfChanged(std::move(before));
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
        if (message.frame >= m_input.Count()) {
            throw BadMessage("frame " + std::to_string(message.frame) + ": the input has " +
                             std::to_string(m_input.Count()) + " frames");
        }
        if (m_effect->Dragging()) {
            throw BadMessage("the frame cannot change during a drag");
        }
        LoadFrame(message.frame);
        m_keys->Apply(*m_effect, KeyFrame(m_frame));
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
        if (m_effect->Dragging()) {
            throw BadMessage("undo and redo wait for the drag to end");
        }
        const std::optional<Document> back = message.kind == MessageKind::Undo
                                                 ? m_history.Undo(CurrentDocument())
                                                 : m_history.Redo(CurrentDocument());
        if (back) {
            RestoreDocument(*back);
        }
        outcome.render = true;
        break;
    }
    case MessageKind::Reset: {
        Document before = CurrentDocument();
        if (message.key.empty()) {
            m_effect->ResetParams();
            m_keys->Clear();
        } else {
            const ParamInfo info = m_effect->Param(message.key);
            SetValue(*m_effect, StoredValue{info.key, info.type, info.defaultValue});
            m_keys->Record(*m_effect, info.key, frame);
        }
        RememberIfChanged(std::move(before));
        outcome.render = true;
        break;
    }
    case MessageKind::Save:
        m_keys->Save(*m_effect);
        outcome.saved = true;
        outcome.state = true;
        break;
    case MessageKind::RenderOutput:        // the server runs it, reporting progress
    case MessageKind::FrameShown: break;   // the server's flow control
    }
    return outcome;
}

Json Preview::State() {
    Json params = Json::array();
    const long frame = KeyFrame(m_frame);
    for (const ParamInfo& info : m_effect->Params()) {
        if (info.type == ParamType::Layer) {
            continue;
        }
        Json p{{"key", info.key},
               {"name", info.name},
               {"type", TypeName(info.type)},
               {"enabled", info.enabled},
               {"animatable", info.animatable},
               {"keyed", m_keys->Keyed(info.key)},
               {"keyHere", m_keys->KeyAt(info.key, frame)},
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
    state["snapshot"] = Json::parse(m_effect->ParamsJson());
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
    state["frames"] = Json{{"count", m_input.Count()},
                           {"index", m_frame},
                           {"number", frame},
                           {"first", KeyFrame(0)},
                           {"still", m_input.Still()}};
    state["keys"] = Json{{"path", m_keys->Path().empty() ? Json(nullptr) : Json(m_keys->Path())},
                         {"fps", m_keys->Fps()},
                         {"frames", m_keys->FramesJson()},
                         {"here", m_keys->KeyAt("", frame)},
                         {"unsaved", !m_keys->Path().empty() && m_keys->Unsaved(*m_effect)}};
    state["host"] = m_host == HostKind::Editor ? "premiere" : "ae";
    state["depth"] = m_depth;
    state["fixedFormat"] = m_input.FixedFormat();
    state["aspect"] = Json::array({m_aspect.num, m_aspect.den});
    state["canUndo"] = m_history.CanUndo();
    state["canRedo"] = m_history.CanRedo();
    state["dragging"] = m_effect->Dragging();
    state["output"] = m_config.output.empty() ? Json(nullptr) : Json(m_config.output);
    state["command"] = RenderCommand();
    state["commandNote"] = CommandNote();
    state["controls"] = DrawControls(*m_effect);
    return state;
}

ConstImageView Preview::RenderFrame() {
    ApplyRenderSettings(true);
    const int d = Downsample();
    const int width = (m_input.Width() + d - 1) / d;
    const int height = (m_input.Height() + d - 1) / d;
    if (m_rendered.width != width || m_rendered.height != height || m_rendered.format != Format()) {
        m_rendered = MakePicture(Format(), width, height);
    }
    m_effect->Render(std::as_const(m_layer).View(), m_rendered.View());
    return std::as_const(m_rendered).View();
}

void Preview::RenderView(std::vector<uint8_t>& rgba, int& width, int& height) {
    const ConstImageView frame = RenderFrame();
    width = frame.width;
    height = frame.height;
    rgba.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4);
    io::ToRgba8(frame, rgba.data(), static_cast<std::ptrdiff_t>(width) * 4);
}

void Preview::RenderOutput(const std::function<void(long, long)>& progress) {
    const std::string& output = m_config.output;
    if (output.empty()) {
        throw Error("rendering: no output was named on the command line (--output)", ErrorKind::BadValue);
    }
    const InputSpec::Kind kind = m_input.Spec().kind;
    const bool video = kind == InputSpec::Kind::Video;
    if (video) {
        for (long i = 0; i < m_input.Count(); ++i) {
            if (SameFile(FrameName(output, i), m_input.Spec().path)) {
                throw Error("writing " + FrameName(output, i) + ": it is the input " + m_input.Spec().path +
                                " itself",
                            ErrorKind::BadValue);
            }
        }
    }
    ApplyRenderSettings(false);
    const PixelFormat format = Format();
    const long total = m_input.Still() ? 1 : m_input.Count();
    // Each frame with the values the keys give it, as `corvelle render --keys` sets them.
    const auto renderFrame = [&](long index) {
        const Picture layer = index == m_frame ? m_layer : m_input.Read(index, format);
        m_keys->Apply(*m_effect, KeyFrame(index));
        Picture out = MakePicture(format, m_input.Width(), m_input.Height());
        m_effect->Render(layer.View(), out.View());
        return out;
    };
    const auto restore = [&] {
        m_keys->Apply(*m_effect, KeyFrame(m_frame));
        ApplyRenderSettings(true);
    };
    try {
        if (kind == InputSpec::Kind::Raw) {
            RawFrameWriter writer(output);
            for (long i = 0; i < total; ++i) {
                Picture out = renderFrame(i);
                writer.Write(out.View());
                progress(i + 1, total);
            }
            writer.Finish();
        } else if (kind == InputSpec::Kind::Sequence || video) {
            for (long i = 0; i < total; ++i) {
                const Picture out = renderFrame(i);
                WritePicture(FrameName(output, KeyFrame(i)), out.View());
                progress(i + 1, total);
            }
        } else {
            const Picture out = renderFrame(m_frame);
            WritePicture(output, out.View());
            progress(1, 1);
        }
    } catch (...) {
        restore();
        throw;
    }
    restore();
}

std::string Preview::CommandNote() const {
    const InputSpec::Kind kind = m_input.Spec().kind;
    if (kind == InputSpec::Kind::Video && m_depth != 8) {
        return "A raw pipe carries 8-bit frames: the command renders at 8 bits.";
    }
    if (!m_keys->HasKeys()) {
        return "";
    }
    if (m_keys->Path().empty()) {
        return "The keys are not in this command: start the preview with --keys FILE to save them.";
    }
    if (m_keys->Unsaved(*m_effect)) {
        return "The command renders the keys as saved in " + m_keys->Path() +
               ": save to include the latest changes.";
    }
    return "";
}

std::string Preview::RenderCommand() const {
    const InputSpec& in = m_input.Spec();
    const bool sequence = in.kind == InputSpec::Kind::Sequence;
    const bool video = in.kind == InputSpec::Kind::Video;
    const bool raw = in.kind == InputSpec::Kind::Raw || video;
    const bool keysFile = m_keys->HasKeys() && !m_keys->Path().empty();
    const std::string size = std::to_string(m_input.Width()) + "x" + std::to_string(m_input.Height());
    // A video reaches `corvelle render` as raw frames in the compositor's or the editor's 8-bit layout.
    const std::string pixels = m_host == HostKind::Editor ? "bgra" : "argb";
    std::vector<std::string> words{"corvelle", "render"};
    if (video) {
        words.insert(words.end(), {"--raw", size, "-", "-"});
    } else {
        if (in.kind != InputSpec::Kind::BuiltIn) {
            words.push_back(in.path);
        }
        words.push_back(!m_config.output.empty() ? m_config.output
                        : sequence               ? "out.%04d.png"
                        : raw                    ? "out.raw"
                                                 : "out.png");
    }
    if (sequence) {
        words.push_back("--frames");
        words.push_back(std::to_string(in.first) + "-" + std::to_string(in.last));
    }
    if (in.kind == InputSpec::Kind::Raw) {
        words.push_back("--raw");
        words.push_back(size);
    }
    if (keysFile) {
        // The file holds every parameter's value, which would override any option.
        words.insert(words.end(), {"--keys", m_keys->Path()});
        if (m_input.Still() && KeyFrame(m_frame) != 0) {
            words.insert(words.end(), {"--frame", std::to_string(KeyFrame(m_frame))});
        }
    }
    for (const ParamInfo& info : m_effect->Params()) {
        if (info.type == ParamType::Layer || keysFile) {
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
    if (m_depth != 8 && !video) {
        words.insert(words.end(), {"--depth", std::to_string(m_depth)});
    }
    if (m_aspect.num != static_cast<int32_t>(m_aspect.den)) {
        words.insert(words.end(),
                     {"--par", std::to_string(m_aspect.num) + "/" + std::to_string(m_aspect.den)});
    }
    if (video) {
        // Decoded and written by ffmpeg, numbered from 0 as the preview's frames are.
        std::vector<std::string> decode{"ffmpeg", "-v",        "error",       "-i", in.path,    "-map",
                                        "0:v:0",  "-fps_mode", "passthrough", "-f", "rawvideo", "-pix_fmt",
                                        pixels,   "-"};
        std::vector<std::string> encode{
            "ffmpeg",   "-v",
            "error",    "-f",
            "rawvideo", "-pix_fmt",
            pixels,     "-s",
            size,       "-i",
            "-",        "-start_number",
            "0",        m_config.output.empty() ? "out.%04d.png" : m_config.output};
        decode.push_back("|");
        decode.insert(decode.end(), words.begin(), words.end());
        decode.push_back("|");
        decode.insert(decode.end(), encode.begin(), encode.end());
        words = std::move(decode);
    }
    std::string command;
    for (const std::string& word : words) {
        command += (command.empty() ? "" : " ") + (word == "|" ? word : ShellWord(word));
    }
    return command;
}

}   // namespace corvelle::serve
