#include "transport/tcp_client.h"

void TIdTCPClient::NotifyConnected() {
    if (OnConnected) OnConnected(this);
}

void TIdTCPClient::ConnectToHost(int timeout) {
    if (!IOHandler()) {
        auto* h = new TIdIOHandlerSocket();
        h->OnStatus = OnStatus;
        AdoptHandler(h);
    } else if (IOHandler()->HandlerConnected()) {
        throw EIdAlreadyConnected();
    }
    // A port beyond 16 bits would silently reach another one once narrowed for the socket.
    if (Port() < 1 || Port() > 65535)
        throw EIdConnectException("Port " + std::to_string(Port()) + " is outside the range 1 to 65535");
    HandlerUse use(*this);
    try {
        IOHandler()->OpenHandler();
        ResetInput();
        IOHandler()->ConnectPeer(Host(), Port(), BoundIP, BoundPort, LocalPortMin, LocalPortMax, timeout);
        if (Intercept()) Intercept()->AttachConnection(this);
        ReportStatus(stConnected, Host());
        NotifyConnected();
    } catch (...) {
        try {
            CloseSocket();
        } catch (...) {
            // the connect's failure is the one to report
        }
        throw;
    }
}

std::string TIdTCPClient::ConnectAndGetAll() {
    ConnectToHost();
    return ReadAll();
}
