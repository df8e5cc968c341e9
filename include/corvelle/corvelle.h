// Corvelle's host library: load the effect module, set its parameters, render buffers, and draw
// and drive its on-screen controls, as a production host of the compositor's plug-in interface does.
//
// Threads: one Effect is used by one thread at a time; several Effects may render at once, each on
// its own thread. The module file is loaded once per process and shared by every Effect.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#if defined(CORVELLE_STATIC_DEFINE)
#define CORVELLE_API
#else
#define CORVELLE_API __attribute__((visibility("default")))
#endif

typedef struct _cairo cairo_t;

namespace corvelle {

/// What kind of failure an Error reports, for callers that react differently to each.
enum class ErrorKind {
    Load,          // the module file could not be loaded or has no entry point
    Module,        // the module returned an error code (ModuleCode(), with its message if it gave one)
    BadValue,      // a value the caller passed is malformed, unknown or outside its range
    OutOfMemory,   // memory for a picture or buffer could not be had
    IO,            // a file or stream could not be read or written
    Host,          // the host found the module misbehaving (unbalanced suites, a broken contract)
};

/// Every failure of the library; what() reads "what failed: why".
class CORVELLE_API Error : public std::runtime_error {
public:
    explicit Error(const std::string& message, ErrorKind kind = ErrorKind::Host, int moduleCode = 0);
    ErrorKind Kind() const { return m_kind; }
    /// The module's error code when Kind() is Module, else 0.
    int ModuleCode() const { return m_moduleCode; }

private:
    ErrorKind m_kind;
    int m_moduleCode;
};

/// Which host the library acts as: the compositor (ARGB 8/16-bit) or the editor (BGRA 8-bit/float).
enum class HostKind { Compositor, Editor };

/// The four pixel layouts: the compositor's ARGB 8 and 16 bit (0..32768), the editor's BGRA 8 bit and float.
enum class PixelFormat { Argb8, Argb16, Bgra8, BgraFloat };

/// Bytes of one pixel in `format`.
constexpr std::size_t BytesPerPixel(PixelFormat format) {
    return format == PixelFormat::Argb16 ? 8 : format == PixelFormat::BgraFloat ? 16 : 4;
}

/// Zeroed pixel memory. Large blocks are whole pages mapped for them: committed only where
/// pixels are written (a short input costs what it holds) and page aligned, which the kernel
/// copies frames into and out of several times faster than the allocator's alignment.
class CORVELLE_API PixelBuffer {
public:
    PixelBuffer() = default;
    /// Throws std::bad_alloc.
    explicit PixelBuffer(std::size_t size);
    PixelBuffer(const uint8_t* first, std::size_t size);
    PixelBuffer(const PixelBuffer& other) : PixelBuffer(other.data(), other.size()) {}
    PixelBuffer& operator=(const PixelBuffer& other);
    /// What is moved from is left empty.
    PixelBuffer(PixelBuffer&& other) noexcept : m_data(std::move(other.m_data)), m_size(other.m_size) {
        other.m_size = 0;
    }
    PixelBuffer& operator=(PixelBuffer&& other) noexcept {
        m_data = std::move(other.m_data);
        m_size = other.m_size;
        other.m_size = 0;
        return *this;
    }

