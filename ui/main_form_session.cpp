// Session controller of the main window: connect, reconnect, disconnect and the retry timer.
// Only the site dialog is wired so far; the attempt series is still to come.

#include "ui/main_form.h"

#include <QTimer>

#include "ui/connect_form.h"

void TMainForm::ToolButton1Click() {
    if (ConnectForm) ConnectForm->Open();
}

void TMainForm::ToolButton2Click() {}

void TMainForm::ToolButton3Click() {}

void TMainForm::ToolButton4Click() {}

void TMainForm::Timer1Timer() {}

void TMainForm::IdFTP1Disconnected() {}

void TMainForm::SiteDialogConnect(int /*siteIndex*/) {}
