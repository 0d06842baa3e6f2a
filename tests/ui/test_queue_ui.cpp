// The transfer queue in the main window: immediate downloads and uploads through the runner,
// Stop and resume, the queue surviving a restart of the window, adding by pane and by drop, and
// the failure path that reconnects. Against pyftpdlib on 127.0.0.1, offscreen.

#include <gtest/gtest.h>

#include "ftp/ftp_client.h"
#include "settings/program_settings.h"
#include "sites/site_table.h"
#include "tests/support/ftp_servers.h"
#include "transfer/queue_model.h"
#include "transfer/transfer_questions.h"
#include "ui/enter_dir_form.h"
#include "ui/guard.h"
#include "ui/main_form.h"
#include "ui/queue_list_model.h"
#include "ui/queue_view.h"
#include "ui/remote_pane.h"
#include "ui/status_log.h"
#include "tests/ui/ui_test_app.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QFileSystemModel>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMimeData>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

bool WaitFor(const std::function<bool()>& pred, int seconds = 60) { return RunUntil(pred, seconds * 1000); }

// Records the sounds asked for, and lets a test look at the window when one plays.
struct TRecordingPlayer : ISoundPlayer {
    std::vector<std::string> played;
    std::function<void(const std::string&)> onPlay;
    void PlayFile(const std::string& path) override {
        played.push_back(path);
        if (onPlay) onPlay(path);
    }
};

class QueueUiTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureApplication();
        QApplication::setQuitOnLastWindowClosed(false);
        ASSERT_TRUE(dataHome.isValid());
        setenv("XDG_DATA_HOME", dataHome.path().toUtf8().constData(), 1);
        guard::SetErrorSink([this](const QString& m) { errors << m; });
        guard::SetMessageSink([this](const QString& m) { messages << m; });
        guard::SetQuestionSink([](const QString&) { return true; });
    }
    void TearDown() override {
        if (form) {
            form->SetFirstActivation(false);
            form.reset();
        }
        srv.reset();
        guard::SetErrorSink({});
        guard::SetMessageSink({});
        guard::SetQuestionSink({});
    }

    void MakeForm() {
        form = std::make_unique<TMainForm>();
        form->CreateDialogs();
        form->QueueView().SetQuestions(&questions);
        form->SetSoundPlayer(&player);
        TFTPStatus& s = form->Settings().Status;
        s.PlayBeginTransfer = s.PlayTransferDone = s.PlayTransferStopped = true;
        s.SoundBeginTransfer = "begin.wav";
        s.SoundTransferDone = "done.wav";
        s.SoundTransferStopped = "stopped.wav";
        ASSERT_TRUE(form->SetLocalDir(QString::fromStdString(local.path())));
    }

    // Starts pyftpdlib on serverRoot (the caller has checked that it is available).
    void StartServer() { srv = FtpServerProcess::start(FtpServerKind::Pyftpdlib, serverRoot.path()); }

    // The site of the test server, current; Connect and wait for the listing of "/".
    bool Connect() {
        const int site = form->SiteTable().AddSite();
        form->SiteTable().SetSiteName(site, "loop");
        TFTPInfo& info = form->SiteTable().Site(site);
        info.Host = "127.0.0.1";
        info.Port = srv->port();
        info.UserName = srv->user();
        info.Password = srv->password();
        info.HomeDir = "/";
        info.Retries = 3;
        info.RetryDelay = 1;
        form->SiteTable().SetCurrentSite(site);
        form->ToolButton2->trigger();
        return WaitConnected();
    }
    bool WaitConnected() {
        return WaitFor([this] {
            return form->RemoteDirList->isEnabled() && form->LastRemoteRowIndex() >= 0 && !form->Timer1->isActive() &&
                   form->RemoteDirCombo->isEnabled();
        });
    }

    // Selects the remote rows of these names (and no others).
    void SelectRemote(const std::vector<std::string>& names) {
        form->RemoteDirList->clearSelection();
        for (int i = 0; i < form->RemoteDirList->topLevelItemCount(); ++i)
            for (const auto& n : names)
                if (i < static_cast<int>(form->HostDirInfo().size()) &&
                    form->HostDirInfo()[static_cast<size_t>(i)].Name == n)
                    form->RemoteDirList->topLevelItem(i)->setSelected(true);
        form->SetActivePane(2);
    }

    // Selects the local items of these names, once the local view has listed its folder.
    bool SelectLocal(const std::vector<std::string>& names) {
        form->RefreshLocalPane();
        QFileSystemModel* m = form->HomeDirModel;
        if (!WaitFor([&] { return m->rowCount(form->HomeDirList->rootIndex()) >= static_cast<int>(names.size()); }))
            return false;
        // The model sorts its rows (folders first) a moment after they arrive; row order is what counts.
        if (!WaitFor([&] {
                const QModelIndex root = form->HomeDirList->rootIndex();
                bool seenFile = false;
                for (int r = 0; r < m->rowCount(root); ++r) {
                    const bool dir = m->isDir(m->index(r, 0, root));
                    if (dir && seenFile) return false;
                    seenFile = seenFile || !dir;
                }
                return true;
            }))
            return false;
        form->HomeDirList->selectionModel()->clearSelection();
        int found = 0;
        for (const auto& n : names) {
            const QModelIndex i = m->index(QString::fromStdString(local.file(n)));
            if (!i.isValid() || i.parent() != form->HomeDirList->rootIndex()) continue;
            form->HomeDirList->selectionModel()->select(i, QItemSelectionModel::Select | QItemSelectionModel::Rows);
            ++found;
        }
        form->SetActivePane(1);
        return found == static_cast<int>(names.size());
    }

    std::vector<std::string> QueueNames() const {
        std::vector<std::string> names;
        for (const auto& e : form->Queue().QueueEntries()) names.push_back(e.FileName);
        return names;
    }
    std::string RowText(int row, int column) const {
        return form->QueueModel->index(row, column).data().toString().toStdString();
    }
    std::string Panel(int i) const { return form->PanelText(i).toStdString(); }

    TQueueInfo Queued(const std::string& name, const std::string& process = "Download", int64_t size = 10) const {
        TQueueInfo e;
        e.FileName = name;
        e.LocalPath = local.path() + "/";
        e.RemotePath = "/";
        e.Process = process;
        e.FileSize = size;
        return e;
    }

    QTemporaryDir dataHome;
    TempDir serverRoot{"orlix-qui-srv"};
    TempDir local{"orlix-qui-local"};
    std::unique_ptr<FtpServerProcess> srv;
    std::unique_ptr<TMainForm> form;
    TScriptedTransferQuestions questions;
    TRecordingPlayer player;
    QStringList errors, messages;
};

// ---- Immediate transfers

