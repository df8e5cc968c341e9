// `corvelle info`: loads the module, runs its set-up commands and prints what a host learns.
#include "Commands.h"

#include <corvelle/corvelle.h>
#include <corvelle/text.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <iostream>
#include <memory>
#include <sstream>

namespace corvelle {

namespace {

struct InfoOptions {
    std::string host = "ae";
    std::string module;
    bool maskOnly = false;
    bool json = false;
};

std::string Names(const nlohmann::json& flags) {
    std::string text;
    for (const auto& name : flags["names"]) {
        text += (text.empty() ? "" : " ") + name.get<std::string>();
    }
    return text.empty() ? "none" : text;
}

std::string Hex(long long value) {
    std::ostringstream text;
    text << "0x" << std::hex << static_cast<unsigned long long>(static_cast<uint32_t>(value));
    return text.str();
}

std::string Num(const nlohmann::json& value) {
    return value.is_number_float() ? Decimal(value.get<double>()) : value.dump();
}

/// A field the host keeps in single precision, shown as that float's own shortest text.
std::string Single(const nlohmann::json& value) {
    return Decimal(value.get<float>());
}

std::string Pair(const nlohmann::json& range) {
    return Num(range[0]) + ".." + Num(range[1]);
}
std::string SinglePair(const nlohmann::json& range) {
    return Single(range[0]) + ".." + Single(range[1]);
}

std::string PopupValue(const nlohmann::json& param, const nlohmann::json& value) {
    const int choice = value.get<int>();
    const nlohmann::json& choices = param["choices"];
    const bool named = choice >= 1 && static_cast<std::size_t>(choice) <= choices.size();
    return std::to_string(choice) +
           (named ? " (" + choices[static_cast<std::size_t>(choice) - 1].get<std::string>() + ")" : "");
}

std::string ColorValue(const nlohmann::json& color) {
    return color["rgb"].get<std::string>() + " alpha " + Num(color["alpha"]);
}

void PrintParamDetails(std::ostream& out, const nlohmann::json& p) {
    const std::string type = p["type"];
    const std::string pad = "        ";
    if (type == "popup") {
        out << pad << "default " << PopupValue(p, p["default"]) << ", value " << PopupValue(p, p["value"])
            << "\n";
        std::string choices;
        for (const auto& choice : p["choices"]) {
            choices += (choices.empty() ? "" : " | ") + choice.get<std::string>();
        }
        out << pad << p["num_choices"].get<int>() << " choices: " << choices << "\n";
    } else if (type == "float slider") {
        out << pad << "default " << Single(p["default"]) << ", value " << Num(p["value"]) << ", valid "
            << SinglePair(p["valid"]) << ", slider " << SinglePair(p["slider"]) << ", precision "
            << p["precision"] << ", display flags " << p["display_flags"] << ", curve tolerance "
            << Single(p["curve_tolerance"]) << "\n";
    } else if (type == "fixed slider") {
        const std::string unit = p["percent"].get<bool>() ? "%" : "";
        out << pad << "default " << Num(p["default"]) << unit << ", value " << Num(p["value"]) << unit
            << ", valid " << Pair(p["valid"]) << ", slider " << Pair(p["slider"]) << ", precision "
            << p["precision"] << ", display flags " << p["display_flags"] << "\n";
    } else if (type == "angle") {
        out << pad << "default " << Num(p["default"]) << " degrees, value " << Num(p["value"])
            << " degrees\n";
    } else if (type == "checkbox") {
        out << pad << "default " << (p["default"].get<bool>() ? "on" : "off") << ", value "
            << (p["value"].get<bool>() ? "on" : "off") << ", label \"" << p["label"].get<std::string>()
            << "\"\n";
    } else if (type == "color") {
        out << pad << "default " << ColorValue(p["default"]) << ", value " << ColorValue(p["value"]) << "\n";
    } else if (type == "point") {
        out << pad << "default " << Num(p["default_percent"][0]) << "%, " << Num(p["default_percent"][1])
            << "% of the layer, value (" << Num(p["value"][0]) << ", " << Num(p["value"][1])
            << ") layer pixels" << (p["restrict_bounds"].get<bool>() ? ", bounds restricted" : "") << "\n";
    }
}

void PrintText(std::ostream& out, const nlohmann::json& info) {
    std::string about = info["about"];
    for (char& c : about) {
        if (c == '\r') {
            c = '\n';
        }
    }
    out << about << "\n\n";
    out << info["version"]["text"].get<std::string>() << "\n";
    out << "out flags " << Hex(info["out_flags"]["value"]) << ": " << Names(info["out_flags"]) << "\n";
    if (info.contains("pixel_formats")) {
        out << "pixel formats:";
        for (const auto& format : info["pixel_formats"]) {
            out << " " << format["name"].get<std::string>() << " (" << Hex(format["code"]) << ")";
        }
        out << (info["pixel_formats"].empty() ? " none declared\n" : "\n");
    }
    out << "custom UI: "
        << (info["custom_ui"].is_null() ? "not registered" : "events " + Hex(info["custom_ui"]["events"]))
        << "\n";
    if (info.contains("mask_only_update")) {
        const nlohmann::json& flags = info["mask_only_update"]["out_flags"];
        out << "Mask Only turned on; Update parameter UI out flags " << Hex(flags["value"]) << ": "
            << Names(flags) << "\n";
    }
    out << "\nparameters (" << info["num_params"].get<int>() << "):\n";
    for (const auto& p : info["parameters"]) {
        char head[160];
        const std::string name = "\"" + p["name"].get<std::string>() + "\"";
        std::snprintf(head, sizeof head, "%3d  %-28s %s", p["index"].get<int>(), name.c_str(),
                      p["type"].get<std::string>().c_str());
        out << head;
        if (p.contains("id")) {
            out << std::string(13 - std::min<std::size_t>(12, p["type"].get<std::string>().size()), ' ')
                << "id " << p["id"].get<int>();
            if (!p["flags"]["names"].empty()) {
                out << "  flags " << Names(p["flags"]);
            }
        }
        if (p["disabled"].get<bool>()) {
            out << "  [greyed out]";
        }
        out << "\n";
        PrintParamDetails(out, p);
    }
}

}   // namespace

void RegisterInfoCommand(CLI::App& app, const CommandContext& context) {
    auto options = std::make_shared<InfoOptions>();
    CLI::App* info =
        app.add_subcommand("info", "Load the module, run its set-up and print what a host learns");
    info->add_option("--host", options->host, "host to act as: ae (compositor, default) or premiere (editor)")
        ->check(CLI::IsMember({"ae", "premiere"}))
        ->option_text("ae|premiere");
    info->add_option("--module", options->module,
                     "effect module to load (default: Corvelle.so beside the command)")
        ->option_text("PATH");
    info->add_flag("--mask-only", options->maskOnly,
                   "turn Mask Only on and show the controls as the user then sees them");
    info->add_flag("--json", options->json, "print one JSON object");
    info->callback([options, context]() {
        const nlohmann::json description = nlohmann::json::parse(InspectModuleJson(
            options->module, options->host == "premiere" ? HostKind::Editor : HostKind::Compositor,
            options->maskOnly));
        std::ostringstream out;
        if (options->json) {
            out << description.dump(2) << "\n";
        } else {
            PrintText(out, description);
        }
        std::cout << out.str();
        for (const auto& warning : description["warnings"]) {
            std::cerr << "corvelle: warning: " << warning.get<std::string>() << "\n";
        }
    });
}

}   // namespace corvelle
