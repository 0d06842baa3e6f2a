// The session controller in the main window: the command table in each state, the retry series
// through the real timer, ReConnect back to the directory shown, and the tray tip.

#include "tests/ui/test_session_fixture.h"

#include <QMenu>
#include <QTest>

#include <sys/stat.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using sessiontest::RunUntil;
using sessiontest::WindowTest;

int ClosedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}

// The enabled state of every session-dependent control, one letter each (1 on, 0 off), in the
// order of the names below.
const char* const kControls =
    "TB1 TB2 TB3 TB4 TB6 TB7 TB8 TB15 TB16 TB10 TB11 List Combo Up Upload1 AddtoQueue2 TransferQueue1 "
    "ReConnect1 DisConnect1 Download2 ransferqueue1 Addtoqueue3 Upload2 Stop1 Addtoqueue4";

std::string Availability(const TMainForm& f) {
    const bool on[] = {f.ToolButton1->isEnabled(),    f.ToolButton2->isEnabled(),       f.ToolButton3->isEnabled(),
                       f.ToolButton4->isEnabled(),    f.ToolButton6->isEnabled(),       f.ToolButton7->isEnabled(),
                       f.ToolButton8->isEnabled(),    f.ToolButton15->isEnabled(),      f.ToolButton16->isEnabled(),
                       f.ToolButton10->isEnabled(),   f.ToolButton11->isEnabled(),      f.RemoteDirList->isEnabled(),
                       f.RemoteDirCombo->isEnabled(), f.RemoteDirUpButton->isEnabled(), f.Upload1->isEnabled(),
                       f.AddtoQueue2->isEnabled(),    f.TransferQueue1->isEnabled(),    f.ReConnect1->isEnabled(),
                       f.DisConnect1->isEnabled(),    f.Download2->isEnabled(),         f.ransferqueue1->isEnabled(),
                       f.Addtoqueue3->isEnabled(),    f.Upload2->isEnabled(),           f.Stop1->isEnabled(),
                       f.Addtoqueue4->isEnabled()};
    std::string s;
    for (bool b : on) s += b ? '1' : '0';
    return s;
}

TEST_F(WindowTest, CommandTableAtStartDuringAnAttemptConnectedAndDisconnected) {
    ORLIX_SKIP_UNLESS_FTP_SERVER(FtpServerKind::Pyftpdlib);
    root.makeDir("pub");
    ASSERT_TRUE(StartServer());
    SCOPED_TRACE(kControls);
    //                                  TB1..TB11  List..   menus
    EXPECT_EQ(Availability(*form), "1101000001100000000000000");

    // While the attempt runs (seen from the client's first status report).
    std::string during;
    auto forward = form->IdFTP1->OnStatus;
    form->IdFTP1->OnStatus = [&](TIdComponent* c, TIdStatus st, const std::string& text) {
        if (during.empty()) during = Availability(*form);
        if (forward) forward(c, st, text);
    };
    ASSERT_TRUE(ConnectAndWait());
    EXPECT_EQ(during, "1101000001100000000000010");

    EXPECT_EQ(Availability(*form), "0011011110111111111111001");
    EXPECT_EQ(form->ActivePane(), 2);
    EXPECT_EQ(form->TrayTip(), "Connected");
    EXPECT_EQ(Panel(0), "Ready");

    form->ToolButton3Click();
    EXPECT_EQ(Availability(*form), "1101000000100000000000000");
    EXPECT_EQ(form->RemoteDirList->topLevelItemCount(), 0);
    EXPECT_EQ(form->RemoteDirCombo->currentText(), "");
    EXPECT_TRUE(form->HostDirInfo().empty());
    EXPECT_EQ(form->ActivePane(), 1);
    EXPECT_EQ(Panel(0), "Disconnected");
    EXPECT_EQ(form->TrayTip(), "Disconnected");

    // A second DisConnect leaves the same state.
    form->ToolButton3Click();
    EXPECT_EQ(Availability(*form), "1101000000100000000000000");
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

TEST_F(WindowTest, RetriesAgainstAClosedPortAndStopDuringTheWait) {
    form->ToolButton10Click();  // nothing running, never connected
    EXPECT_EQ(Panel(0), "Disconnected");
    TFTPInfo& s = form->SiteTable().Site(site);
    s.Port = ClosedPort();
    s.Retries = 3;
    s.RetryDelay = 1;
    form->ToolButton2Click();
    EXPECT_EQ(Panel(0), "Connecting");
    ASSERT_TRUE(RunUntil([this] { return LogCount("                    Try 3 of 3") == 1; }));
    RunUntil([this] { return !form->Timer1->isActive(); }, 3000);
    EXPECT_EQ(LogCount("                    Try "), 3);
    EXPECT_EQ(LogCount("Waiting 1 seconds to try again ..."), 2);
    EXPECT_FALSE(form->Timer1->isActive());
    EXPECT_EQ(Panel(0), "Disconnected");
    EXPECT_EQ(form->TrayTip(), "Try 3 of 3 to connect on FTP server Test site");
    // Why, in the status bar and once in a message box at the end of the series.
    const QString reason = QStringLiteral("Connection refused by 127.0.0.1:%1").arg(s.Port);
    EXPECT_EQ(form->PanelText(1), reason);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].endsWith(reason)) << messages[0].toStdString();
    EXPECT_EQ(LogCount("                    Could not connect to FTP server Test site: " + reason), 1);
    EXPECT_EQ(LogCount("                    Could not connect"), 1);

    // Again, stopped during the first wait: no further attempt.
    form->StatusList->ClearLog();
    form->ToolButton2Click();
    ASSERT_TRUE(RunUntil([this] { return LogCount("Waiting") == 1; }));
    EXPECT_TRUE(form->Timer1->isActive());
    form->ToolButton10Click();
    EXPECT_FALSE(form->Timer1->isActive());
    EXPECT_EQ(Panel(0), "Disconnected");
    RunUntil([] { return false; }, 1500);
    EXPECT_EQ(LogCount("                    Try "), 1);
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