    uint8_t* data() { return m_data.get(); }
    const uint8_t* data() const { return m_data.get(); }
    std::size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    uint8_t& operator[](std::size_t i) { return m_data[i]; }
    const uint8_t& operator[](std::size_t i) const { return m_data[i]; }
    /// Same size and bytes.
    bool operator==(const PixelBuffer& other) const;
    bool operator!=(const PixelBuffer& other) const { return !(*this == other); }

private:
    struct Release {
        std::size_t mapped;   // bytes mapped for the block, or 0 where it came from calloc
        void operator()(uint8_t* p) const;
    };
    std::unique_ptr<uint8_t[], Release> m_data;
    std::size_t m_size = 0;
};

/// A ratio num/den, den > 0.
struct Rational {
    int32_t num = 1;
    uint32_t den = 1;
};

/// The module's version word decoded.
struct ModuleVersion {
    uint32_t word = 0;
    int major = 0, minor = 0, fix = 0, stage = 0, build = 0;
    std::string text;   // "version 1.3.0 develop build 1 (0x98001)"
};

enum class ParamType { Layer, FloatSlider, FixedSlider, Angle, Checkbox, Color, Point, Popup };

struct Color8 {
    uint8_t red = 0, green = 0, blue = 0, alpha = 255;
};

/// A parameter value; the field used depends on the parameter's type.
struct ParamValue {
    double number =
        0.0;          // FloatSlider; FixedSlider (percent for opacity) and Angle (degrees) as 16.16 / 65536
    double x = 0.0;   // Point, layer pixels
    double y = 0.0;
    Color8 color;           // Color
    int choice = 0;         // Popup, 1-based
    bool checked = false;   // Checkbox
};

struct ParamInfo {
    int index = 0;      // position in the module's parameter list (0 is the input layer)
    int id = 0;         // persistent id, as saved projects know it
    std::string key;    // the host's short name: shape, origin, width, ..., mask_only, falloff
    std::string name;   // the name the control shows now, after the module's UI updates
    ParamType type = ParamType::Layer;
    bool enabled = true;       // false while the module greys the control out
    bool animatable = false;   // whether the value may change from frame to frame
    ParamValue defaultValue;
    double validMin = 0.0, validMax = 0.0;     // sliders and angles: what the control accepts
    double sliderMin = 0.0, sliderMax = 0.0;   // sliders: the range the slider shows
    std::vector<std::string> choices;          // popups, in value order (value 1 first)
};

/// What a setter does with a number outside the parameter's valid range.
enum class OutOfRange { Refuse, Clamp };

/// The time the next render or event happens at, as the host hands it to the module.
struct TimeSpec {
    int32_t currentTime = 0;
    int32_t timeStep = 1;
    uint32_t timeScale = 30;
};

/// How the next render is done.
struct RenderSettings {
    Rational downsampleX, downsampleY;   // render at num/den of the layer's resolution (num <= den)
    Rational pixelAspect;
    bool highQuality = true;
    unsigned threads = 0;   // 0: as many as the machine has cores
};

/// A caller-owned picture: rows `rowBytes` apart (padding allowed), top row first.
struct ConstImageView {
    const void* data = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t rowBytes = 0;
    PixelFormat format = PixelFormat::Argb8;
};
struct ImageView {
    void* data = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t rowBytes = 0;
    PixelFormat format = PixelFormat::Argb8;

    operator ConstImageView() const { return ConstImageView{data, width, height, rowBytes, format}; }
};

/// A picture the library owns, rows packed without padding.
struct Picture {
    PixelFormat format = PixelFormat::Argb8;
    int width = 0;
    int height = 0;
    PixelBuffer bytes;

