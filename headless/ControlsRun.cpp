// Sets up the effect for the overlay and drag commands over the layer they show.
#include "ControlsRun.h"

#include "ImageFiles.h"
#include "TestPicture.h"

namespace corvelle {
namespace {

World ReadLayer(const HostOptions& hostOptions, const std::optional<std::string>& input) {
    const PixelLayout layout = WorldLayout(hostOptions);
    return input ? ReadImage(*input, layout) : MakeTestPicture(layout);
}

}  // namespace

ControlsRun::ControlsRun(const EffectOptions& effect, const HostOptions& hostOptions, const CommandContext& context,
                         const std::optional<std::string>& input)
    : m_layer(ReadLayer(hostOptions, input)),
      m_session(effect, hostOptions, context, m_layer.Width(), m_layer.Height()) {}

}  // namespace corvelle
