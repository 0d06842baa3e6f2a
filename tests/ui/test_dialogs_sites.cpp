// The site list dialog: write-through edits, number fields, login types, adding, deleting,
// renaming and the sort on close, all driven through the widgets.

#include <gtest/gtest.h>

#include "sites/site_table.h"
#include "transfer/queue_model.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "settings/program_settings.h"
#include "ui/connect_form.h"
#include "ui/guard.h"
#include "ui/settings_form.h"
#include "tests/ui/ui_test_app.h"

namespace {

TQueueInfo Entry(const std::string& name) {
    TQueueInfo e;
    e.FileName = name;
    e.LocalPath = "/tmp/";
    e.RemotePath = "/pub/";
    e.Process = "Download";
    e.FileSize = 10;
    return e;
}

class ConnectFormTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureApplicationWithPrivateData();
        guard::SetMessageSink([this](const QString& text) { Messages << text; });
        guard::SetQuestionSink([this](const QString& text) {
            Questions << text;
            return AnswerYes;
        });
        Sites.SetPairedSlots(&Stores);
        // Three sites, each with one stored entry named after it.
        for (const char* name : {"zeta", "Alpha", "beta"}) {
            const int i = Sites.AddSite();
            Sites.SetSiteName(i, name);
            Sites.Site(i).Host = std::string(name) + ".example";
            Sites.Site(i).Port = 2100 + i;
            Sites.Site(i).Retries = i;
            Stores.Slot(i).Items.push_back(Entry(std::string(name) + ".bin"));
        }
        Sites.SetCurrentSite(0);
        Form = std::make_unique<TConnectForm>(Sites);
        QObject::connect(Form.get(), &TConnectForm::StoreLiveQueueRequested, [this](const std::string& name) {
            Events << "store " + QString::fromStdString(name) + (Form->isVisible() ? " visible" : " hidden");
        });
        QObject::connect(Form.get(), &TConnectForm::ConnectRequested,
                         [this](int index) { Events << "connect " + QString::number(index); });
        QObject::connect(Form.get(), &TConnectForm::LoadSiteQueueRequested,
                         [this](const std::string& name) { Events << "load " + QString::fromStdString(name); });
        QObject::connect(Form.get(), &TConnectForm::RefreshQueueSummaryRequested, [this] { Events << "summary"; });
        QObject::connect(Form.get(), &TConnectForm::Closed, [this] { Events << "closed"; });
    }

    void TearDown() override {
        Form.reset();
        guard::SetMessageSink({});
        guard::SetQuestionSink({});
    }

    void OpenForm() {
        Form->Open();
        Form->FormActivate();
    }

    // Selects an entry as the user does.
    void Pick(int row) {
        QListWidget* list = Form->FTPList;
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
    }

    QStringList ListTexts() const {
        QStringList texts;
        for (int i = 0; i < Form->FTPList->count(); ++i) texts << Form->FTPList->item(i)->text();
        return texts;
    }

    std::vector<std::string> SiteNames() const {
        std::vector<std::string> names;
        for (const TFTPInfo& s : Sites.Sites()) names.push_back(s.SiteName);
        return names;
    }

    TSiteTable Sites;
    TQueueStores Stores;
    std::unique_ptr<TConnectForm> Form;
    QStringList Messages, Questions;
    bool AnswerYes = true;
    QStringList Events;
};

TEST_F(ConnectFormTest, ShowingStoresTheLiveQueueFirstAndActivationShowsTheCurrentSite) {
    Sites.SetCurrentSite(2);
    OpenForm();
    EXPECT_EQ(Form->windowTitle(), "Connect to FTP Site");
    EXPECT_EQ(Form->windowModality(), Qt::ApplicationModal);
    EXPECT_EQ(Events, QStringList{"store beta hidden"});
    EXPECT_EQ(Form->FTPList->currentRow(), 2);
    EXPECT_EQ(Form->LabeledEdit1->text(), "beta");
    EXPECT_EQ(Form->LabeledEdit2->text(), "beta.example");
    EXPECT_EQ(Form->LabeledEdit5->text(), "2102");
    EXPECT_EQ(Form->LabeledEdit7->text(), "2");
    EXPECT_TRUE(Form->RadioButton1->isChecked());
    EXPECT_TRUE(Form->RadioButton6->isChecked());
    EXPECT_EQ(Form->LabeledEdit4->echoMode(), QLineEdit::Password);
}

