#include <limits>

#include <gtest/gtest.h>

#include "transfer/queue_model.h"

namespace {

TQueueInfo File(const std::string& name, int64_t size, const std::string& dir = "/l/") {
    TQueueInfo e;
    e.FileName = name;
    e.LocalPath = dir;
    e.FileSize = size;
    e.Process = "Download";
    e.RemotePath = "/r/";
    return e;
}

TQueueInfo Folder(const std::string& name) {
    TQueueInfo e = File(name, -1);
    e.IsFolder = true;
    return e;
}

// Keeps a copy of the rows as a view would, and a log of the calls.
class TRecordingView : public IQueueView {
public:
    std::vector<TQueueRow> Rows;
    std::vector<std::string> Log;
    std::string Summary;
    int Selected = -1;

    void QueueRowsCleared() override {
        Rows.clear();
        Log.push_back("clear");
    }
    void QueueRowInserted(int row, const TQueueRow& t) override {
        Rows.insert(Rows.begin() + row, t);
        Log.push_back("insert " + std::to_string(row));
    }
    void QueueRowDeleted(int row) override {
        Rows.erase(Rows.begin() + row);
        Log.push_back("delete " + std::to_string(row));
    }
    void QueueRowRebuilt(int row, const TQueueRow& t) override {
        Rows.at(row) = t;
        Log.push_back("rebuild " + std::to_string(row));
    }
    void QueueRowSelected(int row) override {
        Selected = row;
        Log.push_back("select " + std::to_string(row));
    }
    void QueueSummaryChanged(const std::string& text) override {
        Summary = text;
        Log.push_back("summary");
    }
    std::vector<std::string> Refused;
    void QueueEntryRefused(const std::string& message) override { Refused.push_back(message); }
    std::vector<std::string> Captions() const {
        std::vector<std::string> v;
        for (const auto& r : Rows) v.push_back(r.Caption);
        return v;
    }
};

class QueueTest : public ::testing::Test {
protected:
    void SetUp() override { Q.SetView(&View); }
    void Fill(const std::vector<TQueueInfo>& entries) {
        for (const auto& e : entries) Q.AppendEntry(e);
        View.Log.clear();
    }
    std::vector<std::string> Names() const {
        std::vector<std::string> v;
        for (const auto& e : Q.QueueEntries()) v.push_back(e.FileName);
        return v;
    }
    // The view's rows always mirror the entries.
    void ExpectRowsMirrorEntries() const {
        ASSERT_EQ(View.Rows.size(), Q.QueueEntries().size());
        for (int i = 0; i < Q.QueueCount(); ++i) EXPECT_EQ(View.Rows[i].Caption, Q.Entry(i).FileName) << i;
    }
    TTransferQueue Q;
    TRecordingView View;
};

}  // namespace

TEST(QueueTexts, SizeColumn) {
    EXPECT_EQ(QueueSizeText(File("a", 1024), TFolderRule::ByIsFolder), "1024");
    EXPECT_EQ(QueueSizeText(File("a", 1025), TFolderRule::ByIsFolder), "1 KB");
    EXPECT_EQ(QueueSizeText(File("a", 2047), TFolderRule::ByIsFolder), "1 KB");
    EXPECT_EQ(QueueSizeText(File("a", 2048), TFolderRule::ByIsFolder), "2 KB");
    EXPECT_EQ(QueueSizeText(File("a", 0), TFolderRule::ByIsFolder), "0");
    EXPECT_EQ(QueueSizeText(File("a", 5LL << 30), TFolderRule::ByIsFolder), "5242880 KB");
    EXPECT_EQ(QueueSizeText(Folder("d"), TFolderRule::ByIsFolder), "File Folder");
    EXPECT_EQ(QueueSizeText(Folder("d"), TFolderRule::ByFileSize), "File Folder");
    // An upload whose local file vanished: -1 when added, "File Folder" once its status row is rebuilt.
    EXPECT_EQ(QueueSizeText(File("gone", -1), TFolderRule::ByIsFolder), "-1");
    EXPECT_EQ(QueueSizeText(File("gone", -1), TFolderRule::ByFileSize), "File Folder");
}

TEST(QueueTexts, Summary) {
    EXPECT_EQ(QueueSummaryText(100, 2), "Queue: 100   B in 2 file(s)");
    EXPECT_EQ(QueueSummaryText(1024, 1), "Queue: 1024   B in 1 file(s)");
    EXPECT_EQ(QueueSummaryText(1025, 1), "Queue: 1 KB in 1 file(s)");
    EXPECT_EQ(QueueSummaryText(0, 0), "Queue: 0   B in 0 file(s)");
}

