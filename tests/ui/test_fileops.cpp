// Delete, rename and make directory in both panes of the main window: the name-entry dialog in
// its modes, the desktop trash for local deletes, and remote deletes of whole trees against real
// servers on 127.0.0.1.

#include <gtest/gtest.h>

#include "ftp/ftp_client.h"
#include "tests/support/ftp_servers.h"
#include "ui/enter_dir_form.h"
#include "ui/file_ops_ui.h"
#include "ui/guard.h"
#include "ui/main_form.h"
#include "ui/remote_pane.h"
#include "ui/status_log.h"
#include "tests/ui/ui_test_app.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileSystemModel>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <QTreeWidget>
#include <QUrl>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

// A pyftpdlib server whose user may do everything but delete (DELE and RMD are refused).
class NoDeleteServer {
public:
    explicit NoDeleteServer(const std::string& root) {
        static const char* kScript =
            "import sys\n"
            "from pyftpdlib.authorizers import DummyAuthorizer\n"
            "from pyftpdlib.handlers import FTPHandler\n"
            "from pyftpdlib.servers import FTPServer\n"
            "a = DummyAuthorizer()\n"
            "a.add_user('tester', 'secret', sys.argv[1], perm='elrafmwMT')\n"
            "FTPHandler.authorizer = a\n"
            "s = FTPServer(('127.0.0.1', 0), FTPHandler)\n"
            "print(s.socket.getsockname()[1], flush=True)\n"
            "s.serve_forever()\n";
        int fds[2];
        if (::pipe(fds) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::setpgid(0, 0);
            ::dup2(fds[1], 1);
            ::close(fds[0]);
            ::close(fds[1]);
            ::execl("/usr/bin/python3", "python3", "-c", kScript, root.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        std::string text;
        char c;
        while (::read(fds[0], &c, 1) == 1 && c != '\n') text += c;
        ::close(fds[0]);
        port_ = std::atoi(text.c_str());
    }
    ~NoDeleteServer() {
        if (pid_ > 0) {
            ::kill(-pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    NoDeleteServer(const NoDeleteServer&) = delete;
    NoDeleteServer& operator=(const NoDeleteServer&) = delete;
    int port() const { return port_; }

private:
    pid_t pid_ = -1;
    int port_ = 0;
};

class FileOpsTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureApplication();
        QApplication::setQuitOnLastWindowClosed(false);
        ASSERT_TRUE(tmp.isValid());
        // The trash lives in the data folder of the desktop; the items and the trash share one
        // file system, so the items go into that trash and not into one at the top of a mount.
        home = tmp.path() + "/home";
        work = tmp.path() + "/work";
        QDir().mkpath(home + "/.local/share");
        QDir().mkpath(work);
        savedHome = qgetenv("HOME");
        savedDataHome = qgetenv("XDG_DATA_HOME");
        hadDataHome = qEnvironmentVariableIsSet("XDG_DATA_HOME");
        setenv("HOME", home.toUtf8().constData(), 1);
        setenv("XDG_DATA_HOME", (home + "/.local/share").toUtf8().constData(), 1);
        trash = home + "/.local/share/Trash";
        guard::SetErrorSink([this](const QString& m) { errors << m; });
        guard::SetMessageSink([this](const QString& m) { messages << m; });
        guard::SetQuestionSink([this](const QString& q) {
            questions << q;
            return answer;
        });
        form = std::make_unique<TMainForm>();
        form->CreateDialogs();
        form->SetFirstActivation(false);  // no stored state, no site dialog
    }
    void TearDown() override {
        if (form && form->IdFTP1 && form->IdFTP1->IsConnected()) {
            try {
                form->IdFTP1->Disconnect();
            } catch (...) {
            }
        }
        form.reset();
        guard::SetErrorSink({});
        guard::SetMessageSink({});
        guard::SetQuestionSink({});
        setenv("HOME", savedHome.constData(), 1);
        if (hadDataHome)
            setenv("XDG_DATA_HOME", savedDataHome.constData(), 1);
        else
            unsetenv("XDG_DATA_HOME");
    }

    // ---- Local pane ----

    void WriteLocal(const QString& rel, const QByteArray& bytes = "x") {
        const QString path = work + "/" + rel;
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    // Shows the work folder and waits until the model has read its count of entries.
    void ShowWork(int expectedRows) {
        ASSERT_TRUE(form->SetLocalDir(work));
        WaitLocalRows(expectedRows);
    }
    void WaitLocalRows(int expectedRows) {
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return form->HomeDirModel->rowCount(form->HomeDirList->rootIndex()) == expectedRows; }, 5000));
    }
    void SelectLocal(const QStringList& names) {
        form->HomeDirList->selectionModel()->clearSelection();
        for (const QString& n : names) {
            const QModelIndex i = form->HomeDirModel->index(work + "/" + n);
            ASSERT_TRUE(i.isValid()) << n.toStdString();
            form->HomeDirList->selectionModel()->select(i, QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
    }
    // Whether the trash holds name with a record of where it came from.
    bool InTrash(const QString& name, const QString& from) {
        QFile info(trash + "/info/" + name + ".trashinfo");
        if (!info.open(QIODevice::ReadOnly)) return false;
        const QByteArray text = info.readAll();
        return QFileInfo::exists(trash + "/files/" + name) &&
               text.contains("Path=" + QUrl::toPercentEncoding(from, "/"));
    }

    // ---- Name-entry dialog ----

    TEnterDirForm* Dialog() { return form->EnterDirForm; }
    void Enter(const QString& text) {
        Dialog()->Edit1->setText(text);
        QTest::mouseClick(Dialog()->Button1, Qt::LeftButton);
    }

    // ---- Remote pane ----

    void Connect(int port) {
        form->IdFTP1->SetHost("127.0.0.1");
        form->IdFTP1->SetPort(port);
        form->IdFTP1->Username = "tester";
        form->IdFTP1->Password = "secret";
        form->IdFTP1->Passive = true;
        form->IdFTP1->OpenSession();
        form->ApplyConnectedAvailability();
        form->SetActivePane(2);
        form->ListRemoteDirectory("/");
    }
    int RemoteRow(const std::string& name) const {
        for (size_t i = 0; i < form->HostDirInfo().size(); ++i)
            if (form->HostDirInfo()[i].Name == name) return static_cast<int>(i);
        return -1;
    }
    void SelectRemote(const std::string& name) {
        const int row = RemoteRow(name);
        ASSERT_GE(row, 0) << name;
        form->RemoteDirList->clearSelection();
        form->RemoteDirList->topLevelItem(row)->setSelected(true);
    }
    // The commands sent since the log was last cleared, e.g. "DELE /top/f1".
    std::vector<std::string> Sent() const {
        std::vector<std::string> out;
        const QString prefix = QStringLiteral("Command:   ");
        for (int i = 0; i < form->StatusList->LineCount(); ++i) {
            const QString line = form->StatusList->LineText(i);
            if (!line.startsWith(prefix)) continue;
            QString command = line.mid(prefix.size());
            command.remove(QStringLiteral("<EOL>"));
            out.push_back(command.trimmed().toStdString());
        }
        return out;
    }
    static bool Has(const std::vector<std::string>& sent, const std::string& command) {
        return std::find(sent.begin(), sent.end(), command) != sent.end();
    }
    static long IndexOf(const std::vector<std::string>& sent, const std::string& command) {
        const auto it = std::find(sent.begin(), sent.end(), command);
        return it == sent.end() ? -1 : static_cast<long>(it - sent.begin());
    }
    static long LastIndexOfPrefix(const std::vector<std::string>& sent, const std::string& prefix) {
        long last = -1;
        for (size_t i = 0; i < sent.size(); ++i)
            if (sent[i].rfind(prefix, 0) == 0) last = static_cast<long>(i);
        return last;
    }
    // The last listing of the remote view, by MLSD or LIST.
    static long LastListing(const std::vector<std::string>& sent) {
        return std::max(LastIndexOfPrefix(sent, "MLSD"), LastIndexOfPrefix(sent, "LIST"));
    }

    QTemporaryDir tmp;
    QByteArray savedHome, savedDataHome;
    bool hadDataHome = false;
    QString home, work, trash;
    std::unique_ptr<TMainForm> form;
    QStringList errors, messages, questions;
    bool answer = true;
};

// ---- Local pane ----

TEST_F(FileOpsTest, LocalMakeDirectoryFromPopupAndCommandsMenu) {
    ShowWork(0);
    form->MakeDirectory1Click();
    ASSERT_TRUE(Dialog()->isVisible());
    EXPECT_EQ(Dialog()->windowTitle(), "Make Directory");
    EXPECT_EQ(Dialog()->Mode(), TEnterDirForm::MakeLocalDir);
    EXPECT_TRUE(Dialog()->Edit1->text().isEmpty());
    EXPECT_EQ(Dialog()->Label1->text(), "Enter name :");
    EXPECT_EQ(Dialog()->Button1->text(), "&OK");
    EXPECT_EQ(Dialog()->Button2->text(), "&Cancle");
    // The main window takes no input while the dialog is open.
    EXPECT_EQ(Dialog()->windowModality(), Qt::ApplicationModal);

    Enter("");
    EXPECT_EQ(messages, QStringList{"Enter directory name"});
    EXPECT_TRUE(Dialog()->isVisible());

    Enter("first");
    EXPECT_FALSE(Dialog()->isVisible());
    EXPECT_TRUE(QFileInfo(work + "/first").isDir());
    WaitLocalRows(1);

    // Commands menu "&Make directory" (F7) acts on the local pane while it is active.
    form->SetActivePane(1);
    EXPECT_EQ(form->Makedirectory2->shortcut(), QKeySequence(Qt::Key_F7));
    form->Makedirectory2->trigger();
    ASSERT_TRUE(Dialog()->isVisible());
    EXPECT_EQ(Dialog()->Mode(), TEnterDirForm::MakeLocalDir);
    Enter("second");
    EXPECT_TRUE(QFileInfo(work + "/second").isDir());

    // Cancle only closes.
    form->MakeDirectory1Click();
    Dialog()->Edit1->setText("never");
    QTest::mouseClick(Dialog()->Button2, Qt::LeftButton);
    EXPECT_FALSE(Dialog()->isVisible());
    EXPECT_FALSE(QFileInfo::exists(work + "/never"));
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(FileOpsTest, LocalRenameFromPopupToolbarAndF6) {
    WriteLocal("notes.txt", "keep me");
    WriteLocal("other.txt", "other");
    ShowWork(2);

    SelectLocal({"notes.txt"});
    form->Rename2Click();
    ASSERT_TRUE(Dialog()->isVisible());
    EXPECT_EQ(Dialog()->windowTitle(), "Rename");
    EXPECT_EQ(Dialog()->Mode(), TEnterDirForm::RenameLocal);
    EXPECT_EQ(Dialog()->Edit1->text(), "notes.txt");
    Enter("");
    EXPECT_EQ(messages, QStringList{"Enter directory name"});
    EXPECT_TRUE(Dialog()->isVisible());
    Enter("Notes.txt");  // only the case differs: a different name here
    EXPECT_FALSE(Dialog()->isVisible());
    EXPECT_FALSE(QFileInfo::exists(work + "/notes.txt"));
    EXPECT_TRUE(QFileInfo::exists(work + "/Notes.txt"));

    // Toolbar "Rename" with the local pane active; a rename onto an existing name replaces
    // nothing, and the dialog still closes.
    WaitLocalRows(2);
    SelectLocal({"Notes.txt"});
    form->SetActivePane(1);
    form->ToolButton13->trigger();
    ASSERT_TRUE(Dialog()->isVisible());
    EXPECT_EQ(Dialog()->Edit1->text(), "Notes.txt");
    Enter("other.txt");
    EXPECT_FALSE(Dialog()->isVisible());
    QFile other(work + "/other.txt");
    ASSERT_TRUE(other.open(QIODevice::ReadOnly));
    EXPECT_EQ(other.readAll(), "other");
    EXPECT_TRUE(QFileInfo::exists(work + "/Notes.txt"));

    // F6 is the Commands menu's "Re&name".
    EXPECT_EQ(form->Rename3->shortcut(), QKeySequence(Qt::Key_F6));
    form->Rename3->trigger();
    ASSERT_TRUE(Dialog()->isVisible());
    Enter("final.txt");
    EXPECT_TRUE(QFileInfo::exists(work + "/final.txt"));

    // Nothing selected: no dialog.
    WaitLocalRows(2);
    form->HomeDirList->selectionModel()->clearSelection();
    form->Rename2Click();
    EXPECT_FALSE(Dialog()->isVisible());
}

TEST_F(FileOpsTest, LocalDeleteAsksAndMovesToTheTrash) {
    WriteLocal("report.txt", "report");
    WriteLocal("a.txt");
    WriteLocal("b.txt");
    WriteLocal("folder/inner.txt", "inner");
    ShowWork(4);

    // One item: its name in double quotes; No keeps it.
    SelectLocal({"report.txt"});
    answer = false;
    form->Delete2Click();
    ASSERT_EQ(questions.size(), 1);
    EXPECT_EQ(questions.back(), "Are you sure want to send: \"report.txt\" to the Recycle bin?");
    EXPECT_TRUE(QFileInfo::exists(work + "/report.txt"));

    answer = true;
    form->Delete2Click();
    EXPECT_FALSE(QFileInfo::exists(work + "/report.txt"));
    EXPECT_TRUE(InTrash("report.txt", work + "/report.txt"));

    // Three items through the toolbar: counted; a folder goes whole.
    WaitLocalRows(3);
    SelectLocal({"a.txt", "b.txt", "folder"});
    form->SetActivePane(1);
    form->ToolButton18->trigger();
    EXPECT_EQ(questions.back(), "Are you sure want to send these 3 items to the Recycle bin?");
    for (const QString n : {"a.txt", "b.txt", "folder"}) {
        EXPECT_FALSE(QFileInfo::exists(work + "/" + n)) << n.toStdString();
        EXPECT_TRUE(InTrash(n, work + "/" + n)) << n.toStdString();
    }
    EXPECT_TRUE(messages.isEmpty());
    WaitLocalRows(0);

    // Restoring puts back what was there.
    ASSERT_TRUE(QDir().rename(trash + "/files/folder", work + "/folder"));
    QFile inner(work + "/folder/inner.txt");
    ASSERT_TRUE(inner.open(QIODevice::ReadOnly));
    EXPECT_EQ(inner.readAll(), "inner");

    // Nothing selected: no question.
    WaitLocalRows(1);
    form->HomeDirList->selectionModel()->clearSelection();
    const auto asked = questions.size();
    form->Delete3Click();
    EXPECT_EQ(questions.size(), asked);
}

TEST_F(FileOpsTest, LocalDeleteThatTheTrashRefusesKeepsTheItemsAndSaysSo) {
    WriteLocal("keep.txt", "keep");
    WriteLocal("dir/file.txt", "inside");
    ShowWork(2);
    // A plain file where the trash folder should be: the trash cannot take anything.
    QDir().mkpath(home + "/.local/share");
    QFile blocker(trash);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    SelectLocal({"dir", "keep.txt"});
    form->Delete2Click();
    EXPECT_EQ(questions.back(), "Are you sure want to send these 2 items to the Recycle bin?");
    EXPECT_TRUE(QFileInfo::exists(work + "/dir/file.txt"));
    EXPECT_TRUE(QFileInfo::exists(work + "/keep.txt"));
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages.front().startsWith("Can not send these 2 items to the Recycle bin!"))
        << messages.front().toStdString();
    EXPECT_TRUE(messages.front().contains(work + "/keep.txt"));
    QFile keep(work + "/keep.txt");
    ASSERT_TRUE(keep.open(QIODevice::ReadOnly));
    EXPECT_EQ(keep.readAll(), "keep");
    EXPECT_TRUE(QFileInfo::exists(work + "/dir/file.txt"));
}

TEST_F(FileOpsTest, FunctionKeysReachTheCommandsOfTheActivePane) {
    WriteLocal("doc.txt");
    ShowWork(1);
    form->show();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    form->SetActivePane(1);

    QTest::keyClick(form.get(), Qt::Key_F7);
    ASSERT_TRUE(Dialog()->isVisible());
    EXPECT_EQ(Dialog()->Mode(), TEnterDirForm::MakeLocalDir);
    QTest::keyClick(Dialog()->Edit1, Qt::Key_Escape);
    EXPECT_FALSE(Dialog()->isVisible());

    SelectLocal({"doc.txt"});
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    QTest::keyClick(form.get(), Qt::Key_F6);
    ASSERT_TRUE(Dialog()->isVisible());
    EXPECT_EQ(Dialog()->Mode(), TEnterDirForm::RenameLocal);
    Dialog()->Edit1->end(false);
    QTest::keyClicks(Dialog()->Edit1, "2");
    QTest::keyClick(Dialog()->Edit1, Qt::Key_Return);
    EXPECT_FALSE(Dialog()->isVisible());
    EXPECT_TRUE(QFileInfo::exists(work + "/doc.txt2"));

    WaitLocalRows(1);
    SelectLocal({"doc.txt2"});
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    answer = false;
    QTest::keyClick(form.get(), Qt::Key_F8);
    EXPECT_EQ(questions, QStringList{"Are you sure want to send: \"doc.txt2\" to the Recycle bin?"});
}

TEST_F(FileOpsTest, TrashKeepsItemsOfTheSameNameApart) {
    WriteLocal("a/same.txt", "first");
    WriteLocal("b/same.txt", "second");
    ASSERT_TRUE(fileops::MoveToTrash(work + "/a/same.txt"));
    ASSERT_TRUE(fileops::MoveToTrash(work + "/b/same.txt"));
    EXPECT_TRUE(InTrash("same.txt", work + "/a/same.txt"));
    EXPECT_TRUE(InTrash("same.txt.2", work + "/b/same.txt"));
    QFile second(trash + "/files/same.txt.2");
    ASSERT_TRUE(second.open(QIODevice::ReadOnly));
    EXPECT_EQ(second.readAll(), "second");
    // A folder cannot go into the trash that lies inside it: it stays, and so does the trash.
    EXPECT_FALSE(fileops::MoveToTrash(home + "/.local"));
    EXPECT_TRUE(QFileInfo::exists(trash + "/files/same.txt"));
    EXPECT_FALSE(QFileInfo::exists(trash + "/info/.local.trashinfo"));
    EXPECT_FALSE(fileops::MoveToTrash(work + "/missing"));
}

TEST(FileOpsTexts, NamesAndQuestions) {
    EXPECT_EQ(fileops::LocalItemName("/home/u/a b.txt"), "a b.txt");
    EXPECT_EQ(fileops::LocalItemName("/home/u/dir/"), "dir");
    EXPECT_EQ(fileops::RelativeToFolder("/home/u/x", "/home/u"), "x");
    EXPECT_EQ(fileops::RelativeToFolder("/x", "/"), "x");
    EXPECT_EQ(fileops::RemoteDeleteQuestion("old.zip"), "Are you sure want to delete: old.zip");
    EXPECT_TRUE(fileops::IsChildName("a\\b"));
    for (const char* bad : {"", ".", "..", "a/b", "/etc"}) EXPECT_FALSE(fileops::IsChildName(bad)) << bad;
}

TEST_F(FileOpsTest, LocalMakeDirectoryInTheRootFolderKeepsOneSeparator) {
    // "/" plays the drive root: the new folder is "/" + name, never "//" + name.
    EXPECT_TRUE(fileops::MakeLocalDirectory(work + "/", "x"));
    EXPECT_TRUE(QFileInfo(work + "/x").isDir());
    EXPECT_FALSE(fileops::MakeLocalDirectory(work, "x"));  // exists already
    EXPECT_EQ(fileops::WithLocalSlash("/"), "/");
}

// ---- Remote pane ----

class RemoteFileOpsTest : public FileOpsTest, public ::testing::WithParamInterface<FtpServerKind> {
protected:
    void StartServer() {
        root = std::make_unique<TempDir>("orlix-fileops");
        root->writeFile("top/f1.txt", "1");
        root->writeFile("top/a/f2.txt", "22");
        root->writeFile("top/a/b/f3.txt", "333");
        root->writeFile("top/a/b/c/f4.txt", "4444");
        root->writeFile("single.txt", "s");
        root->makeDir("keep");
        server = FtpServerProcess::start(GetParam(), root->path());
        ASSERT_TRUE(server);
    }
    std::unique_ptr<TempDir> root;
    std::unique_ptr<FtpServerProcess> server;
};

TEST_P(RemoteFileOpsTest, DeletesATreeFilesFirstDeepestDirectoriesFirst) {
    ORLIX_SKIP_UNLESS_FTP_SERVER(GetParam());
    StartServer();
    ASSERT_NO_FATAL_FAILURE(Connect(server->port()));
    ASSERT_GE(RemoteRow("top"), 0);

    SelectRemote("top");
    form->StatusList->ClearLog();
    answer = false;
    form->Delete1Click();
    EXPECT_EQ(questions.back(), "Are you sure want to delete: top");
    EXPECT_TRUE(root->exists("top/a/b/c/f4.txt"));

    answer = true;
    form->StatusList->ClearLog();
    form->Delete1Click();
    EXPECT_TRUE(messages.isEmpty()) << messages.join("|").toStdString();
    EXPECT_TRUE(errors.isEmpty()) << errors.join("|").toStdString();
    EXPECT_FALSE(root->exists("top"));
    EXPECT_TRUE(root->exists("single.txt"));
    EXPECT_TRUE(root->exists("keep"));

    const auto sent = Sent();
    const long lastDele = LastIndexOfPrefix(sent, "DELE ");
    const long rmdC = IndexOf(sent, "RMD /top/a/b/c");
    const long rmdB = IndexOf(sent, "RMD /top/a/b");
    const long rmdA = IndexOf(sent, "RMD /top/a");
    const long rmdTop = IndexOf(sent, "RMD /top");
    for (const char* f : {"DELE /top/f1.txt", "DELE /top/a/f2.txt", "DELE /top/a/b/f3.txt", "DELE /top/a/b/c/f4.txt"})
        EXPECT_TRUE(Has(sent, f)) << f;
    ASSERT_GE(rmdC, 0);
    EXPECT_LT(lastDele, rmdC);
    EXPECT_LT(rmdC, rmdB);
    EXPECT_LT(rmdB, rmdA);
    EXPECT_LT(rmdA, rmdTop);
    // Back in the starting directory, listed again.
    EXPECT_GT(LastListing(sent), rmdTop);
    EXPECT_EQ(form->IdFTP1->WorkingDir(), "/");
    EXPECT_EQ(RemoteRow("top"), -1);
    EXPECT_GE(RemoteRow("single.txt"), 0);

    // A single file through the toolbar with the remote pane active.
    SelectRemote("single.txt");
    form->SetActivePane(2);
    form->ToolButton18->trigger();
    EXPECT_FALSE(root->exists("single.txt"));
    EXPECT_EQ(RemoteRow("single.txt"), -1);
}

TEST_P(RemoteFileOpsTest, MakeDirectoryAndRenameFromPopupToolbarAndKeys) {
    ORLIX_SKIP_UNLESS_FTP_SERVER(GetParam());
    StartServer();
    ASSERT_NO_FATAL_FAILURE(Connect(server->port()));

    form->MakeDir1Click();
    ASSERT_TRUE(Dialog()->isVisible());
    EXPECT_EQ(Dialog()->windowTitle(), "Make Directory");
    EXPECT_EQ(Dialog()->Mode(), TEnterDirForm::MakeRemoteDir);
    Enter("");
    EXPECT_EQ(messages, QStringList{"Enter directory name"});
    EXPECT_TRUE(Dialog()->isVisible());
    Enter("made");
    EXPECT_FALSE(Dialog()->isVisible());
    EXPECT_TRUE(root->exists("made"));
    EXPECT_GE(RemoteRow("made"), 0);

    // Rename to a name differing only in case: sent as typed.
    SelectRemote("made");
    form->Rename1Click();
    ASSERT_TRUE(Dialog()->isVisible());
    EXPECT_EQ(Dialog()->windowTitle(), "Rename Directory");
    EXPECT_EQ(Dialog()->Mode(), TEnterDirForm::RenameRemote);
    EXPECT_EQ(Dialog()->Edit1->text(), "made");
    form->StatusList->ClearLog();
    Enter("MADE");
    EXPECT_FALSE(Dialog()->isVisible());
    EXPECT_TRUE(Has(Sent(), "RNFR /made"));
    EXPECT_TRUE(Has(Sent(), "RNTO /MADE"));
    EXPECT_TRUE(root->exists("MADE"));
    EXPECT_FALSE(root->exists("made"));
    EXPECT_GE(RemoteRow("MADE"), 0);

    // Toolbar "Rename" and the Commands menu (F7) with the remote pane active, inside a subfolder.
    form->ListRemoteDirectory("/keep");
    form->SetActivePane(2);
    form->Makedirectory2->trigger();
    ASSERT_TRUE(Dialog()->isVisible());
    EXPECT_EQ(Dialog()->Mode(), TEnterDirForm::MakeRemoteDir);
    Enter("inner");
    EXPECT_TRUE(root->exists("keep/inner"));
    SelectRemote("inner");
    form->ToolButton13->trigger();
    ASSERT_TRUE(Dialog()->isVisible());
    EXPECT_EQ(Dialog()->Mode(), TEnterDirForm::RenameRemote);
    Enter("renamed");
    EXPECT_TRUE(root->exists("keep/renamed"));
    EXPECT_GE(RemoteRow("renamed"), 0);

    // A refused MKD reaches the error display and leaves the dialog open.
    form->MakeDir1Click();
    Enter("renamed");
    EXPECT_EQ(errors.size(), 1);
    EXPECT_TRUE(Dialog()->isVisible());
    QTest::mouseClick(Dialog()->Button2, Qt::LeftButton);
    EXPECT_FALSE(Dialog()->isVisible());
}

TEST_P(RemoteFileOpsTest, RemoteCommandsWaitForTheTransfer) {
    ORLIX_SKIP_UNLESS_FTP_SERVER(GetParam());
    StartServer();
    ASSERT_NO_FATAL_FAILURE(Connect(server->port()));
    SelectRemote("single.txt");
    form->SetActivePane(2);
    // While bytes flow, and between the files of a run (its listings, its questions).
    for (const bool betweenFiles : {false, true}) {
        SCOPED_TRACE(betweenFiles);
        form->Transfer().Transferring = !betweenFiles;
        form->Transfer().RunActive = betweenFiles;
        form->StatusList->ClearLog();
        form->ToolButton18->trigger();
        form->ToolButton13->trigger();
        form->Makedirectory2->trigger();
        form->Delete3->trigger();
        form->Delete1Click();
        form->Rename1Click();
        form->MakeDir1Click();
        EXPECT_TRUE(questions.isEmpty()) << questions.join("|").toStdString();
        EXPECT_FALSE(Dialog()->isVisible());
        EXPECT_TRUE(Sent().empty());
        EXPECT_TRUE(root->exists("single.txt"));
        bool told = false;
        for (int i = 0; i < form->StatusList->LineCount(); ++i)
            told =
                told || form->StatusList->LineText(i).contains(QStringLiteral("not available while a transfer runs"));
        EXPECT_TRUE(told);
    }
    form->Transfer().RunActive = false;

    // Not connected: the same.
    form->Transfer().Transferring = false;
    form->IdFTP1->Disconnect();
    form->SetActivePane(2);  // the disconnect made the local pane active
    answer = false;
    form->ToolButton18->trigger();
    form->ToolButton13->trigger();
    form->Makedirectory2->trigger();
    EXPECT_TRUE(questions.isEmpty()) << questions.join("|").toStdString();
    EXPECT_FALSE(Dialog()->isVisible()) << form->ActivePane();
}

INSTANTIATE_TEST_SUITE_P(Servers, RemoteFileOpsTest, ::testing::Values(FtpServerKind::Pyftpdlib, FtpServerKind::Vsftpd),
                         [](const auto& info) { return std::string(FtpServerProcess::name(info.param)); });

TEST_F(FileOpsTest, RefusedDeleteOnVsftpdStopsWithTheMessage) {
    ORLIX_SKIP_UNLESS_FTP_SERVER(FtpServerKind::Vsftpd);
    TempDir root("orlix-fileops");
    root.writeFile("top/f1.txt", "1");
    root.writeFile("top/ro/f2.txt", "2");
    root.writeFile("top/ro/z/f3.txt", "3");
    auto server = FtpServerProcess::start(FtpServerKind::Vsftpd, root.path());
    ASSERT_TRUE(server);
    // The server's user may not remove entries of "ro".
    ASSERT_EQ(::chown(root.file("top/ro").c_str(), 0, 0), 0);
    ASSERT_EQ(::chmod(root.file("top/ro").c_str(), 0755), 0);
    ASSERT_NO_FATAL_FAILURE(Connect(server->port()));

    SelectRemote("top");
    form->StatusList->ClearLog();
    form->Delete1Click();
    EXPECT_EQ(messages, QStringList{"Can not delete file or directory!"});
    // Files deleted before the refusal stay deleted; the rest is untouched.
    EXPECT_FALSE(root.exists("top/f1.txt"));
    EXPECT_TRUE(root.exists("top/ro/f2.txt"));
    EXPECT_TRUE(root.exists("top/ro/z/f3.txt"));
    const auto sent = Sent();
    EXPECT_EQ(LastIndexOfPrefix(sent, "RMD"), -1);
    EXPECT_FALSE(Has(sent, "DELE /top/ro/z/f3.txt"));
    // The pop-up variant does not list again after a failure.
    ASSERT_TRUE(Has(sent, "DELE /top/ro/f2.txt"));
    EXPECT_LT(LastIndexOfPrefix(sent, "LIST"), IndexOf(sent, "DELE /top/ro/f2.txt"));
    EXPECT_EQ(form->IdFTP1->WorkingDir(), "/");
}

TEST_F(FileOpsTest, RefusedDeleteOnPyftpdlibStopsWithTheMessage) {
    ORLIX_SKIP_UNLESS_FTP_SERVER(FtpServerKind::Pyftpdlib);
    TempDir root("orlix-fileops");
    root.writeFile("one.txt", "1");
    root.writeFile("top/f1.txt", "1");
    NoDeleteServer server(root.path());
    ASSERT_GT(server.port(), 0);
    ASSERT_NO_FATAL_FAILURE(Connect(server.port()));

    SelectRemote("one.txt");
    form->Delete1Click();
    EXPECT_EQ(messages, QStringList{"Can not delete file or directory!"});
    EXPECT_TRUE(root.exists("one.txt"));

    // The toolbar variant lists the directory again after the failure.
    SelectRemote("top");
    form->SetActivePane(2);
    form->StatusList->ClearLog();
    form->ToolButton18->trigger();
    EXPECT_EQ(messages.size(), 2);
    EXPECT_TRUE(root.exists("top/f1.txt"));
    const auto sent = Sent();
    EXPECT_GT(LastListing(sent), IndexOf(sent, "DELE /top/f1.txt"));
    EXPECT_GE(RemoteRow("top"), 0);
}

TEST_F(FileOpsTest, ListedNameWithASlashIsNeverDeleted) {
    // A row whose name would point below another directory: no question, nothing sent.
    form->RemotePane().ShowListing({THostDirInfo{"etc/passwd", 10, "", false}}, "/");
    QTreeWidgetItem* item = form->RemoteDirList->topLevelItem(0);
    form->RemoteDirList->setEnabled(true);
    item->setSelected(true);
    form->Delete1Click();
    EXPECT_TRUE(questions.isEmpty());
    EXPECT_EQ(messages, QStringList{"Can not delete file or directory!"});
}

TEST_F(FileOpsTest, GotoDirectoryModeChangesTheRemoteDirectory) {
    ORLIX_SKIP_UNLESS_FTP_SERVER(FtpServerKind::Pyftpdlib);
    TempDir root("orlix-fileops");
    root.writeFile("sub/deep/x.txt", "x");
    auto server = FtpServerProcess::start(FtpServerKind::Pyftpdlib, root.path());
    ASSERT_TRUE(server);
    ASSERT_NO_FATAL_FAILURE(Connect(server->port()));
    form->GotoDirectory1Click();
    ASSERT_TRUE(Dialog()->isVisible());
    EXPECT_EQ(Dialog()->Mode(), TEnterDirForm::ChangeRemoteDir);
    Enter("");
    EXPECT_EQ(messages, QStringList{"Enter directory name"});
    Enter("/sub/deep");
    EXPECT_FALSE(Dialog()->isVisible());
    EXPECT_EQ(form->IdFTP1->WorkingDir(), "/sub/deep");
    EXPECT_GE(RemoteRow("x.txt"), 0);
}

}  // namespace
