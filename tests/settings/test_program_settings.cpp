#include <gtest/gtest.h>

#include <random>
#include <stdexcept>

#include "settings/program_settings.h"
#include "tests/sites/state_test_util.h"

namespace {

struct TStatusRaw {
    std::string LastSiteName, LocalDir;
    uint32_t Recv = 0, Send = 0;
    std::string Sounds[5];
    uint8_t Flags[6] = {0, 0, 0, 0, 0, 0};
};

// The 1024-byte status record built from the file layout; meaningless bytes are 0xEE.
std::string RawStatusRecord(const TStatusRaw& s) {
    std::string r(1024, '\xEE');
    RawString(r, 0, s.LastSiteName);
    RawString(r, 101, s.LocalDir);
    RawInt32(r, 252, s.Recv);
    RawInt32(r, 256, s.Send);
    const std::size_t soundAt[5] = {260, 411, 562, 713, 864};
    for (int i = 0; i < 5; ++i) RawString(r, soundAt[i], s.Sounds[i]);
    for (int i = 0; i < 6; ++i) r[1015 + i] = static_cast<char>(s.Flags[i]);
    return r;
}

TSiteTable SitesNamed(const std::vector<std::string>& names) {
    TSiteTable t;
    for (const auto& n : names) t.SetSiteName(t.AddSite(), n);
    return t;
}

class TRecordingPlayer : public ISoundPlayer {
public:
    std::vector<std::string> Played;
    bool Throw = false;
    void PlayFile(const std::string& path) override {
        Played.push_back(path);
        if (Throw) throw std::runtime_error("no audio device");
    }
};

}  // namespace

TEST(StatusRecord, EveryFieldLoadsFromItsOffset) {
    TTempDir dir;
    TStatusRaw raw;
    raw.LastSiteName = "b";
    raw.LocalDir = dir.Path;
    raw.Recv = 8192;
    raw.Send = 1024;
    for (int i = 0; i < 5; ++i) raw.Sounds[i] = "/snd/" + std::to_string(i) + ".wav";
    uint8_t flags[6] = {1, 0, 1, 0, 1, 1};
    std::copy(flags, flags + 6, raw.Flags);
    WriteBytes(dir.File("FtpStstus.dat"), RawStatusRecord(raw));

    TSiteTable sites = SitesNamed({"a", "b", "c"});
    sites.SetCurrentSite(0);
    TProgramSettings st;
    TSettingsLoadReport rep = st.Load(dir.Path, sites);
    EXPECT_TRUE(rep.FileFound);
    EXPECT_TRUE(rep.Message.empty());
    EXPECT_EQ(sites.CurrentSite(), 1);
    EXPECT_EQ(rep.LastSiteName, std::optional<std::string>("b"));
    EXPECT_EQ(rep.LocalDirToOpen, std::optional<std::string>(dir.Path));
    EXPECT_EQ(st.Status.RecvBufferSize, 8192);
    EXPECT_EQ(st.Status.SendBufferSize, 1024);
    EXPECT_EQ(st.Status.SoundConnected, "/snd/0.wav");
    EXPECT_EQ(st.Status.SoundDisconnected, "/snd/1.wav");
    EXPECT_EQ(st.Status.SoundBeginTransfer, "/snd/2.wav");
    EXPECT_EQ(st.Status.SoundTransferDone, "/snd/3.wav");
    EXPECT_EQ(st.Status.SoundTransferStopped, "/snd/4.wav");
    EXPECT_TRUE(st.Status.PlayConnected);
    EXPECT_FALSE(st.Status.PlayDisconnected);
    EXPECT_TRUE(st.Status.PlayBeginTransfer);
    EXPECT_FALSE(st.Status.PlayTransferDone);
    EXPECT_TRUE(st.Status.PlayTransferStopped);
    EXPECT_TRUE(st.Status.MinimizeToTray);
}

