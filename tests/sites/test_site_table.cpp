#include <gtest/gtest.h>

#include <sys/stat.h>

#include "sites/site_table.h"
#include "tests/sites/state_test_util.h"

namespace {

// A 720-byte site record built from the file layout, with every meaningless byte set to 0xEE.
std::string RawSiteRecord(const std::string& name, const std::string& host, const std::string& user,
                          const std::string& password, uint32_t port, const std::string& homeDir,
                          const std::string& loginType, const std::string& mode, uint32_t retries, uint32_t delay) {
    std::string r(720, '\xEE');
    RawString(r, 0, name);
    RawString(r, 101, host);
    RawString(r, 202, user);
    RawString(r, 303, password);
    RawInt32(r, 404, port);
    RawString(r, 408, homeDir);
    RawString(r, 509, loginType);
    RawString(r, 610, mode);
    RawInt32(r, 712, retries);
    RawInt32(r, 716, delay);
    return r;
}

// Mirrors the paired slots as names with a marker per slot, so moves can be followed.
class TRecordingSlots : public ISitePairedSlots {
public:
    struct TSlot {
        std::string Name;
        std::string Payload;
    };
    std::vector<TSlot> Slots;
    void SitesLoaded(const std::vector<std::string>& names) override {
        Slots.clear();
        for (const auto& n : names) Slots.push_back({n, ""});
    }
    void SiteAdded(int index, const std::string& name) override {
        if (index >= static_cast<int>(Slots.size())) Slots.resize(index + 1);
        Slots[index] = {name, ""};
    }
    void SiteDeleted(int index) override { Slots.erase(Slots.begin() + index); }
    void SitesSwapped(int i, int j) override { std::swap(Slots[i], Slots[j]); }
    void SiteRenamed(int index, const std::string& name) override { Slots[index].Name = name; }
};

TSiteTable TableOf(const std::vector<std::string>& names, TRecordingSlots* slots = nullptr) {
    TSiteTable t;
    if (slots) t.SetPairedSlots(slots);
    for (const auto& n : names) {
        int i = t.AddSite();
        t.SetSiteName(i, n);
        t.Site(i).Host = "host-of-" + n;
        if (slots) slots->Slots[i].Payload = "queue-of-" + n;
    }
    return t;
}

std::vector<std::string> Names(const TSiteTable& t) {
    std::vector<std::string> v;
    for (const auto& s : t.Sites()) v.push_back(s.SiteName);
    return v;
}

}  // namespace

TEST(SiteRecord, EveryFieldLoadsFromItsOffset) {
    TTempDir dir;
    std::string file = RawSiteRecord("Home server", "ftp.example.test", "alice", "s3cret", 2121, "/pub/",
                                     std::string(1, '\x02'), "ftBinary", 5, 30) +
                       RawSiteRecord("Second", "127.0.0.1", "", "", 0xFFFFFFFFu, "/", "", "ftASCII", 0, 0);
    WriteBytes(dir.File("FTPList.dat"), file);

    TSiteTable t;
    TSiteLoadReport rep = t.Load(dir.Path);
    EXPECT_TRUE(rep.FileFound);
    EXPECT_TRUE(rep.Message.empty());
    ASSERT_EQ(t.Count(), 2);
    EXPECT_EQ(t.SiteHigh(), 1);
    const TFTPInfo& a = t.Site(0);
    EXPECT_EQ(a.SiteName, "Home server");
    EXPECT_EQ(a.Host, "ftp.example.test");
    EXPECT_EQ(a.UserName, "alice");
    EXPECT_EQ(a.Password, "s3cret");
    EXPECT_EQ(a.Port, 2121);
    EXPECT_EQ(a.HomeDir, "/pub/");
    EXPECT_EQ(LoginTypeCode(a), ltAnonymous);
    EXPECT_EQ(a.TransferMode, "ftBinary");
    EXPECT_EQ(a.Retries, 5);
    EXPECT_EQ(a.RetryDelay, 30);
    EXPECT_EQ(t.Site(1).Port, -1);
    // A login type of length 0 is valid and selects none of the three.
    EXPECT_EQ(t.Site(1).LoginType, "");
    EXPECT_EQ(LoginTypeCode(t.Site(1)), ltNone);
}