// A refused login with a new site's Retries 0 and delay 0: one attempt, counted as such, no wait,
// and the server's own words once in the log, in the status bar and in one box.
class RefusedLoginTest : public WindowTest, public ::testing::WithParamInterface<FtpServerKind> {};

TEST_P(RefusedLoginTest, SaysWhyOnceWithTheServersWords) {
    ORLIX_SKIP_UNLESS_FTP_SERVER(GetParam());
    root.makeDir("pub");
    server = FtpServerProcess::start(GetParam(), root.path());
    ASSERT_TRUE(server);
    TFTPInfo& s = form->SiteTable().Site(site);
    s = TFTPInfo{};
    s.SiteName = "Test site";
    s.Host = "127.0.0.1";
    s.Port = server->port();
    s.UserName = server->user();
    s.Password = "wrong";
    form->ToolButton2Click();
    ASSERT_TRUE(RunUntil([this] { return LogCount("                    Could not connect") > 0; }));
    RunUntil([this] { return !form->Timer1->isActive(); }, 3000);
    EXPECT_EQ(LogCount("                    Try 1 of 1 to connect on FTP server Test site"), 1);
    EXPECT_EQ(LogCount("                    Try "), 1);
    EXPECT_EQ(LogCount("Waiting"), 0);
    EXPECT_EQ(LogCount("                    Could not connect"), 1);
    // Each server's own reply to the wrong password.
    const char* words = GetParam() == FtpServerKind::Pyftpdlib  ? "530 Authentication failed."
                        : GetParam() == FtpServerKind::PureFtpd ? "530 Login authentication failed"
                                                                : "530 Login incorrect.";
    const QString reason = QStringLiteral("Login refused by the server: ") + words;
    EXPECT_EQ(form->PanelText(1), reason);
    EXPECT_EQ(LogCount("                    Could not connect to FTP server Test site: " + reason), 1);
    EXPECT_EQ(Panel(0), "Disconnected");
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0], "Could not connect.\n\n" + reason);
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

INSTANTIATE_TEST_SUITE_P(Servers, RefusedLoginTest,
                         ::testing::Values(FtpServerKind::Pyftpdlib, FtpServerKind::Vsftpd, FtpServerKind::Proftpd,
                                           FtpServerKind::PureFtpd),
                         [](const auto& info) { return FtpServerProcess::testName(info.param); });

