// The window's session: the controller bound to the retry timer and the keep-alive.

#include "ui/session_controller.h"

#include <QTimer>

#include <algorithm>

#include "ftp/ftp_client.h"
#include "sites/site_options.h"
#include "sites/site_table.h"
#include "ui/keep_alive.h"

class TRetryTimerAdapter : public IRetryTimer {
public:
    explicit TRetryTimerAdapter(QTimer* timer) : t_(timer) {}
    void SetInterval(int ms) override { t_->setInterval(std::max(0, ms)); }
    void SetEnabled(bool enabled) override {
        // A one-shot timer with an interval of 0 does not run.
        if (enabled && t_->interval() > 0)
            t_->start();
        else
            t_->stop();
    }
    bool Enabled() const override { return t_->isActive(); }

private:
    QTimer* t_;
};

TWindowSession::TWindowSession(QObject* parent, TIdFTP& ftp, TSiteTable& sites, const TSiteOptionsFile& options,
                               QTimer* timer, ISessionWindow& window, std::function<bool()> busy)
    : QObject(parent), ftp_(ftp), busy_(std::move(busy)) {
    timer_ = std::make_unique<TRetryTimerAdapter>(timer);
    controller_ = std::make_unique<TSessionController>(ftp, sites, state_, window, *timer_, &options.Defaults);
    TKeepAlive::THooks hooks;
    hooks.Idle = [this] { return SessionIdle(); };
    hooks.IntervalSeconds = [&options] { return options.Defaults.KeepAliveSeconds; };
    hooks.SiteWantsNoop = [&sites] {
        return !sites.HasCurrentSite() || sites.Site(sites.CurrentSite()).Options.KeepAlive;
    };
    hooks.SessionEnded = [this](const std::string& words) { controller_->ServerEndedSession(words); };
    keepAlive_ = std::make_unique<TKeepAlive>(ftp, std::move(hooks), nullptr);
}

TWindowSession::~TWindowSession() = default;

void TWindowSession::Connect() { controller_->Connect(); }
void TWindowSession::DisConnect() { controller_->DisConnect(); }
void TWindowSession::ReConnect() { controller_->ReConnect(); }
void TWindowSession::Timer1Timer() { controller_->Timer1Timer(); }
void TWindowSession::IdFTP1Disconnected() { controller_->ClientDisconnected(keepAlive_ && keepAlive_->InTick()); }
void TWindowSession::SiteDialogConnect(int siteIndex) { controller_->SiteDialogConnect(siteIndex); }

bool TWindowSession::SessionIdle() const {
    // A socket call that waits pumps the event loop: a tick from inside it is no idle moment.
    return !state_.SessionDropped && !(busy_ && busy_()) && !controller_->Attempting() && ftp_.IsConnected();
}
