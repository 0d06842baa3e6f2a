// The session controller on its own: attempt series, retries and their log lines, the sound,
// the connected and disconnected states, against a closed port and a real server.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "ftp/ftp_client.h"
#include "sites/site_table.h"
#include "transport/id_exception.h"
#include "tests/support/ftp_servers.h"
#include "ui/session_controller.h"

namespace {

// A port on 127.0.0.1 that nothing listens on (bound once, then released).
int ClosedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = 0;
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}

struct FakeWindow : ISessionWindow {
    std::vector<std::string> log;
    std::vector<std::string> events;  // state changes in order
    std::vector<std::string> listed;
    std::string state, trayTip, storedTip;
    int connectedSounds = 0, disconnectedSounds = 0;
    bool stopEnabled = false;
    int remoteRows = 0;

    void ShowConnected() override { events.push_back("connected"); }
    void ShowDisconnected() override { events.push_back("disconnected"); }
    void ShowEncryption(bool encrypted, const std::string&) override {
        events.push_back(encrypted ? "encrypted" : "not encrypted");
    }
    void ClearEncryption() override { events.push_back("no encryption"); }
    void SetStopEnabled(bool e) override { stopEnabled = e; }
    void ClearRemoteView() override { events.push_back("clear"); }
    void SetStateText(const std::string& t) override { state = t; }
    void LogLine(const std::string& t) override { log.push_back(t); }
    void SetTrayTip(const std::string& t, bool send) override { (send ? trayTip : storedTip) = t; }
    void PlaySound(TSoundEvent e) override {
        if (e == TSoundEvent::Connected) ++connectedSounds;
        if (e == TSoundEvent::Disconnected) ++disconnectedSounds;
    }
    void ListRemoteDirectory(const std::string& path) override { listed.push_back(path); }
    void FocusFirstRemoteRow() override {}
    void RefreshReadyQueueRows() override { events.push_back("queue rows"); }
    void LoadSiteQueue(const std::string& name) override { events.push_back("queue " + name); }
    void ShowConnectFailure(const std::string& reason, bool box) override {
        failure = reason;
        if (box) boxes.push_back(reason);
    }
    std::string failure;
    std::vector<std::string> boxes;

    int Count(const std::string& prefix) const {
        int n = 0;
        for (const auto& l : log)
            if (l.rfind(prefix, 0) == 0) ++n;
        return n;
    }
};

struct FakeTimer : IRetryTimer {
    int interval = 0;
    bool enabled = false;
    void SetInterval(int ms) override { interval = ms; }
    void SetEnabled(bool e) override { enabled = e && interval > 0; }
    bool Enabled() const override { return enabled; }
};

class SessionControllerTest : public ::testing::Test {
protected:
    void SetUp() override {
        sites.AddSite();
        site().SiteName = "Home box";
        site().Host = "127.0.0.1";
        ftp.OnDisconnected = [this](TIdComponent*) { controller.ClientDisconnected(); };
    }
    TFTPInfo& site() { return sites.Site(0); }

    // Runs ticks while the timer is armed, as the event loop would (at most `limit`).
    int RunSeries(int limit = 10) {
        int ticks = 0;
        while (timer.enabled && ticks < limit) {
            ++ticks;
            controller.Timer1Timer();
        }
        return ticks;
    }

    TIdFTP ftp;
    TSiteTable sites;
    TSessionState state;
    FakeWindow window;
    FakeTimer timer;
    TSessionController controller{ftp, sites, state, window, timer};
};

