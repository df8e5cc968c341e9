// Parses the effect and host options and applies them to an Effect by parameter key.
#include "options/EffectOptions.h"

#include <corvelle/text.h>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <utility>
#include <vector>

namespace corvelle {
namespace {

/// Digits only, no sign, into [min, max].
bool ParseWhole(const std::string& text, uint64_t min, uint64_t max, uint64_t& value) {
    return ParseUnsigned(text, min, max, value);
}

/// "N/D" with 0 < N and 0 < D, and N <= D when `atMostOne`.
bool ParseRatio(const std::string& text, bool atMostOne, Rational& ratio) {
    const std::size_t slash = text.find('/');
    if (slash == std::string::npos)
        return false;
    uint64_t num = 0;
    uint64_t den = 0;
    if (!ParseWhole(text.substr(0, slash), 1, 2147483647ULL, num))
        return false;
    if (!ParseWhole(text.substr(slash + 1), 1, 2147483647ULL, den))
        return false;
    if (atMostOne && num > den)
        return false;
    ratio.num = static_cast<int32_t>(num);
    ratio.den = static_cast<uint32_t>(den);
    return true;
}

CLI::ValidationError BadValue(const std::string& option, const std::string& expected,
                              const std::string& text) {
    return CLI::ValidationError(option, "expected " + expected + ", got '" + text + "'");
}

bool ParseChoice(const std::string& text, std::string& value) {
    if (text.empty())
        return false;
    value = text;
    return true;
}

/// An option whose text `parse` turns into its value; a text it refuses fails the parse.
template <class T>
void AddParsedOption(CLI::App* app, const std::string& name, std::optional<T>& target,
                     bool (*parse)(const std::string&, T&), const std::string& expected,
                     const std::string& valueText, const std::string& description) {
    app->add_option_function<std::string>(
           name,
           [&target, name, parse, expected](const std::string& text) {
               T value{};
               if (!parse(text, value))
                   throw BadValue(name, expected, text);
               target = value;
           },
           description)
        ->option_text(valueText);
}

void AddPopupOption(CLI::App* app, const std::string& name, std::optional<std::string>& target,
                    const std::string& description) {
    AddParsedOption(app, name, target, ParseChoice, "a choice name or number", "NAME", description);
}

void AddDecimalOption(CLI::App* app, const std::string& name, std::optional<double>& target,
                      const std::string& valueText, const std::string& description) {
    AddParsedOption(app, name, target, ParseDouble, "a finite number", valueText, description);
}

void AddFixedOption(CLI::App* app, const std::string& name, std::optional<int32_t>& target,
                    const std::string& valueText, const std::string& description) {
    AddParsedOption(app, name, target, ParseFixed, "a decimal number from -32768 to 32767.9999847412109375",
                    valueText, description);
}

/// An option taking one of a few words, each standing for a value; the help shows them as
/// "a|b|c" and a refusal lists them.
template <class T>
void AddWordOption(CLI::App* app, const std::string& name, T& target,
                   std::vector<std::pair<std::string, T>> words, const std::string& description) {
    std::string valueText;
    std::string expected;
    for (std::size_t i = 0; i < words.size(); ++i) {
        valueText += (i == 0 ? "" : "|") + words[i].first;
        expected += (i == 0 ? "" : i + 1 == words.size() ? " or " : ", ") + words[i].first;
    }
    app->add_option_function<std::string>(
           name,
           [&target, name, words, expected](const std::string& text) {
               for (const auto& [word, value] : words) {
                   if (text == word) {
                       target = value;
                       return;
                   }
               }
               throw BadValue(name, expected, text);
           },
           description)
        ->option_text(valueText);
}

/// Runs one setter, its refusal reported under the option's name.
template <class Set>
void Apply(const std::string& option, Set&& set) {
    try {
        set();
    } catch (const Error& e) {
        const std::string what = e.what();
        const std::size_t colon = what.find(": ");
        throw Error(option + ": " + (colon == std::string::npos ? what : what.substr(colon + 2)), e.Kind(),
                    e.ModuleCode());
    }
}

void ApplyPopup(Effect& effect, const char* key, const std::string& option,
                const std::optional<std::string>& text) {
    if (!text)
        return;
    Apply(option, [&] {
        int64_t value = 0;
        if (ParseInteger(*text, INT32_MIN, INT32_MAX, value)) {
            // The library keeps any number a saved project holds; a person typing one means a
            // choice the module offers.
            const std::size_t offered = effect.Param(key).choices.size();
            if (value < 1 || static_cast<uint64_t>(value) > offered) {
                throw Error(
                    std::string(key) + ": " + *text + " is not a choice from 1 to " + std::to_string(offered),
                    ErrorKind::BadValue);
            }
            effect.SetChoice(key, static_cast<int>(value));
        } else {
            effect.SetChoice(key, *text);
        }
    });
}

}   // namespace

bool ParseFixed(const std::string& text, int32_t& value) {
    int32_t v = 0;
    if (!ParseFixed16(text, v))
        return false;
    value = v;
    return true;
}

bool ParseDouble(const std::string& text, double& value) {
    return ParseDecimal(text, value);
}

void AddEffectOptions(CLI::App* app, EffectOptions& options) {
    AddPopupOption(app, "--shape", options.shape, "ellipse, rectangle or a choice number");
    app->add_option_function<std::string>(
           "--origin",
           [&options](const std::string& text) {
               const std::size_t comma = text.find(',');
               FixedPoint16 p;
               if (comma == std::string::npos || !ParseFixed(text.substr(0, comma), p.x) ||
                   !ParseFixed(text.substr(comma + 1), p.y)) {
                   throw BadValue("--origin", "X,Y in layer pixels", text);
               }
               options.origin = p;
           },
           "centre of the shape in layer pixels, X,Y (default the layer centre)")
        ->option_text("X,Y");
    AddDecimalOption(app, "--width", options.width, "PIXELS", "shape width in square pixels");
    AddDecimalOption(app, "--height", options.height, "PIXELS", "shape height in pixels");
    AddFixedOption(app, "--angle", options.angle, "DEGREES", "rotation in degrees, clockwise on screen");
    AddDecimalOption(app, "--feather", options.feather, "PIXELS", "feather width in square pixels");
    AddPopupOption(app, "--fill", options.fill, "color, transparent or a choice number");
    app->add_option_function<std::string>(
           "--color",
           [&options](const std::string& text) {
               uint8_t rgb[3] = {};
               if (!ParseHexRgb(text, rgb))
                   throw BadValue("--color", "RRGGBB in hexadecimal", text);
               options.color = Color8{rgb[0], rgb[1], rgb[2], 255};
           },
           "fill colour RRGGBB ('#' optional)")
        ->option_text("RRGGBB");
    AddFixedOption(app, "--opacity", options.opacity, "PERCENT", "fill opacity in percent");
    AddPopupOption(app, "--blend", options.blend, "blending mode name (normal, soft-light, ...) or number");
    app->add_flag("--invert", options.invert, "swap inside and outside");
    app->add_flag("--mask-only", options.maskOnly, "output the fill colour with the mask as alpha");
    AddPopupOption(app, "--falloff", options.falloff,
                   "linear, quadratic, cubic, gamma-2.2, gaussian, exponential or a number");
}

void AddHostOptions(CLI::App* app, HostOptions& options) {
    AddWordOption(app, "--host", options.host, {{"ae", HostKind::Compositor}, {"premiere", HostKind::Editor}},
                  "host to act as: ae (compositor, default) or premiere (editor)");
    AddWordOption(app, "--depth", options.depth,
                  {{"8", WorldDepth::Bits8}, {"16", WorldDepth::Bits16}, {"32", WorldDepth::Bits32}},
                  "bits per channel: 8 or 16 with ae, 8 or 32 (float) with premiere; default 8");
    app->add_option_function<std::string>(
           "--par",
           [&options](const std::string& text) {
               if (!ParseRatio(text, false, options.render.pixelAspect)) {
                   throw BadValue("--par", "a pixel aspect ratio N/D with N, D > 0", text);
               }
           },
           "pixel aspect ratio N/D (default 1/1)")
        ->option_text("N/D");
    app->add_option_function<std::string>(
           "--downsample",
           [&options](const std::string& text) {
               const std::size_t comma = text.find(',');
               const std::string x = text.substr(0, comma);
               const std::string y = comma == std::string::npos ? x : text.substr(comma + 1);
               if (!ParseRatio(x, true, options.render.downsampleX) ||
                   !ParseRatio(y, true, options.render.downsampleY)) {
                   throw BadValue("--downsample", "N/D or NX/DX,NY/DY with 0 < N <= D", text);
               }
           },
           "render downsampled by N/D, or NX/DX,NY/DY per axis")
        ->option_text("N/D[,N/D]");
    AddWordOption(app, "--quality", options.render.highQuality, {{"hi", true}, {"lo", false}},
                  "render quality: hi (default) or lo");
    app->add_option_function<std::string>(
           "--threads",
           [&options](const std::string& text) {
               uint64_t n = 0;
               if (!ParseWhole(text, 0, 1024, n))
                   throw BadValue("--threads", "a number from 0 (all cores) to 1024", text);
               options.render.threads = static_cast<unsigned>(n);
           },
           "threads that share a render's rows (with 2 or more, a raw stream or a sequence renders two "
           "frames at once); 0 = all cores (default)")
        ->option_text("N");
    app->add_option_function<std::string>(
           "--max-pixels",
           [&options](const std::string& text) {
               uint64_t n = 0;
               if (!ParseWhole(text, 1, 32767ULL * 32767ULL, n))
                   throw BadValue("--max-pixels", "a number from 1 to 1073676289 (32767x32767)", text);
               options.maxPixels = static_cast<long long>(n);
           },
           "refuse picture inputs of more pixels, before reading them (default 134217728, 16384x8192)")
        ->option_text("N");
    app->add_option("--module", options.modulePath,
                    "effect module to load (default: Corvelle.so beside the command)")
        ->option_text("PATH");
}

PixelFormat WorldLayout(const HostOptions& options) {
    switch (options.host) {
    case HostKind::Compositor:
        if (options.depth == WorldDepth::Bits8)
            return PixelFormat::Argb8;
        if (options.depth == WorldDepth::Bits16)
            return PixelFormat::Argb16;
        throw Error("--depth: the compositor (--host ae) renders 8 or 16 bits, not 32", ErrorKind::BadValue);
    case HostKind::Editor:
        if (options.depth == WorldDepth::Bits8)
            return PixelFormat::Bgra8;
        if (options.depth == WorldDepth::Bits32)
            return PixelFormat::BgraFloat;
        throw Error("--depth: the editor (--host premiere) renders 8 or 32 bits, not 16",
                    ErrorKind::BadValue);
    }
    throw Error("--host: unknown host", ErrorKind::BadValue);
}

LoadOptions MakeLoadOptions(const HostOptions& options, int layerWidth, int layerHeight) {
    WorldLayout(options);   // refuse a depth the host cannot render before anything runs
    LoadOptions load;
    load.modulePath = options.modulePath;
    load.host = options.host;
    load.layerWidth = layerWidth;
    load.layerHeight = layerHeight;
    load.render = options.render;
    return load;
}

void ApplyEffectOptions(const EffectOptions& options, Effect& effect) {
    constexpr double kFixedOne = 65536.0;
    ApplyPopup(effect, "shape", "--shape", options.shape);
    if (options.origin) {
        Apply("--origin", [&] {
            effect.SetPoint("origin", options.origin->x / kFixedOne, options.origin->y / kFixedOne);
        });
    }
    if (options.width)
        Apply("--width", [&] { effect.SetNumber("width", *options.width); });
    if (options.height)
        Apply("--height", [&] { effect.SetNumber("height", *options.height); });
    if (options.angle)
        Apply("--angle", [&] { effect.SetFixed("angle", *options.angle); });
    if (options.feather)
        Apply("--feather", [&] { effect.SetNumber("feather", *options.feather); });
    ApplyPopup(effect, "fill", "--fill", options.fill);
    if (options.color) {
        Apply("--color", [&] { effect.SetColor("color", *options.color); });
    }
    if (options.opacity)
        Apply("--opacity", [&] { effect.SetFixed("opacity", *options.opacity); });
    ApplyPopup(effect, "blend", "--blend", options.blend);
    if (options.invert)
        Apply("--invert", [&] { effect.SetCheckbox("invert", true); });
    if (options.maskOnly)
        Apply("--mask-only", [&] { effect.SetCheckbox("mask_only", true); });
    ApplyPopup(effect, "falloff", "--falloff", options.falloff);
}
}   // namespace corvelle
