// Command-line options that set the effect's parameters and the host's render settings,
// shared by every subcommand that runs the effect.
#pragma once

#include <corvelle/corvelle.h>
#include <corvelle/pictures.h>

#include <CLI/CLI.hpp>

#include <cstdint>
#include <optional>
#include <string>

namespace corvelle {

/// A point in layer pixels as 16.16 numbers, rounded from the decimals typed.
struct FixedPoint16 {
    int32_t x = 0;
    int32_t y = 0;
};

/// One parameter option per effect parameter; an option left out keeps the effect's default.
/// Popups hold the text as given (a choice name or an integer): names are matched against the
/// choices the module registers, so they are resolved only after ParamsSetup.
struct EffectOptions {
    std::optional<std::string> shape;
    std::optional<FixedPoint16> origin;   // layer pixels, 16.16
    std::optional<double> width;
    std::optional<double> height;
    std::optional<int32_t> angle;   // degrees, 16.16
    std::optional<double> feather;
    std::optional<std::string> fill;
    std::optional<Color8> color;      // alpha always 255
    std::optional<int32_t> opacity;   // percent, 16.16
    std::optional<std::string> blend;
    bool invert = false;   // only switches on: off is the default
    bool maskOnly = false;
    std::optional<std::string> falloff;
};

/// Bit depth of the world the host renders; which ones exist depends on the host.
enum class WorldDepth { Bits8 = 8, Bits16 = 16, Bits32 = 32 };

struct HostOptions {
    HostKind host = HostKind::Compositor;
    RenderSettings render;   // downsample, pixel aspect, quality and threads
    WorldDepth depth = WorldDepth::Bits8;
    std::string modulePath;                           // empty = the module beside the command
    long long maxPixels = kDefaultMaxPicturePixels;   // picture inputs with more are refused unread
};

/// Adds --shape, --origin, --width, --height, --angle, --feather, --fill, --color, --opacity,
/// --blend, --invert, --mask-only and --falloff; malformed values fail the parse.
void AddEffectOptions(CLI::App* app, EffectOptions& options);
/// Adds --host, --depth, --par, --downsample, --quality, --threads, --module and --max-pixels.
void AddHostOptions(CLI::App* app, HostOptions& options);

/// What loads the effect for a layer of `layerWidth` × `layerHeight`. Throws Error (BadValue)
/// when the chosen host cannot render the chosen depth.
LoadOptions MakeLoadOptions(const HostOptions& options, int layerWidth, int layerHeight);
/// The pixel format the chosen host renders at the chosen depth; throws Error as above.
PixelFormat WorldLayout(const HostOptions& options);

/// Sets every given option on an effect, finding each parameter by its key through the public
/// setters. Throws Error for a popup name
/// the module does not offer, a value outside a slider's valid range, or a refused update.
void ApplyEffectOptions(const EffectOptions& options, Effect& effect);

/// A decimal number ([+-]digits[.digits]) in 16.16, rounded to nearest with ties away from
/// zero, computed exactly from the digits; false when malformed or outside the 16.16 range.
bool ParseFixed(const std::string& text, int32_t& value);
/// A finite decimal number from the whole text (ParseDecimal); false otherwise.
bool ParseDouble(const std::string& text, double& value);

}   // namespace corvelle
