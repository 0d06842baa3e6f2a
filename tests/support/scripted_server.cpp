#include "tests/support/scripted_server.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <openssl/ssl.h>

namespace {

// Waits until fd is readable; false on time-out.
bool WaitIn(int fd, int timeoutMs) {
    pollfd p{};
    p.fd = fd;
    p.events = POLLIN;
    for (;;) {
        int r = ::poll(&p, 1, timeoutMs);
        if (r >= 0) return r == 1;
        if (errno != EINTR) return false;
    }
}

bool SendAll(int fd, const std::string& data) {
    size_t pos = 0;
    while (pos < data.size()) {
        ssize_t n = ::send(fd, data.data() + pos, data.size() - pos, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        pos += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

ScriptedServer::ScriptedServer() {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sa.sin_port = 0;
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0 && ::listen(listenFd_, 8) == 0) {
        socklen_t len = sizeof sa;
        ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&sa), &len);
        port_ = ntohs(sa.sin_port);
    } else {
        failure_ = std::string("listen failed: ") + std::strerror(errno);
    }
}

ScriptedServer::~ScriptedServer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    closeConn();
    if (sslCtx_) SSL_CTX_free(static_cast<SSL_CTX*>(sslCtx_));
    if (listenFd_ >= 0) ::close(listenFd_);
}

ScriptedServer& ScriptedServer::add(Step s) {
    steps_.push_back(std::move(s));
    return *this;
}

ScriptedServer& ScriptedServer::send(std::string bytes) { return add({Step::Send, std::move(bytes), 0, {}}); }
ScriptedServer& ScriptedServer::sendLine(std::string line) { return add({Step::Send, line + "\r\n", 0, {}}); }
ScriptedServer& ScriptedServer::readLine() { return add({Step::ReadLine, "", 0, {}}); }
ScriptedServer& ScriptedServer::expectLine(std::string text) { return add({Step::ExpectLine, std::move(text), 0, {}}); }
ScriptedServer& ScriptedServer::readUntilClosed() { return add({Step::ReadAll, "", 0, {}}); }
ScriptedServer& ScriptedServer::readBytes(int64_t n) { return add({Step::ReadN, "", n, {}}); }
ScriptedServer& ScriptedServer::pause(int ms) { return add({Step::Pause, "", ms, {}}); }
ScriptedServer& ScriptedServer::startTls(std::string certFile, std::string keyFile) {
    Step s{Step::StartTls, std::move(certFile), 0, {}};
    s.text2 = std::move(keyFile);
    return add(std::move(s));
}

