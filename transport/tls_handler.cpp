#include "transport/tls_handler.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstring>
#include <ctime>

#include "transport/anti_freeze.h"
#include "transport/id_stack.h"

namespace {

// A socket BIO that sends with MSG_NOSIGNAL: a server that closes while we write must give an
// error, not end the program with SIGPIPE.
int SocketOf(BIO* b) { return static_cast<int>(reinterpret_cast<intptr_t>(BIO_get_data(b))); }

int BioWrite(BIO* b, const char* data, int len) {
    BIO_clear_retry_flags(b);
    const ssize_t n = ::send(SocketOf(b), data, static_cast<size_t>(len), MSG_NOSIGNAL);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) BIO_set_retry_write(b);
    return static_cast<int>(n);
}

int BioRead(BIO* b, char* data, int len) {
    BIO_clear_retry_flags(b);
    const ssize_t n = ::recv(SocketOf(b), data, static_cast<size_t>(len), 0);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) BIO_set_retry_read(b);
    return static_cast<int>(n);
}

long BioCtrl(BIO*, int cmd, long, void*) { return cmd == BIO_CTRL_FLUSH ? 1 : 0; }

int BioCreate(BIO* b) {
    BIO_set_init(b, 1);
    return 1;
}

BIO_METHOD* SocketMethod() {
    static BIO_METHOD* method = [] {
        BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "orlix socket");
        BIO_meth_set_write(m, BioWrite);
        BIO_meth_set_read(m, BioRead);
        BIO_meth_set_ctrl(m, BioCtrl);
        BIO_meth_set_create(m, BioCreate);
        return m;
    }();
    return method;
}

int HandlerIndex() {
    static const int index = SSL_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

// The first queued library error in words, or the system error, or what the caller knows.
std::string ErrorWords(int sslError, int savedErrno) {
    const unsigned long e = ERR_peek_error();
    std::string words;
    if (e != 0) {
        const char* reason = ERR_reason_error_string(e);
        words = reason ? reason : "error " + std::to_string(ERR_GET_REASON(e));
        // A failed certificate check during the handshake would say so here; we never ask for it.
    } else if (sslError == SSL_ERROR_SYSCALL && savedErrno != 0) {
        words = std::strerror(savedErrno);
    } else if (sslError == SSL_ERROR_SYSCALL || sslError == SSL_ERROR_ZERO_RETURN) {
        words = "the server closed the connection";
    } else {
        words = "error " + std::to_string(sslError);
    }
    ERR_clear_error();
    return words;
}

std::string NameText(const X509_NAME* name) {
    if (!name) return {};
    BIO* mem = BIO_new(BIO_s_mem());
    X509_NAME_print_ex(mem, name, 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB);
    char* data = nullptr;
    const long n = BIO_get_mem_data(mem, &data);
    std::string text(data, static_cast<size_t>(std::max(0L, n)));
    BIO_free(mem);
    return text;
}

std::string TimeText(const ASN1_TIME* t) {
    std::tm tm{};
    if (!t || ASN1_TIME_to_tm(t, &tm) != 1) return {};
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S UTC", &tm);
    return buf;
}

}  // namespace