    std::ptrdiff_t RowBytes() const { return static_cast<std::ptrdiff_t>(width) * BytesPerPixel(format); }
    ImageView View() { return ImageView{bytes.data(), width, height, RowBytes(), format}; }
    ConstImageView View() const { return ConstImageView{bytes.data(), width, height, RowBytes(), format}; }
};

/// A blank (transparent black) picture. Throws Error (BadValue for a negative size, OutOfMemory,
/// also for a size whose bytes the address space cannot hold).
CORVELLE_API Picture MakePicture(PixelFormat format, int width, int height);

/// The window the controls are shown in: window = layer × zoom + offset (layer window), or
/// window = (layer + layer position) × zoom + offset (composition window).
struct WindowSpec {
    enum class Kind { Layer, Composition } kind = Kind::Layer;
    double zoom = 1.0;   // 1/64 .. 64
    double offsetX = 0.0, offsetY = 0.0;
    double layerPosX = 0.0, layerPosY = 0.0;
};

/// The zooms a window can have, as the host's own windows offer them.
constexpr double kMinWindowZoom = 1.0 / 64.0;
constexpr double kMaxWindowZoom = 64.0;

/// Whether `zoom` lies in kMinWindowZoom..kMaxWindowZoom (so it is finite and positive; NaN is not).
constexpr bool IsWindowZoom(double zoom) {
    return zoom >= kMinWindowZoom && zoom <= kMaxWindowZoom;
}

/// A whole window pixel, as mouse events give it.
struct WindowPixel {
    int x = 0;
    int y = 0;
};

/// Where the module's handles are, as its hit test names them (0 is none).
enum class Handle {
    None = 0,
    TopLeft,
    TopRight,
    BottomLeft,
    BottomRight,
    Rotation,
    FeatherLeft,
    FeatherRight,
    FeatherTop,
    FeatherBottom,
    Opacity
};

/// Loads the module at `modulePath` (empty: Effect::DefaultModulePath()) into a fresh host acting
/// as `host` and runs its set-up commands one by one (About before Global setup), reporting as one
/// JSON object what a host learns from each: "about", "version", "out_flags", "pixel_formats"
/// (editor), "custom_ui", "num_params" and "parameters" as registered, and under "warnings" the
/// messages the module left beside success. With `maskOnly`, Mask Only is then turned on and the
/// update's out flags reported. Throws Error when a command fails.
CORVELLE_API std::string InspectModuleJson(const std::string& modulePath, HostKind host, bool maskOnly);

/// Throws Error (BadValue) unless `path` ends in .png, (IO) unless its folder exists: for a window
/// picture, checked before any work is done.
CORVELLE_API void CheckPngOutputPath(const std::string& path);

class EffectAccess;

struct LoadOptions {
    std::string modulePath;   // empty: DefaultModulePath()
    HostKind host = HostKind::Compositor;
    int layerWidth = 1920;
    int layerHeight = 1080;
    RenderSettings render;   // in force from the module's first command
};

class CORVELLE_API Effect {
public:
    /// Loads the module (once per process), runs Global setup and Parameters setup for a layer of
    /// the given size. Throws Error (Load, Module, Host; BadValue for a layer size or render
    /// settings the host cannot use).
    explicit Effect(const LoadOptions& options = {});
    ~Effect();
    Effect(Effect&&) noexcept;
    Effect& operator=(Effect&&) noexcept;

    /// $CORVELLE_MODULE, else the module installed or built beside this library (or program).
    static std::string DefaultModulePath();

    HostKind ActingAs() const;
    const std::string& ModulePath() const;
    int LayerWidth() const;
    int LayerHeight() const;
    /// The About text the module gives.
    std::string About();
    ModuleVersion Version() const;

    // ---- Parameters, found by key ("width"), by the name shown ("Width") or by persistent id.
    std::vector<ParamInfo> Params() const;
    ParamInfo Param(const std::string& keyOrName) const;
    ParamInfo Param(int persistentId) const;
    ParamValue Get(const std::string& keyOrName) const;
    /// By persistent id; the setters take `Param(persistentId).key`.
    ParamValue Get(int persistentId) const;
    /// Sliders and angles: FixedSlider and Angle values are rounded to 16.16 (ties away from zero).
    /// Each setter throws Error(BadValue) for a value of the wrong type, an unknown choice or a value
    /// (a choice number too) outside the valid range under OutOfRange::Refuse; setting the value a parameter already has
    /// does nothing. A change to a supervised parameter ("Mask Only") runs the module's UI update.
    void SetNumber(const std::string& keyOrName, double value, OutOfRange range = OutOfRange::Refuse);
    /// The raw 16.16 value of a FixedSlider or Angle, for callers that round decimals themselves.
    void SetFixed(const std::string& keyOrName, int32_t fixed, OutOfRange range = OutOfRange::Refuse);
    /// Layer pixels, rounded to 16.16.
    void SetPoint(const std::string& keyOrName, double x, double y);
    void SetColor(const std::string& keyOrName, Color8 color);
    /// A choice by number, 1 to the number of choices.
    void SetChoice(const std::string& keyOrName, int value, OutOfRange range = OutOfRange::Refuse);
    /// Matched to the module's choice names ignoring case, with '-' or '_' standing for a space.
    void SetChoice(const std::string& keyOrName, const std::string& choiceName);
    void SetCheckbox(const std::string& keyOrName, bool checked);
    /// Every parameter back to its default.
    void ResetParams();