TEST_F(QueueUiTest, DownloadNowPutsTheSelectionAtTheFrontAndTransfersExactlyThose) {
    ORLIX_SKIP_UNLESS_FTP_SERVER(FtpServerKind::Pyftpdlib);
    serverRoot.writePatternFile("a.bin", 1000);
    serverRoot.writePatternFile("b.bin", 3000);
    serverRoot.writePatternFile("c.bin", 70000);
    serverRoot.writeFile("d.bin", "dd");
    StartServer();
    MakeForm();
    ASSERT_TRUE(Connect());
    form->Queue().AppendEntry(Queued("old.txt"));  // not on the server: running it would fail

    std::vector<std::pair<int, std::string>> inserted;
    QObject::connect(form->QueueModel, &QAbstractItemModel::rowsInserted,
                     [&](const QModelIndex&, int first, int) { inserted.emplace_back(first, RowText(first, 0)); });
    // What the window looks like once the run has begun.
    std::vector<std::string> queueAtBegin;
    bool comboEnabledInRun = true, stopEnabledInRun = false, makeDirEnabledInRun = true;
    player.onPlay = [&](const std::string& path) {
        if (path != "begin.wav") return;
        queueAtBegin = QueueNames();
        comboEnabledInRun = form->RemoteDirCombo->isEnabled();
        makeDirEnabledInRun = form->MakeDir1->isEnabled();
        stopEnabledInRun = form->ToolButton10->isEnabled() && form->Stop1->isEnabled();
    };

    SelectRemote({"a.bin", "c.bin", "d.bin"});
    ASSERT_TRUE(form->ToolButton7->isEnabled());
    form->ToolButton7->trigger();

    const std::vector<std::pair<int, std::string>> expectInserted{{0, "a.bin"}, {1, "c.bin"}, {2, "d.bin"}};
    EXPECT_EQ(inserted, expectInserted);
    EXPECT_EQ(queueAtBegin, (std::vector<std::string>{"a.bin", "c.bin", "d.bin", "old.txt"}));
    EXPECT_FALSE(comboEnabledInRun);
    EXPECT_FALSE(makeDirEnabledInRun);
    EXPECT_TRUE(stopEnabledInRun);

    // Exactly the three, byte for byte; the older entry waits untouched.
    EXPECT_EQ(local.readFile("a.bin"), patternBytes(0, 1000));
    EXPECT_EQ(local.readFile("c.bin"), patternBytes(0, 70000));
    EXPECT_EQ(local.readFile("d.bin"), "dd");
    EXPECT_FALSE(local.exists("b.bin"));
    EXPECT_EQ(QueueNames(), std::vector<std::string>{"old.txt"});
    EXPECT_EQ(RowText(0, 5), "Ready");
    EXPECT_EQ(form->QueueModel->rowCount(), 1);

    // End of the run: commands back, Stop off, the bar reset, the sounds of a good run.
    EXPECT_TRUE(form->RemoteDirCombo->isEnabled());
    EXPECT_TRUE(form->MakeDir1->isEnabled());
    EXPECT_FALSE(form->ToolButton10->isEnabled());
    EXPECT_FALSE(form->Stop1->isEnabled());
    EXPECT_EQ(Panel(0), "Ready");
    EXPECT_EQ(Panel(1), "");
    EXPECT_EQ(Panel(7), "Queue: 10   B in 1 file(s)");
    EXPECT_EQ(player.played, (std::vector<std::string>{"begin.wav", "done.wav"}));
    EXPECT_FALSE(form->Transfer().RunActive);
    EXPECT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();
}

TEST_F(QueueUiTest, DownloadDuringARunOnlyAddsAtThePendingPositionInReverseOrder) {
    ORLIX_SKIP_UNLESS_FTP_SERVER(FtpServerKind::Pyftpdlib);
    serverRoot.writePatternFile("a.bin", 2 * 1024 * 1024);
    serverRoot.writeFile("c.txt", "c");
    serverRoot.writeFile("d.txt", "d");
    StartServer();
    MakeForm();
    ASSERT_TRUE(Connect());
    form->Queue().AppendEntry(Queued("old.txt"));

    // While a.bin flows, the user selects two more files and presses Download again.
    bool clicked = false;
    int runsStartedInside = 0;
    auto work = form->IdFTP1->OnWork;
    form->IdFTP1->OnWork = [&](TIdComponent* c, TWorkMode m, int64_t count) {
        work(c, m, count);
        if (clicked || count == 0) return;
        clicked = true;
        const size_t sounds = player.played.size();
        SelectRemote({"c.txt", "d.txt"});
        form->ToolButton7->trigger();
        runsStartedInside = static_cast<int>(player.played.size() - sounds);
    };

    SelectRemote({"a.bin"});
    form->ToolButton7->trigger();

    ASSERT_TRUE(clicked);
    EXPECT_EQ(runsStartedInside, 0);  // no second run inside the first
    EXPECT_EQ(local.readFile("a.bin"), patternBytes(0, 2 * 1024 * 1024));
    // The run did its one entry; the two added ones wait, in reverse order, before the old entry.
    EXPECT_EQ(QueueNames(), (std::vector<std::string>{"d.txt", "c.txt", "old.txt"}));
    EXPECT_FALSE(local.exists("c.txt"));
    EXPECT_EQ(form->Transfer().ImmediatePending, 0);
    EXPECT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();
}

