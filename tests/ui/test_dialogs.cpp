// The smaller dialogs: name entry, goto directory, file exists, rename, About, settings, and the
// transfer questions answered through the dialogs.

#include <gtest/gtest.h>

#include "settings/program_settings.h"
#include "transfer/transfer_questions.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <cstdlib>
#include <functional>
#include <memory>

#include "ui/about_form.h"
#include "ui/all_exists_form.h"
#include "ui/enter_dir_form.h"
#include "ui/goto_directory_form.h"
#include "ui/guard.h"
#include "ui/rename_box.h"
#include "ui/settings_form.h"
#include "ui/sound_player.h"
#include "ui/transfer_questions.h"
#include "tests/ui/ui_test_app.h"

namespace {

// Runs `answer` once the modal dialog is running inside `ask`.
template <class T>
T WhileModal(const std::function<T()>& ask, const std::function<void()>& answer) {
    QTimer::singleShot(0, answer);
    return ask();
}

class DialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureApplicationWithPrivateData();
        guard::SetMessageSink([this](const QString& text) { Messages << text; });
    }
    void TearDown() override { guard::SetMessageSink({}); }

    QStringList Messages;
};

TEST_F(DialogTest, EnterDirFormReportsModeAndNameAndStaysOpenUntilTheActionCloses) {
    TEnterDirForm form;
    QStringList entered;
    int closed = 0;
    QObject::connect(&form, &TEnterDirForm::NameEntered,
                     [&](int mode, const QString& name) { entered << QString::number(mode) + ":" + name; });
    QObject::connect(&form, &TEnterDirForm::Closed, [&] { ++closed; });

    form.Open(TEnterDirForm::RenameRemote, "Rename Directory", "old name", "old name");
    EXPECT_EQ(form.windowTitle(), "Rename Directory");
    EXPECT_EQ(form.windowModality(), Qt::ApplicationModal);
    EXPECT_EQ(form.Label1->text(), "Enter name :");
    EXPECT_EQ(form.Button1->text(), "&OK");
    EXPECT_EQ(form.Button2->text(), "&Cancle");
    EXPECT_EQ(form.Edit1->text(), "old name");
    EXPECT_EQ(form.OldName(), "old name");

    // An empty line is refused with the prompt, the dialog stays.
    form.Edit1->clear();
    QTest::mouseClick(form.Button1, Qt::LeftButton);
    EXPECT_EQ(Messages, QStringList{"Enter directory name"});
    EXPECT_TRUE(entered.isEmpty());
    EXPECT_TRUE(form.isVisible());

    // Enter presses OK; the receiver decides when the dialog closes (a refused action keeps it).
    QTest::keyClicks(form.Edit1, "New Name");
    QTest::keyClick(form.Edit1, Qt::Key_Return);
    EXPECT_EQ(entered, QStringList{"7:New Name"});
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(closed, 0);
    form.close();
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(closed, 1);

    // Cancle (and Escape) only close.
    form.Open(TEnterDirForm::ChangeRemoteDir, "Change Directory", "/pub/");
    EXPECT_EQ(form.Mode(), 8);
    QTest::keyClick(form.Edit1, Qt::Key_Escape);
    EXPECT_FALSE(form.isVisible());
    form.Open(TEnterDirForm::MakeLocalDir, "Make Directory");
    EXPECT_EQ(form.Edit1->text(), "");
    QTest::mouseClick(form.Button2, Qt::LeftButton);
    EXPECT_EQ(closed, 3);
    EXPECT_EQ(entered.size(), 1);
}

