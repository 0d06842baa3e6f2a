#pragma once
// The queue list's rows: a thin view of the live queue, told of every change row by row.

#include <functional>
#include <string>
#include <vector>

#include <QAbstractTableModel>

#include "transfer/queue_model.h"

class TQueueListModel : public QAbstractTableModel, public IQueueView {
public:
    explicit TQueueListModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}

    // Where QueueRowSelected, QueueSummaryChanged and QueueEntryRefused go.
    std::function<void(int row)> OnSelectRow;
    std::function<void(const std::string& text)> OnSummary;
    std::function<void(const std::string& message)> OnRefused;

    // The columns' captions and their widths at first.
    static int ColumnCount();
    static int InitialColumnWidth(int column);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    const TQueueRow& Row(int row) const { return rows_.at(static_cast<std::size_t>(row)); }

    void QueueRowsCleared() override;
    void QueueRowInserted(int row, const TQueueRow& texts) override;
    void QueueRowDeleted(int row) override;
    void QueueRowRebuilt(int row, const TQueueRow& texts) override;
    void QueueRowSelected(int row) override;
    void QueueSummaryChanged(const std::string& text) override;
    void QueueEntryRefused(const std::string& message) override;

private:
    std::vector<TQueueRow> rows_;
};
