// Threads that outlive any one iteration, so a render's rows are shared without starting threads per frame.
#include "core/WorkerPool.h"

#include <system_error>

namespace corvelle {

WorkerPool& WorkerPool::Shared() {
    // Never destroyed: a render may still be running on some thread while statics are torn down.
    static WorkerPool* pool = new WorkerPool;
    return *pool;
}

WorkerPool::~WorkerPool() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    for (std::thread& thread : m_threads) {
        thread.join();
    }
}

std::size_t WorkerPool::ThreadCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_threads.size();
}

void WorkerPool::Run(unsigned parts, void (*job)(void*, unsigned), void* context) {
    std::unique_lock<std::mutex> running(m_running, std::try_to_lock);
    if (parts <= 1 || !running) {
        for (unsigned part = 0; part < parts; ++part) {
            job(context, part);
        }
        return;
    }
    unsigned shared = parts;   // parts 1 .. shared - 1 go to the pool's threads
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        while (m_threads.size() + 1 < parts) {
            try {
                m_threads.emplace_back(&WorkerPool::Work, this, static_cast<unsigned>(m_threads.size() + 1));
            } catch (const std::system_error&) {
                shared = static_cast<unsigned>(m_threads.size() + 1);
                break;
            }
        }
        m_job = job;
        m_context = context;
        m_parts = shared;
        m_pending = shared - 1;
        ++m_generation;
    }
    m_wake.notify_all();
    job(context, 0);
    for (unsigned part = shared; part < parts; ++part) {
        job(context, part);
    }
    std::unique_lock<std::mutex> lock(m_mutex);
    m_done.wait(lock, [this] { return m_pending == 0; });
}

void WorkerPool::Work(unsigned part) {
    std::uint64_t seen = 0;
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [&] { return m_stopping || m_generation != seen; });
        if (m_stopping) {
            return;
        }
        seen = m_generation;
        if (part >= m_parts) {
            continue;
        }
        void (*job)(void*, unsigned) = m_job;
        void* context = m_context;
        lock.unlock();
        job(context, part);
        lock.lock();
        if (--m_pending == 0) {
            m_done.notify_one();
        }
    }
}

}   // namespace corvelle