TEST_F(DialogTest, GotoDirectoryFormAcceptsOnlyAnExistingFolder) {
    QTemporaryDir dir;
    TGotoDirectoryForm form;
    QStringList chosen;
    QObject::connect(&form, &TGotoDirectoryForm::DirectoryChosen, [&](const QString& p) { chosen << p; });
    form.Open(dir.path() + "/missing");
    EXPECT_EQ(form.windowTitle(), "Goto directory");
    EXPECT_FALSE(form.isModal());
    EXPECT_EQ(form.windowModality(), Qt::NonModal);
    QTest::mouseClick(form.Button1, Qt::LeftButton);
    EXPECT_EQ(Messages, QStringList{"Directory " + dir.path() + "/missing does not exists"});
    EXPECT_TRUE(form.isVisible());
    EXPECT_TRUE(chosen.isEmpty());

    // A file is no directory either.
    QFile file(dir.path() + "/plain.txt");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    form.Edit1->setText(file.fileName());
    QTest::mouseClick(form.Button1, Qt::LeftButton);
    EXPECT_EQ(Messages.size(), 2);

    form.Edit1->setText(dir.path());
    QTest::mouseClick(form.Button1, Qt::LeftButton);
    EXPECT_EQ(chosen, QStringList{dir.path()});
    EXPECT_FALSE(form.isVisible());
}

TEST_F(DialogTest, AllExistsFormAnswersWithTheActionCodes) {
    TAllExistsForm form;
    EXPECT_EQ(form.windowTitle(), "File allready exists.");
    auto ask = [&](bool resume, const std::function<void()>& answer) {
        return WhileModal<int>([&] { return form.Ask("report.pdf", 1000, 5000, resume); }, answer);
    };

    EXPECT_EQ(ask(true,
                  [&] {
                      EXPECT_EQ(form.FileNameLabel->text(), "report.pdf");
                      EXPECT_EQ(form.OriginalSizeLabel->text(), "1000 bytes");
                      EXPECT_EQ(form.NewSizeLabel->text(), "5000 bytes");
                      EXPECT_TRUE(form.ResumeButton->isEnabled());
                      form.OverwriteButton->click();
                  }),
              eaOverwrite);
    EXPECT_EQ(ask(true, [&] { form.ResumeButton->click(); }), eaResume);
    EXPECT_EQ(ask(true, [&] { form.RenameButton->click(); }), eaRename);
    EXPECT_EQ(ask(true, [&] { form.SkipButton->click(); }), eaSkip);
    EXPECT_EQ(ask(true, [&] { QTest::keyClick(&form, Qt::Key_Escape); }), eaSkip);

    // With the check box the codes are for all files; the box is cleared each time.
    EXPECT_EQ(ask(true,
                  [&] {
                      form.AllFilesCheck->setChecked(true);
                      form.OverwriteButton->click();
                  }),
              eaOverwriteAll);
    EXPECT_EQ(ask(true,
                  [&] {
                      EXPECT_FALSE(form.AllFilesCheck->isChecked());
                      form.AllFilesCheck->setChecked(true);
                      form.ResumeButton->click();
                  }),
              eaResumeAll);
    EXPECT_EQ(ask(true,
                  [&] {
                      form.AllFilesCheck->setChecked(true);
                      form.RenameButton->click();
                  }),
              eaRenameAll);
    EXPECT_EQ(ask(true,
                  [&] {
                      form.AllFilesCheck->setChecked(true);
                      QTest::keyClick(&form, Qt::Key_Escape);
                  }),
              eaSkipAll);

    // Resume not offered: its button cannot be pressed.
    EXPECT_EQ(ask(false,
                  [&] {
                      EXPECT_FALSE(form.ResumeButton->isEnabled());
                      QTest::mouseClick(form.ResumeButton, Qt::LeftButton);
                      EXPECT_TRUE(form.isVisible());
                      form.SkipButton->click();
                  }),
              eaSkip);
}

