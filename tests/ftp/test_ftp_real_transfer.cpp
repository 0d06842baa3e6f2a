// Transfers against real servers on 127.0.0.1, with each data port command (PASV, EPSV, PORT,
// EPRT): the same operations on every server (pyftpdlib always; vsftpd, ProFTPD and pure-ftpd when
// the shared fixture can run them).

#include <dirent.h>

#include <algorithm>
#include <gtest/gtest.h>
#include <tuple>

#include "ftp/ftp_client.h"
#include "tests/ftp/ftp_test_util.h"
#include "tests/support/ftp_servers.h"

namespace {

constexpr int64_t kBig = 64LL << 20;

enum class DataMode { Pasv, Epsv, Port, Eprt };
const char* ModeName(DataMode m) {
    switch (m) {
        case DataMode::Pasv:
            return "PASV";
        case DataMode::Epsv:
            return "EPSV";
        case DataMode::Port:
            return "PORT";
        case DataMode::Eprt:
            return "EPRT";
    }
    return "?";
}
bool IsPassive(DataMode m) { return m == DataMode::Pasv || m == DataMode::Epsv; }
bool IsExtended(DataMode m) { return m == DataMode::Epsv || m == DataMode::Eprt; }

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

class RealTransfer : public ::testing::TestWithParam<std::tuple<FtpServerKind, DataMode>> {
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
        const DataMode mode = std::get<1>(GetParam());
        ftp.Passive = IsPassive(mode);
        ftp.DataPortCommands = IsExtended(mode) ? TFtpDataPortCommands::Extended : TFtpDataPortCommands::Classic;
        rec = std::make_unique<FtpRecorder>(ftp);
        ftp.OpenSession();
    }

    // The data port command of the mode went out, and no other.
    void ExpectModeCommand() const {
        const DataMode mode = std::get<1>(GetParam());
        for (DataMode m : {DataMode::Pasv, DataMode::Epsv, DataMode::Port, DataMode::Eprt}) {
            bool sent = false;
            for (const auto& line : rec->sent) sent = sent || line.rfind(ModeName(m), 0) == 0;
            EXPECT_EQ(sent, m == mode) << ModeName(m);
        }
    }

    TempDir root;
    TempDir local{"orlix-local"};
    std::unique_ptr<FtpServerProcess> server;
    TIdFTP ftp;
    std::unique_ptr<FtpRecorder> rec;
};

