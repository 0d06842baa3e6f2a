#include "ui/remote_pane.h"

#include <QAbstractItemView>
#include <QCollator>
#include <QComboBox>
#include <QDate>
#include <QEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QTime>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include <algorithm>
#include <cmath>

#include "ftp/ftp_client.h"
#include "ui/guard.h"
#include "ui/remote_names.h"
#include "ui/status_log.h"
#include "ui/theme_icons.h"

TRemotePane::TRemotePane(QWidget* parent, TIdFTP& ftp, IRemotePaneHost& host)
    : TDirectoryPane(parent), ftp_(ftp), host_(host) {
    frame_ = MakePaneFrame(parent, "RemoteDirPanel", "RemoteDirCombo", "RemoteDirUpButton");
    frame_.Combo->setEditable(true);
    frame_.Combo->setInsertPolicy(QComboBox::NoInsert);
    frame_.Combo->setMaxCount(kHistoryLength);
    // Completing a typed prefix to a visited directory would send Enter somewhere else than typed.
    frame_.Combo->setCompleter(nullptr);
    list_ = new QTreeWidget(frame_.Panel);
    list_->setObjectName(QStringLiteral("RemoteDirList"));
    list_->setColumnCount(3);
    list_->setHeaderLabels({QStringLiteral("FileName"), QStringLiteral("Size"), QStringLiteral("Modified")});
    list_->headerItem()->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setIconSize(QSize(16, 16));
    list_->setColumnWidth(0, 240);
    list_->setColumnWidth(1, 90);
    list_->setColumnWidth(2, 130);
    // The list sorts itself (rows_ follows the order shown), so the view's own sorting stays off.
    list_->header()->setSectionsClickable(true);
    connect(list_->header(), &QHeaderView::sectionClicked, this,
            [this](int column) { guard::Run([=, this] { SortBy(column); }); });
    guard::Connect(list_, &QTreeWidget::itemDoubleClicked, this, &TRemotePane::OpenCurrentRow);
    guard::Connect(frame_.Up, &QToolButton::clicked, this, &TRemotePane::GoUp);
    guard::Connect(frame_.Combo->lineEdit(), &QLineEdit::returnPressed, this, &TRemotePane::GoToTypedPath);
    // The combo also activates an entry for the arrow keys, the wheel and an edit that matches
    // one on leaving the box; only a pick from its list goes there.
    connect(frame_.Combo, QOverload<int>::of(&QComboBox::activated), this, [this](int index) {
        if (!historyPick_) return;
        historyPick_ = false;
        guard::Run([=, this] { GoToHistoryItem(index); });
    });
    // Watched after the combo's own popup handling, so these filters see its events first.
    QAbstractItemView* historyList = frame_.Combo->view();
    historyList->installEventFilter(this);
    historyList->viewport()->installEventFilter(this);
    historyView_ = historyList;
    historyViewport_ = historyList->viewport();
    WatchInput(frame_.Panel, list_);

    icons_.push_back(PaneFolderIcon());
    plainFileIcon_ = PaneFileIcon();
}

void TRemotePane::Layout() { LayoutPaneFrame(frame_, list_); }

QString TRemotePane::DisplayName(const std::string& bytes) const {
    return remotenames::Display(bytes, remotenames::RawBytes(ftp_));
}

std::string TRemotePane::NameBytes(const QString& text) const {
    return remotenames::Bytes(text, remotenames::RawBytes(ftp_));
}

// ---- The listing

std::string TRemotePane::ShortDateText(TDateTime value) {
    const QDate date = QDate(1899, 12, 30).addDays(static_cast<qint64>(std::floor(value)));
    return QLocale::system().toString(date, QLocale::ShortFormat).toStdString();
}

std::string TRemotePane::ShortTimeText(TDateTime value) {
    const TListDateTimeParts p = DecodeDateTime(value);
    return QLocale::system().toString(QTime(p.Hour, p.Minute, p.Second), QLocale::ShortFormat).toStdString();
}