TEST(StatusRecord, SaveWritesTheFieldsAtTheirOffsets) {
    TTempDir dir;
    TSiteTable sites = SitesNamed({"first", "Current one"});
    sites.SetCurrentSite(1);
    TProgramSettings st;
    st.Status.RecvBufferSize = 16384;
    st.Status.SendBufferSize = 512;
    st.Status.SoundConnected = "/a.wav";
    st.Status.SoundTransferStopped = "/e.wav";
    st.Status.PlayDisconnected = true;
    st.Status.PlayTransferStopped = true;
    st.Status.MinimizeToTray = true;
    st.Save(dir.Path, sites, "/home/user/");

    std::string f = ReadBytes(dir.File("FtpStstus.dat"));
    ASSERT_EQ(f.size(), 1024u);
    EXPECT_EQ(RawStringAt(f, 0), "Current one");
    EXPECT_EQ(RawStringAt(f, 101), "/home/user/");
    EXPECT_EQ(RawInt32At(f, 252), 16384u);
    EXPECT_EQ(RawInt32At(f, 256), 512u);
    EXPECT_EQ(RawStringAt(f, 260), "/a.wav");
    EXPECT_EQ(RawStringAt(f, 411), "");
    EXPECT_EQ(RawStringAt(f, 864), "/e.wav");
    EXPECT_EQ(f.substr(1015, 6), std::string("\0\1\0\0\1\1", 6));
    EXPECT_EQ(f[1020], 1);
}

TEST(StatusFile, FlagByteTwoTurnsASoundOffAndTheTrayOptionOn) {
    TTempDir dir;
    TStatusRaw raw;
    std::fill(raw.Flags, raw.Flags + 6, 2);
    raw.Sounds[0] = "/x.wav";
    WriteBytes(dir.File("FtpStstus.dat"), RawStatusRecord(raw));
    TSiteTable sites;
    TProgramSettings st;
    st.Load(dir.Path, sites);
    EXPECT_FALSE(st.Status.PlayConnected);
    EXPECT_FALSE(st.Status.PlayDisconnected);
    EXPECT_FALSE(st.Status.PlayBeginTransfer);
    EXPECT_FALSE(st.Status.PlayTransferDone);
    EXPECT_FALSE(st.Status.PlayTransferStopped);
    EXPECT_TRUE(st.Status.MinimizeToTray);
}

TEST(StatusFile, BufferSizesOutOfRangeTakeTheirDefaults) {
    struct TCase {
        uint32_t recv, send;
        int32_t wantRecv, wantSend;
    } cases[] = {{0, 0, 4096, 2048},
                 {32768, 32768, 32768, 32768},
                 {32769, 1, 4096, 1},
                 {static_cast<uint32_t>(-5), 40000, 4096, 2048}};
    for (const TCase& c : cases) {
        TTempDir dir;
        TStatusRaw raw;
        raw.Recv = c.recv;
        raw.Send = c.send;
        WriteBytes(dir.File("FtpStstus.dat"), RawStatusRecord(raw));
        TSiteTable sites;
        TProgramSettings st;
        st.Load(dir.Path, sites);
        EXPECT_EQ(st.Status.RecvBufferSize, c.wantRecv) << c.recv;
        EXPECT_EQ(st.Status.SendBufferSize, c.wantSend) << c.send;
    }
}

TEST(StatusFile, WithoutLoadOrApplyZeroSizesAreWrittenAndReadBackAsDefaults) {
    TTempDir dir;
    TSiteTable sites;
    TProgramSettings st;
    st.Save(dir.Path, sites, "");
    std::string f = ReadBytes(dir.File("FtpStstus.dat"));
    EXPECT_EQ(RawInt32At(f, 252), 0u);
    EXPECT_EQ(RawInt32At(f, 256), 0u);
    EXPECT_EQ(RawStringAt(f, 0), "");  // no site at all
    TProgramSettings next;
    next.Load(dir.Path, sites);
    EXPECT_EQ(next.Status.RecvBufferSize, 4096);
    EXPECT_EQ(next.Status.SendBufferSize, 2048);
}

TEST(StatusFile, LocalDirIsRestoredOnlyWhenAbsoluteAndExisting) {
    TTempDir dir;
    std::filesystem::create_directory(dir.File("sub"));
    struct TCase {
        std::string stored;
        bool restored;
    } cases[] = {{dir.File("sub"), true},
                 {dir.File("sub") + "/", true},
                 {"sub", false},
                 {"C:\\Users", false},
                 {dir.File("missing"), false},
                 {dir.File("FtpStstus.dat"), false},  // a file, not a folder
                 {"", false}};
    for (const TCase& c : cases) {
        TStatusRaw raw;
        raw.LocalDir = c.stored;
        WriteBytes(dir.File("FtpStstus.dat"), RawStatusRecord(raw));
        TSiteTable sites;
        TProgramSettings st;
        TSettingsLoadReport rep = st.Load(dir.Path, sites);
        EXPECT_EQ(rep.StoredLocalDir, c.stored);
        EXPECT_EQ(rep.LocalDirToOpen.has_value(), c.restored) << c.stored;
    }
}

