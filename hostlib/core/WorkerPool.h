// Threads that outlive any one iteration, so a render's rows are shared without starting threads per frame.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace corvelle {

class WorkerPool {
public:
    /// The process's pool; its threads start the first time they are needed and stay.
    static WorkerPool& Shared();

    WorkerPool() = default;
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    /// Calls job(context, part) for every part in [0, parts) and returns when all have
    /// returned; part 0 runs on the calling thread. While another Run holds the pool, or where
    /// no thread can be started, the calling thread does the remaining parts itself.
    void Run(unsigned parts, void (*job)(void* context, unsigned part), void* context);

    /// Threads started so far.
    std::size_t ThreadCount() const;

private:
    void Work(unsigned part);

    std::mutex m_running;   // held for a whole Run
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_done;
    std::vector<std::thread> m_threads;   // thread i takes part i + 1
    void (*m_job)(void*, unsigned) = nullptr;
    void* m_context = nullptr;
    unsigned m_parts = 0;
    unsigned m_pending = 0;
    std::uint64_t m_generation = 0;
    bool m_stopping = false;
};

}   // namespace corvelle
