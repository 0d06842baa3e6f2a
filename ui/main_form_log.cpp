// The status log, the status bar and the progress display of the main window.

#include "ui/main_form.h"

#include "ui/keep_alive.h"
#include "ui/queue_view.h"
#include "ui/session_controller.h"

#include <QLabel>
#include <QProgressBar>

#include <time.h>

#include "ftp/ftp_client.h"
#include "ui/status_log.h"

namespace {

// The work event comes once per received piece. The coarse clock (a few milliseconds of
// resolution, plenty for a speed and an elapsed time) costs a fraction of the precise one, which
// on some machines is a system call each time.
progress::Clock::time_point CoarseNow() {
    timespec ts{};
    if (::clock_gettime(CLOCK_MONOTONIC_COARSE, &ts) != 0) return progress::Clock::now();
    return progress::Clock::time_point(std::chrono::duration_cast<progress::Clock::duration>(
        std::chrono::seconds(ts.tv_sec) + std::chrono::nanoseconds(ts.tv_nsec)));
}

}  // namespace

void TMainForm::IdLogEvent1Sent(const std::string& text) {
    if (session_) session_->KeepAlive().Activity();
    StatusList->Trim();
    if (Transfer().UploadResumePhase <= 1)
        StatusList->AddLine(statuslog::Display(statuslog::CommandLine(text)), statuslog::CommandColor());
}

void TMainForm::IdLogEvent1Received(const std::string& text) {
    StatusList->Trim();
    if (Transfer().UploadResumePhase == 0)
        StatusList->AddLine(statuslog::Display(statuslog::ReplyLine(text)), statuslog::ReplyColor());
}

void TMainForm::IdFTP1Status(TIdStatus /*status*/, const std::string& text) {
    StatusList->Trim();
    if (Transfer().UploadResumePhase <= 1)
        StatusList->AddLine(statuslog::Display(statuslog::StatusLine(text)), statuslog::StatusColor());
}

void TMainForm::AddLogLine(const QString& text) { StatusList->AddLine(text, statuslog::StatusColor()); }

void TMainForm::AddStatusLine(const std::string& text) {
    StatusList->Trim();
    StatusList->AddLine(statuslog::Display(statuslog::StatusLine(text)), statuslog::StatusColor());
}

void TMainForm::SetPanelText(int panel, const QString& text) {
    if (panel < 0 || panel >= static_cast<int>(StatusPanels.size())) return;
    QLabel* label = StatusPanels[static_cast<size_t>(panel)];
    if (label->text() != text) label->setText(text);
}

QString TMainForm::PanelText(int panel) const {
    if (panel < 0 || panel >= static_cast<int>(StatusPanels.size())) return {};
    return StatusPanels[static_cast<size_t>(panel)]->text();
}

void TMainForm::IdFTP1WorkBegin(TWorkMode /*mode*/, int64_t /*max*/) {
    if (Transfer().WorkBegin()) {
        progress_.Restart();
        progressPending_ = false;
        lastPaint_ = {};  // the first event of a transfer is shown at once
    }
}

void TMainForm::IdFTP1Work(TWorkMode mode, int64_t count) {
    const auto now = CoarseNow();
    const int64_t elapsedMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(now - progress_.TransferStartTime).count();
    progress::UpdateSpeed(progress_, count, elapsedMs);
    pendingRead_ = mode == wkRead;
    pendingCount_ = count;
    pendingElapsedMs_ = elapsedMs;
    progressPending_ = true;
    // Painting is the expensive part: a transfer raises an event per received piece, far more
    // often than anyone can read the panels.
    if (lastPaint_ == progress::Clock::time_point{} || now - lastPaint_ >= panelRepaintInterval_) FlushProgress();

    if (Transfer().StopTransfer) {
        try {
            IdFTP1->Abort();
        } catch (...) {
            // A failing abort changes nothing: the transfer ends through its closed connection.
        }
        if (inTray_) SetTrayTip(QStringLiteral("Aborted"));
        Transfer().Transferring = false;
    }
}

void TMainForm::FlushProgress() {
    lastPaint_ = progress::Clock::now();
    if (!progressPending_) return;
    progressPending_ = false;
    const progress::TProgressTexts t = progress::MakeTexts(progress_, Transfer(), pendingRead_, pendingCount_,
                                                           pendingElapsedMs_, decimalSeparatorBytes_);
    SetPanelText(6, QString::fromStdString(t.Speed));
    if (t.HasPercent) {
        SetPanelText(5, QString::fromStdString(t.PercentText));
        ProgressBar1->setValue(std::clamp(t.Percent, 0, 100));
    }
    SetPanelText(2, QString::fromStdString(t.Elapsed));
    SetPanelText(3, QString::fromStdString(t.Left));
    if (inTray_) SetTrayTip(QString::fromStdString(progress::TrayProgressTip(t.Speed, t.PercentText)));
}

void TMainForm::IdFTP1WorkEnd(TWorkMode /*mode*/) {
    if (Transfer().WorkEndResets()) ResetStatusBar();
}

void TMainForm::ResetStatusBar() {
    Transfer().Transferring = false;
    progressPending_ = false;
    // "Stop transfer" with nothing running ends here too, also while no connection is open.
    const bool connected = IdFTP1 && IdFTP1->IsConnected();
    SetPanelText(0, connected ? QStringLiteral("Ready") : QStringLiteral("Disconnected"));
    for (int i = 1; i <= 6; ++i) SetPanelText(i, QString());
    if (queue_.QueueTotalBytes() == 0) SetPanelText(7, QString());
    ProgressBar1->setValue(0);
}
