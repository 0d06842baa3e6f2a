// The built orlix-transfer program, run as a user runs it: against real servers, and with wrong use.

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/ftp_servers.h"
#include "tests/support/scripted_server.h"

extern char** environ;

namespace {

struct ToolRun {
    int status = -1;
    std::string out, err;
};

ToolRun RunTool(const TempDir& scratch, const std::vector<std::string>& args) {
    const std::string outPath = scratch.file("tool.out"), errPath = scratch.file("tool.err");
    std::vector<std::string> all{ORLIX_TRANSFER_BIN};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = -1;
    ToolRun run;
    const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return run;
    int status = 0;
    ::waitpid(pid, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = scratch.readFile("tool.out");
    run.err = scratch.readFile("tool.err");
    return run;
}

TEST(TransferTool, WrongUseExitsTwoWithUsage) {
    TempDir scratch;
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"cp", "ftp://h/x"},
        {"ls"},
        {"get", "ftp://h/x"},
        {"put", "a", "ftp://h/x", "extra"},
        {"--buffers", "0,2048", "ls", "ftp://h/"},
        {"--buffers", "4096", "ls", "ftp://h/"},
        {"--buffers", "4096,x", "ls", "ftp://h/"},
        {"--buffers"},
        {"--fast", "ls", "ftp://h/"},
        {"--timeout", "0", "ls", "ftp://h/"},
        {"ls", "http://h/"},
        {"ls", "ftp://h/a%0D%0ADELE%20b"},
        {"get", "ftp://h/dir/", "out"},
    };
    for (const auto& args : cases) {
        std::string shown;
        for (const auto& a : args) shown += a + " ";
        SCOPED_TRACE(shown);
        const ToolRun run = RunTool(scratch, args);
        EXPECT_EQ(run.status, 2);
        EXPECT_NE(run.err.find("usage: orlix-transfer"), std::string::npos) << run.err;
        EXPECT_TRUE(run.out.empty());
    }
}

TEST(TransferTool, ASilentServerEndsInTheTimeOut) {
    TempDir scratch;
    ScriptedServer srv;
    srv.sendLine("220 ready").expectLine("USER u").pause(3000).close();
    srv.start();
    const ToolRun run =
        RunTool(scratch, {"--timeout", "1", "ls", "ftp://u:p@127.0.0.1:" + std::to_string(srv.port()) + "/"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.rfind("orlix-transfer: ", 0), 0u) << run.err;
    // Gave up by itself, not because the server closed at last.
    EXPECT_FALSE(srv.waitForEnd(0));
    srv.waitForEnd();
}

class TransferToolReal : public ::testing::TestWithParam<FtpServerKind> {};

TEST_P(TransferToolReal, ListsGetsPutsAndReportsARefusedLogin) {
    ORLIX_SKIP_UNLESS_FTP_SERVER(GetParam());
    TempDir root, local{"orlix-local"};
    root.writePatternFile("sub/data.bin", (3 << 20) + 17);
    auto server = FtpServerProcess::start(GetParam(), root.path());
    ASSERT_TRUE(server);
    server->syncOwnership();
    const std::string url = server->url();  // ends in "/"

    // Listing of a folder, verbose: the traffic shows on stderr with the password hidden.
    ToolRun run = RunTool(local, {"-v", "ls", url + "sub"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("data.bin"), std::string::npos) << run.out;
    EXPECT_NE(run.err.find("> PASS ****"), std::string::npos) << run.err;
    // MLSD where the server lists MLST in FEAT, LIST elsewhere.
    EXPECT_TRUE(run.err.find("> LIST") != std::string::npos || run.err.find("> MLSD") != std::string::npos) << run.err;
    EXPECT_EQ(run.err.find(server->password()), std::string::npos) << run.err;

    // Down and up again in both modes, with buffers smaller and larger than the defaults.
    const std::string expected = patternBytes(0, (3 << 20) + 17);
    for (const char* mode : {"--passive", "--active"}) {
        SCOPED_TRACE(mode);
        run = RunTool(local, {mode, "--buffers", "1000,700", "get", url + "sub/data.bin", local.path()});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(local.readFile("data.bin") == expected);
        // Into a folder URL under an escaped name with a blank.
        run = RunTool(local,
                      {mode, "--buffers", "65536,65536", "put", local.file("data.bin"), url + "sub/up%20load.bin"});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(root.readFile("sub/up load.bin") == expected);
        removeTree(root.file("sub/up load.bin"));
        removeTree(local.file("data.bin"));
    }

    // A missing file or folder: exit 1 with the server's refusal, and no local file left behind.
    run = RunTool(local, {"get", url + "nothing.bin", local.file("nothing.bin")});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("orlix-transfer: 550"), std::string::npos) << run.err;
    EXPECT_FALSE(local.exists("nothing.bin"));
    EXPECT_EQ(run.out, "");
    run = RunTool(local, {"ls", url + "no/such"});
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_NE(run.err.find("orlix-transfer: 5"), std::string::npos) << run.err;

    // A refused login: exit 1 with the server's own words.
    std::string bad = url;
    bad.replace(bad.find(":" + server->password() + "@"), server->password().size() + 2, ":wrong@");
    run = RunTool(local, {"ls", bad});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.rfind("orlix-transfer: 530 ", 0), 0u) << run.err;
    EXPECT_GT(run.err.size(), std::string("orlix-transfer: 530 \n").size()) << run.err;
}

INSTANTIATE_TEST_SUITE_P(Servers, TransferToolReal,
                         ::testing::Values(FtpServerKind::Pyftpdlib, FtpServerKind::Vsftpd, FtpServerKind::Proftpd,
                                           FtpServerKind::PureFtpd),
                         [](const auto& info) {
                             std::string n = FtpServerProcess::name(info.param);
                             for (char& c : n)
                                 if (c == '-') c = '_';
                             return n;
                         });

}  // namespace
