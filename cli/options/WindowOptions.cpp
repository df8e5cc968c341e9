// Reads the window options; a bad value stops the command before anything is loaded.
#include "options/WindowOptions.h"

#include <corvelle/text.h>

#include <cmath>

namespace corvelle {
namespace {

// Windows stay far inside the 16.16 range of the event callbacks (±32767 pixels).
constexpr long kMaxCoordinate = 10000;
constexpr long kMaxWindowPixel = 1000000;

bool ParseNumber(const std::string& text, double& value) {
    return ParseDecimal(text, value);
}

// Echoes the number as typed (`text` is the X,Y pair, `first` says which half).
void RequireWithin(double value, long limit, const std::string& what, const std::string& text, bool first) {
    if (std::fabs(value) > static_cast<double>(limit)) {
        const std::size_t comma = text.find(',');
        const std::string typed = first ? text.substr(0, comma) : text.substr(comma + 1);
        throw Error(what + ": " + typed + " is not between -" + std::to_string(limit) + " and " +
                        std::to_string(limit),
                    ErrorKind::BadValue);
    }
}

// A value refused while CLI11 parses is a wrong command line like any other.
template <class Parse>
void RefuseAsParseError(Parse&& parse) {
    try {
        parse();
    } catch (const Error& e) {
        throw CLI::ValidationError(e.what());
    }
}

}   // namespace

void ParseNumberPair(const std::string& text, const std::string& what, double& x, double& y) {
    const std::size_t comma = text.find(',');
    if (comma == std::string::npos || !ParseNumber(text.substr(0, comma), x) ||
        !ParseNumber(text.substr(comma + 1), y)) {
        throw Error(what + ": expected two numbers as X,Y, got \"" + text + "\"", ErrorKind::BadValue);
    }
}

WindowPixel ParseWindowPixel(const std::string& text, const std::string& what) {
    double x = 0.0;
    double y = 0.0;
    ParseNumberPair(text, what, x, y);
    if (x != std::trunc(x) || y != std::trunc(y)) {
        throw Error(what + ": window pixels are whole numbers, got \"" + text + "\"", ErrorKind::BadValue);
    }
    RequireWithin(x, kMaxWindowPixel, what, text, true);
    RequireWithin(y, kMaxWindowPixel, what, text, false);
    return WindowPixel{static_cast<int>(x), static_cast<int>(y)};
}

void AddWindowOptions(CLI::App& app, WindowSpec& options) {
    app.add_option_function<std::string>(
           "--window",
           [&options](const std::string& text) {
               if (text == "layer") {
                   options.kind = WindowSpec::Kind::Layer;
               } else if (text == "comp") {
                   options.kind = WindowSpec::Kind::Composition;
               } else {
                   throw CLI::ValidationError("--window", "expected layer or comp, got \"" + text + "\"");
               }
           },
           "window the controls are shown in: layer or comp (default layer)")
        ->option_text("layer|comp");
    app.add_option_function<std::string>(
           "--zoom",
           [&options](const std::string& text) {
               double zoom = 0.0;
               if (!ParseDecimalOrRatio(text, zoom) || !IsWindowZoom(zoom)) {
                   throw CLI::ValidationError(
                       "--zoom", "expected a number or ratio from 1/64 to 64, got \"" + text + "\"");
               }
               options.zoom = zoom;
           },
           "window zoom factor, 1/64 to 64 (default 1)")
        ->option_text("Z");
    app.add_option_function<std::string>(
           "--offset",
           [&options](const std::string& text) {
               RefuseAsParseError([&] {
                   ParseNumberPair(text, "--offset", options.offsetX, options.offsetY);
                   RequireWithin(options.offsetX, kMaxCoordinate, "--offset", text, true);
                   RequireWithin(options.offsetY, kMaxCoordinate, "--offset", text, false);
               });
           },
           "window pixels the picture is scrolled by (default 0,0)")
        ->option_text("X,Y");
    app.add_option_function<std::string>(
           "--layer-pos",
           [&options](const std::string& text) {
               RefuseAsParseError([&] {
                   ParseNumberPair(text, "--layer-pos", options.layerPosX, options.layerPosY);
                   RequireWithin(options.layerPosX, kMaxCoordinate, "--layer-pos", text, true);
                   RequireWithin(options.layerPosY, kMaxCoordinate, "--layer-pos", text, false);
               });
           },
           "composition position of the layer's top-left corner (default 0,0)")
        ->option_text("X,Y");
}

}   // namespace corvelle
