#include "ui/session_controller.h"

#include <algorithm>
#include <climits>
#include <cstdint>

#include "ftp/ftp_client.h"
#include "sites/site_table.h"
#include "transfer/session_setup.h"

TSessionController::TSessionController(TIdFTP& ftp, TSiteTable& sites, TSessionState& state, ISessionWindow& window,
                                       IRetryTimer& timer, const TConnectionDefaults* defaults)
    : ftp_(ftp), sites_(sites), s_(state), window_(window), timer_(timer), defaults_(defaults) {}

std::string TSessionController::TryText(int attempt, int retries, const std::string& siteName) {
    return "Try " + std::to_string(attempt) + " of " + std::to_string(retries) + " to connect on FTP server " +
           siteName;
}

std::string TSessionController::WaitingText(int delaySeconds) {
    return "Waiting " + std::to_string(delaySeconds) + " seconds to try again ...";
}

namespace {

// The site record at CurrentSite; a new site's values when the table has none there.
const TFTPInfo& CurrentSiteRecord(const TSiteTable& sites) {
    static const TFTPInfo none;
    return sites.HasCurrentSite() ? sites.Site(sites.CurrentSite()) : none;
}

}  // namespace

void TSessionController::Connect() {
    if (ftp_.IsConnected()) return;
    StartSeries(false, true);
}

void TSessionController::ReConnect() {
    // The disconnection event runs DisConnect before the new series starts.
    if (ftp_.IsConnected()) ftp_.Disconnect();
    StartSeries(true, true);
}

void TSessionController::SiteDialogConnect(int site) {
    if (sites_.IsValidIndex(site)) sites_.SetCurrentSite(site);
    StartSeries(false, false);
    window_.LoadSiteQueue(sites_.HasCurrentSite() ? sites_.CurrentSiteName() : std::string());
}

void TSessionController::StartSeries(bool reconnecting, bool emptyRemoteView) {
    s_.ConnectSoundPending = true;
    s_.Reconnecting = reconnecting;
    if (emptyRemoteView) window_.ClearRemoteView();
    s_.ConnectAttempts = 0;
    timer_.SetInterval(1);
    window_.SetStateText("Connecting");
    s_.SessionDropped = false;
    const TFTPInfo& site = CurrentSiteRecord(sites_);
    static const TConnectionDefaults builtIn;
    ConfigureFtpClient(ftp_, site, defaults_ ? *defaults_ : builtIn);
    s_.RemoteHomeDir = site.HomeDir;
    timer_.SetEnabled(true);
}

void TSessionController::Timer1Timer() {
    if (attempting_) {
        // Connect pressed while an attempt still blocks: a second attempt on the same client
        // would tear down the first one's socket. It starts once the first is over.
        timer_.SetEnabled(false);
        timer_.SetInterval(kBusyRetryMs);
        timer_.SetEnabled(true);
        return;
    }
    if (ftp_.IsConnected()) {
        // A deferred tick of a series that the finished attempt has already made good.
        timer_.SetEnabled(false);
        return;
    }
    const TFTPInfo site = CurrentSiteRecord(sites_);  // a copy: the table may change during the attempt
    timer_.SetEnabled(false);
    const int64_t delayMs = static_cast<int64_t>(site.RetryDelay) * 1000;
    timer_.SetInterval(static_cast<int>(std::clamp<int64_t>(delayMs, 0, INT_MAX)));
    s_.ConnectAttempts += 1;
    const std::string tryText = TryText(s_.ConnectAttempts, site.Retries, site.SiteName);
    window_.LogLine(kLogIndent + tryText);
    window_.SetTrayTip(tryText, true);
    window_.SetStopEnabled(true);

    bool connected = false;
    attempting_ = true;
    try {
        ftp_.OpenSession(true, IdTimeoutDefault);
        connected = true;
    } catch (...) {
        // The client has logged the attempt's traffic and status; nothing more is shown.
    }
    attempting_ = false;

    if (s_.ConnectAttempts == site.Retries || connected) {
        if (s_.ConnectSoundPending) window_.PlaySound(TSoundEvent::Connected);
        s_.ConnectSoundPending = false;
    } else {
        window_.LogLine(WaitingText(site.RetryDelay));
        timer_.SetEnabled(true);
    }
    if (!connected) {
        // A series that never opened a connection raised no disconnection event to say so.
        if (!timer_.Enabled()) window_.SetStateText("Disconnected");
        return;
    }

    window_.SetTrayTip("Connected", true);
    window_.ShowConnected();
    s_.ActivePane = 2;
    window_.ListRemoteDirectory(s_.Reconnecting ? s_.LastRemoteDir : s_.RemoteHomeDir);
    window_.FocusFirstRemoteRow();
}

void TSessionController::DisConnect() {
    s_.SessionDropped = false;
    if (ftp_.IsConnected()) {
        s_.WasConnected = true;
        ftp_.Disconnect();
        window_.SetStopEnabled(false);
        timer_.SetEnabled(false);
        window_.PlaySound(TSoundEvent::Disconnected);
    }
    window_.ShowDisconnected();
    s_.ActivePane = 1;
    window_.SetStateText("Disconnected");
    window_.SetTrayTip("Disconnected", false);
}

void TSessionController::ClientDisconnected() {
    window_.RefreshReadyQueueRows();
    if (!dropping_) DisConnect();
}

void TSessionController::ServerEndedSession(const std::string& words) {
    s_.SessionDropped = true;
    dropping_ = true;
    if (ftp_.IsConnected()) ftp_.Disconnect();
    dropping_ = false;
    window_.LogLine(kLogIndent + std::string("The server closed the idle session") +
                    (words.empty() ? std::string(".") : ": " + words) + " The next command connects again.");
    window_.SetStopEnabled(false);
    timer_.SetEnabled(false);
    window_.SetStateText("Disconnected");
    window_.SetTrayTip("Disconnected", true);
}

bool TSessionController::ResumeDroppedSession() {
    if (!s_.SessionDropped || ftp_.IsConnected() || attempting_) return true;
    const TFTPInfo site = CurrentSiteRecord(sites_);
    static const TConnectionDefaults builtIn;
    ConfigureFtpClient(ftp_, site, defaults_ ? *defaults_ : builtIn);
    window_.LogLine(kLogIndent + std::string("Connecting again to FTP server ") + site.SiteName);
    window_.SetStateText("Connecting");
    attempting_ = true;
    bool ok = false;
    try {
        ftp_.OpenSession(true, IdTimeoutDefault);
        // Names of the rows shown are relative to that directory.
        if (!s_.LastRemoteDir.empty()) ftp_.ChangeDir(s_.LastRemoteDir);
        ok = true;
    } catch (...) {
        // The client has logged what went wrong.
    }
    attempting_ = false;
    s_.SessionDropped = false;
    if (!ok) {
        if (ftp_.IsConnected()) ftp_.Disconnect();
        DisConnect();
        return false;
    }
    window_.SetStateText("Ready");
    window_.SetTrayTip("Connected", true);
    return true;
}
