// Listing lines read for the tree walks, and the remote tree delete against real servers.

#include <gtest/gtest.h>

#include "tests/transfer/test_runner_fixture.h"

using namespace runner_test;

namespace {

std::vector<std::string> Names(const std::vector<TRemoteListEntry>& entries) {
    std::vector<std::string> out;
    for (const auto& e : entries) out.push_back(e.Name + (e.IsDir ? "/" : ""));
    return out;
}

TEST(ReadListing, UnixNamedAndNumericOwnersDosAndLinks) {
    const std::vector<std::string> lines = {
        "total 24",
        "drwxr-xr-x   2 ann      staff        4096 Jan 12 10:15 docs",
        "-rw-r--r--   1 ann      staff        1234 Jan 12  2003 a b.txt\r",
        "-rw-r--r--    1 1002     1002     5368709120 Dec 08 03:09 huge.bin",
        "drwxr-xr-x    2 1002     1002           40 Dec 08 03:09 numeric dir",
        "lrwxrwxrwx   1 ann      staff          11 Mar  3  2003 www -> public_html",
        "01-23-03  10:15AM       <DIR>          dosdir",
        "01-23-03  02:30PM                 1,234 dos file.txt",
        "",
    };
    TListingRejects rejects;
    const auto entries = ReadListingEntries(lines, &rejects);
    EXPECT_EQ(Names(entries), (std::vector<std::string>{"docs/", "a b.txt", "huge.bin", "numeric dir/", "www",
                                                        "dosdir/", "dos file.txt"}));
    EXPECT_EQ(entries[2].Size, 5368709120LL);
    EXPECT_EQ(entries[6].Size, 1234);
    EXPECT_TRUE(rejects.UnsafeNames.empty());
    EXPECT_TRUE(rejects.UnparsedLines.empty());
}

TEST(ReadListing, DotEntriesSkippedUnsafeNamesAndBadLinesReported) {
    const std::vector<std::string> lines = {
        "drwxr-xr-x   2 u g 4096 Jan 01  2020 .",         "drwxr-xr-x   2 u g 4096 Jan 01  2020 ..",
        "-rw-r--r--   1 u g    5 Jan 01  2020 good",      "-rw-r--r--   1 u g    5 Jan 01  2020 ../evil",
        "drwxr-xr-x   2 u g 4096 Jan 01  2020 a/b",       "-rw-r--r--   1 u g    5 Jan 01  2020 a\\b",
        "-rw-r--r--   1 u g    5 Foo 01  2020 bad-month", "this is no listing line",
        "-rw-r--r--   1 u g    7 Jan 01  2020 after",
    };
    TListingRejects rejects;
    const auto entries = ReadListingEntries(lines, &rejects);
    // One unreadable line costs only itself.
    EXPECT_EQ(Names(entries), (std::vector<std::string>{"good", "after"}));
    EXPECT_EQ(rejects.UnsafeNames, (std::vector<std::string>{"../evil", "a/b", "a\\b"}));
    EXPECT_EQ(rejects.UnparsedLines.size(), 2u);
    const auto texts = DescribeRejects(rejects, "/x");
    ASSERT_EQ(texts.size(), 5u);
    EXPECT_NE(texts[0].find("../evil"), std::string::npos);
}

TEST(ReadListing, SafeNames) {
    EXPECT_TRUE(IsSafeRemoteName("a b.txt"));
    EXPECT_TRUE(IsSafeRemoteName(".hidden"));
    EXPECT_TRUE(IsSafeRemoteName("..."));
    EXPECT_FALSE(IsSafeRemoteName(""));
    EXPECT_FALSE(IsSafeRemoteName("."));
    EXPECT_FALSE(IsSafeRemoteName(".."));
    EXPECT_FALSE(IsSafeRemoteName("x/"));
    EXPECT_FALSE(IsSafeRemoteName(std::string("a\0b", 3)));
    EXPECT_EQ(WithSlash("/a"), "/a/");
    EXPECT_EQ(WithSlash("/"), "/");
}

// A tree of three levels: t/{f1,f2,d1/{g1,g2,d2/{h1,h2}},e1/}
void MakeDeleteTree(TempDir& root) {
    root.writeFile("t/f1", "1");
    root.writeFile("t/f2 with space", "22");
    root.writeFile("t/d1/g1", "333");
    root.writeFile("t/d1/g2", "");
    root.writeFile("t/d1/d2/h1", "4444");
    root.writeFile("t/d1/d2/h2", "55555");
    root.makeDir("t/e1");
    root.writeFile("keep.txt", "stays");
}

int Depth(const std::string& path) { return static_cast<int>(std::count(path.begin(), path.end(), '/')); }

class RemoteDelete : public ::testing::TestWithParam<FtpServerKind> {};

TEST_P(RemoteDelete, TreeGoesFilesFirstDeepestDirectoriesFirst) {
    ORLIX_SKIP_UNLESS_FTP_SERVER(GetParam());
    TempDir root;
    MakeDeleteTree(root);
    auto server = FtpServerProcess::start(GetParam(), root.path());
    ASSERT_TRUE(server);
    Rig rig;
    rig.Connect(server->port());
    rig.sent.clear();

    std::vector<std::string> log;
    const TRemoteDeleteResult r =
        DeleteRemoteTree(rig.ftp, "/", "t", true, [&](const std::string& t) { log.push_back(t); });
    ASSERT_TRUE(r.Ok) << r.Error;
    EXPECT_EQ(r.FilesDeleted, 6);
    EXPECT_EQ(r.DirsRemoved, 4);
    EXPECT_FALSE(root.exists("t"));
    EXPECT_TRUE(root.exists("keep.txt"));
    EXPECT_EQ(rig.ftp.WorkingDir(), "/");

    int lastDele = -1, firstRmd = -1, prevDepth = 100;
    for (int i = 0; i < static_cast<int>(rig.sent.size()); ++i) {
        const std::string& s = rig.sent[static_cast<size_t>(i)];
        if (s.rfind("DELE ", 0) == 0) lastDele = i;
        if (s.rfind("RMD ", 0) == 0) {
            if (firstRmd < 0) firstRmd = i;
            EXPECT_LE(Depth(s), prevDepth) << s;
            prevDepth = Depth(s);
        }
    }
    EXPECT_LT(lastDele, firstRmd);
    EXPECT_EQ(rig.sentCount("RMD "), 4);
    EXPECT_EQ(rig.sentCount("DELE "), 6);
    EXPECT_TRUE(log.empty());

    // A single file.
    const TRemoteDeleteResult one = DeleteRemoteTree(rig.ftp, "/", "keep.txt", false);
    EXPECT_TRUE(one.Ok) << one.Error;
    EXPECT_FALSE(root.exists("keep.txt"));
}

INSTANTIATE_TEST_SUITE_P(Servers, RemoteDelete, ::testing::Values(FtpServerKind::Pyftpdlib, FtpServerKind::Vsftpd),
                         [](const auto& info) { return std::string(FtpServerProcess::name(info.param)); });

TEST(RemoteDeleteFaults, RefusedDeleteEndsTheDeletionAndReturnsToTheStart) {
    TempDir root;
    MakeDeleteTree(root);
    root.writeFile("t/d1/0 locked", "L");  // listed before g1 and g2
    FaultyFtpd server(root.path(), {"--refuse-dele", "locked"});
    Rig rig;
    rig.Connect(server.port());
    rig.ftp.ChangeDir("/t");

    const TRemoteDeleteResult r = DeleteRemoteTree(rig.ftp, "/t/", "d1", true);
    EXPECT_FALSE(r.Ok);
    EXPECT_NE(r.Error.find("Permission denied"), std::string::npos) << r.Error;
    EXPECT_STREQ(kCannotDeleteMessage, "Can not delete file or directory!");
    EXPECT_EQ(r.DirsRemoved, 0);
    EXPECT_TRUE(root.exists("t/d1/0 locked"));
    EXPECT_TRUE(root.exists("t/d1/g1"));
    EXPECT_TRUE(root.exists("t/d1/d2/h1"));
    EXPECT_EQ(rig.ftp.WorkingDir(), "/t");
    EXPECT_EQ(rig.sentCount("RMD "), 0);
}

TEST(RemoteDeleteFaults, HostileNamesAreNeverSentAsChildren) {
    TempDir root;
    root.writeFile("hostile/good.txt", "g");
    FaultyFtpd server(root.path(), {"--hostile"});
    Rig rig;
    rig.Connect(server.port());
    std::vector<std::string> log;
    const TRemoteDeleteResult r =
        DeleteRemoteTree(rig.ftp, "/", "hostile", true, [&](const std::string& t) { log.push_back(t); });
    // Only the real file went; the phantom names were reported, never followed or deleted.
    EXPECT_TRUE(r.Ok) << r.Error;
    EXPECT_FALSE(root.exists("hostile"));
    for (const auto& s : rig.sent) {
        EXPECT_EQ(s.find(".."), std::string::npos) << s;
        EXPECT_EQ(s.find("a/b"), std::string::npos) << s;
    }
    EXPECT_EQ(log.size(), 4u);
}

}  // namespace
