// Placeholder until the Overlay subcommand lands.
#include "Commands.h"

namespace corvelle {
void RegisterOverlayCommand(CLI::App&, const CommandContext&) {}
}  // namespace corvelle
