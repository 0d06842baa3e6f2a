// Selection expansion: remote and local items into queue entries, positions, sizes.

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/support/ftp_servers.h"
#include "transfer/expand.h"
#include "transfer/queue_model.h"
#include "transfer/transfer_state.h"

namespace {

struct RowRecorder : IQueueView {
    std::vector<int> inserted;
    std::string summary;
    void QueueRowInserted(int row, const TQueueRow&) override { inserted.push_back(row); }
    void QueueSummaryChanged(const std::string& text) override { summary = text; }
};

TPaneContext Pane() {
    TPaneContext p;
    p.RemoteDir = "/pub";
    p.LocalFolder = "/home/ann/in";
    p.RemoteRows = {{"docs", -1, true}, {"a.txt", 100, false}, {"dup", 10, false},
                    {"dup", -1, true},  {"../evil", 5, false}, {"b.bin", 5368709120LL, false}};
    return p;
}

TEST(Expand, RemoteEntryFieldsAndKinds) {
    TTransferQueue q;
    const TPaneContext p = Pane();
    ASSERT_EQ(AddRemoteEntry(q, p, "a.txt", -1), 0);
    ASSERT_EQ(AddRemoteEntry(q, p, "docs", -1), 1);
    const TQueueInfo& f = q.Entry(0);
    EXPECT_EQ(f.FileName, "a.txt");
    EXPECT_EQ(f.LocalPath, "/home/ann/in/");
    EXPECT_EQ(f.RemotePath, "/pub/");
    EXPECT_EQ(f.Process, "Download");
    EXPECT_EQ(f.Status, "Ready");
    EXPECT_EQ(f.FileSize, 100);
    EXPECT_FALSE(f.IsFolder);
    EXPECT_TRUE(q.Entry(1).IsFolder);
    EXPECT_EQ(q.Entry(1).FileSize, -1);
    // A folder adds nothing to the byte total but counts in the summary.
    EXPECT_EQ(q.QueueTotalBytes(), 100);
    EXPECT_EQ(q.SummaryText(), "Queue: 100   B in 2 file(s)");

    // The last row of a name decides its kind and size.
    ASSERT_EQ(AddRemoteEntry(q, p, "dup", -1), 2);
    EXPECT_TRUE(q.Entry(2).IsFolder);
    // Sizes beyond 32 bits are kept whole.
    ASSERT_EQ(AddRemoteEntry(q, p, "b.bin", -1), 3);
    EXPECT_EQ(q.Entry(3).FileSize, 5368709120LL);
}

TEST(Expand, RemoteNamesThatCannotBeLocalNamesAreRefused) {
    TTransferQueue q;
    TPaneContext p = Pane();
    p.RemoteRows.push_back({"a\\b", 1, false});
    p.RemoteRows.push_back({"..", -1, true});
    EXPECT_EQ(AddRemoteEntry(q, p, "../evil", -1), -1);
    EXPECT_EQ(AddRemoteEntry(q, p, "a\\b", -1), -1);
    EXPECT_EQ(AddRemoteEntry(q, p, "..", -1), -1);
    EXPECT_EQ(AddRemoteEntry(q, p, "not listed", -1), -1);
    EXPECT_EQ(q.QueueCount(), 0);
}

TEST(Expand, PositionsInsertBeforeAndRepeatReverses) {
    TTransferQueue q;
    RowRecorder rec;
    q.SetView(&rec);
    TPaneContext p = Pane();
    p.RemoteRows = {{"x", 1, false}, {"y", 2, false}, {"z", 3, false}, {"w", 4, false}};
    AddRemoteEntry(q, p, "x", -1);
    AddRemoteEntry(q, p, "y", -1);
    AddRemoteEntry(q, p, "z", 1);  // before y
    EXPECT_EQ(q.Entry(1).FileName, "z");
    EXPECT_EQ(q.Entry(2).FileName, "y");
    // Several items added one after the other at the same position end up reversed.
    AddRemoteEntry(q, p, "w", 0);
    AddRemoteEntry(q, p, "x", 0);
    EXPECT_EQ(q.Entry(0).FileName, "x");
    EXPECT_EQ(q.Entry(1).FileName, "w");
    // A position past the end appends.
    EXPECT_EQ(AddRemoteEntry(q, p, "y", 99), 5);
    EXPECT_EQ(rec.inserted, (std::vector<int>{0, 1, 1, 0, 0, 5}));
}

TEST(Expand, RemoteDirAlreadyEndingInSlashGetsNoSecond) {
    TTransferQueue q;
    TPaneContext p = Pane();
    p.RemoteDir = "/";
    p.LocalFolder = "/";
    AddRemoteEntry(q, p, "a.txt", -1);
    EXPECT_EQ(q.Entry(0).RemotePath, "/");
    EXPECT_EQ(q.Entry(0).LocalPath, "/");
}

TEST(Expand, LocalEntriesFilesFoldersAndMissing) {
    TempDir dir;
    dir.writeFile("f.txt", std::string(3000, 'x'));
    dir.makeDir("sub");
    TTransferQueue q;
    ASSERT_EQ(AddLocalEntry(q, dir.file("f.txt"), dir.path(), "/up", -1), 0);
    ASSERT_EQ(AddLocalEntry(q, dir.file("sub"), dir.path(), "/up/", -1), 1);
    ASSERT_EQ(AddLocalEntry(q, dir.file("gone.txt"), dir.path(), "/up", -1), 2);
    const TQueueInfo& f = q.Entry(0);
    EXPECT_EQ(f.FileName, "f.txt");
    EXPECT_EQ(f.LocalPath, dir.path() + "/");
    EXPECT_EQ(f.RemotePath, "/up/");
    EXPECT_EQ(f.Process, "Upload");
    EXPECT_EQ(f.FileSize, 3000);
    EXPECT_TRUE(q.Entry(1).IsFolder);
    EXPECT_EQ(QueueSizeText(q.Entry(1), TFolderRule::ByIsFolder), "File Folder");
    EXPECT_EQ(q.Entry(2).FileSize, -1);
    EXPECT_FALSE(q.Entry(2).IsFolder);
    EXPECT_EQ(QueueSizeText(q.Entry(2), TFolderRule::ByIsFolder), "-1");
    EXPECT_EQ(q.QueueTotalBytes(), 3000);
}

TEST(Expand, LocalNamesBelowRootAndTrailingSeparators) {
    EXPECT_EQ(LocalItemName("/etc", "/"), "etc");
    EXPECT_EQ(LocalItemName("/home/ann/a b.txt", "/home/ann"), "a b.txt");
    EXPECT_EQ(LocalItemName("/home/ann/docs/", "/home/ann/"), "docs");
    // A path outside the folder falls back to its last component.
    EXPECT_EQ(LocalItemName("/other/x.txt", "/home/ann"), "x.txt");
    EXPECT_EQ(LocalDirPath("/"), "/");
    EXPECT_EQ(LocalDirPath("/home/ann"), "/home/ann/");
    EXPECT_EQ(RemoteDirPath(""), "/");
}

TEST(Expand, AddToQueueByPane) {
    TempDir dir;
    dir.writeFile("l1", "1");
    dir.writeFile("l2", "22");
    TTransferQueue q;
    TPaneContext p = Pane();
    p.LocalFolder = dir.path();
    EXPECT_EQ(AddToQueueByPane(q, 0, p, {1}, {dir.file("l1")}), 0);
    EXPECT_EQ(AddToQueueByPane(q, 1, p, {1}, {dir.file("l1"), dir.file("l2")}), 2);
    EXPECT_EQ(q.Entry(1).FileName, "l2");
    EXPECT_EQ(q.Entry(1).Process, "Upload");
    // Remote rows: kind from the row itself, size from the last row of that name.
    EXPECT_EQ(AddToQueueByPane(q, 2, p, {2, 1}, {}), 2);
    EXPECT_EQ(q.Entry(2).FileName, "dup");
    EXPECT_FALSE(q.Entry(2).IsFolder);
    EXPECT_EQ(q.Entry(3).FileName, "a.txt");
    // Nothing selected adds nothing and leaves the summary.
    const std::string before = q.SummaryText();
    EXPECT_EQ(AddToQueueByPane(q, 2, p, {}, {}), 0);
    EXPECT_EQ(q.SummaryText(), before);
}

TEST(Expand, LocalFileSizeIsSixtyFourBit) {
    TempDir dir;
    const std::string path = dir.file("huge.bin");
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, 5368709120LL), 0);  // sparse
    ::close(fd);
    EXPECT_EQ(LocalFileSize(path), 5368709120LL);
    EXPECT_EQ(LocalFileSize(dir.file("none")), -1);
    EXPECT_TRUE(LocalFileExists(path));
    EXPECT_FALSE(LocalFileExists(dir.path()));
    EXPECT_TRUE(LocalDirExists(dir.path()));
}

