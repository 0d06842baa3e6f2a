// Transfers and the queue as the main window shows them: the runner's view of the window, and
// the handlers of the transfer and queue commands, which go to the queue view (ui/queue_view.h).

#include "ui/main_form.h"
#include "ui/main_form_parts.h"

#include <QAction>
#include <QCoreApplication>
#include <QTimer>

#include "ui/local_pane.h"
#include "ui/queue_view.h"
#include "ui/remote_pane.h"
#include "ui/status_log.h"

TPaneContext TMainForm::PaneContext() const {
    TPaneContext pane;
    const std::vector<THostDirInfo>& rows = remotePane_->Rows();
    pane.RemoteRows.reserve(rows.size());
    for (const THostDirInfo& r : rows) pane.RemoteRows.push_back({r.Name, r.Size, r.IsDir});
    pane.RemoteDir = remotePane_->Directory();
    pane.LocalFolder = localPane_->Folder();
    return pane;
}

// ---- Handlers

void TMainForm::ToolButton6Click() { queueView_->UploadNow(); }

void TMainForm::ToolButton7Click() { queueView_->DownloadNow(); }

void TMainForm::ToolButton8Click() { queueView_->TransferQueue(); }

void TMainForm::ToolButton10Click() { queueView_->Stop(); }

void TMainForm::ToolButton15Click() { queueView_->AddByActivePane(); }

void TMainForm::ToolButton16Click() { queueView_->RemoveSelected(); }

void TMainForm::AddtoQueue1Click() { queueView_->AddRemoteSelection(); }

void TMainForm::AddtoQueue2Click() { queueView_->AddLocalSelection(); }

void TMainForm::RemoveallFromQueue1Click() { queueView_->RemoveAll(); }

void TMainForm::ResetStetsu1Click() { queueView_->ResetSelectedStatus(); }

void TMainForm::Resetallststuses1Click() { queueView_->ResetAllStatuses(); }

void TMainForm::Movetotop1Click() { queueView_->MoveToTop(); }

void TMainForm::Moveoneup1Click() { queueView_->MoveUp(); }

void TMainForm::Moveonedown1Click() { queueView_->MoveDown(); }
