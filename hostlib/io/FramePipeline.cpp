// Several frames in flight at once, on lanes of their own.
#include <corvelle/streams.h>

#include <atomic>
#include <condition_variable>
#include <exception>
#include <limits>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

namespace corvelle {
namespace {

constexpr long kNoFrame = std::numeric_limits<long>::max();

class Lanes {
public:
    Lanes(const FrameSource& read, const std::vector<LaneRender>& lanes, const FrameSink& write,
          FrameAccess access)
        : m_read(read), m_lanes(lanes), m_write(write), m_inTurn(access == FrameAccess::InTurn) {}

    long Run() {
        std::vector<std::thread> threads;
        for (std::size_t lane = 1; lane < m_lanes.size(); ++lane) {
            try {
                threads.emplace_back([this, lane] { Work(lane); });
            } catch (const std::system_error&) {
                break;   // no more threads to be had: the lanes started share the frames
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
                if (!Take(&frame, layer)) {
                    return;
                }
                const ConstImageView out = m_lanes[lane](frame, static_cast<const Picture&>(*layer).View());
                if (!Write(frame, out)) {
                    return;
                }
            } catch (...) {
                Fail(frame, std::current_exception());
                return;
            }
        }
    }

    /// The next frame for this lane, read into `layer`; false when the frames have ended or
    /// one has failed.
    bool Take(long* frame, std::optional<Picture>& layer) {
        std::unique_lock<std::mutex> taking(m_taking);
        if (m_ended || m_failed.load()) {
            return false;
        }
        *frame = m_next++;
        if (!m_inTurn) {
            taking.unlock();
        }
        if (!m_read(*frame, layer)) {
            if (!m_inTurn) {
                taking.lock();
            }
            m_ended = true;
            return false;
        }
        if (!layer) {
            throw Error("reading frame " + std::to_string(*frame + 1) + ": the source gave no picture",
                        ErrorKind::BadValue);
        }
        return true;
    }

    /// Writes frame `frame`, InTurn once every frame before it is written; false when a frame
    /// before it has failed.
    bool Write(long frame, const ConstImageView& out) {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (m_inTurn) {
            m_turn.wait(lock, [&] { return m_written == frame || m_failedFrame < frame; });
        }
        if (m_failedFrame < frame) {
            return false;
        }
        if (!m_inTurn) {
            lock.unlock();
        }
        m_write(frame, out);
        if (!m_inTurn) {
            lock.lock();
        }
        ++m_written;
        lock.unlock();
        m_turn.notify_all();
        return true;
    }

    /// Keeps the failure of the earliest frame; the lanes holding later frames stop.
    void Fail(long frame, std::exception_ptr failure) {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            if (frame <= m_failedFrame) {
                m_failedFrame = frame;
                m_failure = std::move(failure);
            }
            m_failed = true;
        }
        m_turn.notify_all();
    }

    const FrameSource& m_read;
    const std::vector<LaneRender>& m_lanes;
    const FrameSink& m_write;
    const bool m_inTurn;

    std::mutex m_taking;   // the next frame, and InTurn the source itself
    long m_next = 0;
    bool m_ended = false;

    std::mutex m_mutex;   // the frames written, InTurn whose turn it is, and the failure
    std::condition_variable m_turn;
    long m_written = 0;
    long m_failedFrame = kNoFrame;
    std::exception_ptr m_failure;
    std::atomic<bool> m_failed{false};   // read without the lock by lanes about to take a frame
};

}   // namespace

long RenderFrames(const FrameSource& read, const std::vector<LaneRender>& lanes, const FrameSink& write,
                  FrameAccess access) {
    if (lanes.empty()) {
        throw Error("rendering frames: no lane to render on", ErrorKind::BadValue);
    }
    return Lanes(read, lanes, write, access).Run();
}

long RenderFramesInOrder(RawFrameReader& reader, PixelFormat format, int width, int height,
                         const std::vector<LaneRender>& lanes, const FrameSink& write) {
    if (lanes.size() == 1) {
        FramePrefetch frames(reader, format, width, height);
        while (const Picture* layer = frames.Next()) {
            const long frame = frames.FramesRead() - 1;
            write(frame, lanes[0](frame, layer->View()));
        }
        return frames.FramesRead();
    }
    const FrameSource next = [&](long, std::optional<Picture>& layer) {
        if (!layer) {
            layer = MakePicture(format, width, height);
        }
        return reader.Next(layer->View());
    };
    return RenderFrames(next, lanes, write, FrameAccess::InTurn);
}

}   // namespace corvelle
