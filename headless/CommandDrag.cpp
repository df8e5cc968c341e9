// Placeholder until the Drag subcommand lands.
#include "Commands.h"

namespace corvelle {
void RegisterDragCommand(CLI::App&, const CommandContext&) {}
}  // namespace corvelle