TEST_F(SessionControllerTest, ThreeAttemptsOnAClosedPortLogTriesAndWaits) {
    site().Port = ClosedPort();
    site().Retries = 3;
    site().RetryDelay = 1;
    controller.Connect();
    EXPECT_EQ(window.state, "Connecting");
    EXPECT_EQ(timer.interval, 1);  // the first attempt starts at once
    EXPECT_TRUE(timer.enabled);

    EXPECT_EQ(RunSeries(), 3);
    EXPECT_EQ(window.Count("                    Try "), 3);
    EXPECT_EQ(window.log[0], "                    Try 1 of 3 to connect on FTP server Home box");
    EXPECT_EQ(window.log.end()[-2], "                    Try 3 of 3 to connect on FTP server Home box");
    EXPECT_EQ(window.Count("Waiting 1 seconds to try again ..."), 2);
    EXPECT_EQ(timer.interval, 1000);
    EXPECT_FALSE(timer.enabled);
    EXPECT_EQ(window.trayTip, "Try 3 of 3 to connect on FTP server Home box");
    EXPECT_TRUE(window.stopEnabled);
    // The "Connected" sound closes the series, even a failed one, once.
    EXPECT_EQ(window.connectedSounds, 1);
    EXPECT_FALSE(state.ConnectSoundPending);
    EXPECT_FALSE(ftp.IsConnected());
    EXPECT_EQ(window.state, "Disconnected");
    // The series closes with why, once: a log line, the status bar and one message box.
    const std::string reason = "Connection refused by 127.0.0.1:" + std::to_string(site().Port);
    EXPECT_EQ(window.log.back(), "                    Could not connect to FTP server Home box: " + reason);
    EXPECT_EQ(window.failure, reason);
    EXPECT_EQ(window.boxes, std::vector<std::string>{reason});
    controller.Connect();  // a new series clears the reason
    EXPECT_EQ(window.failure, "");

    // ReConnect (also the queue's way back) tells why in the log and status bar, without a box.
    site().Retries = 1;
    controller.ReConnect();
    EXPECT_EQ(RunSeries(), 1);
    EXPECT_EQ(window.failure, reason);
    EXPECT_EQ(window.boxes.size(), 1u);
    EXPECT_EQ(window.log.back(), "                    Could not connect to FTP server Home box: " + reason);
}

TEST_F(SessionControllerTest, StopDuringTheWaitEndsTheSeries) {
    site().Port = ClosedPort();
    site().Retries = 3;
    site().RetryDelay = 1;
    controller.Connect();
    controller.Timer1Timer();
    ASSERT_TRUE(timer.enabled);
    timer.SetEnabled(false);  // "Stop transfer" with nothing transferring
    EXPECT_EQ(RunSeries(), 0);
    EXPECT_EQ(window.Count("                    Try "), 1);

    // Connect while waiting starts afresh.
    controller.Connect();
    controller.Timer1Timer();
    EXPECT_EQ(state.ConnectAttempts, 1);
    EXPECT_EQ(window.log.back(), "Waiting 1 seconds to try again ...");
}

TEST_F(SessionControllerTest, ZeroRetriesMakeOneAttemptAndNoDelayRetriesAtOnce) {
    // Retries 0 is one attempt, with or without a delay; 3 with no delay retry at once.
    const struct { int retries, delay, attempts; } cases[] = {{0, 0, 1}, {0, 2, 1}, {3, 0, 3}};
    site().Port = ClosedPort();
    size_t boxes = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.retries) + "/" + std::to_string(c.delay));
        window.log.clear();
        site().Retries = c.retries;
        site().RetryDelay = c.delay;
        controller.Connect();
        EXPECT_EQ(RunSeries(5), c.attempts);
        EXPECT_EQ(window.log[0],
                  "                    Try 1 of " + std::to_string(c.attempts) + " to connect on FTP server Home box");
        EXPECT_EQ(window.Count("Waiting"), 0);
        EXPECT_FALSE(timer.enabled);
        EXPECT_EQ(window.state, "Disconnected");
        EXPECT_EQ(window.boxes.size(), ++boxes);  // the failure is told, never a silent stop
    }
}

