#include "transport/socket_handle.h"

#include <sys/socket.h>

#include <algorithm>

#include "transport/anti_freeze.h"
#include "transport/id_exception.h"
#include "transport/id_stack.h"

TIdSocketHandle::~TIdSocketHandle() {
    if (allocated_) GStack().Close(handle_);
}

void TIdSocketHandle::AllocateSocket(int family) {
    CloseSocket();
    int s = GStack().NewSocketHandle(family);
    if (s == Id_INVALID_SOCKET) throw EIdInvalidSocket();
    handle_ = s;
    allocated_ = true;
}

void TIdSocketHandle::Bind() {
    TIdStack& st = GStack();
    const bool range = ClientPortMin != 0 && ClientPortMax != 0;
    if (Port != 0 || !range) {
        if (st.Bind(handle_, IP, Port) == Id_SOCKET_ERROR) {
            if (st.LastError() == Id_WSAEADDRINUSE) throw EIdCouldNotBindSocket();
            st.RaiseSocketError(st.LastError());
        }
    } else {
        if (ClientPortMax < ClientPortMin) throw EIdInvalidPortRange(ClientPortMin, ClientPortMax);
        bool bound = false;
        for (int p = ClientPortMax; p >= ClientPortMin; --p) {
            if (st.Bind(handle_, IP, p) == 0) {
                bound = true;
                break;
            }
        }
        if (!bound) throw EIdCanNotBindPortInRange(ClientPortMin, ClientPortMax);
    }
    UpdateBindingLocal();
}

void TIdSocketHandle::Listen(int backlog) { GStack().CheckForSocketError(GStack().Listen(handle_, backlog)); }

bool TIdSocketHandle::Accept(int listenHandle) {
    TIdStack& st = GStack();
    std::string ip;
    int port = 0;
    int s = st.Accept(listenHandle, ip, port);
    if (s == Id_INVALID_SOCKET) {
        int err = st.LastError();
        // Interrupted, or the listening socket was closed under the wait (EBADF on this platform).
        if (err == Id_WSAEINTR || err == Id_WSAENOTSOCK || err == Id_WSAEBADF) return false;
        st.RaiseSocketError(err);
    }
    CloseSocket();
    handle_ = s;
    allocated_ = true;
    UpdateBindingLocal();
    PeerIP = ip;
    PeerPort = port;
    return true;
}

void TIdSocketHandle::Connect() { GStack().CheckForSocketError(GStack().Connect(handle_, PeerIP, PeerPort)); }

bool TIdSocketHandle::StartConnect() {
    TIdStack& st = GStack();
    SetBlocking(false);
    if (st.Connect(handle_, PeerIP, PeerPort) == 0) {
        SetBlocking(true);
        return true;
    }
    int err = st.LastError();
    if (err == Id_WSAEINPROGRESS || err == Id_WSAEWOULDBLOCK) return false;
    SetBlocking(true);
    st.RaiseSocketError(err);
}

int TIdSocketHandle::PollConnect(int timeoutMs, int& err) {
    TIdStack& st = GStack();
    err = 0;
    if (!allocated_) {
        err = Id_WSAENOTSOCK;
        return -1;
    }
    int r = st.SelectWrite(handle_, timeoutMs);
    if (r == 0) return 0;
    if (r < 0) {
        err = st.LastError();
        return -1;
    }
    int soerr = 0;
    if (st.GetSockOptInt(handle_, SOL_SOCKET, SO_ERROR, soerr) != 0) {
        err = st.LastError();
        return -1;
    }
    if (soerr != 0) {
        err = TIdStack::TranslateErrno(soerr);
        return -1;
    }
    SetBlocking(true);
    return 1;
}

void TIdSocketHandle::SetBlocking(bool blocking) {
    if (allocated_) GStack().CheckForSocketError(GStack().SetBlocking(handle_, blocking));
}

void TIdSocketHandle::CloseSocket() {
    if (!allocated_) return;
    TIdStack& st = GStack();
    st.Shutdown(handle_, SHUT_WR);
    int h = handle_;
    handle_ = -1;
    allocated_ = false;
    st.Close(h);
}

void TIdSocketHandle::UpdateBindingLocal() { GStack().CheckForSocketError(GStack().GetSocketName(handle_, IP, Port)); }

void TIdSocketHandle::UpdateBindingPeer() {
    GStack().CheckForSocketError(GStack().GetPeerName(handle_, PeerIP, PeerPort));
}

void TIdSocketHandle::Reset() {
    CloseSocket();
    IP.clear();
    Port = 0;
    PeerIP.clear();
    PeerPort = 0;
}

bool TIdSocketHandle::Select(int timeoutMs) {
    if (!allocated_) throw EIdConnClosedGracefully();
    return GStack().CheckForSocketError(GStack().SelectRead(handle_, timeoutMs)) == 1;
}

bool TIdSocketHandle::WaitReadable(int timeoutMs) {
    if (!allocated_) throw EIdConnClosedGracefully();
    const int slice = TIdAntiFreezeBase::InUse() ? TIdAntiFreezeBase::InUseIdleTimeOut() : 0;
    if (slice <= 0) {
        bool r = Select(timeoutMs < 0 ? -1 : timeoutMs);
        TIdAntiFreezeBase::RunHook(!r);
        return r;
    }
    // While the hook is in use the wait goes in slices, and the user interface runs after each.
    int remaining = timeoutMs;
    for (;;) {
        if (!allocated_) throw EIdConnClosedGracefully();
        int t = remaining < 0 ? slice : std::min(slice, remaining);
        bool r = Select(t);
        TIdAntiFreezeBase::RunHook(!r);
        if (r) return true;
        if (remaining >= 0) {
            remaining -= t;
            if (remaining <= 0) return false;
        }
    }
}

long TIdSocketHandle::Send(const void* buf, long len) {
    if (!allocated_) {
        GStack().SetLastError(Id_WSAENOTSOCK);
        return Id_SOCKET_ERROR;
    }
    return static_cast<long>(GStack().Send(handle_, buf, static_cast<size_t>(len)));
}

long TIdSocketHandle::Recv(void* buf, long len) {
    if (!allocated_) {
        GStack().SetLastError(Id_WSAENOTSOCK);
        return Id_SOCKET_ERROR;
    }
    return static_cast<long>(GStack().Recv(handle_, buf, static_cast<size_t>(len)));
}
