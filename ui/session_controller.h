#pragma once
// The session controller: turns the current site into a connected FTP session and back, with the
// paced connection attempts of the retry timer, and switches the window's commands between the
// connected and disconnected sets. The controller itself is plain C++ behind two small
// interfaces (the window and the timer); TWindowSession binds it to the window's timer and
// keep-alive.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "settings/program_settings.h"

#include <QObject>
#include <QString>

class TIdFTP;
class TSiteTable;
struct TConnectionDefaults;

// Session state the window keeps for the whole run.
struct TSessionState {
    std::string RemoteHomeDir;
    std::string LastRemoteDir;  // ends in "/" once a directory was listed
    int ConnectAttempts = 0;
    bool Reconnecting = false;
    bool ConnectSoundPending = false;
    int ActivePane = 1;         // 1: local pane, 2: remote pane
    bool WasConnected = false;  // a connection was open at the last disconnect
    // The server ended the idle session: the window shows Disconnected but keeps the remote view,
    // and the next command that needs the server reconnects first.
    bool SessionDropped = false;
};

// What the controller asks of the window.
class ISessionWindow {
public:
    virtual ~ISessionWindow() = default;
    // The Connected column of the command table (remote list, combo and up button enabled).
    virtual void ShowConnected() = 0;
    // Remote list and combo emptied and disabled, up button disabled, the Disconnected column,
    // the local list focused.
    virtual void ShowDisconnected() = 0;
    // The status bar's encryption panel: the session's state, or empty while there is none.
    virtual void ShowEncryption(bool encrypted, const std::string& description) = 0;
    virtual void ClearEncryption() = 0;
    // Toolbar "Stop transfer" and the Transfer menu's "Stop".
    virtual void SetStopEnabled(bool enabled) = 0;
    virtual void ClearRemoteView() = 0;
    // Status-bar panel 0.
    virtual void SetStateText(const std::string& text) = 0;
    // A blue line of the status log (not trimmed).
    virtual void LogLine(const std::string& text) = 0;
    // The tray tip; send = false only stores it for the icon's next update.
    virtual void SetTrayTip(const std::string& text, bool send) = 0;
    // Plays the event's sound when the settings switch it on; errors ignored.
    virtual void PlaySound(TSoundEvent event) = 0;
    virtual void ListRemoteDirectory(const std::string& path) = 0;
    // When the remote list has rows and the window is not in the tray: focus its first row.
    virtual void FocusFirstRemoteRow() = 0;
    // Rows of pending queue entries show their entries' status again.
    virtual void RefreshReadyQueueRows() = 0;
    // The stored queue of the site becomes the live queue.
    virtual void LoadSiteQueue(const std::string& siteName) = 0;
    // Why the last series ended without a connection, in the status bar ("" clears it); with
    // messageBox also in a message box.
    virtual void ShowConnectFailure(const std::string& reason, bool messageBox) = 0;
};

// The one-shot retry timer.
class IRetryTimer {
public:
    virtual ~IRetryTimer() = default;
    virtual void SetInterval(int ms) = 0;
    // Enabling with an interval of 0 does not start it.
    virtual void SetEnabled(bool enabled) = 0;
    virtual bool Enabled() const = 0;
};

class TSessionController {
public:
    // defaults: the program-wide connection settings (null: the built-in ones).
    TSessionController(TIdFTP& ftp, TSiteTable& sites, TSessionState& state, ISessionWindow& window, IRetryTimer& timer,
                       const TConnectionDefaults* defaults = nullptr);

    // A failed series ends with the reason in the log and the status bar; Connect and
    // SiteDialogConnect also show it in a message box.
    void Connect();                    // ToolButton2Click
    void ReConnect();                  // ToolButton4Click, and the queue after a failure
    void DisConnect();                 // ToolButton3Click
    void SiteDialogConnect(int site);  // the site dialog's "Connect"
    void Timer1Timer();
    // IdFTP1Disconnected. idleCheck: the keep-alive was talking to the server, and reports the end
    // itself through ServerEndedSession, which keeps the panes for the next command.
    void ClientDisconnected(bool idleCheck = false);

    // The server ended the idle session (its 421 or a closed socket; words: what it said).
    void ServerEndedSession(const std::string& words);
    // Before a command that needs the server: after ServerEndedSession, connects again in one
    // attempt and returns to the directory shown. False (and the Disconnected state) when that
    // fails; true when no reconnect was needed or it succeeded.
    bool ResumeDroppedSession();
    // An attempt of the series is blocked in the client.
    bool Attempting() const { return attempting_; }

    // "Try 2 of 3 to connect on FTP server name" and "Waiting 5 seconds to try again ...";
    // retries 0: no count, "Try 2 to connect on FTP server name" (a series passes at least 1).
    static std::string TryText(int attempt, int retries, const std::string& siteName);
    static std::string WaitingText(int delaySeconds);
    // The failure being handled, in plain words ("Connection refused by 127.0.0.1:21").
    static std::string FailureReason(const std::string& host, int port);
    // The log's closing line of a series that found no connection.
    static std::string FailureSummary(const std::string& siteName, const std::string& reason);
    static constexpr const char* kLogIndent = "                    ";  // twenty spaces
    // A tick that comes while an attempt is still blocked in the client waits this long.
    static constexpr int kBusyRetryMs = 50;

private:
    void StartSeries(bool reconnecting, bool emptyRemoteView, bool userStarted = true);

    TIdFTP& ftp_;
    TSiteTable& sites_;
    TSessionState& s_;
    ISessionWindow& window_;
    IRetryTimer& timer_;
    const TConnectionDefaults* defaults_;
    bool attempting_ = false;
    bool dropping_ = false;     // ServerEndedSession is closing the client
    bool userStarted_ = false;  // the running series came from a command of the user
};

class TRetryTimerAdapter;
class TKeepAlive;
class QTimer;
class TQtMessagePump;
class TSiteOptionsFile;

// The window's session: the controller with its state, the retry timer and the keep-alive. The
// window shows what happens through its ISessionWindow; its session handlers call the operations
// of the same names here.
class TWindowSession : public QObject {
public:
    // busy: something other than the session itself uses the client now (a transfer, a listing,
    // a socket call waiting inside the event loop); the keep-alive then stays quiet.
    TWindowSession(QObject* parent, TIdFTP& ftp, TSiteTable& sites, const TSiteOptionsFile& options, QTimer* timer,
                   ISessionWindow& window, std::function<bool()> busy);
    ~TWindowSession() override;

    void Connect();
    void DisConnect();
    void ReConnect();
    void Timer1Timer();
    void IdFTP1Disconnected();
    void SiteDialogConnect(int siteIndex);
    bool ResumeDroppedSession() { return controller_->ResumeDroppedSession(); }
    // Connected, and no command, listing, transfer or connection attempt is under way.
    bool SessionIdle() const;

    const TSessionState& State() const { return state_; }
    // Which pane receives the pane commands (1 local, 2 remote).
    int ActivePane() const { return state_.ActivePane; }
    void SetActivePane(int pane) { state_.ActivePane = pane; }
    // The remote pane's directory, where a reconnect returns to.
    void SetLastRemoteDir(const std::string& dir) { state_.LastRemoteDir = dir; }

    TSessionController& Controller() { return *controller_; }
    TKeepAlive& KeepAlive() { return *keepAlive_; }

private:
    TIdFTP& ftp_;
    std::function<bool()> busy_;
    TSessionState state_;
    std::unique_ptr<TRetryTimerAdapter> timer_;
    std::unique_ptr<TSessionController> controller_;
    std::unique_ptr<TKeepAlive> keepAlive_;
};
