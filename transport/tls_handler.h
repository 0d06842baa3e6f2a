#pragma once
// TLS over the socket handler. Until StartTls the handler passes bytes through unchanged (the
// plain start of an explicit session); after it, every read and write goes through the TLS
// session, so the connection classes, intercepts and work events above see plain text as before.
// Waits poll in the slices of the responsiveness hook, like the socket handler's.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "transport/id_exception.h"
#include "transport/io_handler.h"
#include "transport/tls_certificate.h"

typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;
typedef struct ssl_session_st SSL_SESSION;

class EIdTlsError : public EIdException {
public:
    explicit EIdTlsError(const std::string& m) : EIdException(m) {}
};

struct TIdTlsOptions {
    // Extra trusted certificates (PEM), beside the system store; "" for none.
    std::string CaFile;
    // 0: no limit; else e.g. 0x0303 (TLS 1.2) or 0x0304 (TLS 1.3).
    int MinVersion = 0;
    int MaxVersion = 0;
};

// One client context per session: the settings and the trust, shared by the control connection
// and its data connections.
class TIdTlsContext {
public:
    explicit TIdTlsContext(const TIdTlsOptions& options);
    ~TIdTlsContext();
    TIdTlsContext(const TIdTlsContext&) = delete;
    TIdTlsContext& operator=(const TIdTlsContext&) = delete;

    SSL_CTX* Native() const { return ctx_; }
    // Reads the system's trusted certificates and the extra certificate file once, before the
    // first handshake: a session that never starts TLS does not pay for it. Raises EIdTlsError
    // when the file cannot be read.
    void LoadTrust();

    // Sessions the server gave. Servers may take a TLS 1.3 ticket only once, so each is offered
    // once, newest first; when none is left unused the last one offered goes again (servers that
    // allow reuse, and TLS 1.2, take it).
    void AddSession(SSL_SESSION* session);  // takes the reference
    // A session for a resumption (a reference for the caller), or nullptr.
    SSL_SESSION* TakeSession();
    // An unused session within its lifetime is there.
    bool HasFreshSession();
    // Only an already offered session is left for the next resumption.
    bool OnlySpentSession();

private:
    void DropExpired();

    SSL_CTX* ctx_ = nullptr;
    std::string caFile_;
    bool trustLoaded_ = false;
    std::vector<SSL_SESSION*> fresh_;  // never offered, newest last
    SSL_SESSION* spent_ = nullptr;     // the last one offered
};

class TIdIOHandlerTls : public TIdIOHandlerSocket {
public:
    explicit TIdIOHandlerTls(std::shared_ptr<TIdTlsContext> context);
    ~TIdIOHandlerTls() override;

    // Bound (ms) of the handshake, of a write that makes no progress and of the closing exchange.
    int IoTimeout = DefaultConnectTimeout;

    // Handshake as the client. verifyName: the name or address the certificate must carry (also sent
    // as the server name unless it is a literal address). resume: a session of the control
    // connection to resume, or nullptr. While it waits, onWaiting runs after each slice (it may
    // read the control connection, and may raise to stop the handshake). Raises EIdTlsError.
    void StartTls(const std::string& verifyName, bool resume = false, const std::function<void()>& onWaiting = {});
    bool Encrypted() const;
    // "TLSv1.3, TLS_AES_256_GCM_SHA384"; "" before the handshake.
    std::string Description() const;
    // The peer's certificate with the verification result; Host and Port are left to the caller.
    TTlsPeerCertificate PeerCertificate() const;
    bool SessionReused() const;
    // The negotiated protocol (0x0303 TLS 1.2, 0x0304 TLS 1.3), 0 before the handshake.
    int ProtocolVersion() const;
    // For the context's new-session hook.
    static int NewSessionCallbackEntry(SSL* ssl, SSL_SESSION* session);
    // Sends close_notify and the TCP end, then reads until the peer closes (bounded by IoTimeout),
    // so the server sees a complete transfer and no reset from bytes left unread.
    void ShutdownTls();

    void CloseHandler() override;
    bool WaitReadable(int timeout) override;
    bool InputWaiting() override;
    long ReceiveBytes(void* buf, long len) override;
    long SendBytes(const void* buf, long len) override;

private:
    // Waits for the socket to become readable or writable (events as poll), in hook slices.
    // False on time-out; raises EIdClosedSocket when the handler was closed meanwhile.
    bool WaitSocket(short events, int timeout, const std::function<void()>& onWaiting = {});
    [[noreturn]] void Fail(const std::string& what, int sslError);
    void FreeSsl();
    // 1 data waits, 0 nothing yet, -1 the peer closed or the session failed (the read reports it).
    int Peek();

    std::shared_ptr<TIdTlsContext> context_;
    SSL* ssl_ = nullptr;
    bool failed_ = false;  // a fatal error: no close_notify may follow, nothing more is sent
    bool closed_ = false;  // the peer's end was read
    bool wantWrite_ = false;
    bool shutdownSent_ = false;
    std::string error_;
};
