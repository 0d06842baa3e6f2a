#pragma once
// The client side: connects to Host:Port.

#include <string>

#include "transport/tcp_connection.h"

class TIdTCPClient : public TIdTCPConnection {
public:
    std::string BoundIP;   // "": any local address
    int BoundPort = 0;     // 0: any local port
    int LocalPortMin = 0;  // local port range; both 0: none
    int LocalPortMax = 0;
    TIdNotifyEvent OnConnected;

    const std::string& Host() const { return host_; }
    int Port() const { return port_; }
    virtual void SetHost(const std::string& host) { host_ = host; }
    virtual void SetPort(int port) { port_ = port; }
    virtual void NotifyConnected();
    // timeout ms; -1 and 0 mean the default (120000 ms polled while the hook is in use, else a
    // plain blocking connect). On failure the socket is closed and the exception travels on.
    virtual void ConnectToHost(int timeout = -1);
    // Connect, then ReadAll.
    virtual std::string ConnectAndGetAll();

private:
    std::string host_;
    int port_ = 0;
};
