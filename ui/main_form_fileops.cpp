// File operations of the main window: delete, rename and make directory in either pane, and the
// actions of the name-entry dialog.

#include "ui/main_form.h"

#include <QApplication>
#include <QCursor>
#include <QFileSystemModel>
#include <QItemSelectionModel>
#include <QTreeView>

#include <algorithm>
#include <vector>

#include "ftp/ftp_client.h"
#include "transfer/file_ops.h"
#include "ui/enter_dir_form.h"
#include "ui/file_ops_ui.h"
#include "ui/guard.h"
#include "ui/local_pane.h"
#include "ui/queue_view.h"
#include "ui/remote_pane.h"
#include "ui/session_controller.h"
#include "ui/status_log.h"

namespace {

class TWaitCursor {
public:
    TWaitCursor() { QApplication::setOverrideCursor(QCursor(Qt::WaitCursor)); }
    ~TWaitCursor() { QApplication::restoreOverrideCursor(); }
    TWaitCursor(const TWaitCursor&) = delete;
    TWaitCursor& operator=(const TWaitCursor&) = delete;
};

// Opens the name-entry dialog; when it closes, the main window is shown and usable again.
void OpenNameDialog(TMainForm& form, int mode, const QString& caption, const QString& text = QString(),
                    const std::string& oldName = std::string()) {
    if (!form.EnterDirForm) return;
    QObject::connect(
        form.EnterDirForm, &TEnterDirForm::Closed, &form,
        [f = &form] {
            if (!f->isVisible() && !f->InTray()) f->show();
            f->activateWindow();
        },
        Qt::SingleShotConnection);
    form.EnterDirForm->Open(mode, caption, text, oldName);
}

// A remote command between the files of a run, or during its listings, would read the runner's
// replies as its own: refused with a status line for as long as the run lasts.
bool RefusedDuringRun(TMainForm& f) {
    if (!f.QueueView().Busy()) return false;
    f.AddLogLine(QStringLiteral("Remote file commands are not available while a transfer runs"));
    return true;
}

bool RemoteCommandsAllowed(TMainForm& f) {
    if (RefusedDuringRun(f) || !f.IdFTP1) return false;
    // A session the server ended while idle reconnects before the command.
    return f.Session().ResumeDroppedSession() && f.IdFTP1->IsConnected();
}

// The remote delete of the first selected row. True when it deleted and listed the directory again.
bool DeleteRemoteSelection(TMainForm& f) {
    if (RefusedDuringRun(f)) return false;
    TRemotePane& pane = f.RemotePane();
    const int row = pane.FirstSelectedRow();
    if (row < 0) return false;
    const THostDirInfo entry = pane.Rows()[static_cast<size_t>(row)];
    // A listed name holding "/" would name something below another directory, not this row.
    if (!fileops::IsChildName(entry.Name)) {
        f.AddLogLine(QStringLiteral("Not deleted: \"") + pane.DisplayName(entry.Name) +
                     QStringLiteral("\" is not a plain file name"));
        guard::ShowMessage(QString::fromLatin1(kCannotDeleteMessage));
        return false;
    }
    const std::string dir = WithSlash(f.IdFTP1->WorkingDir());
    if (!guard::AskYesNo(fileops::RemoteDeleteQuestion(pane.DisplayName(entry.Name)))) return false;

    bool ok = false;
    try {
        const TRemoteDeleteResult result =
            DeleteRemoteTree(*f.IdFTP1, dir, entry.Name, entry.IsDir,
                             [&f](const std::string& text) { f.AddLogLine(statuslog::Display(text)); });
        if (result.Ok) {
            f.ListRemoteDirectory();
            ok = true;
        }
    } catch (const std::exception&) {
        ok = false;
    }
    if (!ok) guard::ShowMessage(QString::fromLatin1(kCannotDeleteMessage));
    return ok;
}

}  // namespace

// ---- Pane-dependent commands ----

void TMainForm::ToolButton13Click() {
    if (ActivePane() == 1) {
        Rename2Click();
    } else if (ActivePane() == 2 && RemoteCommandsAllowed(*this)) {
        Rename1Click();
    }
}

void TMainForm::ToolButton18Click() {
    if (ActivePane() == 1) {
        Delete2Click();
    } else if (ActivePane() == 2 && RemoteCommandsAllowed(*this)) {
        // The listing after a successful delete already shows the parent again.
        if (!DeleteRemoteSelection(*this)) ListRemoteDirectory();
    }
}

