// Sets up the effect and its window for the overlay and drag commands.
#include "ControlsRun.h"

namespace corvelle {

void AddControlsOptions(CLI::App& app, ControlsOptions& options) {
    AddEffectOptions(&app, options.effect);
    AddHostOptions(&app, options.host);
    AddWindowOptions(app, options.window);
    AddKeyOptions(app, options.keys);
}

std::vector<NamedFile> ControlsInputs(const ControlsOptions& options,
                                      const std::optional<std::string>& input) {
    std::vector<NamedFile> inputs;
    if (input)
        inputs.push_back({"INPUT", *input, ""});
    if (options.keys.keysPath)
        inputs.push_back({"--keys", *options.keys.keysPath, ""});
    return inputs;
}

ControlsRun::ControlsRun(const ControlsOptions& options, const CommandContext& context,
                         const std::optional<std::string>& input)
    : m_keys(LoadKeyFile(options.keys, options.host)),
      m_layer(ReadLayer(options.host, input)),
      m_session(options.effect, options.host, context, m_layer.width, m_layer.height) {
    ShowFrame(m_session.GetEffect(), m_keys, options.keys.frame.value_or(0));
    m_session.GetEffect().SetWindow(options.window);
}

}   // namespace corvelle
