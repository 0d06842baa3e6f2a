#include "transport/io_handler.h"

#include <netinet/in.h>
#include <netinet/tcp.h>

#include <algorithm>

#include "transport/anti_freeze.h"
#include "transport/id_exception.h"
#include "transport/id_stack.h"

TIdIOHandlerSocket::TIdIOHandlerSocket() = default;

TIdIOHandlerSocket::~TIdIOHandlerSocket() {
    if (binding_) binding_->CloseSocket();
}

TIdSocksInfo& TIdIOHandlerSocket::SocksInfo() {
    if (!socks_) socks_ = std::make_unique<TIdSocksInfo>();
    return *socks_;
}

void TIdIOHandlerSocket::CloseHandler() {
    if (binding_) binding_->CloseSocket();
    TIdIOHandler::CloseHandler();
}

bool TIdIOHandlerSocket::HandlerConnected() { return binding_ && binding_->HandleAllocated(); }

void TIdIOHandlerSocket::OpenHandler() {
    TIdIOHandler::OpenHandler();
    if (!binding_) binding_ = std::make_unique<TIdSocketHandle>();
    else binding_->Reset();
}

bool TIdIOHandlerSocket::WaitReadable(int timeout) {
    if (!binding_) throw EIdConnClosedGracefully();
    return binding_->WaitReadable(timeout);
}

long TIdIOHandlerSocket::ReceiveBytes(void* buf, long len) {
    if (!binding_ || !binding_->HandleAllocated()) throw EIdClosedSocket();
    return binding_->Recv(buf, len);
}

long TIdIOHandlerSocket::SendBytes(const void* buf, long len) {
    if (!binding_ || !binding_->HandleAllocated()) throw EIdClosedSocket();
    return binding_->Send(buf, len);
}

void TIdIOHandlerSocket::ConnectPeer(const std::string& host, int port, const std::string& boundIP, int boundPort,
                                     int boundPortMin, int boundPortMax, int timeout) {
    if (!binding_) binding_ = std::make_unique<TIdSocketHandle>();
    TIdSocketHandle& b = *binding_;
    b.AllocateSocket();
    b.IP = boundIP;
    b.Port = boundPort;
    b.ClientPortMin = boundPortMin;
    b.ClientPortMax = boundPortMax;
    b.Bind();

    if (!TIdStack::IsIP(host)) {
        std::string upper;
        for (char c : host) upper += static_cast<char>((c >= 'a' && c <= 'z') ? c - 32 : c);
        // "localhost" needs no lookup, so it reports no resolving status.
        if (upper != "LOCALHOST") ReportStatus(stResolving, host);
    }
    b.SetPeer(GStack().ResolveHost(host), port);

    if (!UseNagle) {
        int one = 1;
        GStack().CheckForSocketError(GStack().SetSockOpt(b.Handle(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one));
    }
    ReportStatus(stConnecting, b.PeerIP);

    if (timeout != -1 && timeout != 0) ConnectWithTimeout(timeout);
    else if (TIdAntiFreezeBase::InUse()) ConnectWithTimeout(DefaultConnectTimeout);
    else b.Connect();

    b.UpdateBindingLocal();
    b.UpdateBindingPeer();
}

void TIdIOHandlerSocket::ConnectWithTimeout(int timeout) {
    TIdSocketHandle& b = *binding_;
    if (b.StartConnect()) return;

    int step = 125;
    if (TIdAntiFreezeBase::InUse()) step = std::min(step, std::max(1, TIdAntiFreezeBase::InUseIdleTimeOut()));

    int err = 0;
    int state = 0;  // 1 connected, 0 pending, -1 failed
    int remaining = timeout;
    const bool unlimited = timeout == -2;
    while (unlimited || remaining > step) {
        state = b.PollConnect(step, err);
        if (state != 0) break;
        TIdAntiFreezeBase::RunHook(true);
        if (!b.HandleAllocated()) break;  // closed from the user interface meanwhile
        if (!unlimited) remaining -= step;
    }
    if (state == 0 && b.HandleAllocated()) state = b.PollConnect(std::max(0, remaining), err);

    if (!b.HandleAllocated()) throw EIdClosedSocket();
    if (state == 0) {
        b.CloseSocket();
        throw EIdConnectTimeout();
    }
    if (state < 0) {
        if (err == Id_WSAEBADF || err == Id_WSAENOTSOCK) throw EIdClosedSocket();
        throw EIdConnectException(EIdSocketError::MessageFor(err));
    }
}