TEST_F(QueueTest, FileAndFolderGiveTheBytesSummary) {
    Q.AppendEntry(File("a.txt", 100));
    Q.AppendEntry(Folder("dir"));
    EXPECT_EQ(Q.QueueTotalBytes(), 100);
    EXPECT_EQ(View.Summary, "Queue: 100   B in 2 file(s)");
    EXPECT_EQ(View.Rows[1].SizeText, "File Folder");
}

TEST_F(QueueTest, TotalIsSixtyFourBit) {
    Q.AppendEntry(File("big.iso", 5LL * 1024 * 1024 * 1024));
    Q.AppendEntry(File("other", 3LL * 1024 * 1024 * 1024));
    EXPECT_EQ(Q.QueueTotalBytes(), 8LL * 1024 * 1024 * 1024);
    EXPECT_EQ(Q.SummaryText(), "Queue: 8388608 KB in 2 file(s)");
    Q.RemoveSelectedEntry(0);
    EXPECT_EQ(Q.QueueTotalBytes(), 3LL * 1024 * 1024 * 1024);
    // Sizes a damaged queue file claims may add up past 64 bits: the total stops at the largest.
    const int64_t huge = std::numeric_limits<int64_t>::max() - 1;
    Q.AppendEntry(File("claims", huge));
    EXPECT_EQ(Q.QueueTotalBytes(), std::numeric_limits<int64_t>::max());
    Q.RemoveSelectedEntry(1);
    EXPECT_EQ(Q.QueueTotalBytes(), 3LL * 1024 * 1024 * 1024);
}

TEST_F(QueueTest, UnknownSizeCountsNothing) {
    Q.AppendEntry(File("gone", -1));
    Q.AppendEntry(File("x", 10));
    EXPECT_EQ(Q.QueueTotalBytes(), 10);
    Q.RemoveSelectedEntry(0);
    EXPECT_EQ(Q.QueueTotalBytes(), 10);
}

TEST_F(QueueTest, InsertAtPositionAndAppend) {
    Fill({File("a", 1), File("b", 1)});
    EXPECT_EQ(Q.InsertEntry(File("x", 1), 0), 0);
    EXPECT_EQ(Q.InsertEntry(File("y", 1), 0), 0);   // the later insertion ends up in front
    EXPECT_EQ(Q.InsertEntry(File("z", 1), 99), 4);  // past the end appends
    EXPECT_EQ(Q.InsertEntry(File("w", 1), 2), 2);
    EXPECT_EQ(Names(), (std::vector<std::string>{"y", "x", "w", "a", "b", "z"}));
    ExpectRowsMirrorEntries();
    EXPECT_EQ(View.Summary, "Queue: 6   B in 6 file(s)");
}

TEST_F(QueueTest, RemoveSelectedTakesTheSelectedRowNotOneOfTheSameName) {
    Fill({File("same.txt", 10, "/one/"), File("other", 5), File("same.txt", 20, "/two/")});
    Q.RemoveSelectedEntry(0);
    ASSERT_EQ(Q.QueueCount(), 2);
    EXPECT_EQ(Q.Entry(1).LocalPath, "/two/");
    EXPECT_EQ(View.Log, (std::vector<std::string>{"delete 0", "summary"}));
    EXPECT_EQ(Q.QueueTotalBytes(), 25);
    ExpectRowsMirrorEntries();
    View.Log.clear();
    Q.RemoveSelectedEntry(-1);
    Q.RemoveSelectedEntry(7);
    EXPECT_TRUE(View.Log.empty());
}

TEST_F(QueueTest, RemoveAllEmptiesTheSummaryUntilTheNextAddition) {
    Fill({File("a", 1), Folder("d")});
    Q.RemoveAllEntries();
    EXPECT_EQ(Q.QueueCount(), 0);
    EXPECT_EQ(Q.QueueTotalBytes(), 0);
    EXPECT_EQ(View.Summary, "");
    EXPECT_TRUE(View.Rows.empty());
    View.Log.clear();
    Q.RemoveAllEntries();  // empty list: nothing happens
    EXPECT_TRUE(View.Log.empty());
    Q.AppendEntry(File("b", 2000));
    EXPECT_EQ(View.Summary, "Queue: 1 KB in 1 file(s)");
}