TIdTlsContext::TIdTlsContext(const TIdTlsOptions& options) {
    ctx_ = SSL_CTX_new(TLS_client_method());
    if (!ctx_) throw EIdTlsError("TLS is not available: " + ErrorWords(SSL_ERROR_SSL, 0));
    caFile_ = options.CaFile;
    SSL_CTX_set_min_proto_version(ctx_, options.MinVersion ? options.MinVersion : TLS1_2_VERSION);
    if (options.MaxVersion) SSL_CTX_set_max_proto_version(ctx_, options.MaxVersion);
    // The chain is still checked; the decision is taken after the handshake with its result.
    SSL_CTX_set_verify(ctx_, SSL_VERIFY_NONE, nullptr);
    SSL_CTX_set_mode(ctx_, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    // Several servers end data connections without close_notify; the control reply says whether
    // the transfer was complete.
    SSL_CTX_set_options(ctx_, SSL_OP_IGNORE_UNEXPECTED_EOF);
    SSL_CTX_set_session_cache_mode(ctx_, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
    SSL_CTX_sess_set_new_cb(ctx_, &TIdIOHandlerTls::NewSessionCallbackEntry);
}

void TIdTlsContext::LoadTrust() {
    if (trustLoaded_) return;
    SSL_CTX_set_default_verify_paths(ctx_);
    ERR_clear_error();  // a missing system folder is no failure
    if (!caFile_.empty() && SSL_CTX_load_verify_locations(ctx_, caFile_.c_str(), nullptr) != 1)
        throw EIdTlsError("Cannot read the certificate file " + caFile_ + ": " + ErrorWords(SSL_ERROR_SSL, 0));
    trustLoaded_ = true;
}

TIdTlsContext::~TIdTlsContext() {
    for (SSL_SESSION* s : fresh_) SSL_SESSION_free(s);
    if (spent_) SSL_SESSION_free(spent_);
    SSL_CTX_free(ctx_);
}

void TIdTlsContext::AddSession(SSL_SESSION* session) {
    fresh_.push_back(session);
    // A long session keeps only a few.
    if (fresh_.size() > 8) {
        SSL_SESSION_free(fresh_.front());
        fresh_.erase(fresh_.begin());
    }
}

void TIdTlsContext::DropExpired() {
    // A session past its lifetime would only bring a full handshake, which servers that insist
    // on resumption refuse; without it the caller knows to fetch fresh ones first.
    const long now = static_cast<long>(std::time(nullptr));
    auto expired = [now](SSL_SESSION* s) {
        long life = SSL_SESSION_get_timeout(s);
        const unsigned long hint = SSL_SESSION_get_ticket_lifetime_hint(s);
        if (hint > 0 && static_cast<long>(hint) < life) life = static_cast<long>(hint);
        // A margin for the handshake's own time on the way.
        return now + 5 >= static_cast<long>(SSL_SESSION_get_time(s)) + life;
    };
    for (size_t i = fresh_.size(); i-- > 0;)
        if (expired(fresh_[i])) {
            SSL_SESSION_free(fresh_[i]);
            fresh_.erase(fresh_.begin() + static_cast<long>(i));
        }
}

bool TIdTlsContext::HasFreshSession() {
    DropExpired();
    return !fresh_.empty();
}

bool TIdTlsContext::OnlySpentSession() { return !HasFreshSession() && spent_; }

SSL_SESSION* TIdTlsContext::TakeSession() {
    DropExpired();
    if (!fresh_.empty()) {
        if (spent_) SSL_SESSION_free(spent_);
        spent_ = fresh_.back();
        fresh_.pop_back();
    }
    if (spent_) SSL_SESSION_up_ref(spent_);
    return spent_;
}

TIdIOHandlerTls::TIdIOHandlerTls(std::shared_ptr<TIdTlsContext> context) : context_(std::move(context)) {}

TIdIOHandlerTls::~TIdIOHandlerTls() { FreeSsl(); }

int TIdIOHandlerTls::NewSessionCallbackEntry(SSL* ssl, SSL_SESSION* session) {
    auto* self = static_cast<TIdIOHandlerTls*>(SSL_get_ex_data(ssl, HandlerIndex()));
    if (!self) return 0;
    self->context_->AddSession(session);
    return 1;  // the reference is ours
}

void TIdIOHandlerTls::FreeSsl() {
    if (!ssl_) return;
    SSL_set_ex_data(ssl_, HandlerIndex(), nullptr);
    SSL_free(ssl_);
    ssl_ = nullptr;
}

void TIdIOHandlerTls::Fail(const std::string& what, int sslError) {
    const int saved = errno;
    failed_ = true;
    throw EIdTlsError(what + ": " + ErrorWords(sslError, saved) + ".");
}

bool TIdIOHandlerTls::WaitSocket(short events, int timeout, const std::function<void()>& onWaiting) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(0, timeout));
    const bool limited = timeout >= 0;
    for (;;) {
        TIdSocketHandle* b = Binding();
        if (!ssl_ || !b || !b->HandleAllocated()) throw EIdClosedSocket();
        int slice = -1;
        if (TIdAntiFreezeBase::InUse()) slice = std::max(1, TIdAntiFreezeBase::InUseIdleTimeOut());
        if (onWaiting) slice = slice < 0 ? 20 : std::min(slice, 20);
        if (limited) {
            const long long left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            const int l = static_cast<int>(std::max(0LL, left));
            slice = slice < 0 ? l : std::min(slice, l);
        }
        pollfd p{b->Handle(), events, 0};
        const int r = ::poll(&p, 1, slice);
        // A poll error is left to the next TLS call to report.
        const bool ready = r != 0 && !(r < 0 && errno == EINTR);
        TIdAntiFreezeBase::RunHook(!ready);
        b = Binding();
        if (!ssl_ || !b || !b->HandleAllocated()) throw EIdClosedSocket();  // closed from the window
        if (ready) return true;
        if (onWaiting) onWaiting();
        if (limited && Clock::now() >= deadline) return false;
    }
}

