#include <gtest/gtest.h>

#include <random>

#include <sys/stat.h>

#include <cstdlib>

#include "sites/data_file.h"
#include "sites/record_codec.h"
#include "sites/site_table.h"
#include "sites/text_convert.h"
#include "tests/sites/state_test_util.h"

namespace {

struct TFaultGuard {
    explicit TFaultGuard(const TWriteFaultInjection& f) { SetWriteFaultInjection(f); }
    ~TFaultGuard() { ClearWriteFaultInjection(); }
};

TSiteTable ThreeSites() {
    TSiteTable t;
    for (const char* n : {"one", "two", "three"}) t.SetSiteName(t.AddSite(), n);
    return t;
}

}  // namespace

TEST(AtomicSave, FailureAtAnyStepLeavesThePreviousFileIntact) {
    TTempDir dir;
    TSiteTable old = ThreeSites();
    old.Save(dir.Path);
    const std::string before = ReadBytes(dir.File("FTPList.dat"));
    ASSERT_EQ(before.size(), 3u * 720u);

    TSiteTable changed;
    changed.SetSiteName(changed.AddSite(), "only");
    for (auto step : {TWriteFaultInjection::Create, TWriteFaultInjection::Write, TWriteFaultInjection::Sync,
                      TWriteFaultInjection::Rename}) {
        TWriteFaultInjection f;
        f.Step = step;
        f.FailAfterBytes = 300;
        f.ErrorCode = 28;  // ENOSPC
        TFaultGuard guard(f);
        try {
            changed.Save(dir.Path);
            ADD_FAILURE() << "save reported success at step " << step;
        } catch (const EInOutError& e) {
            EXPECT_EQ(e.ErrorCode, 28);
            EXPECT_NE(std::string(e.what()).find("FTPList.dat"), std::string::npos);
        }
        EXPECT_EQ(ReadBytes(dir.File("FTPList.dat")), before) << "step " << step;
        EXPECT_EQ(CountHiddenFiles(dir.Path), 0) << "temporary file left at step " << step;
    }
    changed.Save(dir.Path);
    EXPECT_EQ(ReadBytes(dir.File("FTPList.dat")).size(), 720u);
}

TEST(AtomicSave, CreatesTheDataFolder) {
    TTempDir dir;
    std::string nested = dir.Path + "/a/b/orlix-ftp/";
    TSiteTable t = ThreeSites();
    t.Save(nested);
    EXPECT_EQ(ReadBytes(nested + "FTPList.dat").size(), 3u * 720u);
}

// The one lookup of the data folder: XDG_DATA_HOME when absolute, else the home folder's.
TEST(DataFolder, FollowsXdgDataHomeThenHomeAndIsPrivate) {
    TTempDir dir;
    const char* savedXdg = std::getenv("XDG_DATA_HOME");
    const char* savedHome = std::getenv("HOME");
    const std::string xdg0 = savedXdg ? savedXdg : "", home0 = savedHome ? savedHome : "";
    struct Case {
        std::string xdg, home, want;
    } cases[] = {
        {dir.Path + "/xdg", dir.Path + "/h1", dir.Path + "/xdg/orlix-ftp/"},
        {"relative/xdg", dir.Path + "/h2", dir.Path + "/h2/.local/share/orlix-ftp/"},
        {"", dir.Path + "/h3/", dir.Path + "/h3/.local/share/orlix-ftp/"},
    };
    for (const Case& c : cases) {
        setenv("XDG_DATA_HOME", c.xdg.c_str(), 1);
        setenv("HOME", c.home.c_str(), 1);
        EXPECT_EQ(ProgramDataFolder(), c.want);
        struct stat st {};
        ASSERT_EQ(::stat(c.want.c_str(), &st), 0) << c.want;
        EXPECT_EQ(st.st_mode & 0777, 0700u);
    }
    if (savedXdg)
        setenv("XDG_DATA_HOME", xdg0.c_str(), 1);
    else
        unsetenv("XDG_DATA_HOME");
    if (savedHome)
        setenv("HOME", home0.c_str(), 1);
    else
        unsetenv("HOME");
}

TEST(DamagedFile, UnreadableFileRaisesAndIsKeptBeforeTheNextSave) {
    TTempDir dir;
    // A folder in place of the file cannot be read as one.
    std::filesystem::create_directory(dir.File("FTPList.dat"));
    WriteBytes(dir.File("FTPList.dat/marker"), "old");
    TSiteTable t;
    try {
        t.Load(dir.Path);
        FAIL() << "load of an unreadable file succeeded";
    } catch (const EInOutError& e) {
        EXPECT_NE(std::string(e.what()).find("FTPList.dat.damaged"), std::string::npos) << e.what();
    }
    t.SetSiteName(t.AddSite(), "fresh");
    t.Save(dir.Path);
    EXPECT_EQ(ReadBytes(dir.File("FTPList.dat.damaged/marker")), "old");
    EXPECT_EQ(ReadBytes(dir.File("FTPList.dat")).size(), 720u);
}

TEST(DamagedFile, AnEarlierCopyIsNeverOverwritten) {
    TTempDir dir;
    WriteBytes(dir.File("FTPList.dat.damaged"), "first damage");
    WriteBytes(dir.File("FTPList.dat"), std::string(725, 'z'));
    TSiteTable t;
    TSiteLoadReport rep = t.Load(dir.Path);
    EXPECT_NE(rep.Message.find("FTPList.dat.damaged.1"), std::string::npos) << rep.Message;
    t.Save(dir.Path);
    EXPECT_EQ(ReadBytes(dir.File("FTPList.dat.damaged")), "first damage");
    EXPECT_EQ(ReadBytes(dir.File("FTPList.dat.damaged.1")), std::string(725, 'z'));
}

