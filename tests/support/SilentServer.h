#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

// A server that takes connections and never says a word: the kernel completes each connection
// from the listening socket's backlog, and nothing reads from it, so a client waits for it
// until its connect timeout.
class SilentServer {
public:
    SilentServer() {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::listen(m_fd, 16) != 0 ||
            ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            throw std::runtime_error("no socket to listen on");
        m_port = ntohs(address.sin_port);
    }
    // Closing the socket resets the waiting connections: their clients fail at once.
    ~SilentServer() { ::close(m_fd); }
    SilentServer(const SilentServer&) = delete;
    SilentServer& operator=(const SilentServer&) = delete;

    // A PostgreSQL location on this server, with `user` ("name:password@") when one is given.
    std::string Uri(const std::string& user = {}) const {
        return "postgresql://" + user + "127.0.0.1:" + std::to_string(m_port) + "/catalogue";
    }

private:
    int m_fd = -1;
    int m_port = 0;
};
