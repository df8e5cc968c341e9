// Several frames of a raw stream in flight at once, written in the order they came.
#include <corvelle/streams.h>

#include <condition_variable>
#include <exception>
#include <limits>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

namespace corvelle {
namespace {

constexpr long kNoFrame = std::numeric_limits<long>::max();

class OrderedLanes {
public:
    OrderedLanes(RawFrameReader& reader, PixelFormat format, int width, int height,
                 const std::vector<LaneRender>& lanes, const FrameSink& write)
        : m_reader(reader),
          m_format(format),
          m_width(width),
          m_height(height),
          m_lanes(lanes),
          m_write(write) {}

    long Run() {
        std::vector<std::thread> threads;
        for (std::size_t lane = 1; lane < m_lanes.size(); ++lane) {
            try {
                threads.emplace_back([this, lane] { Work(lane); });
            } catch (const std::system_error&) {
                break;   // no more threads to be had: the lanes started share the stream
            }
        }
        Work(0);
        for (std::thread& thread : threads) {
            thread.join();
        }
        if (m_failure) {
            std::rethrow_exception(m_failure);
        }
        return m_written;
    }

private:
    void Work(std::size_t lane) {
        std::optional<Picture> layer;
        for (;;) {
            long frame = kNoFrame;
            try {
                {
                    const std::lock_guard<std::mutex> reading(m_reading);
                    if (m_ended || Stopped()) {
                        return;
                    }
                    frame = m_read;
                    if (!layer) {
                        layer = MakePicture(m_format, m_width, m_height);
                    }
                    if (!m_reader.Next(layer->View())) {
                        m_ended = true;
                        return;
                    }
                    ++m_read;
                }
                const ConstImageView out = m_lanes[lane](frame, static_cast<const Picture&>(*layer).View());
                std::unique_lock<std::mutex> lock(m_mutex);
                m_turn.wait(lock, [&] { return m_written == frame || m_failedFrame < frame; });
                if (m_failedFrame < frame) {
                    return;
                }
                m_write(out);
                ++m_written;
                lock.unlock();
                m_turn.notify_all();
            } catch (...) {
                Fail(frame, std::current_exception());
                return;
            }
        }
    }

    bool Stopped() {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_failedFrame != kNoFrame;
    }

    /// Keeps the failure of the earliest frame; the lanes holding later frames stop.
    void Fail(long frame, std::exception_ptr failure) {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            if (frame <= m_failedFrame) {
                m_failedFrame = frame;
                m_failure = std::move(failure);
            }
        }
        m_turn.notify_all();
    }

    RawFrameReader& m_reader;
    const PixelFormat m_format;
    const int m_width;
    const int m_height;
    const std::vector<LaneRender>& m_lanes;
    const FrameSink& m_write;

    std::mutex m_reading;   // the reader, and the frames it handed out
    long m_read = 0;
    bool m_ended = false;

    std::mutex m_mutex;   // whose turn it is to write, and the failure
    std::condition_variable m_turn;
    long m_written = 0;
    long m_failedFrame = kNoFrame;
    std::exception_ptr m_failure;
};

}   // namespace

long RenderFramesInOrder(RawFrameReader& reader, PixelFormat format, int width, int height,
                         const std::vector<LaneRender>& lanes, const FrameSink& write) {
    if (lanes.empty()) {
        throw Error("rendering a stream: no lane to render on", ErrorKind::BadValue);
    }
    if (lanes.size() == 1) {
        FramePrefetch frames(reader, format, width, height);
        while (const Picture* layer = frames.Next()) {
            write(lanes[0](frames.FramesRead() - 1, layer->View()));
        }
        return frames.FramesRead();
    }
    return OrderedLanes(reader, format, width, height, lanes, write).Run();
}

}   // namespace corvelle