    // ---- Time and render settings for the next render and event.
    void SetTime(const TimeSpec& time);
    TimeSpec Time() const;
    void SetRenderSettings(const RenderSettings& settings);
    RenderSettings GetRenderSettings() const;
    /// The layer size the module is told about; points keep their pixel values.
    void SetLayerSize(int width, int height);

    /// The pixel formats this host renders: Argb8 and Argb16 (compositor), Bgra8 and BgraFloat (editor).
    std::vector<PixelFormat> Formats() const;
    /// Renders `input`, a layer-sized picture, into `output`, whose size is the layer's downsampled
    /// by the render settings; both in one of Formats(). Throws Error (BadValue for sizes and
    /// formats, Module when the module fails).
    void Render(const ConstImageView& input, const ImageView& output);
    /// The size Render's output must have under the current layer size and render settings.
    int OutputWidth() const;
    int OutputHeight() const;

    // ---- On-screen controls in a window.
    void SetWindow(const WindowSpec& window);
    WindowSpec Window() const;
    /// The window's size in pixels: just large enough to show the layer or the composition.
    int WindowWidth() const;
    int WindowHeight() const;
    /// The window position of layer pixel (0, 0); the layer appears there scaled by the zoom.
    double LayerLeft() const;
    double LayerTop() const;
    /// Draws the controls into `cr`, whose user space is window pixels. Throws Error on failure.
    void DrawControls(cairo_t* cr);
    /// Draws `rendered` (the output of Render, or null for none) where the window shows the layer,
    /// over the window's grey, and the controls over it, into a straight RGBA 8-bit window picture.
    void DrawWindow(const ConstImageView* rendered, const ImageView& rgbaWindow);
    /// As DrawWindow, written to `pngPath` as a PNG that appears whole or not at all. When
    /// `tracePath` is not empty, it receives one JSON line per host call the module makes while
    /// drawing. Throws Error when the module fails the event or a file cannot be written.
    void WriteWindowPng(const ConstImageView* rendered, const std::string& pngPath,
                        const std::string& tracePath = {});
    /// The handle a press at window pixel (x, y) would grab; changes nothing.
    Handle HitTest(int x, int y);
    /// A mouse press, move and release in window pixels, as the host sends them to the module.
    /// Release returns the keys of the parameters the drag changed, in parameter order.
    Handle Press(int x, int y);
    void Move(int x, int y);
    std::vector<std::string> Release(int x, int y);
    /// Whether a press grabbed a handle and the module is following the mouse.
    bool Dragging() const;

    // ---- The effect as JSON text, for front-ends that hand it on (a browser page, a report).
    /// The parameters' values as `corvelle drag` reports them: {"shape": 1, "origin": [x, y], ...}
    /// in parameter order, popups as choice numbers, origin in layer pixels, angle in degrees,
    /// opacity in percent, colours as "#rrggbb", checkboxes as booleans.
    std::string ParamsJson();
    /// Sends the module one draw event for the window and returns what it stroked, in order:
    /// [{"ops": [["M",x,y] | ["L",x,y] | ["A",cx,cy,r,startDeg,sweepDeg] | ["Z"]],
    /// "rgba": [r,g,b,a] (0..1), "width": w, "dx": dx, "dy": dy}]. Window coordinates; whole
    /// numbers fall on pixel centres, as the host's own canvas draws them. Throws Error when the
    /// module fails the event.
    std::string ControlStrokesJson();

private:
    struct Impl;
    // The library's tests reach the host behind an Effect through their own header.
    friend class EffectAccess;
    explicit Effect(std::unique_ptr<Impl> impl);

    std::unique_ptr<Impl> m_impl;
};

}   // namespace corvelle
