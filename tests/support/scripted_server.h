#pragma once
// A scripted TCP peer on 127.0.0.1 for tests. It listens on a port chosen by the system as soon as
// it is constructed (port() is valid at once), and on start() runs its steps in a background thread
// on one accepted connection (or on a connection it makes itself, see startConnecting).
//
//   ScriptedServer srv;
//   srv.sendLine("220 ready").expectLine("USER bob").sendLine("331 pw").readLine().sendLine("230 ok").close();
//   srv.start();
//   ... client connects to 127.0.0.1:srv.port() ...
//   ASSERT_TRUE(srv.waitForEnd()) << srv.failure();
//
// For a data connection run a second ScriptedServer (its own listener). Steps of type call() run
// in the server thread and may start another server, e.g. one that connects to a port the client
// announced.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class ScriptedServer {
public:
    ScriptedServer();
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    int port() const { return port_; }

    // Steps, run in order.
    ScriptedServer& send(std::string bytes);
    ScriptedServer& sendLine(std::string line);  // line + CR LF
    // Reads one line (up to LF; CR LF or LF removed) and records it.
    ScriptedServer& readLine();
    // Reads and records one line; the script fails unless it equals text.
    ScriptedServer& expectLine(std::string text);
    // Reads everything until the client closes; appended to received().
    ScriptedServer& readUntilClosed();
    // Reads exactly n bytes; appended to received().
    ScriptedServer& readBytes(int64_t n);
    ScriptedServer& pause(int ms);
    // Closes the connection (the script may go on with accept()).
    ScriptedServer& close();
    // Closes with a reset (SO_LINGER 0) instead of an orderly close.
    ScriptedServer& reset();
    // Accepts the next connection on the listener (the first one is accepted by start()).
    ScriptedServer& accept();
    // Runs fn in the server thread.
    ScriptedServer& call(std::function<void()> fn);
    // TLS as the server from here on (certificate and key files in PEM); later steps read and
    // write through it. The step fails when the handshake does.
    ScriptedServer& startTls(std::string certFile, std::string keyFile);

    // Accepts one connection (waits up to acceptTimeoutMs) and runs the steps.
    void start();
    // Instead of accepting: connects to 127.0.0.1:port() of portFn's result (called in the server
    // thread when the script starts) and runs the steps on that connection.
    void startConnecting(std::function<int()> portFn);

    // Waits for the script to end; true when every step succeeded. On false see failure().
    bool waitForEnd(int timeoutMs = 10000);
    std::string failure() const;
    // Lines recorded by readLine/expectLine.
    std::vector<std::string> lines() const;
    // Bytes recorded by readUntilClosed/readBytes.
    std::string received() const;
    // Number of connections accepted so far.
    int accepted() const { return acceptedCount_.load(); }

    int acceptTimeoutMs = 10000;
    int readTimeoutMs = 10000;

private:
    struct Step {
        enum Kind { Send, ReadLine, ExpectLine, ReadAll, ReadN, Pause, Close, Reset, Accept, Call, StartTls } kind;
        std::string text;
        int64_t n = 0;
        std::function<void()> fn;
        std::string text2 = {};
    };
    ScriptedServer& add(Step s);
    void run(std::function<int()> connectPort);
    bool doAccept();
    bool readOneLine(std::string& line);
    void fail(const std::string& text);
    void closeConn();
    bool sendAll(const std::string& data);
    long recvSome(char* buf, size_t cap);
    bool waitIn(int timeoutMs);
    bool startTlsNow(const std::string& cert, const std::string& key);

    int listenFd_ = -1;
    int conn_ = -1;
    void* ssl_ = nullptr;     // SSL* after startTls
    void* sslCtx_ = nullptr;  // SSL_CTX*
    int port_ = 0;
    std::vector<Step> steps_;
    std::thread thread_;
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    bool done_ = false;
    std::string failure_;
    std::vector<std::string> lines_;
    std::string received_;
    std::string pending_;  // bytes read past the last line
    std::atomic<int> acceptedCount_{0};
    std::atomic<bool> stop_{false};
};