TEST_F(QueueUiTest, UploadNowSendsTheLocalSelectionAndListsTheRemoteFolder) {
    ORLIX_SKIP_UNLESS_FTP_SERVER(FtpServerKind::Pyftpdlib);
    serverRoot.writeFile("keep.txt", "k");
    local.writePatternFile("up1.bin", 50000);
    local.writeFile("up2.txt", "two");
    local.writeFile("not me.txt", "no");
    StartServer();
    MakeForm();
    ASSERT_TRUE(Connect());

    ASSERT_TRUE(SelectLocal({"up1.bin", "up2.txt"}));
    form->ToolButton6Click();

    EXPECT_EQ(serverRoot.readFile("up1.bin"), patternBytes(0, 50000));
    EXPECT_EQ(serverRoot.readFile("up2.txt"), "two");
    EXPECT_FALSE(serverRoot.exists("not me.txt"));
    EXPECT_EQ(form->Queue().QueueCount(), 0);
    // The remote list shows the new files.
    std::vector<std::string> listed;
    for (const auto& r : form->HostDirInfo()) listed.push_back(r.Name);
    EXPECT_NE(std::find(listed.begin(), listed.end(), "up1.bin"), listed.end());
    EXPECT_NE(std::find(listed.begin(), listed.end(), "up2.txt"), listed.end());
    EXPECT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();
}

// ---- Stop and resume

TEST_F(QueueUiTest, StopLeavesTheEntryAbortedWithThePartialFileAndResumeCompletesIt) {
    ORLIX_SKIP_UNLESS_FTP_SERVER(FtpServerKind::Pyftpdlib);
    const int64_t size = 24 * 1024 * 1024;
    serverRoot.writePatternFile("big.bin", size);
    StartServer();
    MakeForm();
    ASSERT_TRUE(Connect());

    // The user presses Stop once a few MiB have arrived.
    bool stopped = false;
    auto work = form->IdFTP1->OnWork;
    form->IdFTP1->OnWork = [&](TIdComponent* c, TWorkMode m, int64_t count) {
        work(c, m, count);
        if (!stopped && count >= 3 * 1024 * 1024) {
            stopped = true;
            ASSERT_TRUE(form->ToolButton10->isEnabled());
            form->ToolButton10->trigger();
        }
    };
    SelectRemote({"big.bin"});
    form->ToolButton7->trigger();
    ASSERT_TRUE(stopped);

    ASSERT_EQ(form->Queue().QueueCount(), 1);
    EXPECT_EQ(form->Queue().Entry(0).Status, "Aborted");
    EXPECT_EQ(RowText(0, 5), "Aborted");
    const std::string partial = local.readFile("big.bin");
    EXPECT_GT(static_cast<int64_t>(partial.size()), 0);
    EXPECT_LT(static_cast<int64_t>(partial.size()), size);
    EXPECT_EQ(partial, patternBytes(0, static_cast<int64_t>(partial.size())));
    EXPECT_NE(std::find(player.played.begin(), player.played.end(), "stopped.wav"), player.played.end());
    EXPECT_EQ(std::find(player.played.begin(), player.played.end(), "done.wav"), player.played.end());
    EXPECT_EQ(Panel(0), "Ready");
    EXPECT_FALSE(form->ToolButton10->isEnabled());

    // A server that answered the cut transfer outside Get's codes made the run reconnect.
    ASSERT_TRUE(WaitConnected());
    form->IdFTP1->OnWork = work;

    // Transfer queue skips the aborted entry until its status is reset.
    form->ToolButton8->trigger();
    EXPECT_EQ(form->Queue().Entry(0).Status, "Aborted");
    EXPECT_TRUE(questions.ExistsAsked.empty());

    form->SelectQueueRow(0);
    form->ResetStetsu1->trigger();
    EXPECT_EQ(form->Queue().Entry(0).Status, "Ready");
    EXPECT_EQ(RowText(0, 5), "Ready");

    questions.ExistsAnswers = {eaResume};
    form->ToolButton8->trigger();

    ASSERT_EQ(questions.ExistsAsked.size(), 1u);
    EXPECT_TRUE(questions.ExistsAsked[0].ResumeEnabled);
    EXPECT_EQ(questions.ExistsAsked[0].OriginalSize, static_cast<int64_t>(partial.size()));
    EXPECT_EQ(questions.ExistsAsked[0].NewSize, size);
    EXPECT_EQ(form->Queue().QueueCount(), 0);
    EXPECT_TRUE(local.readFile("big.bin") == patternBytes(0, size));
    EXPECT_EQ(form->Transfer().ExistsAction, 0);
    EXPECT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();
}

