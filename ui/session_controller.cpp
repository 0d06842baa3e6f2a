#include "ui/session_controller.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <exception>

#include "ftp/ftp_client.h"
#include "sites/site_table.h"
#include "transfer/session_setup.h"
#include "transport/id_exception.h"
#include "transport/id_stack.h"

TSessionController::TSessionController(TIdFTP& ftp, TSiteTable& sites, TSessionState& state, ISessionWindow& window,
                                       IRetryTimer& timer, const TConnectionDefaults* defaults)
    : ftp_(ftp), sites_(sites), s_(state), window_(window), timer_(timer), defaults_(defaults) {}

std::string TSessionController::TryText(int attempt, int retries, const std::string& siteName) {
    const std::string of = retries > 0 ? " of " + std::to_string(retries) : std::string();
    return "Try " + std::to_string(attempt) + of + " to connect on FTP server " + siteName;
}

std::string TSessionController::WaitingText(int delaySeconds) {
    return "Waiting " + std::to_string(delaySeconds) + " seconds to try again ...";
}

namespace {

// The reply's lines joined into one, without line ends.
std::string OneLine(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\r' || c == '\n') {
            if (!out.empty() && out.back() != ' ') out += ' ';
        } else {
            out += c;
        }
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

// The socket error number of a "Socket Error # N" message, 0 when there is none.
int SocketErrorNumber(const std::string& message) {
    const std::string tag = "Socket Error # ";
    const auto at = message.find(tag);
    if (at == std::string::npos) return 0;
    return std::atoi(message.c_str() + at + tag.size());
}

std::string SocketErrorReason(int err, const std::string& where, const std::string& message) {
    switch (err) {
        case Id_WSAECONNREFUSED:
            return "Connection refused by " + where;
        case Id_WSAHOST_NOT_FOUND:
            return "Host not found";
        case Id_WSAETIMEDOUT:
            return "Timed out";
        case Id_WSAECONNRESET:
        case Id_WSAECONNABORTED:
            return "Connection closed by " + where;
        default:
            break;
    }
    const std::string text = EIdSocketError::Description(err);
    return text.empty() ? OneLine(message) : OneLine(text) + " (" + where + ")";
}

// The site record at CurrentSite; a new site's values when the table has none there.
const TFTPInfo& CurrentSiteRecord(const TSiteTable& sites) {
    static const TFTPInfo none;
    return sites.HasCurrentSite() ? sites.Site(sites.CurrentSite()) : none;
}

}  // namespace

std::string TSessionController::FailureReason(const std::string& host, int port) {
    const std::string where = (host.find(':') != std::string::npos && host.front() != '[' ? "[" + host + "]" : host) +
                              ":" + std::to_string(port);
    try {
        throw;
    } catch (const EIdProtocolReplyError& e) {
        const std::string reply = std::to_string(e.ReplyCode) + " " + OneLine(e.what());
        // 530 and 532 answer USER or PASS; any other refusal comes with the greeting or after it.
        if (e.ReplyCode == 530 || e.ReplyCode == 532) return "Login refused by the server: " + reply;
        return "Refused by the server: " + reply;
    } catch (const EIdSocketError& e) {
        return SocketErrorReason(e.LastError, where, e.what());
    } catch (const EIdConnectException& e) {
        return SocketErrorReason(SocketErrorNumber(e.what()), where, e.what());
    } catch (const EIdConnectTimeout&) {
        return "Timed out";
    } catch (const EIdReadTimeout&) {
        return "Timed out";
    } catch (const EIdConnClosedGracefully&) {
        return "Connection closed by " + where;
    } catch (const EIdClosedSocket&) {
        return "Connection closed";
    } catch (const std::exception& e) {
        return OneLine(e.what());
    } catch (...) {
        return "Connection failed";
    }
}

std::string TSessionController::FailureSummary(const std::string& siteName, const std::string& reason) {
    return "Could not connect to FTP server " + siteName + ": " + reason;
}

void TSessionController::Connect() {
    if (ftp_.IsConnected()) return;
    StartSeries(false, true);
}

void TSessionController::ReConnect() {
    // The disconnection event runs DisConnect before the new series starts. The queue's way back
    // after a failure comes here too, so its failure shows in the status bar and the log only.
    if (ftp_.IsConnected()) ftp_.Disconnect();
    StartSeries(true, true, false);
}

void TSessionController::SiteDialogConnect(int site) {
    if (sites_.IsValidIndex(site)) sites_.SetCurrentSite(site);
    StartSeries(false, false);
    window_.LoadSiteQueue(sites_.HasCurrentSite() ? sites_.CurrentSiteName() : std::string());
}

void TSessionController::StartSeries(bool reconnecting, bool emptyRemoteView, bool userStarted) {
    userStarted_ = userStarted;
    window_.ShowConnectFailure(std::string(), false);
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
    // Retries is the number of attempts; 0 (a new site's value) still makes one.
    const int limit = std::max(1, site.Retries);
    // A delay of 0 retries at once (the one-shot timer does not run with 0).
    const int64_t delayMs = static_cast<int64_t>(site.RetryDelay) * 1000;
    timer_.SetInterval(static_cast<int>(std::clamp<int64_t>(delayMs, 1, INT_MAX)));
    s_.ConnectAttempts += 1;
    const std::string tryText = TryText(s_.ConnectAttempts, limit, site.SiteName);
    window_.LogLine(kLogIndent + tryText);
    window_.SetTrayTip(tryText, true);
    window_.SetStopEnabled(true);

    bool connected = false;
    std::string reason;
    attempting_ = true;
    try {
        ftp_.OpenSession(true, IdTimeoutDefault);
        connected = true;
    } catch (...) {
        // The client has logged the attempt's traffic; the reason is shown once the series ends.
        reason = FailureReason(site.Host, site.Port);
    }
    attempting_ = false;

    if (connected || s_.ConnectAttempts >= limit) {
        if (s_.ConnectSoundPending) window_.PlaySound(TSoundEvent::Connected);
        s_.ConnectSoundPending = false;
    } else {
        if (site.RetryDelay > 0) window_.LogLine(WaitingText(site.RetryDelay));
        timer_.SetEnabled(true);
    }
    if (!connected) {
        if (!timer_.Enabled()) {
            // A series that never opened a connection raised no disconnection event to say so.
            window_.SetStateText("Disconnected");
            window_.LogLine(kLogIndent + FailureSummary(site.SiteName, reason));
            window_.ShowConnectFailure(reason, userStarted_);
        }
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

void TSessionController::ClientDisconnected(bool idleCheck) {
    window_.RefreshReadyQueueRows();
    if (!dropping_ && !idleCheck) DisConnect();
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
    window_.ClearEncryption();
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
    std::string reason;
    try {
        ftp_.OpenSession(true, IdTimeoutDefault);
        // Names of the rows shown are relative to that directory.
        if (!s_.LastRemoteDir.empty()) ftp_.ChangeDir(s_.LastRemoteDir);
        ok = true;
    } catch (...) {
        reason = FailureReason(site.Host, site.Port);
    }
    attempting_ = false;
    s_.SessionDropped = false;
    if (!ok) {
        if (ftp_.IsConnected()) ftp_.Disconnect();
        DisConnect();
        // A one-attempt series the next command started: no box over what the user asked for.
        window_.LogLine(kLogIndent + FailureSummary(site.SiteName, reason));
        window_.ShowConnectFailure(reason, false);
        return false;
    }
    window_.ShowEncryption(ftp_.Encrypted(), ftp_.TlsDescription());
    window_.SetStateText("Ready");
    window_.SetTrayTip("Connected", true);
    return true;
}
