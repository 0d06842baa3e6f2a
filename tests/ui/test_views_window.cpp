// The remote and local panes of the main window against a real server: order and columns of the
// remote list, navigation (double click, up, combo, Goto), refresh and pane switching, the local
// Goto, and a directory of 20,000 entries shown completely.

#include "tests/ui/test_session_fixture.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QItemSelectionModel>

#include "ui/enter_dir_form.h"
#include "ui/goto_directory_form.h"
#include "ui/remote_names.h"
#include "ui/theme_icons.h"

#include <sys/stat.h>
#include <unistd.h>

namespace {

using sessiontest::RunUntil;
using sessiontest::WindowTest;

class ViewsTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        ORLIX_SKIP_UNLESS_FTP_SERVER(FtpServerKind::Pyftpdlib);
        root.makeDir("pub/Zeta");
        root.makeDir("pub/Beta");
        root.makeDir("pub/empty");
        root.writeFile("pub/alpha.txt", "0123456789");
        root.writePatternFile("pub/sizes/s1024.bin", 1024);
        root.writePatternFile("pub/sizes/s1025.bin", 1025);
        root.writePatternFile("pub/sizes/s1536.bin", 1536);
        root.writePatternFile("pub/sizes/s2560.bin", 2560);
        root.writeFile("pub/sizes/a  b.txt", "two spaces");
        ASSERT_TRUE(StartServer());
        ASSERT_TRUE(ConnectAndWait());
    }
};

