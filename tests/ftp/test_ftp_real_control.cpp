// Control session against real servers on 127.0.0.1 (pyftpdlib always; vsftpd, ProFTPD and
// pure-ftpd when the shared fixture can run them).

#include <fcntl.h>
#include <algorithm>
#include <unistd.h>

#include <gtest/gtest.h>

#include "ftp/ftp_client.h"
#include "tests/ftp/ftp_test_util.h"
#include "tests/support/ftp_servers.h"

namespace {

class RealControl : public ::testing::TestWithParam<FtpServerKind> {
protected:
    void SetUp() override {
        ORLIX_SKIP_UNLESS_FTP_SERVER(GetParam());
        server = FtpServerProcess::start(GetParam(), root.path());
        ASSERT_TRUE(server);
        PrepareClient(ftp, server->port(), server->user(), server->password());
    }

    TempDir root;
    std::unique_ptr<FtpServerProcess> server;
    TIdFTP ftp;
};

TEST_P(RealControl, OpenSessionLogsInAndReportsInOrder) {
    std::vector<std::pair<TIdStatus, std::string>> statuses;
    ftp.OnStatus = [&](TIdComponent*, TIdStatus st, const std::string& text) { statuses.emplace_back(st, text); };
    int afterLogin = 0;
    ftp.OnAfterClientLogin = [&](TIdComponent*) { ++afterLogin; };
    ftp.OpenSession(true, IdTimeoutDefault);
    ASSERT_EQ(statuses.size(), 3u);
    EXPECT_EQ(statuses[0], std::make_pair(stConnecting, std::string("Connecting to 127.0.0.1.")));
    EXPECT_EQ(statuses[1], std::make_pair(stConnected, std::string("Connected.")));
    EXPECT_EQ(statuses[2], std::make_pair(stFtpReady, std::string("Connection established")));
    EXPECT_EQ(afterLogin, 1);
    EXPECT_EQ(ftp.GreetingReply.NumericCode(), 220);
    EXPECT_EQ(ftp.LoginReply.NumericCode(), 230);
    EXPECT_EQ(ftp.SystemType.rfind("UNIX", 0), 0u) << ftp.SystemType;
    ftp.Disconnect();
    EXPECT_FALSE(ftp.IsConnected());
    EXPECT_EQ(statuses.back(), std::make_pair(stDisconnected, std::string("Disconnected.")));
}

TEST_P(RealControl, DirectoryCommandsBehave) {
    ftp.OpenSession();
    EXPECT_EQ(ftp.WorkingDir(), "/");
    ftp.MakeDir("d1");
    EXPECT_TRUE(root.exists("d1"));
    ftp.ChangeDir("d1");
    EXPECT_EQ(ftp.WorkingDir(), "/d1");
    ftp.MakeDir("inner dir");
    ftp.ChangeDir("inner dir");
    EXPECT_EQ(ftp.WorkingDir(), "/d1/inner dir");
    ftp.ChangeDirUp();
    ftp.ChangeDirUp();
    EXPECT_EQ(ftp.WorkingDir(), "/");
    ftp.Rename("d1/inner dir", "d1/renamed");
    EXPECT_TRUE(root.exists("d1/renamed"));
    EXPECT_FALSE(root.exists("d1/inner dir"));
    ftp.RemoveDir("d1/renamed");
    EXPECT_FALSE(root.exists("d1/renamed"));
}

TEST_P(RealControl, FileCommandsSizeAllocateDelete) {
    root.writeFile("small.txt", "12345");
    {
        // A sparse 3 GiB file: the size only exists in the metadata.
        const std::string big = root.file("sparse.bin");
        const int fd = ::open(big.c_str(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, 3221225472LL), 0);
        ::close(fd);
    }
    server->syncOwnership();
    ftp.OpenSession();
    EXPECT_EQ(ftp.Size("small.txt"), 5);
    EXPECT_EQ(ftp.Size("sparse.bin"), 3221225472LL);
    EXPECT_EQ(ftp.Size("missing.txt"), -1);
    ftp.Allocate(100);
    ftp.Allocate(5000000000LL);
    ftp.Delete("small.txt");
    EXPECT_FALSE(root.exists("small.txt"));
    EXPECT_TRUE(ftp.ResumeSupported());
}

TEST_P(RealControl, RefusedCommandRaisesServerCodeAndSessionGoesOn) {
    ftp.OpenSession();
    try {
        ftp.ChangeDir("no-such-dir");
        FAIL() << "no exception";
    } catch (const EIdProtocolReplyError& e) {
        EXPECT_EQ(e.ReplyCode, 550);
        EXPECT_FALSE(std::string(e.what()).empty());
    }
    EXPECT_THROW(ftp.Delete("no-such-file"), EIdProtocolReplyError);
    EXPECT_THROW(ftp.Rename("no-such-file", "x"), EIdProtocolReplyError);
    EXPECT_TRUE(ftp.IsConnected());
    EXPECT_EQ(ftp.WorkingDir(), "/");
    EXPECT_EQ(ftp.Quote("NOOP"), 200);
}

TEST_P(RealControl, WrongPasswordFailsAndDisconnects) {
    ftp.Password = "wrong";
    try {
        ftp.OpenSession();
        FAIL() << "no exception";
    } catch (const EIdProtocolReplyError& e) {
        EXPECT_EQ(e.ReplyCode, 530);
    }
    EXPECT_FALSE(ftp.IsConnected());
}

INSTANTIATE_TEST_SUITE_P(Servers, RealControl,
                         ::testing::Values(FtpServerKind::Pyftpdlib, FtpServerKind::Vsftpd, FtpServerKind::Proftpd,
                                           FtpServerKind::PureFtpd),
                         [](const auto& info) { return FtpServerProcess::testName(info.param); });

}  // namespace
