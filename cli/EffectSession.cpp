// Sets up the effect the way every command needs it and renders frames through it.
#include "EffectSession.h"

#include <corvelle/pictures.h>
#include <corvelle/streams.h>

namespace corvelle {
namespace {

std::string SizeText(int width, int height) {
    return std::to_string(width) + "x" + std::to_string(height);
}

}   // namespace

Error Retold(const Error& error, const std::string& what) {
    const std::string message = error.what();
    const std::size_t colon = message.find(": ");
    return Error(what + ": " + (colon == std::string::npos ? message : message.substr(colon + 2)),
                 error.Kind(), error.ModuleCode());
}

Picture ReadLayer(const HostOptions& hostOptions, const std::optional<std::string>& input) {
    const PixelFormat format = WorldLayout(hostOptions);
    return input ? ReadPicture(*input, format, hostOptions.maxPixels) : MakeTestPicture(format);
}

EffectSession::EffectSession(const EffectOptions& effect, const HostOptions& hostOptions,
                             const CommandContext& context, int layerWidth, int layerHeight)
    : m_format(WorldLayout(hostOptions)),
      m_effect(context.makeEffect(MakeLoadOptions(hostOptions, layerWidth, layerHeight))) {
    ApplyEffectOptions(effect, m_effect);
}

ConstImageView EffectSession::Render(const ConstImageView& layer, const std::string& what) {
    const int layerWidth = m_effect.LayerWidth();
    const int layerHeight = m_effect.LayerHeight();
    if (layer.width != layerWidth || layer.height != layerHeight) {
        throw Error(what + ": the frame is " + SizeText(layer.width, layer.height) + " but the layer is " +
                    SizeText(layerWidth, layerHeight));
    }
    Picture& output = OutputOfSize(m_effect.OutputWidth(), m_effect.OutputHeight());
    try {
        m_effect.Render(layer, output.View());
    } catch (const Error& e) {
        throw Retold(e, what);
    }
    return static_cast<const Picture&>(output).View();
}

// Every render writes each output pixel, so a stream's frames share one output picture: a fresh
// one a frame would cost its page faults every time.
Picture& EffectSession::OutputOfSize(int width, int height) {
    if (!m_output || m_output->width != width || m_output->height != height) {
        m_output.reset();   // the old frame's memory goes before the new one is taken
        m_output = MakePicture(m_format, width, height);
    }
    return *m_output;
}

}   // namespace corvelle