TEST_F(ViewsTest, OrderColumnsAndSizes) {
    EXPECT_EQ(Column(0), (std::vector<std::string>{"Beta", "empty", "sizes", "Zeta", "alpha.txt"}));
    EXPECT_EQ(Column(1), (std::vector<std::string>{"File Folder", "File Folder", "File Folder", "File Folder", "10"}));
    EXPECT_EQ(form->LastRemoteRowIndex(), 4);
    ASSERT_EQ(form->HostDirInfo().size(), 5u);
    EXPECT_EQ(form->HostDirInfo()[4].Size, 10);
    EXPECT_EQ(form->HostDirInfo()[0].Size, -1);
    EXPECT_FALSE(form->HostDirInfo()[4].Modified.empty());
    EXPECT_EQ(form->RemoteDirList->topLevelItem(4)->text(2).toStdString(), form->HostDirInfo()[4].Modified);
    EXPECT_EQ(form->RemoteDirList->topLevelItem(4)->textAlignment(1) & Qt::AlignRight, Qt::AlignRight);

    form->ListRemoteDirectory("sizes");  // relative, sent as given
    EXPECT_EQ(form->LastRemoteDir(), "/pub/sizes/");
    EXPECT_EQ(Column(0), (std::vector<std::string>{"a  b.txt", "s1024.bin", "s1025.bin", "s1536.bin", "s2560.bin"}));
    EXPECT_EQ(Column(1), (std::vector<std::string>{"10", "1024", "1 KB", "2 KB", "2 KB"}));
    // The record keeps the name as listed, two spaces included.
    EXPECT_EQ(form->HostDirInfo()[0].Name, "a  b.txt");

    // Same extensions again: no new images.
    const size_t images = form->RemotePane().IconImageList().size();
    form->Refresh1Click();
    EXPECT_EQ(form->RemotePane().IconImageList().size(), images);
    EXPECT_EQ(images, 3u);  // the folder, .txt and .bin

    form->ListRemoteDirectory("/pub/empty");
    EXPECT_EQ(form->RemoteDirList->topLevelItemCount(), 0);
    EXPECT_EQ(form->LastRemoteRowIndex(), -1);
    EXPECT_EQ(Panel(0), "Ready");
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

// Names shown in the site's encoding while the row keeps the listed bytes, and typed names sent
// back in it.
TEST(RemoteNames, DisplayAndBytesByEncoding) {
    const std::string utf8 =
        "\xc3\xbc"
        "ber \xe2\x98\x83";  // "über ☃"
    const std::string latin1 = "caf\xe9";
    EXPECT_EQ(remotenames::Display(utf8, false), QString::fromUtf8(utf8.c_str()));
    EXPECT_EQ(remotenames::Display(utf8, true), QString::fromLatin1(utf8.c_str()));
    // Not UTF-8: still readable, never replacement marks.
    EXPECT_EQ(remotenames::Display(latin1, false), QStringLiteral("caf\u00e9"));
    EXPECT_EQ(remotenames::Display(std::string("a\0b", 3), false).size(), 3);
    EXPECT_EQ(remotenames::Bytes(QStringLiteral("caf\u00e9"), true), latin1);
    EXPECT_EQ(remotenames::Bytes(QStringLiteral("caf\u00e9"), false), "caf\xc3\xa9");
    EXPECT_EQ(remotenames::Bytes(QString::fromUtf8(utf8.c_str()), true), utf8);  // the snowman fits no byte
}

TEST_F(ViewsTest, NamesFollowTheSiteEncoding) {
    const std::string utf8 =
        "\xc3\xbc"
        "ber.txt";
    root.writeFile("pub/sizes/" + utf8, "u");
    form->ListRemoteDirectory("sizes");
    const std::vector<std::string> shown = Column(0);
    EXPECT_NE(std::find(shown.begin(), shown.end(), utf8), shown.end());
    form->IdFTP1->NameEncoding = TFtpNameEncoding::Raw;
    form->Refresh1Click();
    const std::vector<std::string> raw = Column(0);
    EXPECT_NE(std::find(raw.begin(), raw.end(), QString::fromLatin1(utf8.c_str()).toStdString()), raw.end());
    // The rows keep the listed bytes whatever is shown.
    bool kept = false;
    for (const auto& r : form->HostDirInfo()) kept = kept || r.Name == utf8;
    EXPECT_TRUE(kept);
}

TEST_F(ViewsTest, DoubleClickUpAndCombo) {
    // During a transfer neither a file row nor a directory row does anything.
    form->Transfer().Transferring = true;
    const int lines = form->StatusList->LineCount();
    for (const char* row : {"alpha.txt", "Zeta"}) {
        ASSERT_TRUE(SelectRow(row));
        form->RemoteDirListDblClick();
        EXPECT_EQ(form->LastRemoteDir(), "/pub/");
    }
    EXPECT_EQ(form->StatusList->LineCount(), lines);  // nothing was sent
    ASSERT_TRUE(SelectRow("Zeta"));
    form->Transfer().Transferring = false;
    form->RemoteDirListDblClick();
    EXPECT_EQ(form->LastRemoteDir(), "/pub/Zeta/");
    EXPECT_EQ(form->RemoteDirCombo->currentText(), "/pub/Zeta/");

    form->RemoteDirUpButtonClick();
    EXPECT_EQ(form->LastRemoteDir(), "/pub/");
    EXPECT_TRUE(form->RemoteDirUpButton->isEnabled());

    form->RemoteDirCombo->setEditText("/pub/Beta");
    form->RemoteDirComboClick();
    EXPECT_EQ(form->LastRemoteDir(), "/pub/Beta/");

    // A directory that isn't there, asked for or typed: the error reaches the caller and the pane
    // stays usable on the directory it showed.
    const std::vector<std::string> shown = Column(0);
    EXPECT_ANY_THROW(form->ListRemoteDirectory("/pub/missing"));
    form->RemoteDirCombo->setEditText("/pub/missing");
    EXPECT_ANY_THROW(form->RemoteDirComboClick());
    EXPECT_EQ(Column(0), shown);
    EXPECT_EQ(form->RemoteDirCombo->currentText(), "/pub/Beta/");
    EXPECT_EQ(Panel(0), "Ready");
    EXPECT_TRUE(form->RemoteDirUpButton->isEnabled());
    EXPECT_TRUE(form->RemoteDirList->isEnabled());
    EXPECT_TRUE(form->ToolButton7->isEnabled());

    // The server stayed in /pub/Beta; up leads on from there, and at the top errors are swallowed.
    form->RemoteDirUpButtonClick();
    EXPECT_EQ(form->LastRemoteDir(), "/pub/");
    form->RemoteDirUpButtonClick();
    EXPECT_EQ(form->LastRemoteDir(), "/");
    form->RemoteDirUpButtonClick();
    EXPECT_EQ(form->LastRemoteDir(), "/");
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

TEST_F(ViewsTest, RemoteGotoThroughTheDirectoryNameDialog) {
    form->GotoDirectory1Click();
    ASSERT_TRUE(form->EnterDirForm->isVisible());
    EXPECT_EQ(form->EnterDirForm->windowTitle(), "Change Directory");
    EXPECT_EQ(form->EnterDirForm->Edit1->text(), "/pub/");
    EXPECT_EQ(form->EnterDirForm->Mode(), TEnterDirForm::ChangeRemoteDir);

    // A directory the server refuses: the error is shown, the dialog stays.
    form->EnterDirForm->Edit1->setText("nowhere");
    form->EnterDirForm->Button1->click();
    EXPECT_EQ(errors.size(), 1);
    EXPECT_TRUE(form->EnterDirForm->isVisible());

    form->EnterDirForm->Edit1->setText("Zeta");
    form->EnterDirForm->Button1->click();
    RunUntil([this] { return !form->EnterDirForm->isVisible(); }, 2000);
    EXPECT_FALSE(form->EnterDirForm->isVisible());
    EXPECT_EQ(form->LastRemoteDir(), "/pub/Zeta/");

    // The working-directory query fails (the connection is gone): no dialog, the window usable.
    form->IdFTP1->OnDisconnected = nullptr;
    form->IdFTP1->Disconnect();
    guard::Run([this] { form->GotoDirectory1Click(); });
    EXPECT_EQ(errors.size(), 2);
    EXPECT_FALSE(form->EnterDirForm->isVisible());
    EXPECT_TRUE(form->isEnabled());
}

TEST_F(ViewsTest, RefreshAndPaneSwitching) {
    EXPECT_EQ(form->ActivePane(), 2);
    root.writeFile("pub/new.txt", "n");
    form->RemoteDirList->clearSelection();
    form->ToolButton11Click();
    EXPECT_EQ(Column(0).back(), "new.txt");
    EXPECT_TRUE(form->RemoteDirList->topLevelItem(0)->isSelected());

    // Not while a transfer runs.
    root.writeFile("pub/zzz.txt", "z");
    form->Transfer().Transferring = true;
    form->ToolButton11Click();
    EXPECT_EQ(Column(0).back(), "new.txt");
    form->Transfer().Transferring = false;

    form->HomeDirListClick();
    EXPECT_EQ(form->ActivePane(), 1);
    EXPECT_TRUE(form->ToolButton6->isEnabled());
    EXPECT_FALSE(form->ToolButton7->isEnabled());
    EXPECT_TRUE(form->Upload2->isEnabled());
    EXPECT_FALSE(form->Download2->isEnabled());
    form->ToolButton11Click();  // the local pane now
    EXPECT_EQ(Column(0).back(), "new.txt");

    form->RemoteDirListClick();
    EXPECT_EQ(form->ActivePane(), 2);
    EXPECT_FALSE(form->ToolButton6->isEnabled());
    EXPECT_TRUE(form->ToolButton7->isEnabled());
    EXPECT_TRUE(form->Download2->isEnabled());
    EXPECT_FALSE(form->Upload2->isEnabled());

    // Tab released in a pane: toolbar only, menu items untouched.
    QKeyEvent tab(QEvent::KeyRelease, Qt::Key_Tab, Qt::NoModifier);
    QApplication::sendEvent(form->HomeDirList, &tab);
    EXPECT_EQ(form->ActivePane(), 1);
    EXPECT_TRUE(form->ToolButton6->isEnabled());
    EXPECT_FALSE(form->ToolButton7->isEnabled());
    EXPECT_TRUE(form->Download2->isEnabled());
    QApplication::sendEvent(form->RemoteDirList, &tab);
    EXPECT_EQ(form->ActivePane(), 2);
    EXPECT_TRUE(form->ToolButton7->isEnabled());

    // Shift+Tab, and a press on blank space (here an empty local folder, under the remote rows).
    QKeyEvent backtab(QEvent::KeyRelease, Qt::Key_Backtab, Qt::ShiftModifier);
    QApplication::sendEvent(form->HomeDirList, &backtab);
    EXPECT_EQ(form->ActivePane(), 1);
    QApplication::sendEvent(form->RemoteDirList, &backtab);
    EXPECT_EQ(form->ActivePane(), 2);
    TempDir empty;
    form->HomeDirCombo->lineEdit()->setText(QString::fromStdString(empty.file("")));
    QTest::keyClick(form->HomeDirCombo->lineEdit(), Qt::Key_Return);
    form->resize(1000, 700);
    form->show();
    const auto blank = [](QAbstractItemView* list) { return QPoint(10, list->viewport()->height() - 3); };
    ASSERT_EQ(form->RemoteDirList->itemAt(blank(form->RemoteDirList)), nullptr);
    QTest::mouseClick(form->HomeDirList->viewport(), Qt::LeftButton, {}, blank(form->HomeDirList));
    EXPECT_EQ(form->ActivePane(), 1);
    EXPECT_TRUE(form->Upload2->isEnabled());
    QTest::mouseClick(form->RemoteDirList->viewport(), Qt::LeftButton, {}, blank(form->RemoteDirList));
    EXPECT_EQ(form->ActivePane(), 2);
    EXPECT_TRUE(form->Download2->isEnabled());

    // Dragging from the panes only while connected.
    EXPECT_TRUE(form->RemoteDirList->dragEnabled());
    form->ToolButton3Click();
    EXPECT_FALSE(form->RemoteDirList->dragEnabled());
    EXPECT_FALSE(form->HomeDirList->dragEnabled());
    // Disconnected, a pane switch turns no transfer command on.
    form->SetActivePane(2);
    form->HomeDirListClick();
    EXPECT_FALSE(form->ToolButton6->isEnabled());
    EXPECT_FALSE(form->Upload2->isEnabled());
}

TEST_F(ViewsTest, LocalGotoRefusesAMissingFolder) {
    TempDir local;
    local.makeDir("target");
    form->GotoDirectory2Click();
    ASSERT_TRUE(form->GotoDirectoryForm->isVisible());
    const QString missing = QString::fromStdString(local.file("nothing"));
    form->GotoDirectoryForm->Edit1->setText(missing);
    form->GotoDirectoryForm->Button1->click();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0], "Directory " + missing + " does not exists");
    EXPECT_TRUE(form->GotoDirectoryForm->isVisible());

    form->GotoDirectoryForm->Edit1->setText(QString::fromStdString(local.file("target")));
    form->GotoDirectoryForm->Button1->click();
    EXPECT_FALSE(form->GotoDirectoryForm->isVisible());
    EXPECT_EQ(form->LocalDir(), local.file("target") + "/");
}

