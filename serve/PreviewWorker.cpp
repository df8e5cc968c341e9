// The preview's worker thread and its mailbox.
#include "PreviewWorker.h"

#include <corvelle/convert.h>

#include <cstring>

namespace corvelle::serve {
namespace {

bool Collapses(MessageKind kind) {
    return kind == MessageKind::Move || kind == MessageKind::Hover || kind == MessageKind::Frame;
}

}   // namespace

void WriteFrameMessage(const std::string& stateJson, const ConstImageView& picture, std::string& bytes) {
    const std::size_t rowBytes = static_cast<std::size_t>(picture.width) * 4;
    const std::size_t pixels = 4 + stateJson.size();
    bytes.clear();
    bytes.reserve(pixels + rowBytes * static_cast<std::size_t>(picture.height));
    const uint32_t length = static_cast<uint32_t>(stateJson.size());
    for (int shift = 0; shift < 32; shift += 8) {
        bytes.push_back(static_cast<char>((length >> shift) & 0xff));
    }
    bytes += stateJson;
    bytes.resize(pixels + rowBytes * static_cast<std::size_t>(picture.height));
    io::ToRgba8(picture, reinterpret_cast<uint8_t*>(bytes.data() + pixels),
                static_cast<std::ptrdiff_t>(rowBytes));
}

PreviewWorker::PreviewWorker(std::unique_ptr<Preview> preview, Send send, Log log)
    : m_preview(std::move(preview)),
      m_send(std::move(send)),
      m_log(std::move(log)),
      m_thread([this] { Run(); }) {}

PreviewWorker::~PreviewWorker() {
    Stop();
}

void PreviewWorker::Stop() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void PreviewWorker::Push(uint64_t client, const ClientMessage& message) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        // The newest mouse position wins: a render is never spent on a position already passed.
        if (Collapses(message.kind) && !m_jobs.empty() && !m_jobs.back().greet &&
            m_jobs.back().message.kind == message.kind && m_jobs.back().client == client) {
            m_jobs.back().message = message;
        } else {
            m_jobs.push_back(Job{client, false, message});
        }
    }
    m_wake.notify_one();
}

void PreviewWorker::Greet(uint64_t client) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_jobs.push_back(Job{client, true, ClientMessage{}});
    }
    m_wake.notify_one();
}

void PreviewWorker::Run() {
    for (;;) {
        std::deque<Job> jobs;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stop || !m_jobs.empty(); });
            if (m_stop) {
                return;
            }
            jobs.swap(m_jobs);
        }
        Process(jobs);
    }
}

void PreviewWorker::SendText(uint64_t client, const nlohmann::json& message, Outgoing::Kind kind) {
    m_send(Outgoing{std::make_shared<const std::string>(message.dump()), kind, false, client});
}

void PreviewWorker::SendError(uint64_t client, int status, const std::string& what) {
    m_log(what);
    SendText(client, nlohmann::json{{"t", "error"}, {"status", status}, {"message", what}},
             Outgoing::Kind::Keep);
}

void PreviewWorker::Process(std::deque<Job>& jobs) {
    bool render = false;
    bool state = false;
    for (const Job& job : jobs) {
        if (job.greet) {
            render = true;
            continue;
        }
        const ClientMessage& message = job.message;
        try {
            if (message.kind == MessageKind::RenderOutput) {
                m_preview->RenderOutput([&](long done, long total) {
                    SendText(0, nlohmann::json{{"t", "progress"}, {"done", done}, {"total", total}},
                             Outgoing::Kind::Progress);
                });
                SendText(0, nlohmann::json{{"t", "rendered"}}, Outgoing::Kind::Keep);
                continue;
            }
            const Outcome outcome = m_preview->Apply(message);
            render = render || outcome.render;
            state = state || outcome.state;
            if (outcome.saved) {
                SendText(0, nlohmann::json{{"t", "saved"}, {"path", m_preview->Keys().Path()}},
                         Outgoing::Kind::Keep);
            }
            if (outcome.hover) {
                SendText(
                    job.client,
                    nlohmann::json{
                        {"t", "hit"}, {"seq", message.seq}, {"handle", static_cast<int>(outcome.handle)}},
                    Outgoing::Kind::Hit);
            }
        } catch (const BadMessage& e) {
            SendError(job.client, 400, std::string("refused a message: ") + e.what());
            state = true;   // the page's controls go back to what the preview holds
        } catch (const Error& e) {
            const bool callersFault = e.Kind() == ErrorKind::BadValue;
            SendError(job.client, callersFault ? 400 : 500, e.what());
            state = true;
        }
    }
    try {
        if (render) {
            const ConstImageView frame = m_preview->RenderFrame();
            nlohmann::json s = m_preview->State();
            s["image"] = {{"width", frame.width}, {"height", frame.height}};
            // The last frame's message is written over once the network has let go of it: a
            // fresh megabytes-large buffer a frame would cost its page faults every time.
            if (!m_frameBytes || m_frameBytes.use_count() > 1) {
                m_frameBytes = std::make_shared<std::string>();
            }
            WriteFrameMessage(s.dump(), frame, *m_frameBytes);
            m_send(Outgoing{m_frameBytes, Outgoing::Kind::Frame, true, 0});
        } else if (state) {
            SendText(0, m_preview->State(), Outgoing::Kind::State);
        }
    } catch (const std::exception& e) {
        SendError(0, 500, e.what());
    }
}

}   // namespace corvelle::serve
