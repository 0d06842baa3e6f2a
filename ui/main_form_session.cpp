// Session controller of the main window: connect, reconnect, disconnect and the retry timer.

#include "ui/main_form.h"

#include <QLabel>
#include <QTimer>

#include "ui/connect_form.h"
#include "ui/status_log.h"

void TMainForm::ToolButton1Click() {
    if (ConnectForm) ConnectForm->Open();
}

// A connection the user starts himself may reconsider certificates refused earlier in the run;
// ReConnect is also the queue's way back after a failure, so it never asks again.
void TMainForm::ToolButton2Click() {
    CertificateTrust.ForgetRefusals();
    SessionViews->Connect();
}

void TMainForm::ToolButton3Click() { SessionViews->DisConnect(); }

void TMainForm::ToolButton4Click() { SessionViews->ReConnect(); }

void TMainForm::Timer1Timer() { SessionViews->Timer1Timer(); }

void TMainForm::IdFTP1Disconnected() { SessionViews->IdFTP1Disconnected(); }

void TMainForm::SiteDialogConnect(int siteIndex) {
    CertificateTrust.ForgetRefusals();
    SessionViews->SiteDialogConnect(siteIndex);
}

// ---- Encryption hookup

TTlsCertificateCheck TMainForm::CertificateCheck() { return CertificateTrust.CheckFunction(); }

void TMainForm::ShowEncryption(bool encrypted, const std::string& description) {
    if (!EncryptionPanel) return;
    EncryptionPanel->setText(encrypted ? QStringLiteral("TLS") : QStringLiteral("Not encrypted"));
    EncryptionPanel->setToolTip(encrypted ? statuslog::Display(description)
                                          : QStringLiteral("The session and its files travel unencrypted"));
    EncryptionPanel->show();
}

void TMainForm::ClearEncryption() {
    if (!EncryptionPanel) return;
    EncryptionPanel->clear();
    EncryptionPanel->setToolTip(QString());
    EncryptionPanel->hide();
}
