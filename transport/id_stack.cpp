#include "transport/id_stack.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <net/if.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <string_view>
#include <vector>

#include "transport/id_exception.h"

namespace {

thread_local int tLastError = 0;

int Fail() {
    tLastError = TIdStack::TranslateErrno(errno);
    return Id_SOCKET_ERROR;
}

// The address of the socket's family: empty text is the family's any-address; an IPv6 text may
// carry a zone ("fe80::1%eth0"). False when the text is no address of that family.
bool MakeAddr(const std::string& ip, int port, int family, sockaddr_storage& ss, socklen_t& len) {
    std::memset(&ss, 0, sizeof ss);
    if (family == AF_INET6) {
        auto& sa = reinterpret_cast<sockaddr_in6&>(ss);
        sa.sin6_family = AF_INET6;
        sa.sin6_port = htons(static_cast<uint16_t>(port));
        len = sizeof sa;
        if (ip.empty()) {
            sa.sin6_addr = in6addr_any;
            return true;
        }
        const size_t zone = ip.find('%');
        if (::inet_pton(AF_INET6, ip.substr(0, zone).c_str(), &sa.sin6_addr) != 1) return false;
        if (zone != std::string::npos) {
            const std::string z = ip.substr(zone + 1);
            unsigned id = ::if_nametoindex(z.c_str());
            if (id == 0 && !z.empty() && z.find_first_not_of("0123456789") == std::string::npos)
                id = static_cast<unsigned>(std::stoul(z));
            sa.sin6_scope_id = id;
        }
        return true;
    }
    auto& sa = reinterpret_cast<sockaddr_in&>(ss);
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<uint16_t>(port));
    len = sizeof sa;
    if (ip.empty()) {
        sa.sin_addr.s_addr = htonl(INADDR_ANY);
        return true;
    }
    uint32_t a = 0;
    if (!TIdStack::ParseIPv4(ip, a)) return false;
    sa.sin_addr.s_addr = htonl(a);
    return true;
}

void ReadAddr(const sockaddr_storage& ss, std::string& ip, int& port) {
    char buf[INET6_ADDRSTRLEN + IF_NAMESIZE + 2] = {};
    if (ss.ss_family == AF_INET6) {
        const auto& sa = reinterpret_cast<const sockaddr_in6&>(ss);
        ::inet_ntop(AF_INET6, &sa.sin6_addr, buf, INET6_ADDRSTRLEN);
        ip = buf;
        if (sa.sin6_scope_id != 0) {
            char name[IF_NAMESIZE] = {};
            ip += '%';
            ip += ::if_indextoname(sa.sin6_scope_id, name) ? std::string(name) : std::to_string(sa.sin6_scope_id);
        }
        port = ntohs(sa.sin6_port);
        return;
    }
    const auto& sa = reinterpret_cast<const sockaddr_in&>(ss);
    ::inet_ntop(AF_INET, &sa.sin_addr, buf, sizeof buf);
    ip = buf;
    port = ntohs(sa.sin_port);
}

int SocketFamily(int s) {
    int family = AF_INET;
    socklen_t len = sizeof family;
    if (::getsockopt(s, SOL_SOCKET, SO_DOMAIN, &family, &len) != 0) return AF_INET;
    return family;
}

bool ParseDecimal(std::string_view s, uint64_t max, uint64_t& value) {
    if (s.empty() || s.size() > 10) return false;
    uint64_t v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<uint64_t>(c - '0');
    }
    if (v > max) return false;
    value = v;
    return true;
}

int PollOne(int s, short events, int timeoutMs) {
    pollfd p{};
    p.fd = s;
    p.events = events;
    for (;;) {
        int r = ::poll(&p, 1, timeoutMs < 0 ? -1 : timeoutMs);
        if (r >= 0) {
            if (r == 1 && (p.revents & POLLNVAL)) {
                errno = EBADF;
                return Fail();
            }
            return r == 1 ? 1 : 0;
        }
        if (errno != EINTR) return Fail();
    }
}

}  // namespace

TIdStack& TIdStack::Instance() {
    static TIdStack stack;
    return stack;
}

