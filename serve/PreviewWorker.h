// Runs the preview on a thread of its own: the page's messages queue up while a render runs,
// mouse moves collapse to the newest, and each batch ends in at most one render.
#pragma once

#include "Messages.h"
#include "Preview.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace corvelle::serve {

/// A message for the page: every client (`to` = 0) or one.
struct Outgoing {
    std::shared_ptr<const std::string> bytes;
    /// What a newer message makes useless while this one still waits to be sent: a frame
    /// replaces waiting frames and states, a state waiting states, a hit or progress its kind.
    enum class Kind { Keep, State, Frame, Hit, Progress } kind = Kind::Keep;
    bool binary = false;
    uint64_t to = 0;
};

/// Writes a binary frame message into `bytes`: 4 bytes little-endian length of the state JSON,
/// the JSON, then the picture's straight RGBA 8-bit rows, converted straight into the message
/// (its size is in the JSON's "image").
void WriteFrameMessage(const std::string& stateJson, const ConstImageView& picture, std::string& bytes);

class PreviewWorker {
public:
    using Send = std::function<void(Outgoing)>;
    using Log = std::function<void(const std::string&)>;

    PreviewWorker(std::unique_ptr<Preview> preview, Send send, Log log);
    ~PreviewWorker();
    PreviewWorker(const PreviewWorker&) = delete;
    PreviewWorker& operator=(const PreviewWorker&) = delete;

    /// Queues a message from `client`; a move, hover or frame change replaces one still waiting.
    void Push(uint64_t client, const ClientMessage& message);
    /// Sends a newly connected client the state and the picture.
    void Greet(uint64_t client);
    /// Lets a render in progress finish, then ends the thread.
    void Stop();

private:
    struct Job {
        uint64_t client = 0;
        bool greet = false;
        ClientMessage message;
    };

    void Run();
    void Process(std::deque<Job>& jobs);
    void SendError(uint64_t client, int status, const std::string& what);
    void SendText(uint64_t client, const nlohmann::json& message, Outgoing::Kind kind);

    std::unique_ptr<Preview> m_preview;
    Send m_send;
    Log m_log;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Job> m_jobs;
    bool m_stop = false;
    std::shared_ptr<std::string> m_frameBytes;
    std::thread m_thread;
};

}   // namespace corvelle::serve
