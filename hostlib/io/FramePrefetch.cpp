// Reads a raw stream's next frame while the current one renders.
#include <corvelle/streams.h>

namespace corvelle {

FramePrefetch::FramePrefetch(RawFrameReader& reader, PixelFormat format, int width, int height,
                             std::size_t maxReadAheadBytes)
    : m_reader(reader) {
    m_frames.reserve(2);
    m_frames.push_back(MakePicture(format, width, height));
    const std::size_t frameBytes =
        static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * BytesPerPixel(format);
    if (frameBytes <= maxReadAheadBytes) {
        m_frames.push_back(MakePicture(format, width, height));
    }
}

FramePrefetch::~FramePrefetch() {
    if (m_pending.valid()) {
        m_pending.wait();
    }
}

void FramePrefetch::StartReading(Picture& target) {
    m_pending = std::async(std::launch::async, [this, &target] { return m_reader.Next(target.View()); });
}

const Picture* FramePrefetch::Next() {
    if (m_frames.size() == 1) {
        if (!m_reader.Next(m_frames[0].View())) {
            return nullptr;
        }
        ++m_handedOut;
        return &m_frames[0];
    }
    if (!m_pending.valid()) {   // the first frame, or the stream already ended
        if (m_handedOut > 0) {
            return nullptr;
        }
        StartReading(m_frames[m_reading]);
    }
    // get() leaves the future empty, so a failed read is not waited for again.
    if (!m_pending.get()) {
        return nullptr;
    }
    Picture* ready = &m_frames[m_reading];
    ++m_handedOut;
    // The caller is done with the other frame: it asks for a new one only after rendering it.
    m_reading ^= 1;
    StartReading(m_frames[m_reading]);
    return ready;
}

}   // namespace corvelle
