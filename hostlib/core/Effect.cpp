// The public face of the host library: one effect instance with its parameters, renders and controls.
#include "core/EffectImpl.h"

#include "controls/OverlayCanvas.h"
#include "controls/OverlayDrawing.h"
#include "params/ModuleDescription.h"
#include "params/ParamKeys.h"
#include "params/ParamSnapshot.h"
#include "pixels/PointSample.h"
#include "core/World.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

namespace corvelle {

Error::Error(const std::string& message, ErrorKind kind, int moduleCode)
    : std::runtime_error(message), m_kind(kind), m_moduleCode(moduleCode) {}

namespace {

constexpr int kMaxLayerSide = 32767;
constexpr double kFixedOne = 65536.0;

std::string Lower(std::string text) {
    for (char& c : text) {
        c = (c == '-' || c == '_') ? ' ' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

std::string NameOf(const PF_ParamDef& def) {
    return std::string(def.name, strnlen(def.name, sizeof def.name));
}

ParamType TypeOf(PF_ParamType type) {
    switch (type) {
    case PF_Param_FLOAT_SLIDER: return ParamType::FloatSlider;
    case PF_Param_FIX_SLIDER: return ParamType::FixedSlider;
    case PF_Param_ANGLE: return ParamType::Angle;
    case PF_Param_CHECKBOX: return ParamType::Checkbox;
    case PF_Param_COLOR: return ParamType::Color;
    case PF_Param_POINT: return ParamType::Point;
    case PF_Param_POPUP: return ParamType::Popup;
    default: return ParamType::Layer;
    }
}

/// The offered choices: the first num_choices names of the bar-separated text.
std::vector<std::string> ChoicesOf(const PF_ParamDef& def) {
    std::vector<std::string> names;
    const char* text = def.u.pd.u.namesptr;
    std::string name;
    for (const char* p = text ? text : "";; ++p) {
        if (*p == '|' || *p == '\0') {
            if (static_cast<int>(names.size()) < def.u.pd.num_choices) {
                names.push_back(name);
            }
            name.clear();
            if (*p == '\0') {
                break;
            }
        } else {
            name += *p;
        }
    }
    names.resize(static_cast<std::size_t>(std::max<A_short>(def.u.pd.num_choices, 0)));
    return names;
}

Color8 ColorOf(const PF_Pixel& p) {
    return Color8{p.red, p.green, p.blue, p.alpha};
}

double FromFixed(PF_Fixed v) {
    return static_cast<double>(v) / kFixedOne;
}

/// value × 65536 rounded to nearest, ties away from zero; false outside the 16.16 range or NaN.
bool ToFixed(double value, PF_Fixed& fixed) {
    const double scaled = value * kFixedOne;
    if (!(scaled >= -2147483648.0 && scaled < 2147483647.5)) {
        return false;
    }
    const double rounded = std::round(scaled);
    if (rounded > 2147483647.0) {
        return false;
    }
    fixed = static_cast<PF_Fixed>(rounded);
    return true;
}

ParamValue ValueOf(const PF_ParamDef& def, bool dephault) {
    ParamValue v;
    switch (def.param_type) {
    case PF_Param_FLOAT_SLIDER:
        v.number = dephault ? static_cast<double>(def.u.fs_d.dephault) : def.u.fs_d.value;
        break;
    case PF_Param_FIX_SLIDER: v.number = FromFixed(dephault ? def.u.fd.dephault : def.u.fd.value); break;
    case PF_Param_ANGLE: v.number = FromFixed(dephault ? def.u.ad.dephault : def.u.ad.value); break;
    case PF_Param_CHECKBOX: v.checked = (dephault ? def.u.bd.dephault : def.u.bd.value) != 0; break;
    case PF_Param_COLOR: v.color = ColorOf(dephault ? def.u.cd.dephault : def.u.cd.value); break;
    case PF_Param_POINT:
        v.x = FromFixed(dephault ? def.u.td.x_dephault : def.u.td.x_value);
        v.y = FromFixed(dephault ? def.u.td.y_dephault : def.u.td.y_value);
        break;
    case PF_Param_POPUP: v.choice = dephault ? def.u.pd.dephault : def.u.pd.value; break;
    default: break;
    }
    return v;
}

std::string Shortest(double v) {
    return Decimal(v);
}

HostError BadValue(const std::string& what) {
    return HostError(what, ErrorKind::BadValue);
}

void CheckView(const char* what, int width, int height, std::ptrdiff_t rowBytes, const void* data,
               PixelFormat format) {
    const std::size_t minimum = static_cast<std::size_t>(std::max(width, 0)) * BytesPerPixel(format);
    if (width <= 0 || height <= 0 || width > kMaxLayerSide || height > kMaxLayerSide || data == nullptr ||
        rowBytes < 0 || static_cast<std::size_t>(rowBytes) < minimum) {
        throw BadValue(std::string("cannot render: the ") + what + " picture (" + std::to_string(width) +
                       "x" + std::to_string(height) + ", rows of " + std::to_string(rowBytes) +
                       " bytes) is empty, too large or has rows too short");
    }
}

bool IsFullSize(const HostSettings& settings) {
    return settings.downsampleX.num == static_cast<A_long>(settings.downsampleX.den) &&
           settings.downsampleY.num == static_cast<A_long>(settings.downsampleY.den);
}

A_long Downsampled(A_long size, const PF_RationalScale& scale) {
    // As the host's point sampler counts: ceil(size × num / den).
    const int64_t num = static_cast<int64_t>(size) * scale.num;
    return static_cast<A_long>((num + static_cast<int64_t>(scale.den) - 1) / static_cast<int64_t>(scale.den));
}

}   // namespace

// ---- Impl ------------------------------------------------------------------------------------

Effect::Impl::Impl(std::shared_ptr<ModuleLibrary> loaded, const HostSettings& settings)
    : module(std::move(loaded)), host(module->Entry(), settings) {}

EventWindow& Effect::Impl::Window() {
    if (!eventWindow) {
        eventWindow = std::make_unique<EventWindow>(host, ToWindowOptions(window), host.Settings().layerWidth,
                                                    host.Settings().layerHeight);
        drag = std::make_unique<DragSession>(host, *eventWindow);
    }
    return *eventWindow;
}

void Effect::Impl::Check(PF_Err err, const std::string& what) const {
    if (err == PF_Err_NONE) {
        return;
    }
    std::string why = "the module returned error " + std::to_string(err);
    const PF_OutData& out = host.OutData();
    if ((out.out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE) != 0) {
        const std::string message(out.return_msg, strnlen(out.return_msg, sizeof out.return_msg));
        if (!message.empty()) {
            why += ": " + message;
        }
    }
    throw HostError(what + ": " + why,
                    err == PF_Err_OUT_OF_MEMORY ? ErrorKind::OutOfMemory : ErrorKind::Module, err);
}

// ---- Loading -------------------------------------------------------------------------------

std::unique_ptr<Effect::Impl> Effect::Impl::Create(const std::string& path, const HostSettings& settings,
                                                   const FaultPlan& faults) {
    if (settings.layerWidth <= 0 || settings.layerHeight <= 0 || settings.layerWidth > kMaxLayerSide ||
        settings.layerHeight > kMaxLayerSide) {
        throw BadValue("cannot make an effect for a " + std::to_string(settings.layerWidth) + "x" +
                       std::to_string(settings.layerHeight) + " layer: each side must be 1 to " +
                       std::to_string(kMaxLayerSide));
    }
    auto impl =
        std::make_unique<Impl>(ModuleLibrary::Shared(path.empty() ? DefaultModulePath() : path), settings);
    impl->host.SetBalancePolicy(BalancePolicy::Warn);
    impl->host.Trace().SetEnabled(false);   // a front-end asks for a trace where it wants one
    impl->host.SetClampWrittenValues(true);
    impl->host.Faults() = faults;
    impl->Check(impl->host.GlobalSetup(), "setting up the effect");
    impl->Check(impl->host.ParamsSetup(), "setting up the effect's parameters");
    return impl;
}

namespace {

/// Puts `wanted` into `settings`; throws Error (BadValue) for factors the host cannot use.
void ApplyRenderSettings(const RenderSettings& wanted, HostSettings& settings) {
    const auto valid = [](const Rational& r, bool atMostOne) {
        return r.num > 0 && r.den > 0 && r.den <= 0x7fffffffu &&
               (!atMostOne || static_cast<uint32_t>(r.num) <= r.den);
    };
    if (!valid(wanted.downsampleX, true) || !valid(wanted.downsampleY, true) ||
        !valid(wanted.pixelAspect, false)) {
        throw BadValue(
            "render settings: downsample factors are N/D with 0 < N <= D, the pixel aspect N/D with N, D > "
            "0");
    }
    settings.downsampleX = PF_RationalScale{wanted.downsampleX.num, wanted.downsampleX.den};
    settings.downsampleY = PF_RationalScale{wanted.downsampleY.num, wanted.downsampleY.den};
    settings.pixelAspect = PF_RationalScale{wanted.pixelAspect.num, wanted.pixelAspect.den};
    settings.quality = wanted.highQuality ? PF_Quality_HI : PF_Quality_LO;
    settings.threads = wanted.threads;
}

}   // namespace

HostSettings HostSettingsFor(const LoadOptions& options) {
    HostSettings settings;
    settings.app = options.host == HostKind::Editor ? HostApp::Premiere : HostApp::AfterEffects;
    settings.layerWidth = options.layerWidth;
    settings.layerHeight = options.layerHeight;
    ApplyRenderSettings(options.render, settings);
    return settings;
}

Effect::Effect(const LoadOptions& options)
    : m_impl(Impl::Create(options.modulePath, HostSettingsFor(options))) {}

Effect::Effect(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {
    if (!m_impl) {
        throw HostError("cannot make an effect without an instance", ErrorKind::BadValue);
    }
}

Effect::~Effect() = default;
Effect::Effect(Effect&&) noexcept = default;
Effect& Effect::operator=(Effect&&) noexcept = default;

std::string Effect::DefaultModulePath() {
    return ModuleLibrary::DefaultPath();
}

HostKind Effect::ActingAs() const {
    return m_impl->host.Settings().app == HostApp::Premiere ? HostKind::Editor : HostKind::Compositor;
}

const std::string& Effect::ModulePath() const {
    return m_impl->module->Path();
}

int Effect::LayerWidth() const {
    return m_impl->host.Settings().layerWidth;
}

int Effect::LayerHeight() const {
    return m_impl->host.Settings().layerHeight;
}

std::string Effect::About() {
    std::string text;
    m_impl->Check(m_impl->host.About(&text), "about");
    return text;
}

ModuleVersion Effect::Version() const {
    const A_u_long word = m_impl->host.ModuleVersionWord();
    ModuleVersion version;
    version.word = word;
    version.major = static_cast<int>((word >> PF_VERS_VERS_SHIFT) & PF_VERS_VERS_BITS);
    version.minor = static_cast<int>((word >> PF_VERS_SUBVERS_SHIFT) & PF_VERS_SUBVERS_BITS);
    version.fix = static_cast<int>((word >> PF_VERS_BUGFIX_SHIFT) & PF_VERS_BUGFIX_BITS);
    version.stage = static_cast<int>((word >> PF_VERS_STAGE_SHIFT) & PF_VERS_STAGE_BITS);
    version.build = static_cast<int>((word >> PF_VERS_BUILD_SHIFT) & PF_VERS_BUILD_BITS);
    version.text = DescribeVersion(word)["text"].get<std::string>();
    return version;
}

// ---- Parameters ---------------------------------------------------------------------------

namespace {

int FindIndex(corvelle::Host& host, const std::string& keyOrName) {
    const std::vector<PF_ParamDef>& registered = host.RegisteredParams();
    const A_long id = IdOfKey(keyOrName);
    const std::string wanted = Lower(keyOrName);
    for (std::size_t i = 0; i < registered.size(); ++i) {
        const int index = static_cast<int>(i) + 1;
        if ((id != 0 && registered[i].uu.id == id) || Lower(host.UIState(index).name) == wanted ||
            Lower(NameOf(registered[i])) == wanted) {
            return index;
        }
    }
    throw BadValue("no parameter named '" + keyOrName + "'");
}

ParamInfo InfoOf(corvelle::Host& host, int index) {
    const PF_ParamDef& reg = host.RegisteredParams()[static_cast<std::size_t>(index) - 1];
    const PF_ParamDef& current = host.Param(index);
    const ParamUIState ui = host.UIState(index);
    ParamInfo info;
    info.index = index;
    info.id = reg.uu.id;
    info.key = KeyOfId(reg.uu.id);
    info.name = ui.name;
    info.type = TypeOf(reg.param_type);
    info.enabled = !ui.disabled;
    info.animatable = (reg.flags & PF_ParamFlag_CANNOT_TIME_VARY) == 0;
    info.defaultValue = ValueOf(reg, true);
    (void)current;
    switch (reg.param_type) {
    case PF_Param_FLOAT_SLIDER:
        info.validMin = static_cast<double>(reg.u.fs_d.valid_min);
        info.validMax = static_cast<double>(reg.u.fs_d.valid_max);
        info.sliderMin = static_cast<double>(reg.u.fs_d.slider_min);
        info.sliderMax = static_cast<double>(reg.u.fs_d.slider_max);
        break;
    case PF_Param_FIX_SLIDER:
        info.validMin = FromFixed(reg.u.fd.valid_min);
        info.validMax = FromFixed(reg.u.fd.valid_max);
        info.sliderMin = FromFixed(reg.u.fd.slider_min);
        info.sliderMax = FromFixed(reg.u.fd.slider_max);
        break;
    case PF_Param_ANGLE:
        // An angle registered without a range takes any 16.16 value.
        if (reg.u.ad.valid_min < reg.u.ad.valid_max) {
            info.validMin = FromFixed(reg.u.ad.valid_min);
            info.validMax = FromFixed(reg.u.ad.valid_max);
        } else {
            info.validMin = FromFixed(std::numeric_limits<PF_Fixed>::min());
            info.validMax = FromFixed(std::numeric_limits<PF_Fixed>::max());
        }
        info.sliderMin = info.validMin;
        info.sliderMax = info.validMax;
        break;
    case PF_Param_POINT:
        // A point's default is a percentage of the layer; the host sets it in layer pixels.
        info.defaultValue.x = info.defaultValue.x * host.Settings().layerWidth / 100.0;
        info.defaultValue.y = info.defaultValue.y * host.Settings().layerHeight / 100.0;
        break;
    case PF_Param_POPUP: info.choices = ChoicesOf(reg); break;
    default: break;
    }
    return info;
}

void RequireType(const ParamInfo& info, std::initializer_list<ParamType> types, const char* what) {
    if (std::find(types.begin(), types.end(), info.type) == types.end()) {
        throw BadValue("parameter '" + (info.key.empty() ? info.name : info.key) + "' takes no " + what);
    }
}

/// The value kept within the valid range, or refused.
double Ranged(const ParamInfo& info, double value, OutOfRange range) {
    const std::string label = info.key.empty() ? info.name : info.key;
    if (std::isnan(value)) {
        throw BadValue(label + ": not a number");
    }
    if (value >= info.validMin && value <= info.validMax) {
        return value;
    }
    if (range == OutOfRange::Clamp) {
        return std::clamp(value, info.validMin, info.validMax);
    }
    throw BadValue(label + ": " + Shortest(value) + " is not between " + Shortest(info.validMin) + " and " +
                   Shortest(info.validMax));
}

}   // namespace

std::vector<ParamInfo> Effect::Params() const {
    std::vector<ParamInfo> params;
    for (std::size_t index = 1; index < m_impl->host.ParamCount(); ++index) {
        params.push_back(InfoOf(m_impl->host, static_cast<int>(index)));
    }
    return params;
}

ParamInfo Effect::Param(const std::string& keyOrName) const {
    return InfoOf(m_impl->host, FindIndex(m_impl->host, keyOrName));
}

ParamInfo Effect::Param(int persistentId) const {
    const std::vector<PF_ParamDef>& registered = m_impl->host.RegisteredParams();
    for (std::size_t i = 0; i < registered.size(); ++i) {
        if (registered[i].uu.id == persistentId) {
            return InfoOf(m_impl->host, static_cast<int>(i) + 1);
        }
    }
    throw BadValue("no parameter with id " + std::to_string(persistentId));
}

ParamValue Effect::Get(const std::string& keyOrName) const {
    return ValueOf(m_impl->host.Param(FindIndex(m_impl->host, keyOrName)), false);
}

ParamValue Effect::Get(int persistentId) const {
    return Get(Param(persistentId).key);
}

void Effect::Impl::Change(int index, const std::string& label,
                          const std::function<bool(const PF_ParamDef&)>& differs,
                          const std::function<void(PF_ParamDef&)>& change) {
    if (!differs(host.Param(index))) {
        return;
    }
    Check(host.ChangeParam(index, change), label);
}

void Effect::SetNumber(const std::string& keyOrName, double value, OutOfRange range) {
    const ParamInfo info = Param(keyOrName);
    RequireType(info, {ParamType::FloatSlider, ParamType::FixedSlider, ParamType::Angle}, "number");
    const double v = Ranged(info, value, range);
    if (info.type == ParamType::FloatSlider) {
        m_impl->Change(
            info.index, "setting " + info.key, [v](const PF_ParamDef& p) { return !(p.u.fs_d.value == v); },
            [v](PF_ParamDef& p) { p.u.fs_d.value = v; });
        return;
    }
    PF_Fixed fixed = 0;
    if (!ToFixed(v, fixed)) {
        throw BadValue(info.key + ": " + Shortest(v) + " is outside the 16.16 range");
    }
    SetFixed(keyOrName, fixed, range);
}

void Effect::SetFixed(const std::string& keyOrName, int32_t fixed, OutOfRange range) {
    const ParamInfo info = Param(keyOrName);
    RequireType(info, {ParamType::FixedSlider, ParamType::Angle}, "16.16 number");
    const double v = Ranged(info, FromFixed(fixed), range);
    PF_Fixed stored = fixed;
    if (v != FromFixed(fixed) && !ToFixed(v, stored)) {
        throw BadValue(info.key + ": " + Shortest(v) + " is outside the 16.16 range");
    }
    const bool angle = info.type == ParamType::Angle;
    m_impl->Change(
        info.index, "setting " + info.key,
        [stored, angle](const PF_ParamDef& p) { return (angle ? p.u.ad.value : p.u.fd.value) != stored; },
        [stored, angle](PF_ParamDef& p) { (angle ? p.u.ad.value : p.u.fd.value) = stored; });
}

void Effect::SetPoint(const std::string& keyOrName, double x, double y) {
    const ParamInfo info = Param(keyOrName);
    RequireType(info, {ParamType::Point}, "point");
    PF_Fixed fx = 0;
    PF_Fixed fy = 0;
    if (!ToFixed(x, fx) || !ToFixed(y, fy)) {
        throw BadValue(info.key + ": (" + Shortest(x) + ", " + Shortest(y) + ") is outside the 16.16 range");
    }
    m_impl->Change(
        info.index, "setting " + info.key,
        [fx, fy](const PF_ParamDef& p) { return p.u.td.x_value != fx || p.u.td.y_value != fy; },
        [fx, fy](PF_ParamDef& p) {
            p.u.td.x_value = fx;
            p.u.td.y_value = fy;
        });
}

void Effect::SetColor(const std::string& keyOrName, Color8 color) {
    const ParamInfo info = Param(keyOrName);
    RequireType(info, {ParamType::Color}, "colour");
    PF_Pixel pixel{};
    pixel.alpha = color.alpha;
    pixel.red = color.red;
    pixel.green = color.green;
    pixel.blue = color.blue;
    m_impl->Change(
        info.index, "setting " + info.key,
        [pixel](const PF_ParamDef& p) {
            const PF_Pixel& c = p.u.cd.value;
            return c.alpha != pixel.alpha || c.red != pixel.red || c.green != pixel.green ||
                   c.blue != pixel.blue;
        },
        [pixel](PF_ParamDef& p) { p.u.cd.value = pixel; });
}

void Effect::SetChoice(const std::string& keyOrName, int value, OutOfRange range) {
    const ParamInfo info = Param(keyOrName);
    RequireType(info, {ParamType::Popup}, "choice");
    const int count = static_cast<int>(info.choices.size());
    if (value < 1 || value > count) {
        if (range == OutOfRange::Refuse) {
            throw BadValue(info.key + ": " + std::to_string(value) + " is not a choice from 1 to " +
                           std::to_string(count));
        }
        value = std::clamp(value, 1, count);
    }
    m_impl->Change(
        info.index, "setting " + info.key, [value](const PF_ParamDef& p) { return p.u.pd.value != value; },
        [value](PF_ParamDef& p) { p.u.pd.value = value; });
}

void Effect::SetChoice(const std::string& keyOrName, const std::string& choiceName) {
    const ParamInfo info = Param(keyOrName);
    RequireType(info, {ParamType::Popup}, "choice");
    const std::string wanted = Lower(choiceName);
    std::string offered;
    if (wanted.empty()) {
        throw BadValue(info.key + ": an empty text names no choice");
    }
    for (std::size_t i = 0; i < info.choices.size(); ++i) {
        if (Lower(info.choices[i]) == wanted) {
            SetChoice(keyOrName, static_cast<int>(i) + 1);
            return;
        }
        std::string shown = Lower(info.choices[i]);
        std::replace(shown.begin(), shown.end(), ' ', '-');
        offered += (i == 0 ? "" : ", ") + shown;
    }
    throw BadValue(info.key + ": '" + choiceName + "' is not one of " + offered);
}

void Effect::SetCheckbox(const std::string& keyOrName, bool checked) {
    const ParamInfo info = Param(keyOrName);
    RequireType(info, {ParamType::Checkbox}, "checkbox value");
    const A_long v = checked ? 1 : 0;
    m_impl->Change(
        info.index, "setting " + info.key,
        [v](const PF_ParamDef& p) { return (p.u.bd.value != 0) != (v != 0); },
        [v](PF_ParamDef& p) { p.u.bd.value = v; });
}

std::string Effect::ParamsJson() {
    return ParamSnapshot(m_impl->host).dump();
}

void Effect::ResetParams() {
    m_impl->Check(m_impl->host.ParamsSetup(), "resetting the effect's parameters");
}

// ---- Time, settings, layer --------------------------------------------------------------------

void Effect::SetTime(const TimeSpec& time) {
    if (time.timeScale == 0) {
        throw BadValue("setting the time: the time scale must not be 0");
    }
    HostSettings& settings = m_impl->host.Settings();
    settings.currentTime = time.currentTime;
    settings.timeStep = time.timeStep;
    settings.timeScale = time.timeScale;
}

TimeSpec Effect::Time() const {
    const HostSettings& settings = m_impl->host.Settings();
    return TimeSpec{settings.currentTime, settings.timeStep, settings.timeScale};
}

void Effect::SetRenderSettings(const RenderSettings& wanted) {
    ApplyRenderSettings(wanted, m_impl->host.Settings());
}

RenderSettings Effect::GetRenderSettings() const {
    const HostSettings& settings = m_impl->host.Settings();
    RenderSettings out;
    out.downsampleX = Rational{settings.downsampleX.num, settings.downsampleX.den};
    out.downsampleY = Rational{settings.downsampleY.num, settings.downsampleY.den};
    out.pixelAspect = Rational{settings.pixelAspect.num, settings.pixelAspect.den};
    out.highQuality = settings.quality == PF_Quality_HI;
    out.threads = settings.threads;
    return out;
}

void Effect::SetLayerSize(int width, int height) {
    if (width <= 0 || height <= 0 || width > kMaxLayerSide || height > kMaxLayerSide) {
        throw BadValue("layer size " + std::to_string(width) + "x" + std::to_string(height) +
                       ": each side must be 1 to " + std::to_string(kMaxLayerSide));
    }
    m_impl->host.Settings().layerWidth = width;
    m_impl->host.Settings().layerHeight = height;
    m_impl->drag.reset();
    m_impl->eventWindow.reset();
}

std::vector<PixelFormat> Effect::Formats() const {
    if (ActingAs() == HostKind::Editor) {
        return {PixelFormat::Bgra8, PixelFormat::BgraFloat};
    }
    return {PixelFormat::Argb8, PixelFormat::Argb16};
}

// ---- Render -----------------------------------------------------------------------------------

int Effect::OutputWidth() const {
    const HostSettings& settings = m_impl->host.Settings();
    return IsFullSize(settings) ? settings.layerWidth
                                : Downsampled(settings.layerWidth, settings.downsampleX);
}

int Effect::OutputHeight() const {
    const HostSettings& settings = m_impl->host.Settings();
    return IsFullSize(settings) ? settings.layerHeight
                                : Downsampled(settings.layerHeight, settings.downsampleY);
}

void Effect::Render(const ConstImageView& input, const ImageView& output) {
    CheckView("input", input.width, input.height, input.rowBytes, input.data, input.format);
    CheckView("output", output.width, output.height, output.rowBytes, output.data, output.format);
    const std::vector<PixelFormat> formats = Formats();
    if (input.format != output.format ||
        std::find(formats.begin(), formats.end(), input.format) == formats.end()) {
        throw BadValue("cannot render: this host renders neither that input format nor that output format");
    }
    const HostSettings& settings = m_impl->host.Settings();
    if (input.width != settings.layerWidth || input.height != settings.layerHeight) {
        throw BadValue("cannot render: the input is " + std::to_string(input.width) + "x" +
                       std::to_string(input.height) + " but the layer is " +
                       std::to_string(settings.layerWidth) + "x" + std::to_string(settings.layerHeight));
    }
    const bool fullSize = IsFullSize(settings);
    const A_long outWidth = OutputWidth();
    const A_long outHeight = OutputHeight();
    if (output.width != outWidth || output.height != outHeight) {
        throw BadValue("cannot render: the output must be " + std::to_string(outWidth) + "x" +
                       std::to_string(outHeight) + ", not " + std::to_string(output.width) + "x" +
                       std::to_string(output.height));
    }
    try {
        // The module only reads its input; the record type has no const.
        World in = World::Borrow(input.format, input.width, input.height,
                                 static_cast<std::size_t>(input.rowBytes), const_cast<void*>(input.data));
        World out = World::Borrow(output.format, output.width, output.height,
                                  static_cast<std::size_t>(output.rowBytes), output.data);
        if (fullSize) {
            m_impl->Check(m_impl->host.Render(in, out), "rendering");
            return;
        }
        PointSample(in, settings.downsampleX, settings.downsampleY, m_impl->sampledLayer);
        m_impl->Check(m_impl->host.Render(*m_impl->sampledLayer, out), "rendering");
    } catch (const std::bad_alloc&) {
        throw HostError("rendering: not enough memory for a " + std::to_string(input.width) + "x" +
                            std::to_string(input.height) + " picture",
                        ErrorKind::OutOfMemory);
    }
}

// ---- Controls ---------------------------------------------------------------------------------

void Effect::SetWindow(const WindowSpec& spec) {
    // Made now, so a window the host cannot show is refused here rather than at the next event.
    auto made =
        std::make_unique<EventWindow>(m_impl->host, ToWindowOptions(spec), LayerWidth(), LayerHeight());
    m_impl->window = spec;
    m_impl->drag = std::make_unique<DragSession>(m_impl->host, *made);
    m_impl->eventWindow = std::move(made);
}

WindowSpec Effect::Window() const {
    return m_impl->window;
}

int Effect::WindowWidth() const {
    return m_impl->Window().Width();
}

int Effect::WindowHeight() const {
    return m_impl->Window().Height();
}

double Effect::LayerLeft() const {
    return m_impl->Window().LayerLeft();
}

double Effect::LayerTop() const {
    return m_impl->Window().LayerTop();
}

void Effect::DrawControls(cairo_t* cr) {
    OverlayCanvas canvas(cr);
    SendDrawEvent(m_impl->host, m_impl->Window(), canvas);
}

void Effect::DrawWindow(const ConstImageView* rendered, const ImageView& rgbaWindow) {
    EventWindow& window = m_impl->Window();
    if (rgbaWindow.width != window.Width() || rgbaWindow.height != window.Height() || !rgbaWindow.data ||
        rgbaWindow.rowBytes < static_cast<std::ptrdiff_t>(4) * rgbaWindow.width) {
        throw BadValue("drawing the window: the picture must be " + std::to_string(window.Width()) + "x" +
                       std::to_string(window.Height()) + " RGBA");
    }
    OverlayCanvas canvas(window.Width(), window.Height());
    if (rendered) {
        CheckView("rendered", rendered->width, rendered->height, rendered->rowBytes, rendered->data,
                  rendered->format);
        const World picture =
            World::Borrow(rendered->format, rendered->width, rendered->height,
                          static_cast<std::size_t>(rendered->rowBytes), const_cast<void*>(rendered->data));
        PaintRenderedLayer(canvas, m_impl->host, window, picture);
    }
    SendDrawEvent(m_impl->host, window, canvas);
    canvas.CopyStraightRgba(static_cast<uint8_t*>(rgbaWindow.data), rgbaWindow.rowBytes);
}

void Effect::WriteWindowPng(const ConstImageView* rendered, const std::string& pngPath,
                            const std::string& tracePath) {
    EventWindow& window = m_impl->Window();
    std::optional<World> picture;
    if (rendered) {
        CheckView("rendered", rendered->width, rendered->height, rendered->rowBytes, rendered->data,
                  rendered->format);
        picture =
            World::Borrow(rendered->format, rendered->width, rendered->height,
                          static_cast<std::size_t>(rendered->rowBytes), const_cast<void*>(rendered->data));
    }
    DrawOverlay(m_impl->host, window, picture ? &*picture : nullptr, pngPath, tracePath);
}

Handle Effect::HitTest(int x, int y) {
    // A click only asks the module which handle lies there; a session of its own keeps the
    // user's drag, if any, untouched, and the click's values are never kept.
    DragSession probe(m_impl->host, m_impl->Window());
    m_impl->Check(probe.Press(WindowPixel{x, y}), "hit test");
    const A_intptr_t grabbed = probe.Refcon();
    return grabbed >= 1 && grabbed <= static_cast<A_intptr_t>(Handle::Opacity) ? static_cast<Handle>(grabbed)
                                                                               : Handle::None;
}

Handle Effect::Press(int x, int y) {
    m_impl->Window();
    m_impl->beforeDrag = ParamSnapshot(m_impl->host);
    m_impl->Check(m_impl->drag->Press(WindowPixel{x, y}), "mouse press");
    const A_intptr_t grabbed = m_impl->drag->Refcon();
    return grabbed >= 1 && grabbed <= static_cast<A_intptr_t>(Handle::Opacity) ? static_cast<Handle>(grabbed)
                                                                               : Handle::None;
}

void Effect::Move(int x, int y) {
    m_impl->Window();
    m_impl->Check(m_impl->drag->Move(WindowPixel{x, y}), "mouse move");
}

std::vector<std::string> Effect::Release(int x, int y) {
    m_impl->Window();
    m_impl->Check(m_impl->drag->Release(WindowPixel{x, y}), "mouse release");
    if (m_impl->beforeDrag.is_null()) {
        return {};
    }
    std::vector<std::string> changed = ChangedParams(m_impl->beforeDrag, ParamSnapshot(m_impl->host));
    m_impl->beforeDrag = nullptr;
    return changed;
}

bool Effect::Dragging() const {
    return m_impl->drag && m_impl->drag->Dragging();
}

}   // namespace corvelle
