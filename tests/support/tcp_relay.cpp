#include "tests/support/tcp_relay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace {

int ListenLoopback(int& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&a), len) != 0 || ::listen(fd, 8) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        if (fd >= 0) ::close(fd);
        throw std::runtime_error("relay: cannot listen");
    }
    port = ntohs(a.sin_port);
    return fd;
}

void SendAll(int fd, const char* data, size_t n) {
    for (size_t sent = 0; sent < n;) {
        const ssize_t w = ::send(fd, data + sent, n - sent, MSG_NOSIGNAL);
        if (w <= 0) return;
        sent += static_cast<size_t>(w);
    }
}

// The server's data port of a 227 "(h1,h2,h3,h4,p1,p2)" or 229 "(|||port|)" reply, or -1.
int PassivePort(const std::string& line) {
    if (line.rfind("227 ", 0) == 0) {
        const auto open = line.find('(');
        unsigned h[4], p[2];
        if (open != std::string::npos &&
            std::sscanf(line.c_str() + open, "(%u,%u,%u,%u,%u,%u)", &h[0], &h[1], &h[2], &h[3], &p[0], &p[1]) == 6)
            return static_cast<int>(p[0] * 256 + p[1]);
    } else if (line.rfind("229 ", 0) == 0) {
        const auto open = line.find("(|||");
        int port = 0;
        if (open != std::string::npos && std::sscanf(line.c_str() + open, "(|||%d|)", &port) == 1) return port;
    }
    return -1;
}

}  // namespace

TcpRelay::TcpRelay(int targetPort, const std::string& targetHost) : targetPort_(targetPort), targetHost_(targetHost) {
    listenFd_ = ListenLoopback(port_);
    acceptor_ = std::thread([this] { acceptLoop(); });
}

TcpRelay::~TcpRelay() {
    stop_ = true;
    acceptor_.join();
    // Pumps of control connections may still start data listeners: join until none is left.
    for (;;) {
        std::vector<std::thread> threads;
        {
            std::lock_guard<std::mutex> lock(threadsMutex_);
            threads.swap(pumps_);
        }
        if (threads.empty()) break;
        for (auto& t : threads) t.join();
    }
    ::close(listenFd_);
}

std::string TcpRelay::recorded() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return recorded_;
}

int64_t TcpRelay::take(int64_t n) {
    const int64_t budget = budget_;
    if (budget < 0) {
        relayed_ += n;
        return n;
    }
    const int64_t before = relayed_.fetch_add(n);
    const int64_t passed = std::clamp<int64_t>(budget - before, 0, n);
    if (before + n >= budget) cut_ = true;
    if (passed < n) relayed_ -= n - passed;
    return passed;
}

void TcpRelay::spawn(int client, int serverPort, bool control) {
    const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in t{};
    t.sin_family = AF_INET;
    t.sin_port = htons(static_cast<uint16_t>(serverPort));
    ::inet_pton(AF_INET, targetHost_.c_str(), &t.sin_addr);
    if (cut_ || ::connect(server, reinterpret_cast<sockaddr*>(&t), sizeof t) != 0) {
        ::close(client);
        ::close(server);
        return;
    }
    std::lock_guard<std::mutex> lock(threadsMutex_);
    if (stop_) {
        ::close(client);
        ::close(server);
        return;
    }
    pumps_.emplace_back([this, client, server, control] { pump(client, server, control); });
}

void TcpRelay::acceptLoop() {
    while (!stop_) {
        pollfd p{listenFd_, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0) continue;
        const int client = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client >= 0) spawn(client, targetPort_, true);
    }
}

void TcpRelay::dataAcceptLoop(int listenFd, int serverPort) {
    // One data connection per passive reply, as the server takes it.
    while (!stop_ && !cut_) {
        pollfd p{listenFd, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0) continue;
        const int client = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) continue;
        spawn(client, serverPort, false);
        break;
    }
    ::close(listenFd);
}

std::string TcpRelay::rewriteReply(const std::string& line) {
    const int serverPort = relayData_ ? PassivePort(line) : -1;
    if (serverPort <= 0) return line;
    int port = 0;
    const int fd = ListenLoopback(port);
    {
        std::lock_guard<std::mutex> lock(threadsMutex_);
        if (stop_) {
            ::close(fd);
            return line;
        }
        pumps_.emplace_back([this, fd, serverPort] { dataAcceptLoop(fd, serverPort); });
    }
    const std::string end = line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0 ? "\r\n" : "\n";
    if (line[2] == '7')
        return "227 Entering Passive Mode (127,0,0,1," + std::to_string(port / 256) + "," + std::to_string(port % 256) +
               ")" + end;
    return "229 Entering Extended Passive Mode (|||" + std::to_string(port) + "|)" + end;
}

void TcpRelay::pump(int a, int b, bool control) {
    char buf[65536];
    bool open[2] = {true, true};  // a->b (client to server), b->a
    std::string pending;          // a server reply line not complete yet
    while (!stop_ && !cut_ && (open[0] || open[1])) {
        pollfd p[2] = {{a, static_cast<short>(open[0] ? POLLIN : 0), 0},
                       {b, static_cast<short>(open[1] ? POLLIN : 0), 0}};
        if (::poll(p, 2, 50) <= 0) continue;
        for (int i = 0; i < 2 && !cut_; ++i) {
            if (!open[i] || !(p[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            const int from = i == 0 ? a : b, to = i == 0 ? b : a;
            const ssize_t got = ::recv(from, buf, sizeof buf, 0);
            if (got <= 0) {
                if (!pending.empty()) SendAll(to, pending.data(), pending.size());
                pending.clear();
                ::shutdown(to, SHUT_WR);
                open[i] = false;
                continue;
            }
            const int64_t n = take(got);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                recorded_.append(buf, static_cast<size_t>(n));
            }
            if (!(control && i == 1 && relayData_)) {
                SendAll(to, buf, static_cast<size_t>(n));
                continue;
            }
            pending.append(buf, static_cast<size_t>(n));
            for (auto nl = pending.find('\n'); nl != std::string::npos; nl = pending.find('\n')) {
                const std::string line = rewriteReply(pending.substr(0, nl + 1));
                SendAll(to, line.data(), line.size());
                pending.erase(0, nl + 1);
            }
            // What the cut leaves of a line still goes out, cut.
            if (cut_ && !pending.empty()) SendAll(to, pending.data(), pending.size());
        }
    }
    ::shutdown(a, SHUT_RDWR);
    ::shutdown(b, SHUT_RDWR);
    ::close(a);
    ::close(b);
}
