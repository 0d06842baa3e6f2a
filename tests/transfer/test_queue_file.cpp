#include <gtest/gtest.h>

#include <random>

#include "transfer/queue_file.h"
#include "transfer/queue_model.h"
#include "tests/sites/state_test_util.h"

namespace {

// A 672-byte queue record built from the file layout; meaningless bytes are 0xEE.
std::string RawQueueRecord(const std::string& site, const std::string& name, const std::string& local, uint64_t size,
                           const std::string& process, const std::string& remote, const std::string& status,
                           uint8_t isFolder) {
    std::string r(672, '\xEE');
    RawString(r, 0, site);
    RawString(r, 108, name);
    RawString(r, 209, local);
    RawInt64(r, 416, size);
    RawString(r, 424, process);
    RawString(r, 445, remote);
    RawString(r, 646, status);
    r[667] = static_cast<char>(isFolder);
    return r;
}

TQueueInfo Entry(const std::string& name, int64_t size, bool folder = false) {
    TQueueInfo e;
    e.FileName = name;
    e.LocalPath = "/home/u/";
    e.FileSize = size;
    e.Process = "Upload";
    e.RemotePath = "/pub/";
    e.IsFolder = folder;
    return e;
}

struct TState {
    TSiteTable Sites;
    TTransferQueue Queue;
    explicit TState(const std::vector<std::string>& names) {
        Sites.SetPairedSlots(&Queue.Stores());
        for (const auto& n : names) Sites.SetSiteName(Sites.AddSite(), n);
    }
};

std::vector<std::string> Names(const std::vector<TQueueInfo>& v) {
    std::vector<std::string> out;
    for (const auto& e : v) out.push_back(e.FileName);
    return out;
}

}  // namespace

TEST(QueueRecord, EveryFieldLoadsFromItsOffset) {
    TTempDir dir;
    WriteBytes(dir.File("FTPQueueStore.dat"),
               RawQueueRecord("site", "big.iso", "/home/u/", 5ULL << 30, "Download", "/pub/iso/", "Aborted", 0) +
                   RawQueueRecord("site", "tree", "/home/u/", static_cast<uint64_t>(-1), "Upload", "/up/", "Ready", 7));
    TState s({"site"});
    TQueueLoadReport rep = s.Queue.LoadQueueFile(dir.Path, std::string("site"));
    EXPECT_TRUE(rep.Message.empty());
    ASSERT_EQ(s.Queue.QueueCount(), 2);
    const TQueueInfo& a = s.Queue.Entry(0);
    EXPECT_EQ(a.FileName, "big.iso");
    EXPECT_EQ(a.LocalPath, "/home/u/");
    EXPECT_EQ(a.FileSize, 5LL << 30);
    EXPECT_EQ(a.Process, "Download");
    EXPECT_EQ(a.RemotePath, "/pub/iso/");
    EXPECT_EQ(a.Status, "Aborted");
    EXPECT_FALSE(a.IsFolder);
    EXPECT_TRUE(s.Queue.Entry(1).IsFolder);  // any non-zero byte
    EXPECT_EQ(s.Queue.Entry(1).FileSize, -1);
    EXPECT_EQ(s.Queue.QueueTotalBytes(), 5LL << 30);
    EXPECT_EQ(s.Queue.SummaryText(), "Queue: 5242880 KB in 2 file(s)");
}

TEST(QueueRecord, SaveWritesTheFieldsAtTheirOffsets) {
    TTempDir dir;
    TState s({"My site"});
    s.Queue.AppendEntry(Entry("movie.mkv", 6LL << 30));
    s.Queue.AppendEntry(Entry("folder", -1, true));
    s.Queue.SaveQueueFiles(dir.Path, s.Sites);
    std::string f = ReadBytes(dir.File("FTPQueueStore.dat"));
    ASSERT_EQ(f.size(), 2u * 672u);
    EXPECT_EQ(RawStringAt(f, 0), "My site");
    EXPECT_EQ(RawStringAt(f, 108), "movie.mkv");
    EXPECT_EQ(RawStringAt(f, 209), "/home/u/");
    EXPECT_EQ(RawInt64At(f, 416), 6ULL << 30);
    EXPECT_EQ(RawStringAt(f, 424), "Upload");
    EXPECT_EQ(RawStringAt(f, 445), "/pub/");
    EXPECT_EQ(RawStringAt(f, 646), "Ready");
    EXPECT_EQ(f[667], 0);
    std::string second = f.substr(672);
    EXPECT_EQ(RawStringAt(second, 108), "folder");
    EXPECT_EQ(RawInt64At(second, 416), ~0ULL);
    EXPECT_EQ(second[667], 1);
}

