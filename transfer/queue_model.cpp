#include "transfer/queue_model.h"

#include <algorithm>
#include <limits>

#include "transfer/queue_file.h"

std::string QueueSizeText(const TQueueInfo& entry, TFolderRule rule) {
    bool folder = rule == TFolderRule::ByIsFolder ? entry.IsFolder : entry.FileSize == -1;
    if (folder) return "File Folder";
    if (entry.FileSize > 1024) return std::to_string(entry.FileSize / 1024) + " KB";
    return std::to_string(entry.FileSize);
}

int64_t CountedSize(const TQueueInfo& entry) {
    if (entry.IsFolder || entry.FileSize < 0) return 0;
    return entry.FileSize;
}

namespace {

// A damaged queue file may give any entry any size: the total stops at the largest value
// instead of overflowing.
constexpr int64_t kMaxTotal = std::numeric_limits<int64_t>::max();
int64_t AddCapped(int64_t total, int64_t bytes) { return bytes > kMaxTotal - total ? kMaxTotal : total + bytes; }

}  // namespace

std::string QueueSummaryText(int64_t totalBytes, int count) {
    if (totalBytes > 1024)
        return "Queue: " + std::to_string(totalBytes / 1024) + " KB in " + std::to_string(count) + " file(s)";
    return "Queue: " + std::to_string(totalBytes) + "   B in " + std::to_string(count) + " file(s)";
}

TQueueRow RenderQueueRow(const TQueueInfo& entry, TFolderRule rule) {
    std::string status = entry.Status;
    if (!entry.Reason.empty()) status += ": " + entry.Reason;
    return TQueueRow{entry.FileName, entry.LocalPath,  QueueSizeText(entry, rule),
                     entry.Process,  entry.RemotePath, status};
}

std::string QueueFieldTooLong(const TQueueInfo& entry) {
    struct TField {
        const char* Label;
        const std::string& Value;
        std::size_t Capacity;
    };
    const TField fields[] = {{"file name", entry.FileName, TQueueFileRecord::FileNameCapacity},
                             {"local path", entry.LocalPath, TQueueFileRecord::PathCapacity},
                             {"remote path", entry.RemotePath, TQueueFileRecord::PathCapacity}};
    for (const TField& f : fields)
        if (f.Value.size() > f.Capacity)
            return "Not added to the queue: the " + std::string(f.Label) + " \"" + f.Value + "\" is " +
                   std::to_string(f.Value.size()) + " bytes long; the queue keeps at most " +
                   std::to_string(f.Capacity) + " bytes.";
    return {};
}

// ---- stored queues ----

void TQueueStores::EnsureSlot(int index) {
    if (index >= Count()) Slots.resize(static_cast<std::size_t>(index) + 1);
}

void TQueueStores::SitesLoaded(const std::vector<std::string>& names) {
    Slots.clear();
    for (const std::string& name : names) Slots.push_back(TQueueStore{name, {}});
    for (int i = 0; i < Count(); ++i) AdoptOrphans(i);
}

void TQueueStores::SiteAdded(int index, const std::string& name) {
    EnsureSlot(index);
    Slot(index) = TQueueStore{name, {}};
    AdoptOrphans(index);
}

void TQueueStores::AdoptOrphans(int index) {
    if (index < 0 || index >= Count()) return;
    TQueueStore& slot = Slot(index);
    auto keep = Orphans.begin();
    for (auto& o : Orphans) {
        if (o.SiteName == slot.SiteName)
            slot.Items.push_back(std::move(o.Entry));
        else
            *keep++ = std::move(o);
    }
    Orphans.erase(keep, Orphans.end());
}

void TQueueStores::SiteDeleted(int index) {
    if (index >= 0 && index < Count()) Slots.erase(Slots.begin() + index);
}

void TQueueStores::SitesSwapped(int i, int j) {
    EnsureSlot(std::max(i, j));
    std::swap(Slot(i), Slot(j));
}

void TQueueStores::SiteRenamed(int index, const std::string& name) {
    EnsureSlot(index);
    Slot(index).SiteName = name;
    AdoptOrphans(index);
}

// ---- live queue ----

TQueueRow TTransferQueue::RenderQueueRow(int index, TFolderRule rule) const {
    return ::RenderQueueRow(Entry(index), rule);
}

void TTransferQueue::SetSummary(const std::string& text) {
    Summary_ = text;
    if (View_) View_->QueueSummaryChanged(Summary_);
}

void TTransferQueue::RefreshQueueSummary() { SetSummary(QueueSummaryText(TotalBytes_, QueueCount())); }

void TTransferQueue::RebuildRow(int index, TFolderRule rule) {
    if (View_) View_->QueueRowRebuilt(index, RenderQueueRow(index, rule));
}

int TTransferQueue::InsertEntry(const TQueueInfo& entry, int position) {
    if (const std::string why = QueueFieldTooLong(entry); !why.empty()) {
        if (View_) View_->QueueEntryRefused(why);
        return -1;
    }
    int index = (position < 0 || position > QueueCount()) ? QueueCount() : position;
    Entries_.insert(Entries_.begin() + index, entry);
    if (View_) View_->QueueRowInserted(index, RenderQueueRow(index, TFolderRule::ByIsFolder));
    TotalBytes_ = AddCapped(TotalBytes_, CountedSize(entry));
    RefreshQueueSummary();
    return index;
}