TEST_F(ConnectFormTest, EditsWriteThroughToTheSelectedSiteAtOnce) {
    OpenForm();
    Pick(1);
    EXPECT_EQ(Sites.CurrentSite(), 1);
    EXPECT_EQ(Form->LabeledEdit1->text(), "Alpha");

    QTest::keyClicks(Form->LabeledEdit2, ".org");
    QTest::keyClicks(Form->LabeledEdit3, "joe");
    QTest::keyClicks(Form->LabeledEdit4, "s3cret");
    Form->LabeledEdit6->selectAll();
    QTest::keyClicks(Form->LabeledEdit6, "/home/joe");
    Form->LabeledEdit5->selectAll();
    QTest::keyClicks(Form->LabeledEdit5, "990");
    Form->LabeledEdit8->selectAll();
    QTest::keyClicks(Form->LabeledEdit8, "15");

    const TFTPInfo& site = Sites.Site(1);
    EXPECT_EQ(site.Host, "Alpha.example.org");
    EXPECT_EQ(site.UserName, "joe");
    EXPECT_EQ(site.Password, "s3cret");
    EXPECT_EQ(site.HomeDir, "/home/joe");
    EXPECT_EQ(site.Port, 990);
    EXPECT_EQ(site.RetryDelay, 15);
    EXPECT_TRUE(Messages.isEmpty()) << Messages.join("|").toStdString();
    // The other sites are untouched, and the choice of transfer mode goes to the record.
    EXPECT_EQ(Sites.Site(0).Host, "zeta.example");
    Form->RadioButton5->click();
    EXPECT_EQ(Sites.Site(1).TransferMode, "ftBinary");
    Form->RadioButton4->click();
    EXPECT_EQ(Sites.Site(1).TransferMode, "ftASCII");
}

TEST_F(ConnectFormTest, ANumberThatIsNotWholeIsRefusedAndTheOldValueKept) {
    OpenForm();
    Pick(0);
    // Clearing the port: conversion message with nothing between the quotes.
    Form->LabeledEdit5->selectAll();
    QTest::keyClick(Form->LabeledEdit5, Qt::Key_Backspace);
    EXPECT_EQ(Messages, QStringList{"'' is not a valid integer value"});
    EXPECT_EQ(Sites.Site(0).Port, 2100);
    EXPECT_EQ(Form->LabeledEdit5->text(), "");
    // The port has no key filter: a letter goes in and is refused by the conversion.
    Messages.clear();
    QTest::keyClicks(Form->LabeledEdit5, "8x");
    EXPECT_EQ(Sites.Site(0).Port, 8);
    EXPECT_EQ(Messages, QStringList{"'8x' is not a valid integer value"});
    EXPECT_EQ(Form->LabeledEdit5->text(), "8x");
}

