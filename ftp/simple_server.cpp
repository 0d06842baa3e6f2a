#include "ftp/simple_server.h"

#include <algorithm>
#include <chrono>

#include "transport/id_stack.h"
#include "transport/io_handler.h"

TIdSimpleServer::TIdSimpleServer() = default;

TIdSimpleServer::~TIdSimpleServer() { listen_.CloseSocket(); }

void TIdSimpleServer::UseHandler(TIdIOHandlerSocket* handler) {
    ResetInput();
    AdoptHandler(handler);
    handler->OpenHandler();
}

void TIdSimpleServer::AbortWait() { StopRequested = true; }

void TIdSimpleServer::StartListening() {
    try {
        if (!dynamic_cast<TIdIOHandlerSocket*>(IOHandler())) {
            ResetInput();
            auto* handler = new TIdIOHandlerSocket();
            AdoptHandler(handler);
            handler->OpenHandler();
        }
        if (listen_.Handle() == Id_INVALID_SOCKET || !listen_.HandleAllocated()) BindListener();
        listen_.Listen(15);
        isListening_ = true;
    } catch (...) {
        FreeOwnedHandler();
        throw;
    }
}

void TIdSimpleServer::BindListener() {
    try {
        // The family of the address to bind: an IPv6 control connection gets an IPv6 listener.
        listen_.AllocateSocket(TIdStack::AddressFamily(BoundIP));
        listen_.IP = BoundIP;
        listen_.Port = BoundPort;
        listen_.Bind();
    } catch (...) {
        listen_.CloseSocket();
        throw;
    }
}

void TIdSimpleServer::StopListening() {
    ResetInput();
    listen_.CloseSocket();
}

void TIdSimpleServer::ResetInput() {
    TIdTCPConnection::ResetInput();
    StopRequested = false;
    isListening_ = false;
    FreeOwnedHandler();
}

bool TIdSimpleServer::WaitForConnection() {
    if (!isListening_) StartListening();
    timedOut_ = false;
    bool accepted = false;
    try {
        using Clock = std::chrono::steady_clock;
        const auto deadline = Clock::now() + std::chrono::milliseconds(AcceptTimeout);
        TIdSocketHandle* socket = Binding();
        while (!StopRequested && !accepted) {
            int slice = AcceptSlice > 0 ? AcceptSlice : 1;
            if (AcceptTimeout > 0) {
                const auto left =
                    std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
                if (left <= 0) {
                    timedOut_ = true;
                    break;
                }
                slice = static_cast<int>(std::min<long long>(slice, left));
            }
            if (!listen_.WaitReadable(slice) || StopRequested) continue;
            listen_.Listen(1);
            if (!socket || !socket->Accept(listen_.Handle())) break;
            if (!AllowedPeerIP.empty() && socket->PeerIP != AllowedPeerIP) {
                // A third party raced the server to our port: drop it and keep waiting.
                socket->CloseSocket();
                continue;
            }
            accepted = true;
        }
    } catch (...) {
        listen_.CloseSocket();
        throw;
    }
    listen_.CloseSocket();
    if (accepted) {
        TIdTCPConnection::ResetInput();
        if (IOHandler()) IOHandler()->HandlerAccepted();
    }
    return accepted;
}