TEST(SiteRecord, SaveWritesTheFieldsAtTheirOffsets) {
    TTempDir dir;
    TSiteTable t;
    t.AddSite();
    TFTPInfo& s = t.Site(0);
    t.SetSiteName(0, "Work");
    s.Host = "files.example.test";
    s.UserName = "bob";
    s.Password = "plain-text-pw";
    s.Port = 990;
    s.HomeDir = "/home/bob/";
    s.LoginType = LoginTypeText(ltDouble);
    s.TransferMode = "ftASCII";
    s.Retries = 7;
    s.RetryDelay = -3;
    t.Save(dir.Path);

    std::string f = ReadBytes(dir.File("FTPList.dat"));
    ASSERT_EQ(f.size(), 720u);
    EXPECT_EQ(RawStringAt(f, 0), "Work");
    EXPECT_EQ(RawStringAt(f, 101), "files.example.test");
    EXPECT_EQ(RawStringAt(f, 202), "bob");
    EXPECT_EQ(f.substr(303, 14), "\x0dplain-text-pw");
    EXPECT_EQ(RawInt32At(f, 404), 990u);
    EXPECT_EQ(RawStringAt(f, 408), "/home/bob/");
    EXPECT_EQ(RawStringAt(f, 509), "\x03");
    EXPECT_EQ(RawStringAt(f, 610), "ftASCII");
    EXPECT_EQ(RawInt32At(f, 712), 7u);
    EXPECT_EQ(RawInt32At(f, 716), static_cast<uint32_t>(-3));

    struct stat st;
    ASSERT_EQ(stat(dir.File("FTPList.dat").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(SiteRecord, NewSiteValues) {
    TFTPInfo s;
    EXPECT_EQ(s.SiteName, "New Site");
    EXPECT_EQ(s.Port, 21);
    EXPECT_EQ(s.HomeDir, "/");
    EXPECT_EQ(LoginTypeCode(s), ltNormal);
    EXPECT_EQ(s.TransferMode, "ftAvto");
    EXPECT_TRUE(s.Host.empty() && s.UserName.empty() && s.Password.empty());
    EXPECT_EQ(s.Retries, 0);
    EXPECT_EQ(s.RetryDelay, 0);
}

TEST(SiteFile, EmptyFileAndEmptyTable) {
    TTempDir dir;
    WriteBytes(dir.File("FTPList.dat"), "");
    TSiteTable t;
    TSiteLoadReport rep = t.Load(dir.Path);
    EXPECT_TRUE(rep.FileFound);
    EXPECT_EQ(t.SiteHigh(), -1);
    EXPECT_TRUE(rep.Message.empty());
    t.Save(dir.Path);
    EXPECT_TRUE(FileExists(dir.File("FTPList.dat")));
    EXPECT_EQ(ReadBytes(dir.File("FTPList.dat")).size(), 0u);
    EXPECT_EQ(CountDamagedCopies(dir.Path, "FTPList.dat"), 0);
}

TEST(SiteFile, MissingFileIsNoError) {
    TTempDir dir;
    TSiteTable t;
    TSiteLoadReport rep = t.Load(dir.Path);
    EXPECT_FALSE(rep.FileFound);
    EXPECT_EQ(t.SiteHigh(), -1);
    EXPECT_EQ(t.CurrentSite(), 0);
    EXPECT_FALSE(t.HasCurrentSite());
}

TEST(SiteFile, TrailingPartIsIgnoredButTheFileIsKept) {
    TTempDir dir;
    std::string file = RawSiteRecord("one", "h1", "", "", 21, "/", "\x01", "ftAvto", 0, 0) +
                       RawSiteRecord("two", "h2", "", "", 21, "/", "\x01", "ftAvto", 0, 0) + std::string(10, 'x');
    ASSERT_EQ(file.size(), 1450u);
    WriteBytes(dir.File("FTPList.dat"), file);
    TSiteTable t;
    TSiteLoadReport rep = t.Load(dir.Path);
    ASSERT_EQ(t.Count(), 2);
    EXPECT_EQ(t.Site(1).Host, "h2");
    EXPECT_NE(rep.Message.find("FTPList.dat.damaged"), std::string::npos) << rep.Message;

    t.Save(dir.Path);
    EXPECT_EQ(ReadBytes(dir.File("FTPList.dat.damaged")), file);
    EXPECT_EQ(ReadBytes(dir.File("FTPList.dat")).size(), 1440u);
    // Only the first save after the damaged load keeps a copy.
    t.Save(dir.Path);
    EXPECT_EQ(CountDamagedCopies(dir.Path, "FTPList.dat"), 1);
}

TEST(SiteFile, LongStringsAreHeldInMemoryAndCutInTheFile) {
    TTempDir dir;
    TSiteTable t;
    t.AddSite();
    t.Site(0).Host = std::string(130, 'h');
    EXPECT_EQ(t.Site(0).Host.size(), 130u);
    t.Save(dir.Path);
    TSiteTable back;
    back.Load(dir.Path);
    EXPECT_EQ(back.Site(0).Host, std::string(100, 'h'));
}

TEST(SiteFile, CutNeverSplitsAUtf8Sequence) {
    TTempDir dir;
    TSiteTable t;
    t.AddSite();
    // 99 ASCII bytes then a two-byte letter: 101 bytes, cut to 99.
    t.SetSiteName(0, std::string(99, 'a') + "\xC3\xA9");
    // 98 bytes then a three-byte sign: would end two bytes into it, cut to 98.
    t.Site(0).Host = std::string(98, 'b') + "\xE2\x82\xAC" + "tail";
    // Latin-1 bytes are not UTF-8: cut at exactly 100.
    t.Site(0).UserName = std::string(99, 'c') + "\xE9\xE9\xE9";
    t.Save(dir.Path);
    TSiteTable back;
    back.Load(dir.Path);
    EXPECT_EQ(back.Site(0).SiteName, std::string(99, 'a'));
    EXPECT_EQ(back.Site(0).Host, std::string(98, 'b'));
    EXPECT_EQ(back.Site(0).UserName, std::string(99, 'c') + "\xE9");
}

TEST(SiteFile, LengthByteAboveCapacityReadsAsCapacity) {
    TTempDir dir;
    std::string r = RawSiteRecord("x", "h", "u", "p", 21, "/", "\x01", "ftAvto", 1, 2);
    r[0] = '\xFF';    // name claims 255 characters
    r[610] = '\xC8';  // transfer mode claims 200
    WriteBytes(dir.File("FTPList.dat"), r);
    TSiteTable t;
    TSiteLoadReport rep = t.Load(dir.Path);
    ASSERT_EQ(t.Count(), 1);
    EXPECT_EQ(t.Site(0).SiteName.size(), 100u);
    EXPECT_EQ(t.Site(0).SiteName.substr(0, 1), "x");
    EXPECT_EQ(t.Site(0).Host, "h");  // the next field is read from its own offset
    EXPECT_EQ(t.Site(0).TransferMode.size(), 100u);
    EXPECT_EQ(t.Site(0).Retries, 1);
    EXPECT_FALSE(rep.Message.empty());
}

TEST(SiteFile, MoreThan201SitesRoundTrip) {
    TTempDir dir;
    TSiteTable t;
    for (int i = 0; i < 250; ++i) {
        t.AddSite();
        t.SetSiteName(i, "site" + std::to_string(i));
    }
    t.Save(dir.Path);
    EXPECT_EQ(ReadBytes(dir.File("FTPList.dat")).size(), 250u * 720u);
    TSiteTable back;
    back.Load(dir.Path);
    ASSERT_EQ(back.Count(), 250);
    EXPECT_EQ(back.Site(249).SiteName, "site249");
}

TEST(SiteFile, LoadKeepsCurrentSiteAndResetsPairedSlots) {
    TTempDir dir;
    WriteBytes(dir.File("FTPList.dat"), RawSiteRecord("a", "", "", "", 21, "/", "", "", 0, 0) +
                                            RawSiteRecord("b", "", "", "", 21, "/", "", "", 0, 0));
    TRecordingSlots slots;
    slots.Slots = {{"stale", "old"}};
    TSiteTable t;
    t.SetPairedSlots(&slots);
    t.SetCurrentSite(1);
    t.Load(dir.Path);
    EXPECT_EQ(t.CurrentSite(), 1);
    ASSERT_EQ(slots.Slots.size(), 2u);
    EXPECT_EQ(slots.Slots[0].Name, "a");
    EXPECT_EQ(slots.Slots[1].Name, "b");
    EXPECT_EQ(slots.Slots[0].Payload, "");
}

TEST(SiteLookup, NamesCompareExactlyAndTheLastMatchWins) {
    TSiteTable t = TableOf({"Alpha", "beta", "Alpha", "ALPHA"});
    EXPECT_EQ(t.FindLastByName("Alpha"), 2);
    EXPECT_EQ(t.FindLastByName("alpha"), -1);
    EXPECT_EQ(t.FindLastByName("Alpha "), -1);
    t.SetCurrentSite(1);
    EXPECT_FALSE(t.SelectByName("gamma"));
    EXPECT_EQ(t.CurrentSite(), 1);
    EXPECT_TRUE(t.SelectByName("Alpha"));
    EXPECT_EQ(t.CurrentSite(), 2);
}

TEST(SiteEditing, AddAppendsANewSiteWithItsSlot) {
    TRecordingSlots slots;
    TSiteTable t = TableOf({"x", "y"}, &slots);
    t.SetCurrentSite(0);
    t.Site(1).Port = 2000;
    int i = t.AddSite();
    EXPECT_EQ(i, 2);
    EXPECT_EQ(t.CurrentSite(), 2);
    EXPECT_EQ(t.SiteHigh(), 2);
    EXPECT_EQ(t.Site(2), TFTPInfo{});
    ASSERT_EQ(slots.Slots.size(), 3u);
    EXPECT_EQ(slots.Slots[2].Name, "New Site");
    EXPECT_EQ(slots.Slots[2].Payload, "");
}

TEST(SiteEditing, DeleteShiftsSitesAndSlotsTogether) {
    TRecordingSlots slots;
    TSiteTable t = TableOf({"a", "b", "c"}, &slots);
    t.SetCurrentSite(1);
    EXPECT_TRUE(t.DeleteSite(1));
    EXPECT_EQ(Names(t), (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(t.Site(1).Host, "host-of-c");
    ASSERT_EQ(slots.Slots.size(), 2u);
    EXPECT_EQ(slots.Slots[1].Payload, "queue-of-c");
    EXPECT_EQ(t.CurrentSite(), 0);

    EXPECT_FALSE(t.DeleteSite(5));
    EXPECT_FALSE(t.DeleteSite(-1));
    EXPECT_EQ(t.Count(), 2);
    t.DeleteSite(0);
    t.DeleteSite(0);
    EXPECT_EQ(t.SiteHigh(), -1);
    EXPECT_FALSE(t.HasCurrentSite());
    EXPECT_EQ(t.CurrentSiteName(), "");
}

TEST(SiteEditing, RenameMovesTheSlotNameAlong) {
    TRecordingSlots slots;
    TSiteTable t = TableOf({"a", "b"}, &slots);
    t.SetSiteName(1, "renamed");
    EXPECT_EQ(slots.Slots[1].Name, "renamed");
    EXPECT_EQ(slots.Slots[1].Payload, "queue-of-b");
}

TEST(SiteSort, SortsIgnoringCaseAndCarriesSlotsAndCurrentSite) {
    TRecordingSlots slots;
    TSiteTable t = TableOf({"delta", "Bravo", "alpha", "Charlie"}, &slots);
    t.SetCurrentSite(1);  // Bravo
    t.SortByName();
    EXPECT_EQ(Names(t), (std::vector<std::string>{"alpha", "Bravo", "Charlie", "delta"}));
    for (int i = 0; i < t.Count(); ++i) {
        EXPECT_EQ(t.Site(i).Host, "host-of-" + t.Site(i).SiteName);
        EXPECT_EQ(slots.Slots[i].Name, t.Site(i).SiteName);
        EXPECT_EQ(slots.Slots[i].Payload, "queue-of-" + t.Site(i).SiteName);
    }
    EXPECT_EQ(t.CurrentSite(), 1);
    EXPECT_EQ(t.CurrentSiteName(), "Bravo");
}

TEST(SiteSort, TwoNewSitesEndSortedAndTheLaterIsCurrent) {
    TRecordingSlots slots;
    TSiteTable t = TableOf({"zulu", "alpha"}, &slots);
    t.AddSite();
    t.AddSite();
    EXPECT_EQ(t.CurrentSite(), 3);
    t.SortByName();
    EXPECT_EQ(Names(t), (std::vector<std::string>{"alpha", "New Site", "New Site", "zulu"}));
    EXPECT_EQ(t.CurrentSite(), 2);
    EXPECT_EQ(slots.Slots[3].Payload, "queue-of-zulu");
}

TEST(SiteSort, EmptyTableAndNoCurrentSite) {
    TSiteTable t;
    t.SortByName();
    EXPECT_EQ(t.Count(), 0);
    EXPECT_EQ(t.CurrentSite(), 0);
}
