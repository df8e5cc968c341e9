// One preview session: the effect instance, the input frame on show, the window it is shown in,
// the keys, and the history of changes, driven by the page's messages.
#pragma once

#include "History.h"
#include "input/InputFrames.h"
#include "KeyTimeline.h"
#include "Messages.h"

#include <corvelle/corvelle.h>
#include <corvelle/pictures.h>

#include <nlohmann/json.hpp>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace corvelle::serve {

struct PreviewConfig {
    InputSpec input;
    std::string output;       // where "render" writes; empty: the page cannot render to a file
    std::string modulePath;   // empty: the library's default
    std::string keysPath;     // the keyframe file read at start when it exists and written by Save
    double fps = 0.0;         // frames a second for host time; 0: the video's, else the file's, else none
    HostKind host = HostKind::Compositor;
    int depth = 8;
    Rational pixelAspect;
    unsigned threads = 0;
    /// Sets the parameters the command line gave, after the module is loaded.
    std::function<void(Effect&)> applyStartOptions;
};

/// What applying a message changed, so the server knows what to send back.
struct Outcome {
    bool render = false;   // the picture changed: render and send it with the state
    bool state = false;    // only the state changed (the window's position, say)
    bool hover = false;    // answer a hover with `handle`
    Handle handle = Handle::None;
    bool saved = false;   // the keyframe file was written
};

class Preview {
public:
    /// Loads the module, reads the first frame and applies the start options; throws Error.
    explicit Preview(const PreviewConfig& config);
    ~Preview();

    /// Applies one message; throws BadMessage or Error when it cannot, changing nothing the
    /// page would not see in the next state.
    Outcome Apply(const ClientMessage& message);

    /// Everything the page shows besides the picture: parameters, window, frames, history, the
    /// equivalent command and the controls' strokes.
    nlohmann::json State();
    /// The frame on show rendered for the window (downsampled when the view says so), in the
    /// preview's format; valid until the next render.
    ConstImageView RenderFrame();
    /// RenderFrame() as straight RGBA 8-bit rows without padding.
    void RenderView(std::vector<uint8_t>& rgba, int& width, int& height);
    /// Renders every input frame at full size to the output; `progress(done, total)` after each.
    /// Throws Error when there is no output or a frame fails.
    void RenderOutput(const std::function<void(long, long)>& progress);
    /// The `corvelle render` command that gives the output with the current settings; with keys, the
    /// keys as saved in the keyframe file.
    std::string RenderCommand() const;
    /// What the page says beside the command: where it differs from what the page shows, or "".
    std::string CommandNote() const;

    Effect& GetEffect() { return *m_effect; }
    Values CurrentValues() const;
    const KeyTimeline& Keys() const { return *m_keys; }

private:
    void LoadFrame(long index);
    /// The frame number keys and host time use for input frame `index`.
    long KeyFrame(long index) const { return m_input.Number(index); }
    Document CurrentDocument() const;
    void RestoreDocument(const Document& document);
    /// Records the document from before an edit as an undo step unless the edit changed nothing.
    void RememberIfChanged(Document before, uint32_t group = 0);
    void SwitchHost(bool editor, int depth);
    void ApplyView(const ViewRequest& view);
    void ApplyRenderSettings(bool preview);
    bool SetFromMessage(const std::string& key, const SentValue& value);
    void Restore(const Values& values);
    int Downsample() const;
    PixelFormat Format() const;

    PreviewConfig m_config;
    InputFrames m_input;
    std::unique_ptr<Effect> m_effect;
    HostKind m_host;
    int m_depth;
    Rational m_aspect;
    long m_frame = 0;
    Picture m_layer;
    Picture m_rendered;   // kept between renders: a drag renders the same size again and again
    ViewRequest m_view;
    uint32_t m_seq = 0;
    std::optional<KeyTimeline> m_keys;
    std::optional<Document> m_beforeDrag;
    History m_history;
};

/// The pixel format `host` renders at `depth` bits; throws BadMessage for a pair it has not.
PixelFormat FormatFor(HostKind host, int depth);

}   // namespace corvelle::serve
