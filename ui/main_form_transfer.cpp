// Transfers and the queue commands of the main window. The queue editing commands work on the
// live queue; running the queue, the immediate transfers and adding to the queue are still to come.

#include "ui/main_form.h"

#include <QTimer>


void TMainForm::ToolButton6Click() {}

void TMainForm::ToolButton7Click() {}

void TMainForm::ToolButton8Click() {}

void TMainForm::ToolButton10Click() {}

void TMainForm::ToolButton15Click() {}

void TMainForm::ToolButton16Click() { Queue.RemoveSelectedEntry(SelectedQueueRow()); }

void TMainForm::AddtoQueue1Click() {}

void TMainForm::AddtoQueue2Click() {}

void TMainForm::RemoveallFromQueue1Click() { Queue.RemoveAllEntries(); }

void TMainForm::ResetStetsu1Click() { Queue.ResetSelectedStatus(SelectedQueueRow()); }

void TMainForm::Resetallststuses1Click() { Queue.ResetAllStatuses(); }

void TMainForm::Movetotop1Click() { Queue.MoveEntryToTop(SelectedQueueRow()); }

void TMainForm::Moveoneup1Click() { Queue.MoveEntryUp(SelectedQueueRow()); }

void TMainForm::Moveonedown1Click() { Queue.MoveEntryDown(SelectedQueueRow()); }
