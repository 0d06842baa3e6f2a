// The panes' own keys and double clicks against a real server, one table per pane: Enter and a
// double click open a folder or transfer a file the pane's way, Backspace goes up, Delete asks
// the delete question, F2 opens the rename dialog, Ctrl+A selects every row.

#include "tests/ui/test_session_fixture.h"

#include <QFileSystemModel>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QTest>

#include <filesystem>
#include <functional>

#include "ui/enter_dir_form.h"
#include "ui/queue_view.h"

namespace {

using sessiontest::RunUntil;
using sessiontest::WindowTest;

class PaneKeysTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        ORLIX_SKIP_UNLESS_FTP_SERVER(FtpServerKind::Pyftpdlib);
        root.makeDir("pub/Zeta");
        root.writeFile("pub/alpha.txt", "0123456789");
        root.writeFile("pub/beta.txt", "b");
        local.makeDir("sub");
        local.writeFile("up.txt", "12345");
        local.writeFile("up2.txt", "6789");
        ASSERT_TRUE(StartServer());
        ASSERT_TRUE(ConnectAndWait());
        ASSERT_TRUE(form->SetLocalDir(QString::fromStdString(local.file(""))));
        ASSERT_TRUE(RunUntil([this] { return form->HomeDirModel->rowCount(form->HomeDirList->rootIndex()) == 3; }));
        guard::SetQuestionSink([this](const QString& q) {
            questions << q;
            return false;
        });
        form->resize(1000, 700);
        form->show();
    }

    struct TCase {
        const char* name;
        std::string row;  // made current and selected first ("" leaves it)
        std::function<void(QAbstractItemView*)> act;
        std::function<void()> check;
        bool switches = true;  // a command of the pane: it becomes the active one
    };

    static void Key(QAbstractItemView* list, int key, Qt::KeyboardModifiers mods = {}) {
        list->setFocus();
        QTest::keyClick(list, static_cast<Qt::Key>(key), mods);
    }

    void DoubleClick(QAbstractItemView* list) {
        const QPoint at = list->visualRect(list->currentIndex()).center();
        // The widget path of the test library sends the double click event alone; the press of a
        // real double click comes first.
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    }

    void SelectLocal(const std::string& name) {
        const QModelIndex i = form->HomeDirModel->index(QString::fromStdString(form->LocalDir() + name));
        ASSERT_TRUE(i.isValid()) << name;
        form->HomeDirList->selectionModel()->setCurrentIndex(
            i, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }

    void CloseNameDialog() {
        ASSERT_TRUE(form->EnterDirForm->isVisible());
        QTest::keyClick(form->EnterDirForm->Edit1, Qt::Key_Escape);
        RunUntil([this] { return !form->EnterDirForm->isVisible(); }, 2000);
    }

    bool TransferDone() {
        return RunUntil([this] { return !form->QueueView().Busy(); });
    }

    TempDir local;
    QStringList questions;
};

TEST_F(PaneKeysTest, LocalPaneKeys) {
    QTreeView* list = form->HomeDirList;
    const TCase cases[] = {
        {"enter opens a folder", "sub", [](auto* l) { Key(l, Qt::Key_Return); },
         [&] { EXPECT_EQ(form->LocalDir(), local.file("sub") + "/"); }, false},
        {"backspace goes up", "", [](auto* l) { Key(l, Qt::Key_Backspace); },
         [&] { EXPECT_EQ(form->LocalDir(), local.file("")); }, false},
        {"enter uploads a file", "up.txt", [](auto* l) { Key(l, Qt::Key_Enter, Qt::KeypadModifier); },
         [&] {
             ASSERT_TRUE(TransferDone());
             EXPECT_EQ(root.readFile("pub/up.txt"), "12345");
         }},
        {"double click uploads a file", "up2.txt", [&](auto* l) { DoubleClick(l); },
         [&] {
             ASSERT_TRUE(TransferDone());
             EXPECT_EQ(root.readFile("pub/up2.txt"), "6789");
         }},
        {"delete asks", "up.txt", [](auto* l) { Key(l, Qt::Key_Delete); },
         [&] {
             ASSERT_EQ(questions.size(), 1);
             EXPECT_TRUE(questions[0].contains("up.txt")) << questions[0].toStdString();
             EXPECT_TRUE(std::filesystem::exists(local.file("up.txt")));  // answered no
         }},
        {"f2 renames", "up2.txt", [](auto* l) { Key(l, Qt::Key_F2); },
         [&] {
             EXPECT_EQ(form->EnterDirForm->Mode(), TEnterDirForm::RenameLocal);
             EXPECT_EQ(form->EnterDirForm->OldName(), "up2.txt");
             CloseNameDialog();
         }},
        {"ctrl+a selects all", "sub", [](auto* l) { Key(l, Qt::Key_A, Qt::ControlModifier); },
         [&] { EXPECT_EQ(list->selectionModel()->selectedRows().size(), 3); }, false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        form->RemoteDirListClick();  // the key makes its own pane active
        if (!c.row.empty()) SelectLocal(c.row);
        c.act(list);
        if (c.switches) {
            EXPECT_EQ(form->ActivePane(), 1);
        }
        c.check();
    }
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

TEST_F(PaneKeysTest, RemotePaneKeys) {
    QTreeWidget* list = form->RemoteDirList;
    const TCase cases[] = {
        {"enter opens a folder", "Zeta", [](auto* l) { Key(l, Qt::Key_Return); },
         [&] { EXPECT_EQ(form->LastRemoteDir(), "/pub/Zeta/"); }, false},
        {"backspace goes up", "", [](auto* l) { Key(l, Qt::Key_Backspace); },
         [&] { EXPECT_EQ(form->LastRemoteDir(), "/pub/"); }, false},
        {"enter downloads a file", "alpha.txt", [](auto* l) { Key(l, Qt::Key_Return); },
         [&] {
             ASSERT_TRUE(TransferDone());
             EXPECT_EQ(local.readFile("alpha.txt"), "0123456789");
         }},
        {"double click downloads a file", "beta.txt", [&](auto* l) { DoubleClick(l); },
         [&] {
             ASSERT_TRUE(TransferDone());
             EXPECT_EQ(local.readFile("beta.txt"), "b");
         }},
        {"delete asks", "alpha.txt", [](auto* l) { Key(l, Qt::Key_Delete); },
         [&] {
             ASSERT_EQ(questions.size(), 1);
             EXPECT_EQ(questions[0], "Are you sure want to delete: alpha.txt");
             EXPECT_TRUE(std::filesystem::exists(root.file("pub/alpha.txt")));
         }},
        {"f2 renames", "beta.txt", [](auto* l) { Key(l, Qt::Key_F2); },
         [&] {
             EXPECT_EQ(form->EnterDirForm->Mode(), TEnterDirForm::RenameRemote);
             EXPECT_EQ(form->EnterDirForm->OldName(), "beta.txt");
             CloseNameDialog();
         }},
        {"ctrl+a selects all", "Zeta", [](auto* l) { Key(l, Qt::Key_A, Qt::ControlModifier); },
         [&] { EXPECT_EQ(list->selectedItems().size(), 3); }, false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        form->HomeDirListClick();
        if (!c.row.empty()) {
            ASSERT_TRUE(SelectRow(c.row));
        }
        c.act(list);
        if (c.switches) {
            EXPECT_EQ(form->ActivePane(), 2);
        }
        c.check();
    }
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

}  // namespace