// Every number field of the site and settings dialogs: a value beyond the range is never taken in
// silence; the message names the range and what is used (or that the old value stays).
TEST_F(ConnectFormTest, NumbersOutOfRangeAreNamedWithTheRangeAndTheValueUsed) {
    TProgramSettings settings;
    TConnectionDefaults defaults;
    TSettingsForm settingsForm(settings, nullptr, nullptr);
    settingsForm.SetConnectionDefaults(&defaults);
    const TFTPInfo& site = Sites.Site(0);
    struct TCase {
        QLineEdit* Edit;
        const char* Typed;
        QString Message;  // empty: none
        std::function<int32_t()> Stored;
        int32_t Used;
        const char* Shown;
    };
    const auto port = [&] { return site.Port; };
    const auto retries = [&] { return site.Retries; };
    const auto delay = [&] { return site.RetryDelay; };
    const auto recv = [&] { return settings.Status.RecvBufferSize; };
    const auto send = [&] { return settings.Status.SendBufferSize; };
    const auto keepAlive = [&] { return defaults.KeepAliveSeconds; };
    const QString keepAliveRefused = "Keep alive interval must be between 5 and 3600 seconds. It stays at 60 seconds.";
    const TCase cases[] = {
        {Form->LabeledEdit5, "65536", "Port 65536 is outside the allowed range 1 to 65535; 65535 is used.", port, 65535,
         "65535"},
        {Form->LabeledEdit5, "0", "Port 0 is outside the allowed range 1 to 65535; 1 is used.", port, 1, "1"},
        {Form->LabeledEdit5, "65535", "", port, 65535, "65535"},
        {Form->LabeledEdit7, "1001", "Connection retries 1001 is outside the allowed range 0 to 1000; 1000 is used.",
         retries, 1000, "1000"},
        {Form->LabeledEdit7, "0", "", retries, 0, "0"},
        {Form->LabeledEdit8, "3601", "Delay between retries 3601 is outside the allowed range 0 to 3600; 3600 is used.",
         delay, 3600, "3600"},
        {Form->LabeledEdit8, "3600", "", delay, 3600, "3600"},
        {settingsForm.Edit1, "65536",
         "Receive buffer size 65536 is outside the allowed range 1 to 32768; 4096 is used.", recv, 4096, "4096"},
        {settingsForm.Edit1, "32768", "", recv, 32768, "32768"},
        {settingsForm.Edit2, "0", "Send buffer size 0 is outside the allowed range 1 to 32768; 2048 is used.", send,
         2048, "2048"},
        {settingsForm.Edit8, "4", keepAliveRefused, keepAlive, 60, "4"},
        {settingsForm.Edit8, "3601", keepAliveRefused, keepAlive, 60, "3601"},
        {settingsForm.Edit8, "3600", "", keepAlive, 3600, "3600"},
    };
    OpenForm();
    Pick(0);
    settingsForm.Open();
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Edit->objectName().toStdString() + " " + c.Typed);
        const bool settingsField = c.Edit->window() == &settingsForm;
        if (settingsField) {
            settingsForm.Edit1->setText("4096");
            settingsForm.Edit2->setText("2048");
            settingsForm.Edit8->setText(QString::number(defaults.KeepAliveSeconds));
        }
        Messages.clear();
        // Typed as the user does, each key on its own.
        c.Edit->selectAll();
        QTest::keyClicks(c.Edit, c.Typed);
        if (settingsField) QTest::mouseClick(settingsForm.Button3, Qt::LeftButton);
        EXPECT_EQ(Messages, c.Message.isEmpty() ? QStringList{} : QStringList{c.Message});
        EXPECT_EQ(c.Stored(), c.Used);
        EXPECT_EQ(c.Edit->text(), c.Shown);
    }
    settingsForm.Button2->click();
}

TEST_F(ConnectFormTest, RetriesKeyFilterTakesOneDecimalSeparatorAndRefusesOtherCharacters) {
    OpenForm();
    Pick(2);
    Form->LabeledEdit7->selectAll();
    QTest::keyClicks(Form->LabeledEdit7, "1");
    ASSERT_EQ(Sites.Site(2).Retries, 1);
    Messages.clear();

    const QString sep = QLocale::system().decimalPoint();
    QTest::keyClicks(Form->LabeledEdit7, sep);
    EXPECT_EQ(Form->LabeledEdit7->text(), "1" + sep);
    EXPECT_EQ(Messages, QStringList{"'1" + sep + "' is not a valid integer value"});
    EXPECT_EQ(Sites.Site(2).Retries, 1);

    Messages.clear();
    QTest::keyClicks(Form->LabeledEdit7, sep);
    QTest::keyClicks(Form->LabeledEdit8, "a");
    EXPECT_EQ(Messages,
              (QStringList{"Please enter a number.  Wrong input: " + sep, "Please enter a number.  Wrong input: a"}));
    EXPECT_EQ(Form->LabeledEdit7->text(), "1" + sep);
    EXPECT_EQ(Form->LabeledEdit8->text(), "0");

    // Backspace and digits pass.
    Messages.clear();
    QTest::keyClick(Form->LabeledEdit7, Qt::Key_Backspace);
    QTest::keyClicks(Form->LabeledEdit7, "7");
    EXPECT_EQ(Form->LabeledEdit7->text(), "17");
    EXPECT_EQ(Sites.Site(2).Retries, 17);
    EXPECT_TRUE(Messages.isEmpty());
}

