// A raw loopback connection, for playing clients that are slow, idle or
// never accepted.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>
#include <string>

class RawConnection {
public:
    // Connects to 127.0.0.1:port, from the loopback address `from` when
    // given; without waiting, the connection may still be in progress (see
    // Connected).
    explicit RawConnection(int port, bool wait = true, const char* from = nullptr)
    {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        if (fd_ < 0)
            throw std::runtime_error("socket");
        if (from) {
            sockaddr_in source{};
            source.sin_family = AF_INET;
            if (inet_pton(AF_INET, from, &source.sin_addr) != 1 ||
                bind(fd_, reinterpret_cast<const sockaddr*>(&source), sizeof source) != 0)
                throw std::runtime_error(std::string("cannot connect from ") + from);
        }
        if (!wait)
            fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) | O_NONBLOCK);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<std::uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (connect(fd_, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0 && (wait || errno != EINPROGRESS))
            throw std::runtime_error("cannot connect to port " + std::to_string(port));
    }
    ~RawConnection() { Close(); }
    RawConnection(const RawConnection&) = delete;
    RawConnection& operator=(const RawConnection&) = delete;

    void Close()
    {
        if (fd_ >= 0)
            close(fd_);
        fd_ = -1;
    }
    // Whether the connection is established within ms milliseconds.
    bool Connected(int ms) const
    {
        pollfd p{fd_, POLLOUT, 0};
        if (poll(&p, 1, ms) != 1)
            return false;
        int error = 0;
        socklen_t length = sizeof error;
        return getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
    }
    // Whether the peer has neither answered nor closed the connection.
    bool Open() const
    {
        pollfd p{fd_, POLLIN, 0};
        return poll(&p, 1, 0) == 0;
    }
    bool Send(const std::string& data) const
    {
        return send(fd_, data.data(), data.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(data.size());
    }
    // What arrives within ms milliseconds, until the peer closes; empty when nothing does.
    std::string Receive(int ms) const
    {
        std::string got;
        for (;;) {
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, ms) != 1)
                return got;
            char buf[4096];
            const ssize_t n = recv(fd_, buf, sizeof buf, 0);
            if (n <= 0)
                return got;
            got.append(buf, static_cast<std::size_t>(n));
        }
    }

private:
    int fd_ = -1;
};
