// The frames the preview shows and renders: the built-in picture, a picture file, a numbered
// image sequence or a raw frame stream, each read on demand in the pixel format asked for.
#pragma once

#include <corvelle/corvelle.h>
#include <corvelle/pictures.h>

#include <string>

namespace corvelle::serve {

struct InputSpec {
    enum class Kind { BuiltIn, Picture, Sequence, Raw } kind = Kind::BuiltIn;
    std::string path;                             // picture, frame pattern (in.%04d.png) or raw stream file
    long first = 0, last = 0;                     // sequence frame numbers
    int rawWidth = 0, rawHeight = 0;              // raw stream frame size
    PixelFormat rawFormat = PixelFormat::Argb8;   // the stream's native layout
};

class InputFrames {
public:
    /// Checks the input is there and finds its frame size and count; throws Error (IO,
    /// BadValue) when it cannot be read.
    explicit InputFrames(const InputSpec& spec);

    const InputSpec& Spec() const { return m_spec; }
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    long Count() const { return m_count; }
    /// Raw streams hold one pixel format; the others are read into any.
    bool FixedFormat() const { return m_spec.kind == InputSpec::Kind::Raw; }
    /// The frame number shown to the user for index `index` (sequences count from `first`).
    long Number(long index) const;

    /// Frame `index` (0 ≤ index < Count()) in `format`. Throws Error (IO, BadValue).
    Picture Read(long index, PixelFormat format) const;

private:
    InputSpec m_spec;
    int m_width = 0;
    int m_height = 0;
    long m_count = 1;
};

}   // namespace corvelle::serve