void TRemotePane::ListDirectory(const std::string& path) {
    struct TListingMark {
        bool& flag;
        bool was;
        explicit TListingMark(bool& f) : flag(f), was(f) { flag = true; }
        ~TListingMark() { flag = was; }
    } mark(listing_);
    if (!host_.ResumeSession()) return;
    if (!path.empty()) {
        try {
            ftp_.ChangeDir(path);
        } catch (...) {
            // Refused: the server stays where it was, and so does the pane; only a typed path goes.
            if (!dir_.empty()) ShowDirectoryText();
            throw;
        }
    }
    rows_.clear();
    frame_.Up->setEnabled(false);
    host_.SetListingCommandsEnabled(false);
    host_.ShowState(QStringLiteral("Opening directory"));
    list_->clear();

    std::string dir;
    bool dirKnown = true;
    try {
        dir = ftp_.WorkingDir();
    } catch (...) {
        dirKnown = false;
        guard::ShowMessage(QStringLiteral("Error in transfer!"));
    }

    std::vector<THostDirInfo> rows;
    try {
        ftp_.List(nullptr, "", true);
        rows = BuildHostDirRows(ftp_.ParsedListing(), &TRemotePane::ShortDateText, &TRemotePane::ShortTimeText);
    } catch (...) {
        rows.clear();  // a failed listing shows as an empty directory
    }

    // The connection went away meanwhile (the user's DisConnect during the listing, or the server):
    // the Disconnected state is already shown and stays.
    if (!ftp_.IsConnected()) return;

    rows_ = std::move(rows);
    SortRows();
    ShowRows();
    // A folder is entered at its first row as sorted, so a transfer command acts on a row the user sees.
    SelectFirstRow();
    host_.ShowState(QStringLiteral("Ready"));

    if (dirKnown) {
        if (dir.empty() || dir.back() != '/') dir += '/';
        dir_ = dir;
        RememberDirectory(dir);
        ShowDirectoryText();
    } else {
        // Without a known directory, transfers would name the wrong remote paths.
        dir_.clear();
        frame_.Combo->setEditText(QString());
    }
    host_.DirectoryShown(dir_);
    frame_.Up->setEnabled(true);
    if (dirKnown) host_.SetListingCommandsEnabled(true);
}

void TRemotePane::ShowListing(std::vector<THostDirInfo> rows, const std::string& dir) {
    rows_ = std::move(rows);
    SortRows();
    ShowRows();
    dir_ = dir;
    host_.DirectoryShown(dir_);
}

void TRemotePane::Clear() {
    rows_.clear();
    list_->clear();
    frame_.Combo->clear();
    frame_.Combo->setEditText(QString());
}

QIcon TRemotePane::FileIcon(const std::string& fileName) {
    const TIconTailCache::TLookup slot = iconCache_.Lookup(fileName);
    if (slot.Slot < 0) return plainFileIcon_;
    if (slot.IsNew) {
        const QIcon icon = ThemeFileIcon(QStringLiteral(".") + statuslog::Display(slot.Tail), plainFileIcon_);
        if (static_cast<int>(icons_.size()) <= slot.Slot) icons_.resize(static_cast<size_t>(slot.Slot) + 1);
        icons_[static_cast<size_t>(slot.Slot)] = icon;
    }
    return icons_[static_cast<size_t>(slot.Slot)];
}

void TRemotePane::ShowRows() {
    const QString folderText = QStringLiteral("File Folder");
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<qsizetype>(rows_.size()));
    for (const THostDirInfo& r : rows_) {
        auto* item = new QTreeWidgetItem();
        item->setText(0, DisplayName(r.Name));
        if (r.IsDir) {
            item->setIcon(0, icons_[0]);
            item->setText(1, folderText);
        } else {
            item->setIcon(0, FileIcon(r.Name));
            item->setText(1, QString::fromStdString(RemoteSizeText(r.Size)));
        }
        item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        item->setText(2, QString::fromStdString(r.Modified));
        items.append(item);
    }
    // One insertion for the whole listing.
    list_->setUpdatesEnabled(false);
    list_->clear();
    list_->addTopLevelItems(items);
    list_->setUpdatesEnabled(true);
}

// ---- Sorting

void TRemotePane::SortRows() {
    if (sortColumn_ < 0 || rows_.size() < 2) return;
    // Names compare as the user reads them, case folded in every script; the rows keep their bytes.
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::vector<QCollatorSortKey> keys;
    keys.reserve(rows_.size());
    for (const THostDirInfo& r : rows_) keys.push_back(collator.sortKey(DisplayName(r.Name).toCaseFolded()));
    const std::vector<size_t> order = ColumnRowOrder(rows_, static_cast<THostColumn>(sortColumn_), sortDescending_,
                                                     [&keys](size_t a, size_t b) { return keys[a].compare(keys[b]); });
    std::vector<THostDirInfo> sorted;
    sorted.reserve(rows_.size());
    for (size_t i : order) sorted.push_back(std::move(rows_[i]));
    rows_ = std::move(sorted);
}

