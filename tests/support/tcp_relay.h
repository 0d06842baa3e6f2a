#pragma once
// A TCP relay on 127.0.0.1 that forwards every connection to a target port and records the bytes
// in both directions, so a test can check what really went over the wire.

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class TcpRelay {
public:
    explicit TcpRelay(int targetPort, const std::string& targetHost = "127.0.0.1");
    ~TcpRelay();
    TcpRelay(const TcpRelay&) = delete;
    TcpRelay& operator=(const TcpRelay&) = delete;

    int port() const { return port_; }
    // Everything both sides sent so far, in arrival order.
    std::string recorded() const;

private:
    void acceptLoop();
    void pump(int a, int b);

    int listenFd_ = -1;
    int port_ = 0;
    int targetPort_;
    std::string targetHost_;
    std::atomic<bool> stop_{false};
    std::thread acceptor_;
    std::vector<std::thread> pumps_;
    mutable std::mutex mutex_;
    std::string recorded_;
};