TEST_F(QueueUiTest, ClosingDuringADownloadStopsItAndStoresTheEntryAborted) {
    ORLIX_SKIP_UNLESS_FTP_SERVER(FtpServerKind::Pyftpdlib);
    serverRoot.writePatternFile("big.bin", 16 * 1024 * 1024);
    serverRoot.writeFile("next.txt", "n");
    StartServer();
    MakeForm();
    ASSERT_TRUE(Connect());

    QStringList asked;
    guard::SetQuestionSink([&](const QString& q) {
        asked << q;
        return true;
    });
    bool closed = false, tried = false;
    auto work = form->IdFTP1->OnWork;
    form->IdFTP1->OnWork = [&](TIdComponent* c, TWorkMode m, int64_t count) {
        work(c, m, count);
        if (!tried && count >= 1024 * 1024) {
            tried = true;
            closed = form->close();
        }
    };
    SelectRemote({"big.bin", "next.txt"});
    form->ToolButton7->trigger();
    form->IdFTP1->OnWork = work;

    ASSERT_TRUE(tried);
    EXPECT_TRUE(closed);
    EXPECT_EQ(asked, QStringList{QStringLiteral("File transfer in process! Close Orlix FTP client?")});
    // The run ended at the stop: the second file was not fetched.
    EXPECT_FALSE(local.exists("next.txt"));

    // What the close wrote: both entries, the interrupted one "Aborted".
    TSiteTable sites;
    TTransferQueue stored;
    sites.SetPairedSlots(&stored.Stores());
    const std::string dataDir = dataHome.path().toStdString() + "/orlix-ftp/";
    sites.Load(dataDir);
    stored.LoadQueueFile(dataDir, std::string("loop"));
    ASSERT_EQ(stored.QueueCount(), 2);
    EXPECT_EQ(stored.Entry(0).FileName, "big.bin");
    EXPECT_EQ(stored.Entry(0).Status, "Aborted");
    EXPECT_EQ(stored.Entry(1).Status, "Ready");
}

TEST_F(QueueUiTest, StopWhileIdleOnlyEndsTheRetrySeriesAndResetsTheBar) {
    MakeForm();
    form->Queue().AppendEntry(Queued("x.bin"));
    form->Timer1->start(600000);
    form->SetPanelText(0, QStringLiteral("Connecting"));
    form->SetPanelText(1, QStringLiteral("x.bin"));
    form->ToolButton10Click();
    EXPECT_FALSE(form->Timer1->isActive());
    EXPECT_EQ(Panel(0), "Disconnected");  // no connection to be ready on
    EXPECT_EQ(Panel(1), "");
    EXPECT_EQ(form->Queue().Entry(0).Status, "Ready");
    EXPECT_TRUE(player.played.empty());
    EXPECT_FALSE(form->Transfer().StopTransfer);
}

// ---- Failure path

