#include "ui/local_pane.h"

#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>
#include <QTreeView>

#include <algorithm>

#include "ui/guard.h"
#include "ui/theme_icons.h"

TLocalPane::TLocalPane(QWidget* parent) : TDirectoryPane(parent) {
    frame_ = MakePaneFrame(parent, "HomeDirPanel", "HomeDirCombo", "HomeDirUpButton");
    model_ = new QFileSystemModel(this);
    model_->setFilter(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    model_->setReadOnly(true);
    UseInstalledIconTheme();
    // Shared by every window of the run and kept to its end: the model asks it until it goes.
    static auto* const homeIcons = new TThemeIconProvider;
    model_->setIconProvider(homeIcons);
    list_ = new QTreeView(frame_.Panel);
    list_->setObjectName(QStringLiteral("HomeDirList"));
    list_->setModel(model_);
    list_->setRootIsDecorated(false);
    list_->setItemsExpandable(false);
    list_->setUniformRowHeights(true);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSortingEnabled(true);
    list_->sortByColumn(0, Qt::AscendingOrder);
    list_->setColumnWidth(0, 180);
    list_->setColumnWidth(1, 75);
    list_->setColumnWidth(2, 95);
    // A typed path goes there, like a pick from the list.
    frame_.Combo->setEditable(true);
    frame_.Combo->setInsertPolicy(QComboBox::NoInsert);
    guard::Connect(frame_.Combo->lineEdit(), &QLineEdit::returnPressed, this, &TLocalPane::FolderTyped);
    guard::Connect(list_, &QTreeView::doubleClicked, this, &TLocalPane::OpenCurrentRow);
    connect(frame_.Combo, QOverload<int>::of(&QComboBox::activated), this,
            [this](int i) { guard::Run([=, this] { SetFolder(frame_.Combo->itemData(i).toString()); }); });
    connect(model_, &QFileSystemModel::directoryLoaded, this, [this](const QString& path) {
        // The first entry of a freshly shown folder becomes current.
        if (QDir(path) != QDir(QString::fromStdString(Folder()))) return;
        // Rows arrive after the first choice; it follows them unless the user has chosen since.
        const QModelIndex current = list_->currentIndex();
        if (!current.isValid() || current == autoFirstRow_) SelectFirstRow();
    });
    guard::Connect(frame_.Up, &QToolButton::clicked, this, &TLocalPane::GoUp);
    WatchInput(frame_.Panel, list_);
    SetFolder(QDir::homePath());
}

void TLocalPane::Layout() { LayoutPaneFrame(frame_, list_); }

void TLocalPane::FolderTyped() {
    QString typed = frame_.Combo->currentText().trimmed();
    if (typed == QLatin1String("~") || typed.startsWith(QLatin1String("~/"))) typed = QDir::homePath() + typed.mid(1);
    if (SetFolder(typed)) return;
    const QString shown = frame_.Combo->currentText();
    const QFileInfo info(typed);
    FillCombo(QDir::cleanPath(QString::fromStdString(Folder())));
    if (!info.exists())
        guard::ShowMessage("Directory " + shown + " does not exists");
    else if (!info.isDir())
        guard::ShowMessage(shown + " is a file, not a directory");
    else
        guard::ShowMessage("Directory " + shown + " cannot be read: permission denied");
}

std::string TLocalPane::Folder() const {
    const QString dir = list_ ? model_->filePath(list_->rootIndex()) : QString();
    std::string s = dir.isEmpty() ? std::string("/") : QFile::encodeName(dir).toStdString();
    if (s.empty() || s.back() != '/') s += '/';
    return s;
}

bool TLocalPane::SetFolder(const QString& path) {
    const QFileInfo info(path);
    // A folder that cannot be listed would only show as empty.
    if (path.isEmpty() || !info.isDir() || !info.isReadable() || !info.isExecutable()) return false;
    const QString folder = QDir::cleanPath(info.absoluteFilePath());
    model_->setRootPath(folder);
    list_->setRootIndex(model_->index(folder));
    list_->setCurrentIndex(QModelIndex());
    SelectFirstRow();  // a folder read before has its rows at once
    FillCombo(folder);
    return true;
}

QString TLocalPane::ShownFolder() const { return frame_.Combo->currentData().toString(); }

void TLocalPane::SelectFirstRow() {
    const QModelIndex root = list_->rootIndex();
    autoFirstRow_ = QPersistentModelIndex();
    if (model_->rowCount(root) == 0) {
        list_->selectionModel()->clear();
        return;
    }
    // The model sorts new rows late; sorting now makes row 0 the first row shown.
    const QHeaderView* header = list_->header();
    model_->sort(header->sortIndicatorSection(), header->sortIndicatorOrder());
    const QModelIndex first = model_->index(0, 0, root);
    list_->selectionModel()->setCurrentIndex(first, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    autoFirstRow_ = first;
}

void TLocalPane::SelectFirstRowIfNoneCurrent() {
    if (!list_->currentIndex().isValid()) SelectFirstRow();
}

void TLocalPane::FillCombo(const QString& folder) {
    // The folder and its ancestors, the root first.
    QStringList chain;
    QDir d(folder);
    while (true) {
        chain.prepend(d.absolutePath());
        if (d.isRoot() || !d.cdUp()) break;
    }
    const QIcon folderIcon = PaneFolderIcon();
    frame_.Combo->clear();
    for (const QString& p : chain) frame_.Combo->addItem(folderIcon, p, p);
    frame_.Combo->setCurrentIndex(static_cast<int>(chain.size()) - 1);
}

void TLocalPane::Refresh() {
    const QString folder = QString::fromStdString(Folder());
    // Asking for the root path again makes the model re-read the folder.
    model_->setRootPath(QString());
    model_->setRootPath(folder);
    list_->setRootIndex(model_->index(QDir::cleanPath(folder)));
}

void TLocalPane::RefreshKeepingSelection() {
    Refresh();
    QItemSelectionModel* sel = list_->selectionModel();
    if (sel && sel->hasSelection()) {
        const QModelIndexList rows = sel->selectedRows();
        QModelIndex first = rows.value(0);
        for (const QModelIndex& i : rows)
            if (i.row() < first.row()) first = i;
        if (first.isValid())
            sel->setCurrentIndex(first, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    list_->setFocus();
}

void TLocalPane::GoUp() {
    QDir dir(QString::fromStdString(Folder()));
    if (dir.cdUp()) SetFolder(dir.absolutePath());
}

void TLocalPane::OpenCurrentRow() {
    const QModelIndex index = list_->currentIndex();
    if (!index.isValid() || index.parent() != list_->rootIndex()) return;
    if (model_->isDir(index))
        SetFolder(model_->filePath(index));
    else
        emit FileActivated();
}

void TLocalPane::Focus() {
    if (list_->isVisible()) list_->setFocus();
}

void TLocalPane::SetDragEnabled(bool enabled) { list_->setDragEnabled(enabled); }

QStringList TLocalPane::SelectedPaths() const {
    const QModelIndex root = list_->rootIndex();
    QModelIndexList rows = list_->selectionModel()->selectedRows(0);
    rows.erase(std::remove_if(rows.begin(), rows.end(), [&](const QModelIndex& i) { return i.parent() != root; }),
               rows.end());
    // The model keeps its rows in the order shown.
    std::sort(rows.begin(), rows.end(), [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    QStringList paths;
    for (const QModelIndex& i : rows) paths << model_->filePath(i);
    return paths;
}

std::vector<std::string> TLocalPane::SelectedPathBytes() const {
    std::vector<std::string> paths;
    for (const QString& p : SelectedPaths()) paths.push_back(QFile::encodeName(p).toStdString());
    return paths;
}