int TTransferQueue::FindLastByName(const std::string& fileName) const {
    for (int i = QueueCount() - 1; i >= 0; --i)
        if (Entries_[static_cast<std::size_t>(i)].FileName == fileName) return i;
    return -1;
}

void TTransferQueue::RemoveEntry(int index) {
    if (!IsValidRow(index)) return;
    int64_t counted = CountedSize(Entry(index));
    Entries_.erase(Entries_.begin() + index);
    if (View_) View_->QueueRowDeleted(index);
    // A capped total no longer knows its parts.
    if (TotalBytes_ == kMaxTotal)
        RecountTotal();
    else
        TotalBytes_ -= counted;
    RefreshQueueSummary();
}

void TTransferQueue::RemoveSelectedEntry(int selectedRow) {
    // The row itself: two entries of one name in different folders are different entries.
    RemoveEntry(selectedRow);
}

void TTransferQueue::RemoveAllEntries() {
    if (Entries_.empty()) return;
    Entries_.clear();
    TotalBytes_ = 0;
    SetSummary("");
    if (View_) View_->QueueRowsCleared();
}

void TTransferQueue::SetEntryStatus(int index, const std::string& status, const std::string& reason) {
    if (!IsValidRow(index)) return;
    Entries_[static_cast<std::size_t>(index)].Status = status;
    Entries_[static_cast<std::size_t>(index)].Reason = reason;
    RebuildRow(index, TFolderRule::ByFileSize);
}

void TTransferQueue::ShowRowStatus(int index, const std::string& shownStatus) {
    if (!IsValidRow(index) || !View_) return;
    TQueueRow row = RenderQueueRow(index, TFolderRule::ByFileSize);
    row.Status = shownStatus;
    View_->QueueRowRebuilt(index, row);
}

void TTransferQueue::RefreshReadyRows() {
    for (int i = 0; i < QueueCount(); ++i)
        if (Entry(i).Status == "Ready") RebuildRow(i, TFolderRule::ByFileSize);
}

void TTransferQueue::ResetSelectedStatus(int selectedRow) {
    if (!IsValidRow(selectedRow) || Entry(selectedRow).Status == "Ready") return;
    SetEntryStatus(selectedRow, "Ready");
}

void TTransferQueue::ResetAllStatuses() {
    for (int i = 0; i < QueueCount(); ++i)
        if (Entry(i).Status != "Ready") SetEntryStatus(i, "Ready");
}

void TTransferQueue::MoveEntryUp(int selectedRow) {
    if (!IsValidRow(selectedRow) || selectedRow == 0) return;
    int i = selectedRow;
    std::swap(Entries_[static_cast<std::size_t>(i - 1)], Entries_[static_cast<std::size_t>(i)]);
    RebuildRow(i - 1, TFolderRule::ByIsFolder);
    RebuildRow(i, TFolderRule::ByIsFolder);
    if (View_) View_->QueueRowSelected(i - 1);
}

void TTransferQueue::MoveEntryDown(int selectedRow) {
    if (!IsValidRow(selectedRow) || selectedRow >= QueueCount() - 1) return;
    int i = selectedRow;
    std::swap(Entries_[static_cast<std::size_t>(i)], Entries_[static_cast<std::size_t>(i + 1)]);
    RebuildRow(i, TFolderRule::ByIsFolder);
    RebuildRow(i + 1, TFolderRule::ByIsFolder);
    if (View_) View_->QueueRowSelected(i + 1);
}

void TTransferQueue::MoveEntryToTop(int selectedRow) {
    if (!IsValidRow(selectedRow) || selectedRow == 0) return;
    int i = selectedRow;
    std::rotate(Entries_.begin(), Entries_.begin() + i, Entries_.begin() + i + 1);
    for (int k = 0; k <= i; ++k) RebuildRow(k, TFolderRule::ByIsFolder);
    if (View_) View_->QueueRowSelected(0);
}

void TTransferQueue::RecountTotal() {
    TotalBytes_ = 0;
    for (const TQueueInfo& e : Entries_) TotalBytes_ = AddCapped(TotalBytes_, CountedSize(e));
}

void TTransferQueue::ReplaceLiveEntries(const std::vector<TQueueInfo>& entries) {
    Entries_ = entries;
    RecountTotal();
    if (View_) {
        View_->QueueRowsCleared();
        for (int i = 0; i < QueueCount(); ++i) View_->QueueRowInserted(i, RenderQueueRow(i, TFolderRule::ByIsFolder));
    }
}

void TTransferQueue::LoadSiteQueue(const std::string& siteName) {
    const std::vector<TQueueInfo>* stored = nullptr;
    for (const TQueueStore& slot : Stores_.Slots)
        if (slot.SiteName == siteName) stored = &slot.Items;
    if (stored) {
        std::vector<TQueueInfo> copy = *stored;
        ReplaceLiveEntries(copy);
    } else {
        // The entries stay; the total must still describe them.
        RecountTotal();
    }
}

void TTransferQueue::StoreLiveQueue(const std::string& siteName) {
    for (TQueueStore& slot : Stores_.Slots)
        if (slot.SiteName == siteName) slot.Items = Entries_;
}