TEST_F(ConnectFormTest, AnonymousFillsTheLoginAndUnmasksNormalMasksAgain) {
    OpenForm();
    Pick(1);
    QTest::mouseClick(Form->RadioButton2, Qt::LeftButton);
    EXPECT_EQ(Form->LabeledEdit3->text(), "anonymous");
    EXPECT_EQ(Form->LabeledEdit4->text(), "freeguest");
    EXPECT_EQ(Form->LabeledEdit4->echoMode(), QLineEdit::Normal);
    EXPECT_EQ(Sites.Site(1).UserName, "anonymous");
    EXPECT_EQ(Sites.Site(1).Password, "freeguest");
    EXPECT_EQ(LoginTypeCode(Sites.Site(1)), ltAnonymous);

    QTest::mouseClick(Form->RadioButton1, Qt::LeftButton);
    EXPECT_EQ(Form->LabeledEdit4->echoMode(), QLineEdit::Password);
    EXPECT_EQ(Sites.Site(1).Password, "freeguest");
    EXPECT_EQ(LoginTypeCode(Sites.Site(1)), ltNormal);

    QTest::mouseClick(Form->RadioButton3, Qt::LeftButton);
    EXPECT_EQ(LoginTypeCode(Sites.Site(1)), ltDouble);
    EXPECT_EQ(Form->LabeledEdit4->echoMode(), QLineEdit::Password);

    // Selecting a stored anonymous site while another type is shown writes the anonymous login
    // into that site before its fields are shown; its own e-mail password stays, an empty one
    // gets the default.
    for (const char* password : {"me@example.org", ""}) {
        SCOPED_TRACE(password);
        Sites.Site(0).LoginType = LoginTypeText(ltAnonymous);
        Sites.Site(0).UserName = "someone";
        Sites.Site(0).Password = password;
        Pick(2);
        ASSERT_TRUE(Form->RadioButton1->isChecked());
        Pick(0);
        EXPECT_TRUE(Form->RadioButton2->isChecked());
        EXPECT_EQ(Sites.Site(0).UserName, "anonymous");
        EXPECT_EQ(Form->LabeledEdit3->text(), "anonymous");
        const std::string expected = *password ? password : "freeguest";
        EXPECT_EQ(Sites.Site(0).Password, expected);
        EXPECT_EQ(Form->LabeledEdit4->text().toStdString(), expected);
    }

    // A login type matching none of the three leaves the buttons as they are.
    Sites.Site(2).LoginType.clear();
    Pick(2);
    EXPECT_TRUE(Form->RadioButton2->isChecked());
}

