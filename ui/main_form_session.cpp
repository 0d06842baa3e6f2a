// Session controller of the main window: connect, reconnect, disconnect and the retry timer.

#include "ui/main_form.h"

#include <QTimer>

#include "ui/connect_form.h"

void TMainForm::ToolButton1Click() {
    if (ConnectForm) ConnectForm->Open();
}

void TMainForm::ToolButton2Click() { SessionViews->Connect(); }

void TMainForm::ToolButton3Click() { SessionViews->DisConnect(); }

void TMainForm::ToolButton4Click() { SessionViews->ReConnect(); }

void TMainForm::Timer1Timer() { SessionViews->Timer1Timer(); }

void TMainForm::IdFTP1Disconnected() { SessionViews->IdFTP1Disconnected(); }

void TMainForm::SiteDialogConnect(int siteIndex) { SessionViews->SiteDialogConnect(siteIndex); }