TEST_F(SessionControllerTest, FailureReasonsInPlainWords) {
    const struct {
        std::function<void()> raise;
        std::string reason;
    } cases[] = {
        {[] { throw EIdProtocolReplyError(530, "Login incorrect.\r\n"); },
         "Login refused by the server: 530 Login incorrect."},
        {[] { throw EIdProtocolReplyError(421, "Too many\r\nusers\r\n"); },
         "Refused by the server: 421 Too many users"},
        {[] { throw EIdSocketError(10061); }, "Connection refused by ftp.test:21"},
        {[] { throw EIdConnectException(EIdSocketError::MessageFor(10061)); }, "Connection refused by ftp.test:21"},
        {[] { throw EIdSocketError(11001); }, "Host not found"},
        {[] { throw EIdConnectTimeout(); }, "Timed out"},
        {[] { throw EIdReadTimeout(); }, "Timed out"},
        {[] { throw EIdSocketError(10065); }, "No route to host. (ftp.test:21)"},
        {[] { throw EIdConnClosedGracefully(); }, "Connection closed by ftp.test:21"},
        {[] { throw EIdConnectException("Port 70000 is outside the range 1 to 65535"); },
         "Port 70000 is outside the range 1 to 65535"},
    };
    for (const auto& c : cases) {
        try {
            c.raise();
        } catch (...) {
            EXPECT_EQ(TSessionController::FailureReason("ftp.test", 21), c.reason);
        }
    }
    try {
        throw EIdSocketError(10061);
    } catch (...) {
        EXPECT_EQ(TSessionController::FailureReason("::1", 2121), "Connection refused by [::1]:2121");
    }
}

TEST_F(SessionControllerTest, AnEmptySiteTableStillMakesAnAttempt) {
    TSiteTable none;
    TSessionController c(ftp, none, state, window, timer);
    c.Connect();
    c.Timer1Timer();
    EXPECT_EQ(window.log[0], "                    Try 1 of 1 to connect on FTP server New Site");
    EXPECT_FALSE(ftp.IsConnected());
}

class SessionControllerServerTest : public SessionControllerTest {
protected:
    void SetUp() override {
        SessionControllerTest::SetUp();
        ORLIX_SKIP_UNLESS_FTP_SERVER(FtpServerKind::Pyftpdlib);
        root.makeDir("pub/docs");
        server = FtpServerProcess::start(FtpServerKind::Pyftpdlib, root.path());
        ASSERT_TRUE(server);
        site().Port = server->port();
        site().UserName = server->user();
        site().Password = server->password();
        site().HomeDir = "/pub/";
        site().Retries = 1;
    }
    void TearDown() override {
        // Handlers set by a test may capture its locals, which are gone by now.
        ftp.OnDisconnected = nullptr;
        ftp.OnStatus = nullptr;
        if (ftp.IsConnected()) ftp.Disconnect();
    }
    TempDir root;
    std::unique_ptr<FtpServerProcess> server;
};

TEST_F(SessionControllerServerTest, ConnectDisconnectAndReconnect) {
    controller.Connect();
    EXPECT_EQ(RunSeries(), 1);
    ASSERT_TRUE(ftp.IsConnected());
    EXPECT_EQ(window.connectedSounds, 1);
    EXPECT_EQ(window.trayTip, "Connected");
    EXPECT_EQ(state.ActivePane, 2);
    EXPECT_EQ(window.events.back(), "connected");
    ASSERT_EQ(window.listed.size(), 1u);
    EXPECT_EQ(window.listed[0], "/pub/");
    EXPECT_EQ(window.Count("Waiting"), 0);

    // Connect while connected does nothing.
    controller.Connect();
    EXPECT_FALSE(timer.enabled);
    EXPECT_EQ(state.ConnectAttempts, 1);

    // ReConnect closes (the client's event runs DisConnect) and returns to the directory shown.
    state.LastRemoteDir = "/pub/docs/";
    window.events.clear();
    controller.ReConnect();
    EXPECT_EQ(window.events[0], "queue rows");
    EXPECT_EQ(window.events[1], "disconnected");
    EXPECT_EQ(window.state, "Connecting");
    EXPECT_TRUE(state.Reconnecting);
    EXPECT_EQ(RunSeries(), 1);
    ASSERT_EQ(window.listed.size(), 2u);
    EXPECT_EQ(window.listed[1], "/pub/docs/");
    EXPECT_EQ(window.connectedSounds, 2);

    // DisConnect twice: one sound, the same state both times.
    controller.DisConnect();
    EXPECT_FALSE(ftp.IsConnected());
    EXPECT_FALSE(window.stopEnabled);
    EXPECT_EQ(window.state, "Disconnected");
    EXPECT_EQ(window.storedTip, "Disconnected");
    EXPECT_EQ(state.ActivePane, 1);
    controller.DisConnect();
    EXPECT_EQ(window.disconnectedSounds, 1);
    EXPECT_EQ(window.events.back(), "disconnected");

    // A session the server dropped, resumed by the next command: the encryption panel shows again.
    controller.Connect();
    EXPECT_EQ(RunSeries(), 1);
    ASSERT_TRUE(ftp.IsConnected());
    controller.ServerEndedSession("idle");
    EXPECT_EQ(window.events.back(), "no encryption");
    EXPECT_TRUE(controller.ResumeDroppedSession());
    EXPECT_TRUE(ftp.IsConnected());
    EXPECT_EQ(window.events.back(), "not encrypted");

    // Dropped again with the server gone: the next command's attempt says why, without a box.
    controller.ServerEndedSession("idle");
    server->stop();
    EXPECT_FALSE(controller.ResumeDroppedSession());
    const std::string reason = "Connection refused by 127.0.0.1:" + std::to_string(site().Port);
    EXPECT_EQ(window.log.back(), "                    Could not connect to FTP server Home box: " + reason);
    EXPECT_EQ(window.failure, reason);
    EXPECT_EQ(window.state, "Disconnected");
    EXPECT_TRUE(window.boxes.empty());
}