TEST_F(ConnectFormTest, AddSiteTwiceAppendsTwoNewSitesThatSortInAfterReopening) {
    OpenForm();
    Pick(0);
    QTest::mouseClick(Form->RadioButton2, Qt::LeftButton);  // the shown values must not carry over
    Form->RadioButton5->click();
    QTest::mouseClick(Form->Button3, Qt::LeftButton);
    QTest::mouseClick(Form->Button3, Qt::LeftButton);

    EXPECT_EQ(ListTexts(), (QStringList{"zeta", "Alpha", "beta", "New Site", "New Site"}));
    EXPECT_EQ(Sites.Count(), 5);
    EXPECT_EQ(Sites.CurrentSite(), 4);
    EXPECT_EQ(Form->FTPList->currentRow(), 4);
    EXPECT_EQ(Sites.Site(4), TFTPInfo{});
    EXPECT_EQ(Sites.Site(3), TFTPInfo{});
    EXPECT_EQ(Stores.Slot(4).SiteName, "New Site");
    EXPECT_EQ(Stores.Slot(4).Count(), 0);
    const QStringList shown{Form->LabeledEdit1->text(), Form->LabeledEdit2->text(), Form->LabeledEdit3->text(),
                            Form->LabeledEdit4->text(), Form->LabeledEdit5->text(), Form->LabeledEdit6->text(),
                            Form->LabeledEdit7->text(), Form->LabeledEdit8->text()};
    EXPECT_EQ(shown, (QStringList{"New Site", "", "", "", "21", "/", "0", "0"}));
    EXPECT_TRUE(Form->RadioButton1->isChecked());
    EXPECT_TRUE(Form->RadioButton6->isChecked());
    EXPECT_EQ(Form->LabeledEdit4->echoMode(), QLineEdit::Password);
    // The site shown before keeps what it had.
    EXPECT_EQ(Sites.Site(0).UserName, "anonymous");

    Form->Button2->click();  // Exit: sort
    EXPECT_FALSE(Form->isVisible());
    EXPECT_EQ(ListTexts(), (QStringList{"Alpha", "beta", "New Site", "New Site", "zeta"}));
    EXPECT_EQ(SiteNames(), (std::vector<std::string>{"Alpha", "beta", "New Site", "New Site", "zeta"}));
    EXPECT_EQ(Sites.CurrentSite(), 3);  // the later of the two
    EXPECT_EQ(Stores.Slot(0).Items.at(0).FileName, "Alpha.bin");
    EXPECT_EQ(Stores.Slot(4).Items.at(0).FileName, "zeta.bin");

    Events.clear();
    OpenForm();
    EXPECT_EQ(Events, QStringList{"store New Site hidden"});
    EXPECT_EQ(Form->FTPList->currentRow(), 3);
    // Added later, a site is appended after the sorted ones.
    QTest::mouseClick(Form->Button3, Qt::LeftButton);
    EXPECT_EQ(ListTexts().last(), "New Site");
    EXPECT_EQ(Form->FTPList->count(), 6);
    // What is typed next replaces the placeholder name.
    ASSERT_EQ(Form->focusWidget(), Form->LabeledEdit1);
    QTest::keyClicks(Form->focusWidget(), "Gamma");
    EXPECT_EQ(Form->LabeledEdit1->text(), "Gamma");
    EXPECT_EQ(ListTexts().last(), "Gamma");
    EXPECT_EQ(Sites.Site(5).SiteName, "Gamma");
}

TEST_F(ConnectFormTest, DeletingTheMiddleSiteKeepsTheOthersWithTheirQueuesAndSelectsTheFirst) {
    OpenForm();
    Pick(1);
    // Asked first, naming the site and its queue; No keeps everything.
    AnswerYes = false;
    QTest::mouseClick(Form->Button4, Qt::LeftButton);
    ASSERT_EQ(Questions.size(), 1);
    EXPECT_TRUE(Questions[0].contains("\"Alpha\"")) << Questions[0].toStdString();
    EXPECT_TRUE(Questions[0].contains("queue"));
    EXPECT_EQ(ListTexts(), (QStringList{"zeta", "Alpha", "beta"}));
    EXPECT_EQ(Sites.Count(), 3);
    ASSERT_EQ(Stores.Count(), 3);
    EXPECT_EQ(Stores.Slot(1).SiteName, "Alpha");
    EXPECT_EQ(Stores.Slot(1).Items.at(0).FileName, "Alpha.bin");
    EXPECT_EQ(Form->LabeledEdit1->text(), "Alpha");
    AnswerYes = true;
    Pick(1);
    QTest::mouseClick(Form->Button4, Qt::LeftButton);
    EXPECT_EQ(Questions.size(), 2);
    EXPECT_TRUE(Messages.isEmpty());
    EXPECT_EQ(ListTexts(), (QStringList{"zeta", "beta"}));
    EXPECT_EQ(SiteNames(), (std::vector<std::string>{"zeta", "beta"}));
    ASSERT_EQ(Stores.Count(), 2);
    EXPECT_EQ(Stores.Slot(0).SiteName, "zeta");
    EXPECT_EQ(Stores.Slot(1).SiteName, "beta");
    EXPECT_EQ(Stores.Slot(1).Items.at(0).FileName, "beta.bin");
    EXPECT_EQ(Form->FTPList->currentRow(), 0);
    EXPECT_EQ(Sites.CurrentSite(), 0);
    EXPECT_EQ(Form->LabeledEdit1->text(), "zeta");
    EXPECT_EQ(Form->LabeledEdit2->text(), "zeta.example");
}

