#pragma once
// The socket side of a connection.

#include <memory>
#include <string>

#include "transport/component.h"
#include "transport/socket_handle.h"

class TIdIOHandler : public TIdComponent {
public:
    // Called after a listening socket accepted; does nothing here.
    virtual void HandlerAccepted() {}
    virtual void CloseHandler() { open_ = false; }
    // Connects to host:port (see TIdIOHandlerSocket). timeout in ms: -1 and 0 mean the default.
    virtual void ConnectPeer(const std::string& host, int port, const std::string& boundIP, int boundPort,
                             int boundPortMin, int boundPortMax, int timeout) = 0;
    virtual bool HandlerConnected() { return open_; }
    virtual void OpenHandler() { open_ = true; }
    // Readable within timeout ms (-2: no limit).
    virtual bool WaitReadable(int timeout) = 0;
    // Returns bytes received, 0 when the peer closed, Id_SOCKET_ERROR on failure (GStack().LastError()).
    // Raises EIdClosedSocket without a socket.
    virtual long ReceiveBytes(void* buf, long len) = 0;
    virtual long SendBytes(const void* buf, long len) = 0;
    // Whether input is waiting now, without waiting or running the hook.
    virtual bool InputWaiting() { return false; }

    bool Opened() const { return open_; }

private:
    bool open_ = false;
};

// SOCKS proxy settings; version 0 means no proxy (the program never sets one).
struct TIdSocksInfo {
    int Version = 0;
    std::string Host;
    int Port = 1080;
    std::string UserID;
    std::string Password;
};

class TIdIOHandlerSocket : public TIdIOHandler {
public:
    TIdIOHandlerSocket();
    ~TIdIOHandlerSocket() override;

    bool UseNagle = true;
    // Created on first use.
    TIdSocksInfo& SocksInfo();

    // The socket; created by OpenHandler (nullptr before).
    TIdSocketHandle* Binding() const { return binding_.get(); }

    void CloseHandler() override;
    // Resolve (stResolving for a name; a literal IPv6 address may stand in brackets), then for each
    // IPv6 and IPv4 address in turn, within the one time-out: allocate a socket of its family, bind
    // (range), stConnecting with the address, connect (polled non-blocking connect with a time-out
    // when a time-out is given or the hook is in use; 120000 ms default), then read both addresses
    // back. All failing: the failure of the last address that had a route.
    void ConnectPeer(const std::string& host, int port, const std::string& boundIP, int boundPort, int boundPortMin,
                     int boundPortMax, int timeout) override;
    // True exactly while the socket is allocated.
    bool HandlerConnected() override;
    // Creates the socket object, or resets it.
    void OpenHandler() override;
    bool WaitReadable(int timeout) override;
    bool InputWaiting() override;
    long ReceiveBytes(void* buf, long len) override;
    long SendBytes(const void* buf, long len) override;

    // The connect with a time-out (ms; -2 no limit) on the allocated socket: polled in steps of 125 ms,
    // or the hook's IdleTimeOut when smaller and the hook is in use, running the hook (idle) after
    // each step. Raises EIdConnectTimeout or EIdConnectException (socket error message text).
    void ConnectWithTimeout(int timeout);

    static constexpr int DefaultConnectTimeout = 120000;

private:
    std::unique_ptr<TIdSocketHandle> binding_;
    std::unique_ptr<TIdSocksInfo> socks_;
    int lastConnectError_ = 0;
};
