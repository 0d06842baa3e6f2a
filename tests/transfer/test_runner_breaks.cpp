// The queue runner when something breaks under a transfer: the local disk fills, the server is
// killed, the connection is cut at any byte. Each ends the run with a clear error within the
// time-outs, reports no success, keeps the entry (and the partial file for Resume); after a
// killed server returns, Resume completes the file byte for byte.

#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <ostream>

#include <gtest/gtest.h>

#include "tests/support/tcp_relay.h"
#include "tests/transfer/test_runner_fixture.h"

using namespace runner_test;

namespace {

// Short bounds on every wait for the server: a hang shows up as a time-out, not a stuck test.
void ShortTimeouts(TIdFTP& ftp) {
    ftp.ReadTimeout = 4000;
    ftp.AbortReplyTimeout = 2000;
    ftp.DataConnectionTimeout = 4000;
}

// A tmpfs of the given size mounted on a folder for the test's lifetime.
class SmallDisk {
public:
    SmallDisk(const std::string& dir, int64_t bytes) : dir_(dir) {
        const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
        if (::mount("orlix-full", dir.c_str(), "tmpfs", 0, options.c_str()) != 0)
            why_ = std::string("cannot mount a tmpfs: ") + std::strerror(errno);
    }
    ~SmallDisk() {
        if (why_.empty()) ::umount2(dir_.c_str(), MNT_DETACH);
    }
    const std::string& why() const { return why_; }

private:
    std::string dir_, why_;
};

TEST(RunnerBreaks, LocalDiskFullStopsTheRunAndKeepsThePartialFile) {
    ORLIX_SKIP_UNLESS_FTP_SERVER(FtpServerKind::Pyftpdlib);
    TempDir root{"orlix-full-srv"}, local{"orlix-full-local"}, data{"orlix-full-data"};
    const int64_t size = 8LL << 20;
    WritePattern(root.file("big.bin"), size);
    root.writeFile("after.txt", "after");
    local.makeDir("disk");
    SmallDisk disk(local.file("disk"), 1LL << 20);
    if (!disk.why().empty()) GTEST_SKIP() << disk.why();
    auto server = FtpServerProcess::start(FtpServerKind::Pyftpdlib, root.path());
    ASSERT_TRUE(server);
    Rig rig;
    ShortTimeouts(rig.ftp);
    rig.runner.SetDataDir(data.path());
    rig.Connect(server->port());

    rig.queue.AppendEntry(Rig::Entry("Download", "big.bin", local.file("disk"), "/", size));
    rig.queue.AppendEntry(Rig::Entry("Download", "after.txt", local.file("disk"), "/", 5));
    rig.runner.TransferQueue();
    EXPECT_NE(rig.runner.LastRunError().find(std::strerror(ENOSPC)), std::string::npos) << rig.runner.LastRunError();
    // The run stopped there: the next entry did not run.
    ASSERT_EQ(rig.queue.QueueCount(), 2);
    EXPECT_EQ(rig.queue.Entry(0).FileName, "big.bin");
    EXPECT_FALSE(local.exists("disk/after.txt"));
    const int64_t partial = FileSize(local.file("disk/big.bin"));
    EXPECT_GT(partial, 0);
    EXPECT_LT(partial, size);
    EXPECT_EQ(ComparePrefix(local.file("disk/big.bin"), root.file("big.bin")), "");
    EXPECT_EQ(rig.view.sound(TSoundEvent::TransferDone), 0);
}

// The server dies (SIGKILL: no reply, no clean close of the session) in the middle of a download
// and of an upload, or freezes (SIGSTOP: the connections stay open and silent).
struct TServerFault {
    const char* Name;
    bool Upload;
    bool Freeze;
};
std::ostream& operator<<(std::ostream& out, const TServerFault& f) { return out << f.Name; }
class RunnerServerKilled : public ::testing::TestWithParam<TServerFault> {};

TEST_P(RunnerServerKilled, ClearErrorThenResumeCompletesAfterRestart) {
    const bool upload = GetParam().Upload;
    ORLIX_SKIP_UNLESS_FTP_SERVER(FtpServerKind::Vsftpd);
    TempDir root{"orlix-kill-srv"}, local{"orlix-kill-local"}, data{"orlix-kill-data"};
    const int64_t size = 48LL << 20;
    const std::string source = upload ? local.file("f.bin") : root.file("f.bin");
    const std::string target = upload ? root.file("f.bin") : local.file("f.bin");
    WritePattern(source, size);
    auto server = FtpServerProcess::start(FtpServerKind::Vsftpd, root.path());
    ASSERT_TRUE(server);
    Rig rig;
    ShortTimeouts(rig.ftp);
    rig.runner.SetDataDir(data.path());
    rig.Connect(server->port());

    if (upload)
        AddLocalEntry(rig.queue, local.file("f.bin"), local.path(), "/", -1);
    else
        rig.queue.AppendEntry(Rig::Entry("Download", "f.bin", local.path(), "/", size));
    bool killed = false;
    rig.onWork = [&](TWorkMode mode, int64_t count) {
        if (!killed && mode == (upload ? wkWrite : wkRead) && rig.state.Transferring && count >= (8LL << 20)) {
            killed = true;
            if (GetParam().Freeze)
                server->pause();
            else
                server->kill();
        }
    };
    rig.runner.TransferQueue();
    ASSERT_TRUE(killed);
    EXPECT_NE(rig.runner.LastRunError(), "");
    if (!GetParam().Freeze) {
        EXPECT_TRUE(rig.view.logged("ReConnect failed")) << "the server is down: the reconnect must fail";
    }
    ASSERT_EQ(rig.queue.QueueCount(), 1);
    EXPECT_EQ(rig.view.sound(TSoundEvent::TransferDone), 0);
    EXPECT_LT(FileSize(target), size);
    EXPECT_FALSE(rig.state.RunActive);

    server->kill();
    server->restart();
    server->syncOwnership();
    rig.onWork = nullptr;
    rig.Connect();
    rig.queue.ResetAllStatuses();
    rig.questions.ExistsAnswers = {eaResume};
    rig.runner.TransferQueue();
    EXPECT_EQ(rig.runner.LastRunError(), "");
    EXPECT_EQ(rig.queue.QueueCount(), 0);
    EXPECT_EQ(CompareFiles(source, target), "");
    EXPECT_EQ(rig.view.sound(TSoundEvent::TransferDone), 1);
}

INSTANTIATE_TEST_SUITE_P(Faults, RunnerServerKilled,
                         ::testing::Values(TServerFault{"KilledInDownload", false, false},
                                           TServerFault{"KilledInUpload", true, false},
                                           TServerFault{"FrozenInDownload", false, true}),
                         [](const auto& info) { return std::string(info.param.Name); });

// The connection cut after N bytes (both directions, control and passive data, through the relay)
// for N in the login, in the listing, in the middle of the data and in the last reply.
TEST(RunnerBreaks, ConnectionCutAtAnyPhaseIsNeverASuccess) {
    ORLIX_SKIP_UNLESS_FTP_SERVER(FtpServerKind::Pyftpdlib);
    TempDir root{"orlix-cut-srv"};
    const int64_t size = 4LL << 20;
    WritePattern(root.file("d/f.bin"), size);
    auto server = FtpServerProcess::start(FtpServerKind::Pyftpdlib, root.path());
    ASSERT_TRUE(server);

    // One uncut run measures where the phases end.
    int64_t loggedIn = 0, listed = 0, total = 0;
    {
        TempDir local{"orlix-cut-local"}, data{"orlix-cut-data"};
        TcpRelay relay(server->port());
        relay.relayPassiveData(true);
        Rig rig;
        rig.ftp.Passive = true;
        rig.runner.SetDataDir(data.path());
        rig.port = relay.port();
        rig.ftp.SetHost(rig.host);
        rig.ftp.SetPort(rig.port);
        rig.ftp.Username = rig.user;
        rig.ftp.Password = rig.password;
        rig.ftp.OpenSession();
        loggedIn = relay.relayed();
        rig.view.ListRemoteDirectory("/d");
        listed = relay.relayed();
        rig.queue.AppendEntry(Rig::Entry("Download", "f.bin", local.path(), "/d/", size));
        rig.runner.TransferQueue();
        ASSERT_EQ(rig.runner.LastRunError(), "");
        ASSERT_EQ(CompareFiles(local.file("f.bin"), root.file("d/f.bin")), "");
        total = relay.relayed();
        ASSERT_GT(total, listed + size) << "the data did not go through the relay";
    }

    struct TCase {
        const char* Name;
        int64_t CutAt;
    };
    const TCase cases[] = {
        {"in the greeting", 10},
        {"in the login", loggedIn - 20},
        {"in the listing", (loggedIn + listed) / 2},
        {"mid-transfer", listed + size / 2},
        {"in the last replies", total - 8},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TempDir local{"orlix-cut-local"}, data{"orlix-cut-data"};
        TcpRelay relay(server->port());
        relay.relayPassiveData(true);
        relay.cutAfter(c.CutAt);
        Rig rig;
        ShortTimeouts(rig.ftp);
        rig.ftp.Passive = true;
        rig.runner.SetDataDir(data.path());
        rig.port = relay.port();
        rig.view.pane.RemoteDir = "/d/";
        rig.queue.AppendEntry(Rig::Entry("Download", "f.bin", local.path(), "/d/", size));
        try {
            rig.Connect();
        } catch (const std::exception& e) {
            EXPECT_LT(c.CutAt, listed) << e.what();
        }
        rig.runner.TransferQueue();
        EXPECT_TRUE(relay.cut());
        EXPECT_NE(rig.runner.LastRunError(), "");
        ASSERT_EQ(rig.queue.QueueCount(), 1);
        EXPECT_EQ(rig.view.sound(TSoundEvent::TransferDone), 0);
        EXPECT_FALSE(rig.state.RunActive);
        if (local.exists("f.bin")) {
            EXPECT_EQ(ComparePrefix(local.file("f.bin"), root.file("d/f.bin")), "");
        }
    }
}

}  // namespace