void TIdIOHandlerTls::StartTls(const std::string& verifyName, bool resume, const std::function<void()>& onWaiting) {
    TIdSocketHandle* b = Binding();
    if (!b || !b->HandleAllocated()) throw EIdClosedSocket();
    FreeSsl();
    failed_ = false;
    ERR_clear_error();
    context_->LoadTrust();
    ssl_ = SSL_new(context_->Native());
    if (!ssl_) Fail("TLS handshake failed", SSL_ERROR_SSL);
    SSL_set_ex_data(ssl_, HandlerIndex(), this);
    BIO* bio = BIO_new(SocketMethod());
    BIO_set_data(bio, reinterpret_cast<void*>(static_cast<intptr_t>(b->Handle())));
    SSL_set_bio(ssl_, bio, bio);
    b->SetBlocking(false);

    const std::string name = TIdStack::StripBrackets(verifyName);
    if (!name.empty()) {
        if (TIdStack::IsIP(name) || TIdStack::IsIPv6(name)) {
            X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl_), name.c_str());
        } else {
            SSL_set_tlsext_host_name(ssl_, name.c_str());
            SSL_set1_host(ssl_, name.c_str());
        }
    }
    if (resume) {
        if (SSL_SESSION* session = context_->TakeSession()) {
            SSL_set_session(ssl_, session);
            SSL_SESSION_free(session);
        }
    }
    SSL_set_connect_state(ssl_);
    for (;;) {
        ERR_clear_error();
        const int r = SSL_connect(ssl_);
        if (r == 1) break;
        const int e = SSL_get_error(ssl_, r);
        if (e == SSL_ERROR_WANT_READ || e == SSL_ERROR_WANT_WRITE) {
            if (!WaitSocket(e == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, IoTimeout, onWaiting)) {
                failed_ = true;
                throw EIdTlsError("TLS handshake failed: no answer from the server for " +
                                  std::to_string(IoTimeout / 1000) + " s.");
            }
            continue;
        }
        Fail("TLS handshake failed", e);
    }
}

bool TIdIOHandlerTls::Encrypted() const { return ssl_ && !failed_ && SSL_is_init_finished(ssl_); }

std::string TIdIOHandlerTls::Description() const {
    if (!ssl_) return {};
    return std::string(SSL_get_version(ssl_)) + ", " + SSL_get_cipher_name(ssl_);
}

