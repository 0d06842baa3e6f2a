// The queue runner against real servers: whole trees both ways, the answers to the file-exists
// question for single files and for all files of a run, and Stop followed by a resumed download.

#include <gtest/gtest.h>

#include "tests/support/tcp_relay.h"
#include "tests/transfer/test_runner_fixture.h"

using namespace runner_test;

namespace {

class RunnerReal : public RunnerServerTest {};

// Three levels, 50 files: an empty one, names with spaces, one of 100 MiB.
void MakeTree(TempDir& dir, const std::string& base) {
    const std::vector<std::pair<std::string, int>> folders = {
        {base, 9}, {base + "/sub one", 15}, {base + "/sub2", 10}, {base + "/sub one/deep dir", 15}};
    int n = 0;
    for (const auto& [folder, count] : folders) {
        dir.makeDir(folder);
        for (int i = 0; i < count; ++i, ++n) {
            const std::string name = (i % 3 == 0 ? "file with spaces " : "f") + std::to_string(i) + ".dat";
            WritePattern(dir.file(folder + "/" + name), (n * 7919) % 70000, n * 13);
        }
    }
    dir.writeFile(base + "/empty.txt", "");
    WritePattern(dir.file(base + "/big.bin"), 100LL << 20);
}

TEST_P(RunnerReal, FolderTreeDownloadsAndUploadsByteIdentical) {
    MakeTree(root, "tree");
    root.makeDir("copy");
    local.makeDir("dl");
    Start();

    rig.queue.AppendEntry(Rig::Entry("Download", "tree", local.file("dl"), "/", -1, true));
    rig.runner.TransferQueue();
    EXPECT_EQ(rig.runner.LastRunError(), "");
    EXPECT_EQ(rig.queue.QueueCount(), 0);
    EXPECT_EQ(CompareTrees(root.file("tree"), local.file("dl/tree")), "");
    EXPECT_EQ(rig.view.sound(TSoundEvent::BeginTransfer), 1);
    EXPECT_EQ(rig.view.sound(TSoundEvent::TransferDone), 1);
    EXPECT_EQ(rig.ftp.WorkingDir(), "/");
    EXPECT_TRUE(rig.view.remoteCommandsEnabled);
    EXPECT_FALSE(rig.view.stopEnabled);
    EXPECT_FALSE(rig.state.Transferring);
    EXPECT_FALSE(rig.state.RunActive);

    removeTree(root.file("tree/big.bin"));  // no second copy needed on the server side
    rig.queue.AppendEntry(Rig::Entry("Upload", "tree", local.file("dl"), "/copy/", -1, true));
    rig.runner.TransferQueue();
    EXPECT_EQ(rig.runner.LastRunError(), "");
    EXPECT_EQ(rig.queue.QueueCount(), 0);
    EXPECT_EQ(CompareTrees(local.file("dl/tree"), root.file("copy/tree")), "");
    EXPECT_EQ(rig.view.sound(TSoundEvent::BeginTransfer), 2);
    EXPECT_EQ(rig.view.sound(TSoundEvent::TransferDone), 2);
    EXPECT_TRUE(rig.questions.ExistsAsked.empty());
}

// Single downloads onto existing local files, one answer each.
TEST_P(RunnerReal, DownloadConflictsOneAnswerEach) {
    for (const char* n : {"o.txt", "r.txt", "n.txt", "s.txt"}) WritePattern(root.file(std::string("c/") + n), 10000);
    local.writeFile("o.txt", std::string(20000, 'o'));  // bigger: no resume offered
    WritePattern(local.file("r.txt"), 4000);            // a true prefix
    local.writeFile("n.txt", "old n");
    local.writeFile("s.txt", "old s");
    Start();

    for (const char* n : {"o.txt", "r.txt", "n.txt", "s.txt"})
        rig.queue.AppendEntry(Rig::Entry("Download", n, local.path(), "/c", 10000));
    rig.questions.ExistsAnswers = {eaOverwrite, eaResume, eaRename, eaSkip};
    rig.questions.NameAnswers = {"n2.txt"};
    rig.runner.TransferQueue();
    ASSERT_EQ(rig.runner.LastRunError(), "");

    ASSERT_EQ(rig.questions.ExistsAsked.size(), 4u);
    EXPECT_FALSE(rig.questions.ExistsAsked[0].ResumeEnabled);
    EXPECT_EQ(rig.questions.ExistsAsked[0].OriginalSize, 20000);
    EXPECT_EQ(rig.questions.ExistsAsked[0].NewSize, 10000);
    EXPECT_TRUE(rig.questions.ExistsAsked[1].ResumeEnabled);
    EXPECT_EQ(rig.questions.NamesAsked, (std::vector<std::string>{"n.txt"}));
    EXPECT_EQ(CompareFiles(local.file("o.txt"), root.file("c/o.txt")), "");
    EXPECT_EQ(CompareFiles(local.file("r.txt"), root.file("c/r.txt")), "");
    EXPECT_EQ(rig.sentCount("REST 4000"), 1);
    EXPECT_EQ(local.readFile("n.txt"), "old n");
    EXPECT_EQ(CompareFiles(local.file("n2.txt"), root.file("c/n.txt")), "");
    EXPECT_EQ(local.readFile("s.txt"), "old s");
    // Skipped and renamed entries count as finished.
    EXPECT_EQ(rig.queue.QueueCount(), 0);
    EXPECT_EQ(rig.state.ExistsAction, 0);
}

// A folder download whose three files all exist locally: one answer for all, then the next run
// asks again.
TEST_P(RunnerReal, DownloadConflictsForAll) {
    for (const char* n : {"a", "b", "c"}) WritePattern(root.file(std::string("all/") + n), 9000, 5);
    Start();
    struct Case {
        int answer;
        std::vector<std::string> names;
    };
    for (const Case& k : {Case{eaOverwriteAll, {}}, Case{eaResumeAll, {}}, Case{eaRenameAll, {"a1", "b1", "c1"}},
                          Case{eaSkipAll, {}}}) {
        SCOPED_TRACE(k.answer);
        removeTree(local.file("all"));
        for (const char* n : {"a", "b", "c"}) WritePattern(local.file(std::string("all/") + n), 3000, 5);
        rig.questions.ExistsAsked.clear();
        rig.questions.NamesAsked.clear();
        rig.questions.ExistsAnswers = {k.answer};
        rig.questions.NameAnswers = {k.names.begin(), k.names.end()};
        rig.queue.AppendEntry(Rig::Entry("Download", "all", local.path(), "/", -1, true));
        rig.runner.TransferQueue();
        ASSERT_EQ(rig.runner.LastRunError(), "");
        EXPECT_EQ(rig.questions.ExistsAsked.size(), 1u);
        EXPECT_TRUE(rig.questions.ExistsAsked[0].ResumeEnabled);
        for (const char* n : {"a", "b", "c"}) {
            const std::string l = local.file(std::string("all/") + n), r = root.file(std::string("all/") + n);
            if (k.answer == eaSkipAll || k.answer == eaRenameAll) {
                EXPECT_EQ(FileSize(l), 3000) << n;
            } else {
                EXPECT_EQ(CompareFiles(l, r), "") << n;
            }
            if (k.answer == eaRenameAll) {
                EXPECT_EQ(CompareFiles(local.file(std::string("all/") + n + "1"), r), "") << n;
            }
        }
        EXPECT_EQ(rig.queue.QueueCount(), 0);
    }
}

// Single uploads onto existing remote files, one answer each.
TEST_P(RunnerReal, UploadConflictsOneAnswerEach) {
    for (const char* n : {"o.txt", "r.txt", "n.txt", "s.txt"}) WritePattern(local.file(n), 10000);
    root.writeFile("u/o.txt", std::string(20000, 'o'));
    WritePattern(root.file("u/r.txt"), 4000);
    root.writeFile("u/n.txt", "old n");
    root.writeFile("u/s.txt", "old s");
    Start();

    for (const char* n : {"o.txt", "r.txt", "n.txt", "s.txt"})
        AddLocalEntry(rig.queue, local.file(n), local.path(), "/u", -1);
    rig.questions.ExistsAnswers = {eaOverwrite, eaResume, eaRename, eaSkip};
    rig.questions.NameAnswers = {"n2.txt"};
    rig.runner.TransferQueue();
    ASSERT_EQ(rig.runner.LastRunError(), "");
    ASSERT_EQ(rig.questions.ExistsAsked.size(), 4u);
    EXPECT_FALSE(rig.questions.ExistsAsked[0].ResumeEnabled);
    EXPECT_EQ(rig.questions.ExistsAsked[0].OriginalSize, 20000);
    EXPECT_TRUE(rig.questions.ExistsAsked[1].ResumeEnabled);
    EXPECT_EQ(CompareFiles(local.file("o.txt"), root.file("u/o.txt")), "");
    EXPECT_EQ(CompareFiles(local.file("r.txt"), root.file("u/r.txt")), "");
    EXPECT_EQ(root.readFile("u/n.txt"), "old n");
    EXPECT_EQ(CompareFiles(local.file("n.txt"), root.file("u/n2.txt")), "");
    EXPECT_EQ(root.readFile("u/s.txt"), "old s");
    EXPECT_EQ(rig.sentCount("APPE "), 1);
    EXPECT_FALSE(data.exists(TQueueRunner::kScratchFileName));
    EXPECT_EQ(rig.queue.QueueCount(), 0);
}

TEST_P(RunnerReal, UploadConflictsForAll) {
    for (const char* n : {"a", "b", "c"}) WritePattern(local.file(std::string("all/") + n), 9000, 3);
    root.makeDir("up");
    Start();
    struct Case {
        int answer;
        std::vector<std::string> names;
    };
    for (const Case& k : {Case{eaOverwriteAll, {}}, Case{eaResumeAll, {}}, Case{eaRenameAll, {"a1", "b1", "c1"}},
                          Case{eaSkipAll, {}}}) {
        SCOPED_TRACE(k.answer);
        removeTree(root.file("up/all"));
        for (const char* n : {"a", "b", "c"}) WritePattern(root.file(std::string("up/all/") + n), 3000, 3);
        server->syncOwnership();
        rig.questions.ExistsAsked.clear();
        rig.questions.NamesAsked.clear();
        rig.questions.ExistsAnswers = {k.answer};
        rig.questions.NameAnswers = {k.names.begin(), k.names.end()};
        AddLocalEntry(rig.queue, local.file("all"), local.path(), "/up/", -1);
        rig.runner.TransferQueue();
        ASSERT_EQ(rig.runner.LastRunError(), "");
        ASSERT_EQ(rig.questions.ExistsAsked.size(), 1u);
        EXPECT_TRUE(rig.questions.ExistsAsked[0].ResumeEnabled);
        EXPECT_EQ(rig.questions.ExistsAsked[0].NameLabel, local.file("all/a"));
        for (const char* n : {"a", "b", "c"}) {
            const std::string l = local.file(std::string("all/") + n), r = root.file(std::string("up/all/") + n);
            if (k.answer == eaSkipAll || k.answer == eaRenameAll) {
                EXPECT_EQ(FileSize(r), 3000) << n;
            } else {
                EXPECT_EQ(CompareFiles(l, r), "") << n;
            }
            if (k.answer == eaRenameAll) {
                EXPECT_EQ(CompareFiles(l, r + "1"), "") << n;
            }
        }
        if (k.answer == eaRenameAll) {
            EXPECT_EQ(rig.questions.NamesAsked.front(), "a");
        }
        EXPECT_EQ(rig.queue.QueueCount(), 0);
    }
}

TEST_P(RunnerReal, StopLeavesAbortedEntryAndPartialFileThenResumeCompletes) {
    const int64_t size = 200LL << 20;
    WritePattern(root.file("big/f200.bin"), size);
    Start();
    rig.queue.AppendEntry(Rig::Entry("Download", "f200.bin", local.path(), "/big", size));
    bool stopped = false;
    rig.onWork = [&](TWorkMode mode, int64_t count) {
        if (mode == wkRead && count >= (32LL << 20) && !stopped) {
            stopped = true;
            rig.runner.Stop();
        }
    };
    rig.runner.TransferQueue();
    ASSERT_TRUE(stopped);
    EXPECT_EQ(rig.runner.LastRunError(), "");
    EXPECT_EQ(rig.view.reconnects, 0);
    ASSERT_EQ(rig.queue.QueueCount(), 1);
    EXPECT_EQ(rig.queue.Entry(0).Status, "Aborted");
    const int64_t partial = FileSize(local.file("f200.bin"));
    EXPECT_GE(partial, 32LL << 20);
    EXPECT_LT(partial, size);
    EXPECT_EQ(ComparePrefix(local.file("f200.bin"), root.file("big/f200.bin")), "");
    EXPECT_EQ(rig.view.sound(TSoundEvent::BeginTransfer), 1);
    EXPECT_EQ(rig.view.sound(TSoundEvent::TransferStopped), 1);
    EXPECT_EQ(rig.view.sound(TSoundEvent::TransferDone), 0);
    EXPECT_FALSE(rig.state.RunActive);

    // "Aborted" entries are passed over until their status is reset.
    rig.onWork = nullptr;
    rig.runner.TransferQueue();
    EXPECT_EQ(rig.queue.QueueCount(), 1);
    EXPECT_TRUE(rig.questions.ExistsAsked.empty());

    rig.queue.ResetAllStatuses();
    rig.questions.ExistsAnswers = {eaResume};
    rig.runner.TransferQueue();
    EXPECT_EQ(rig.runner.LastRunError(), "");
    ASSERT_EQ(rig.questions.ExistsAsked.size(), 1u);
    EXPECT_TRUE(rig.questions.ExistsAsked[0].ResumeEnabled);
    EXPECT_EQ(rig.questions.ExistsAsked[0].OriginalSize, partial);
    EXPECT_EQ(rig.sentCount("REST " + std::to_string(partial)), 1);
    EXPECT_EQ(CompareFiles(local.file("f200.bin"), root.file("big/f200.bin")), "");
    EXPECT_EQ(rig.queue.QueueCount(), 0);
    EXPECT_EQ(rig.lastPercent, 100);
    EXPECT_EQ(rig.view.sound(TSoundEvent::TransferDone), 2);  // the empty pass counted as a run too
    EXPECT_EQ(rig.view.sound(TSoundEvent::TransferStopped), 1);
}

INSTANTIATE_TEST_SUITE_P(Servers, RunnerReal, ::testing::Values(FtpServerKind::Pyftpdlib, FtpServerKind::Vsftpd),
                         [](const auto& info) { return std::string(FtpServerProcess::name(info.param)); });

// A tree comes down from a server on ::1 as from one on 127.0.0.1, and the log names the address.
class RunnerIpv6 : public ::testing::TestWithParam<FtpServerKind> {};

TEST_P(RunnerIpv6, FolderTreeDownloadsByteIdentical) {
    ORLIX_SKIP_UNLESS_FTP_SERVER(GetParam());
    TempDir root{"orlix-v6-srv"}, local{"orlix-v6-local"}, data{"orlix-v6-data"};
    root.writeFile("tree/a.txt", "aaa");
    root.writeFile("tree/sub/b.bin", std::string(300000, 'b'));
    root.makeDir("tree/sub/empty");
    local.makeDir("dl");
    FtpServerOptions options;
    options.ipv6 = true;
    auto server = FtpServerProcess::start(GetParam(), root.path(), options);
    ASSERT_TRUE(server);
    Rig rig;
    std::vector<std::string> statuses;
    rig.ftp.OnStatus = [&](TIdComponent*, TIdStatus, const std::string& text) { statuses.push_back(text); };
    rig.host = "::1";
    rig.runner.SetDataDir(data.path());
    rig.Connect(server->port());
    EXPECT_NE(std::find(statuses.begin(), statuses.end(), "Connecting to ::1."), statuses.end())
        << ::testing::PrintToString(statuses);

    rig.queue.AppendEntry(Rig::Entry("Download", "tree", local.file("dl"), "/", -1, true));
    rig.runner.TransferQueue();
    EXPECT_EQ(rig.runner.LastRunError(), "");
    EXPECT_EQ(rig.queue.QueueCount(), 0);
    EXPECT_EQ(CompareTrees(root.file("tree"), local.file("dl/tree")), "");
    EXPECT_GT(rig.sentCount("EPSV") + rig.sentCount("EPRT"), 0);
    EXPECT_EQ(rig.sentCount("PASV") + rig.sentCount("PORT "), 0);
}

INSTANTIATE_TEST_SUITE_P(Servers, RunnerIpv6,
                         ::testing::Values(FtpServerKind::Pyftpdlib, FtpServerKind::Vsftpd, FtpServerKind::PureFtpd),
                         [](const auto& info) { return FtpServerProcess::testName(info.param); });

// Links and names a tree holds, on every server: a link to a folder never comes down as a file
// (nor loops, through a link back up), a link to a file comes down as the file, and names in UTF-8
// or in bytes that are not UTF-8 go both ways unchanged.
class RunnerTreeNames : public ::testing::TestWithParam<FtpServerKind> {};

TEST_P(RunnerTreeNames, LinksAndNamesOfATree) {
    ORLIX_SKIP_UNLESS_FTP_SERVER(GetParam());
    // pyftpdlib replaces bytes that are not UTF-8 in names, so such a name cannot live there.
    const bool rawNames = GetParam() != FtpServerKind::Pyftpdlib;
    const std::string utf8 =
        "\xc3\xbc"
        "ber \xe2\x98\x83.txt";
    const std::string latin1 = "caf\xe9.txt";
    TempDir root{"orlix-names-srv"}, local{"orlix-names-local"}, data{"orlix-names-data"};
    root.writeFile("tree/a.txt", "aaa");
    root.writeFile("tree/real/x.txt", "xx");
    root.writeFile("tree/" + utf8, "snow");
    if (rawNames) root.writeFile("tree/" + latin1, "latin");
    ASSERT_EQ(::symlink("real", root.file("tree/dirlink").c_str()), 0);
    ASSERT_EQ(::symlink("a.txt", root.file("tree/filelink").c_str()), 0);
    ASSERT_EQ(::symlink("..", root.file("tree/real/up").c_str()), 0);
    root.writeFile("keep/k.txt", "kept");
    ASSERT_EQ(::symlink("../keep", root.file("tree/outlink").c_str()), 0);
    local.makeDir("dl");
    auto server = FtpServerProcess::start(GetParam(), root.path());
    ASSERT_TRUE(server);
    Rig rig;
    rig.runner.SetDataDir(data.path());
    rig.Connect(server->port());

    rig.queue.AppendEntry(Rig::Entry("Download", "tree", local.file("dl"), "/", -1, true));
    rig.runner.TransferQueue();
    EXPECT_EQ(rig.runner.LastRunError(), "");
    EXPECT_EQ(local.readFile("dl/tree/real/x.txt"), "xx");
    EXPECT_EQ(local.readFile("dl/tree/filelink"), "aaa");
    EXPECT_EQ(local.readFile("dl/tree/" + utf8), "snow");
    if (rawNames) {
        EXPECT_EQ(local.readFile("dl/tree/" + latin1), "latin");
    }
    struct stat st {};
    if (::lstat(local.file("dl/tree/dirlink").c_str(), &st) == 0) {
        EXPECT_TRUE(S_ISDIR(st.st_mode));
    }
    EXPECT_EQ(rig.ftp.WorkingDir(), "/");
    EXPECT_NE(std::find(rig.view.log.begin(), rig.view.log.end(), "Skipped /tree/dirlink: link to a folder"),
              rig.view.log.end());

    // Deleting the tree removes the links, never what they point to.
    const TRemoteDeleteResult removed = DeleteRemoteTree(rig.ftp, "/", "tree", true);
    EXPECT_TRUE(removed.Ok) << removed.Error;
    EXPECT_FALSE(root.exists("tree"));
    EXPECT_EQ(root.readFile("keep/k.txt"), "kept");

    std::vector<std::string> names = {utf8};
    if (rawNames) names.push_back(latin1);
    for (const std::string& name : names) {
        local.writeFile("up/" + name, "up " + name);
        rig.ftp.Put(local.file("up/" + name), "/" + name);
        EXPECT_EQ(root.readFile(name), "up " + name);
    }
    rig.ftp.List(nullptr);
    std::vector<std::string> listed;
    for (int i = 0; i < rig.ftp.ParsedListing().Count(); ++i)
        listed.push_back(rig.ftp.ParsedListing().Items(i).ItemName);
    for (const std::string& name : names)
        EXPECT_NE(std::find(listed.begin(), listed.end(), name), listed.end()) << name;
}

INSTANTIATE_TEST_SUITE_P(Servers, RunnerTreeNames,
                         ::testing::Values(FtpServerKind::Pyftpdlib, FtpServerKind::Vsftpd, FtpServerKind::Proftpd,
                                           FtpServerKind::PureFtpd),
                         [](const auto& info) { return FtpServerProcess::testName(info.param); });

// A small tree down, up again and removed over TLS on every server in both modes, through the
// runner and the window's delete; the control connection runs through a recording relay that
// must never see the login in clear.
class RunnerTls : public ::testing::TestWithParam<std::tuple<FtpServerKind, bool>> {};

TEST_P(RunnerTls, TreeBothWaysAndDeleteEncrypted) {
    const auto [kind, passive] = GetParam();
    ORLIX_SKIP_UNLESS_FTP_SERVER(kind);
    TempDir root{"orlix-tls-srv"}, local{"orlix-tls-local"}, data{"orlix-tls-data"};
    root.writeFile("tree/a.txt", "aaa");
    WritePattern(root.file("tree/sub/b.bin"), 300000, 3);
    WritePattern(root.file("tree/sub/c.bin"), 70000, 5);
    root.makeDir("tree/empty");
    root.makeDir("copy");
    local.makeDir("dl");
    FtpServerOptions o;
    o.tls = FtpServerTls::Explicit;
    o.caSigned = true;
    auto server = FtpServerProcess::start(kind, root.path(), o);
    ASSERT_TRUE(server);
    TcpRelay relay(server->port());
    Rig rig;
    rig.user = server->user();
    rig.password = server->password();
    rig.ftp.Encryption = TFtpEncryption::Explicit;
    rig.ftp.Tls.CaFile = server->caFile();
    rig.ftp.Passive = passive;
    rig.runner.SetDataDir(data.path());
    rig.Connect(relay.port());
    ASSERT_TRUE(rig.ftp.Encrypted());
    EXPECT_TRUE(rig.ftp.DataProtected());

    rig.queue.AppendEntry(Rig::Entry("Download", "tree", local.file("dl"), "/", -1, true));
    rig.runner.TransferQueue();
    EXPECT_EQ(rig.runner.LastRunError(), "");
    EXPECT_EQ(CompareTrees(root.file("tree"), local.file("dl/tree")), "");

    rig.queue.AppendEntry(Rig::Entry("Upload", "tree", local.file("dl"), "/copy/", -1, true));
    rig.runner.TransferQueue();
    EXPECT_EQ(rig.runner.LastRunError(), "");
    EXPECT_EQ(rig.queue.QueueCount(), 0);
    EXPECT_EQ(CompareTrees(local.file("dl/tree"), root.file("copy/tree")), "");

    const TRemoteDeleteResult removed = DeleteRemoteTree(rig.ftp, "/copy/", "tree", true);
    EXPECT_TRUE(removed.Ok) << removed.Error;
    EXPECT_FALSE(root.exists("copy/tree"));
    EXPECT_TRUE(rig.ftp.Encrypted());

    const std::string wire = relay.recorded();
    EXPECT_FALSE(wire.empty());
    EXPECT_EQ(wire.find(server->password()), std::string::npos) << "password in clear";
    EXPECT_EQ(wire.find("USER " + server->user()), std::string::npos) << "user name in clear";
    if (HasFailure()) std::fprintf(stderr, "%s", server->output().c_str());
}

INSTANTIATE_TEST_SUITE_P(Servers, RunnerTls,
                         ::testing::Combine(::testing::Values(FtpServerKind::Pyftpdlib, FtpServerKind::Vsftpd,
                                                              FtpServerKind::Proftpd, FtpServerKind::PureFtpd),
                                            ::testing::Bool()),
                         ServerAndModeTestName);

}  // namespace
