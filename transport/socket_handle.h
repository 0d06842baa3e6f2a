#pragma once
// One socket and its two addresses.

#include <sys/socket.h>

#include <string>

class TIdSocketHandle {
public:
    TIdSocketHandle() = default;
    ~TIdSocketHandle();
    TIdSocketHandle(const TIdSocketHandle&) = delete;
    TIdSocketHandle& operator=(const TIdSocketHandle&) = delete;

    int Handle() const { return handle_; }
    bool HandleAllocated() const { return allocated_; }

    std::string IP;         // local address ("" or "0.0.0.0": any)
    int Port = 0;           // local port (0: any)
    std::string PeerIP;     // remote address
    int PeerPort = 0;       // remote port
    int ClientPortMin = 0;  // local port range; 0 and 0: none
    int ClientPortMax = 0;

    // Closes any socket still held, then creates a TCP stream socket of the family (AF_INET or
    // AF_INET6); raises EIdInvalidSocket.
    void AllocateSocket(int family = AF_INET);
    // Binds to IP and Port, or to the highest free port of the range; reads the local address back.
    // Raises EIdCouldNotBindSocket, EIdCanNotBindPortInRange, EIdInvalidPortRange or EIdSocketError.
    void Bind();
    void Listen(int backlog = 5);
    // Takes the next connection of listening socket listenHandle as this handle's socket and reads
    // both addresses back. Errors 10004 and 10038 return false; any other error raises.
    bool Accept(int listenHandle);
    // Blocking connect to PeerIP:PeerPort (raises the socket error).
    void Connect();
    // Starts a non-blocking connect; returns true when already connected, false when in progress.
    // Raises the socket error when it fails at once.
    bool StartConnect();
    // After StartConnect: 1 connected, 0 still in progress, -1 failed (error number in err).
    int PollConnect(int timeoutMs, int& err);
    void SetBlocking(bool blocking);
    // Shuts the socket down for sending and closes it; nothing when no socket is held.
    void CloseSocket();
    void UpdateBindingLocal();
    void UpdateBindingPeer();
    void SetPeer(const std::string& ip, int port) {
        PeerIP = ip;
        PeerPort = port;
    }
    void Reset();  // closes the socket and clears all addresses

    // One readiness test without the responsiveness hook: true when readable within timeoutMs
    // (-2: no limit).
    bool Select(int timeoutMs);
    // Readiness wait with the responsiveness hook: in slices of its IdleTimeOut while it is in use,
    // running the hook after each slice. Raises EIdConnClosedGracefully without a socket.
    bool WaitReadable(int timeoutMs);

    // Raw send and receive; Id_SOCKET_ERROR on failure (GStack().LastError()).
    long Send(const void* buf, long len);
    long Recv(void* buf, long len);

private:
    int handle_ = -1;
    bool allocated_ = false;
};
