// The panes' order and navigation with real input against a real server: header clicks sort the
// remote list (folders first, names folded in every script, sizes as numbers, dates in time) and
// the selection keeps to its rows, so a download takes the row the user sees.

#include "tests/ui/test_session_fixture.h"

#include <QAbstractItemView>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLineEdit>
#include <QTest>

#include <utime.h>

#include <ctime>
#include <functional>

#include "ui/queue_view.h"
#include "ui/remote_listing.h"

namespace {

using sessiontest::RunUntil;
using sessiontest::WindowTest;

const std::string kCyrA = "\xd0\xb0\xd1\x80\xd0\xb1\xd1\x83\xd0\xb7.txt";           // lower-case a...
const std::string kCyrYa = "\xd0\xaf\xd0\xb1\xd0\xbb\xd0\xbe\xd0\xba\xd0\xbe.txt";  // upper-case Ya...

class PaneSortTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        ORLIX_SKIP_UNLESS_FTP_SERVER(FtpServerKind::Pyftpdlib);
        now_ = std::time(nullptr) / 60 * 60;  // whole minutes: what every listing can tell
        root.writeFile("pub/Alpha/z.txt", "12345");
        root.writeFile("pub/Alpha/y.txt", "1");
        root.makeDir("pub/beta");
        root.writeFile("pub/A.txt", std::string(200, 'A'));
        root.writeFile("pub/b.txt", "0123456789");
        root.writeFile("pub/" + kCyrA, std::string(1000, 'a'));
        root.writeFile("pub/" + kCyrYa, "123456789");
        Touch("pub/Alpha/z.txt", now_ - 7200);
        Touch("pub/Alpha/y.txt", now_ - 3600);
        Touch("pub/Alpha", now_ - 600);
        Touch("pub/beta", Year(2019));
        Touch("pub/A.txt", Year(2020));
        Touch("pub/" + kCyrA, now_ - 3 * 3600);
        Touch("pub/b.txt", now_ - 2 * 3600);
        Touch("pub/" + kCyrYa, now_ - 3600);
        ASSERT_TRUE(StartServer());
        ASSERT_TRUE(ConnectAndWait());
        ASSERT_TRUE(form->SetLocalDir(QString::fromStdString(local.file(""))));
        form->resize(1000, 700);
        form->show();
    }

    void Touch(const std::string& rel, time_t when) {
        const utimbuf times{when, when};
        ASSERT_EQ(::utime(root.file(rel).c_str(), &times), 0) << rel;
    }
    static time_t Year(int year) {
        std::tm t{};
        t.tm_year = year - 1900;
        t.tm_mon = 5;
        t.tm_mday = 1;
        t.tm_hour = 12;
        return std::mktime(&t);
    }
    // The listing's value of a local time, as the rows hold it.
    static TDateTime Local(time_t when) {
        std::tm t{};
        localtime_r(&when, &t);
        TDateTime date = 0, time = 0;
        TryEncodeDate(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, date);
        TryEncodeTime(t.tm_hour, t.tm_min, 0, 0, time);
        return CombineDateTime(date, time);
    }

    static void ClickHeader(QTreeView* list, int column) {
        QHeaderView* h = list->header();
        QTest::mouseClick(h->viewport(), Qt::LeftButton, {},
                          QPoint(h->sectionViewportPosition(column) + h->sectionSize(column) / 2, h->height() / 2));
    }
    static void ClickRow(QTreeWidget* list, const std::string& caption) {
        const auto found = list->findItems(QString::fromStdString(caption), Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1) << caption;
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(found[0]).center());
    }
    std::string CurrentRemote() const {
        const QTreeWidgetItem* item = form->RemoteDirList->currentItem();
        return item && item->isSelected() ? item->text(0).toStdString() : std::string();
    }

    TempDir local;
    time_t now_ = 0;
};