TEST_F(ConnectFormTest, RenamingASiteRenamesItsEntryAndItsQueueStore) {
    OpenForm();
    Pick(2);
    Form->LabeledEdit1->selectAll();
    QTest::keyClicks(Form->LabeledEdit1, "Gamma");
    EXPECT_EQ(Sites.Site(2).SiteName, "Gamma");
    EXPECT_EQ(Form->FTPList->item(2)->text(), "Gamma");
    EXPECT_EQ(Stores.Slot(2).SiteName, "Gamma");
    EXPECT_EQ(Stores.Slot(2).Items.at(0).FileName, "beta.bin");

    Form->Button2->click();
    // Sorted: Alpha, Gamma, zeta; the renamed site stays current and keeps its queue.
    EXPECT_EQ(SiteNames(), (std::vector<std::string>{"Alpha", "Gamma", "zeta"}));
    EXPECT_EQ(Sites.CurrentSite(), 1);
    EXPECT_EQ(Stores.Slot(1).SiteName, "Gamma");
    EXPECT_EQ(Stores.Slot(1).Items.at(0).FileName, "beta.bin");
}

TEST_F(ConnectFormTest, ConnectHandsOverTheSelectedSiteAndClosesWithTheSortAndSummary) {
    OpenForm();
    Pick(0);
    Events.clear();
    QTest::mouseClick(Form->Button1, Qt::LeftButton);
    EXPECT_FALSE(Form->isVisible());
    EXPECT_EQ(Events, (QStringList{"connect 0", "summary", "closed"}));
    // zeta sorts last and stays the current site.
    EXPECT_EQ(Sites.CurrentSite(), 2);
    EXPECT_EQ(Sites.Site(2).SiteName, "zeta");

    // A double click on an entry makes it current and connects.
    OpenForm();
    Events.clear();
    QListWidget* list = Form->FTPList;
    const QPoint at = list->visualItemRect(list->item(1)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    EXPECT_EQ(Events, (QStringList{"connect 1", "summary", "closed"}));
    EXPECT_EQ(Sites.CurrentSite(), 1);

    // A double click on blank space below the rows connects nowhere, with a site selected.
    OpenForm();
    Events.clear();
    const QPoint blank(5, list->viewport()->height() - 3);
    ASSERT_EQ(list->itemAt(blank), nullptr);
    ASSERT_TRUE(list->item(1)->isSelected());
    Messages.clear();
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, blank);
    EXPECT_TRUE(Events.isEmpty());
    EXPECT_TRUE(Messages.isEmpty());
    EXPECT_TRUE(Form->isVisible());

    // Enter presses Connect.
    OpenForm();
    Events.clear();
    Form->FTPList->setFocus();
    QTest::keyClick(Form->FTPList, Qt::Key_Return);
    EXPECT_EQ(Events, (QStringList{"connect 1", "summary", "closed"}));

    // Escape closes like Exit.
    OpenForm();
    Events.clear();
    QTest::keyClick(Form->FTPList, Qt::Key_Escape);
    EXPECT_FALSE(Form->isVisible());
    EXPECT_EQ(Events, (QStringList{"summary", "closed"}));
}

TEST_F(ConnectFormTest, WithoutASelectedSiteConnectAndDeleteOnlySaySo) {
    OpenForm();
    Form->FTPList->clearSelection();
    Events.clear();
    QTest::mouseClick(Form->Button1, Qt::LeftButton);
    QTest::mouseDClick(Form->FTPList->viewport(), Qt::LeftButton, {},
                       QPoint(5, Form->FTPList->viewport()->height() - 3));
    QTest::mouseClick(Form->Button4, Qt::LeftButton);
    EXPECT_EQ(Messages, (QStringList{"Select FTP site to connect!", "Select FTP site to delete!"}));
    EXPECT_TRUE(Events.isEmpty());
    EXPECT_TRUE(Form->isVisible());
    EXPECT_EQ(Sites.Count(), 3);
}

