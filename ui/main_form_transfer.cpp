// Transfers and the queue commands of the main window. Running the queue, the immediate
// transfers, Stop and adding the panes' selections go through the queue view (ui/queue_view.h);
// the queue editing commands act on the live queue, whose rows follow it by themselves.

#include "ui/main_form.h"

#include "ui/queue_view.h"

void TMainForm::ToolButton6Click() { QueueView->UploadNow(); }

void TMainForm::ToolButton7Click() { QueueView->DownloadNow(); }

void TMainForm::ToolButton8Click() { QueueView->TransferQueue(); }

void TMainForm::ToolButton10Click() { QueueView->Stop(); }

void TMainForm::ToolButton15Click() { QueueView->AddByActivePane(); }

void TMainForm::ToolButton16Click() { Queue.RemoveSelectedEntry(SelectedQueueRow()); }

void TMainForm::AddtoQueue1Click() { QueueView->AddRemoteSelection(); }

void TMainForm::AddtoQueue2Click() { QueueView->AddLocalSelection(); }

void TMainForm::RemoveallFromQueue1Click() { Queue.RemoveAllEntries(); }

void TMainForm::ResetStetsu1Click() { Queue.ResetSelectedStatus(SelectedQueueRow()); }

void TMainForm::Resetallststuses1Click() { Queue.ResetAllStatuses(); }

void TMainForm::Movetotop1Click() { Queue.MoveEntryToTop(SelectedQueueRow()); }

void TMainForm::Moveoneup1Click() { Queue.MoveEntryUp(SelectedQueueRow()); }

void TMainForm::Moveonedown1Click() { Queue.MoveEntryDown(SelectedQueueRow()); }
