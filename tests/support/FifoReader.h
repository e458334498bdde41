#pragma once

#include <filesystem>
#include <string>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

// Reads a FIFO on a thread of its own while a program writes into it. The reader holds a
// write end of its own until Bytes(), so that it sees the end only once the program is done,
// and never waits for a writer that does not come (a program that replaced the FIFO).
class FifoReader {
public:
    explicit FifoReader(const std::filesystem::path& fifo)
        : m_read(::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)),
          m_write(::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC)) {
        ::fcntl(m_read, F_SETFL, 0);
        m_thread = std::thread([this] {
            char buffer[1 << 16];
            for (ssize_t n; (n = ::read(m_read, buffer, sizeof buffer)) > 0;)
                m_bytes.append(buffer, static_cast<std::size_t>(n));
        });
    }
    ~FifoReader() { Bytes(); }
    FifoReader(const FifoReader&) = delete;
    FifoReader& operator=(const FifoReader&) = delete;

    // Everything written into the FIFO; call once the writing program has ended.
    const std::string& Bytes() {
        if (m_thread.joinable()) {
            ::close(m_write);
            m_thread.join();
            ::close(m_read);
        }
        return m_bytes;
    }

private:
    int m_read;
    int m_write;
    std::string m_bytes;
    std::thread m_thread;
};