TEST_F(QueueUiTest, ARefusedEntryFailsWithItsReasonAndTheSessionStays) {
    ORLIX_SKIP_UNLESS_FTP_SERVER(FtpServerKind::Pyftpdlib);
    serverRoot.writeFile("gone.txt", "soon gone");
    serverRoot.writeFile("other.txt", "o");
    StartServer();
    MakeForm();
    ASSERT_TRUE(Connect());
    SelectRemote({"gone.txt"});
    ASSERT_EQ(::unlink(serverRoot.file("gone.txt").c_str()), 0);

    form->ToolButton7->trigger();

    ASSERT_EQ(QueueNames(), std::vector<std::string>{"gone.txt"});
    EXPECT_EQ(form->Queue().Entry(0).Status, "Failed");
    EXPECT_TRUE(RowText(0, 5).rfind("Failed: 550", 0) == 0) << RowText(0, 5);  // not "Downloading" any more
    EXPECT_EQ(std::find(player.played.begin(), player.played.end(), "done.wav"), player.played.end());
    EXPECT_TRUE(form->QueueView().Runner().LastRunError().empty());
    bool logged = false;
    for (int i = 0; i < form->StatusList->LineCount(); ++i)
        if (form->StatusList->LineText(i).contains(QStringLiteral("Failed: gone.txt"))) logged = true;
    EXPECT_TRUE(logged);
    // A refusal leaves the session as it is; the pane's commands are there again.
    ASSERT_TRUE(WaitConnected());
    EXPECT_TRUE(form->RemoteDirUpButton->isEnabled());
    EXPECT_TRUE(form->Refresh1->isEnabled());
    EXPECT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();
}

// ---- Adding to the queue and drops

class QueueUiOfflineTest : public QueueUiTest {
protected:
    // A remote listing as the listing routine leaves it: rows and records side by side.
    void FakeRemoteListing(const std::vector<THostDirInfo>& rows, const std::string& dir) {
        form->RemotePane().ShowListing(rows, dir);
    }
    static THostDirInfo Row(const std::string& name, int64_t size, bool dir = false) {
        THostDirInfo r;
        r.Name = name;
        r.Size = dir ? -1 : size;
        r.IsDir = dir;
        return r;
    }
};

TEST_F(QueueUiOfflineTest, AddToQueueTakesTheActivePanesSelection) {
    MakeForm();
    local.writeFile("five.txt", "12345");
    local.makeDir("docs");
    FakeRemoteListing({Row("pub", 0, true), Row("r.bin", 2048), Row("s.bin", 5)}, "/srv");

    // Remote pane: rows in row order, appended; the folder gets no bytes.
    SelectRemote({"s.bin", "pub"});
    form->ToolButton15Click();
    ASSERT_EQ(QueueNames(), (std::vector<std::string>{"pub", "s.bin"}));
    EXPECT_EQ(RowText(0, 2), "File Folder");
    EXPECT_EQ(RowText(0, 3), "Download");
    EXPECT_EQ(RowText(0, 4), "/srv/");
    EXPECT_EQ(RowText(0, 1), local.path() + "/");
    EXPECT_EQ(Panel(7), "Queue: 5   B in 2 file(s)");

    // Local pane.
    ASSERT_TRUE(SelectLocal({"docs", "five.txt"}));
    form->Addtoqueue3Click();
    ASSERT_EQ(QueueNames(), (std::vector<std::string>{"pub", "s.bin", "docs", "five.txt"}));
    EXPECT_EQ(form->Queue().Entry(2).Process, "Upload");
    EXPECT_TRUE(form->Queue().Entry(2).IsFolder);
    EXPECT_EQ(form->Queue().Entry(3).FileSize, 5);
    EXPECT_EQ(form->Queue().Entry(3).RemotePath, "/srv/");
    EXPECT_EQ(Panel(7), "Queue: 10   B in 4 file(s)");

    // No active pane, or nothing selected: nothing added, summary as it was.
    form->SetActivePane(0);
    form->ToolButton15Click();
    form->SetActivePane(2);
    form->RemoteDirList->clearSelection();
    form->ToolButton15Click();
    EXPECT_EQ(form->Queue().QueueCount(), 4);
    EXPECT_EQ(Panel(7), "Queue: 10   B in 4 file(s)");

    // The pop-up items go by their own pane whatever pane is active.
    SelectRemote({"r.bin"});
    form->SetActivePane(1);
    form->AddtoQueue1->trigger();
    EXPECT_EQ(QueueNames().back(), "r.bin");
    EXPECT_EQ(Panel(7), "Queue: 2 KB in 5 file(s)");

    // Every "Add to queue" menu item adds as the toolbar button does.
    form->SetActivePane(2);
    for (QAction* item : {form->Addtoqueue3, form->Addtoqueue4}) {
        item->setEnabled(true);  // as connected
        item->trigger();
        EXPECT_EQ(QueueNames().back(), "r.bin") << item->objectName().toStdString();
    }
    EXPECT_EQ(form->Queue().QueueCount(), 7);
}

