// What the page may ask of the preview, read from one WebSocket text message and checked before
// anything acts on it.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace corvelle::serve {

/// The longest text message the page may send; anything longer is refused unread.
constexpr std::size_t kMaxMessageBytes = 4096;

/// A message the page sent that is malformed or asks for something impossible.
class BadMessage : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class MessageKind {
    Press,     // x, y: mouse button down in window pixels
    Move,      // x, y: mouse moved while down
    Release,   // x, y: mouse button up
    Hover,     // x, y: mouse moved with no button down; answers which handle is there
    Set,       // key, value and an optional group: one parameter; a group's sets are one undo step
    View,      // the window: zoom, offset, kind, layer position, automatic downsampling
    Frame,     // frame: the index into the input's frames
    Host,      // host, depth: which host the library acts as and its bit depth
    Aspect,    // aspectNum/aspectDen: the layer's pixel aspect ratio
    Undo,
    Redo,
    Reset,          // key: one parameter back to its default, or every one when the key is empty
    RenderOutput,   // render the whole input to the output named on the command line
    FrameShown,     // the page has drawn the last picture sent and can take the next
    Stopwatch,      // key, on: whether the parameter varies in time
    RemoveKey,      // key: its key at the frame on show, or every parameter's when the key is empty
    Save,           // write the parameters and keys to the file named on the command line
};

/// A parameter value as the page sends it; which member counts depends on `type`.
struct SentValue {
    enum class Type { Number, Boolean, Text, Pair } type = Type::Number;
    double number = 0.0;
    bool boolean = false;
    std::string text;
    double x = 0.0, y = 0.0;
};

struct ViewRequest {
    double zoom = 1.0;
    double offsetX = 0.0, offsetY = 0.0;
    bool composition = false;
    double layerPosX = 0.0, layerPosY = 0.0;
    bool autoDownsample = true;
};

struct ClientMessage {
    MessageKind kind = MessageKind::Undo;
    uint32_t seq = 0;   // the page's number for the message; replies name the newest applied
    int x = 0, y = 0;
    std::string key;
    SentValue value;
    uint32_t group = 0;   // Set: 0 for none; consecutive sets with one group undo together
    bool on = false;      // Stopwatch
    ViewRequest view;
    long frame = 0;
    bool editorHost = false;
    int depth = 8;
    int aspectNum = 1, aspectDen = 1;
};

/// Reads one message; throws BadMessage for anything but a well-formed message of a known kind
/// with every field present, of its type and within its range.
ClientMessage ParseMessage(const std::string& text);

}   // namespace corvelle::serve
