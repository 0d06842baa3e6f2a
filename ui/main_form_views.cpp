// The panes' handlers of the main window, and which pane receives the pane commands.

#include "ui/main_form.h"
#include "ui/main_form_parts.h"

#include <QAction>

#include "ui/enter_dir_form.h"
#include "ui/goto_directory_form.h"
#include "ui/guard.h"
#include "ui/local_pane.h"
#include "ui/remote_pane.h"
#include "ui/session_controller.h"

void TMainForm::ConnectPanes() {
    guard::Connect(localPane_, &TLocalPane::ListClicked, this, &TMainForm::HomeDirListClick);
    guard::Connect(remotePane_, &TRemotePane::ListClicked, this, &TMainForm::RemoteDirListClick);
    connect(localPane_, &TLocalPane::TabReleased, this,
            [this] { guard::Run([this] { HomeDirListKeyUp(Qt::Key_Tab); }); });
    connect(remotePane_, &TRemotePane::TabReleased, this,
            [this] { guard::Run([this] { RemoteDirListKeyUp(Qt::Key_Tab); }); });
    // A file is transferred the pane's way, and Delete and F2 act on the pane they are pressed
    // in, through the toolbar's commands.
    const auto inPane = [this](int pane, auto command) {
        return [this, pane, command] {
            guard::Run([&] {
                SwitchToPane(pane, true);
                command();
            });
        };
    };
    connect(localPane_, &TLocalPane::FileActivated, this, inPane(1, [this] { ToolButton6->trigger(); }));
    connect(remotePane_, &TRemotePane::FileActivated, this, inPane(2, [this] { ToolButton7->trigger(); }));
    connect(localPane_, &TLocalPane::DeleteKeyPressed, this, inPane(1, [this] { ToolButton18Click(); }));
    connect(remotePane_, &TRemotePane::DeleteKeyPressed, this, inPane(2, [this] { ToolButton18Click(); }));
    connect(localPane_, &TLocalPane::RenameKeyPressed, this, inPane(1, [this] { ToolButton13Click(); }));
    connect(remotePane_, &TRemotePane::RenameKeyPressed, this, inPane(2, [this] { ToolButton13Click(); }));
}

int TMainForm::ActivePane() const { return session_->ActivePane(); }

void TMainForm::SetActivePane(int pane) { session_->SetActivePane(pane); }

const std::vector<THostDirInfo>& TMainForm::HostDirInfo() const { return remotePane_->Rows(); }

int TMainForm::LastRemoteRowIndex() const { return remotePane_->LastRowIndex(); }

const std::string& TMainForm::LastRemoteDir() const { return remotePane_->Directory(); }

void TMainForm::SetDragEnabled(bool enabled) {
    // Dragging starts on a left press on an item once the mouse moves; only while connected.
    remotePane_->SetDragEnabled(enabled);
    localPane_->SetDragEnabled(enabled);
}

// ---- Remote pane

void TMainForm::ListRemoteDirectory(const std::string& path) { remotePane_->ListDirectory(path); }

void TMainForm::RemoteDirListDblClick() { remotePane_->OpenCurrentRow(); }

void TMainForm::RemoteDirUpButtonClick() { remotePane_->GoUp(); }

void TMainForm::ChangeDirUp1Click() { RemoteDirUpButtonClick(); }

void TMainForm::Homedirectory1Click() { remotePane_->GoTo(session_->State().RemoteHomeDir); }

void TMainForm::Refresh1Click() { remotePane_->Refresh(); }

void TMainForm::RemoteDirComboClick() { remotePane_->GoToTypedPath(); }

void TMainForm::GotoDirectory1Click() {
    const std::optional<QString> start = remotePane_->GotoStartText();
    if (start && EnterDirForm)
        EnterDirForm->Open(TEnterDirForm::ChangeRemoteDir, QStringLiteral("Change Directory"), *start);
}

// ---- Local pane

void TMainForm::HomeDirUpButtonClick() { localPane_->GoUp(); }

void TMainForm::ChangeDirectoryUp1Click() { HomeDirUpButtonClick(); }

void TMainForm::Refresh2Click() { RefreshLocalPane(); }

void TMainForm::GotoDirectory2Click() {
    if (GotoDirectoryForm) GotoDirectoryForm->Open(localPane_->ShownFolder());
}

// ---- Both panes

void TMainForm::ToolButton11Click() {
    if (ActivePane() == 1)
        localPane_->RefreshKeepingSelection();
    else if (ActivePane() == 2)
        remotePane_->RefreshIfIdle();
}

void TMainForm::SwitchToPane(int pane, bool menuItems) {
    SetActivePane(pane);
    const bool remote = pane == 2;
    // Without a connection the transfer commands stay off whichever pane is active.
    const bool connected = IdFTP1 && IdFTP1->IsConnected();
    if (menuItems) {
        Download2->setEnabled(remote && connected);
        Upload2->setEnabled(!remote && connected);
    }
    ToolButton7->setEnabled(remote && connected);
    ToolButton6->setEnabled(!remote && connected);
}

void TMainForm::HomeDirListClick() {
    if (ActivePane() == 2) SwitchToPane(1, true);
}

void TMainForm::RemoteDirListClick() {
    if (ActivePane() == 1) SwitchToPane(2, true);
}

void TMainForm::HomeDirListKeyUp(int key) {
    if (key == Qt::Key_Tab) SwitchToPane(1, false);
}

void TMainForm::RemoteDirListKeyUp(int key) {
    if (key == Qt::Key_Tab) SwitchToPane(2, false);
}