TEST(StatusFile, LongSoundPathLastsTheRunAndComesBackCut) {
    TTempDir dir;
    TSiteTable sites;
    TProgramSettings st;
    std::string path = "/" + std::string(199, 's');
    TSettingsDialogValues v = st.DialogValues(4096, 2048);
    v.SoundTransferDone = path;
    ASSERT_TRUE(st.Apply(v).Ok);
    EXPECT_EQ(st.Status.SoundTransferDone, path);
    st.Save(dir.Path, sites, std::string(170, 'd'));
    TProgramSettings back;
    TSettingsLoadReport rep = back.Load(dir.Path, sites);
    EXPECT_EQ(back.Status.SoundTransferDone, path.substr(0, 150));
    EXPECT_EQ(rep.StoredLocalDir.size(), 150u);
}

TEST(StatusFile, NameOfADeletedSiteLeavesTheCurrentSite) {
    TTempDir dir;
    TSiteTable sites = SitesNamed({"keep", "gone", "other"});
    sites.SetCurrentSite(1);
    TProgramSettings st;
    st.Save(dir.Path, sites, "");
    sites.DeleteSite(1);
    sites.SetCurrentSite(1);
    TProgramSettings back;
    TSettingsLoadReport rep = back.Load(dir.Path, sites);
    EXPECT_EQ(sites.CurrentSite(), 1);
    EXPECT_FALSE(rep.LastSiteName.has_value());
}

TEST(StatusFile, TwoSitesOfOneNameRestoreTheLater) {
    TTempDir dir;
    TSiteTable sites = SitesNamed({"dup", "x", "dup", "y"});
    sites.SetCurrentSite(0);
    TProgramSettings st;
    st.Save(dir.Path, sites, "");
    sites.SetCurrentSite(3);
    TProgramSettings back;
    back.Load(dir.Path, sites);
    EXPECT_EQ(sites.CurrentSite(), 2);
}

TEST(StatusFile, ShortFileIsAnErrorThatChangesNothingAndIsKept) {
    TTempDir dir;
    std::string shortFile = RawStatusRecord(TStatusRaw{}).substr(0, 1000);
    WriteBytes(dir.File("FtpStstus.dat"), shortFile);
    TSiteTable sites;
    TProgramSettings st;
    st.Status.RecvBufferSize = 111;
    try {
        st.Load(dir.Path, sites);
        FAIL() << "short file accepted";
    } catch (const EInOutError& e) {
        EXPECT_NE(std::string(e.what()).find("FtpStstus.dat.damaged"), std::string::npos) << e.what();
    }
    EXPECT_EQ(st.Status.RecvBufferSize, 111);
    st.Save(dir.Path, sites, "");
    EXPECT_EQ(ReadBytes(dir.File("FtpStstus.dat.damaged")), shortFile);
    EXPECT_EQ(ReadBytes(dir.File("FtpStstus.dat")).size(), 1024u);
}

TEST(StatusFile, RandomContentsNeverCrash) {
    std::mt19937 rng(4242);
    for (int round = 0; round < 40; ++round) {
        TTempDir dir;
        std::size_t len = std::uniform_int_distribution<std::size_t>(0, 2100)(rng);
        if (round % 2 == 0) len = 1024;
        std::string bytes(len, '\0');
        for (char& c : bytes) c = static_cast<char>(rng());
        WriteBytes(dir.File("FtpStstus.dat"), bytes);
        TSiteTable sites = SitesNamed({"a"});
        TProgramSettings st;
        bool failed = false;
        std::string message;
        try {
            message = st.Load(dir.Path, sites).Message;
        } catch (const EInOutError& e) {
            failed = true;
            message = e.what();
        }
        EXPECT_EQ(failed, len < 1024);
        if (!failed) {
            EXPECT_GE(st.Status.RecvBufferSize, 1);
            EXPECT_LE(st.Status.RecvBufferSize, 32768);
            EXPECT_LE(st.Status.SoundConnected.size(), 150u);
        }
        st.Save(dir.Path, sites, "/");
        if (!message.empty()) {
            EXPECT_EQ(ReadBytes(dir.File("FtpStstus.dat.damaged")), bytes);
        }
    }
}