TEST_F(DialogTest, RenameBoxTakesOnlyANewNameAndCancelEmptiesTheLine) {
    TRenameBox box;
    EXPECT_EQ(box.windowTitle(), "Rename");
    EXPECT_EQ(box.Label1->text(), "Enter new file name :");
    const QString result = WhileModal<QString>([&] { return box.Ask("Report.TXT"); },
                                               [&] {
                                                   EXPECT_EQ(box.Edit1->text(), "Report.TXT");
                                                   QTest::mouseClick(box.Button1, Qt::LeftButton);  // unchanged
                                                   EXPECT_TRUE(box.isVisible());
                                                   box.Edit1->setText("report.txt");  // only the case differs
                                                   QTest::mouseClick(box.Button1, Qt::LeftButton);
                                                   EXPECT_TRUE(box.isVisible());
                                                   box.Edit1->clear();
                                                   QTest::mouseClick(box.Button1, Qt::LeftButton);
                                                   EXPECT_TRUE(box.isVisible());
                                                   QTest::keyClicks(box.Edit1, "report (2).txt");
                                                   QTest::keyClick(box.Edit1, Qt::Key_Return);
                                               });
    EXPECT_EQ(result, "report (2).txt");

    EXPECT_EQ(WhileModal<QString>([&] { return box.Ask("a"); },
                                  [&] {
                                      box.Edit1->setText("b");
                                      box.Button2->click();
                                  }),
              "");
    EXPECT_EQ(WhileModal<QString>([&] { return box.Ask("a"); }, [&] { QTest::keyClick(box.Edit1, Qt::Key_Escape); }),
              "");
}

TEST_F(DialogTest, DialogTransferQuestionsGoThroughTheDialogsWithByteStrings) {
    TAllExistsForm exists;
    TRenameBox rename;
    TDialogTransferQuestions questions(exists, rename);
    QTimer::singleShot(0, [&] {
        EXPECT_EQ(exists.FileNameLabel->text(), QString::fromUtf8("d\xc3\xa9j\xc3\xa0.txt"));
        EXPECT_FALSE(exists.ResumeButton->isEnabled());
        exists.AllFilesCheck->setChecked(true);
        exists.RenameButton->click();
    });
    EXPECT_EQ(questions.AskFileExists("d\xc3\xa9j\xc3\xa0.txt", 7, 3, false), eaRenameAll);
    QTimer::singleShot(0, [&] {
        rename.Edit1->setText(QString::fromUtf8("\xc3\xa9t\xc3\xa9.txt"));
        rename.Button1->click();
    });
    EXPECT_EQ(questions.AskNewName("d\xc3\xa9j\xc3\xa0.txt"), "\xc3\xa9t\xc3\xa9.txt");
}

TEST_F(DialogTest, ScriptedTransferQuestionsAnswerInOrderAndRefuseWhatIsNotOffered) {
    TScriptedTransferQuestions q;
    q.ExistsAnswers = {eaResume, eaResumeAll};
    q.NameAnswers = {"x.txt"};
    EXPECT_EQ(q.AskFileExists("a", 1, 2, true), eaResume);
    EXPECT_THROW(q.AskFileExists("b", 2, 1, false), std::logic_error);  // resume was not offered
    EXPECT_THROW(q.AskFileExists("c", 2, 1, true), std::logic_error);   // no answer left
    EXPECT_EQ(q.AskNewName("a"), "x.txt");
    EXPECT_THROW(q.AskNewName("c"), std::logic_error);
    ASSERT_EQ(q.ExistsAsked.size(), 3u);
    EXPECT_EQ(q.ExistsAsked[1].NameLabel, "b");
    EXPECT_FALSE(q.ExistsAsked[1].ResumeEnabled);
}

TEST_F(DialogTest, AboutBoxOpensTheGuideOnDoubleClickAndClosesOnlyByOk) {
    TAboutForm about;
    QStringList opened;
    int closed = 0;
    QObject::connect(&about, &TAboutForm::OpenWebPage, [&](const QString& a) { opened << a; });
    QObject::connect(&about, &TAboutForm::Closed, [&] { ++closed; });
    about.ShowCentered();
    EXPECT_EQ(about.windowTitle(), "About OrlixFtp 1.0 demo");
    EXPECT_EQ(about.Label1->text(), "For more informations about software and for downloading \nwallpapers go to :");
    // The label names the file the link opens (a test program has the source tree's).
    const QString readme = ProgramReadmePath(QCoreApplication::applicationDirPath());
    ASSERT_FALSE(readme.isEmpty());
    EXPECT_EQ(about.LinkLabel->text(), QDir::toNativeSeparators(readme));
    EXPECT_TRUE(about.LinkLabel->font().bold());
    EXPECT_TRUE(about.Button1->font().bold());
    EXPECT_TRUE(about.Button1->font().italic());

    QTest::mouseClick(about.LinkLabel, Qt::LeftButton);
    EXPECT_TRUE(opened.isEmpty());
    QTest::mouseDClick(about.LinkLabel, Qt::LeftButton);
    ASSERT_EQ(opened.size(), 1);
    const QUrl url(opened[0]);
    EXPECT_TRUE(url.isLocalFile()) << opened[0].toStdString();
    EXPECT_TRUE(QFileInfo(url.toLocalFile()).isFile()) << opened[0].toStdString();
    EXPECT_EQ(url.fileName(), "README.md");

    QTest::keyClick(&about, Qt::Key_Escape);
    EXPECT_TRUE(about.isVisible());
    EXPECT_EQ(closed, 0);
    QTest::mouseClick(about.Button1, Qt::LeftButton);
    EXPECT_FALSE(about.isVisible());
    EXPECT_EQ(closed, 1);
}

