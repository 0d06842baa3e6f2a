// Transfers against real servers on 127.0.0.1, in active and in passive mode: the same operations
// on every server (pyftpdlib always; vsftpd and ProFTPD when the shared fixture can run them).

#include <dirent.h>

#include <algorithm>
#include <gtest/gtest.h>
#include <tuple>

#include "ftp/ftp_client.h"
#include "tests/ftp/ftp_test_util.h"
#include "tests/support/ftp_servers.h"

namespace {

constexpr int64_t kBig = 64LL << 20;

std::vector<std::string> NamesIn(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.push_back(e->d_name);
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

class RealTransfer : public ::testing::TestWithParam<std::tuple<FtpServerKind, bool>> {
protected:
    void SetUp() override {
        ORLIX_SKIP_UNLESS_FTP_SERVER(std::get<0>(GetParam()));
        server = FtpServerProcess::start(std::get<0>(GetParam()), root.path());
        ASSERT_TRUE(server);
    }

    // Call after putting files into the root.
    void Open() {
        server->syncOwnership();
        PrepareClient(ftp, server->port(), server->user(), server->password());
        ftp.Passive = std::get<1>(GetParam());
        rec = std::make_unique<FtpRecorder>(ftp);
        ftp.OpenSession();
    }

    TempDir root;
    TempDir local{"orlix-local"};
    std::unique_ptr<FtpServerProcess> server;
    TIdFTP ftp;
    std::unique_ptr<FtpRecorder> rec;
};

TEST_P(RealTransfer, BigFileRoundTripIsByteIdentical) {
    const std::string src = local.file("src.bin"), back = local.file("back.bin");
    WriteRandomFile(src, kBig);
    Open();
    int64_t lastWrite = 0, lastRead = 0;
    int begins = 0, ends = 0;
    ftp.OnWorkBegin = [&](TIdComponent* sender, TWorkMode, int64_t) {
        ++begins;
        EXPECT_NE(sender, &ftp);  // the data connection reports
    };
    ftp.OnWork = [&](TIdComponent*, TWorkMode mode, int64_t count) { (mode == wkWrite ? lastWrite : lastRead) = count; };
    ftp.OnWorkEnd = [&](TIdComponent*, TWorkMode) { ++ends; };

    ftp.Put(src, "big.bin");
    EXPECT_EQ(lastWrite, kBig);
    EXPECT_TRUE(SameFileContent(src, root.file("big.bin")));
    ftp.Get("big.bin", back);
    EXPECT_EQ(lastRead, kBig);
    EXPECT_TRUE(SameFileContent(src, back));
    EXPECT_EQ(begins, 2);
    EXPECT_EQ(ends, 2);
    EXPECT_EQ(ftp.Size("big.bin"), kBig);
    EXPECT_EQ(ftp.DataConnection(), nullptr);
    EXPECT_TRUE(rec->sentLine(ftp.Passive ? "PASV" : "TYPE I"));
}

TEST_P(RealTransfer, ListingsFillLastListingAndParsedListing) {
    root.writeFile("alpha.txt", "abc");
    root.makeDir("beta");
    Open();
    std::vector<std::string> lines;
    ftp.List(&lines);
    EXPECT_TRUE(rec->sentLine(ftp.HasFeature("MLST") ? "MLSD" : "LIST"));
    EXPECT_EQ(ftp.LastListingIsMlsd(), ftp.HasFeature("MLST"));
    EXPECT_EQ(lines, ftp.LastListing);
    ASSERT_GE(lines.size(), 2u);  // MLSD may add the folder and its parent
    TIdFTPListItems& items = ftp.ParsedListing();
    ASSERT_EQ(items.Count(), 2);
    std::vector<std::pair<std::string, TIdDirItemType>> seen;
    for (int i = 0; i < items.Count(); ++i) seen.emplace_back(items.Items(i).ItemName, items.Items(i).Kind);
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen[0], std::make_pair(std::string("alpha.txt"), itFile));
    EXPECT_EQ(seen[1], std::make_pair(std::string("beta"), itDirectory));
    EXPECT_EQ(&ftp.ParsedListing(), &items);  // cached until the next List

    ftp.List(nullptr, "", false);
    EXPECT_TRUE(rec->sentLine("NLST"));
    std::vector<std::string> names = ftp.LastListing;
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"alpha.txt", "beta"}));
    // Names alone match no detailed format: the parsed form of a name listing is empty.
    EXPECT_EQ(ftp.ParsedListing().Count(), 0);
}