TEST(StatusFile, FailedSaveKeepsThePreviousFile) {
    TTempDir dir;
    TSiteTable sites = SitesNamed({"a"});
    TProgramSettings st;
    st.Status.RecvBufferSize = 1000;
    st.Save(dir.Path, sites, "/");
    std::string before = ReadBytes(dir.File("FtpStstus.dat"));
    st.Status.RecvBufferSize = 2000;
    TWriteFaultInjection f;
    f.Step = TWriteFaultInjection::Write;
    f.FailAfterBytes = 512;
    SetWriteFaultInjection(f);
    EXPECT_THROW(st.Save(dir.Path, sites, "/"), EInOutError);
    ClearWriteFaultInjection();
    EXPECT_EQ(ReadBytes(dir.File("FtpStstus.dat")), before);
}

TEST(SettingsApply, SizesAreConvertedAndReplacedWhenOutOfRange) {
    TProgramSettings st;
    TSettingsDialogValues v = st.DialogValues(4096, 2048);
    EXPECT_EQ(v.RecvBufferText, "4096");
    EXPECT_EQ(v.SendBufferText, "2048");

    v.RecvBufferText = "0";
    v.SendBufferText = "40000";
    EXPECT_TRUE(st.Apply(v).Ok);
    EXPECT_EQ(st.Status.RecvBufferSize, 4096);
    EXPECT_EQ(st.Status.SendBufferSize, 2048);
    v.RecvBufferText = "32768";
    v.SendBufferText = "1";
    EXPECT_TRUE(st.Apply(v).Ok);
    EXPECT_EQ(st.Status.RecvBufferSize, 32768);
    EXPECT_EQ(st.Status.SendBufferSize, 1);
    EXPECT_EQ(st.DialogValues(32768, 1).RecvBufferText, "32768");
}

TEST(SettingsApply, ANonNumberStopsApplyAtThatField) {
    TProgramSettings st;
    st.Status.RecvBufferSize = 4096;
    st.Status.SendBufferSize = 2048;
    st.Status.SoundConnected = "/old.wav";
    TSettingsDialogValues v;
    v.PlayConnected = true;
    v.MinimizeToTray = true;
    v.RecvBufferText = "";
    v.SendBufferText = "100";
    v.SoundConnected = "/new.wav";
    TSettingsApplyResult r = st.Apply(v);
    EXPECT_FALSE(r.Ok);
    EXPECT_EQ(r.Message, "'' is not a valid integer value");
    EXPECT_TRUE(st.Status.PlayConnected);  // flags come first
    EXPECT_TRUE(st.Status.MinimizeToTray);
    EXPECT_EQ(st.Status.SendBufferSize, 2048);
    EXPECT_EQ(st.Status.SoundConnected, "/old.wav");

    v.RecvBufferText = "8000";
    v.SendBufferText = "1.5";
    r = st.Apply(v);
    EXPECT_EQ(r.Message, "'1.5' is not a valid integer value");
    EXPECT_EQ(st.Status.RecvBufferSize, 8000);  // converted before the refused field
    EXPECT_EQ(st.Status.SendBufferSize, 2048);
    EXPECT_EQ(st.Status.SoundConnected, "/old.wav");
}

TEST(EventSounds, PlayOnlyWhenOnWithAPathAndIgnoreErrors) {
    TProgramSettings st;
    TRecordingPlayer player;
    st.Status.SoundConnected = "/c.wav";
    EXPECT_FALSE(st.PlayEventSound(TSoundEvent::Connected, &player));  // flag off
    st.Status.PlayConnected = true;
    EXPECT_TRUE(st.PlayEventSound(TSoundEvent::Connected, &player));
    st.Status.PlayTransferDone = true;  // on, but no path
    EXPECT_FALSE(st.PlayEventSound(TSoundEvent::TransferDone, &player));
    st.Status.PlayTransferStopped = true;
    st.Status.SoundTransferStopped = "/stop.wav";
    player.Throw = true;
    EXPECT_NO_THROW(st.PlayEventSound(TSoundEvent::TransferStopped, &player));
    EXPECT_EQ(player.Played, (std::vector<std::string>{"/c.wav", "/stop.wav"}));
    EXPECT_FALSE(st.PlayEventSound(TSoundEvent::Connected, nullptr));
}
