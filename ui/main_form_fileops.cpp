// File operations of the main window: delete, rename and make directory in either pane.
// Still to come.

#include "ui/main_form.h"

void TMainForm::ToolButton13Click() {}

void TMainForm::ToolButton18Click() {}

void TMainForm::Makedirectory2Click() {}

void TMainForm::MakeDir1Click() {}

void TMainForm::Rename1Click() {}

void TMainForm::Delete1Click() {}

void TMainForm::MakeDirectory1Click() {}

void TMainForm::Rename2Click() {}

void TMainForm::Delete2Click() {}

void TMainForm::EnterDirNameEntered(int /*mode*/, const QString& /*name*/) {}