TEST(QueueRecord, LongFieldsAreCutToTheirCapacities) {
    TQueueFileRecord rec{std::string(120, 's'), Entry(std::string(150, 'n'), 1)};
    rec.Entry.LocalPath = "/" + std::string(250, 'l');
    rec.Entry.Status = std::string(30, 'x');
    TQueueFileRecord back = TQueueFileRecord::Decode(rec.Encode());
    EXPECT_EQ(back.SiteName.size(), 100u);
    EXPECT_EQ(back.Entry.FileName.size(), 100u);
    EXPECT_EQ(back.Entry.LocalPath.size(), 200u);
    EXPECT_EQ(back.Entry.Status.size(), 20u);
}

TEST(QueueFile, StartUpFillsEveryMatchingStoreAndShowsTheLastSitesQueue) {
    TTempDir dir;
    WriteBytes(dir.File("FTPQueueStore.dat"), RawQueueRecord("A", "a1", "/", 10, "Download", "/", "Ready", 0) +
                                                  RawQueueRecord("gone", "lost", "/", 10, "Download", "/", "Ready", 0) +
                                                  RawQueueRecord("B", "b1", "/", 2000, "Download", "/", "Ready", 0) +
                                                  RawQueueRecord("A", "a2", "/", 20, "Download", "/", "Ready", 0));
    TState s({"A", "B", "A"});
    TQueueLoadReport rep = s.Queue.LoadQueueFile(dir.Path, std::string("A"));
    EXPECT_EQ(rep.RecordsRead, 4);
    EXPECT_EQ(rep.RecordsUnknownSite, 1);
    EXPECT_EQ(Names(s.Queue.Stores().Slot(0).Items), (std::vector<std::string>{"a1", "a2"}));
    EXPECT_EQ(Names(s.Queue.Stores().Slot(1).Items), (std::vector<std::string>{"b1"}));
    EXPECT_EQ(Names(s.Queue.Stores().Slot(2).Items), (std::vector<std::string>{"a1", "a2"}));
    EXPECT_EQ(Names(s.Queue.QueueEntries()), (std::vector<std::string>{"a1", "a2"}));
    EXPECT_EQ(s.Queue.QueueTotalBytes(), 30);
    EXPECT_EQ(s.Queue.SummaryText(), "Queue: 30   B in 2 file(s)");

    // Without a remembered site the live queue stays empty.
    TState t({"A", "B"});
    t.Queue.LoadQueueFile(dir.Path, std::nullopt);
    EXPECT_EQ(t.Queue.QueueCount(), 0);
    EXPECT_EQ(t.Queue.Stores().Slot(1).Count(), 1);
    EXPECT_EQ(t.Queue.SummaryText(), "Queue: 0   B in 0 file(s)");
}

TEST(QueueFile, MissingFileLeavesEverythingEmpty) {
    TTempDir dir;
    TState s({"A"});
    TQueueLoadReport rep = s.Queue.LoadQueueFile(dir.Path, std::string("A"));
    EXPECT_FALSE(rep.FileFound);
    EXPECT_EQ(s.Queue.QueueCount(), 0);
    EXPECT_EQ(s.Queue.SummaryText(), "Queue: 0   B in 0 file(s)");
}

TEST(QueueFile, EmptyLiveQueueWritesNoRecordsAndOtherSitesStayUnchanged) {
    TTempDir dir;
    std::string recA = RawQueueRecord("A", "a1", "/x/", 1, "Download", "/", "Ready", 0);
    std::string recB1 = RawQueueRecord("B", "b1", "/y/", 2, "Upload", "/up/", "Aborted", 0);
    std::string recB2 = RawQueueRecord("B", "bdir", "/y/", static_cast<uint64_t>(-1), "Upload", "/up/", "Ready", 1);
    WriteBytes(dir.File("FTPQueueStore.dat"), recA + recB1 + recB2);
    TState s({"A", "B"});
    s.Queue.LoadQueueFile(dir.Path, std::string("A"));
    s.Sites.SetCurrentSite(0);
    s.Queue.RemoveAllEntries();
    s.Queue.SaveQueueFiles(dir.Path, s.Sites);

    std::string f = ReadBytes(dir.File("FTPQueueStore.dat"));
    ASSERT_EQ(f.size(), 2u * 672u);
    // Every meaningful byte of B's records comes back as it was.
    TQueueFileRecord b1 = TQueueFileRecord::Decode(f.substr(0, 672));
    TQueueFileRecord b2 = TQueueFileRecord::Decode(f.substr(672));
    EXPECT_EQ(b1.SiteName, "B");
    EXPECT_EQ(b1.Entry, TQueueFileRecord::Decode(recB1).Entry);
    EXPECT_EQ(b2.Entry, TQueueFileRecord::Decode(recB2).Entry);
    EXPECT_EQ(f.substr(0, 101), recB1.substr(0, 1) + "B" + std::string(99, '\0'));
}