TEST_F(WindowTest, ReConnectReturnsToTheDirectoryShownBefore) {
    ORLIX_SKIP_UNLESS_FTP_SERVER(FtpServerKind::Pyftpdlib);
    root.makeDir("pub/Beta/inner");
    root.writeFile("pub/Beta/b.txt", "b");
    ASSERT_TRUE(StartServer());
    ASSERT_TRUE(ConnectAndWait());
    EXPECT_EQ(form->LastRemoteDir(), "/pub/");
    ASSERT_TRUE(SelectRow("Beta"));
    form->RemoteDirListDblClick();
    EXPECT_EQ(form->LastRemoteDir(), "/pub/Beta/");

    form->ToolButton4Click();
    EXPECT_FALSE(form->IdFTP1->IsConnected());
    EXPECT_EQ(Panel(0), "Connecting");
    ASSERT_TRUE(RunUntil([this] { return form->IdFTP1->IsConnected() && Panel(0) == "Ready"; }));
    EXPECT_EQ(form->LastRemoteDir(), "/pub/Beta/");
    EXPECT_EQ(form->RemoteDirCombo->currentText(), "/pub/Beta/");
    EXPECT_EQ(Column(0), (std::vector<std::string>{"inner", "b.txt"}));
    // The first row is focused and selected after connecting.
    EXPECT_TRUE(form->RemoteDirList->topLevelItem(0)->isSelected());

    // Home goes back to the site's home directory.
    form->Homedirectory1Click();
    EXPECT_EQ(form->LastRemoteDir(), "/pub/");
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

TEST_F(WindowTest, AnEmptyHomeDirectoryListsWhereTheServerStarts) {
    ORLIX_SKIP_UNLESS_FTP_SERVER(FtpServerKind::Pyftpdlib);
    root.makeDir("top");
    ASSERT_TRUE(StartServer(""));
    ASSERT_TRUE(ConnectAndWait());
    EXPECT_EQ(form->LastRemoteDir(), "/");
    EXPECT_EQ(Column(0), (std::vector<std::string>{"top"}));
    // Without a notification area the tips are kept and nothing complains.
    EXPECT_EQ(form->TrayTip(), "Connected");
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

// Opens the tray icon's menu and clicks the item with that text.
void ClickTrayItem(TMainForm& form, const QString& text) {
    QMenu* menu = form.TrayIcon->contextMenu();
    ASSERT_EQ(menu, form.TrayMenu);
    menu->popup(QPoint(20, 20));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
    QAction* item = nullptr;
    for (QAction* a : menu->actions())
        if (a->text() == text) item = a;
    ASSERT_NE(item, nullptr) << text.toStdString();
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(item).center());
    if (menu->isVisible()) menu->hide();  // a disabled item leaves the menu open
}

TEST_F(WindowTest, TrayMenuRestoresDisconnectsWhileConnectedAndExitsThroughTheSavingClose) {
    ORLIX_SKIP_UNLESS_FTP_SERVER(FtpServerKind::Pyftpdlib);
    root.makeDir("pub");
    ASSERT_TRUE(StartServer());
    form->SetTrayAvailableOverride(1);
    QStringList texts;
    for (QAction* a : form->TrayMenu->actions())
        if (!a->isSeparator()) texts << a->text();
    EXPECT_EQ(texts, (QStringList{"Restore", "Disconnect", "Exit"}));
    EXPECT_FALSE(form->TrayDisconnect->isEnabled());

    form->show();
    form->ToolButton20Click();
    ASSERT_TRUE(form->InTray());
    ClickTrayItem(*form, "Disconnect");  // disabled: nothing happens
    EXPECT_TRUE(form->InTray());
    ClickTrayItem(*form, "Restore");
    EXPECT_FALSE(form->InTray());
    EXPECT_TRUE(form->isVisible());

    ASSERT_TRUE(ConnectAndWait());
    EXPECT_TRUE(form->TrayDisconnect->isEnabled());
    form->ToolButton20Click();
    ClickTrayItem(*form, "Disconnect");
    EXPECT_FALSE(form->IdFTP1->IsConnected());
    EXPECT_EQ(Panel(0), "Disconnected");
    EXPECT_FALSE(form->TrayDisconnect->isEnabled());
    EXPECT_TRUE(form->InTray());

    // Exit from the tray saves the data files like the main menu's exit.
    ClickTrayItem(*form, "Exit");
    EXPECT_FALSE(form->isVisible());
    EXPECT_FALSE(form->TrayIcon->isVisible());
    struct stat st {};
    for (const char* f : {"FTPList.dat", "FtpStstus.dat", "FTPQueueStore.dat"})
        EXPECT_EQ(::stat((form->DataDir() + f).c_str(), &st), 0) << f;
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

}  // namespace
