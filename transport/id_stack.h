#pragma once
// The socket layer: thin calls of the POSIX sockets interface, with error numbers mapped onto the
// socket error table (see EIdSocketError).

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>
#include <sys/socket.h>
#include <sys/types.h>

constexpr int Id_INVALID_SOCKET = -1;
constexpr int Id_SOCKET_ERROR = -1;

// Error numbers of the socket error table that the transport tests for.
constexpr int Id_WSAEINTR = 10004;
constexpr int Id_WSAEBADF = 10009;
constexpr int Id_WSAEWOULDBLOCK = 10035;
constexpr int Id_WSAEINPROGRESS = 10036;
constexpr int Id_WSAENOTSOCK = 10038;
constexpr int Id_WSAEADDRINUSE = 10048;
constexpr int Id_WSAECONNABORTED = 10053;
constexpr int Id_WSAECONNRESET = 10054;
constexpr int Id_WSAESHUTDOWN = 10058;
constexpr int Id_WSAETIMEDOUT = 10060;
constexpr int Id_WSAECONNREFUSED = 10061;
constexpr int Id_WSAHOST_NOT_FOUND = 11001;

class TIdStack {
public:
    // The one instance; exists while any TIdComponent exists (created on demand otherwise).
    static TIdStack& Instance();

    // errno -> socket error table number (unknown values pass unchanged).
    static int TranslateErrno(int err);
    // Socket error table number -> text (as in EIdSocketError).
    static std::string TranslateSocketErrorMsg(int err);

    // The last socket error of this thread, already translated.
    int LastError() const;
    void SetLastError(int err);

    // TCP stream socket (close-on-exec) of the family (AF_INET or AF_INET6), or Id_INVALID_SOCKET.
    int NewSocketHandle(int family = AF_INET);
    // Bind and Connect take an address of the socket's own family ("" binds to any).
    int Bind(int s, const std::string& ip, int port);
    int Connect(int s, const std::string& ip, int port);
    int Listen(int s, int backlog);
    // Accepted socket or Id_INVALID_SOCKET; fills the peer address.
    int Accept(int s, std::string& ip, int& port);
    // Sends with MSG_NOSIGNAL. Returns bytes sent or Id_SOCKET_ERROR.
    ssize_t Send(int s, const void* buf, size_t len);
    ssize_t Recv(int s, void* buf, size_t len);
    // Readable within timeoutMs (-2 or any negative: no limit): 1 readable, 0 not, -1 error.
    int SelectRead(int s, int timeoutMs);
    // Writable (for non-blocking connects): 1, 0 or -1.
    int SelectWrite(int s, int timeoutMs);
    int Shutdown(int s, int how);
    int Close(int s);
    int SetSockOpt(int s, int level, int name, const void* value, socklen_t len);
    int GetSockOptInt(int s, int level, int name, int& value);
    int SetBlocking(int s, bool blocking);
    int GetSocketName(int s, std::string& ip, int& port);
    int GetPeerName(int s, std::string& ip, int& port);

    // The first address of ResolveHostAll: "LOCALHOST" (any case) -> "127.0.0.1"; an IPv4 or IPv6
    // text unchanged (normalised by the system only for the connect); any other name looked up.
    // A failed lookup raises EIdSocketError (11001 "Host not found.").
    std::string ResolveHost(const std::string& host);
    // Every IPv6 and IPv4 address of the host, in the resolver's order (brackets around an IPv6
    // literal are dropped; "localhost" gives 127.0.0.1 then ::1). Raises like ResolveHost.
    std::vector<std::string> ResolveHostAll(const std::string& host);
    // An IPv6 address text, optionally with a zone after "%" (no brackets).
    static bool IsIPv6(const std::string& text);
    // AF_INET6 for an IPv6 text (with or without brackets), AF_INET otherwise.
    static int AddressFamily(const std::string& ip);
    // "[::1]" -> "::1"; anything else unchanged.
    static std::string StripBrackets(const std::string& host);
    // One of the four IPv4 text forms: a.b.c.d, a.b.c (c <= 65535), a.b (b <= 16777215), a (<= 4294967295).
    static bool IsIP(const std::string& text);
    // The 32-bit address of an IPv4 text (host order); false when not an address.
    static bool ParseIPv4(const std::string& text, uint32_t& address);

    static uint16_t HToNS(uint16_t v);
    static uint16_t NToHS(uint16_t v);
    static uint32_t HToNL(uint32_t v);
    static uint32_t NToHL(uint32_t v);

    // Raises EIdSocketError for the last error when result is Id_SOCKET_ERROR, unless the error is in ignore.
    // Returns result, or the error number of an ignored error (as a positive value) when it was ignored.
    int CheckForSocketError(int result, std::initializer_list<int> ignore = {});
    [[noreturn]] void RaiseSocketError(int err);
};

inline TIdStack& GStack() { return TIdStack::Instance(); }
