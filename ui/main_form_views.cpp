// Remote and local directory views of the main window: the remote listing, navigation in both
// panes and which pane receives the pane commands. The local pane's basic navigation works; the
// remote listing is still to come.

#include "ui/main_form.h"

#include <QComboBox>
#include <QDir>
#include <QFileSystemModel>
#include <QTreeView>

#include "ui/goto_directory_form.h"

void TMainForm::ListRemoteDirectory(const std::string& /*path*/) {}

void TMainForm::RemoteDirListDblClick() {}

void TMainForm::RemoteDirUpButtonClick() {}

void TMainForm::ChangeDirUp1Click() { RemoteDirUpButtonClick(); }

void TMainForm::Homedirectory1Click() {}

void TMainForm::Refresh1Click() {}

void TMainForm::RemoteDirComboClick() {}

void TMainForm::GotoDirectory1Click() {}

void TMainForm::ToolButton11Click() {
    if (ActivePane == 1) RefreshLocalPane();
}

void TMainForm::HomeDirUpButtonClick() {
    QDir dir(QString::fromStdString(LocalDir()));
    if (dir.cdUp()) SetLocalDir(dir.absolutePath());
}

void TMainForm::ChangeDirectoryUp1Click() { HomeDirUpButtonClick(); }

void TMainForm::Refresh2Click() { RefreshLocalPane(); }

void TMainForm::GotoDirectory2Click() {
    if (GotoDirectoryForm) GotoDirectoryForm->Open(HomeDirCombo->currentData().toString());
}

void TMainForm::HomeDirListClick() {}

void TMainForm::RemoteDirListClick() {}

void TMainForm::HomeDirListKeyUp(int /*key*/) {}

void TMainForm::RemoteDirListKeyUp(int /*key*/) {}
