#include "tests/support/tcp_relay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

TcpRelay::TcpRelay(int targetPort, const std::string& targetHost) : targetPort_(targetPort), targetHost_(targetHost) {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (listenFd_ < 0 || ::bind(listenFd_, reinterpret_cast<sockaddr*>(&a), len) != 0 || ::listen(listenFd_, 8) != 0 ||
        ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&a), &len) != 0)
        throw std::runtime_error("relay: cannot listen");
    port_ = ntohs(a.sin_port);
    acceptor_ = std::thread([this] { acceptLoop(); });
}

TcpRelay::~TcpRelay() {
    stop_ = true;
    acceptor_.join();
    for (auto& t : pumps_) t.join();
    ::close(listenFd_);
}

std::string TcpRelay::recorded() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return recorded_;
}

void TcpRelay::acceptLoop() {
    while (!stop_) {
        pollfd p{listenFd_, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0) continue;
        const int client = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) continue;
        const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in t{};
        t.sin_family = AF_INET;
        t.sin_port = htons(static_cast<uint16_t>(targetPort_));
        ::inet_pton(AF_INET, targetHost_.c_str(), &t.sin_addr);
        if (::connect(server, reinterpret_cast<sockaddr*>(&t), sizeof t) != 0) {
            ::close(client);
            ::close(server);
            continue;
        }
        pumps_.emplace_back([this, client, server] { pump(client, server); });
    }
}

void TcpRelay::pump(int a, int b) {
    char buf[65536];
    bool open[2] = {true, true};  // a->b, b->a
    while (!stop_ && (open[0] || open[1])) {
        pollfd p[2] = {{a, static_cast<short>(open[0] ? POLLIN : 0), 0}, {b, static_cast<short>(open[1] ? POLLIN : 0), 0}};
        if (::poll(p, 2, 50) <= 0) continue;
        for (int i = 0; i < 2; ++i) {
            if (!open[i] || !(p[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            const int from = i == 0 ? a : b, to = i == 0 ? b : a;
            const ssize_t n = ::recv(from, buf, sizeof buf, 0);
            if (n <= 0) {
                ::shutdown(to, SHUT_WR);
                open[i] = false;
                continue;
            }
            {
                std::lock_guard<std::mutex> lock(mutex_);
                recorded_.append(buf, static_cast<size_t>(n));
            }
            for (ssize_t sent = 0; sent < n;) {
                const ssize_t w = ::send(to, buf + sent, static_cast<size_t>(n - sent), MSG_NOSIGNAL);
                if (w <= 0) break;
                sent += w;
            }
        }
    }
    ::close(a);
    ::close(b);
}