TEST(QueueFile, RecordsOfAnUnknownSiteSurviveSavesAndComeBackWithTheSite) {
    TTempDir dir;
    TState s({"A", "B", "C"});
    s.Queue.Stores().Slot(1).Items = {Entry("b", 1)};
    s.Queue.Stores().Slot(2).Items = {Entry("c", 1)};
    s.Sites.SetCurrentSite(0);
    s.Queue.SaveQueueFiles(dir.Path, s.Sites);
    EXPECT_EQ(ReadBytes(dir.File("FTPQueueStore.dat")).size(), 2u * 672u);

    TState next({"A", "C"});  // B deleted in the next run
    next.Sites.SetCurrentSite(0);
    TQueueLoadReport rep = next.Queue.LoadQueueFile(dir.Path, std::string("A"));
    EXPECT_EQ(rep.RecordsUnknownSite, 1);
    next.Queue.SaveQueueFiles(dir.Path, next.Sites);
    std::string f = ReadBytes(dir.File("FTPQueueStore.dat"));
    ASSERT_EQ(f.size(), 2u * 672u);
    EXPECT_EQ(RawStringAt(f, 0), "C");
    EXPECT_EQ(RawStringAt(f, 672), "B");
    EXPECT_EQ(CountDamagedCopies(dir.Path, "FTPQueueStore.dat"), 0);

    // A site of that name added later takes its queue back.
    TState third({"A", "C"});
    third.Queue.LoadQueueFile(dir.Path, std::string("A"));
    third.Queue.Stores().SiteAdded(2, "B");
    EXPECT_EQ(Names(third.Queue.Stores().Slot(2).Items), (std::vector<std::string>{"b"}));
    EXPECT_TRUE(third.Queue.Stores().Orphans.empty());
}

TEST(QueueFile, SitesOfOneNameKeepOneCopyOfTheirQueueAcrossRestarts) {
    TTempDir dir;
    TState s({"A", "B", "A"});
    s.Sites.SetCurrentSite(2);
    s.Queue.AppendEntry(Entry("a1", 1));
    s.Queue.AppendEntry(Entry("a2", 2));
    for (int run = 0; run < 3; ++run) {
        s.Queue.SaveQueueFiles(dir.Path, s.Sites);
        EXPECT_EQ(ReadBytes(dir.File("FTPQueueStore.dat")).size(), 2u * 672u) << run;
        s.Queue.LoadQueueFile(dir.Path, std::string("A"));
        EXPECT_EQ(Names(s.Queue.QueueEntries()), (std::vector<std::string>{"a1", "a2"})) << run;
    }
    // Stores of one name that differ are both kept: nothing is lost.
    s.Queue.Stores().Slot(0).Items = {Entry("other", 1)};
    s.Queue.Stores().Slot(2).Items = {Entry("a1", 1)};
    s.Sites.SetCurrentSite(1);  // B takes the two live entries
    s.Queue.SaveQueueFiles(dir.Path, s.Sites);
    EXPECT_EQ(ReadBytes(dir.File("FTPQueueStore.dat")).size(), 4u * 672u);
}

TEST(QueueFile, StoreWhoseNameDiffersFromItsSiteIsNotWritten) {
    TTempDir dir;
    TState s({"A", "B"});
    s.Queue.Stores().Slot(1).Items = {Entry("b", 1)};
    s.Queue.Stores().Slot(1).SiteName = "stale";
    s.Queue.SaveQueueFiles(dir.Path, s.Sites);
    EXPECT_EQ(ReadBytes(dir.File("FTPQueueStore.dat")), "");
}

TEST(QueueFile, SavesTheLiveQueueUnderTheCurrentSite) {
    TTempDir dir;
    TState s({"A", "B"});
    s.Sites.SetCurrentSite(1);
    s.Queue.AppendEntry(Entry("live", 3));
    s.Queue.SaveQueueFiles(dir.Path, s.Sites);
    EXPECT_EQ(Names(s.Queue.Stores().Slot(1).Items), (std::vector<std::string>{"live"}));
    std::string f = ReadBytes(dir.File("FTPQueueStore.dat"));
    ASSERT_EQ(f.size(), 672u);
    EXPECT_EQ(RawStringAt(f, 0), "B");
}

