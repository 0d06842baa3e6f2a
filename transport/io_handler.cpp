#include "transport/io_handler.h"

#include <netinet/in.h>
#include <netinet/tcp.h>

#include <algorithm>
#include <chrono>
#include <exception>
#include <vector>

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
    if (!binding_)
        binding_ = std::make_unique<TIdSocketHandle>();
    else
        binding_->Reset();
}

bool TIdIOHandlerSocket::WaitReadable(int timeout) {
    if (!binding_) throw EIdConnClosedGracefully();
    return binding_->WaitReadable(timeout);
}

bool TIdIOHandlerSocket::InputWaiting() { return binding_ && binding_->HandleAllocated() && binding_->Select(0); }

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
    const std::string target = TIdStack::StripBrackets(host);
    if (!TIdStack::IsIP(target) && !TIdStack::IsIPv6(target)) {
        std::string upper;
        for (char c : target) upper += static_cast<char>((c >= 'a' && c <= 'z') ? c - 32 : c);
        // "localhost" needs no lookup, so it reports no resolving status.
        if (upper != "LOCALHOST") ReportStatus(stResolving, host);
    }
    const std::vector<std::string> addresses = GStack().ResolveHostAll(target);

    // One time-out for all addresses together: a name with an unreachable first address still
    // fails within the time the caller gave.
    int budget = timeout;
    if (timeout == -1 || timeout == 0) budget = TIdAntiFreezeBase::InUse() ? DefaultConnectTimeout : 0;
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(budget > 0 ? budget : 0);

    std::exception_ptr failure;
    bool failureIsLocal = true;  // the kept failure only says this host has no route of that family
    for (size_t i = 0; i < addresses.size(); ++i) {
        const std::string& address = addresses[i];
        const int family = TIdStack::AddressFamily(address);
        if (!boundIP.empty() && TIdStack::AddressFamily(boundIP) != family) continue;
        b.AllocateSocket(family);
        b.IP = boundIP;
        b.Port = boundPort;
        b.ClientPortMin = boundPortMin;
        b.ClientPortMax = boundPortMax;
        b.Bind();
        b.SetPeer(address, port);
        if (!UseNagle) {
            int one = 1;
            GStack().CheckForSocketError(GStack().SetSockOpt(b.Handle(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one));
        }
        ReportStatus(stConnecting, address);
        int err = 0;
        std::exception_ptr caught;
        try {
            if (budget > 0) {
                const auto left =
                    std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
                ConnectWithTimeout(static_cast<int>(std::max<long long>(left, 1)));
            } else if (budget == -2) {
                ConnectWithTimeout(-2);
            } else {
                b.Connect();
            }
            b.UpdateBindingLocal();
            b.UpdateBindingPeer();
            return;
        } catch (const EIdSocketError& e) {
            err = e.LastError;
            caught = std::current_exception();
        } catch (const EIdConnectException&) {
            err = lastConnectError_;
            caught = std::current_exception();
        }
        // Failed: try the next address while time is left, and keep the most telling failure.
        const bool local = err == 10047 || err == 10049 || err == 10051 || err == 10065;
        if (!failure || !local || failureIsLocal) {
            failure = caught;
            failureIsLocal = local;
        }
        b.CloseSocket();
        if (budget > 0 && Clock::now() >= deadline) break;
    }
    if (failure) std::rethrow_exception(failure);
    // Only addresses of another family than the bound address.
    GStack().RaiseSocketError(10047);
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
        lastConnectError_ = err;
        throw EIdConnectException(EIdSocketError::MessageFor(err));
    }
}