int TIdStack::TranslateErrno(int err) {
    switch (err) {
        case EINTR:
            return 10004;
        case EBADF:
            return 10009;
        case EACCES:
            return 10013;
        case EFAULT:
            return 10014;
        case EINVAL:
            return 10022;
        case EMFILE:
            return 10024;
        case EAGAIN:
            return 10035;
#if EWOULDBLOCK != EAGAIN
        case EWOULDBLOCK:
            return 10035;
#endif
        case EINPROGRESS:
            return 10036;
        case EALREADY:
            return 10037;
        case ENOTSOCK:
            return 10038;
        case EDESTADDRREQ:
            return 10039;
        case EMSGSIZE:
            return 10040;
        case EPROTOTYPE:
            return 10041;
        case ENOPROTOOPT:
            return 10042;
        case EPROTONOSUPPORT:
            return 10043;
        case ESOCKTNOSUPPORT:
            return 10044;
        case EOPNOTSUPP:
            return 10045;
        case EPFNOSUPPORT:
            return 10046;
        case EAFNOSUPPORT:
            return 10047;
        case EADDRINUSE:
            return 10048;
        case EADDRNOTAVAIL:
            return 10049;
        case ENETDOWN:
            return 10050;
        case ENETUNREACH:
            return 10051;
        case ENETRESET:
            return 10052;
        case ECONNABORTED:
            return 10053;
        case ECONNRESET:
            return 10054;
        case ENOBUFS:
            return 10055;
        case EISCONN:
            return 10056;
        case ENOTCONN:
            return 10057;
        case ESHUTDOWN:
        case EPIPE:
            return 10058;
        case ETOOMANYREFS:
            return 10059;
        case ETIMEDOUT:
            return 10060;
        case ECONNREFUSED:
            return 10061;
        case ELOOP:
            return 10062;
        case ENAMETOOLONG:
            return 10063;
        case EHOSTDOWN:
            return 10064;
        case EHOSTUNREACH:
            return 10065;
        case ENOTEMPTY:
            return 10066;
        default:
            return err;
    }
}

std::string TIdStack::TranslateSocketErrorMsg(int err) { return EIdSocketError::MessageFor(err); }

int TIdStack::LastError() const { return tLastError; }
void TIdStack::SetLastError(int err) { tLastError = err; }