void TRemotePane::SortBy(int column) {
    if (column < 0 || column > static_cast<int>(THostColumn::Modified)) return;
    sortDescending_ = column == sortColumn_ && !sortDescending_;
    sortColumn_ = column;
    QHeaderView* header = list_->header();
    header->setSortIndicatorShown(true);
    header->setSortIndicator(column, sortDescending_ ? Qt::DescendingOrder : Qt::AscendingOrder);

    // The selection and the current row stay on their rows; the names tell them apart after the sort.
    std::vector<std::string> selected = SelectedNames();
    std::sort(selected.begin(), selected.end());
    QTreeWidgetItem* currentItem = list_->currentItem();
    const int currentRow = currentItem ? list_->indexOfTopLevelItem(currentItem) : -1;
    const std::string current = currentRow >= 0 && currentRow < static_cast<int>(rows_.size())
                                    ? rows_[static_cast<size_t>(currentRow)].Name
                                    : std::string();
    SortRows();
    ShowRows();
    QItemSelection selection;
    QModelIndex currentIndex;
    const QAbstractItemModel* model = list_->model();
    for (size_t i = 0; i < rows_.size(); ++i) {
        const int row = static_cast<int>(i);
        if (std::binary_search(selected.begin(), selected.end(), rows_[i].Name))
            selection.select(model->index(row, 0), model->index(row, model->columnCount() - 1));
        if (currentRow >= 0 && !currentIndex.isValid() && rows_[i].Name == current) currentIndex = model->index(row, 0);
    }
    if (currentIndex.isValid()) list_->selectionModel()->setCurrentIndex(currentIndex, QItemSelectionModel::NoUpdate);
    list_->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    if (currentIndex.isValid()) list_->scrollTo(currentIndex);
}

// ---- Selection

