#include "ui/queue_list_model.h"

#include <algorithm>
#include <iterator>

#include "ui/status_log.h"

namespace {

struct TColumn {
    const char* Caption;
    int Width;
};
const TColumn kQueueColumns[] = {{"Filename", 200}, {"Local path", 275},  {"Size", 100},
                                 {"Process", 60},   {"Remote path", 275}, {"Status", 100}};

}  // namespace

int TQueueListModel::ColumnCount() { return static_cast<int>(std::size(kQueueColumns)); }

int TQueueListModel::InitialColumnWidth(int column) {
    return column >= 0 && column < ColumnCount() ? kQueueColumns[column].Width : 0;
}

int TQueueListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TQueueListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ColumnCount(); }

QVariant TQueueListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= static_cast<int>(rows_.size())) return {};
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
    const TQueueRow& r = rows_[static_cast<size_t>(index.row())];
    const std::string* texts[] = {&r.Caption, &r.LocalPath, &r.SizeText, &r.Process, &r.RemotePath, &r.Status};
    return statuslog::Display(*texts[index.column()]);
}

QVariant TQueueListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < ColumnCount())
        return QString::fromLatin1(kQueueColumns[section].Caption);
    return QAbstractTableModel::headerData(section, orientation, role);
}

void TQueueListModel::QueueRowsCleared() {
    beginResetModel();
    rows_.clear();
    endResetModel();
}

void TQueueListModel::QueueRowInserted(int row, const TQueueRow& texts) {
    row = std::clamp(row, 0, static_cast<int>(rows_.size()));
    beginInsertRows({}, row, row);
    rows_.insert(rows_.begin() + row, texts);
    endInsertRows();
}

void TQueueListModel::QueueRowDeleted(int row) {
    if (row < 0 || row >= static_cast<int>(rows_.size())) return;
    beginRemoveRows({}, row, row);
    rows_.erase(rows_.begin() + row);
    endRemoveRows();
}

void TQueueListModel::QueueRowRebuilt(int row, const TQueueRow& texts) {
    if (row < 0 || row >= static_cast<int>(rows_.size())) return;
    rows_[static_cast<size_t>(row)] = texts;
    emit dataChanged(index(row, 0), index(row, columnCount() - 1));
}

void TQueueListModel::QueueRowSelected(int row) {
    if (OnSelectRow) OnSelectRow(row);
}

void TQueueListModel::QueueSummaryChanged(const std::string& text) {
    if (OnSummary) OnSummary(text);
}

void TQueueListModel::QueueEntryRefused(const std::string& message) {
    if (OnRefused) OnRefused(message);
}
