// The corvelle command: runs its command line.
#include "CommandLine.h"
#include "Interrupts.h"

#include <iostream>

int main(int argc, char** argv) {
    corvelle::InstallInterruptHandlers();
    corvelle::CommandContext context;
    context.argv0 = argc > 0 ? argv[0] : "corvelle";
    return corvelle::RunCommandLine(argc, argv, context, std::cout, std::cerr);
}