std::vector<int> TRemotePane::SelectedRows() const {
    std::vector<int> rows;
    const QModelIndexList selected = list_->selectionModel()->selectedRows();
    for (const QModelIndex& i : selected)
        if (i.row() >= 0 && i.row() < static_cast<int>(rows_.size())) rows.push_back(i.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

std::vector<std::string> TRemotePane::SelectedNames() const {
    std::vector<std::string> names;
    for (int row : SelectedRows()) names.push_back(rows_[static_cast<size_t>(row)].Name);
    return names;
}

int TRemotePane::FirstSelectedRow() const {
    const std::vector<int> rows = SelectedRows();
    return rows.empty() ? -1 : rows.front();
}

void TRemotePane::FocusFirstRow() {
    if (list_->topLevelItemCount() == 0) return;
    list_->setFocus();
    SelectFirstRow();
}

void TRemotePane::SelectFirstRow() {
    QTreeWidgetItem* first = list_->topLevelItem(0);
    if (!first) return;
    list_->setCurrentItem(first, 0, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

// ---- Looks

void TRemotePane::ShowSessionLook(bool connected, bool clear) {
    if (clear) {
        list_->clear();
        frame_.Combo->clear();
        frame_.Combo->setEditText(QString());
    }
    list_->setEnabled(connected);
    frame_.Combo->setEnabled(connected);
    frame_.Up->setEnabled(connected);
}

void TRemotePane::SetNavigationEnabled(bool enabled) {
    // After a failed run the session may be down already: the combo and the up button then stay
    // as the disconnected look left them.
    const bool connectedLook = list_->isEnabled();
    frame_.Combo->setEnabled(enabled && connectedLook);
    frame_.Up->setEnabled(enabled && connectedLook);
}

void TRemotePane::SetDragEnabled(bool enabled) { list_->setDragEnabled(enabled); }

// ---- Navigation

void TRemotePane::OpenCurrentRow() {
    if (host_.Transferring() || listing_) return;
    QTreeWidgetItem* item = list_->currentItem();
    if (!item || !item->isSelected()) return;
    const int row = list_->indexOfTopLevelItem(item);
    if (row < 0 || row >= static_cast<int>(rows_.size())) return;
    const THostDirInfo& info = rows_[static_cast<size_t>(row)];
    if (!info.IsDir) {
        emit FileActivated();
        return;
    }
    const std::string name = info.Name;  // the listing replaces the table
    ListDirectory(name);
}

void TRemotePane::GoUp() {
    if (listing_) return;
    try {
        ftp_.ChangeDirUp();
        ListDirectory(std::string());
    } catch (...) {
        // The way up simply doesn't happen.
    }
}

// The commands below come from the user while the window is live; one of them arriving during a
// listing would send its commands into the middle of the running LIST, so it is dropped.

void TRemotePane::GoTo(const std::string& path) {
    if (!listing_) ListDirectory(path);
}

void TRemotePane::Refresh() {
    if (!listing_) ListDirectory(std::string());
}

void TRemotePane::GoToTypedPath() {
    if (listing_) return;
    const QString text = frame_.Combo->currentText();
    // The combo shows directories decoded; their own bytes are the ones to send back.
    std::string path = text == DisplayName(dir_) ? dir_ : NameBytes(text);
    const int visited = frame_.Combo->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (visited >= 0) path = frame_.Combo->itemData(visited).toByteArray().toStdString();
    ListDirectory(path);
}

void TRemotePane::GoToHistoryItem(int index) {
    if (listing_ || index < 0 || index >= frame_.Combo->count()) return;
    ListDirectory(frame_.Combo->itemData(index).toByteArray().toStdString());
}

std::vector<std::string> TRemotePane::History() const {
    std::vector<std::string> dirs;
    for (int i = 0; i < frame_.Combo->count(); ++i)
        dirs.push_back(frame_.Combo->itemData(i).toByteArray().toStdString());
    return dirs;
}

void TRemotePane::RememberDirectory(const std::string& dir) {
    QComboBox* combo = frame_.Combo;
    const QByteArray bytes = QByteArray::fromStdString(dir);
    const int known = combo->findData(bytes);
    if (known >= 0) combo->removeItem(known);
    while (combo->count() >= kHistoryLength) combo->removeItem(combo->count() - 1);
    combo->insertItem(0, DisplayName(dir), bytes);
}

void TRemotePane::ShowDirectoryText() {
    // With the entry current, the combo finds nothing to activate when the edit line is left.
    const int shown = frame_.Combo->findData(QByteArray::fromStdString(dir_));
    if (shown >= 0) frame_.Combo->setCurrentIndex(shown);
    frame_.Combo->setEditText(DisplayName(dir_));
}

bool TRemotePane::eventFilter(QObject* watched, QEvent* e) {
    // Compared by address only: these events come while the combo is being taken down too.
    const bool pick =
        (watched == historyViewport_ && e->type() == QEvent::MouseButtonRelease) ||
        // The combo takes Enter in its list at the shortcut check, before the key press.
        (watched == historyView_ && (e->type() == QEvent::ShortcutOverride || e->type() == QEvent::KeyPress) &&
         (static_cast<QKeyEvent*>(e)->key() == Qt::Key_Return || static_cast<QKeyEvent*>(e)->key() == Qt::Key_Enter));
    if (pick) {
        // The combo activates the entry while handling this very event, or not at all.
        historyPick_ = true;
        QTimer::singleShot(0, this, [this] { historyPick_ = false; });
    }
    return TDirectoryPane::eventFilter(watched, e);
}

void TRemotePane::RefreshIfIdle() {
    if (!ftp_.IsConnected() || host_.Transferring() || listing_) return;
    try {
        ListDirectory(std::string());
        SelectFirstRow();
    } catch (...) {
        // A refresh that fails leaves what the listing left.
    }
}

std::optional<QString> TRemotePane::GotoStartText() {
    if (listing_) return std::nullopt;
    // The directory-name dialog blocks the window itself, so a failing query leaves the window
    // usable; its error reaches the error display.
    std::string dir = ftp_.WorkingDir();
    if (dir.empty() || dir.back() != '/') dir += '/';
    gotoDirBytes_ = dir;
    return DisplayName(dir);
}

void TRemotePane::ChangeDirectoryTo(const QString& name) {
    const std::string dir = name == DisplayName(gotoDirBytes_) ? gotoDirBytes_ : NameBytes(name);
    ftp_.ChangeDir(dir);
}
