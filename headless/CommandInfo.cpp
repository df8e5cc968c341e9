// Placeholder until the Info subcommand lands.
#include "Commands.h"

namespace corvelle {
void RegisterInfoCommand(CLI::App&, const CommandContext&) {}
}  // namespace corvelle
