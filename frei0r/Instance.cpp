// The module renders ARGB; frei0r frames are RGBA, so each frame is reordered on the way in and out.
#include "Instance.h"

#include "HostTime.h"
#include "Notes.h"

#include <corvelle/convert.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <optional>
#include <thread>

namespace corvelle::frei0r {

namespace {

// MLT renders one instance per worker thread at once; splitting each of their frames over every
// core as well would oversubscribe the machine, so the cores are shared among the renders running.
std::atomic<unsigned> g_rendering{0};

struct RenderSlot {
    unsigned running;
    RenderSlot() : running(++g_rendering) {}
    ~RenderSlot() { --g_rendering; }
    RenderSlot(const RenderSlot&) = delete;
    RenderSlot& operator=(const RenderSlot&) = delete;
};

unsigned Cores() {
    static const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    return cores;
}

}   // namespace

Instance::Instance(int width, int height, const std::string& modulePath, std::size_t pixels)
    : m_width(width), m_height(height), m_pixels(pixels), m_slots(DefaultSlots()) {
    if (width <= 0 || height <= 0)
        return;
    try {
        LoadOptions options;
        options.modulePath = modulePath;
        options.host = HostKind::Compositor;
        options.layerWidth = width;
        options.layerHeight = height;
        auto effect = std::make_unique<Effect>(options);
        ApplyAll(m_slots, *effect, width, height);
        const std::size_t bytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4u;
        m_argbIn.resize(bytes);
        m_argbOut.resize(bytes);
        m_effect = std::move(effect);
    } catch (const std::exception& e) {
        NoteOnce(std::string("frames pass through unchanged: ") + e.what());
        m_argbIn.clear();
        m_argbOut.clear();
    }
}

void Instance::SetParam(int index, const void* param) {
    try {
        frei0r::SetParam(m_slots, index, param, m_effect.get(), m_width, m_height);
    } catch (const std::exception& e) {
        NoteOnce(std::string("parameter ") + kParams[static_cast<std::size_t>(index)].name + ": " + e.what());
    }
}

void Instance::GetParam(int index, void* param) const {
    frei0r::GetParam(m_slots, index, param);
}

void Instance::PassThrough(const uint32_t* in, uint32_t* out) const {
    std::memmove(out, in, m_pixels * 4u);
}

TimeSpec Instance::Time() const {
    return m_effect ? m_effect->Time() : TimeSpec{};
}

void Instance::Update(double time, const uint32_t* in, uint32_t* out) {
    if (!m_effect) {
        PassThrough(in, out);
        return;
    }
    const std::ptrdiff_t rowBytes = static_cast<std::ptrdiff_t>(m_width) * 4;
    try {
        if (const std::optional<TimeSpec> hostTime = HostTimeOf(time))
            m_effect->SetTime(*hostTime);
        const ImageView argbIn{m_argbIn.data(), m_width, m_height, rowBytes, PixelFormat::Argb8};
        const ImageView argbOut{m_argbOut.data(), m_width, m_height, rowBytes, PixelFormat::Argb8};
        io::FromRgba8(reinterpret_cast<const uint8_t*>(in), rowBytes, argbIn);
        {
            RenderSlot slot;
            const unsigned threads = std::max(1u, Cores() / slot.running);
            if (threads != m_threads) {
                RenderSettings settings = m_effect->GetRenderSettings();
                settings.threads = threads;
                m_effect->SetRenderSettings(settings);
                m_threads = threads;
            }
            m_effect->Render(ConstImageView{argbIn.data, m_width, m_height, rowBytes, PixelFormat::Argb8},
                             argbOut);
        }
        io::ToRgba8(ConstImageView{argbOut.data, m_width, m_height, rowBytes, PixelFormat::Argb8},
                    reinterpret_cast<uint8_t*>(out), rowBytes);
    } catch (const std::exception& e) {
        NoteOnce(std::string("rendering failed, the frame passes through unchanged: ") + e.what());
        PassThrough(in, out);
    }
}

}   // namespace corvelle::frei0r