TEST_F(ConnectFormTest, AnEmptyListDisablesTheFieldsAndWritesNothing) {
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(Sites.DeleteSite(0));
    Form->RefillList();
    OpenForm();
    EXPECT_EQ(Events, QStringList{});  // no site: no queue to store
    EXPECT_FALSE(Form->LabeledEdit1->isEnabled());
    EXPECT_FALSE(Form->LabeledEdit5->isEnabled());
    EXPECT_FALSE(Form->RadioButton2->isEnabled());
    QTest::mouseClick(Form->Button1, Qt::LeftButton);
    EXPECT_EQ(Messages, QStringList{"Select FTP site to connect!"});
    EXPECT_TRUE(Form->isVisible());

    // Adding a site enables them; deleting it again empties and disables them.
    QTest::mouseClick(Form->Button3, Qt::LeftButton);
    EXPECT_TRUE(Form->LabeledEdit1->isEnabled());
    QTest::keyClicks(Form->LabeledEdit2, "h");
    EXPECT_EQ(Sites.Site(0).Host, "h");
    QTest::mouseClick(Form->Button4, Qt::LeftButton);
    EXPECT_EQ(Sites.Count(), 0);
    EXPECT_FALSE(Form->LabeledEdit2->isEnabled());
    EXPECT_EQ(Form->LabeledEdit2->text(), "");
    Form->Button2->click();
    EXPECT_EQ(Events, (QStringList{"summary", "closed"}));
}

TEST_F(ConnectFormTest, LeavingWithAnotherSiteCurrentBringsThatSitesQueue) {
    // Only the site whose queue is live counts: reselecting it, renaming it or deleting another
    // site before it keeps the live queue.
    Sites.SetCurrentSite(2);
    OpenForm();
    Pick(0);
    Pick(2);
    Form->LabeledEdit1->selectAll();
    QTest::keyClicks(Form->LabeledEdit1, "Beta2");
    Form->Button2->click();
    EXPECT_EQ(Events, (QStringList{"store beta hidden", "summary", "closed"}));

    // Sorted now: Alpha, Beta2, zeta. Deleting Alpha shifts the live site; selecting zeta and
    // leaving loads zeta's queue.
    Events.clear();
    OpenForm();
    ASSERT_EQ(Sites.CurrentSiteName(), "Beta2");
    Pick(0);
    QTest::mouseClick(Form->Button4, Qt::LeftButton);
    Pick(0);
    EXPECT_EQ(Sites.CurrentSiteName(), "Beta2");
    Pick(1);
    QTest::keyClick(Form->FTPList, Qt::Key_Escape);
    EXPECT_EQ(Events, (QStringList{"store Beta2 hidden", "load zeta", "summary", "closed"}));
    EXPECT_EQ(Sites.CurrentSiteName(), "zeta");

    // The live site deleted: the site current afterwards brings its queue.
    Events.clear();
    OpenForm();
    QTest::mouseClick(Form->Button4, Qt::LeftButton);
    Form->Button2->click();
    EXPECT_EQ(Events, (QStringList{"store zeta hidden", "load Beta2", "summary", "closed"}));
}

}  // namespace

