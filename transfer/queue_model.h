#pragma once
// The transfer queue: its entries, the live queue shown in the queue list, the stored queue of
// every site, the byte total with its summary text, and the queue commands. Views learn of every
// change through IQueueView, row by row.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sites/data_file.h"
#include "sites/site_table.h"

// One queue entry. The local file is LocalPath + FileName, the remote file RemotePath + FileName.
struct TQueueInfo {
    std::string FileName;
    std::string LocalPath;
    int64_t FileSize = 0;  // -1 for a folder, and for an upload whose local file was not found
    std::string Process;   // "Download" or "Upload"
    std::string RemotePath;
    std::string Status = "Ready";  // "Ready", "Aborted" (stopped) or "Failed" (refused)
    bool IsFolder = false;
    // Why the entry failed, shown beside its status; not stored in the queue file.
    std::string Reason;

    bool operator==(const TQueueInfo&) const = default;
};

// The stored queue of one site; slot i of the stores belongs to site i.
struct TQueueStore {
    std::string SiteName;
    std::vector<TQueueInfo> Items;
    int Count() const { return static_cast<int>(Items.size()); }
};

// A stored entry of a site the site list does not (or no longer) hold: kept, and written back,
// so a missing or replaced site list does not wipe the queues.
struct TOrphanQueueEntry {
    std::string SiteName;
    TQueueInfo Entry;
};

// How a row decides that its entry is a folder: rows built when an entry is added, loaded or
// moved look at IsFolder; rows rebuilt after a status change look for FileSize -1.
enum class TFolderRule { ByIsFolder, ByFileSize };

// "File Folder"; FileSize div 1024 + " KB" above 1024 bytes; else the bare number.
std::string QueueSizeText(const TQueueInfo& entry, TFolderRule rule);

// What an entry adds to the byte total: a file its whole size, a folder or an unknown size 0.
int64_t CountedSize(const TQueueInfo& entry);

// "Queue: N KB in C file(s)" above 1024 bytes, else "Queue: N   B in C file(s)".
std::string QueueSummaryText(int64_t totalBytes, int count);

// The texts of one row of the queue list, in column order.
struct TQueueRow {
    std::string Caption;  // "Filename"
    std::string LocalPath;
    std::string SizeText;
    std::string Process;
    std::string RemotePath;
    std::string Status;

    bool operator==(const TQueueRow&) const = default;
};

TQueueRow RenderQueueRow(const TQueueInfo& entry, TFolderRule rule);

// Empty when every text of the entry fits its field of the queue file; otherwise a message
// naming the field and its limit in bytes. Such an entry is refused, never stored cut.
std::string QueueFieldTooLong(const TQueueInfo& entry);

// Receives every change of the live queue's rows, in the order to apply them. Row indices are
// those of the list at the moment of the call. All methods do nothing by default.
class IQueueView {
public:
    virtual ~IQueueView() = default;
    virtual void QueueRowsCleared() {}
    virtual void QueueRowInserted(int /*row*/, const TQueueRow& /*texts*/) {}
    virtual void QueueRowDeleted(int /*row*/) {}
    virtual void QueueRowRebuilt(int /*row*/, const TQueueRow& /*texts*/) {}
    // Make the row focused and the only selected one.
    virtual void QueueRowSelected(int /*row*/) {}
    // The text of the status bar's queue panel (empty after RemoveAllEntries).
    virtual void QueueSummaryChanged(const std::string& /*text*/) {}
    // An entry was not added; the message says why.
    virtual void QueueEntryRefused(const std::string& /*message*/) {}
};

// The stored queues, kept in step with the site table's slots.
class TQueueStores : public ISitePairedSlots {
public:
    std::vector<TQueueStore> Slots;
    // Entries of unknown sites, in file order; a site of that name that appears takes them.
    std::vector<TOrphanQueueEntry> Orphans;

    int Count() const { return static_cast<int>(Slots.size()); }
    TQueueStore& Slot(int i) { return Slots.at(static_cast<std::size_t>(i)); }
    const TQueueStore& Slot(int i) const { return Slots.at(static_cast<std::size_t>(i)); }

    void SitesLoaded(const std::vector<std::string>& names) override;
    void SiteAdded(int index, const std::string& name) override;
    void SiteDeleted(int index) override;
    void SitesSwapped(int i, int j) override;
    void SiteRenamed(int index, const std::string& name) override;

    // Moves the orphans of that name into slot index.
    void AdoptOrphans(int index);

private:
    void EnsureSlot(int index);
};