// The installed copy beside the program's prefix comes first; a build tree falls back to the
// source tree's README.md.
TEST(ProgramReadme, InstalledCopyFirstThenTheSourceTrees) {
    QTemporaryDir prefix;
    ASSERT_TRUE(prefix.isValid());
    ASSERT_TRUE(QDir(prefix.path()).mkpath("bin"));
    ASSERT_TRUE(QDir(prefix.path()).mkpath("share/doc/orlix-ftp"));
    const QString installed = prefix.path() + "/share/doc/orlix-ftp/README.md";
    QFile f(installed);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    ASSERT_TRUE(QDir(prefix.path()).mkpath("build/ui"));

    for (const QString& binaryDir : {prefix.path() + "/bin", prefix.path() + "/bin/"})
        EXPECT_EQ(ProgramReadmePath(binaryDir), QDir::cleanPath(installed)) << binaryDir.toStdString();
    // Nothing installed beside a build tree's program: the source tree's copy.
    const QString source = ProgramReadmePath(prefix.path() + "/build/ui");
    EXPECT_TRUE(QFileInfo(source).isFile()) << source.toStdString();
    EXPECT_EQ(QFileInfo(source).fileName(), "README.md");
    EXPECT_FALSE(source.startsWith(prefix.path()));
}

// Settings dialog with a stand-in for the FTP client's buffer sizes.
class SettingsFormTest : public DialogTest {
protected:
    void SetUp() override {
        DialogTest::SetUp();
        Form = std::make_unique<TSettingsForm>(
            Settings, [this] { return std::make_pair(ClientRecv, ClientSend); },
            [this](int32_t r, int32_t s) {
                ClientRecv = r;
                ClientSend = s;
                ++ClientSets;
            });
    }

    void Reactivate() { Form->FormActivate(); }

    TProgramSettings Settings;
    int32_t ClientRecv = 4096;
    int32_t ClientSend = 2048;
    int ClientSets = 0;
    std::unique_ptr<TSettingsForm> Form;
};

TEST_F(SettingsFormTest, ActivationShowsTheSettingsInForceAndTheClientsSizes) {
    Settings.Status.SoundConnected = "/sounds/on.wav";
    Settings.Status.PlayDisconnected = true;
    Settings.Status.MinimizeToTray = true;
    Form->Open();
    EXPECT_EQ(Form->windowTitle(), "Program settings");
    EXPECT_EQ(Form->windowModality(), Qt::ApplicationModal);
    // The settings fields start at 0; the client's own sizes are what is shown.
    EXPECT_EQ(Form->Edit1->text(), "4096");
    EXPECT_EQ(Form->Edit2->text(), "2048");
    EXPECT_EQ(Form->Edit3->text(), "/sounds/on.wav");
    EXPECT_FALSE(Form->CheckBox1->isChecked());
    EXPECT_TRUE(Form->CheckBox2->isChecked());
    EXPECT_TRUE(Form->CheckBox6->isChecked());
    EXPECT_EQ(Form->Button3->text(), "Applay");
    EXPECT_EQ(Form->CheckBox5->text(), "Transfer interupted");

    // Cancel drops what was typed; the next activation shows the settings in force again.
    Form->Edit2->setText("512");
    Form->CheckBox1->setChecked(true);
    QSignalSpy closed(Form.get(), &TSettingsForm::Closed);
    QTest::mouseClick(Form->Button2, Qt::LeftButton);
    EXPECT_FALSE(Form->isVisible());
    EXPECT_EQ(closed.count(), 1);
    EXPECT_EQ(ClientSets, 0);
    Form->Open();
    EXPECT_EQ(Form->Edit2->text(), "2048");
    EXPECT_FALSE(Form->CheckBox1->isChecked());
}

