#pragma once
// A TCP relay on 127.0.0.1 that forwards every connection to a target port and records the bytes
// in both directions, so a test can check what really went over the wire.
//
// For cuts: with relayPassiveData() the server's 227 and 229 replies are rewritten to a port of the
// relay, which forwards that data connection too (active mode is not relayed). With cutAfter(N)
// the relay passes N bytes in all, counted as they arrive in both directions of every connection
// (control and data), then closes both sides of every connection it holds and takes no new one.

#include <atomic>
#include <cstdint>
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
    // Everything both sides sent so far, in arrival order (as sent, before any rewriting).
    std::string recorded() const;

    // Set before the first connection.
    void relayPassiveData(bool on) { relayData_ = on; }
    void cutAfter(int64_t bytes) { budget_ = bytes; }
    // Bytes passed so far, and whether the cut has happened.
    int64_t relayed() const { return relayed_; }
    bool cut() const { return cut_; }

private:
    void acceptLoop();
    void dataAcceptLoop(int listenFd, int serverPort);
    void spawn(int client, int serverPort, bool control);
    void pump(int a, int b, bool control);
    // How many of n arrived bytes may pass; sets cut_ when the budget is spent.
    int64_t take(int64_t n);
    // A server reply line, with a passive port replaced by one of the relay's.
    std::string rewriteReply(const std::string& line);

    int listenFd_ = -1;
    int port_ = 0;
    int targetPort_;
    std::string targetHost_;
    bool relayData_ = false;
    std::atomic<int64_t> budget_{-1};  // -1: no cut
    std::atomic<int64_t> relayed_{0};
    std::atomic<bool> cut_{false};
    std::atomic<bool> stop_{false};
    std::thread acceptor_;
    std::mutex threadsMutex_;
    std::vector<std::thread> pumps_;
    mutable std::mutex mutex_;
    std::string recorded_;
};
