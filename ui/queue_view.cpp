#include "ui/queue_view.h"

#include <algorithm>

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QDropEvent>
#include <QFile>
#include <QFileSystemModel>
#include <QItemSelectionModel>
#include <QPointer>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>

#include "ftp/ftp_client.h"
#include "ui/guard.h"
#include "ui/main_form.h"
#include "ui/settings_form.h"
#include "ui/status_log.h"
#include "ui/transfer_questions.h"

// ---- Questions

ITransferQuestions& TQueueView::TQuestions::Target() {
    if (owner_.questionsOverride_) return *owner_.questionsOverride_;
    if (!dialogs_) {
        TMainForm& f = owner_.f_;
        if (!f.AllExistsForm || !f.RenameBox) throw std::runtime_error("The file-exists dialog is not there.");
        dialogs_ = std::make_unique<TDialogTransferQuestions>(*f.AllExistsForm, *f.RenameBox);
    }
    return *dialogs_;
}

int TQueueView::TQuestions::AskFileExists(const std::string& nameLabel, int64_t originalSize, int64_t newSize,
                                           bool resumeEnabled) {
    return Target().AskFileExists(nameLabel, originalSize, newSize, resumeEnabled);
}

std::string TQueueView::TQuestions::AskNewName(const std::string& oldName) { return Target().AskNewName(oldName); }

std::string TQueueView::TQuestions::AskFreeName(const std::string& oldName, const std::string& proposed) {
    return Target().AskFreeName(oldName, proposed);
}

// ---- Construction

TQueueView::TQueueView(TMainForm& form) : f_(form), questions_(*this) {
    runner_ = std::make_unique<TQueueRunner>(*f_.IdFTP1, f_.Queue, f_.Transfer, *this, questions_);
    runner_->SetDataDir(f_.DataDir);
    for (QWidget* list : {static_cast<QWidget*>(f_.QueueListView), static_cast<QWidget*>(f_.RemoteDirList),
                          static_cast<QWidget*>(f_.HomeDirList)})
        if (list) WatchDrops(list);
}

TQueueView::~TQueueView() = default;

void TQueueView::WatchDrops(QWidget* list) {
    list->setAcceptDrops(true);
    list->installEventFilter(this);
    if (auto* view = qobject_cast<QAbstractItemView*>(list)) {
        view->viewport()->setAcceptDrops(true);
        view->viewport()->installEventFilter(this);
    }
}

// ---- Selections

std::vector<int> TQueueView::SelectedRemoteRows() const {
    std::vector<int> rows;
    const int records = std::min(f_.LastRemoteRowIndex + 1, static_cast<int>(f_.HostDirInfo.size()));
    const int count = std::min(f_.RemoteDirList->topLevelItemCount(), records);
    for (int i = 0; i < count; ++i)
        if (f_.RemoteDirList->topLevelItem(i)->isSelected()) rows.push_back(i);
    return rows;
}

std::vector<std::string> TQueueView::SelectedRemoteNames() const {
    std::vector<std::string> names;
    for (int row : SelectedRemoteRows()) names.push_back(f_.HostDirInfo[static_cast<size_t>(row)].Name);
    return names;
}