// The toolbar, the pop-up item and the rename all read one selection: rows of the list that no
// listing record stands behind are never taken.
TEST_F(QueueUiOfflineTest, EveryRemoteCommandTakesTheSameSelectedRows) {
    MakeForm();
    FakeRemoteListing({Row("a.bin", 1), Row("b.bin", 2)}, "/srv/");
    new QTreeWidgetItem(form->RemoteDirList, QStringList{"stray"});
    form->RemoteDirList->selectAll();
    form->SetActivePane(2);
    form->ToolButton15Click();
    EXPECT_EQ(QueueNames(), (std::vector<std::string>{"a.bin", "b.bin"}));
    form->AddtoQueue1->trigger();
    EXPECT_EQ(QueueNames(), (std::vector<std::string>{"a.bin", "b.bin", "a.bin", "b.bin"}));
    form->Rename1Click();
    EXPECT_EQ(form->EnterDirForm->OldName(), "a.bin");
}

TEST_F(QueueUiOfflineTest, DropOnTheQueueListAddsTheDraggedPanesSelection) {
    MakeForm();
    local.writeFile("l.txt", "abc");
    FakeRemoteListing({Row("r1.bin", 100), Row("r2.bin", 200)}, "/in/");
    form->Queue().AppendEntry(Queued("first"));
    TQueueView& v = form->QueueView();

    // Who takes what.
    QWidget* queue = form->QueueListView;
    QWidget* remote = form->RemoteDirList;
    QWidget* home = form->HomeDirList;
    EXPECT_TRUE(v.AcceptsDrop(queue, remote));
    EXPECT_TRUE(v.AcceptsDrop(form->QueueListView->viewport(), form->HomeDirList->viewport()));
    EXPECT_FALSE(v.AcceptsDrop(queue, queue));
    EXPECT_FALSE(v.AcceptsDrop(queue, form->StatusList));
    EXPECT_FALSE(v.AcceptsDrop(queue, nullptr));
    EXPECT_TRUE(v.AcceptsDrop(remote, home));
    EXPECT_FALSE(v.AcceptsDrop(remote, remote));
    EXPECT_FALSE(v.AcceptsDrop(remote, queue));
    EXPECT_TRUE(v.AcceptsDrop(home, remote));
    EXPECT_FALSE(v.AcceptsDrop(home, home));
    EXPECT_FALSE(v.AcceptsDrop(form->StatusList, remote));

    // A drag from outside the panes is refused by the list itself.
    QMimeData mime;
    mime.setText(QStringLiteral("r1.bin"));
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(form->QueueListView->viewport(), &enter);
    EXPECT_FALSE(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(form->QueueListView->viewport(), &drop);
    QCoreApplication::processEvents();
    EXPECT_EQ(form->Queue().QueueCount(), 1);

    // The remote selection arrives as downloads, appended in row order.
    SelectRemote({"r2.bin", "r1.bin"});
    EXPECT_TRUE(v.Drop(form->QueueListView->viewport(), form->RemoteDirList->viewport()));
    ASSERT_EQ(QueueNames(), (std::vector<std::string>{"first", "r1.bin", "r2.bin"}));
    EXPECT_EQ(form->Queue().Entry(1).Process, "Download");
    EXPECT_EQ(form->Queue().Entry(2).FileSize, 200);

    // The local selection as uploads.
    ASSERT_TRUE(SelectLocal({"l.txt"}));
    EXPECT_TRUE(v.Drop(queue, home));
    ASSERT_EQ(form->Queue().QueueCount(), 4);
    EXPECT_EQ(form->Queue().Entry(3).Process, "Upload");
    EXPECT_EQ(form->Queue().Entry(3).FileSize, 3);
    EXPECT_EQ(Panel(7), "Queue: 313   B in 4 file(s)");

    // A refused drop changes nothing.
    EXPECT_FALSE(v.Drop(home, home));
    EXPECT_EQ(form->Queue().QueueCount(), 4);
}

TEST_F(QueueUiTest, DropsBetweenThePanesTransferAtOnce) {
    ORLIX_SKIP_UNLESS_FTP_SERVER(FtpServerKind::Pyftpdlib);
    serverRoot.writePatternFile("down.bin", 40000);
    local.writePatternFile("up.bin", 30000);
    StartServer();
    MakeForm();
    ASSERT_TRUE(Connect());
    TQueueView& v = form->QueueView();

    SelectRemote({"down.bin"});
    EXPECT_TRUE(v.Drop(form->HomeDirList->viewport(), form->RemoteDirList));
    EXPECT_EQ(local.readFile("down.bin"), patternBytes(0, 40000));

    ASSERT_TRUE(SelectLocal({"up.bin"}));
    EXPECT_TRUE(v.Drop(form->RemoteDirList, form->HomeDirList->viewport()));
    EXPECT_EQ(serverRoot.readFile("up.bin"), patternBytes(0, 30000));
    EXPECT_EQ(form->Queue().QueueCount(), 0);
    EXPECT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();
}

// ---- The queue across a restart of the window

TEST_F(QueueUiOfflineTest, TheQueueAndItsStatusesSurviveClosingAndReopening) {
    MakeForm();
    const int site = form->SiteTable().AddSite();
    form->SiteTable().SetSiteName(site, "keeper");
    const int other = form->SiteTable().AddSite();
    form->SiteTable().SetSiteName(other, "other");
    form->SiteTable().SetCurrentSite(site);
    local.writeFile("five.txt", "12345");
    local.makeDir("docs");
    FakeRemoteListing({Row("big.iso", 5000000), Row("tree", 0, true)}, "/pub/");

    SelectRemote({"big.iso", "tree"});
    form->AddtoQueue1Click();
    ASSERT_TRUE(SelectLocal({"docs", "five.txt"}));
    form->AddtoQueue2Click();
    form->Queue().SetEntryStatus(0, "Aborted");
    const std::string summary = Panel(7);
    std::vector<std::vector<std::string>> rows;
    for (int r = 0; r < form->QueueModel->rowCount(); ++r) {
        std::vector<std::string> texts;
        for (int c = 0; c < 6; ++c) texts.push_back(RowText(r, c));
        rows.push_back(texts);
    }
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0][5], "Aborted");

    form->SetFirstActivation(false);
    EXPECT_TRUE(form->close());
    form.reset();

    MakeForm();
    form->FormActivate();
    ASSERT_EQ(form->QueueModel->rowCount(), 4);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 6; ++c) EXPECT_EQ(RowText(r, c), rows[static_cast<size_t>(r)][static_cast<size_t>(c)]);
    EXPECT_EQ(form->Queue().Entry(0).Status, "Aborted");
    EXPECT_EQ(form->Queue().Entry(1).Status, "Ready");
    EXPECT_TRUE(form->Queue().Entry(1).IsFolder);
    EXPECT_EQ(Panel(7), summary);
    EXPECT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();
}

}  // namespace