TEST_F(ViewsTest, EnteringAFolderSelectsItsFirstRowInBothPanes) {
    const auto selectedRemote = [this] {
        std::vector<std::string> names;
        for (QTreeWidgetItem* item : form->RemoteDirList->selectedItems()) names.push_back(item->text(0).toStdString());
        return names;
    };
    ASSERT_TRUE(SelectRow("sizes"));
    form->RemoteDirListDblClick();
    EXPECT_EQ(selectedRemote(), std::vector<std::string>{"a  b.txt"});
    EXPECT_EQ(form->RemoteDirList->currentItem(), form->RemoteDirList->topLevelItem(0));
    form->ListRemoteDirectory("/pub/empty");
    EXPECT_TRUE(selectedRemote().empty());

    // Local, reached by a typed path: the first row of the sorted list, folders first, case ignored.
    TempDir local;
    for (const char* d : {"b dir", "empty", "A dir"}) local.makeDir(d);
    for (const char* f : {"z.txt", "B.txt", "a.txt"}) local.writeFile(f, "x");
    const auto typePath = [this](const std::string& path) {
        QLineEdit* edit = form->HomeDirCombo->lineEdit();
        ASSERT_TRUE(edit);
        edit->setText(QString::fromStdString(path));
        QTest::keyClick(edit, Qt::Key_Return);
    };
    const auto selectedLocal = [this] {
        QStringList names;
        for (const QModelIndex& i : form->HomeDirList->selectionModel()->selectedRows())
            names << form->HomeDirModel->fileName(i);
        return names;
    };
    typePath(local.file(""));
    EXPECT_EQ(form->LocalDir(), local.file(""));
    ASSERT_TRUE(RunUntil([&] { return form->HomeDirModel->rowCount(form->HomeDirList->rootIndex()) == 6; }));
    RunUntil([] { return false; }, 300);  // the model's late sort and icons
    EXPECT_EQ(selectedLocal(), QStringList{"A dir"});
    // Icons from the theme, the same as the remote pane's for the same names.
    const auto localIcon = [&](const char* name) {
        const QModelIndex i = form->HomeDirModel->index(QString::fromStdString(local.file(name)));
        return form->HomeDirModel->data(i, Qt::DecorationRole).value<QIcon>();
    };
    EXPECT_FALSE(localIcon("a.txt").isNull());
    EXPECT_EQ(localIcon("a.txt").name(), ThemeFileIcon(QStringLiteral("a.txt"), QIcon()).name());
    EXPECT_EQ(localIcon("A dir").name(), PaneFolderIcon().name());
    EXPECT_EQ(form->HomeDirCombo->itemIcon(0).name(), PaneFolderIcon().name());
    if (QFileInfo::exists(QStringLiteral("/usr/share/icons/Adwaita/index.theme"))) {
        // With a theme installed, even outside a desktop session, the panes use it rather than
        // the style's own pictures.
        EXPECT_TRUE(QIcon::hasThemeIcon(QStringLiteral("folder"))) << QIcon::themeName().toStdString();
        EXPECT_EQ(PaneFolderIcon().name(), QStringLiteral("folder"));
        EXPECT_FALSE(localIcon("a.txt").name().isEmpty());
    }

    typePath(local.file("empty"));
    EXPECT_EQ(form->LocalDir(), local.file("empty") + "/");
    RunUntil([] { return false; }, 200);
    EXPECT_TRUE(selectedLocal().isEmpty());
    // Up again: a folder read before is entered at its first row at once.
    form->HomeDirUpButtonClick();
    EXPECT_EQ(selectedLocal(), QStringList{"A dir"});

    const std::string missing = local.file("missing");
    typePath(missing);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0].toStdString(), "Directory " + missing + " does not exists");
    EXPECT_EQ(form->LocalDir(), local.file(""));
    EXPECT_EQ(form->HomeDirCombo->currentText().toStdString() + "/", local.file(""));
    // A file, and a folder that cannot be listed (root reads every folder): a message each, the
    // old path back.
    local.makeDir("locked");
    ::chmod(local.file("locked").c_str(), 0);
    std::vector<std::pair<std::string, std::string>> refused{
        {local.file("a.txt"), local.file("a.txt") + " is a file, not a directory"}};
    if (::geteuid() != 0)
        refused.emplace_back(local.file("locked"),
                             "Directory " + local.file("locked") + " cannot be read: permission denied");
    for (const auto& [path, message] : refused) {
        messages.clear();
        typePath(path);
        ASSERT_EQ(messages.size(), 1) << path;
        EXPECT_EQ(messages[0].toStdString(), message);
        EXPECT_EQ(form->LocalDir(), local.file(""));
        EXPECT_EQ(form->HomeDirCombo->currentText().toStdString() + "/", local.file(""));
    }
    ::chmod(local.file("locked").c_str(), 0700);
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

class BigListingTest : public WindowTest {};

TEST_F(BigListingTest, TwentyThousandEntriesAreShownCompletely) {
    ORLIX_SKIP_UNLESS_FTP_SERVER(FtpServerKind::Pyftpdlib);
    root.makeDir("big");
    for (int i = 0; i < 20000; ++i) root.writeFile("big/f" + std::to_string(100000 + i) + ".dat", "");
    root.makeDir("big/dir");
    ASSERT_TRUE(StartServer("/big/"));
    ASSERT_TRUE(ConnectAndWait());
    ASSERT_EQ(form->RemoteDirList->topLevelItemCount(), 20001);
    EXPECT_EQ(form->LastRemoteRowIndex(), 20000);
    EXPECT_EQ(form->HostDirInfo().front().Name, "dir");
    EXPECT_EQ(form->RemoteDirList->topLevelItem(20000)->text(0), "f119999.dat");
    EXPECT_EQ(form->HostDirInfo().back().Name, "f119999.dat");
}

}  // namespace