void TMainForm::Makedirectory2Click() {
    if (ActivePane() == 1) {
        MakeDirectory1Click();
    } else if (ActivePane() == 2 && RemoteCommandsAllowed(*this)) {
        MakeDir1Click();
    }
}

// ---- Remote pane ----

void TMainForm::MakeDir1Click() {
    if (RefusedDuringRun(*this)) return;
    OpenNameDialog(*this, TEnterDirForm::MakeRemoteDir, QStringLiteral("Make Directory"));
}

void TMainForm::Rename1Click() {
    if (RefusedDuringRun(*this)) return;
    const int row = remotePane_->FirstSelectedRow();
    if (row < 0) return;
    const std::string oldName = remotePane_->Rows()[static_cast<size_t>(row)].Name;
    OpenNameDialog(*this, TEnterDirForm::RenameRemote, QStringLiteral("Rename Directory"),
                   remotePane_->DisplayName(oldName), oldName);
}

void TMainForm::Delete1Click() { DeleteRemoteSelection(*this); }

// ---- Local pane ----

void TMainForm::MakeDirectory1Click() {
    OpenNameDialog(*this, TEnterDirForm::MakeLocalDir, QStringLiteral("Make Directory"));
}

void TMainForm::Rename2Click() {
    const QStringList paths = localPane_->SelectedPaths();
    if (paths.isEmpty()) return;
    const QString oldName =
        fileops::RelativeToFolder(paths.front(), QFile::decodeName(QByteArray::fromStdString(LocalDir())));
    OpenNameDialog(*this, TEnterDirForm::RenameLocal, QStringLiteral("Rename"), oldName,
                   QFile::encodeName(oldName).toStdString());
}

void TMainForm::Delete2Click() {
    const QStringList paths = localPane_->SelectedPaths();
    if (paths.isEmpty()) return;
    const QString question = paths.size() == 1 ? fileops::TrashQuestionOne(fileops::LocalItemName(paths.front()))
                                               : fileops::TrashQuestionMany(static_cast<int>(paths.size()));
    if (!guard::AskYesNo(question)) return;
    QStringList failed;
    {
        TWaitCursor wait;
        for (const QString& path : paths)
            if (!fileops::MoveToTrash(path)) failed << path;
    }
    RefreshLocalPane();
    if (!failed.isEmpty()) guard::ShowMessage(fileops::TrashFailedNotice(failed));
}

// ---- Name-entry dialog ----

void TMainForm::EnterDirNameEntered(int mode, const QString& name) {
    if (!EnterDirForm || name.isEmpty()) return;
    const QString folder = QFile::decodeName(QByteArray::fromStdString(LocalDir()));
    switch (mode) {
        case TEnterDirForm::MakeLocalDir:
            fileops::MakeLocalDirectory(folder, name);
            EnterDirForm->close();
            RefreshLocalPane();
            break;
        case TEnterDirForm::RenameLocal:
            fileops::RenameLocalItem(folder, QFile::decodeName(QByteArray::fromStdString(EnterDirForm->OldName())),
                                     name);
            EnterDirForm->close();
            RefreshLocalPane();
            break;
        case TEnterDirForm::MakeRemoteDir: {
            if (RefusedDuringRun(*this)) break;  // the dialog stays open for later
            const std::string dir = WithSlash(IdFTP1->WorkingDir());
            IdFTP1->MakeDir(dir + remotePane_->NameBytes(name));
            ListRemoteDirectory();
            EnterDirForm->close();
            break;
        }
        case TEnterDirForm::RenameRemote: {
            if (RefusedDuringRun(*this)) break;
            const std::string dir = WithSlash(IdFTP1->WorkingDir());
            IdFTP1->Rename(dir + EnterDirForm->OldName(), dir + remotePane_->NameBytes(name));
            ListRemoteDirectory();
            EnterDirForm->close();
            break;
        }
        case TEnterDirForm::ChangeRemoteDir:
            // The pane keeps the start text's bytes; a refusal leaves the dialog open, with the error shown.
            remotePane_->ChangeDirectoryTo(name);
            EnterDirForm->close();
            ListRemoteDirectory();
            break;
        default:
            break;
    }
}
