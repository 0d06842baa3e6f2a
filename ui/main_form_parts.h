#pragma once
// The window as its owners see it: the session controller's, the runner's and the remote pane's
// view of the main window. Only the main window's own files include this.

#include <QAction>
#include <QCoreApplication>
#include <QLabel>
#include <QTimer>

#include "ftp/ftp_client.h"
#include "ui/guard.h"
#include "ui/local_pane.h"
#include "ui/main_form.h"
#include "ui/queue_view.h"
#include "ui/remote_pane.h"
#include "ui/session_controller.h"
#include "ui/status_log.h"

// The window as the controller sees it.
class TMainForm::TSessionWindow : public ISessionWindow {
public:
    explicit TSessionWindow(TMainForm& f) : f_(f) {}

    void ShowConnected() override {
        f_.ApplyConnectedAvailability();
        f_.ShowEncryption(f_.IdFTP1->Encrypted(), f_.IdFTP1->TlsDescription());
        f_.SetDragEnabled(true);
    }
    void ShowDisconnected() override {
        f_.ApplyDisconnectedAvailability();
        f_.ClearEncryption();
        ClearRemoteView();
        f_.SetDragEnabled(false);
        f_.localPane_->Focus();
    }
    void ShowEncryption(bool encrypted, const std::string& description) override {
        f_.ShowEncryption(encrypted, description);
    }
    void ClearEncryption() override { f_.ClearEncryption(); }
    void SetStopEnabled(bool enabled) override { f_.SetStopEnabled(enabled); }
    void ClearRemoteView() override { f_.remotePane_->Clear(); }
    void SetStateText(const std::string& text) override { f_.SetPanelText(0, statuslog::Display(text)); }
    void LogLine(const std::string& text) override { f_.AddLogLine(statuslog::Display(text)); }
    void SetTrayTip(const std::string& text, bool send) override {
        if (send) {
            // Without a notification area the tip is kept and simply never shown.
            f_.SetTrayTip(statuslog::Display(text));
        } else {
            f_.trayTip_ = statuslog::Display(text);
        }
    }
    void PlaySound(TSoundEvent event) override { f_.PlayEventSound(event); }
    void ListRemoteDirectory(const std::string& path) override { f_.remotePane_->ListDirectory(path); }
    void FocusFirstRemoteRow() override {
        if (!f_.inTray_) f_.remotePane_->FocusFirstRow();
    }
    void RefreshReadyQueueRows() override { f_.queue_.RefreshReadyRows(); }
    void LoadSiteQueue(const std::string& siteName) override { f_.queue_.LoadSiteQueue(siteName); }
    void ShowConnectFailure(const std::string& reason, bool messageBox) override {
        // The file-name panel is idle while no connection is open.
        const QString text = statuslog::Display(reason);
        f_.SetPanelText(1, text);
        if (f_.StatusPanels.size() > 1) f_.StatusPanels[1]->setToolTip(text);
        if (messageBox && !text.isEmpty()) guard::ShowMessage(QStringLiteral("Could not connect.\n\n") + text);
    }

private:
    TMainForm& f_;
};

// The window as the runner sees it.
class TMainForm::TTransferWindow : public ITransferView {
public:
    explicit TTransferWindow(TMainForm& f) : f_(f) {}

    TPaneContext Pane() const override { return f_.PaneContext(); }
    void ListRemoteDirectory(const std::string& path) override { f_.remotePane_->ListDirectory(path); }
    void RefreshLocalPane() override { f_.localPane_->Refresh(); }
    void ShowPhase(TTransferPhase phase) override { f_.SetPanelText(0, QString::fromLatin1(PhaseText(phase))); }
    void ShowCurrentFile(const std::string& name) override { f_.SetPanelText(1, statuslog::Display(name)); }
    void ResetProgress() override { f_.ResetStatusBar(); }
    void RestartProgress() override { f_.progress_.Restart(); }
    void SetRemoteCommandsEnabled(bool enabled) override {
        f_.remotePane_->SetNavigationEnabled(enabled);
        for (QAction* a :
             {f_.MakeDir1, f_.Rename1, f_.Delete1, f_.ChangeDirUp1, f_.GotoDirectory1, f_.Homedirectory1, f_.Refresh1})
            if (a) a->setEnabled(enabled);
        for (QAction* a : f_.HostPopupSeparators) a->setEnabled(enabled);
    }
    void SetStopEnabled(bool enabled) override { f_.SetStopEnabled(enabled); }
    void ReConnect() override { f_.ToolButton4Click(); }
    void StopReconnectTimer() override {
        if (f_.Timer1) f_.Timer1->stop();
    }
    void LogStatus(const std::string& text) override { f_.AddStatusLine(text); }
    void PlayEventSound(TSoundEvent event) override { f_.PlayEventSound(event); }
    void ProcessEvents() override {
        if (QCoreApplication::instance()) QCoreApplication::processEvents();
    }

private:
    TMainForm& f_;
};

// The window as the remote pane sees it.
class TMainForm::TRemoteHost : public IRemotePaneHost {
public:
    explicit TRemoteHost(TMainForm& f) : f_(f) {}
    bool ResumeSession() override { return f_.session_->ResumeDroppedSession(); }
    bool Transferring() const override { return f_.queueView_->Busy(); }
    void ShowState(const QString& text) override { f_.SetPanelText(0, text); }
    void SetListingCommandsEnabled(bool enabled) override {
        for (QAction* a : {f_.ToolButton7, f_.ToolButton8, f_.ToolButton15}) a->setEnabled(enabled);
    }
    void DirectoryShown(const std::string& dir) override { f_.session_->SetLastRemoteDir(dir); }

private:
    TMainForm& f_;
};
