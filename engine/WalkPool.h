#pragma once

// The threads that folder walks run on. The pool knows nothing of folders: it lends its
// threads to one walk at a time (see CFolderWalk), each of which runs the walk's work.

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

class WalkState;

// The threads that walk folders: made once and kept for the life of the program (or of the
// pool object), idle between walks. A pool runs one walk at a time; a second walk waits for
// the first to end.
class CWalkPool {
public:
    explicit CWalkPool(unsigned threads);
    ~CWalkPool();
    CWalkPool(const CWalkPool&) = delete;
    CWalkPool& operator=(const CWalkPool&) = delete;

    unsigned Threads() const { return static_cast<unsigned>(m_threads.size()); }

    // The program's pool of DefaultThreads() threads, started by its first use.
    static CWalkPool& Shared();
    // Twice the processor cores: one thread per core keeps a warm cache busy, and the others
    // keep requests queued at the disk while threads wait for entries that are not cached.
    static unsigned DefaultThreads();

private:
    friend class CFolderWalk;

    void Serve();
    void Quit();
    void Begin(WalkState& walk);
    void End();

    std::mutex m_runMutex; // held while a walk runs
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_left;
    WalkState* m_walk = nullptr;
    std::uint64_t m_generation = 0;
    int m_inside = 0; // threads working on m_walk
    bool m_quit = false;
    std::vector<std::thread> m_threads;
};