TEST(QueueFile, MoreThan1001StoredEntriesRoundTrip) {
    TTempDir dir;
    TState s({"A"});
    for (int i = 0; i < 1200; ++i) s.Queue.AppendEntry(Entry("f" + std::to_string(i), i));
    s.Queue.SaveQueueFiles(dir.Path, s.Sites);
    TState back({"A"});
    back.Queue.LoadQueueFile(dir.Path, std::string("A"));
    ASSERT_EQ(back.Queue.QueueCount(), 1200);
    EXPECT_EQ(back.Queue.Entry(1199).FileName, "f1199");
    EXPECT_EQ(back.Queue.QueueTotalBytes(), 1199LL * 1200 / 2);
}

TEST(QueueFile, FailedSaveKeepsThePreviousFile) {
    TTempDir dir;
    TState s({"A"});
    s.Queue.AppendEntry(Entry("one", 1));
    s.Queue.SaveQueueFiles(dir.Path, s.Sites);
    std::string before = ReadBytes(dir.File("FTPQueueStore.dat"));
    s.Queue.AppendEntry(Entry("two", 2));
    TWriteFaultInjection f;
    f.Step = TWriteFaultInjection::Rename;
    f.ErrorCode = 5;  // EIO
    SetWriteFaultInjection(f);
    EXPECT_THROW(s.Queue.SaveQueueFiles(dir.Path, s.Sites), EInOutError);
    ClearWriteFaultInjection();
    EXPECT_EQ(ReadBytes(dir.File("FTPQueueStore.dat")), before);
    EXPECT_EQ(CountHiddenFiles(dir.Path), 0);
}

TEST(QueueFile, DamagedFilesLoadWhatTheyCanAndAreKept) {
    std::mt19937 rng(672);
    for (int round = 0; round < 50; ++round) {
        TTempDir dir;
        std::string bytes;
        int records = std::uniform_int_distribution<int>(0, 4)(rng);
        for (int k = 0; k < records; ++k)
            bytes += RawQueueRecord("A", "f" + std::to_string(k), "/", k, "Download", "/", "Ready", 0);
        // Damage: random bytes anywhere, a length byte of 255, or a cut tail.
        int kind = round % 3;
        if (kind == 0)
            for (char& c : bytes)
                if (rng() % 50 == 0) c = static_cast<char>(rng());
        if (kind == 1 && !bytes.empty())
            bytes[std::uniform_int_distribution<std::size_t>(0, bytes.size() - 1)(rng) / 672 * 672 + 108] = '\xFF';
        if (kind == 2) bytes += std::string(std::uniform_int_distribution<std::size_t>(1, 671)(rng), 'x');
        WriteBytes(dir.File("FTPQueueStore.dat"), bytes);

        TState s({"A"});
        TQueueLoadReport rep = s.Queue.LoadQueueFile(dir.Path, std::string("A"));
        EXPECT_EQ(rep.RecordsRead, static_cast<int>(bytes.size() / 672));
        EXPECT_LE(s.Queue.QueueCount(), rep.RecordsRead);
        for (const TQueueInfo& e : s.Queue.QueueEntries()) EXPECT_LE(e.FileName.size(), 100u);
        EXPECT_GE(s.Queue.QueueTotalBytes(), 0);
        s.Queue.SaveQueueFiles(dir.Path, s.Sites);
        if (!rep.Message.empty()) {
            EXPECT_EQ(ReadBytes(dir.File("FTPQueueStore.dat.damaged")), bytes);
        }
        if (kind != 0) {
            bool expectDamage = kind == 2 || records > 0;
            EXPECT_EQ(!rep.Message.empty(), expectDamage) << "kind " << kind;
        }
    }
}

TEST(QueueFile, ReadErrorChangesNothing) {
    TTempDir dir;
    std::filesystem::create_directory(dir.File("FTPQueueStore.dat"));
    TState s({"A"});
    s.Queue.Stores().Slot(0).Items = {Entry("kept", 1)};
    EXPECT_THROW(s.Queue.LoadQueueFile(dir.Path, std::string("A")), EInOutError);
    EXPECT_EQ(s.Queue.Stores().Slot(0).Count(), 1);
    EXPECT_EQ(s.Queue.QueueCount(), 0);
}
