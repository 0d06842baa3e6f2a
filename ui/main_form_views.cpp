// Remote and local directory views of the main window: the remote listing, navigation in both
// panes and which pane receives the pane commands.

#include "ui/main_form.h"

#include <QComboBox>
#include <QDir>
#include <QFileSystemModel>
#include <QTreeView>

#include "ui/goto_directory_form.h"

void TMainForm::ListRemoteDirectory(const std::string& path) { SessionViews->ListRemoteDirectory(path); }

void TMainForm::RemoteDirListDblClick() { SessionViews->RemoteDirListDblClick(); }

void TMainForm::RemoteDirUpButtonClick() { SessionViews->RemoteDirUpButtonClick(); }

void TMainForm::ChangeDirUp1Click() { RemoteDirUpButtonClick(); }

void TMainForm::Homedirectory1Click() { SessionViews->Homedirectory1Click(); }

void TMainForm::Refresh1Click() { SessionViews->Refresh1Click(); }

void TMainForm::RemoteDirComboClick() { SessionViews->RemoteDirComboClick(); }

void TMainForm::GotoDirectory1Click() { SessionViews->GotoDirectory1Click(); }

void TMainForm::ToolButton11Click() { SessionViews->ToolButton11Click(); }

void TMainForm::HomeDirUpButtonClick() {
    QDir dir(QString::fromStdString(LocalDir()));
    if (dir.cdUp()) SetLocalDir(dir.absolutePath());
}

void TMainForm::ChangeDirectoryUp1Click() { HomeDirUpButtonClick(); }

void TMainForm::Refresh2Click() { RefreshLocalPane(); }

void TMainForm::GotoDirectory2Click() {
    if (GotoDirectoryForm) GotoDirectoryForm->Open(HomeDirCombo->currentData().toString());
}

void TMainForm::HomeDirListClick() { SessionViews->HomeDirListClick(); }

void TMainForm::RemoteDirListClick() { SessionViews->RemoteDirListClick(); }

void TMainForm::HomeDirListKeyUp(int key) { SessionViews->HomeDirListKeyUp(key); }

void TMainForm::RemoteDirListKeyUp(int key) { SessionViews->RemoteDirListKeyUp(key); }