// Outcome of loading FTPQueueStore.dat. A read error is raised instead (EInOutError).
struct TQueueLoadReport {
    bool FileFound = false;
    int RecordsRead = 0;
    int RecordsUnknownSite = 0;  // records of sites not in the site list (kept aside)
    std::string Message;         // not empty when the file was damaged; it names the kept copy
};

class TTransferQueue {
public:
    static constexpr const char* FileName = "FTPQueueStore.dat";

    void SetView(IQueueView* view) { View_ = view; }

    // Give this to TSiteTable::SetPairedSlots.
    TQueueStores& Stores() { return Stores_; }
    const TQueueStores& Stores() const { return Stores_; }

    const std::vector<TQueueInfo>& QueueEntries() const { return Entries_; }
    const TQueueInfo& Entry(int index) const { return Entries_.at(static_cast<std::size_t>(index)); }
    int QueueCount() const { return static_cast<int>(Entries_.size()); }
    bool IsValidRow(int row) const { return row >= 0 && row < QueueCount(); }
    int64_t QueueTotalBytes() const { return TotalBytes_; }
    const std::string& SummaryText() const { return Summary_; }

    TQueueRow RenderQueueRow(int index, TFolderRule rule) const;
    // Sets the summary text from the count and the byte total and tells the view.
    void RefreshQueueSummary();

    // Adds an entry at position (entries from there move one place back); a negative position
    // or one past the end appends. Adds its counted size and refreshes the summary. Returns the
    // index, or -1 (and tells the view why) when a text does not fit the queue file.
    int InsertEntry(const TQueueInfo& entry, int position);
    int AppendEntry(const TQueueInfo& entry) { return InsertEntry(entry, -1); }

    // Queue commands, acting on the first selected row (-1 when none is selected).
    void RemoveSelectedEntry(int selectedRow);
    // Empties the queue; the summary text becomes empty.
    void RemoveAllEntries();
    // "Aborted" or "Failed" -> "Ready" for the selected entry; "Ready" is left alone.
    void ResetSelectedStatus(int selectedRow);
    void ResetAllStatuses();
    void MoveEntryToTop(int selectedRow);
    void MoveEntryUp(int selectedRow);
    void MoveEntryDown(int selectedRow);

    // For the queue runner.
    // Index of the last entry with that file name, or -1.
    int FindLastByName(const std::string& fileName) const;
    // Removes the entry at index, subtracts its counted size and refreshes the summary.
    void RemoveEntry(int index);
    // Sets an entry's status (and the reason shown beside it) and rebuilds its row (folder
    // decided by FileSize -1).
    void SetEntryStatus(int index, const std::string& status, const std::string& reason = {});
    // Rebuilds the row to show another status (e.g. "Downloading") while the entry keeps its own.
    void ShowRowStatus(int index, const std::string& shownStatus);
    // Rebuilds the rows of all "Ready" entries, wiping any in-progress label.
    void RefreshReadyRows();

    // Start-up: reads FTPQueueStore.dat into the stores whose names match each record (other
    // records are kept aside as orphans), then makes the queue of the last store named liveSiteName live
    // (nullopt: the live queue stays empty) and refreshes the summary. Raises EInOutError on a
    // read error, changing nothing.
    TQueueLoadReport LoadQueueFile(const std::string& dataDir, const std::optional<std::string>& liveSiteName);
    // Replaces the live queue by the stored queue of the last store of that name; with no such
    // store the entries stay. The byte total is recomputed; the summary is not refreshed.
    void LoadSiteQueue(const std::string& siteName);
    // Copies the live queue into every store of that name.
    void StoreLiveQueue(const std::string& siteName);
    // Shutdown: stores the live queue under the current site's name, then writes every store
    // whose name equals its site's name, then the orphans (atomically; EInOutError on failure).
    void SaveQueueFiles(const std::string& dataDir, const TSiteTable& sites);
    // The file contents SaveQueueFiles writes (after storing the live queue).
    std::string EncodeQueueFile(const TSiteTable& sites) const;

private:
    void ReplaceLiveEntries(const std::vector<TQueueInfo>& entries);
    void RecountTotal();
    void RebuildRow(int index, TFolderRule rule);
    void SetSummary(const std::string& text);

    std::vector<TQueueInfo> Entries_;
    int64_t TotalBytes_ = 0;
    std::string Summary_;
    TQueueStores Stores_;
    IQueueView* View_ = nullptr;
    TDataFile File_{FileName};
};
