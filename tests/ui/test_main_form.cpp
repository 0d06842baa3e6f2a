// The main window: start-up from stored data files, saving at close, the tray, the queue list and
// the progress display fed by work events.

#include <gtest/gtest.h>

#include "ftp/ftp_client.h"
#include "settings/program_settings.h"
#include "sites/data_file.h"
#include "sites/site_table.h"
#include "tests/support/ftp_servers.h"
#include "transfer/queue_model.h"
#include "ui/about_form.h"
#include "ui/connect_form.h"
#include "ui/guard.h"
#include "ui/main_form.h"
#include "ui/queue_list_model.h"
#include "ui/status_log.h"
#include "tests/ui/ui_test_app.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QTest>
#include <QUrl>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>
#include <QTreeWidget>

#include <cstdlib>
#include <memory>
#include <sys/stat.h>

namespace {

TQueueInfo Entry(const std::string& name, int64_t size, const std::string& process = "Download", bool folder = false) {
    TQueueInfo e;
    e.FileName = name;
    e.LocalPath = "/tmp/";
    e.FileSize = folder ? -1 : size;
    e.Process = process;
    e.RemotePath = "/pub/";
    e.IsFolder = folder;
    return e;
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

class MainFormTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureApplication();
        QApplication::setQuitOnLastWindowClosed(false);
        ASSERT_TRUE(dataHome.isValid());
        setenv("XDG_DATA_HOME", dataHome.path().toUtf8().constData(), 1);
        dataDir = dataHome.path().toStdString() + "/orlix-ftp/";
        guard::SetErrorSink([this](const QString& m) { errors << m; });
        guard::SetMessageSink([this](const QString& m) { messages << m; });
        guard::SetQuestionSink([this](const QString& q) {
            questions << q;
            return answer;
        });
    }
    void TearDown() override {
        if (form) {
            // Leave without saving: every test decides itself what reaches the disk.
            form->SetFirstActivation(false);
            form.reset();
        }
        ClearWriteFaultInjection();
        guard::SetErrorSink({});
        guard::SetMessageSink({});
        guard::SetQuestionSink({});
    }

    void MakeForm() {
        form = std::make_unique<TMainForm>();
        form->CreateDialogs();
    }

    // Writes the three data files: sites "alpha" and "beta", beta current, the local folder, and
    // two queued entries for beta and one for alpha.
    void PrepareDataFiles(const std::string& localDir, int32_t sendBufferSize = 99999) {
        TSiteTable sites;
        TTransferQueue queue;
        sites.SetPairedSlots(&queue.Stores());
        const int a = sites.AddSite();
        sites.SetSiteName(a, "alpha");
        sites.Site(a).Host = "127.0.0.1";
        const int b = sites.AddSite();
        sites.SetSiteName(b, "beta");
        sites.Site(b).Port = 2121;
        sites.Save(dataDir);

        TProgramSettings settings;
        settings.Status.RecvBufferSize = 8192;
        settings.Status.SendBufferSize = sendBufferSize;  // 99999 is out of range: the default comes back
        sites.SetCurrentSite(b);
        settings.Save(dataDir, sites, localDir);

        queue.AppendEntry(Entry("one.bin", 3000));
        queue.AppendEntry(Entry("docs", 0, "Upload", true));
        queue.StoreLiveQueue("beta");
        queue.RemoveAllEntries();
        queue.AppendEntry(Entry("alpha.txt", 10));
        queue.StoreLiveQueue("alpha");
        queue.LoadSiteQueue("beta");  // saving stores the live queue under the current site first
        queue.SaveQueueFiles(dataDir, sites);
    }

    QTemporaryDir dataHome;
    std::string dataDir;
    std::unique_ptr<TMainForm> form;
    QStringList errors, messages, questions;
    bool answer = false;
};

