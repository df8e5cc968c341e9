// One frei0r instance: the effect for one frame size, its parameters and its pixel buffers.
#pragma once

#include "Parameters.h"

#include <corvelle/corvelle.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace corvelle::frei0r {

class Instance {
public:
    /// Never fails for want of the module: without it the instance passes frames of `pixels`
    /// pixels through. A `width` of 0 asks for no effect at all; `modulePath` empty: the library's
    /// default.
    Instance(int width, int height, const std::string& modulePath, std::size_t pixels);

    void SetParam(int index, const void* param);
    void GetParam(int index, void* param) const;
    /// Both frames `width` × `height` straight RGBA, rows packed, never the same buffer; `time`
    /// as the host passes it, in seconds or milliseconds.
    void Update(double time, const uint32_t* in, uint32_t* out);
    /// The time the module was last told (the library's default before the first frame or
    /// without a module).
    TimeSpec Time() const;

private:
    void PassThrough(const uint32_t* in, uint32_t* out) const;

    int m_width;
    int m_height;
    std::size_t m_pixels;
    ParamSlots m_slots;
    std::unique_ptr<Effect> m_effect;   // null: the module could not be loaded
    std::vector<uint8_t> m_argbIn;
    std::vector<uint8_t> m_argbOut;
    unsigned m_threads = 0;
};

}   // namespace corvelle::frei0r
