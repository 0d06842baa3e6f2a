// What the runner must never do: replace a file without asking or before the new copy is whole,
// take a cut or refused listing for an empty directory, stay stuck on a refused entry, or call a
// short or wrong file done. Real servers where they behave so, faulty ones for the rest.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>
#include <set>

#include "tests/transfer/test_runner_fixture.h"

using namespace runner_test;

namespace {

class RunnerSafe : public RunnerServerTest {
protected:
    std::string Status(int i) const { return rig.queue.Entry(i).Status; }
};

// Stop while the listing before an upload runs: the remote file is neither judged absent nor
// replaced.
// The pane's listing comes first when it shows another directory, else the runner's own.
TEST_P(RunnerSafe, StopDuringTheListingBeforeAnUploadKeepsTheRemoteFile) {
    root.writeFile("up/keep.txt", "remote original");
    for (int i = 0; i < 300; ++i) root.writeFile("up/pad" + std::to_string(i), "x");
    local.writeFile("keep.txt", "a longer local text that must not replace it");
    Start();
    for (const bool paneThere : {false, true}) {
        SCOPED_TRACE(paneThere);
        rig.view.ListRemoteDirectory(paneThere ? "/up/" : "/");
        rig.queue.RemoveAllEntries();
        AddLocalEntry(rig.queue, local.file("keep.txt"), local.path(), "/up/", -1);
        const int stors = rig.sentCount("STOR");
        bool stopped = false;
        rig.onWork = [&](TWorkMode mode, int64_t) {
            if (!stopped && mode == wkRead && !rig.state.Transferring) {
                stopped = true;
                rig.runner.Stop();
            }
        };
        rig.runner.TransferQueue();
        rig.onWork = nullptr;
        ASSERT_TRUE(stopped);
        EXPECT_EQ(root.readFile("up/keep.txt"), "remote original");
        EXPECT_EQ(rig.sentCount("STOR"), stors);
        EXPECT_EQ(rig.sentCount("APPE"), 0);
        EXPECT_TRUE(rig.questions.ExistsAsked.empty());
        ASSERT_EQ(rig.queue.QueueCount(), 1);
        EXPECT_EQ(Status(0), "Aborted");
        if (!rig.ftp.IsConnected()) rig.Connect();
    }
}

// Refused entries fail with their reason and the run goes on; a reset makes one runnable; a
// broken connection still ends the run and leaves its entry ready.
TEST_P(RunnerSafe, RefusedEntriesFailAndTheRunGoesOn) {
    root.writeFile("ok.txt", "ok");
    Start();
    rig.queue.AppendEntry(Rig::Entry("Download", "missing.txt", local.path(), "/", 5));
    rig.queue.AppendEntry(Rig::Entry("Upload", "nolocal.txt", local.path(), "/", 5));
    rig.queue.AppendEntry(Rig::Entry("Download", "gone-dir", local.path(), "/", -1, true));
    rig.queue.AppendEntry(Rig::Entry("Download", "ok.txt", local.path(), "/", 2));
    rig.runner.TransferQueue();
    EXPECT_EQ(rig.runner.LastRunError(), "");
    EXPECT_EQ(rig.view.reconnects, 0);
    EXPECT_EQ(local.readFile("ok.txt"), "ok");
    ASSERT_EQ(rig.queue.QueueCount(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(Status(i), "Failed") << i;
        EXPECT_NE(rig.queue.Entry(i).Reason, "") << i;
    }
    EXPECT_FALSE(local.exists("missing.txt"));  // no empty copy left to ask about next time
    EXPECT_EQ(rig.view.sound(TSoundEvent::TransferDone), 0);

    root.writeFile("missing.txt", "found");
    server->syncOwnership();
    rig.queue.ResetSelectedStatus(0);
    rig.runner.TransferQueue();
    EXPECT_EQ(local.readFile("missing.txt"), "found");
    ASSERT_EQ(rig.queue.QueueCount(), 2);

    local.writeFile("nolocal.txt", "12345");
    rig.queue.ResetAllStatuses();
    rig.ftp.Disconnect();  // the connection is gone when the run starts
    rig.runner.TransferQueue();
    EXPECT_NE(rig.runner.LastRunError(), "");
    EXPECT_EQ(rig.view.reconnects, 1);
    EXPECT_EQ(Status(0), "Ready");
}

// Overwrite goes through a temporary file: a cut transfer keeps the original, and the next
// Overwrite continues the partial copy.
TEST_P(RunnerSafe, StoppedOverwriteKeepsTheOriginalAndTheNextOneContinues) {
    const int64_t size = 8LL << 20;
    WritePattern(root.file("big.bin"), size);
    local.writeFile("big.bin", "precious");
    Start();
    rig.queue.AppendEntry(Rig::Entry("Download", "big.bin", local.path(), "/", size));
    rig.questions.ExistsAnswers = {eaOverwrite};
    bool stopped = false;
    rig.onWork = [&](TWorkMode mode, int64_t count) {
        if (!stopped && mode == wkRead && rig.state.Transferring && count >= (1 << 20)) {
            stopped = true;
            rig.runner.Stop();
        }
    };
    rig.runner.TransferQueue();
    ASSERT_TRUE(stopped);
    EXPECT_EQ(local.readFile("big.bin"), "precious");
    const std::string part = std::string("big.bin") + TQueueRunner::kPartSuffix;
    ASSERT_TRUE(local.exists(part));
    const int64_t have = FileSize(local.file(part));
    EXPECT_LT(have, size);
    EXPECT_EQ(Status(0), "Aborted");

    rig.queue.ResetSelectedStatus(0);
    rig.questions.ExistsAnswers = {eaOverwrite};
    rig.runner.TransferQueue();
    EXPECT_EQ(rig.runner.LastRunError(), "");
    EXPECT_EQ(rig.sentCount("REST " + std::to_string(have)), 1);
    EXPECT_EQ(CompareFiles(local.file("big.bin"), root.file("big.bin")), "");
    EXPECT_FALSE(local.exists(part));
    EXPECT_EQ(rig.queue.QueueCount(), 0);
}

// Rename proposes a name not taken yet and never replaces one, for single files and inside trees,
// both ways.
TEST_P(RunnerSafe, RenameProposesAFreeNameAndNeverReplaces) {
    struct Case {
        bool upload, tree;
    };
    for (const Case& k : {Case{false, false}, Case{false, true}, Case{true, false}, Case{true, true}}) {
        SCOPED_TRACE(std::to_string(k.upload) + std::to_string(k.tree));
        const std::string dir = "c" + std::to_string(k.upload) + std::to_string(k.tree);
        TempDir& source = k.upload ? local : root;
        TempDir& target = k.upload ? root : local;
        source.writeFile(dir + "/n.txt", "new");
        target.writeFile(dir + "/n.txt", "old");
        target.writeFile(dir + "/n (1).txt", "old 1");
        if (!server) Start();
        server->syncOwnership();
        const std::string base = k.tree ? "" : "/" + dir;
        const std::string name = k.tree ? dir : "n.txt";
        rig.queue.AppendEntry(Rig::Entry(k.upload ? "Upload" : "Download", name,
                                         k.tree ? local.path() : local.file(dir), k.tree ? "/" : base, k.upload ? 3 : 3,
                                         k.tree));
        rig.questions.ExistsAnswers = {eaRename};
        rig.questions.NameAnswers = {"n (1).txt", "n (2).txt"};  // the first is taken: asked again
        rig.questions.NamesProposed.clear();
        rig.runner.TransferQueue();
        EXPECT_EQ(rig.runner.LastRunError(), "");
        EXPECT_EQ(rig.questions.NamesProposed, (std::vector<std::string>{"n (2).txt", "n (2).txt"}));
        EXPECT_EQ(target.readFile(dir + "/n.txt"), "old");
        EXPECT_EQ(target.readFile(dir + "/n (1).txt"), "old 1");
        EXPECT_EQ(target.readFile(dir + "/n (2).txt"), "new");
        EXPECT_EQ(rig.queue.QueueCount(), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Servers, RunnerSafe, ::testing::Values(FtpServerKind::Pyftpdlib, FtpServerKind::Vsftpd),
                         [](const auto& info) { return std::string(FtpServerProcess::name(info.param)); });

// ---- Servers that refuse, cut short or lie

TEST(RunnerSafeFaulty, RefusedListingsAndShortOrWrongFilesFailTheirEntry) {
    TempDir root{"orlix-safe-srv"}, local{"orlix-safe-local"}, data{"orlix-safe-data"};
    root.writeFile("locked/keep.txt", "remote original");
    root.writeFile("tree/lockedsub/f.txt", "remote f");
    root.writeFile("dl/a.txt", "a");
    root.writeFile("dl/lockedsub/b.txt", "b");
    WritePattern(root.file("refused.bin"), 5000);
    WritePattern(root.file("short.bin"), 5000);
    WritePattern(root.file("shortnew.bin"), 5000);
    root.writeFile("ok.txt", "ok");
    local.writeFile("keep.txt", "local new text");
    local.writeFile("tree/lockedsub/f.txt", "local f");
    local.writeFile("refused.bin", "precious r");
    local.writeFile("short.bin", "precious s");
    FaultyFtpd server(root.path(), {"--refuse-list", "locked", "--refuse-retr", "refused", "--short-retr", "short"});
    Rig rig;
    rig.runner.SetDataDir(data.path());
    rig.Connect(server.port());

    struct Case {
        TQueueInfo entry;
        const char* reason;
    } cases[] = {
        {Rig::Entry("Upload", "keep.txt", local.path(), "/locked", 14), "Listing of"},
        {Rig::Entry("Upload", "keep.txt", local.path(), "/locked", -1, true), "Listing of"},
        {Rig::Entry("Upload", "tree", local.path(), "/", -1, true), "Listing of"},
        {Rig::Entry("Download", "dl", local.path(), "/", -1, true), "Listing of"},
        {Rig::Entry("Download", "refused.bin", local.path(), "/", 5000), "550"},
        {Rig::Entry("Download", "short.bin", local.path(), "/", 5000), "Size check failed"},
        {Rig::Entry("Download", "shortnew.bin", local.path(), "/", 5000), "Size check failed"},
    };
    for (const Case& c : cases) rig.queue.AppendEntry(c.entry);
    rig.queue.AppendEntry(Rig::Entry("Download", "ok.txt", local.path(), "/", 2));
    rig.questions.ExistsAnswers = {eaOverwrite, eaOverwrite};
    rig.runner.TransferQueue();

    EXPECT_EQ(rig.runner.LastRunError(), "");
    EXPECT_EQ(local.readFile("ok.txt"), "ok");
    ASSERT_EQ(rig.queue.QueueCount(), static_cast<int>(std::size(cases)));
    for (int i = 0; i < rig.queue.QueueCount(); ++i) {
        EXPECT_EQ(rig.queue.Entry(i).Status, "Failed") << i;
        EXPECT_NE(rig.queue.Entry(i).Reason.find(cases[i].reason), std::string::npos) << i << rig.queue.Entry(i).Reason;
    }
    EXPECT_EQ(root.readFile("locked/keep.txt"), "remote original");
    EXPECT_EQ(root.readFile("tree/lockedsub/f.txt"), "remote f");
    EXPECT_EQ(rig.sentCount("STOR"), 0);
    EXPECT_EQ(local.readFile("refused.bin"), "precious r");
    EXPECT_EQ(local.readFile("short.bin"), "precious s");
    EXPECT_EQ(FileSize(local.file(std::string("short.bin") + TQueueRunner::kPartSuffix)), 2500);  // kept for Resume
    EXPECT_EQ(FileSize(local.file("shortnew.bin")), 2500);
    EXPECT_EQ(rig.view.sound(TSoundEvent::TransferDone), 0);
}

TEST(RunnerSafeFaulty, AServerThatLiesAboutTheHashFailsTheEntry) {
    TempDir root{"orlix-safe-srv"}, local{"orlix-safe-local"};
    WritePattern(root.file("h.bin"), 3000);
    FaultyFtpd server(root.path(), {"--hash-lie"});
    Rig rig;
    rig.Connect(server.port());
    rig.queue.AppendEntry(Rig::Entry("Download", "h.bin", local.path(), "/", 3000));
    rig.runner.TransferQueue();
    ASSERT_EQ(rig.queue.QueueCount(), 1);
    EXPECT_EQ(rig.queue.Entry(0).Status, "Failed");
    EXPECT_NE(rig.queue.Entry(0).Reason.find("Hash check (SHA-256) failed"), std::string::npos)
        << rig.queue.Entry(0).Reason;
    EXPECT_EQ(FileSize(local.file("h.bin")), 3000);
}

// Half the file, 226, and the connection gone before the size can be asked: the entry is not done,
// and an overwritten original is still whole.
TEST(RunnerSafeFaulty, AConnectionLostAfterAShortTransferLeavesTheEntry) {
    for (const bool existing : {false, true}) {
        SCOPED_TRACE(existing);
        TempDir root{"orlix-safe-srv"}, local{"orlix-safe-local"};
        WritePattern(root.file("drop.bin"), 6000);
        if (existing) local.writeFile("drop.bin", "precious");
        FaultyFtpd server(root.path(), {"--drop-retr", "drop"});
        Rig rig;
        rig.Connect(server.port());
        rig.queue.AppendEntry(Rig::Entry("Download", "drop.bin", local.path(), "/", 6000));
        rig.questions.ExistsAnswers = {eaOverwrite};
        rig.runner.TransferQueue();
        EXPECT_NE(rig.runner.LastRunError(), "");
        ASSERT_EQ(rig.queue.QueueCount(), 1);
        EXPECT_EQ(rig.queue.Entry(0).Status, "Ready");
        EXPECT_EQ(rig.view.sound(TSoundEvent::TransferDone), 0);
        if (existing)
            EXPECT_EQ(local.readFile("drop.bin"), "precious");
        else
            EXPECT_EQ(FileSize(local.file("drop.bin")), 3000);  // kept for Resume
    }
}

// ProFTPD with its digest module offers HASH: both directions are checked and logged.
TEST(RunnerSafeDigest, ProftpdHashIsCheckedBothWays) {
    ORLIX_SKIP_UNLESS_FTP_SERVER(FtpServerKind::Proftpd);
    TempDir root{"orlix-safe-srv"}, local{"orlix-safe-local"}, data{"orlix-safe-data"};
    WritePattern(root.file("d.bin"), 70000);
    WritePattern(local.file("u.bin"), 50000, 7);
    auto server = FtpServerProcess::start(FtpServerKind::Proftpd, root.path(), FtpServerOptions{.digest = true});
    ASSERT_TRUE(server);
    Rig rig;
    rig.runner.SetDataDir(data.path());
    rig.Connect(server->port());
    rig.queue.AppendEntry(Rig::Entry("Download", "d.bin", local.path(), "/", 70000));
    AddLocalEntry(rig.queue, local.file("u.bin"), local.path(), "/", -1);
    rig.runner.TransferQueue();
    EXPECT_EQ(rig.runner.LastRunError(), "");
    EXPECT_EQ(rig.queue.QueueCount(), 0) << (rig.queue.QueueCount() ? rig.queue.Entry(0).Reason : "");
    EXPECT_TRUE(rig.view.logged("Hash check (")) << ::testing::PrintToString(rig.view.log);
    EXPECT_EQ(rig.sentCount("HASH "), 2);
    EXPECT_EQ(CompareFiles(local.file("u.bin"), root.file("u.bin")), "");
}

// ---- Stop at random moments

// Answers at random, and sometimes presses Stop while the question is open.
struct RandomQuestions : ITransferQuestions {
    std::mt19937& rng;
    TQueueRunner* runner = nullptr;
    std::set<std::string> overwrite, resume;  // labels so answered
    std::function<void()> onOverwrite;
    explicit RandomQuestions(std::mt19937& r) : rng(r) {}
    int AskFileExists(const std::string& label, int64_t, int64_t, bool resumeEnabled) override {
        std::vector<int> answers{eaOverwrite, eaRename, eaSkip};
        if (resumeEnabled) answers.push_back(eaResume);
        const int a = answers[rng() % answers.size()];
        if (a == eaOverwrite) overwrite.insert(label);
        if (a == eaOverwrite && onOverwrite) onOverwrite();
        if (a == eaResume) resume.insert(label);
        if (rng() % 32 == 0) runner->Stop();
        return a;
    }
    std::string AskNewName(const std::string&) override { return {}; }
    std::string AskFreeName(const std::string&, const std::string& proposed) override { return proposed; }
};

// Every file that existed before the run: unchanged, or replaced by the whole new copy after an
// Overwrite, or (after Resume) extended with the right bytes.
TEST(RunnerSafeTrial, StopAtRandomMomentsLosesNoExistingFile) {
    ORLIX_SKIP_UNLESS_FTP_SERVER(FtpServerKind::Vsftpd);
    TempDir root{"orlix-trial-srv"}, local{"orlix-trial-local"}, data{"orlix-trial-data"};
    auto server = FtpServerProcess::start(FtpServerKind::Vsftpd, root.path());
    ASSERT_TRUE(server);
    for (unsigned seed = 1; seed <= 50; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 rng(seed);
        removeTree(root.file("t"));
        removeTree(local.file("t"));
        root.makeDir("t");
        local.makeDir("t");
        // Large enough for stops inside transfers: a whole run reports about 130 work events.
        auto size = [&] { return static_cast<int64_t>(4096 + rng() % 400000); };
        // name -> (source, target) per entry; both sides get some files beforehand.
        struct Pre {
            std::string path, bytes, source;  // source: the file that would replace it
            bool remote;
            std::string label;  // what the question names it
        };
        std::vector<Pre> pre;
        std::vector<TQueueInfo> entries;
        for (int i = 0; i < 20; ++i) {
            const std::string n = "f" + std::to_string(i);
            const bool upload = rng() % 2, folder = i % 5 == 4, exists = rng() % 3 != 0;
            TempDir& src = upload ? local : root;
            TempDir& dst = upload ? root : local;
            const std::string rel = folder ? "t/" + n + "/in.bin" : "t/" + n;
            WritePattern(src.file(rel), size(), i);
            if (exists) {
                // Sometimes a true prefix (resumable), sometimes other bytes.
                if (rng() % 2)
                    WritePattern(dst.file(rel), 1000 + rng() % 3000, i);
                else
                    dst.writeFile(rel, std::string(2000 + rng() % 3000, 'o'));
                const std::string label = !folder ? n : upload ? local.file(rel) : "in.bin";
                pre.push_back({rel, dst.readFile(rel), src.file(rel), upload, label});
            }
            entries.push_back(Rig::Entry(upload ? "Upload" : "Download", folder ? n : n, local.file("t"), "/t",
                                         folder ? -1 : FileSize(src.file(rel)), folder));
        }
        server->syncOwnership();
        Rig rig;
        RandomQuestions questions(rng);
        TQueueRunner runner(rig.ftp, rig.queue, rig.state, rig.view, questions);
        questions.runner = &runner;
        runner.SetDataDir(data.path());
        rig.ftp.OnWorkBegin = [&](TIdComponent*, TWorkMode, int64_t) { runner.WorkBegin(); };
        rig.ftp.OnWorkEnd = [&](TIdComponent*, TWorkMode) { runner.WorkEnd(); };
        int stopAt = static_cast<int>(rng() % 150);
        int events = 0;
        // Half the Overwrites are stopped a few work events in: the original must survive.
        questions.onOverwrite = [&] {
            if (rng() % 2) stopAt = events + 1 + static_cast<int>(rng() % 4);
        };
        rig.ftp.OnWork = [&](TIdComponent*, TWorkMode, int64_t) {
            if (++events == stopAt) runner.Stop();
            runner.AbortIfStopped();
        };
        rig.Connect(server->port());
        for (const auto& e : entries) rig.queue.AppendEntry(e);
        runner.TransferQueue();

        for (const Pre& p : pre) {
            TempDir& dst = p.remote ? root : local;
            ASSERT_TRUE(dst.exists(p.path)) << p.path;
            const std::string now = dst.readFile(p.path);
            if (now == p.bytes) continue;
            const bool overwritten = questions.overwrite.count(p.label), resumed = questions.resume.count(p.label);
            std::string source;
            {
                std::ifstream in(p.source, std::ios::binary);
                source.assign(std::istreambuf_iterator<char>(in), {});
            }
            if (now == source && (overwritten || resumed)) continue;  // an Overwrite (or Resume) that completed
            // A Resume (stopped or not): the old bytes stay, new ones follow.
            EXPECT_TRUE(resumed && now.size() > p.bytes.size() && now.compare(0, p.bytes.size(), p.bytes) == 0)
                << p.path << " changed: " << now.size() << " bytes, was " << p.bytes.size()
                << (overwritten ? ", answered Overwrite"
                    : resumed   ? ", answered Resume"
                                : ", not asked");
        }
    }
}

// A file past 2 GiB (sparse on the server) arrives whole and is checked by its size.
TEST(RunnerSafeLong, TwoGiBSparseDownloadIsVerifiedBySize) {
    ORLIX_SKIP_UNLESS_FTP_SERVER(FtpServerKind::Vsftpd);
    TempDir root{"orlix-2g-srv"}, local{"orlix-2g-local"};
    const int64_t size = (2LL << 30) + 4096;
    WriteSparseWithTail(root.file("two.bin"), size, 4096);
    auto server = FtpServerProcess::start(FtpServerKind::Vsftpd, root.path());
    ASSERT_TRUE(server);
    Rig rig;
    rig.Connect(server->port());
    rig.queue.AppendEntry(Rig::Entry("Download", "two.bin", local.path(), "/", size));
    rig.runner.TransferQueue();
    EXPECT_EQ(rig.runner.LastRunError(), "");
    EXPECT_EQ(rig.queue.QueueCount(), 0);
    EXPECT_EQ(FileSize(local.file("two.bin")), size);
    EXPECT_EQ(rig.sentCount("SIZE /two.bin"), 1);
    EXPECT_FALSE(rig.view.logged("not checked"));
}

}  // namespace