std::vector<std::string> TQueueView::SelectedLocalPaths() const {
    const QModelIndex root = f_.HomeDirList->rootIndex();
    QModelIndexList selected = f_.HomeDirList->selectionModel()->selectedRows(0);
    std::vector<QModelIndex> rows;
    for (const QModelIndex& i : selected)
        if (i.parent() == root) rows.push_back(i);
    // The model keeps its rows in the order shown.
    std::sort(rows.begin(), rows.end(), [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    std::vector<std::string> paths;
    for (const QModelIndex& i : rows) paths.push_back(QFile::encodeName(f_.HomeDirModel->filePath(i)).toStdString());
    return paths;
}

// ---- Commands

// After the server ended an idle session, a transfer command connects again first.
void TQueueView::DownloadNow() {
    if (f_.SessionViews->ResumeDroppedSession()) runner_->DownloadNow(Pane(), SelectedRemoteNames());
}

void TQueueView::UploadNow() {
    if (f_.SessionViews->ResumeDroppedSession()) runner_->UploadNow(Pane(), SelectedLocalPaths());
}

void TQueueView::TransferQueue() {
    if (f_.SessionViews->ResumeDroppedSession()) runner_->TransferQueue();
}

void TQueueView::Stop() { runner_->Stop(); }

void TQueueView::AddRemoteSelection() { AddRemoteNamesToQueue(f_.Queue, Pane(), SelectedRemoteNames()); }

void TQueueView::AddLocalSelection() { AddLocalPathsToQueue(f_.Queue, Pane(), SelectedLocalPaths()); }

void TQueueView::AddByActivePane() {
    AddToQueueByPane(f_.Queue, f_.ActivePane, Pane(), SelectedRemoteRows(), SelectedLocalPaths());
}

// ---- Drag and drop

QWidget* TQueueView::ListOf(const QObject* w) const {
    for (; w; w = w->parent()) {
        if (w == f_.QueueListView) return f_.QueueListView;
        if (w == f_.RemoteDirList) return f_.RemoteDirList;
        if (w == f_.HomeDirList) return f_.HomeDirList;
    }
    return nullptr;
}

TQueueView::TPaneSource TQueueView::SourceOf(const QObject* source) const {
    const QWidget* list = ListOf(source);
    if (list && list == f_.RemoteDirList) return TPaneSource::Remote;
    if (list && list == f_.HomeDirList) return TPaneSource::Local;
    return TPaneSource::None;
}

bool TQueueView::AcceptsDrop(const QObject* target, const QObject* source) const {
    const QWidget* list = ListOf(target);
    const TPaneSource from = SourceOf(source);
    if (!list) return false;
    if (list == f_.QueueListView) return from != TPaneSource::None;
    if (list == f_.RemoteDirList) return from == TPaneSource::Local;
    if (list == f_.HomeDirList) return from == TPaneSource::Remote;
    return false;
}

bool TQueueView::Drop(const QObject* target, const QObject* source) {
    if (!AcceptsDrop(target, source)) return false;
    const QWidget* list = ListOf(target);
    const TPaneSource from = SourceOf(source);
    if (list == f_.QueueListView) {
        if (from == TPaneSource::Remote)
            AddRemoteSelection();
        else
            AddLocalSelection();
    } else if (list == f_.RemoteDirList) {
        UploadNow();
    } else {
        DownloadNow();
    }
    return true;
}

bool TQueueView::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* e = static_cast<QDragMoveEvent*>(event);
            if (AcceptsDrop(watched, e->source())) {
                // Copy only: a move would let the source list remove the dragged rows.
                if (e->possibleActions() & Qt::CopyAction) {
                    e->setDropAction(Qt::CopyAction);
                    e->accept();
                } else {
                    e->acceptProposedAction();
                }
            } else {
                e->ignore();
            }
            return true;
        }
        case QEvent::Drop: {
            auto* e = static_cast<QDropEvent*>(event);
            if (!AcceptsDrop(watched, e->source())) {
                e->ignore();
                return true;
            }
            if (e->possibleActions() & Qt::CopyAction) {
                e->setDropAction(Qt::CopyAction);
                e->accept();
            } else {
                e->acceptProposedAction();
            }
            // An immediate transfer runs for a long time: not inside the drag's own event handling.
            QPointer<QObject> target(watched);
            QPointer<QObject> source(e->source());
            QTimer::singleShot(0, this, [this, target, source] {
                if (target && source) guard::Run([&] { Drop(target, source); });
            });
            return true;
        }
        default:
            return QObject::eventFilter(watched, event);
    }
}

// ---- The runner's view of the window

TPaneContext TQueueView::Pane() const {
    TPaneContext pane;
    const int records = std::min(f_.LastRemoteRowIndex + 1, static_cast<int>(f_.HostDirInfo.size()));
    pane.RemoteRows.reserve(static_cast<size_t>(std::max(records, 0)));
    for (int i = 0; i < records; ++i) {
        const auto& r = f_.HostDirInfo[static_cast<size_t>(i)];
        pane.RemoteRows.push_back({r.Name, r.Size, r.IsDir});
    }
    pane.RemoteDir = f_.LastRemoteDir;
    pane.LocalFolder = f_.LocalDir();
    return pane;
}

void TQueueView::ListRemoteDirectory(const std::string& path) { f_.ListRemoteDirectory(path); }

void TQueueView::RefreshLocalPane() { f_.RefreshLocalPane(); }

void TQueueView::SetStatusPanel(int panel, const std::string& text) {
    f_.SetPanelText(panel, statuslog::Display(text));
}

void TQueueView::ResetStatusBar() { f_.ResetStatusBar(); }

void TQueueView::RestartProgress() { f_.Progress.Restart(); }

void TQueueView::SetRemoteCommandsEnabled(bool enabled) {
    // After a failed run the session may be down already: the combo and the up button then stay
    // as the disconnected look left them.
    const bool connectedLook = f_.RemoteDirList->isEnabled();
    f_.RemoteDirCombo->setEnabled(enabled && connectedLook);
    f_.RemoteDirUpButton->setEnabled(enabled && connectedLook);
    for (QAction* a : {f_.MakeDir1, f_.Rename1, f_.Delete1, f_.ChangeDirUp1, f_.GotoDirectory1, f_.Homedirectory1,
                       f_.Refresh1})
        if (a) a->setEnabled(enabled);
    for (QAction* a : f_.HostPopupSeparators) a->setEnabled(enabled);
}

void TQueueView::SetStopEnabled(bool enabled) {
    f_.ToolButton10->setEnabled(enabled);
    f_.Stop1->setEnabled(enabled);
}

void TQueueView::ReConnect() { f_.ToolButton4Click(); }

void TQueueView::StopReconnectTimer() {
    if (f_.Timer1) f_.Timer1->stop();
}

void TQueueView::LogStatus(const std::string& text) {
    f_.StatusList->Trim();
    f_.StatusList->AddLine(statuslog::Display(statuslog::StatusLine(text)), statuslog::StatusColor());
}

void TQueueView::PlayEventSound(TSoundEvent event) {
    if (SoundPlayer)
        f_.Settings.PlayEventSound(event, SoundPlayer);
    else if (f_.SettingsForm)
        f_.SettingsForm->PlayEventSound(event);
}

void TQueueView::ProcessEvents() {
    if (QCoreApplication::instance()) QCoreApplication::processEvents();
}