TEST_P(RealTransfer, BigFileRoundTripIsByteIdentical) {
    const std::string src = local.file("src.bin"), back = local.file("back.bin");
    // Full size in the classic modes; the extended ones share the same data path.
    const int64_t size = IsExtended(std::get<1>(GetParam())) ? (4LL << 20) + 123 : kBig;
    WriteRandomFile(src, size);
    Open();
    int64_t lastWrite = 0, lastRead = 0;
    int begins = 0, ends = 0;
    ftp.OnWorkBegin = [&](TIdComponent* sender, TWorkMode, int64_t) {
        ++begins;
        EXPECT_NE(sender, &ftp);  // the data connection reports
    };
    ftp.OnWork = [&](TIdComponent*, TWorkMode mode, int64_t count) {
        (mode == wkWrite ? lastWrite : lastRead) = count;
    };
    ftp.OnWorkEnd = [&](TIdComponent*, TWorkMode) { ++ends; };

    ftp.Put(src, "big.bin");
    EXPECT_EQ(lastWrite, size);
    EXPECT_TRUE(SameFileContent(src, root.file("big.bin")));
    ftp.Get("big.bin", back);
    EXPECT_EQ(lastRead, size);
    EXPECT_TRUE(SameFileContent(src, back));
    EXPECT_EQ(begins, 2);
    EXPECT_EQ(ends, 2);
    EXPECT_EQ(ftp.Size("big.bin"), size);
    EXPECT_EQ(ftp.DataConnection(), nullptr);
    ExpectModeCommand();
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
    std::vector<std::string> names;
    for (const auto& n : ftp.LastListing)
        if (n != "." && n != "..") names.push_back(n);  // pure-ftpd names them too
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

// Servers differ in what follows ABOR (426 then 226, 226 then 225, one reply...): after each of
// 20 aborts, downloads and uploads in turn, the next commands get their own replies.
TEST_P(RealTransfer, TwentyAbortsInARowKeepTheSessionInStep) {
    root.writePatternFile("down.bin", 8LL << 20);
    const std::string up = local.file("up.bin");
    WriteRandomFile(up, 8LL << 20, 7);
    Open();
    ftp.AbortReplyTimeout = 3000;
    // A session out of step shows as a wait: bound every wait, so the traffic can be shown.
    ftp.ReadTimeout = 30000;
    // pyftpdlib keeps an upload aborted before its data connection was accepted waiting, and takes
    // the next data connection (the listing's) as that upload's: the listing then never comes.
    // Only downloads are aborted there.
    const bool abortedUploadsKeepStep = std::get<0>(GetParam()) != FtpServerKind::Pyftpdlib;
    bool abortNow = false;
    ftp.OnWorkBegin = [&](TIdComponent* sender, TWorkMode, int64_t) {
        if (auto* data = dynamic_cast<TIdTCPConnection*>(sender); data && sender != &ftp) data->ReadTimeout = 30000;
    };
    ftp.OnWork = [&](TIdComponent*, TWorkMode, int64_t) {
        if (abortNow) {
            abortNow = false;
            ftp.Abort();
        }
    };
    try {
        for (int i = 0; i < 20; ++i) {
            SCOPED_TRACE("abort " + std::to_string(i));
            abortNow = true;
            if (i % 2 == 0 || !abortedUploadsKeepStep) {
                ftp.Get("down.bin", local.file("down.bin"), true, false);
            } else {
                ftp.Put(up, "up.bin");  // returns normally: the replies are read, no reconnect
            }
            EXPECT_FALSE(abortNow);
            ASSERT_TRUE(ftp.IsConnected());
            EXPECT_EQ(ftp.WorkingDir(), "/");
            std::vector<std::string> names;
            ftp.List(&names, "", false);
            std::sort(names.begin(), names.end());
            EXPECT_TRUE(std::find(names.begin(), names.end(), "down.bin") != names.end());
            EXPECT_EQ(ftp.DataConnection(), nullptr);
        }
        EXPECT_EQ(ftp.Quote("NOOP"), 200);
    } catch (const std::exception& e) {
        FAIL() << e.what() << "\nlast control traffic:\n" << rec->tail(60);
    }
    EXPECT_LT(FileSize(local.file("down.bin")), 8LL << 20);
    ExpectModeCommand();
}

// Servers on ::1 (host typed with or without brackets) and a server that refuses active mode:
// login, list, put and get in the mode the session picks by itself (Auto).
struct NetworkCase {
    const char* name;
    FtpServerKind kind;
    FtpServerOptions options;
    std::string host;
    bool passive;
    const char* dataCommand;  // the data port command the session must choose
};

class RealNetwork : public ::testing::TestWithParam<NetworkCase> {};

TEST_P(RealNetwork, LoginListPutGet) {
    const NetworkCase& c = GetParam();
    ORLIX_SKIP_UNLESS_FTP_SERVER(c.kind);
    TempDir root, local{"orlix-local"};
    root.writeFile("there.txt", "remote bytes");
    auto server = FtpServerProcess::start(c.kind, root.path(), c.options);
    ASSERT_TRUE(server);
    server->syncOwnership();
    TIdFTP ftp;
    PrepareClient(ftp, server->port(), server->user(), server->password());
    ftp.SetHost(c.host);
    ftp.Passive = c.passive;
    FtpRecorder rec(ftp);
    ftp.OpenSession();
    // The log names the address connected.
    EXPECT_TRUE(rec.status("Connecting to " + server->host() + ".")) << ::testing::PrintToString(rec.statuses);
    EXPECT_EQ(ftp.Binding()->PeerIP, server->host());

    const std::string src = local.file("up.bin"), back = local.file("back.bin");
    WriteRandomFile(src, (1 << 20) + 7, 3);
    ftp.Put(src, "up.bin");
    EXPECT_TRUE(SameFileContent(src, root.file("up.bin")));
    ftp.Get("up.bin", back);
    EXPECT_TRUE(SameFileContent(src, back));
    ftp.List(nullptr);
    int found = 0;
    for (int i = 0; i < ftp.ParsedListing().Count(); ++i) {
        const std::string& name = ftp.ParsedListing().Items(i).ItemName;
        found += name == "there.txt" || name == "up.bin";
    }
    EXPECT_EQ(found, 2);
    for (const char* command : {"PASV", "EPSV", "PORT", "EPRT"}) {
        bool sent = false;
        for (const auto& line : rec.sent) sent = sent || line.rfind(command, 0) == 0;
        EXPECT_EQ(sent, std::string(command) == c.dataCommand) << command;
    }
    EXPECT_EQ(ftp.WorkingDir(), "/");
}

FtpServerOptions V6() {
    FtpServerOptions o;
    o.ipv6 = true;
    return o;
}
FtpServerOptions NoActive() {
    FtpServerOptions o;
    o.refuseActive = true;
    return o;
}

INSTANTIATE_TEST_SUITE_P(
    Networks, RealNetwork,
    ::testing::Values(NetworkCase{"pureftpd_v6_passive", FtpServerKind::PureFtpd, V6(), "::1", true, "EPSV"},
                      NetworkCase{"pureftpd_v6_active", FtpServerKind::PureFtpd, V6(), "[::1]", false, "EPRT"},
                      NetworkCase{"vsftpd_v6_passive", FtpServerKind::Vsftpd, V6(), "[::1]", true, "EPSV"},
                      NetworkCase{"vsftpd_v6_active", FtpServerKind::Vsftpd, V6(), "::1", false, "EPRT"},
                      NetworkCase{"pyftpdlib_v6_passive", FtpServerKind::Pyftpdlib, V6(), "::1", true, "EPSV"},
                      NetworkCase{"pyftpdlib_v6_active", FtpServerKind::Pyftpdlib, V6(), "[::1]", false, "EPRT"},
                      NetworkCase{"vsftpd_refusing_active_passive", FtpServerKind::Vsftpd, NoActive(), "127.0.0.1",
                                  true, "EPSV"}),  // vsftpd lists EPSV in FEAT
    [](const auto& info) { return std::string(info.param.name); });

// Behind a firewall that blocks the server's data connection, active mode is refused at PORT:
// a clear error at once, and the session goes on.
TEST(RealNetworkRefusal, RefusedActiveModeFailsAtOnceAndTheSessionGoesOn) {
    ORLIX_SKIP_UNLESS_FTP_SERVER(FtpServerKind::Vsftpd);
    TempDir root;
    auto server = FtpServerProcess::start(FtpServerKind::Vsftpd, root.path(), NoActive());
    ASSERT_TRUE(server);
    TIdFTP ftp;
    PrepareClient(ftp, server->port(), server->user(), server->password());
    ftp.Passive = false;
    FtpRecorder rec(ftp);
    ftp.OpenSession();
    try {
        ftp.List(nullptr);
        FAIL() << "no exception";
    } catch (const EIdProtocolReplyError& e) {
        EXPECT_EQ(e.ReplyCode / 100, 5);
    }
    EXPECT_EQ(ftp.WorkingDir(), "/");
    ftp.Passive = true;
    ftp.List(nullptr);
    EXPECT_TRUE(ftp.IsConnected());
}

INSTANTIATE_TEST_SUITE_P(Servers, RealTransfer,
                         ::testing::Combine(::testing::Values(FtpServerKind::Pyftpdlib, FtpServerKind::Vsftpd,
                                                              FtpServerKind::Proftpd, FtpServerKind::PureFtpd),
                                            ::testing::Values(DataMode::Pasv, DataMode::Epsv, DataMode::Port,
                                                              DataMode::Eprt)),
                         [](const auto& info) {
                             return FtpServerProcess::testName(std::get<0>(info.param)) + "_" +
                                    ModeName(std::get<1>(info.param));
                         });

}  // namespace