TEST_F(SessionControllerServerTest, ARejectedLoginShowsDisconnectedWhileTheSeriesGoesOn) {
    site().Password = "wrong";
    site().Retries = 2;
    site().RetryDelay = 1;
    controller.Connect();
    controller.Timer1Timer();
    EXPECT_FALSE(ftp.IsConnected());
    EXPECT_EQ(window.events.back(), "disconnected");
    EXPECT_TRUE(timer.enabled);  // the second attempt is still to come
    EXPECT_EQ(RunSeries(), 1);
    EXPECT_EQ(window.Count("                    Try "), 2);
    EXPECT_TRUE(window.listed.empty());
    const std::string reason = "Login refused by the server: 530 Authentication failed.";
    EXPECT_EQ(window.failure, reason);
    EXPECT_EQ(window.boxes, std::vector<std::string>{reason});
    EXPECT_EQ(window.log.back(), "                    Could not connect to FTP server Home box: " + reason);
}

TEST_F(SessionControllerServerTest, ATickDuringABlockedAttemptWaitsForIt) {
    // The window stays live while OpenSession blocks; Connect pressed then arms the timer again.
    int nested = 0;
    ftp.OnStatus = [&](TIdComponent*, TIdStatus, const std::string&) {
        if (nested++ == 0) {
            controller.Connect();
            controller.Timer1Timer();
        }
    };
    controller.Connect();
    controller.Timer1Timer();
    EXPECT_TRUE(ftp.IsConnected());
    EXPECT_EQ(window.Count("                    Try "), 1);
    // The deferred tick comes later and finds the client connected: nothing further.
    EXPECT_TRUE(timer.enabled);
    EXPECT_EQ(timer.interval, TSessionController::kBusyRetryMs);
    controller.Timer1Timer();
    EXPECT_FALSE(timer.enabled);
    EXPECT_TRUE(ftp.IsConnected());
    EXPECT_EQ(window.Count("                    Try "), 1);
}

TEST_F(SessionControllerServerTest, SiteDialogConnectKeepsTheRemoteViewAndLoadsTheQueue) {
    sites.AddSite();
    sites.SetSiteName(1, "Other");
    sites.Site(1) = site();
    sites.SetSiteName(1, "Other");
    controller.SiteDialogConnect(1);
    EXPECT_EQ(sites.CurrentSite(), 1);
    EXPECT_EQ(window.events.back(), "queue Other");
    for (const auto& e : window.events) EXPECT_NE(e, "clear");
    EXPECT_FALSE(state.Reconnecting);
    EXPECT_EQ(RunSeries(), 1);
    EXPECT_TRUE(ftp.IsConnected());
}

}  // namespace
