// The per-site connection options file: pairing with sites by name, records of unknown sites kept,
// fields of later versions kept, damaged files kept aside.

#include <gtest/gtest.h>

#include <algorithm>
#include <sys/stat.h>

#include "sites/site_options.h"
#include "sites/site_table.h"
#include "tests/sites/state_test_util.h"

namespace {

constexpr const char* kHead = "Orlix FTP client site options\nversion 1\n";

TSiteOptions Options(TDataConnectionMode m, TSiteNameEncoding e, bool keepAlive) {
    TSiteOptions o;
    o.DataMode = m;
    o.NameEncoding = e;
    o.KeepAlive = keepAlive;
    return o;
}

TEST(SiteOptionsFile, ParsesWhatItCanAndReportsTheRest) {
    struct TCase {
        const char* Name;
        std::string Bytes;
        TDataConnectionMode DefaultMode;
        int32_t KeepAliveSeconds;
        std::size_t Records;
        bool Damaged;
    };
    const TCase cases[] = {
        {"full",
         std::string(kHead) + "default-data-mode active\nkeep-alive-interval 30\n"
                              "site a data-mode=passive name-encoding=raw keep-alive=off\n",
         TDataConnectionMode::Active, 30, 1, false},
        {"CR LF lines and blank lines", "Orlix FTP client site options\r\nversion 1\r\n\r\n  \r\nsite a\r\n",
         TDataConnectionMode::Passive, 60, 1, false},
        {"a later version with a field and a line this one does not know",
         "Orlix FTP client site options\nversion 7\ntls-policy strict\nsite a proxy=socks5\n",
         TDataConnectionMode::Passive, 60, 1, false},
        {"no header", "site a\n", TDataConnectionMode::Passive, 60, 0, true},
        {"version not a number", "Orlix FTP client site options\nversion x\nsite a\n", TDataConnectionMode::Passive, 60,
         0, true},
        {"empty file", "", TDataConnectionMode::Passive, 60, 0, true},
        {"unknown mode keeps the rest", std::string(kHead) + "site a data-mode=sideways\nsite b\n",
         TDataConnectionMode::Passive, 60, 2, true},
        {"Default is no program-wide mode", std::string(kHead) + "default-data-mode default\n",
         TDataConnectionMode::Passive, 60, 0, true},
        {"interval out of range", std::string(kHead) + "keep-alive-interval 4\n", TDataConnectionMode::Passive, 60, 0,
         true},
        {"broken name escape", std::string(kHead) + "site a%4\nsite b\n", TDataConnectionMode::Passive, 60, 1, true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const TSiteOptionsContents p = TSiteOptionsFile::Parse(c.Bytes);
        EXPECT_EQ(p.Defaults.DataMode, c.DefaultMode);
        EXPECT_EQ(p.Defaults.KeepAliveSeconds, c.KeepAliveSeconds);
        EXPECT_EQ(p.Records.size(), c.Records);
        EXPECT_EQ(!p.Damage.empty(), c.Damaged) << p.Damage;
    }
}

TEST(SiteOptionsFile, RoundTripsAwkwardNamesAndKeepsWhatNoSiteTakes) {
    TTempDir dir;
    TSiteTable sites;
    const std::string names[] = {"plain", "two words", "a=b%c", std::string("caf\xe9\xff", 5), "", "dup", "dup"};
    for (const std::string& n : names) sites.SetSiteName(sites.AddSite(), n);
    sites.Site(0).Options = Options(TDataConnectionMode::Active, TSiteNameEncoding::Utf8, false);
    sites.Site(3).Options = Options(TDataConnectionMode::Passive, TSiteNameEncoding::Raw, true);
    sites.Site(5).Options = Options(TDataConnectionMode::Active, TSiteNameEncoding::Auto, true);
    sites.Site(6).Options = Options(TDataConnectionMode::Default, TSiteNameEncoding::Raw, false);
    sites.Site(6).Options.Encryption = TSiteEncryption::RequireImplicit;
    sites.Site(6).Options.LaterFields = {"proxy=socks5"};

    TSiteOptionsFile file;
    file.Defaults.DataMode = TDataConnectionMode::Active;
    file.Defaults.KeepAliveSeconds = 300;
    file.Defaults.LaterLines = {"tls-policy strict"};
    file.Save(dir.Path, sites);
    struct stat st {};
    ASSERT_EQ(::stat(dir.File(TSiteOptionsFile::FileName).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    // One line per record: no name can break the line structure.
    const std::string bytes = ReadBytes(dir.File(TSiteOptionsFile::FileName));
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), 4 + 1 + 7);

    // The same names in another order; one site gone, so its record is kept for a later save.
    TSiteTable again;
    for (int i : {6, 5, 4, 3, 2, 1}) again.SetSiteName(again.AddSite(), names[i]);
    TSiteOptionsFile loaded;
    const TSiteOptionsLoadReport r = loaded.Load(dir.Path, again);
    EXPECT_TRUE(r.Message.empty()) << r.Message;
    EXPECT_EQ(r.RecordsPaired, 6);
    EXPECT_EQ(loaded.Defaults, file.Defaults);
    // Two sites of one name take that name's records in order.
    EXPECT_EQ(again.Site(0).Options, sites.Site(5).Options);
    EXPECT_EQ(again.Site(1).Options, sites.Site(6).Options);
    EXPECT_EQ(again.Site(3).Options, sites.Site(3).Options);
    ASSERT_EQ(loaded.KeptRecords().size(), 1u);
    EXPECT_EQ(loaded.KeptRecords()[0].first, "plain");

    loaded.Save(dir.Path, again);
    TSiteTable third;
    third.SetSiteName(third.AddSite(), "plain");
    TSiteOptionsFile last;
    last.Load(dir.Path, third);
    EXPECT_EQ(third.Site(0).Options, sites.Site(0).Options);
}

TEST(SiteOptionsFile, RenameCarriesDeleteDropsAndADamagedFileIsKeptAside) {
    TTempDir dir;
    TSiteTable sites;
    sites.SetSiteName(sites.AddSite(), "one");
    sites.SetSiteName(sites.AddSite(), "two");
    sites.Site(0).Options.DataMode = TDataConnectionMode::Active;
    sites.Site(1).Options.KeepAlive = false;
    sites.SetSiteName(0, "renamed");
    sites.SortByName();  // "renamed", "two"
    sites.DeleteSite(1);
    TSiteOptionsFile file;
    file.Save(dir.Path, sites);
    const std::string saved = ReadBytes(dir.File(TSiteOptionsFile::FileName));
    EXPECT_NE(saved.find("site renamed data-mode=active"), std::string::npos) << saved;
    EXPECT_EQ(saved.find("site two"), std::string::npos) << saved;

    const std::string broken = std::string(kHead) + "site renamed data-mode=??\n";
    WriteBytes(dir.File(TSiteOptionsFile::FileName), broken);
    TSiteOptionsFile damaged;
    const TSiteOptionsLoadReport r = damaged.Load(dir.Path, sites);
    EXPECT_NE(r.Message.find("FTPSiteOptions.txt.damaged"), std::string::npos) << r.Message;
    EXPECT_EQ(sites.Site(0).Options, TSiteOptions{});
    damaged.Save(dir.Path, sites);
    EXPECT_EQ(ReadBytes(dir.File("FTPSiteOptions.txt.damaged")), broken);
}

}  // namespace