TEST_F(QueueTest, ResetStatuses) {
    TQueueInfo aborted = File("gone", -1);
    aborted.Status = "Aborted";
    Fill({File("a", 1), aborted, File("c", 1)});
    Q.ResetSelectedStatus(0);  // "Ready" stays
    EXPECT_TRUE(View.Log.empty());
    Q.ResetSelectedStatus(1);
    EXPECT_EQ(Q.Entry(1).Status, "Ready");
    EXPECT_EQ(View.Log, (std::vector<std::string>{"rebuild 1"}));
    EXPECT_EQ(View.Rows[1].Status, "Ready");
    EXPECT_EQ(View.Rows[1].SizeText, "File Folder");  // status rows decide by FileSize -1

    Q.SetEntryStatus(0, "Aborted");
    Q.SetEntryStatus(2, "Aborted");
    View.Log.clear();
    Q.ResetAllStatuses();
    EXPECT_EQ(View.Log, (std::vector<std::string>{"rebuild 0", "rebuild 2"}));
    for (const auto& e : Q.QueueEntries()) EXPECT_EQ(e.Status, "Ready");
}

TEST_F(QueueTest, MovesAtTheEndsOrWithoutSelectionChangeNothing) {
    Fill({File("a", 1), File("b", 1), File("c", 1)});
    Q.MoveEntryUp(0);
    Q.MoveEntryToTop(0);
    Q.MoveEntryDown(2);
    Q.MoveEntryUp(-1);
    Q.MoveEntryDown(-1);
    Q.MoveEntryToTop(-1);
    Q.MoveEntryDown(3);
    EXPECT_EQ(Names(), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_TRUE(View.Log.empty());
}

TEST_F(QueueTest, MovesRebuildTheirRowsAndSelectTheMovedEntry) {
    Fill({File("a", 1), File("b", 1), File("c", 1), File("d", 1)});
    Q.MoveEntryUp(2);
    EXPECT_EQ(Names(), (std::vector<std::string>{"a", "c", "b", "d"}));
    EXPECT_EQ(View.Log, (std::vector<std::string>{"rebuild 1", "rebuild 2", "select 1"}));
    ExpectRowsMirrorEntries();

    View.Log.clear();
    Q.MoveEntryDown(1);
    EXPECT_EQ(Names(), (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(View.Log, (std::vector<std::string>{"rebuild 1", "rebuild 2", "select 2"}));

    View.Log.clear();
    Q.MoveEntryToTop(2);
    EXPECT_EQ(Names(), (std::vector<std::string>{"c", "a", "b", "d"}));
    EXPECT_EQ(View.Log, (std::vector<std::string>{"rebuild 0", "rebuild 1", "rebuild 2", "select 0"}));
    ExpectRowsMirrorEntries();
    EXPECT_EQ(Q.QueueTotalBytes(), 4);
}

TEST_F(QueueTest, MovedFolderRowsDecideByIsFolder) {
    Fill({File("gone", -1), File("x", 1)});
    Q.MoveEntryDown(0);
    EXPECT_EQ(View.Rows[1].SizeText, "-1");
}

TEST_F(QueueTest, RunnerHelpers) {
    Fill({File("a", 1), File("b", 1), File("a", 2)});
    EXPECT_EQ(Q.FindLastByName("a"), 2);
    EXPECT_EQ(Q.FindLastByName("zz"), -1);
    Q.ShowRowStatus(0, "Downloading");
    EXPECT_EQ(View.Rows[0].Status, "Downloading");
    EXPECT_EQ(Q.Entry(0).Status, "Ready");
    Q.SetEntryStatus(1, "Aborted");
    Q.RefreshReadyRows();
    EXPECT_EQ(View.Rows[0].Status, "Ready");
    EXPECT_EQ(View.Rows[1].Status, "Aborted");
    Q.RemoveEntry(0);
    EXPECT_EQ(Q.QueueTotalBytes(), 3);
    EXPECT_EQ(View.Summary, "Queue: 3   B in 2 file(s)");
    ExpectRowsMirrorEntries();
}

TEST_F(QueueTest, HoldsMoreThan501Entries) {
    for (int i = 0; i < 700; ++i) Q.AppendEntry(File("f" + std::to_string(i), 1));
    EXPECT_EQ(Q.QueueCount(), 700);
    EXPECT_EQ(Q.QueueTotalBytes(), 700);
    EXPECT_EQ(View.Rows.size(), 700u);
}

TEST_F(QueueTest, StoreAndLoadSiteQueues) {
    TQueueStores& stores = Q.Stores();
    stores.SitesLoaded({"A", "B", "A"});
    Fill({File("x", 10), File("y", 20)});
    Q.StoreLiveQueue("A");
    EXPECT_EQ(stores.Slot(0).Count(), 2);
    EXPECT_EQ(stores.Slot(1).Count(), 0);
    EXPECT_EQ(stores.Slot(2).Count(), 2);

    stores.Slot(1).Items = {File("b1", 5), Folder("bdir")};
    Q.LoadSiteQueue("B");
    EXPECT_EQ(Names(), (std::vector<std::string>{"b1", "bdir"}));
    EXPECT_EQ(Q.QueueTotalBytes(), 5);
    ExpectRowsMirrorEntries();

    // Two stores of one name: the later one's queue, counted once.
    stores.Slot(2).Items = {File("late", 7)};
    Q.LoadSiteQueue("A");
    EXPECT_EQ(Names(), (std::vector<std::string>{"late"}));
    EXPECT_EQ(Q.QueueTotalBytes(), 7);

    // No store of that name: the entries stay, the total still describes them.
    Q.LoadSiteQueue("nobody");
    EXPECT_EQ(Names(), (std::vector<std::string>{"late"}));
    EXPECT_EQ(Q.QueueTotalBytes(), 7);
}

TEST(QueueStores, FollowTheSiteTable) {
    TTransferQueue q;
    TSiteTable sites;
    sites.SetPairedSlots(&q.Stores());
    for (const char* n : {"c", "a", "b"}) sites.SetSiteName(sites.AddSite(), n);
    for (int i = 0; i < 3; ++i) q.Stores().Slot(i).Items = {File(std::string("q-") + sites.Site(i).SiteName, 1)};

    sites.SortByName();
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(q.Stores().Slot(i).SiteName, sites.Site(i).SiteName);
        EXPECT_EQ(q.Stores().Slot(i).Items.at(0).FileName, "q-" + sites.Site(i).SiteName);
    }
    sites.DeleteSite(1);  // "b"
    ASSERT_EQ(q.Stores().Count(), 2);
    EXPECT_EQ(q.Stores().Slot(1).Items.at(0).FileName, "q-c");
    sites.SetSiteName(1, "c2");
    EXPECT_EQ(q.Stores().Slot(1).SiteName, "c2");
    EXPECT_EQ(q.Stores().Slot(1).Count(), 1);
    sites.AddSite();
    EXPECT_EQ(q.Stores().Slot(2).SiteName, "New Site");
    EXPECT_EQ(q.Stores().Slot(2).Count(), 0);
}

// Values that do not fit the queue file are refused when added, never stored cut.
TEST_F(QueueTest, OverlongFieldsAreRefusedWithFieldAndLimit) {
    std::string e9;
    for (int i = 0; i < 51; ++i) e9 += "\xc3\xa9";  // 51 characters, 102 bytes
    struct Case {
        std::string name, local, remote, field;  // field empty: accepted
    } cases[] = {
        {std::string(100, 'n'), std::string(199, 'l') + "/", std::string(199, 'r') + "/", ""},
        {std::string(101, 'n'), "/l/", "/r/", "file name"},
        {e9, "/l/", "/r/", "file name"},
        {"a", "/" + std::string(200, 'l'), "/r/", "local path"},
        {"a", "/l/", "/" + std::string(200, 'r'), "remote path"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name.size());
        TQueueInfo e = File(c.name, 1, c.local);
        e.RemotePath = c.remote;
        View.Refused.clear();
        const int before = Q.QueueCount();
        const int index = Q.InsertEntry(e, -1);
        if (c.field.empty()) {
            EXPECT_GE(index, 0);
            EXPECT_TRUE(View.Refused.empty());
        } else {
            EXPECT_EQ(index, -1);
            EXPECT_EQ(Q.QueueCount(), before);
            ASSERT_EQ(View.Refused.size(), 1u);
            EXPECT_NE(View.Refused[0].find(c.field), std::string::npos) << View.Refused[0];
            EXPECT_NE(View.Refused[0].find(c.field == "file name" ? "100 bytes" : "200 bytes"), std::string::npos);
        }
    }
}

// A failed entry shows its reason; both resets make it runnable again.
TEST_F(QueueTest, FailedStatusShowsTheReasonAndResetsToReady) {
    Fill({File("a", 1), File("b", 1)});
    Q.SetEntryStatus(0, "Failed", "550 No such file");
    Q.SetEntryStatus(1, "Failed", "Size check failed");
    EXPECT_EQ(View.Rows[0].Status, "Failed: 550 No such file");
    Q.ResetSelectedStatus(0);
    EXPECT_EQ(Q.Entry(0).Status, "Ready");
    EXPECT_EQ(Q.Entry(0).Reason, "");
    EXPECT_EQ(View.Rows[0].Status, "Ready");
    Q.ResetAllStatuses();
    EXPECT_EQ(View.Rows[1].Status, "Ready");
}