TTlsPeerCertificate TIdIOHandlerTls::PeerCertificate() const {
    TTlsPeerCertificate c;
    X509* cert = ssl_ ? SSL_get1_peer_certificate(ssl_) : nullptr;
    if (!cert) {
        c.Problem = "the server sent no certificate";
        return c;
    }
    c.Subject = NameText(X509_get_subject_name(cert));
    c.Issuer = NameText(X509_get_issuer_name(cert));
    c.NotBefore = TimeText(X509_get0_notBefore(cert));
    c.NotAfter = TimeText(X509_get0_notAfter(cert));
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int n = 0;
    if (X509_digest(cert, EVP_sha256(), md, &n) == 1) {
        static const char hex[] = "0123456789abcdef";
        for (unsigned i = 0; i < n; ++i) {
            c.Sha256 += hex[md[i] >> 4];
            c.Sha256 += hex[md[i] & 15];
        }
    }
    X509_free(cert);
    const long result = SSL_get_verify_result(ssl_);
    if (result != X509_V_OK) c.Problem = X509_verify_cert_error_string(result);
    return c;
}

bool TIdIOHandlerTls::SessionReused() const { return ssl_ && SSL_session_reused(ssl_) == 1; }

int TIdIOHandlerTls::ProtocolVersion() const { return ssl_ && SSL_is_init_finished(ssl_) ? SSL_version(ssl_) : 0; }

int TIdIOHandlerTls::Peek() {
    if (closed_) return -1;
    if (SSL_pending(ssl_) > 0) return 1;
    char c;
    ERR_clear_error();
    const int r = SSL_peek(ssl_, &c, 1);
    if (r > 0) return 1;
    const int e = SSL_get_error(ssl_, r);
    if (e == SSL_ERROR_WANT_READ || e == SSL_ERROR_WANT_WRITE) {
        wantWrite_ = e == SSL_ERROR_WANT_WRITE;
        return 0;
    }
    closed_ = true;
    if (e != SSL_ERROR_ZERO_RETURN) {
        const int saved = errno;
        failed_ = true;
        error_ = "TLS read failed: " + ErrorWords(e, saved) + ".";
    }
    return -1;
}

bool TIdIOHandlerTls::WaitReadable(int timeout) {
    if (!ssl_) return TIdIOHandlerSocket::WaitReadable(timeout);
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(0, timeout));
    for (;;) {
        TIdSocketHandle* b = Binding();
        if (!b || !b->HandleAllocated()) throw EIdConnClosedGracefully();
        if (Peek() != 0) return true;  // data, or an end the read reports
        int left = -1;
        if (timeout >= 0) {
            const long long l = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            left = static_cast<int>(std::max(0LL, l));
        }
        if (!WaitSocket(wantWrite_ ? POLLOUT : POLLIN, left)) return false;
        if (!ssl_) throw EIdConnClosedGracefully();
    }
}

bool TIdIOHandlerTls::InputWaiting() {
    if (!ssl_) return TIdIOHandlerSocket::InputWaiting();
    TIdSocketHandle* b = Binding();
    if (!b || !b->HandleAllocated()) return false;
    if (SSL_pending(ssl_) > 0) return true;
    if (!b->Select(0)) return false;
    // Readable may mean only a session ticket, which is no reply.
    return Peek() != 0;
}

long TIdIOHandlerTls::ReceiveBytes(void* buf, long len) {
    if (!ssl_) return TIdIOHandlerSocket::ReceiveBytes(buf, len);
    TIdSocketHandle* b = Binding();
    if (!b || !b->HandleAllocated()) throw EIdClosedSocket();
    char* p = static_cast<char*>(buf);
    long got = 0;
    // Everything already here in one call, as a socket receive gives it.
    while (got < len && !closed_) {
        ERR_clear_error();
        const int r = SSL_read(ssl_, p + got, static_cast<int>(std::min<long>(len - got, INT_MAX)));
        if (r > 0) {
            got += r;
            continue;
        }
        const int e = SSL_get_error(ssl_, r);
        if (e == SSL_ERROR_WANT_READ || e == SSL_ERROR_WANT_WRITE) {
            if (got > 0) break;
            if (!WaitSocket(e == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, IoTimeout)) throw EIdReadTimeout();
            continue;
        }
        closed_ = true;
        if (e != SSL_ERROR_ZERO_RETURN) {
            const int saved = errno;
            failed_ = true;
            error_ = "TLS read failed: " + ErrorWords(e, saved) + ".";
        }
    }
    if (got == 0 && !error_.empty()) throw EIdTlsError(error_);
    return got;
}