TEST_F(PaneSortTest, RemoteHeaderClicksSortAndTheSelectionFollows) {
    QTreeWidget* list = form->RemoteDirList;
    QHeaderView* header = list->header();
    using Names = std::vector<std::string>;
    const struct {
        const char* name;
        std::string clickRow;  // clicked before the header ("" leaves the selection)
        int column;            // header clicked (-1 none)
        Names shown;
        std::string current;
        bool descending;
    } cases[] = {
        {"the listing's order until a click",
         "",
         -1,
         {"Alpha", "beta", "A.txt", "b.txt", kCyrYa, kCyrA},
         "Alpha",
         false},
        {"names ascending, case folded", "", 0, {"Alpha", "beta", "A.txt", "b.txt", kCyrA, kCyrYa}, "Alpha", false},
        {"names descending", "", 0, {"beta", "Alpha", kCyrYa, kCyrA, "b.txt", "A.txt"}, "Alpha", true},
        {"sizes as numbers", kCyrYa, 1, {"Alpha", "beta", kCyrYa, "b.txt", "A.txt", kCyrA}, kCyrYa, false},
        {"sizes descending", "b.txt", 1, {"Alpha", "beta", kCyrA, "A.txt", "b.txt", kCyrYa}, "b.txt", true},
        {"dates in time", "", 2, {"beta", "Alpha", "A.txt", kCyrA, "b.txt", kCyrYa}, "b.txt", false},
        {"dates descending", "", 2, {"Alpha", "beta", kCyrYa, "b.txt", kCyrA, "A.txt"}, "b.txt", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (!c.clickRow.empty()) ClickRow(list, c.clickRow);
        if (c.column >= 0) ClickHeader(list, c.column);
        EXPECT_EQ(Column(0), c.shown);
        EXPECT_EQ(CurrentRemote(), c.current);
        EXPECT_EQ(header->isSortIndicatorShown(), c.column >= 0);
        if (c.column >= 0) {
            EXPECT_EQ(header->sortIndicatorSection(), c.column);
            EXPECT_EQ(header->sortIndicatorOrder(), c.descending ? Qt::DescendingOrder : Qt::AscendingOrder);
        }
        // The rows behind the list are in the order shown, so every command names the row seen.
        std::vector<std::string> rows;
        for (const THostDirInfo& r : form->HostDirInfo()) rows.push_back(r.Name);
        EXPECT_EQ(rows, c.shown);
    }

    // The date column tells the time of day where the listing gave one.
    const TDateTime b = Local(now_ - 2 * 3600);
    EXPECT_EQ(Column(2)[3], ModifiedText(TRemotePane::ShortDateText(b)) + " " + TRemotePane::ShortTimeText(b));
    if (!form->IdFTP1->LastListingIsMlsd()) {
        EXPECT_EQ(Column(2)[5], ModifiedText(TRemotePane::ShortDateText(Local(Year(2020)))));  // a year, no time
    }

    // Enter on the row clicked downloads that row's file, wherever the sort put it.
    ClickRow(list, kCyrYa);
    QTest::keyClick(list, Qt::Key_Return);
    ASSERT_TRUE(RunUntil([this] { return !form->QueueView().Busy() && local.exists(kCyrYa); }));
    EXPECT_EQ(local.readFile(kCyrYa), "123456789");
    EXPECT_FALSE(local.exists("b.txt"));
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

TEST_F(PaneSortTest, RemotePathBoxGoesToTypedAndVisitedDirectories) {
    for (int i = 0; i < 22; ++i) root.makeDir("many/d" + std::to_string(10 + i));
    QComboBox* combo = form->RemoteDirCombo;
    QLineEdit* edit = combo->lineEdit();
    const auto type = [&](const std::string& path) {
        edit->setFocus();
        edit->selectAll();
        QTest::keyClicks(edit, QString::fromStdString(path));
        QTest::keyClick(edit, Qt::Key_Return);
    };
    const auto pick = [&](int downs) {
        QTest::keyClick(combo, Qt::Key_F4);
        ASSERT_TRUE(RunUntil([&] { return combo->view()->isVisible(); }, 5000));
        for (int i = 0; i < downs; ++i) QTest::keyClick(combo->view(), Qt::Key_Down);
        QTest::keyClick(combo->view(), Qt::Key_Return);
    };
    using Dirs = std::vector<std::string>;
    const struct {
        const char* name;
        std::function<void()> act;
        std::string dir;
        Dirs history;  // newest first
        int errors;
    } cases[] = {
        {"enter goes to the typed path", [&] { type("/pub/Alpha"); }, "/pub/Alpha/", {"/pub/Alpha/", "/pub/"}, 0},
        {"a refused path stays put", [&] { type("/pub/missing"); }, "/pub/Alpha/", {"/pub/Alpha/", "/pub/"}, 1},
        {"relative paths too", [&] { type("../beta"); }, "/pub/beta/", {"/pub/beta/", "/pub/Alpha/", "/pub/"}, 0},
        // The arrow keys only browse the visited directories; Enter goes to the one shown.
        {"arrows browse",
         [&] { QTest::keyClick(edit, Qt::Key_Down); },
         "/pub/beta/",
         {"/pub/beta/", "/pub/Alpha/", "/pub/"},
         0},
        {"enter on a visited one",
         [&] { QTest::keyClick(edit, Qt::Key_Return); },
         "/pub/Alpha/",
         {"/pub/Alpha/", "/pub/beta/", "/pub/"},
         0},
        {"picked from the list", [&] { pick(2); }, "/pub/", {"/pub/", "/pub/Alpha/", "/pub/beta/"}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        errors.clear();
        c.act();
        EXPECT_EQ(form->LastRemoteDir(), c.dir);
        EXPECT_EQ(form->RemotePane().History(), c.history);
        EXPECT_EQ(errors.size(), c.errors) << errors.join('\n').toStdString();
        if (std::string(c.name) != "arrows browse") {
            EXPECT_EQ(combo->currentText().toStdString(), c.dir);
        }
    }

    // Bounded: the oldest drop out.
    for (int i = 0; i < 22; ++i) type("/many/d" + std::to_string(10 + i));
    const Dirs history = form->RemotePane().History();
    ASSERT_EQ(history.size(), size_t(TRemotePane::kHistoryLength));
    EXPECT_EQ(history.front(), "/many/d31/");
    EXPECT_EQ(history.back(), "/many/d12/");
}

TEST_F(PaneSortTest, EnteringAFolderSelectsTheFirstRowAsSorted) {
    local.makeDir("sub");
    local.makeDir("empty");
    local.writeFile("sub/a_small.txt", "1");
    local.writeFile("sub/b_big.txt", std::string(50, 'b'));
    local.writeFile("sub/c_mid.txt", "12345");
    ASSERT_TRUE(form->SetLocalDir(QString::fromStdString(local.file(""))));
    ASSERT_TRUE(RunUntil([this] { return form->HomeDirModel->rowCount(form->HomeDirList->rootIndex()) == 2; }));
    QTreeView* localList = form->HomeDirList;
    QTreeWidget* remoteList = form->RemoteDirList;
    // Sizes descending in both panes: the default order would put the smallest first.
    for (QTreeView* list : {localList, static_cast<QTreeView*>(remoteList)}) {
        for (int i = 0; i < 2 && !(list->header()->sortIndicatorSection() == 1 &&
                                   list->header()->sortIndicatorOrder() == Qt::DescendingOrder);
             ++i)
            ClickHeader(list, 1);
        ASSERT_EQ(list->header()->sortIndicatorOrder(), Qt::DescendingOrder);
    }
    const auto localCurrent = [&] {
        const QModelIndex i = localList->currentIndex();
        return i.isValid() && localList->selectionModel()->isSelected(i) ? form->HomeDirModel->fileName(i).toStdString()
                                                                         : std::string();
    };
    const auto enterLocal = [&](const std::string& name) {
        const QModelIndex i = form->HomeDirModel->index(QString::fromStdString(local.file(name)));
        localList->selectionModel()->setCurrentIndex(i,
                                                     QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        QTest::keyClick(localList, Qt::Key_Return);
    };
    const auto enterRemote = [&](const std::string& name) {
        ClickRow(remoteList, name);
        QTest::keyClick(remoteList, Qt::Key_Return);
    };
    const struct {
        const char* name;
        std::function<void()> act;
        std::function<std::string()> current;
        std::string first;  // "" for an empty folder: nothing selected
    } cases[] = {
        {"local folder", [&] { enterLocal("sub"); }, localCurrent, "b_big.txt"},
        {"local empty folder",
         [&] {
             QTest::keyClick(localList, Qt::Key_Backspace);
             enterLocal("empty");
         },
         localCurrent, ""},
        {"remote folder", [&] { enterRemote("Alpha"); }, [&] { return CurrentRemote(); }, "z.txt"},
        {"remote up", [&] { QTest::keyClick(remoteList, Qt::Key_Backspace); }, [&] { return CurrentRemote(); },
         "Alpha"},
        {"remote empty folder", [&] { enterRemote("beta"); }, [&] { return CurrentRemote(); }, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        c.act();
        // The local model reads and sorts late; a bounded wait for the row, not a timing check.
        RunUntil([&] { return c.current() == c.first; }, 3000);
        EXPECT_EQ(c.current(), c.first);
    }
    EXPECT_TRUE(remoteList->selectedItems().isEmpty());
    EXPECT_TRUE(localList->selectionModel()->selectedRows().isEmpty());
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

}  // namespace
