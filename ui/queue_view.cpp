#include "ui/queue_view.h"

#include <algorithm>
#include <stdexcept>

#include <QDropEvent>
#include <QFontMetrics>
#include <QPointer>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "transfer/queue_model.h"
#include "ui/guard.h"
#include "ui/local_pane.h"
#include "ui/queue_list_model.h"
#include "ui/remote_pane.h"
#include "ui/status_log.h"
#include "ui/transfer_questions.h"

// ---- Questions

ITransferQuestions& TQueueView::TQuestions::Target() {
    if (owner_.questionsOverride_) return *owner_.questionsOverride_;
    if (!dialogs_) {
        if (!owner_.allExists_ || !owner_.rename_) throw std::runtime_error("The file-exists dialog is not there.");
        dialogs_ = std::make_unique<TDialogTransferQuestions>(*owner_.allExists_, *owner_.rename_);
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

TQueueView::TQueueView(QWidget* parent, const TLinks& links, const std::string& dataDir)
    : QObject(parent), links_(links), questions_(*this) {
    BuildList(parent);
    runner_ = std::make_unique<TQueueRunner>(links_.Ftp, links_.Queue, transfer_, links_.View, questions_);
    runner_->SetDataDir(dataDir);
    for (QWidget* list : {static_cast<QWidget*>(list_), static_cast<QWidget*>(links_.Remote.List()),
                          static_cast<QWidget*>(links_.Local.List())})
        WatchDrops(list);
}

TQueueView::~TQueueView() = default;

void TQueueView::BuildList(QWidget* parent) {
    panel_ = new QWidget(parent);
    panel_->setObjectName(QStringLiteral("QueuePanel"));
    panel_->setMinimumHeight(50);
    auto* layout = new QVBoxLayout(panel_);
    layout->setContentsMargins(0, 0, 0, 0);
    model_ = new TQueueListModel(this);
    model_->OnSelectRow = [this](int row) { SelectRow(row); };
    model_->OnRefused = [](const std::string& message) { guard::ShowMessage(statuslog::Display(message)); };
    list_ = new QTreeView(panel_);
    list_->setObjectName(QStringLiteral("QueueListView"));
    list_->setModel(model_);
    list_->setRootIsDecorated(false);
    list_->setItemsExpandable(false);
    list_->setUniformRowHeights(true);
    list_->setAllColumnsShowFocus(true);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // A column is at least as wide as its longest fixed text ("File Folder", "Download", "Aborted").
    const QFontMetrics fm(list_->font());
    const int processWidth = fm.horizontalAdvance(QStringLiteral("Download")) + 16;
    for (int i = 0; i < TQueueListModel::ColumnCount(); ++i) {
        const int width = TQueueListModel::InitialColumnWidth(i);
        list_->setColumnWidth(i, i == 3 ? std::max(width, processWidth) : width);
    }
    layout->addWidget(list_);
}

void TQueueView::SetDialogs(TAllExistsForm* allExists, TRenameBox* rename) {
    allExists_ = allExists;
    rename_ = rename;
}

void TQueueView::WatchDrops(QWidget* list) {
    list->setAcceptDrops(true);
    list->installEventFilter(this);
    if (auto* view = qobject_cast<QAbstractItemView*>(list)) {
        view->viewport()->setAcceptDrops(true);
        view->viewport()->installEventFilter(this);
    }
}

// ---- Rows

int TQueueView::SelectedRow() const {
    const auto rows = list_->selectionModel()->selectedRows();
    int first = -1;
    for (const QModelIndex& i : rows)
        if (first < 0 || i.row() < first) first = i.row();
    return first;
}

void TQueueView::SelectRow(int row) {
    if (row < 0 || row >= model_->rowCount()) return;
    const QModelIndex index = model_->index(row, 0);
    list_->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    list_->scrollTo(index);
}

// ---- Commands

// After the server ended an idle session, a transfer command connects again first.
void TQueueView::DownloadNow() {
    if (links_.ResumeSession()) runner_->DownloadNow(links_.View.Pane(), links_.Remote.SelectedNames());
}

void TQueueView::UploadNow() {
    if (links_.ResumeSession()) runner_->UploadNow(links_.View.Pane(), links_.Local.SelectedPathBytes());
}

void TQueueView::TransferQueue() {
    if (links_.ResumeSession()) runner_->TransferQueue();
}

void TQueueView::Stop() { runner_->Stop(); }

void TQueueView::AddRemoteSelection() {
    AddRemoteNamesToQueue(links_.Queue, links_.View.Pane(), links_.Remote.SelectedNames());
}

void TQueueView::AddLocalSelection() {
    AddLocalPathsToQueue(links_.Queue, links_.View.Pane(), links_.Local.SelectedPathBytes());
}

void TQueueView::AddByActivePane() {
    AddToQueueByPane(links_.Queue, links_.ActivePane(), links_.View.Pane(), links_.Remote.SelectedRows(),
                     links_.Local.SelectedPathBytes());
}

// The editing commands act on the live queue, whose rows follow it by themselves.
void TQueueView::RemoveSelected() { links_.Queue.RemoveSelectedEntry(SelectedRow()); }
void TQueueView::RemoveAll() { links_.Queue.RemoveAllEntries(); }
void TQueueView::ResetSelectedStatus() { links_.Queue.ResetSelectedStatus(SelectedRow()); }
void TQueueView::ResetAllStatuses() { links_.Queue.ResetAllStatuses(); }
void TQueueView::MoveToTop() { links_.Queue.MoveEntryToTop(SelectedRow()); }
void TQueueView::MoveUp() { links_.Queue.MoveEntryUp(SelectedRow()); }
void TQueueView::MoveDown() { links_.Queue.MoveEntryDown(SelectedRow()); }

// ---- Drag and drop

QWidget* TQueueView::ListOf(const QObject* w) const {
    QWidget* remote = links_.Remote.List();
    QWidget* local = links_.Local.List();
    for (; w; w = w->parent()) {
        if (w == list_) return list_;
        if (w == remote) return remote;
        if (w == local) return local;
    }
    return nullptr;
}

TQueueView::TPaneSource TQueueView::SourceOf(const QObject* source) const {
    const QWidget* list = ListOf(source);
    if (list && list == links_.Remote.List()) return TPaneSource::Remote;
    if (list && list == links_.Local.List()) return TPaneSource::Local;
    return TPaneSource::None;
}

bool TQueueView::AcceptsDrop(const QObject* target, const QObject* source) const {
    const QWidget* list = ListOf(target);
    const TPaneSource from = SourceOf(source);
    if (!list) return false;
    if (list == list_) return from != TPaneSource::None;
    if (list == links_.Remote.List()) return from == TPaneSource::Local;
    if (list == links_.Local.List()) return from == TPaneSource::Remote;
    return false;
}

bool TQueueView::Drop(const QObject* target, const QObject* source) {
    if (!AcceptsDrop(target, source)) return false;
    const QWidget* list = ListOf(target);
    const TPaneSource from = SourceOf(source);
    if (list == list_) {
        if (from == TPaneSource::Remote)
            AddRemoteSelection();
        else
            AddLocalSelection();
    } else if (list == links_.Remote.List()) {
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