namespace {

TEST_F(ConnectFormTest, AdvancedFieldsShowAndWriteEachSitesOwnOptions) {
    Sites.Site(1).Options.DataMode = TDataConnectionMode::Active;
    Sites.Site(1).Options.NameEncoding = TSiteNameEncoding::Raw;
    Sites.Site(1).Options.KeepAlive = false;
    OpenForm();
    EXPECT_EQ(Form->AdvancedGroup->title(), "Advanced");
    Pick(1);
    EXPECT_EQ(Form->ComboBox1->currentText(), "Active");
    EXPECT_EQ(Form->ComboBox2->currentText(), "Raw Bytes");
    EXPECT_FALSE(Form->CheckBox1->isChecked());
    // Showing another site must not carry these values into it, nor change them back here.
    Pick(0);
    EXPECT_EQ(Sites.Site(0).Options, TSiteOptions{});
    EXPECT_EQ(Form->ComboBox1->currentText(), "Default");
    EXPECT_EQ(Sites.Site(1).Options.DataMode, TDataConnectionMode::Active);

    Form->ComboBox1->setCurrentIndex(1);
    Form->ComboBox2->setCurrentIndex(1);
    Form->CheckBox1->setChecked(false);
    const TSiteOptions edited = Sites.Site(0).Options;
    EXPECT_EQ(edited.DataMode, TDataConnectionMode::Passive);
    EXPECT_EQ(edited.NameEncoding, TSiteNameEncoding::Utf8);
    EXPECT_FALSE(edited.KeepAlive);

    // A new site shows and gets the new-site options, whatever was shown before.
    Form->Button3->click();
    EXPECT_EQ(Sites.Site(3).Options, TSiteOptions{});
    EXPECT_EQ(Form->ComboBox1->currentText(), "Default");
    EXPECT_TRUE(Form->CheckBox1->isChecked());
    // Renaming keeps the record's options with it.
    Pick(0);
    Form->LabeledEdit1->setText("renamed");
    EXPECT_EQ(Sites.Site(0).Options, edited);
    Form->reject();
}

TEST_F(ConnectFormTest, EncryptionChoiceIsKeptPerSiteAndImplicitMovesTheStandardPort) {
    OpenForm();
    QStringList items;
    for (int i = 0; i < Form->ComboBox3->count(); ++i) items << Form->ComboBox3->itemText(i);
    EXPECT_EQ(items, QStringList({"Use explicit FTP over TLS if available", "Require explicit FTP over TLS",
                                  "Require implicit FTP over TLS", "Only use plain FTP (insecure)"}));
    Pick(0);
    EXPECT_EQ(Form->ComboBox3->currentIndex(), 0);
    struct TStep {
        TSiteEncryption Choice;
        const char* PortBefore;  // typed before the choice; nullptr leaves the field
        int PortAfter;
    };
    const TStep steps[] = {
        {TSiteEncryption::RequireExplicit, "21", 21},
        {TSiteEncryption::RequireImplicit, nullptr, 990},
        {TSiteEncryption::PlainOnly, nullptr, 21},
        {TSiteEncryption::RequireImplicit, "2121", 2121},  // a port of the user's own stays
        {TSiteEncryption::ExplicitIfAvailable, nullptr, 2121},
        {TSiteEncryption::RequireImplicit, "21", 990},
        {TSiteEncryption::RequireExplicit, "990", 21},
    };
    for (const TStep& s : steps) {
        SCOPED_TRACE(static_cast<int>(s.Choice));
        if (s.PortBefore) Form->LabeledEdit5->setText(s.PortBefore);
        Form->ComboBox3->setCurrentIndex(static_cast<int>(s.Choice));
        EXPECT_EQ(Sites.Site(0).Options.Encryption, s.Choice);
        EXPECT_EQ(Sites.Site(0).Port, s.PortAfter);
        EXPECT_EQ(Form->LabeledEdit5->text(), QString::number(s.PortAfter));
    }
    // Showing another site shows its own choice and neither changes its port nor carries this one over.
    Sites.Site(1).Port = 21;
    Sites.Site(1).Options.Encryption = TSiteEncryption::RequireImplicit;
    Pick(1);
    EXPECT_EQ(Form->ComboBox3->currentIndex(), 2);
    EXPECT_EQ(Sites.Site(1).Port, 21);
    Pick(0);
    EXPECT_EQ(Sites.Site(0).Options.Encryption, TSiteEncryption::RequireExplicit);
    EXPECT_EQ(Sites.Site(1).Options.Encryption, TSiteEncryption::RequireImplicit);
    // A new site starts with the first choice.
    Form->Button3->click();
    EXPECT_EQ(Form->ComboBox3->currentIndex(), 0);
    EXPECT_EQ(Sites.Site(3).Options.Encryption, TSiteEncryption::ExplicitIfAvailable);
    Form->reject();
}

}  // namespace
