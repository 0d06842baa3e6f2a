// The queue runner's control flow: Stop and resume, chunked resumed uploads, immediate
// transfers, skipped "Aborted" entries, the failure path, hostile listings, servers without REST
// and files beyond 4 GiB.

#include <gtest/gtest.h>

#include "tests/transfer/test_runner_fixture.h"

using namespace runner_test;

namespace {

struct RowLog : IQueueView {
    std::vector<int> inserted;
    void QueueRowInserted(int row, const TQueueRow&) override { inserted.push_back(row); }
};

class RunnerPy : public ::testing::Test {
protected:
    void SetUp() override { ORLIX_SKIP_UNLESS_FTP_SERVER(FtpServerKind::Pyftpdlib); }
    void Start() {
        server = FtpServerProcess::start(FtpServerKind::Pyftpdlib, root.path());
        ASSERT_TRUE(server);
        rig.runner.SetDataDir(data.path());
        rig.Connect(server->port());
    }
    std::vector<std::string> QueueNames() const {
        std::vector<std::string> out;
        for (const auto& e : rig.queue.QueueEntries()) out.push_back(e.FileName);
        return out;
    }

    TempDir root{"orlix-runner-srv"};
    TempDir local{"orlix-runner-local"};
    TempDir data{"orlix-runner-data"};
    std::unique_ptr<FtpServerProcess> server;
    Rig rig;
};

TEST_F(RunnerPy, StopInsideAFolderDownloadEndsTheWalkAndKeepsTheEntry) {
    for (const char* n : {"1.bin", "2.bin", "3.bin"}) WritePattern(root.file(std::string("tree/") + n), 4LL << 20);
    root.writeFile("older", "o");
    Start();
    // An "Aborted" entry behind the running one: the mark still goes to the entry in transfer.
    rig.queue.AppendEntry(Rig::Entry("Download", "tree", local.path(), "/", -1, true));
    rig.queue.AppendEntry(Rig::Entry("Download", "older", local.path(), "/", 1));
    rig.queue.SetEntryStatus(1, "Aborted");
    bool stopped = false;
    rig.onWork = [&](TWorkMode, int64_t count) {
        if (!stopped && rig.state.Transferring && count >= (1 << 20)) {
            stopped = true;
            rig.runner.Stop();
        }
    };
    rig.runner.TransferQueue();
    ASSERT_TRUE(stopped);
    EXPECT_EQ(rig.runner.LastRunError(), "");
    EXPECT_EQ(QueueNames(), (std::vector<std::string>{"tree", "older"}));
    EXPECT_EQ(rig.queue.Entry(0).Status, "Aborted");
    EXPECT_LT(FileSize(local.file("tree/1.bin")), 4LL << 20);
    EXPECT_FALSE(local.exists("tree/2.bin"));
    EXPECT_FALSE(local.exists("tree/3.bin"));
    EXPECT_EQ(rig.view.sound(TSoundEvent::TransferDone), 0);
}

TEST_F(RunnerPy, StopDuringAResumedUploadEndsTheRunAndRemovesTheScratchFile) {
    WritePattern(local.file("up.bin"), 20LL << 20);
    WritePattern(root.file("up.bin"), 1LL << 20);
    Start();
    AddLocalEntry(rig.queue, local.file("up.bin"), local.path(), "/", -1);
    rig.questions.ExistsAnswers = {eaResume};
    bool stopped = false;
    rig.onWork = [&](TWorkMode mode, int64_t) {
        if (!stopped && mode == wkWrite && rig.state.UploadResumePhase == 2) {
            stopped = true;
            rig.runner.Stop();
        }
    };
    rig.runner.TransferQueue();
    ASSERT_TRUE(stopped);
    // The server's replies to the cut upload are read: no failure, no reconnect.
    EXPECT_EQ(rig.runner.LastRunError(), "");
    EXPECT_EQ(rig.view.reconnects, 0);
    ASSERT_EQ(rig.queue.QueueCount(), 1);
    EXPECT_EQ(rig.queue.Entry(0).Status, "Aborted");
    EXPECT_FALSE(data.exists("0.tmp"));
    EXPECT_EQ(rig.state.UploadResumePhase, 0);
    EXPECT_EQ(rig.view.sound(TSoundEvent::TransferStopped), 1);
    EXPECT_EQ(rig.view.sound(TSoundEvent::TransferDone), 0);
    // What reached the server is a prefix of the file.
    EXPECT_EQ(ComparePrefix(root.file("up.bin"), local.file("up.bin")), "");
}

TEST_F(RunnerPy, ResumedUploadGoesInChunksAndRemovesTheScratchFile) {
    const int64_t size = 20LL << 20, have = 5LL << 20;
    WritePattern(local.file("up20.bin"), size);
    WritePattern(root.file("up20.bin"), have);
    Start();
    AddLocalEntry(rig.queue, local.file("up20.bin"), local.path(), "/", -1);
    rig.questions.ExistsAnswers = {eaResume};
    int phase2 = 0;
    rig.onWork = [&](TWorkMode, int64_t) {
        if (rig.state.UploadResumePhase == 2) ++phase2;
        // The scratch file never holds more than one chunk.
        EXPECT_LE(FileSize(rig.runner.ScratchFilePath()), 4LL << 20);
    };
    rig.runner.TransferQueue();
    EXPECT_EQ(rig.runner.LastRunError(), "");
    ASSERT_EQ(rig.questions.ExistsAsked.size(), 1u);
    EXPECT_EQ(rig.questions.ExistsAsked[0].OriginalSize, have);
    EXPECT_EQ(rig.questions.ExistsAsked[0].NewSize, size);
    EXPECT_EQ(CompareFiles(local.file("up20.bin"), root.file("up20.bin")), "");
    // 15 MiB: three chunks of 4 MiB and one of 3 MiB, each appended.
    EXPECT_EQ(rig.sentCount("APPE "), 4);
    EXPECT_EQ(rig.writeBegins, 4);
    EXPECT_GT(phase2, 0);
    EXPECT_EQ(rig.lastPercent, 100);
    EXPECT_EQ(rig.state.UploadResumePhase, 0);
    EXPECT_FALSE(data.exists("0.tmp"));
    EXPECT_EQ(rig.queue.QueueCount(), 0);
}

TEST_F(RunnerPy, DownloadNowPutsSelectionFirstAndRunsExactlyThose) {
    for (const char* n : {"a", "b", "c", "x", "y"}) root.writeFile(n, std::string(100, *n));
    Start();
    TPaneContext pane = rig.view.pane;
    pane.LocalFolder = local.path();
    AddRemoteEntry(rig.queue, pane, "x", -1);
    AddRemoteEntry(rig.queue, pane, "y", -1);
    RowLog rows;
    rig.queue.SetView(&rows);
    rig.runner.DownloadNow(pane, {"a", "b", "c"});
    EXPECT_EQ(rows.inserted, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(QueueNames(), (std::vector<std::string>{"x", "y"}));
    for (const char* n : {"a", "b", "c"}) EXPECT_EQ(local.readFile(n), std::string(100, *n));
    EXPECT_FALSE(local.exists("x"));
    EXPECT_FALSE(local.exists("y"));
    EXPECT_EQ(rig.state.ImmediatePending, 0);
    EXPECT_FALSE(rig.view.stopEnabled);

    // Nothing selected: nothing runs (no run of the whole queue).
    rig.runner.DownloadNow(pane, {});
    EXPECT_EQ(rig.view.sound(TSoundEvent::BeginTransfer), 1);
    EXPECT_FALSE(local.exists("x"));
}

TEST_F(RunnerPy, UploadNowSendsTheLocalSelectionIncludingAFolder) {
    local.writeFile("u1.txt", "one");
    local.writeFile("dir/u2.txt", "two");
    Start();
    root.writeFile("queued", "q");
    rig.queue.AppendEntry(Rig::Entry("Download", "queued", local.path(), "/", 1));
    TPaneContext pane = rig.view.pane;
    pane.LocalFolder = local.path();
    rig.runner.UploadNow(pane, {local.file("u1.txt"), local.file("dir")});
    EXPECT_EQ(rig.runner.LastRunError(), "");
    EXPECT_EQ(root.readFile("u1.txt"), "one");
    EXPECT_EQ(root.readFile("dir/u2.txt"), "two");
    EXPECT_EQ(QueueNames(), (std::vector<std::string>{"queued"}));
    EXPECT_FALSE(local.exists("queued"));
}

TEST_F(RunnerPy, QueueStartsAfterTwoAbortedEntries) {
    for (const char* n : {"a", "b", "c", "d"}) root.writeFile(n, std::string(10, *n));
    Start();
    for (const char* n : {"a", "b", "c", "d"}) rig.queue.AppendEntry(Rig::Entry("Download", n, local.path(), "/", 10));
    rig.queue.SetEntryStatus(0, "Aborted");
    rig.queue.SetEntryStatus(1, "Aborted");
    rig.runner.TransferQueue();
    EXPECT_EQ(QueueNames(), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(rig.queue.Entry(0).Status, "Aborted");
    EXPECT_FALSE(local.exists("a"));
    EXPECT_FALSE(local.exists("b"));
    EXPECT_TRUE(local.exists("c"));
    EXPECT_TRUE(local.exists("d"));
}

TEST_F(RunnerPy, ImmediateDownloadDuringARunOnlyAddsItsEntries) {
    WritePattern(root.file("slow.bin"), 8LL << 20);
    root.writeFile("later1", "L1");
    root.writeFile("later2", "L2");
    Start();
    TPaneContext pane = rig.view.pane;
    pane.LocalFolder = local.path();
    bool added = false;
    int nestedBegins = 0;
    rig.onWork = [&](TWorkMode, int64_t count) {
        if (!added && count > (1 << 20)) {
            added = true;
            const int before = rig.view.sound(TSoundEvent::BeginTransfer);
            rig.runner.DownloadNow(pane, {"later1", "later2"});
            nestedBegins = rig.view.sound(TSoundEvent::BeginTransfer) - before;
        }
    };
    rig.runner.DownloadNow(pane, {"slow.bin"});
    ASSERT_TRUE(added);
    EXPECT_EQ(nestedBegins, 0);
    EXPECT_EQ(rig.runner.LastRunError(), "");
    EXPECT_EQ(CompareFiles(local.file("slow.bin"), root.file("slow.bin")), "");
    // Added at the front, in reverse order, and left for a later run.
    EXPECT_EQ(QueueNames(), (std::vector<std::string>{"later2", "later1"}));
    EXPECT_FALSE(local.exists("later1"));
    // Transfer queue is refused while a run is going on, too.
    rig.onWork = [&](TWorkMode, int64_t) { rig.runner.TransferQueue(); };
    rig.runner.TransferQueue();
    EXPECT_EQ(local.readFile("later1"), "L1");
    EXPECT_EQ(local.readFile("later2"), "L2");
}

TEST_F(RunnerPy, StopWithoutTransferOnlyStopsTheReconnectTimer) {
    rig.runner.Stop();
    EXPECT_EQ(rig.view.reconnectTimerStops, 1);
    EXPECT_EQ(rig.view.sound(TSoundEvent::TransferStopped), 0);
    EXPECT_FALSE(rig.state.StopTransfer);
}

TEST_F(RunnerPy, FiveGiBFileResumesWithSixtyFourBitOffsets) {
    const int64_t size = 5LL << 30, have = size - (512 << 10);
    WriteSparseWithTail(root.file("huge.bin"), size, 1 << 20);
    WriteSparseWithTail(local.file("huge.bin"), have, 512 << 10);
    Start();
    TPaneContext pane = rig.view.pane;
    pane.LocalFolder = local.path();
    ASSERT_EQ(AddRemoteEntry(rig.queue, pane, "huge.bin", -1), 0);
    EXPECT_EQ(rig.queue.Entry(0).FileSize, size);
    rig.questions.ExistsAnswers = {eaResume};
    rig.runner.TransferQueue();
    EXPECT_EQ(rig.runner.LastRunError(), "");
    ASSERT_EQ(rig.questions.ExistsAsked.size(), 1u);
    EXPECT_TRUE(rig.questions.ExistsAsked[0].ResumeEnabled);
    EXPECT_EQ(rig.questions.ExistsAsked[0].OriginalSize, have);
    EXPECT_EQ(rig.sentCount("REST " + std::to_string(have)), 1);
    EXPECT_EQ(FileSize(local.file("huge.bin")), size);
    EXPECT_EQ(rig.lastPercent, 100);
    // The tail (the only non-zero bytes) arrived in place.
    FILE* f = std::fopen(local.file("huge.bin").c_str(), "rb");
    ASSERT_TRUE(f);
    std::string tail(1 << 20, '\0');
    ASSERT_EQ(fseeko(f, size - (1 << 20), SEEK_SET), 0);
    ASSERT_EQ(std::fread(tail.data(), 1, tail.size(), f), tail.size());
    std::fclose(f);
    EXPECT_TRUE(tail == patternBytes(size - (1 << 20), 1 << 20));
}

// ---- Servers with faults

TEST(RunnerFaulty, HostileListingWritesNothingOutsideTheTarget) {
    TempDir root{"orlix-hostile-srv"}, local{"orlix-hostile-local"};
    root.writeFile("hostile/good.txt", "good");
    root.writeFile("hostile/inner/x.txt", "x");
    root.writeFile("evil", "evil at the top");
    local.makeDir("a/b/target");
    FaultyFtpd server(root.path(), {"--hostile"});
    Rig rig;
    rig.Connect(server.port());

    // Offered in the remote pane, the names cannot even be queued.
    TPaneContext pane = rig.view.pane;
    pane.LocalFolder = local.file("a/b/target");
    pane.RemoteRows.push_back({"../evil", 5, false});
    EXPECT_EQ(AddRemoteEntry(rig.queue, pane, "../evil", -1), -1);
    // An entry of such a name from elsewhere (a queue file) does not run and is not lost.
    rig.queue.AppendEntry(Rig::Entry("Download", "../evil", local.file("a/b/target"), "/hostile", 5));
    rig.queue.AppendEntry(Rig::Entry("Download", "hostile", local.file("a/b/target"), "/", -1, true));
    rig.runner.TransferQueue();
    EXPECT_EQ(rig.runner.LastRunError(), "");

    std::vector<std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(local.path()))
        files.push_back(fs::relative(e.path(), local.path()).string());
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files,
              (std::vector<std::string>{"a", "a/b", "a/b/target", "a/b/target/hostile", "a/b/target/hostile/good.txt",
                                        "a/b/target/hostile/inner", "a/b/target/hostile/inner/x.txt"}));
    for (const char* name : {"../evil", "a/b", "a\\b", "../../up"}) EXPECT_TRUE(rig.view.logged(name)) << name;
    for (const auto& s : rig.sent) EXPECT_EQ(s.find("RETR ../"), std::string::npos) << s;
    ASSERT_EQ(rig.queue.QueueCount(), 1);
    EXPECT_EQ(rig.queue.Entry(0).FileName, "../evil");
    EXPECT_EQ(rig.queue.Entry(0).Status, "Failed");
}

// Answers Resume even where the dialog would not offer it.
struct AlwaysResume : ITransferQuestions {
    std::vector<bool> offered;
    int AskFileExists(const std::string&, int64_t, int64_t, bool resumeEnabled) override {
        offered.push_back(resumeEnabled);
        return eaResume;
    }
    std::string AskNewName(const std::string&) override { return {}; }
};

TEST(RunnerFaulty, ResumeOnAServerWithoutRestOverwrites) {
    TempDir root{"orlix-norest-srv"}, local{"orlix-norest-local"};
    WritePattern(root.file("r.bin"), 50000);
    WritePattern(local.file("r.bin"), 20000);
    FaultyFtpd server(root.path(), {"--no-rest"});
    TIdFTP ftp;
    TTransferQueue queue;
    TTransferState state;
    FakeView view(ftp);
    AlwaysResume questions;
    TQueueRunner runner(ftp, queue, state, view, questions);
    ftp.SetHost("127.0.0.1");
    ftp.SetPort(server.port());
    ftp.Username = "tester";
    ftp.Password = "secret";
    ftp.OpenSession();
    view.ListRemoteDirectory("/");

    queue.AppendEntry(Rig::Entry("Download", "r.bin", local.path(), "/", 50000));
    runner.TransferQueue();
    EXPECT_EQ(runner.LastRunError(), "");
    EXPECT_EQ(questions.offered, (std::vector<bool>{false}));
    EXPECT_FALSE(state.DownloadResuming);
    EXPECT_EQ(CompareFiles(local.file("r.bin"), root.file("r.bin")), "");
    EXPECT_EQ(queue.QueueCount(), 0);
}

}  // namespace
