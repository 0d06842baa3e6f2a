#pragma once
// Shared helpers of the transport tests.

#include <atomic>
#include <string>
#include <vector>

#include "transport/anti_freeze.h"
#include "transport/tcp_client.h"

// Counts the calls of the responsiveness hook; optionally runs an action on the n-th call.
class CountingPump : public TIdMessagePump {
public:
    std::atomic<int> all{0};
    std::atomic<int> one{0};
    std::function<void(int call)> onCall;

    void ProcessAllPendingEvents() override {
        int n = ++all;
        if (onCall) onCall(n);
    }
    bool ProcessOnePendingEvent() override {
        int n = ++one;
        if (onCall) onCall(n);
        return false;
    }
};

// Records status texts of a component.
struct StatusLog {
    std::vector<std::string> texts;
    std::vector<TIdStatus> statuses;
    TIdStatusEvent handler() {
        return [this](TIdComponent*, TIdStatus s, const std::string& t) {
            statuses.push_back(s);
            texts.push_back(t);
        };
    }
};

// A client connected to 127.0.0.1:port.
inline void ConnectLocal(TIdTCPClient& c, int port) {
    c.SetHost("127.0.0.1");
    c.SetPort(port);
    c.ConnectToHost();
}

// A local port where nothing listens (bound once, then released).
int UnusedLocalPort();
// A host name other than "localhost" that /etc/hosts maps into 127.0.0.0/8, or "".
std::string LoopbackHostName();
