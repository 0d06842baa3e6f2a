// What real servers send for LIST, through the client's ParsedListing: links, names with spaces,
// a sparse file over 4 GiB, an old file dated by year and a fresh one dated by time of day.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <gtest/gtest.h>
#include <map>

#include "ftp/ftp_client.h"
#include "tests/support/ftp_servers.h"

namespace {

void LogIn(TIdFTP& ftp, FtpServerProcess& server) {
    ftp.SetHost(server.host());
    ftp.SetPort(server.port());
    ftp.Username = server.user();
    ftp.Password = server.password();
    ftp.OpenSession();
}

constexpr int64_t kHuge = 5LL << 30;

class RealListing : public ::testing::TestWithParam<FtpServerKind> {};

TEST_P(RealListing, ItemsMatchTheFilesOnDisk) {
    ORLIX_SKIP_UNLESS_FTP_SERVER(GetParam());
    TempDir root;
    root.writeFile("file.txt", "hi");
    root.makeDir("sub dir");
    root.writeFile("two  spaces here.txt", "12345");
    root.writeFile("old.txt", "abcd");
    const timespec old[2] = {{1046692800, 0}, {1046692800, 0}};  // 2003-03-03 12:00 UTC
    ASSERT_EQ(::utimensat(AT_FDCWD, root.file("old.txt").c_str(), old, 0), 0);
    ASSERT_EQ(::symlink("old.txt", root.file("link.txt").c_str()), 0);
    root.writeFile("huge.bin", "");
    ASSERT_EQ(::truncate(root.file("huge.bin").c_str(), kHuge), 0);

    auto server = FtpServerProcess::start(GetParam(), root.path());
    ASSERT_TRUE(server);
    server->syncOwnership();
    TIdFTP ftp;
    LogIn(ftp, *server);
    ftp.List(nullptr, "", true, false);
    TIdFTPListItems& items = ftp.ParsedListing();
    std::string raw;
    for (const std::string& l : ftp.LastListing) raw += l + "\n";
    SCOPED_TRACE(raw);

    EXPECT_EQ(items.CurrentFormat, lfUnix);
    std::map<std::string, const TIdFTPListItem*> byName;
    for (int i = 0; i < items.Count(); ++i)
        if (items.Items(i).ItemName != "." && items.Items(i).ItemName != "..")
            byName[items.Items(i).ItemName] = &items.Items(i);
    ASSERT_EQ(byName.size(), 6u);

    const TIdFTPListItem* f = byName["file.txt"];
    ASSERT_TRUE(f);
    EXPECT_EQ(f->Kind, itFile);
    EXPECT_EQ(f->ItemSize, 2);
    // Dated by time of day: this year's date, give or take a day for the server's time zone.
    TDateTime today = 0;
    const TListDate d = CurrentLocalDate();
    ASSERT_TRUE(TryEncodeDate(d.Year, d.Month, d.Day, today));
    EXPECT_GE(f->Modified, today - 1);
    EXPECT_LT(f->Modified, today + 2);

    ASSERT_TRUE(byName["sub dir"]);
    EXPECT_EQ(byName["sub dir"]->Kind, itDirectory);
    ASSERT_TRUE(byName["two  spaces here.txt"]);
    EXPECT_EQ(byName["two  spaces here.txt"]->ItemSize, 5);

    const TIdFTPListItem* o = byName["old.txt"];
    ASSERT_TRUE(o);
    EXPECT_EQ(o->ItemSize, 4);
    EXPECT_EQ(FormatListDate(o->Modified), "2003-03-03");

    const TIdFTPListItem* l = byName["link.txt"];
    ASSERT_TRUE(l);
    EXPECT_EQ(l->Kind, itLink);
    EXPECT_EQ(l->LinkTarget, "old.txt");

    ASSERT_TRUE(byName["huge.bin"]);
    EXPECT_EQ(byName["huge.bin"]->Kind, itFile);
    EXPECT_EQ(byName["huge.bin"]->ItemSize, kHuge);
}

INSTANTIATE_TEST_SUITE_P(Servers, RealListing,
                         ::testing::Values(FtpServerKind::Pyftpdlib, FtpServerKind::Vsftpd, FtpServerKind::Proftpd,
                                           FtpServerKind::PureFtpd),
                         [](const auto& info) { return FtpServerProcess::testName(info.param); });

// MLSD and LIST of one tree agree on names, file sizes and which entries are folders.
class MlsdVersusList : public ::testing::TestWithParam<FtpServerKind> {};

TEST_P(MlsdVersusList, SameNamesSizesAndFolders) {
    ORLIX_SKIP_UNLESS_FTP_SERVER(GetParam());
    TempDir root;
    root.writeFile("file.txt", "hi");
    root.writeFile("two  spaces here.txt", "12345");
    root.writeFile(
        "\xc3\xbc"
        "ber.txt",
        "u");
    root.makeDir("sub dir");
    root.makeDir("empty");
    root.writeFile("huge.bin", "");
    ASSERT_EQ(::truncate(root.file("huge.bin").c_str(), kHuge), 0);
    auto server = FtpServerProcess::start(GetParam(), root.path());
    ASSERT_TRUE(server);
    TIdFTP ftp;
    LogIn(ftp, *server);
    ASSERT_TRUE(ftp.HasFeature("MLST"));

    using Entry = std::pair<bool, int64_t>;  // folder, size of a file
    auto read = [&](bool mlsd) {
        ftp.List(nullptr, "", true, mlsd);
        EXPECT_EQ(ftp.LastListingIsMlsd(), mlsd);
        std::map<std::string, Entry> out;
        const TIdFTPListItems& items = ftp.ParsedListing();
        for (int i = 0; i < items.Count(); ++i) {
            const TIdFTPListItem& it = items.Items(i);
            if (it.ItemName == "." || it.ItemName == "..") continue;
            const bool dir = it.Kind == itDirectory;
            out[it.ItemName] = {dir, dir ? 0 : it.ItemSize};
        }
        return out;
    };
    const auto viaMlsd = read(true);
    const auto viaList = read(false);
    EXPECT_EQ(viaMlsd.size(), 6u);
    EXPECT_EQ(viaMlsd, viaList);
    EXPECT_EQ(viaMlsd.at("huge.bin").second, kHuge);
    EXPECT_TRUE(viaMlsd.at("sub dir").first);
}

INSTANTIATE_TEST_SUITE_P(Servers, MlsdVersusList,
                         ::testing::Values(FtpServerKind::Pyftpdlib, FtpServerKind::Proftpd, FtpServerKind::PureFtpd),
                         [](const auto& info) { return FtpServerProcess::testName(info.param); });

}  // namespace