TEST_F(SettingsFormTest, OutOfRangeSizesBecomeTheDefaultsAndReachTheClient) {
    Form->Open();
    for (const QString typed : {"0", "65536"}) {
        Messages.clear();
        Form->Edit1->setText(typed);
        Form->Edit2->setText("40000");
        QTest::mouseClick(Form->Button3, Qt::LeftButton);
        // Not replaced silently: the range and the value used are named, and the fields show it.
        EXPECT_EQ(Messages,
                  QStringList{"Receive buffer size " + typed +
                              " is outside the allowed range 1 to 32768; 4096 is used.\n"
                              "Send buffer size 40000 is outside the allowed range 1 to 32768; 2048 is used."});
        EXPECT_EQ(Form->Edit1->text(), "4096");
        Reactivate();
        EXPECT_EQ(Form->Edit1->text(), "4096") << typed.toStdString();
        EXPECT_EQ(Form->Edit2->text(), "2048") << typed.toStdString();
    }
    Messages.clear();
    Form->Edit1->setText("32768");
    Form->Edit2->setText("1");
    Form->CheckBox4->setChecked(true);
    QTest::mouseClick(Form->Button1, Qt::LeftButton);  // OK: apply and close
    EXPECT_FALSE(Form->isVisible());
    EXPECT_EQ(ClientRecv, 32768);
    EXPECT_EQ(ClientSend, 1);
    EXPECT_EQ(Settings.Status.RecvBufferSize, 32768);
    EXPECT_EQ(Settings.Status.SendBufferSize, 1);
    EXPECT_TRUE(Settings.Status.PlayTransferDone);
    EXPECT_TRUE(Messages.isEmpty());
}

TEST_F(SettingsFormTest, ANonNumberStopsApplyAndOkKeepsTheDialogOpen) {
    Form->Open();
    Form->CheckBox3->setChecked(true);
    Form->Edit1->setText("1000");
    Form->Edit2->setText("2k");
    Form->Edit7->setText("/s/stop.wav");
    QTest::mouseClick(Form->Button1, Qt::LeftButton);
    EXPECT_EQ(Messages, QStringList{"'2k' is not a valid integer value"});
    EXPECT_TRUE(Form->isVisible());
    // Flags and the size before the refused one are taken; the rest is not, nor the client's.
    EXPECT_TRUE(Settings.Status.PlayBeginTransfer);
    EXPECT_EQ(Settings.Status.RecvBufferSize, 1000);
    EXPECT_EQ(Settings.Status.SoundTransferStopped, "");
    EXPECT_EQ(ClientSets, 0);
    EXPECT_EQ(Form->Edit2->text(), "2k");

    // The key filter refuses letters as they are typed.
    Messages.clear();
    Form->Edit1->clear();
    QTest::keyClicks(Form->Edit1, "3z2");
    EXPECT_EQ(Form->Edit1->text(), "32");
    EXPECT_EQ(Messages, QStringList{"Please enter a number.  Wrong input: z"});
}