TEST(TransferState, PercentageOfBigAndResumedFiles) {
    TTransferState s;
    EXPECT_EQ(s.Percent(100), -1);  // size unknown
    s.ExpectedSize = 5368709120LL;
    EXPECT_EQ(s.Percent(2684354560LL), 50);
    s.DownloadResuming = true;
    s.DownloadResumeOffset = 4294967296LL;
    EXPECT_EQ(s.Percent(1073741824LL), 100);
    EXPECT_EQ(s.RemainingBytes(536870912LL), 536870912LL);
    s.DownloadResuming = false;
    s.UploadResumePhase = 2;
    s.UploadResumeBase = 3221225472LL;
    EXPECT_EQ(s.Percent(1073741824LL), 80);
    // Halves go to the even neighbour.
    TTransferState h;
    h.ExpectedSize = 200;
    EXPECT_EQ(h.Percent(1), 0);
    EXPECT_EQ(h.Percent(3), 2);
}

TEST(TransferState, StopSurvivesWorkBeginOnlyInsideARun) {
    TTransferState s;
    s.StopTransfer = true;
    EXPECT_TRUE(s.WorkBegin());
    EXPECT_FALSE(s.StopTransfer);
    s.RunActive = true;
    s.StopTransfer = true;
    EXPECT_TRUE(s.WorkBegin());
    EXPECT_TRUE(s.StopTransfer);
    // A chunked resumed upload keeps its clock across chunks.
    s.UploadResumePhase = 2;
    EXPECT_FALSE(s.WorkBegin());
    EXPECT_FALSE(s.WorkEndResets());
}

}  // namespace