TEST_F(MainFormTest, DataFolderIsCreatedPrivateUnderXdgDataHome) {
    MakeForm();
    EXPECT_EQ(form->DataDir(), dataDir);
    struct stat st {};
    ASSERT_EQ(::stat(dataDir.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(MainFormTest, StartsDisconnectedAndEmpty) {
    MakeForm();
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Orlix FTP client 1.0 demo"));
    EXPECT_EQ(form->PanelText(0), QStringLiteral("Disconnected"));
    EXPECT_EQ(form->StatusList->LineCount(), 0);
    EXPECT_FALSE(form->Transfer().Transferring);
    EXPECT_FALSE(form->RemoteDirList->isEnabled());
    EXPECT_FALSE(form->ToolButton3->isEnabled());
    EXPECT_TRUE(form->ToolButton2->isEnabled());
    EXPECT_FALSE(form->Timer1->isActive());
    EXPECT_EQ(form->QueueModel->rowCount(), 0);
}

TEST_F(MainFormTest, FirstActivationRestoresSitesLocalFolderAndTheCurrentSitesQueue) {
    QTemporaryDir local;
    const std::string localDir = local.path().toStdString() + "/";
    PrepareDataFiles(localDir);

    MakeForm();
    form->FormActivate();

    EXPECT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();
    ASSERT_EQ(form->SiteTable().Count(), 2);
    EXPECT_EQ(form->SiteTable().CurrentSiteName(), "beta");
    EXPECT_EQ(form->LocalDir(), localDir);
    EXPECT_EQ(form->IdFTP1->RecvBufferSize, 8192);
    EXPECT_EQ(form->IdFTP1->SendBufferSize, 2048);

    ASSERT_EQ(form->QueueModel->rowCount(), 2);
    EXPECT_EQ(form->QueueModel->Row(0).Caption, "one.bin");
    EXPECT_EQ(form->QueueModel->Row(0).SizeText, "2 KB");
    EXPECT_EQ(form->QueueModel->Row(1).SizeText, "File Folder");
    EXPECT_EQ(form->QueueModel->data(form->QueueModel->index(1, 3), Qt::DisplayRole).toString(),
              QStringLiteral("Upload"));
    EXPECT_EQ(form->PanelText(7), QStringLiteral("Queue: 2 KB in 2 file(s)"));
    EXPECT_EQ(form->TrayTip(), QStringLiteral("Disconnected"));
    EXPECT_EQ(form->ActivePane(), 1);
    EXPECT_TRUE(form->ConnectForm->isVisible());
    EXPECT_FALSE(form->FirstActivation());
    form->ConnectForm->hide();
}

TEST_F(MainFormTest, MissingDataFilesStartEmptyWithoutMessages) {
    MakeForm();
    form->FormActivate();
    EXPECT_TRUE(errors.isEmpty());
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_EQ(form->SiteTable().Count(), 0);
    EXPECT_EQ(form->QueueModel->rowCount(), 0);
    EXPECT_FALSE(form->FirstActivation());
    form->ConnectForm->hide();
}

TEST_F(MainFormTest, ClosingSavesAllThreeFilesAndASecondActivationLoadsNothing) {
    QTemporaryDir local;
    PrepareDataFiles(local.path().toStdString() + "/");
    MakeForm();
    form->FormActivate();
    form->ConnectForm->hide();

    // Change something in each part of the state.
    form->SiteTable().Site(0).Host = "127.0.0.2";
    form->Settings().Status.MinimizeToTray = true;
    form->SelectQueueRow(1);
    form->ToolButton16Click();  // removes "docs"
    ASSERT_EQ(form->QueueModel->rowCount(), 1);

    // A second activation changes nothing and does not reopen the site dialog.
    QFile::remove(QString::fromStdString(dataDir + "FTPList.dat"));
    form->FormActivate();
    EXPECT_EQ(form->SiteTable().Site(0).Host, "127.0.0.2");
    EXPECT_EQ(form->QueueModel->rowCount(), 1);
    EXPECT_FALSE(form->ConnectForm->isVisible());

    form->show();
    EXPECT_TRUE(form->close());
    EXPECT_TRUE(questions.isEmpty());  // no transfer ran: no question
    EXPECT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();
    for (const char* f : {"FTPList.dat", "FtpStstus.dat", "FTPQueueStore.dat"})
        EXPECT_TRUE(FileExists(dataDir + f)) << f;

    // What was saved comes back.
    TSiteTable sites;
    TTransferQueue queue;
    sites.SetPairedSlots(&queue.Stores());
    sites.Load(dataDir);
    ASSERT_EQ(sites.Count(), 2);
    EXPECT_EQ(sites.Site(0).Host, "127.0.0.2");
    TProgramSettings settings;
    const auto report = settings.Load(dataDir, sites);
    EXPECT_TRUE(settings.Status.MinimizeToTray);
    ASSERT_TRUE(report.LastSiteName.has_value());
    EXPECT_EQ(*report.LastSiteName, "beta");
    queue.LoadQueueFile(dataDir, report.LastSiteName);
    ASSERT_EQ(queue.QueueCount(), 1);
    EXPECT_EQ(queue.Entry(0).FileName, "one.bin");
    // The other site's queue is written back unchanged.
    ASSERT_EQ(queue.Stores().Slot(0).Count(), 1);
    EXPECT_EQ(queue.Stores().Slot(0).Items[0].FileName, "alpha.txt");
}

TEST_F(MainFormTest, AnOldFolderLoadsUnchangedAndSavesItsThreeFilesAsBeforeBesideTheOptionsFile) {
    QTemporaryDir local;
    PrepareDataFiles(local.path().toStdString() + "/", 2048);
    const char* const oldFiles[] = {"FTPList.dat", "FtpStstus.dat", "FTPQueueStore.dat"};
    auto bytesOf = [this](const char* name) {
        QFile f(QString::fromStdString(dataDir + name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    std::vector<QByteArray> before;
    for (const char* f : oldFiles) before.push_back(bytesOf(f));

    MakeForm();
    form->FormActivate();
    form->ConnectForm->hide();
    EXPECT_TRUE(messages.isEmpty()) << messages.join("\n").toStdString();
    ASSERT_EQ(form->SiteTable().Count(), 2);
    EXPECT_EQ(form->SiteTable().Site(1).Options, TSiteOptions{});
    EXPECT_EQ(form->SiteOptions().Defaults, TConnectionDefaults{});
    form->SiteTable().Site(1).Options.DataMode = TDataConnectionMode::Active;

    form->show();
    ASSERT_TRUE(form->close());
    for (std::size_t i = 0; i < before.size(); ++i) EXPECT_TRUE(bytesOf(oldFiles[i]) == before[i]) << oldFiles[i];
    struct stat st {};
    ASSERT_EQ(::stat((dataDir + TSiteOptionsFile::FileName).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    // The next start gives the site its options back.
    form.reset();
    MakeForm();
    form->FormActivate();
    form->ConnectForm->hide();
    EXPECT_EQ(form->SiteTable().Site(1).Options.DataMode, TDataConnectionMode::Active);
    EXPECT_EQ(form->SiteTable().Site(0).Options, TSiteOptions{});
}

TEST_F(MainFormTest, ClosingDuringATransferAsksAndNoKeepsTheWindowOpen) {
    MakeForm();
    form->SetFirstActivation(false);
    form->show();
    form->Transfer().Transferring = true;
    answer = false;
    EXPECT_FALSE(form->close());
    ASSERT_EQ(questions.size(), 1);
    EXPECT_EQ(questions[0], QStringLiteral("File transfer in process! Close Orlix FTP client?"));
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(form->Transfer().Transferring);
    EXPECT_FALSE(FileExists(dataDir + "FTPList.dat"));

    answer = true;
    EXPECT_TRUE(form->close());
    EXPECT_TRUE(FileExists(dataDir + "FTPQueueStore.dat"));
}

TEST_F(MainFormTest, AFailedSaveShowsTheErrorAndRefusesToClose) {
    MakeForm();
    form->SetFirstActivation(false);
    form->show();
    TWriteFaultInjection fault;
    fault.Step = TWriteFaultInjection::Write;
    fault.ErrorCode = 28;
    SetWriteFaultInjection(fault);
    EXPECT_FALSE(form->close());
    EXPECT_EQ(errors.size(), 1);
    EXPECT_TRUE(form->isVisible());

    ClearWriteFaultInjection();
    EXPECT_TRUE(form->close());
    EXPECT_EQ(errors.size(), 1);
}

TEST_F(MainFormTest, AFailedLoadIsShownAndTheNextActivationLoadsAgain) {
    MakeForm();
    ASSERT_EQ(::mkdir((dataDir + "FTPList.dat").c_str(), 0700), 0);  // a folder cannot be read as the file
    guard::Run([this] { form->FormActivate(); });
    EXPECT_EQ(errors.size(), 1);
    EXPECT_TRUE(form->FirstActivation());
    EXPECT_FALSE(form->ConnectForm->isVisible());

    ASSERT_EQ(::rmdir((dataDir + "FTPList.dat").c_str()), 0);
    guard::Run([this] { form->FormActivate(); });
    EXPECT_FALSE(form->FirstActivation());
    form->ConnectForm->hide();
}

TEST_F(MainFormTest, QueueListFollowsTheLiveQueue) {
    MakeForm();
    form->Queue().AppendEntry(Entry("a", 100));
    form->Queue().AppendEntry(Entry("b", 2048));
    form->Queue().AppendEntry(Entry("c", 1024));
    ASSERT_EQ(form->QueueModel->rowCount(), 3);
    EXPECT_EQ(form->PanelText(7), QStringLiteral("Queue: 3 KB in 3 file(s)"));

    form->SelectQueueRow(2);
    form->Moveoneup1Click();
    EXPECT_EQ(form->QueueModel->Row(1).Caption, "c");
    EXPECT_EQ(form->SelectedQueueRow(), 1);
    form->Movetotop2Click();
    EXPECT_EQ(form->QueueModel->Row(0).Caption, "c");
    EXPECT_EQ(form->SelectedQueueRow(), 0);

    form->Queue().SetEntryStatus(2, "Aborted");
    EXPECT_EQ(form->QueueModel->Row(2).Status, "Aborted");
    form->Resetallststuses2Click();
    EXPECT_EQ(form->QueueModel->Row(2).Status, "Ready");

    form->RemoveallFromQueue1Click();
    EXPECT_EQ(form->QueueModel->rowCount(), 0);
    EXPECT_EQ(form->PanelText(7), QString());
}

TEST_F(MainFormTest, WorkEventsShowTheWorkedExampleAndWorkEndResetsTheBar) {
    MakeForm();
    form->Queue().AppendEntry(Entry("queued", 5000));
    form->Transfer().ExpectedSize = 2 * 1024 * 1024;
    form->Transfer().Transferring = true;
    form->IdFTP1WorkBegin(wkRead, form->Transfer().ExpectedSize);
    // As if the transfer had begun 65.25 s ago with a shown speed of 9.5 KB/s.
    form->Progress().TransferStartTime -= std::chrono::milliseconds(65250);
    form->Progress().AverageSpeed = 9.5;
    form->IdFTP1Work(wkRead, 650 * 1024);

    EXPECT_EQ(form->PanelText(6),
              QStringLiteral("Download speed 9") + QLocale::system().decimalPoint() + QStringLiteral("73 KB/s"));
    EXPECT_EQ(form->PanelText(5), QStringLiteral("32 %"));
    EXPECT_EQ(form->ProgressBar1->value(), 32);
    EXPECT_EQ(form->PanelText(2), QStringLiteral("00:01:05 Elapsed"));
    EXPECT_EQ(form->PanelText(3), QStringLiteral("00:02:24 Left"));

    form->IdFTP1WorkEnd(wkRead);
    EXPECT_FALSE(form->Transfer().Transferring);
    EXPECT_EQ(form->PanelText(0), QStringLiteral("Disconnected"));  // this window never connected
    for (int i = 1; i <= 6; ++i) EXPECT_EQ(form->PanelText(i), QString()) << i;
    EXPECT_EQ(form->ProgressBar1->value(), 0);
    // The queue still holds bytes, so its summary stays.
    EXPECT_EQ(form->PanelText(7), QStringLiteral("Queue: 4 KB in 1 file(s)"));
}

TEST_F(MainFormTest, WorkEventsAreShownAtMostOncePerRepaintIntervalButTheLastOneIsKept) {
    MakeForm();
    form->SetPanelRepaintInterval(std::chrono::hours(1));
    form->Transfer().ExpectedSize = 1000;
    form->IdFTP1WorkBegin(wkWrite, 1000);
    form->IdFTP1Work(wkWrite, 100);  // the first event of a transfer shows at once
    EXPECT_EQ(form->PanelText(5), QStringLiteral("10 %"));
    EXPECT_TRUE(form->PanelText(6).startsWith(QStringLiteral("Uploade speed ")));
    form->IdFTP1Work(wkWrite, 500);
    EXPECT_EQ(form->PanelText(5), QStringLiteral("10 %"));
    form->FlushProgress();
    EXPECT_EQ(form->PanelText(5), QStringLiteral("50 %"));
    EXPECT_EQ(form->ProgressBar1->value(), 50);
}

TEST_F(MainFormTest, UnknownSizeLeavesPercentageAndBarAlone) {
    MakeForm();
    form->ProgressBar1->setValue(7);
    form->Transfer().ExpectedSize = 0;
    form->IdFTP1WorkBegin(wkRead, 0);
    form->IdFTP1Work(wkRead, 4096);
    EXPECT_EQ(form->PanelText(5), QString());
    EXPECT_EQ(form->ProgressBar1->value(), 7);
    EXPECT_EQ(form->PanelText(3), QStringLiteral("00:00:00 Left"));
}

TEST_F(MainFormTest, StopRequestAbortsFromTheWorkEventAndStaysUntilTheNextBegin) {
    MakeForm();
    form->Transfer().ExpectedSize = 100;
    form->IdFTP1WorkBegin(wkRead, 100);
    form->SetTrayAvailableOverride(1);
    form->SetInTray(true);
    form->Transfer().Transferring = true;
    form->Transfer().StopTransfer = true;
    form->IdFTP1Work(wkRead, 10);  // the client is not connected: the abort fails quietly
    EXPECT_FALSE(form->Transfer().Transferring);
    EXPECT_EQ(form->TrayTip(), QStringLiteral("Aborted"));
    EXPECT_TRUE(form->Transfer().StopTransfer);
    EXPECT_TRUE(errors.isEmpty());

    form->IdFTP1WorkBegin(wkRead, 100);
    EXPECT_FALSE(form->Transfer().StopTransfer);
    form->SetInTray(false);
}

TEST_F(MainFormTest, TrayTipShowsProgressWhileHidden) {
    MakeForm();
    form->SetInTray(true);
    form->Transfer().ExpectedSize = 200;
    form->IdFTP1WorkBegin(wkRead, 200);
    form->IdFTP1Work(wkRead, 100);
    EXPECT_TRUE(form->TrayTip().startsWith(QStringLiteral("Download speed ")));
    EXPECT_TRUE(form->TrayTip().endsWith(QStringLiteral(" 50 % done.")));
    form->SetInTray(false);
}

TEST_F(MainFormTest, TrayHidesAndBringsBackTheWindowAndCollectsRightClicks) {
    MakeForm();
    form->SetFirstActivation(false);
    form->SetTrayAvailableOverride(1);
    form->show();
    form->SetTrayTip(QStringLiteral("Disconnected"));
    form->ToolButton20Click();
    EXPECT_TRUE(form->InTray());
    EXPECT_FALSE(form->isVisible());

    form->TrayIconActivated(QSystemTrayIcon::Context);
    form->TrayIconActivated(QSystemTrayIcon::Context);
    EXPECT_EQ(form->TrayTip(), QStringLiteral("Disconnected da da"));
    EXPECT_TRUE(form->InTray());

    form->TrayIconActivated(QSystemTrayIcon::Trigger);
    EXPECT_FALSE(form->InTray());
    EXPECT_TRUE(form->isVisible());

    // Forty more right clicks: the tip stays within 63 characters.
    for (int i = 0; i < 40; ++i) form->TrayIconActivated(QSystemTrayIcon::Context);
    EXPECT_EQ(form->TrayTip().size(), 63);
}

// Whether the image has anything drawn on it.
bool Drawn(const QPixmap& pixmap) {
    const QImage image = pixmap.toImage();
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) > 0) return true;
    return false;
}

TEST_F(MainFormTest, ToolbarAndProgramIconsDrawAtFullResolutionAtEveryScale) {
    MakeForm();
    std::vector<std::pair<QString, QIcon>> icons{{"window", form->windowIcon()},
                                                 {"tray", form->TrayIcon->icon()},
                                                 {"resource", QIcon(QStringLiteral(":/icons/app.svg"))}};
    for (QAction* a : form->ToolBar1->actions())
        if (!a->isSeparator()) icons.emplace_back(a->objectName(), a->icon());
    ASSERT_EQ(icons.size(), 3u + 14u);
    for (const auto& [name, icon] : icons) {
        SCOPED_TRACE(name.toStdString());
        ASSERT_FALSE(icon.isNull());
        EXPECT_TRUE(Drawn(icon.pixmap(32)));
        // Drawn for the scale, not a small image enlarged (that would be smaller than asked).
        for (const double scale : {1.0, 1.5, 2.0}) {
            const QPixmap p = icon.pixmap(QSize(32, 32), scale);
            EXPECT_EQ(p.width(), qRound(32 * scale)) << scale;
            EXPECT_TRUE(Drawn(p)) << scale;
        }
    }
}

TEST_F(MainFormTest, HelpAndTheAboutLinkOpenTheProgramsGuideAsALocalFile) {
    MakeForm();
    form->SetFirstActivation(false);
    std::vector<QUrl> opened;
    SetDesktopUrlOpener([&](const QUrl& url) { opened.push_back(url); });
    form->show();
    form->Connecttohomesite1->trigger();
    form->About1->trigger();
    ASSERT_TRUE(form->AboutForm->isVisible());
    QTest::mouseDClick(form->AboutForm->LinkLabel, Qt::LeftButton);
    QTest::mouseClick(form->AboutForm->Button1, Qt::LeftButton);
    SetDesktopUrlOpener({});
    ASSERT_EQ(opened.size(), 2u);
    for (const QUrl& url : opened) {
        SCOPED_TRACE(url.toString().toStdString());
        EXPECT_EQ(url.scheme(), QStringLiteral("file"));
        EXPECT_TRUE(QFileInfo(url.toLocalFile()).isFile());
        EXPECT_EQ(url.fileName(), QStringLiteral("README.md"));
    }
    EXPECT_EQ(opened[0], opened[1]);
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(MainFormTest, WithoutANotificationAreaTheTrayButtonMinimises) {
    MakeForm();
    form->SetFirstActivation(false);
    form->SetTrayAvailableOverride(0);
    form->show();
    form->ToolButton20Click();
    EXPECT_FALSE(form->InTray());
    EXPECT_TRUE(form->isVisible());
}

TEST_F(MainFormTest, TheGuardShowsAnExceptionsMessageAndCarriesOn) {
    MakeForm();
    guard::Run([] { throw EInOutError("Disk full.", 28); });
    ASSERT_EQ(errors.size(), 1);
    EXPECT_EQ(errors[0], QStringLiteral("Disk full."));
    // A toolbar command that fails reports through the same guard.
    bool ran = false;
    QObject::connect(form->ToolButton13, &QAction::triggered, form.get(), guard::Guarded([&] {
                         ran = true;
                         throw std::runtime_error("refused");
                     }));
    form->ToolButton13->setEnabled(true);
    form->ToolButton13->trigger();
    EXPECT_TRUE(ran);
    ASSERT_EQ(errors.size(), 2);
    EXPECT_EQ(errors[1], QStringLiteral("refused"));
}

TEST_F(MainFormTest, ALoginThroughTheWindowIsLoggedWithoutThePassword) {
    ORLIX_SKIP_UNLESS_FTP_SERVER(FtpServerKind::Pyftpdlib);
    TempDir root;
    auto server = FtpServerProcess::start(FtpServerKind::Pyftpdlib, root.path());
    ASSERT_TRUE(server);
    MakeForm();
    form->IdFTP1->SetHost(server->host());
    form->IdFTP1->SetPort(server->port());
    form->IdFTP1->Username = server->user();
    form->IdFTP1->Password = server->password();
    form->IdFTP1->OpenSession();
    form->IdFTP1->Disconnect();

    const TStatusLog& log = *form->StatusList;
    int user = -1, pass = -1, welcome = -1, status = -1;
    for (int i = 0; i < log.LineCount(); ++i) {
        const QString line = log.LineText(i);
        EXPECT_EQ(line.indexOf(QStringLiteral("secret")), -1) << line.toStdString();
        if (line == QStringLiteral("Command:   USER tester<EOL>")) user = i;
        if (line == QStringLiteral("Command:   PASS ****<EOL>")) pass = i;
        if (line.startsWith(QString(20, QLatin1Char(' ')) + QStringLiteral("230"))) welcome = i;
        if (line.startsWith(QStringLiteral("Status:         "))) status = i;
    }
    ASSERT_GE(user, 0);
    ASSERT_GT(pass, user);
    ASSERT_GT(welcome, pass);
    ASSERT_GE(status, 0);
    EXPECT_EQ(log.LineColor(user), QColor(0, 128, 0));
    EXPECT_EQ(log.LineColor(pass), QColor(0, 128, 0));
    EXPECT_EQ(log.LineColor(welcome), QColor(0, 0, 0));
    EXPECT_EQ(log.LineColor(status), QColor(0, 0, 255));
}

}  // namespace

namespace {

// Every column at least as wide as what it shows (the stretching name columns may be capped).
void ExpectColumnsFit(QTreeView* view, int stretching, const char* where) {
    QAbstractItemView* v = view;
    for (int c = 0; c < view->header()->count(); ++c) {
        if (c == stretching || view->header()->isSectionHidden(c)) continue;
        EXPECT_GE(view->columnWidth(c), v->sizeHintForColumn(c)) << where << " column " << c;
        EXPECT_GE(view->columnWidth(c), view->header()->sectionSizeHint(c)) << where << " column " << c;
    }
}

TEST_F(MainFormTest, LayoutHoldsFrom800x500UpAndSplittersComeBack) {
    MakeForm();
    form->Queue().AppendEntry(Entry("a long file name for the queue.bin", 3000));
    form->Queue().ShowRowStatus(0, "Downloading");
    form->setWindowState(Qt::WindowNoState);
    form->resize(1280, 800);
    form->show();
    QApplication::processEvents();
    const int paneMin = form->PaneSplitter->minimumSizeHint().height();
    const QList<int> big = form->MainSplitter->sizes();
    const QList<int> builtIn = big + form->PaneSplitter->sizes();
    const int localAt1280 = form->HomeDirPanel->width(), remoteAt1280 = form->RemoteDirPanel->width();
    const auto shot = [this](const char* name) {
        // For looking at the window: ORLIX_LAYOUT_SHOTS=folder writes what the test sees.
        if (const char* dir = std::getenv("ORLIX_LAYOUT_SHOTS"))
            form->grab().save(QString::fromLocal8Bit(dir) + "/" + name + ".png");
    };
    shot("1280x800");
    for (const QSize size : {QSize(1600, 1000), QSize(800, 500), QSize(1280, 800)}) {
        form->resize(size);
        QApplication::processEvents();
        QApplication::processEvents();
        EXPECT_EQ(form->size(), size);
        shot(size.width() == 800 ? "800x500" : "1600x1000");
        const QList<int> now = form->MainSplitter->sizes();
        EXPECT_GE(now[1], paneMin);
        for (QWidget* pane : {form->HomeDirPanel, form->RemoteDirPanel}) {
            EXPECT_TRUE(pane->isVisible());
            EXPECT_GE(pane->width(), pane->minimumWidth());
            EXPECT_GE(pane->height(), pane->minimumHeight());
        }
        ExpectColumnsFit(form->HomeDirList, 0, "local");
        ExpectColumnsFit(form->RemoteDirList, 0, "remote");
        ExpectColumnsFit(form->QueueListView, 0, "queue");
        // Nothing in the status bar is cut off; the file name keeps its designed width, and with
        // room to spare every other panel has its own.
        for (QLabel* panel : form->StatusPanels) {
            EXPECT_LE(panel->geometry().right(), form->StatusBar1->width()) << panel->objectName().toStdString();
            // The state and the percentage give way last.
            const bool whole = size.width() >= 1280 || panel == form->StatusPanels[0] || panel == form->StatusPanels[5];
            if (whole && panel != form->StatusPanels[1]) {
                EXPECT_EQ(panel->width(), panel->property("designedWidth").toInt())
                    << panel->objectName().toStdString();
            }
        }
        EXPECT_GE(form->StatusPanels[1]->width(), 180);
        if (size.width() == 800) {
            // The log and the queue gave way first: down to their minimums before the panes shrank.
            EXPECT_LT(now[1], big[1]);
            EXPECT_EQ(now[0], form->StatusPanel->minimumHeight());
            EXPECT_EQ(now[2], form->QueuePanel->minimumHeight());
        } else if (size.width() == 1600) {
            EXPECT_GT(now[1], big[1]);
            EXPECT_EQ(now[0], big[0]);  // spare height went to the panes
            // Both panes grow with the window.
            EXPECT_GT(form->HomeDirPanel->width(), localAt1280);
            EXPECT_GT(form->RemoteDirPanel->width(), remoteAt1280);
        }
    }

    // At 640x420 everything still fits, the encryption panel included; forced below its least
    // size (no window manager to stop it), the queue and the log fold before the panes shrink.
    form->EncryptionPanel->setText(QStringLiteral("Not encrypted"));
    form->EncryptionPanel->show();
    form->resize(640, 420);
    QApplication::processEvents();
    EXPECT_EQ(form->size(), QSize(640, 420));
    EXPECT_LE(form->RemoteDirPanel->mapTo(form.get(), QPoint(form->RemoteDirPanel->width(), 0)).x(), 640);
    EXPECT_LE(form->EncryptionPanel->geometry().right(), form->StatusBar1->width());
    form->layout()->setSizeConstraint(QLayout::SetNoConstraint);
    form->setMinimumSize(0, 0);
    form->resize(400, 300);
    QApplication::processEvents();
    EXPECT_GE(form->PaneSplitter->height(), form->PaneSplitter->minimumSizeHint().height());
    EXPECT_EQ(form->MainSplitter->sizes()[2], 0);
    form->resize(1280, 800);
    QApplication::processEvents();
    EXPECT_GE(form->MainSplitter->sizes()[0], form->StatusPanel->minimumHeight());
    EXPECT_GE(form->MainSplitter->sizes()[2], form->QueuePanel->minimumHeight());

    // The splitters come back after a restart; a damaged file leaves the built-in sizes.
    form->PaneSplitter->setSizes({700, 500});
    form->MainSplitter->setSizes({200, 300, 150});
    const QList<int> saved = form->MainSplitter->sizes() + form->PaneSplitter->sizes();
    form->SaveLayout();
    struct stat st {};
    ASSERT_EQ(::stat((dataDir + "layout.ini").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    for (const char* damage : {static_cast<const char*>(nullptr), "MainSplitter=1,x,3\nPaneSplitter=-5,10\n\xff"}) {
        if (damage) {
            QFile f(QString::fromStdString(dataDir + "layout.ini"));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(damage);
        }
        form->SetFirstActivation(false);
        form.reset();
        MakeForm();
        form->setWindowState(Qt::WindowNoState);
        form->resize(1280, 800);
        form->show();
        QApplication::processEvents();
        EXPECT_EQ(form->MainSplitter->sizes() + form->PaneSplitter->sizes(), damage ? builtIn : saved);
    }
}

}  // namespace
