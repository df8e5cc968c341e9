// Parses the corvelle command line, lays out its help and reports failures in one style.
#include "CommandLine.h"

#include <corvelle/corvelle.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <memory>
#include <vector>

namespace corvelle {
namespace {

constexpr int kRunFailed = 1;
constexpr int kBadCommandLine = 2;
constexpr const char* kFilesName = "files";
constexpr const char* kExitStatusHelp =
    "Exit status: 0 when the run succeeded, 1 when it failed (an unreadable input, a full disk,\n"
    "an error from the module), 2 when the command line is wrong (an unknown option, a value out\n"
    "of range, an output that is also an input). Interrupted runs remove their unfinished output\n"
    "and exit 130 (SIGINT), 143 (SIGTERM) or 129 (SIGHUP); when the reader of standard output\n"
    "goes away the run ends silently like any filter, or with status 1 where SIGPIPE is ignored.\n"
    "Outputs are written whole or not at all. Picture inputs larger than --max-pixels (default\n"
    "134217728, 16384x8192) are refused before they are read.";

/// `text` with control characters shown as \n, \t or \xHH, so an echoed name keeps the
/// message on one line and the terminal untouched.
std::string EscapedLine(const std::string& text) {
    std::string escaped;
    for (const char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (c == '\n') {
            escaped += "\\n";
        } else if (c == '\t') {
            escaped += "\\t";
        } else if (u < 0x20 || u == 0x7f) {
            static const char kHex[] = "0123456789abcdef";
            escaped += std::string("\\x") + kHex[u >> 4] + kHex[u & 15];
        } else {
            escaped += c;
        }
    }
    return escaped;
}

/// How a positional reads in the help: its usage text ("[INPUT] OUTPUT") where it has one.
std::string PositionalText(const CLI::Option* positional) {
    const std::string& text = positional->get_option_text();
    if (!text.empty()) {
        return text;
    }
    return positional->get_required() ? positional->get_name() : "[" + positional->get_name() + "]";
}

/// CLI11's help, but the usage reads "corvelle render [INPUT] OUTPUT [options]" and positionals
/// are listed by their usage text alone.
class HelpFormatter : public CLI::Formatter {
public:
    std::string make_usage(const CLI::App* app, std::string name) const override {
        std::string usage = "Usage: " + name;
        for (const CLI::Option* positional :
             app->get_options([](const CLI::Option* o) { return o->get_positional(); })) {
            usage += " " + PositionalText(positional);
        }
        if (!app->get_subcommands([](const CLI::App* sub) { return !sub->get_name().empty(); }).empty()) {
            usage += " COMMAND";
        }
        return usage + " [options]\n";
    }
    std::string make_option_name(const CLI::Option* option, bool positional) const override {
        return positional ? PositionalText(option) : CLI::Formatter::make_option_name(option, positional);
    }
    std::string make_option_opts(const CLI::Option* option) const override {
        return option->get_positional() ? std::string() : CLI::Formatter::make_option_opts(option);
    }
};

std::string CommandNames(const CLI::App& app) {
    const std::vector<const CLI::App*> commands = app.get_subcommands([](const CLI::App*) { return true; });
    std::string names;
    for (std::size_t i = 0; i < commands.size(); ++i) {
        names += (i == 0 ? "" : i + 1 == commands.size() ? " or " : ", ") + commands[i]->get_name();
    }
    return names;
}

std::string Joined(const std::vector<std::string>& words) {
    std::string text;
    for (const std::string& word : words) {
        text += (text.empty() ? "" : " ") + word;
    }
    return text;
}

bool IsOptionName(const std::string& arg) {
    return arg.size() > 1 && arg[0] == '-';
}

bool StartsWith(const std::string& text, const std::string& start) {
    return text.rfind(start, 0) == 0;
}

/// "what failed: why" for a command line CLI11 refused. Its texts that already begin with the
/// option ("--opacity: expected ...") keep their shape; the others are reworded.
std::string ParseFailure(const CLI::App& app, const CLI::ParseError& e) {
    const std::vector<CLI::App*> chosen = app.get_subcommands();
    const std::string message = e.what();
    if (chosen.empty()) {
        const std::vector<std::string> extra = app.remaining();
        if (!extra.empty()) {
            return extra.front() + ": not a command (" + CommandNames(app) + ")";
        }
        return "no command given: expected " + CommandNames(app);
    }
    const CLI::App& command = *chosen.front();
    const std::string where = command.get_name();
    // An unknown option explains a missing file better than the missing file does.
    const std::vector<std::string> extra = command.remaining();
    if (!extra.empty()) {
        if (IsOptionName(extra.front())) {
            return where + ": unknown option " + extra.front() + " (corvelle " + where +
                   " --help lists them)";
        }
        return where + ": unexpected argument" + (extra.size() > 1 ? "s " : " ") + Joined(extra);
    }
    const CLI::Option* files = command.get_option_no_throw(kFilesName);
    if (files != nullptr &&
        (StartsWith(message, files->get_name() + " ") || StartsWith(message, files->get_name() + ":"))) {
        // CLI11: "files is required", "files: At Most 2 required but received 3"
        const std::size_t given = files->count();
        return where + ": expected " + PositionalText(files) + ", got " +
               (given == 0 ? std::string("no file") : std::to_string(given) + " files");
    }
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&e) != nullptr &&
        message.find(" missing") != std::string::npos) {
        // CLI11: "--opacity: 1 required TEXT missing"
        return message.substr(0, message.find(':')) + ": needs a value";
    }
    const std::size_t colon = message.find(": ");
    if (IsOptionName(message) && colon != std::string::npos && message.find(' ') > colon) {
        return message;
    }
    return where + ": " + message;
}

}   // namespace

