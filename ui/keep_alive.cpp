#include "ui/keep_alive.h"

#include <QTimer>

#include <poll.h>

#include "ftp/ftp_client.h"
#include "transport/socket_handle.h"
#include "ui/guard.h"

namespace {

std::string ReplyWords(const TIdRFCReply& reply) {
    std::string words = reply.TextCode();
    for (const std::string& line : reply.Text) words += (words.empty() ? "" : " ") + line;
    return words;
}

}  // namespace

TKeepAlive::TKeepAlive(TIdFTP& ftp, THooks hooks, QObject* parent) : QObject(parent), ftp_(ftp), h_(std::move(hooks)) {
    Timer = new QTimer(this);
    Timer->setInterval(kCheckMs);
    guard::Connect(Timer, &QTimer::timeout, this, &TKeepAlive::Tick);
    Timer->start();
}

bool TKeepAlive::ControlReadable() {
    if (!ftp_.PendingInput.Empty()) return true;
    TIdSocketHandle* socket = ftp_.Binding();
    if (!socket || socket->Handle() < 0) return false;
    pollfd p{socket->Handle(), POLLIN, 0};
    if (!(::poll(&p, 1, 0) > 0 && (p.revents & (POLLIN | POLLHUP | POLLERR)) != 0)) return false;
    // Over TLS the socket also turns readable for records that carry no reply (a late session
    // ticket): the handler takes those and says whether a reply or the server's end is there.
    if (ftp_.Encrypted()) {
        try {
            return ftp_.IOHandler()->InputWaiting();
        } catch (const std::exception&) {
            return true;  // the read reports it
        }
    }
    return true;
}

void TKeepAlive::ReadUnsolicited() {
    // Nothing was asked: this is the server's own word, usually its farewell before it closes.
    const int savedTimeout = ftp_.ReadTimeout;
    ftp_.ReadTimeout = 2000;
    std::string words;
    bool ended = false;
    try {
        ftp_.LastReply.Clear();
        const int code = ftp_.ReadReply();
        words = ReplyWords(ftp_.LastReply);
        ended = code == 421 || !ftp_.IsConnected();
    } catch (const std::exception& e) {
        words = ftp_.LastReply.NumericCode() > 0 ? ReplyWords(ftp_.LastReply) : std::string(e.what());
        ended = true;
    }
    ftp_.ReadTimeout = savedTimeout;
    if (ended) h_.SessionEnded(words);
}

void TKeepAlive::Tick() {
    if (inTick_) return;
    if (!h_.Idle || !h_.Idle()) {
        Activity();
        return;
    }
    struct TMark {
        bool& f;
        explicit TMark(bool& b) : f(b) { f = true; }
        ~TMark() { f = false; }
    } mark(inTick_);

    if (ControlReadable()) {
        ReadUnsolicited();
        return;
    }
    if (!h_.SiteWantsNoop || !h_.SiteWantsNoop()) return;
    const auto idleFor = std::chrono::steady_clock::now() - last_;
    if (idleFor < std::chrono::seconds(h_.IntervalSeconds ? h_.IntervalSeconds() : 60)) return;
    Activity();
    try {
        ftp_.LastReply.Clear();
        ftp_.Noop();
    } catch (const std::exception& e) {
        // A 421 or a closed socket ends the session; another refusal leaves it as it is.
        if (ftp_.LastReply.NumericCode() == 421 || !ftp_.IsConnected())
            h_.SessionEnded(ftp_.LastReply.NumericCode() > 0 ? ReplyWords(ftp_.LastReply) : std::string(e.what()));
    }
}