long TIdIOHandlerTls::SendBytes(const void* buf, long len) {
    if (!ssl_) return TIdIOHandlerSocket::SendBytes(buf, len);
    TIdSocketHandle* b = Binding();
    if (!b || !b->HandleAllocated()) throw EIdClosedSocket();
    if (failed_) throw EIdTlsError(error_.empty() ? "The TLS connection has failed." : error_);
    for (;;) {
        ERR_clear_error();
        const int r = SSL_write(ssl_, buf, static_cast<int>(std::min<long>(len, 1L << 30)));
        if (r > 0) return r;
        const int e = SSL_get_error(ssl_, r);
        if (e == SSL_ERROR_WANT_READ || e == SSL_ERROR_WANT_WRITE) {
            if (!WaitSocket(e == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, IoTimeout)) {
                GStack().SetLastError(Id_WSAETIMEDOUT);
                return Id_SOCKET_ERROR;
            }
            continue;
        }
        Fail("TLS write failed", e);
    }
}

void TIdIOHandlerTls::ShutdownTls() {
    TIdSocketHandle* b = Binding();
    if (!ssl_ || failed_ || !b || !b->HandleAllocated()) return;
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(IoTimeout);
    auto left = [&] {
        const long long l = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        return static_cast<int>(std::max(0LL, l));
    };
    // What the server sent meanwhile first: a session ticket read after close_notify is lost, and
    // servers that take a session only once need the new one for the next data connection.
    char sink[16384];
    while (!closed_) {
        ERR_clear_error();
        if (SSL_read(ssl_, sink, sizeof sink) <= 0) break;
    }
    for (;;) {
        ERR_clear_error();
        const int r = SSL_shutdown(ssl_);
        if (r >= 0) break;
        const int e = SSL_get_error(ssl_, r);
        if (e != SSL_ERROR_WANT_WRITE || !WaitSocket(POLLOUT, left())) {
            ERR_clear_error();
            return;
        }
    }
    shutdownSent_ = true;
    // Once our close_notify is out the library drops every record but alerts: a session ticket
    // the server sends with its own would be lost. Read on as if ours were not sent.
    SSL_set_shutdown(ssl_, SSL_get_shutdown(ssl_) & ~SSL_SENT_SHUTDOWN);
    GStack().Shutdown(b->Handle(), SHUT_WR);
    // Read to the server's end: bytes left unread would turn our close into a reset.
    while (!closed_) {
        ERR_clear_error();
        const int r = SSL_read(ssl_, sink, sizeof sink);
        if (r > 0) continue;
        const int e = SSL_get_error(ssl_, r);
        if ((e != SSL_ERROR_WANT_READ && e != SSL_ERROR_WANT_WRITE) ||
            !WaitSocket(e == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, left()))
            break;
    }
    SSL_set_shutdown(ssl_, SSL_get_shutdown(ssl_) | SSL_SENT_SHUTDOWN);
    ERR_clear_error();
}

void TIdIOHandlerTls::CloseHandler() {
    if (ssl_) {
        TIdSocketHandle* b = Binding();
        // One try, without waiting: the close must not hang on a server that reads nothing.
        if (!failed_ && !shutdownSent_ && b && b->HandleAllocated()) {
            ERR_clear_error();
            SSL_shutdown(ssl_);
            ERR_clear_error();
        }
        FreeSsl();
    }
    closed_ = wantWrite_ = shutdownSent_ = false;
    error_.clear();
    TIdIOHandlerSocket::CloseHandler();
}