TEST(DamagedFile, AFileThatWasNeverLoadedIsKeptBeforeItIsReplaced) {
    TTempDir dir;
    WriteBytes(dir.File("FTPList.dat"), std::string(720, '\0'));
    TSiteTable t;  // e.g. start-up loading stopped before this file
    t.Save(dir.Path);
    EXPECT_EQ(ReadBytes(dir.File("FTPList.dat.damaged")), std::string(720, '\0'));
    EXPECT_EQ(ReadBytes(dir.File("FTPList.dat")), "");
}

TEST(DamagedFile, RandomContentsNeverCrashAndAreKept) {
    std::mt19937 rng(20261208);
    for (int round = 0; round < 60; ++round) {
        TTempDir dir;
        std::size_t len = std::uniform_int_distribution<std::size_t>(0, 4 * 720 + 50)(rng);
        if (round % 3 == 0) len = (len / 720) * 720;  // whole records of random bytes
        std::string bytes(len, '\0');
        for (char& c : bytes) c = static_cast<char>(rng());
        WriteBytes(dir.File("FTPList.dat"), bytes);

        TSiteTable t;
        TSiteLoadReport rep = t.Load(dir.Path);
        ASSERT_EQ(t.Count(), static_cast<int>(len / 720));
        for (const TFTPInfo& s : t.Sites()) {
            EXPECT_LE(s.SiteName.size(), 100u);
            EXPECT_LE(s.Password.size(), 100u);
            EXPECT_LE(s.TransferMode.size(), 100u);
        }
        t.Save(dir.Path);
        if (!rep.Message.empty()) {
            EXPECT_EQ(ReadBytes(dir.File("FTPList.dat.damaged")), bytes);
        } else {
            // Accepted as sound: saving gives back every meaningful byte, so the file loads the same.
            TSiteTable again;
            again.Load(dir.Path);
            EXPECT_EQ(again.Sites(), t.Sites());
        }
    }
}

TEST(RecordCodec, CutToCapacity) {
    EXPECT_EQ(CutToCapacity("abc", 3), "abc");
    EXPECT_EQ(CutToCapacity("abcd", 3), "abc");
    EXPECT_EQ(CutToCapacity("ab\xC3\xA9", 3), "ab");
    EXPECT_EQ(CutToCapacity("ab\xC3\xA9", 4), "ab\xC3\xA9");
    EXPECT_EQ(CutToCapacity("a\xF0\x9F\x98\x80z", 4), "a");
    EXPECT_EQ(CutToCapacity("a\xF0\x9F\x98\x80z", 5), "a\xF0\x9F\x98\x80");
    EXPECT_EQ(CutToCapacity("ab\xE2\x82\xAC", 4), "ab");
    // Stray high bytes (another 8-bit encoding) are cut exactly.
    EXPECT_EQ(CutToCapacity("ab\xE2xyz", 3), "ab\xE2");
    EXPECT_EQ(CutToCapacity("\xA9\xA9\xA9\xA9\xA9", 3), "\xA9\xA9\xA9");
}

TEST(RecordCodec, IntegersAreLittleEndianAndSigned) {
    std::string r(12, '\0');
    PutInt32LE(r, 0, -2);
    PutInt64LE(r, 4, 5LL * 1024 * 1024 * 1024);
    EXPECT_EQ(r.substr(0, 4), std::string("\xFE\xFF\xFF\xFF", 4));
    EXPECT_EQ(RawInt64At(r, 4), 5ULL * 1024 * 1024 * 1024);
    EXPECT_EQ(GetInt32LE(r, 0), -2);
    EXPECT_EQ(GetInt64LE(r, 4), 5LL * 1024 * 1024 * 1024);
}

TEST(TextConvert, WholeNumbers) {
    int32_t v = 0;
    EXPECT_TRUE(TryStrToInt("4096", v));
    EXPECT_EQ(v, 4096);
    EXPECT_TRUE(TryStrToInt("  -12", v));
    EXPECT_EQ(v, -12);
    EXPECT_TRUE(TryStrToInt("-2147483648", v));
    EXPECT_EQ(v, INT32_MIN);
    v = 77;
    for (const char* bad : {"", " ", "-", "1.", "1,5", "12a", "2147483648", "99999999999999999999", "4 "}) {
        EXPECT_FALSE(TryStrToInt(bad, v)) << bad;
        EXPECT_EQ(v, 77);
    }
    EXPECT_EQ(InvalidIntegerMessage(""), "'' is not a valid integer value");
    EXPECT_EQ(InvalidIntegerMessage("1."), "'1.' is not a valid integer value");
}

TEST(TextConvert, NumberKeyFilter) {
    EXPECT_TRUE(IsNumberKeyAccepted('7', "", '.'));
    EXPECT_TRUE(IsNumberKeyAccepted(8, "12", '.'));
    EXPECT_TRUE(IsNumberKeyAccepted('.', "1", '.'));
    EXPECT_FALSE(IsNumberKeyAccepted('.', "1.", '.'));
    EXPECT_FALSE(IsNumberKeyAccepted('-', "", '.'));
    EXPECT_FALSE(IsNumberKeyAccepted('a', "", ','));
    EXPECT_EQ(WrongNumberKeyMessage('x'), "Please enter a number.  Wrong input: x");
}

TEST(TextConvert, CompareIgnoringCase) {
    EXPECT_EQ(CompareTextIgnoreCase("abc", "ABC"), 0);
    EXPECT_LT(CompareTextIgnoreCase("Apple", "banana"), 0);
    EXPECT_GT(CompareTextIgnoreCase("b", "A"), 0);
    EXPECT_LT(CompareTextIgnoreCase("ab", "abc"), 0);
}