int TIdStack::NewSocketHandle(int family) {
    int s = ::socket(family == AF_INET6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (s < 0) {
        Fail();
        return Id_INVALID_SOCKET;
    }
    return s;
}

int TIdStack::Bind(int s, const std::string& ip, int port) {
    sockaddr_storage sa{};
    socklen_t len = 0;
    if (!MakeAddr(ip, port, SocketFamily(s), sa, len)) {
        tLastError = 10049;
        return Id_SOCKET_ERROR;
    }
    if (::bind(s, reinterpret_cast<sockaddr*>(&sa), len) != 0) return Fail();
    return 0;
}

int TIdStack::Connect(int s, const std::string& ip, int port) {
    sockaddr_storage sa{};
    socklen_t len = 0;
    if (!MakeAddr(ip, port, SocketFamily(s), sa, len)) {
        tLastError = 10049;
        return Id_SOCKET_ERROR;
    }
    int r;
    do {
        r = ::connect(s, reinterpret_cast<sockaddr*>(&sa), len);
    } while (r != 0 && errno == EINTR);
    if (r != 0) return Fail();
    return 0;
}

int TIdStack::Listen(int s, int backlog) {
    if (::listen(s, backlog) != 0) return Fail();
    return 0;
}

int TIdStack::Accept(int s, std::string& ip, int& port) {
    sockaddr_storage sa{};
    socklen_t len = sizeof sa;
    int r = ::accept4(s, reinterpret_cast<sockaddr*>(&sa), &len, SOCK_CLOEXEC);
    if (r < 0) {
        Fail();
        return Id_INVALID_SOCKET;
    }
    ReadAddr(sa, ip, port);
    return r;
}

ssize_t TIdStack::Send(int s, const void* buf, size_t len) {
    for (;;) {
        ssize_t r = ::send(s, buf, len, MSG_NOSIGNAL);
        if (r >= 0) return r;
        if (errno != EINTR) return Fail();
    }
}

ssize_t TIdStack::Recv(int s, void* buf, size_t len) {
    for (;;) {
        ssize_t r = ::recv(s, buf, len, 0);
        if (r >= 0) return r;
        if (errno != EINTR) return Fail();
    }
}

int TIdStack::SelectRead(int s, int timeoutMs) { return PollOne(s, POLLIN, timeoutMs); }
int TIdStack::SelectWrite(int s, int timeoutMs) { return PollOne(s, POLLOUT, timeoutMs); }

int TIdStack::Shutdown(int s, int how) {
    if (::shutdown(s, how) != 0) return Fail();
    return 0;
}

int TIdStack::Close(int s) {
    if (::close(s) != 0 && errno != EINTR) return Fail();
    return 0;
}

int TIdStack::SetSockOpt(int s, int level, int name, const void* value, socklen_t len) {
    if (::setsockopt(s, level, name, value, len) != 0) return Fail();
    return 0;
}

int TIdStack::GetSockOptInt(int s, int level, int name, int& value) {
    socklen_t len = sizeof value;
    if (::getsockopt(s, level, name, &value, &len) != 0) return Fail();
    return 0;
}

int TIdStack::SetBlocking(int s, bool blocking) {
    int fl = ::fcntl(s, F_GETFL);
    if (fl < 0) return Fail();
    fl = blocking ? (fl & ~O_NONBLOCK) : (fl | O_NONBLOCK);
    if (::fcntl(s, F_SETFL, fl) != 0) return Fail();
    return 0;
}

int TIdStack::GetSocketName(int s, std::string& ip, int& port) {
    sockaddr_storage sa{};
    socklen_t len = sizeof sa;
    if (::getsockname(s, reinterpret_cast<sockaddr*>(&sa), &len) != 0) return Fail();
    ReadAddr(sa, ip, port);
    return 0;
}

int TIdStack::GetPeerName(int s, std::string& ip, int& port) {
    sockaddr_storage sa{};
    socklen_t len = sizeof sa;
    if (::getpeername(s, reinterpret_cast<sockaddr*>(&sa), &len) != 0) return Fail();
    ReadAddr(sa, ip, port);
    return 0;
}

bool TIdStack::ParseIPv4(const std::string& text, uint32_t& address) {
    std::vector<std::string_view> parts;
    std::string_view rest(text);
    for (;;) {
        size_t dot = rest.find('.');
        parts.push_back(rest.substr(0, dot));
        if (dot == std::string_view::npos) break;
        rest.remove_prefix(dot + 1);
        if (parts.size() >= 4) return false;
    }
    uint64_t v[4] = {};
    switch (parts.size()) {
        case 4:
            for (int i = 0; i < 4; ++i)
                if (!ParseDecimal(parts[static_cast<size_t>(i)], 255, v[i])) return false;
            address = static_cast<uint32_t>((v[0] << 24) | (v[1] << 16) | (v[2] << 8) | v[3]);
            return true;
        case 3:
            if (!ParseDecimal(parts[0], 255, v[0]) || !ParseDecimal(parts[1], 255, v[1]) ||
                !ParseDecimal(parts[2], 65535, v[2]))
                return false;
            address = static_cast<uint32_t>((v[0] << 24) | (v[1] << 16) | v[2]);
            return true;
        case 2:
            if (!ParseDecimal(parts[0], 255, v[0]) || !ParseDecimal(parts[1], 16777215, v[1])) return false;
            address = static_cast<uint32_t>((v[0] << 24) | v[1]);
            return true;
        case 1:
            if (!ParseDecimal(parts[0], 4294967295ULL, v[0])) return false;
            address = static_cast<uint32_t>(v[0]);
            return true;
        default:
            return false;
    }
}

bool TIdStack::IsIP(const std::string& text) {
    uint32_t a = 0;
    return ParseIPv4(text, a);
}

std::string TIdStack::ResolveHost(const std::string& host) { return ResolveHostAll(host).front(); }

std::vector<std::string> TIdStack::ResolveHostAll(const std::string& hostText) {
    const std::string host = StripBrackets(hostText);
    std::string upper;
    for (char c : host) upper += static_cast<char>((c >= 'a' && c <= 'z') ? c - 32 : c);
    // The IPv4 loopback first, as always; a server listening on the IPv6 one only is reached too.
    if (upper == "LOCALHOST") return {"127.0.0.1", "::1"};
    if (IsIP(host) || IsIPv6(host)) return {host};
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* res = nullptr;
    int r = ::getaddrinfo(host.c_str(), nullptr, &hints, &res);
    std::vector<std::string> out;
    for (addrinfo* a = (r == 0) ? res : nullptr; a; a = a->ai_next) {
        if (a->ai_family != AF_INET && a->ai_family != AF_INET6) continue;
        sockaddr_storage ss{};
        std::memcpy(&ss, a->ai_addr, std::min<size_t>(a->ai_addrlen, sizeof ss));
        std::string ip;
        int port = 0;
        ReadAddr(ss, ip, port);
        if (std::find(out.begin(), out.end(), ip) == out.end()) out.push_back(ip);
    }
    if (res) ::freeaddrinfo(res);
    if (out.empty()) {
        tLastError = Id_WSAHOST_NOT_FOUND;
        RaiseSocketError(Id_WSAHOST_NOT_FOUND);
    }
    return out;
}

bool TIdStack::IsIPv6(const std::string& text) {
    if (text.find(':') == std::string::npos) return false;
    in6_addr a{};
    return ::inet_pton(AF_INET6, text.substr(0, text.find('%')).c_str(), &a) == 1;
}

int TIdStack::AddressFamily(const std::string& ip) { return IsIPv6(StripBrackets(ip)) ? AF_INET6 : AF_INET; }

std::string TIdStack::StripBrackets(const std::string& host) {
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') return host.substr(1, host.size() - 2);
    return host;
}

uint16_t TIdStack::HToNS(uint16_t v) { return htons(v); }
uint16_t TIdStack::NToHS(uint16_t v) { return ntohs(v); }
uint32_t TIdStack::HToNL(uint32_t v) { return htonl(v); }
uint32_t TIdStack::NToHL(uint32_t v) { return ntohl(v); }

int TIdStack::CheckForSocketError(int result, std::initializer_list<int> ignore) {
    if (result != Id_SOCKET_ERROR) return result;
    int err = LastError();
    for (int i : ignore)
        if (i == err) return err;
    RaiseSocketError(err);
}

void TIdStack::RaiseSocketError(int err) { throw EIdSocketError(err); }