TEST_P(RealTransfer, CutDownloadResumesWithRestAndEndsIdentical) {
    root.writePatternFile("data.bin", 16LL << 20);
    const std::string dst = local.file("data.bin");
    Open();
    bool cut = false;
    ftp.OnWork = [&](TIdComponent*, TWorkMode, int64_t count) {
        if (!cut && count >= (1 << 20)) {
            cut = true;
            ftp.Abort();
        }
    };
    ftp.Get("data.bin", dst);
    const int64_t n = FileSize(dst);
    ASSERT_GT(n, 0);
    ASSERT_LT(n, 16LL << 20);
    EXPECT_TRUE(IsPrefixOf(dst, root.file("data.bin")));

    EXPECT_THROW(ftp.Get("data.bin", dst, false, false), EIdFTPFileAlreadyExists);
    EXPECT_THROW(ftp.Get("data.bin", dst, true, true), EIdFTPFileAlreadyExists);
    ftp.Get("data.bin", dst, false, true);
    EXPECT_TRUE(rec->sentLine("REST " + std::to_string(n)));
    EXPECT_TRUE(SameFileContent(dst, root.file("data.bin")));
}

TEST_P(RealTransfer, OverwriteReplacesExistingLocalFile) {
    root.writeFile("r.txt", "remote");
    local.writeFile("r.txt", "a much longer local content");
    Open();
    ftp.Get("r.txt", local.file("r.txt"), true, false);
    EXPECT_EQ(local.readFile("r.txt"), "remote");
}

TEST_P(RealTransfer, AppendAndUniqueUpload) {
    Open();
    TIdMemoryStream first("hello ");
    ftp.Put(first, "a.txt");
    TIdMemoryStream more("XXworld");
    more.SetPosition(2);
    try {
        ftp.Put(more, "a.txt", true);
        EXPECT_TRUE(rec->sentLine("APPE a.txt"));
        EXPECT_EQ(root.readFile("a.txt"), "hello world");
    } catch (const EIdProtocolReplyError& e) {
        // A server configured without store restarts refuses APPE; the session goes on.
        EXPECT_EQ(std::get<0>(GetParam()), FtpServerKind::Proftpd) << e.what();
        EXPECT_EQ(e.ReplyCode / 100, 4);
    }

    TIdMemoryStream unique("unique content");
    ftp.Put(unique, "");
    EXPECT_TRUE(rec->sentLine("STOU "));
    std::vector<std::string> names = NamesIn(root.path());
    ASSERT_EQ(names.size(), 2u);
    const std::string other = names[0] == "a.txt" ? names[1] : names[0];
    EXPECT_EQ(root.readFile(other), "unique content");
}

TEST_P(RealTransfer, AbortDuringDownloadKeepsPartialFileAndSession) {
    root.writePatternFile("big.bin", 32LL << 20);
    const std::string dst = local.file("big.bin");
    Open();
    rec->statuses.clear();
    bool aborted = false;
    ftp.OnWork = [&](TIdComponent*, TWorkMode, int64_t) {
        if (!aborted) {
            aborted = true;
            ftp.Abort();
        }
    };
    ftp.Get("big.bin", dst);  // returns normally
    EXPECT_TRUE(aborted);
    EXPECT_EQ(ftp.DataConnection(), nullptr);
    EXPECT_LT(FileSize(dst), 32LL << 20);
    EXPECT_TRUE(IsPrefixOf(dst, root.file("big.bin")));
    EXPECT_TRUE(rec->status("Transfer complete"));
    EXPECT_TRUE(rec->sentLine("ABOR"));
    EXPECT_EQ(ftp.WorkingDir(), "/");  // control replies still in step
}

TEST_P(RealTransfer, AbortDuringUploadRaisesAfterCleanUp) {
    const std::string src = local.file("up.bin");
    WriteRandomFile(src, 32LL << 20, 7);
    Open();
    rec->statuses.clear();
    bool aborted = false;
    ftp.OnWork = [&](TIdComponent*, TWorkMode mode, int64_t) {
        if (mode == wkWrite && !aborted) {
            aborted = true;
            ftp.Abort();
        }
    };
    try {
        ftp.Put(src, "up.bin");
        FAIL() << "no exception";
    } catch (const EIdConnClosedGracefully& e) {
        EXPECT_STREQ(e.what(), "Connection Closed Gracefully.");
    }
    EXPECT_EQ(ftp.DataConnection(), nullptr);
    EXPECT_EQ(rec->statuses, (std::vector<std::string>{"Starting FTP transfer", "Transfer complete"}));
}

INSTANTIATE_TEST_SUITE_P(
    Servers, RealTransfer,
    ::testing::Combine(::testing::Values(FtpServerKind::Pyftpdlib, FtpServerKind::Vsftpd, FtpServerKind::Proftpd),
                       ::testing::Bool()),
    [](const auto& info) {
        std::string n = FtpServerProcess::name(std::get<0>(info.param));
        n.erase(std::remove(n.begin(), n.end(), '-'), n.end());
        return n + (std::get<1>(info.param) ? "_passive" : "_active");
    });

}  // namespace
