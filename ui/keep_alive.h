#pragma once
// Keeps an idle session open with NOOP at the program's interval, and notices a server that ends
// an idle session, so that its farewell is never read as the reply to the next command.

#include <chrono>
#include <functional>
#include <string>

#include <QObject>

class QTimer;
class TIdFTP;

class TKeepAlive : public QObject {
public:
    struct THooks {
        std::function<bool()> Idle;            // connected, and nothing runs on the session
        std::function<int()> IntervalSeconds;  // NOOP after this much idle time
        std::function<bool()> SiteWantsNoop;   // the site's keep-alive option
        std::function<void(const std::string& words)> SessionEnded;
    };

    // How often the idle session is looked at (ms).
    static constexpr int kCheckMs = 1000;

    TKeepAlive(TIdFTP& ftp, THooks hooks, QObject* parent);

    // A command went out: the idle time starts again.
    void Activity() { last_ = std::chrono::steady_clock::now(); }
    // One look at the session (the timer's tick).
    void Tick();
    // True while a tick reads from or writes to the server.
    bool InTick() const { return inTick_; }

    QTimer* Timer = nullptr;

private:
    bool ControlReadable();
    void ReadUnsolicited();

    TIdFTP& ftp_;
    THooks h_;
    std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
    bool inTick_ = false;
};
