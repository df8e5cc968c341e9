// Placeholder until the Render subcommand lands.
#include "Commands.h"

namespace corvelle {
void RegisterRenderCommand(CLI::App&, const CommandContext&) {}
}  // namespace corvelle
