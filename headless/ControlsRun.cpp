// Sets up the effect for the overlay and drag commands and renders the layer they show.
#include "ControlsRun.h"

#include "ImageFiles.h"
#include "PointSample.h"
#include "TestPicture.h"

#include <cstring>

namespace corvelle {
namespace {

HostSettings SettingsFor(const HostOptions& options, const World& layer) {
    HostSettings settings = MakeHostSettings(options);
    settings.layerWidth = layer.Width();
    settings.layerHeight = layer.Height();
    return settings;
}

}  // namespace

ControlsRun::ControlsRun(const EffectOptions& effect, const HostOptions& hostOptions, const std::string& argv0,
                         const std::optional<std::string>& input)
    : m_library(ModulePath(hostOptions, argv0)),
      m_layout(WorldLayout(hostOptions)),
      m_layer(input ? ReadImage(*input, m_layout) : MakeTestPicture(m_layout)),
      m_host(m_library.Entry(), SettingsFor(hostOptions, m_layer)) {
    m_host.SetBalancePolicy(BalancePolicy::Warn);
    Check(m_host.GlobalSetup(), "setting up the effect");
    Check(m_host.ParamsSetup(), "setting up the effect's parameters");
    ApplyEffectOptions(effect, m_host);
}

World ControlsRun::Render() {
    const HostSettings& settings = m_host.Settings();
    World input = PointSample(m_layer, settings.downsampleX, settings.downsampleY);
    World output(m_layout, input.Width(), input.Height());
    Check(m_host.Render(input, output), "rendering");
    return output;
}

void ControlsRun::Check(PF_Err err, const std::string& what) const {
    if (err == PF_Err_NONE) {
        return;
    }
    std::string why = "the module returned error " + std::to_string(err);
    const PF_OutData& out = m_host.OutData();
    if ((out.out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE) != 0) {
        const std::string message(out.return_msg, strnlen(out.return_msg, sizeof out.return_msg));
        if (!message.empty()) {
            why += ": " + message;
        }
    }
    throw HostError(what + ": " + why);
}

}  // namespace corvelle
