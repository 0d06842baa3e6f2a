#pragma once
// A connection that obtains its socket by listening for and accepting exactly one incoming
// connection: the data connection of an active-mode transfer.

#include <cstdint>
#include <memory>
#include <string>

#include "transport/io_handler.h"
#include "transport/socket_handle.h"
#include "transport/tcp_connection.h"

class TIdSimpleServer : public TIdTCPConnection {
public:
    TIdSimpleServer();
    ~TIdSimpleServer() override;

    bool StopRequested = false;
    int32_t AcceptSlice = 1000;  // ms, one readability poll of the wait
    std::string BoundIP;         // "": any local address
    int32_t BoundPort = 0;       // 0: the system chooses
    // Only a connection from this address is taken; others are closed and the wait goes on.
    // "": any peer.
    std::string AllowedPeerIP;
    // Overall limit of WaitForConnection in ms; 0: none.
    int32_t AcceptTimeout = 0;
    // The last WaitForConnection ended by AcceptTimeout.
    bool TimedOut() const { return timedOut_; }

    // The listening socket while it exists (its handle is Id_INVALID_SOCKET otherwise); after a
    // bind it holds the local address and port the system chose.
    TIdSocketHandle& ListenSocket() { return listen_; }
    bool IsListening() const { return isListening_; }

    // Accepts on this handler instead of a plain socket handler (owned from now on).
    void UseHandler(TIdIOHandlerSocket* handler);
    virtual void AbortWait();
    virtual void StartListening();
    virtual void BindListener();
    virtual void StopListening();
    // Returns whether a connection was accepted; afterwards the object reads and writes that socket.
    virtual bool WaitForConnection();

    // The inherited reset, then no stop request, not listening, I/O handler freed (and the
    // listening socket closed).
    void ResetInput() override;

private:
    TIdSocketHandle listen_;
    bool isListening_ = false;
    bool timedOut_ = false;
};
