// The session as the main window shows it: the controller's view of the window, the connect
// handlers and the encryption indicator.

#include "ui/main_form.h"
#include "ui/main_form_parts.h"

#include <QAction>
#include <QLabel>
#include <QTimer>

#include "ftp/ftp_client.h"
#include "ui/connect_form.h"
#include "ui/guard.h"
#include "ui/local_pane.h"
#include "ui/remote_pane.h"
#include "ui/settings_form.h"
#include "ui/sound_player.h"
#include "ui/status_log.h"

// ---- Handlers

void TMainForm::ToolButton1Click() {
    if (ConnectForm) ConnectForm->Open();
}

// A connection the user starts himself may reconsider certificates refused earlier in the run;
// ReConnect is also the queue's way back after a failure, so it never asks again.
void TMainForm::ToolButton2Click() {
    certificateTrust_.ForgetRefusals();
    session_->Connect();
}

void TMainForm::ToolButton3Click() { session_->DisConnect(); }

void TMainForm::ToolButton4Click() { session_->ReConnect(); }

void TMainForm::Timer1Timer() { session_->Timer1Timer(); }

void TMainForm::IdFTP1Disconnected() { session_->IdFTP1Disconnected(); }

void TMainForm::SiteDialogConnect(int siteIndex) {
    certificateTrust_.ForgetRefusals();
    session_->SiteDialogConnect(siteIndex);
}

void TMainForm::SetStopEnabled(bool enabled) {
    ToolButton10->setEnabled(enabled);
    Stop1->setEnabled(enabled);
}

void TMainForm::PlayEventSound(TSoundEvent event) {
    ISoundPlayer* player = soundPlayer_;
    if (!player && SettingsForm) player = &SettingsForm->Player();
    if (player) settings_.PlayEventSound(event, player);
}

// ---- Encryption hookup

TTlsCertificateCheck TMainForm::CertificateCheck() { return certificateTrust_.CheckFunction(); }

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