TEST_F(SettingsFormTest, ChoosingASoundFillsThePathAndPreviewsItReportingErrors) {
    QTemporaryDir dir;
    // A minimal valid PCM wave file: 8 kHz, mono, 8 bit, 80 samples of silence.
    QByteArray wav;
    auto le32 = [&](quint32 v) {
        for (int i = 0; i < 4; ++i) wav.append(char((v >> (8 * i)) & 0xff));
    };
    auto le16 = [&](quint16 v) {
        wav.append(char(v & 0xff));
        wav.append(char(v >> 8));
    };
    wav.append("RIFF");
    le32(36 + 80);
    wav.append("WAVEfmt ");
    le32(16);
    le16(1);
    le16(1);
    le32(8000);
    le32(8000);
    le16(1);
    le16(8);
    wav.append("data");
    le32(80);
    wav.append(QByteArray(80, char(0x80)));
    const QString good = dir.path() + "/ding.wav";
    const QString bad = dir.path() + "/text.wav";
    {
        QFile f(good);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(wav);
        QFile g(bad);
        ASSERT_TRUE(g.open(QIODevice::WriteOnly));
        g.write("this is no sound");
    }

    QString picked = good;
    Form->ChooseSoundFile = [&](QWidget*) { return picked; };
    Form->Open();
    QTest::mouseClick(Form->Button6, Qt::LeftButton);
    EXPECT_EQ(Form->Edit5->text(), good);
    EXPECT_EQ(Form->Player().LastPath(), good);

    picked = dir.path() + "/missing.wav";
    QTest::mouseClick(Form->Button4, Qt::LeftButton);
    EXPECT_EQ(Form->Edit3->text(), picked);
    ASSERT_EQ(Messages.size(), 1);
    EXPECT_TRUE(Messages[0].contains("missing.wav")) << Messages[0].toStdString();

    // A file that cannot be decoded is reported once the player has tried it.
    Messages.clear();
    picked = bad;
    QTest::mouseClick(Form->Button8, Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !Messages.isEmpty(); }, 10000));
    EXPECT_TRUE(Messages.value(0).contains("text.wav"));

    // Nothing picked: nothing changes.
    picked.clear();
    QTest::mouseClick(Form->Button7, Qt::LeftButton);
    EXPECT_EQ(Form->Edit6->text(), "");

    // Event sounds: played only when on and set; errors are silent.
    Messages.clear();
    Settings.Status.SoundConnected = bad.toStdString();
    Settings.Status.PlayConnected = true;
    Form->PlayEventSound(TSoundEvent::Connected);
    Settings.Status.SoundDisconnected = (dir.path() + "/gone.wav").toStdString();
    Settings.Status.PlayDisconnected = true;
    Form->PlayEventSound(TSoundEvent::Disconnected);
    QTest::qWait(200);
    EXPECT_TRUE(Messages.isEmpty());
}

}  // namespace

namespace {

TEST_F(SettingsFormTest, ConnectionDefaultsAreShownAndAnIntervalOutOfRangeIsRefusedNotReplaced) {
    TConnectionDefaults defaults;
    Form->SetConnectionDefaults(&defaults);
    Form->Open();
    EXPECT_EQ(Form->ComboBox1->currentText(), "Passive");
    EXPECT_EQ(Form->Edit8->text(), "60");

    struct TCase {
        const char* Text;
        bool Ok;
        QString Message;
    };
    const TCase cases[] = {
        {"4", false, "Keep alive interval must be between 5 and 3600 seconds. It stays at 60 seconds."},
        {"3601", false, "Keep alive interval must be between 5 and 3600 seconds. It stays at 60 seconds."},
        {"", false, "'' is not a valid integer value"},
        {"5", true, QString()},
        {"3600", true, QString()},
    };
    int32_t kept = defaults.KeepAliveSeconds;
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Text);
        Messages.clear();
        Form->Edit8->setText(c.Text);
        Form->ComboBox1->setCurrentIndex(1);
        EXPECT_EQ(Form->Apply(), c.Ok);
        if (c.Ok) kept = std::atoi(c.Text);
        EXPECT_EQ(defaults.KeepAliveSeconds, kept);
        EXPECT_EQ(defaults.DataMode, c.Ok ? TDataConnectionMode::Active : TDataConnectionMode::Passive);
        EXPECT_EQ(Messages, c.Ok ? QStringList{} : QStringList{c.Message});
        defaults.DataMode = TDataConnectionMode::Passive;
    }
    Form->Button2->click();
}

}  // namespace
