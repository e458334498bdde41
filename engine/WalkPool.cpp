#include "WalkPool.h"

#include "engine/WalkScheduler.h"

#include <algorithm>
#include <unistd.h>

CWalkPool::CWalkPool(unsigned threads) {
    try {
        for (unsigned i = 0; i < std::max(threads, 1u); ++i)
            m_threads.emplace_back([this] { Serve(); });
    } catch (...) {
        Quit();
        throw;
    }
}

CWalkPool::~CWalkPool() {
    Quit();
}

void CWalkPool::Quit() {
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
        m_wake.notify_all();
    }
    for (auto& thread : m_threads)
        thread.join();
}

// A child made by fork has none of its parent's threads and starts a pool of its own. The
// pool is never destroyed: its idle threads end with the process.
CWalkPool& CWalkPool::Shared() {
    static std::mutex mutex;
    static CWalkPool* pool = nullptr;
    static pid_t owner = 0;
    std::lock_guard lock(mutex);
    if (!pool || owner != ::getpid()) {
        pool = new CWalkPool(DefaultThreads());
        owner = ::getpid();
    }
    return *pool;
}

unsigned CWalkPool::DefaultThreads() {
    return 2 * std::max(std::thread::hardware_concurrency(), 1u);
}

void CWalkPool::Serve() {
    std::uint64_t served = 0;
    for (;;) {
        WalkState* walk = nullptr;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [&] { return m_quit || (m_walk && m_generation != served); });
            if (m_quit)
                return;
            served = m_generation;
            walk = m_walk;
            ++m_inside;
        }
        walk->Work();
        std::lock_guard lock(m_mutex);
        if (--m_inside == 0)
            m_left.notify_all();
    }
}

void CWalkPool::Begin(WalkState& walk) {
    std::lock_guard lock(m_mutex);
    m_walk = &walk;
    ++m_generation;
    m_wake.notify_all();
}

// Waits until every thread has left the walk; threads that had not joined it yet never will.
void CWalkPool::End() {
    std::unique_lock lock(m_mutex);
    m_walk = nullptr;
    m_left.wait(lock, [&] { return m_inside == 0; });
}