void AddInputOutput(CLI::App& app, std::optional<std::string>& input, std::string& output,
                    const std::string& description) {
    // One positional for both: CLI11 fills positionals in order, so INPUT could not be the
    // optional one of two.
    app.add_option_function<std::vector<std::string>>(
           kFilesName,
           [&input, &output](const std::vector<std::string>& files) {
               if (files.size() == 2) {
                   input = files.front();
               }
               output = files.back();
           },
           description)
        ->required()
        ->expected(1, 2)
        ->option_text("[INPUT] OUTPUT");
}

void AddFramesOption(CLI::App* app, std::optional<FrameRange>& frames) {
    app->add_option_function<std::string>(
           "--frames",
           [&frames](const std::string& text) {
               FrameRange range;
               if (!ParseFrameRange(text, range)) {
                   throw CLI::ValidationError("--frames",
                                              "expected A-B with 0 <= A <= B, got '" + text + "'");
               }
               frames = range;
           },
           "frame numbers A-B of an image sequence")
        ->option_text("A-B");
}

int RunCommandLine(int argc, const char* const* argv, const CommandContext& context, std::ostream& out,
                   std::ostream& err) {
    CLI::App app{"corvelle: a headless host for the Corvelle effect module", "corvelle"};
    app.formatter(std::make_shared<HelpFormatter>());
    app.set_help_flag("-h,--help", "print this help and exit");   // the subcommands copy it
    app.require_subcommand(1);
    RegisterInfoCommand(app, context);
    RegisterRenderCommand(app, context);
    RegisterOverlayCommand(app, context);
    RegisterDragCommand(app, context);
    RegisterServeCommand(app, context);
    for (CLI::App* command : app.get_subcommands([](const CLI::App*) { return true; })) {
        command->group("Commands");
    }
    app.footer(kExitStatusHelp);
    int status = 0;
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& e) {
        status = app.exit(e, out, err);
    } catch (const CLI::ParseError& e) {
        err << "corvelle: " << EscapedLine(ParseFailure(app, e)) << "\n";
        return kBadCommandLine;
    } catch (const Error& e) {
        err << "corvelle: " << EscapedLine(e.what()) << "\n";
        // A value the command line gave that the host or the module refuses is a wrong command.
        return e.Kind() == ErrorKind::BadValue ? kBadCommandLine : kRunFailed;
    } catch (const std::bad_alloc&) {
        err << "corvelle: not enough memory\n";
        return kRunFailed;
    } catch (const std::exception& e) {
        err << "corvelle: " << EscapedLine(e.what()) << "\n";
        return kRunFailed;
    }
    // What was printed is only delivered once it is flushed: a full disk or a closed pipe shows here.
    errno = 0;
    out.flush();
    int why = errno;
    const bool stdioFailed = std::fflush(stdout) != 0 || std::ferror(stdout) != 0;
    why = why != 0 ? why : errno;
    if (!out || stdioFailed) {
        err << "corvelle: writing standard output: " << (why != 0 ? std::strerror(why) : "write error")
            << "\n";
        return kRunFailed;
    }
    return status;
}

}   // namespace corvelle
