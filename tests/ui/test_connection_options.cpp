// The window with the connection options applied, against vsftpd set up the way real networks
// and servers behave: active mode refused by a firewall, idle sessions ended by the server.

#include <QFile>

#include "tests/ui/test_session_fixture.h"
#include "ui/queue_view.h"

namespace {

using sessiontest::WindowTest;

class ConnectionOptionsTest : public WindowTest {
protected:
    // vsftpd on root with the given variant; the site (new-site options) points at it, home "/".
    bool StartVsftpd(const FtpServerOptions& options) {
        server = FtpServerProcess::start(FtpServerKind::Vsftpd, root.path(), options);
        if (!server) return false;
        TFTPInfo& s = form->SiteTable().Site(site);
        s.Port = server->port();
        s.UserName = server->user();
        s.Password = server->password();
        s.HomeDir = "/";
        return form->SetLocalDir(local.path());
    }

    // Download of the remote row "name" through the toolbar, waited for.
    bool Download(const std::string& name) {
        if (!SelectRow(name)) return false;
        form->SetActivePane(2);
        form->ToolButton7Click();
        return RunUntil([this] { return !form->Transfer().RunActive && !form->Transfer().Transferring; });
    }

    bool LogHas(const QString& text) const {
        for (int i = 0; i < form->StatusList->LineCount(); ++i)
            if (form->StatusList->LineText(i).contains(text)) return true;
        return false;
    }

    void IdleSessionEndsAndTheNextDownloadReconnects(bool tls);

    QTemporaryDir local;
};

TEST_F(ConnectionOptionsTest, ANewSiteListsAndTransfersWhereActiveModeIsRefused) {
    ORLIX_SKIP_UNLESS_FTP_SERVER(FtpServerKind::Vsftpd);
    root.writeFile("data.bin", patternBytes(0, 200000));
    ASSERT_TRUE(StartVsftpd(FtpServerOptions{.refuseActive = true}));
    ASSERT_EQ(form->SiteTable().Site(site).Options, TSiteOptions{});

    ASSERT_TRUE(ConnectAndWait());
    EXPECT_EQ(Column(0), std::vector<std::string>{"data.bin"});
    ASSERT_TRUE(Download("data.bin"));
    QFile got(local.filePath("data.bin"));
    ASSERT_TRUE(got.open(QIODevice::ReadOnly));
    EXPECT_TRUE(got.readAll().toStdString() == patternBytes(0, 200000));
    EXPECT_FALSE(LogHas("Command:   PORT"));
    EXPECT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();
}

// Over TLS as in clear: records of the idle session that carry no reply (a late session ticket)
// are not taken for its end, the real end is.
void ConnectionOptionsTest::IdleSessionEndsAndTheNextDownloadReconnects(bool tls) {
    struct TrustThisTime : ICertificateQuestions {
        TTlsTrust AskTrust(const TTlsPeerCertificate&, const std::string&) override { return TTlsTrust::ThisTime; }
    } trust;
    form->CertificateTrust().SetQuestions(&trust);
    root.writeFile("later.txt", "after the time-out");
    FtpServerOptions o;
    o.idleTimeoutSeconds = 5;
    if (tls) o.tls = FtpServerTls::Explicit;
    ASSERT_TRUE(StartVsftpd(o));
    ASSERT_TRUE(ConnectAndWait());
    EXPECT_EQ(form->IdFTP1->Encrypted(), tls);

    // Left idle past the server's 5 s: its farewell is read at once, not by the next command.
    ASSERT_TRUE(RunUntil([this] { return Panel(0) == "Disconnected"; }, 15000));
    EXPECT_FALSE(form->IdFTP1->IsConnected());
    // vsftpd writes its farewell past TLS, in clear, which is no reply of the session: the end
    // is noticed all the same.
    EXPECT_TRUE(LogHas(tls ? "The server closed the idle session" : "421")) << "the server's words are in the log";
    EXPECT_EQ(form->TrayTip(), QStringLiteral("Disconnected"));
    // The remote rows stay for the next command.
    EXPECT_TRUE(form->ToolButton7->isEnabled());

    ASSERT_TRUE(Download("later.txt"));
    QFile got(local.filePath("later.txt"));
    ASSERT_TRUE(got.open(QIODevice::ReadOnly));
    EXPECT_EQ(got.readAll(), QByteArray("after the time-out"));
    EXPECT_TRUE(form->IdFTP1->IsConnected());
    EXPECT_EQ(form->IdFTP1->WorkingDir(), "/");
    EXPECT_EQ(form->EncryptionPanel->text(), tls ? QStringLiteral("TLS") : QStringLiteral("Not encrypted"));
    EXPECT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();
    form->CertificateTrust().SetQuestions(nullptr);
}

TEST_F(ConnectionOptionsTest, AServerEndingTheIdleSessionIsNoticedAndTheNextDownloadReconnects) {
    ORLIX_SKIP_UNLESS_FTP_SERVER(FtpServerKind::Vsftpd);
    IdleSessionEndsAndTheNextDownloadReconnects(false);
}

TEST_F(ConnectionOptionsTest, AServerEndingTheIdleTlsSessionIsNoticedAndTheNextDownloadReconnects) {
    ORLIX_SKIP_UNLESS_FTP_SERVER(FtpServerKind::Vsftpd);
    IdleSessionEndsAndTheNextDownloadReconnects(true);
}

}  // namespace
