// The corvelle command: parses the command line and runs one subcommand.
#include "Commands.h"

#include <exception>
#include <iostream>

int main(int argc, char** argv) {
    CLI::App app{"corvelle: a headless host for the Corvelle effect module"};
    app.require_subcommand(1);
    const corvelle::CommandContext context{argc > 0 ? argv[0] : "corvelle"};
    corvelle::RegisterInfoCommand(app, context);
    corvelle::RegisterRenderCommand(app, context);
    corvelle::RegisterOverlayCommand(app, context);
    corvelle::RegisterDragCommand(app, context);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
    } catch (const std::exception& e) {
        std::cerr << "corvelle: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