bool ScriptedServer::startTlsNow(const std::string& cert, const std::string& key) {
    if (!sslCtx_) {
        SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
        if (SSL_CTX_use_certificate_file(ctx, cert.c_str(), SSL_FILETYPE_PEM) != 1 ||
            SSL_CTX_use_PrivateKey_file(ctx, key.c_str(), SSL_FILETYPE_PEM) != 1) {
            SSL_CTX_free(ctx);
            return false;
        }
        sslCtx_ = ctx;
    }
    SSL* ssl = SSL_new(static_cast<SSL_CTX*>(sslCtx_));
    SSL_set_fd(ssl, conn_);
    timeval tv{readTimeoutMs / 1000, (readTimeoutMs % 1000) * 1000};
    ::setsockopt(conn_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    if (SSL_accept(ssl) != 1) {
        SSL_free(ssl);
        return false;
    }
    ssl_ = ssl;
    return true;
}

bool ScriptedServer::sendAll(const std::string& data) {
    if (!ssl_) return SendAll(conn_, data);
    return data.empty() || SSL_write(static_cast<SSL*>(ssl_), data.data(), static_cast<int>(data.size())) > 0;
}

long ScriptedServer::recvSome(char* buf, size_t cap) {
    if (!ssl_) return static_cast<long>(::recv(conn_, buf, cap, 0));
    return SSL_read(static_cast<SSL*>(ssl_), buf, static_cast<int>(cap));
}

bool ScriptedServer::waitIn(int timeoutMs) {
    if (ssl_ && SSL_pending(static_cast<SSL*>(ssl_)) > 0) return true;
    return WaitIn(conn_, timeoutMs);
}

ScriptedServer& ScriptedServer::close() { return add({Step::Close, "", 0, {}}); }
ScriptedServer& ScriptedServer::reset() { return add({Step::Reset, "", 0, {}}); }
ScriptedServer& ScriptedServer::accept() { return add({Step::Accept, "", 0, {}}); }
ScriptedServer& ScriptedServer::call(std::function<void()> fn) { return add({Step::Call, "", 0, std::move(fn)}); }

void ScriptedServer::start() {
    thread_ = std::thread([this] { run(nullptr); });
}

void ScriptedServer::startConnecting(std::function<int()> portFn) {
    thread_ = std::thread([this, portFn] { run(portFn); });
}

void ScriptedServer::fail(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (failure_.empty()) failure_ = text;
}

void ScriptedServer::closeConn() {
    if (ssl_) {
        SSL_shutdown(static_cast<SSL*>(ssl_));
        SSL_free(static_cast<SSL*>(ssl_));
        ssl_ = nullptr;
    }
    if (conn_ >= 0) {
        ::close(conn_);
        conn_ = -1;
    }
    pending_.clear();
}

bool ScriptedServer::doAccept() {
    closeConn();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(acceptTimeoutMs);
    while (!stop_) {
        if (WaitIn(listenFd_, 50)) {
            conn_ = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (conn_ >= 0) {
                ++acceptedCount_;
                return true;
            }
        }
        if (std::chrono::steady_clock::now() > deadline) break;
    }
    fail("no connection was accepted");
    return false;
}

bool ScriptedServer::readOneLine(std::string& line) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(readTimeoutMs);
    for (;;) {
        size_t lf = pending_.find('\n');
        if (lf != std::string::npos) {
            line = pending_.substr(0, lf);
            pending_.erase(0, lf + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return true;
        }
        if (stop_ || std::chrono::steady_clock::now() > deadline) {
            fail("timed out waiting for a line");
            return false;
        }
        if (!waitIn(50)) continue;
        char buf[4096];
        const long n = recvSome(buf, sizeof buf);
        if (n <= 0) {
            fail("connection closed while waiting for a line (have: \"" + pending_ + "\")");
            return false;
        }
        pending_.append(buf, static_cast<size_t>(n));
    }
}

void ScriptedServer::run(std::function<int()> connectPort) {
    bool ok = true;
    if (connectPort) {
        int port = connectPort();
        conn_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        sa.sin_port = htons(static_cast<uint16_t>(port));
        if (::connect(conn_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
            fail("connect to port " + std::to_string(port) + " failed: " + std::strerror(errno));
            ok = false;
        }
    } else {
        ok = doAccept();
    }
    for (size_t i = 0; ok && i < steps_.size() && !stop_; ++i) {
        Step& s = steps_[i];
        const std::string where = "step " + std::to_string(i + 1) + ": ";
        switch (s.kind) {
            case Step::Send:
                if (conn_ < 0 || !sendAll(s.text)) {
                    fail(where + "send failed");
                    ok = false;
                }
                break;
            case Step::ReadLine:
            case Step::ExpectLine: {
                std::string line;
                if (conn_ < 0 || !readOneLine(line)) {
                    fail(where + "no line");
                    ok = false;
                    break;
                }
                {
                    std::lock_guard<std::mutex> lock(mutex_);
                    lines_.push_back(line);
                }
                if (s.kind == Step::ExpectLine && line != s.text) {
                    fail(where + "expected \"" + s.text + "\", got \"" + line + "\"");
                    ok = false;
                }
                break;
            }
            case Step::ReadAll:
            case Step::ReadN: {
                const bool all = s.kind == Step::ReadAll;
                int64_t want = s.n;
                std::string got;
                if (all)
                    got.swap(pending_);
                else {
                    int64_t take = std::min<int64_t>(want, static_cast<int64_t>(pending_.size()));
                    got = pending_.substr(0, static_cast<size_t>(take));
                    pending_.erase(0, static_cast<size_t>(take));
                }
                auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(readTimeoutMs);
                while (conn_ >= 0 && (all || static_cast<int64_t>(got.size()) < want)) {
                    if (stop_ || std::chrono::steady_clock::now() > deadline) {
                        fail(where + "timed out reading data");
                        ok = false;
                        break;
                    }
                    if (!waitIn(50)) continue;
                    char buf[65536];
                    size_t cap = sizeof buf;
                    if (!all) cap = std::min<size_t>(cap, static_cast<size_t>(want - static_cast<int64_t>(got.size())));
                    const long n = recvSome(buf, cap);
                    if (n <= 0) {
                        if (!all) {
                            fail(where + "connection closed before all bytes arrived");
                            ok = false;
                        }
                        break;
                    }
                    got.append(buf, static_cast<size_t>(n));
                    deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(readTimeoutMs);
                }
                std::lock_guard<std::mutex> lock(mutex_);
                received_ += got;
                break;
            }
            case Step::Pause: {
                // In short steps, so a destroyed server does not wait out a long pause.
                const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(s.n);
                while (!stop_ && std::chrono::steady_clock::now() < until)
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
                break;
            }
            case Step::Close:
                closeConn();
                break;
            case Step::Reset:
                if (conn_ >= 0) {
                    linger lg{1, 0};
                    ::setsockopt(conn_, SOL_SOCKET, SO_LINGER, &lg, sizeof lg);
                }
                closeConn();
                break;
            case Step::Accept:
                ok = doAccept();
                break;
            case Step::StartTls:
                if (conn_ < 0 || !startTlsNow(s.text, s.text2)) {
                    fail(where + "TLS handshake failed");
                    ok = false;
                }
                break;
            case Step::Call:
                try {
                    if (s.fn) s.fn();
                } catch (const std::exception& e) {
                    fail(where + "call raised: " + e.what());
                    ok = false;
                }
                break;
        }
    }
    if (stop_ && ok) fail("script stopped before its end");
    // A failed script drops its connection, so a client waiting for data is not left hanging.
    if (!ok || stop_) closeConn();
    std::lock_guard<std::mutex> lock(mutex_);
    done_ = true;
    cv_.notify_all();
}

bool ScriptedServer::waitForEnd(int timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return done_; })) {
        if (failure_.empty()) failure_ = "script did not end in time";
        return false;
    }
    return failure_.empty();
}

std::string ScriptedServer::failure() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return failure_;
}

std::vector<std::string> ScriptedServer::lines() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
}

std::string ScriptedServer::received() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
}
