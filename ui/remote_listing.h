#pragma once
// The rows of the remote list, built from a parsed directory listing: the sort rows that order
// them, the size column text and the cache of icon slots by name tail. Plain C++, no widgets.

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "ftp/list_datetime.h"
#include "ftp/list_items.h"

// One row of the remote listing shown in RemoteDirList (row i is record i).
struct THostDirInfo {
    std::string Name;      // the listing item's name, byte for byte
    int64_t Size = 0;      // -1 for a directory
    std::string Modified;  // the date, and the time of day when the listing gave one
    bool IsDir = false;
    TDateTime ModifiedAt = 0;  // what the date column sorts by
};

// The short date text of a listing date (the locale's short date format, no time of day), and
// with the same signature the short time of day.
using TListDateFormatter = std::function<std::string(TDateTime)>;

// "d" + name + "\ -1 " + date for a directory, "f" + name + "\ " + size + " " + date otherwise.
std::string HostSortRow(const TIdFTPListItem& item, const std::string& dateText);

// Orders sort rows as the remote list shows them: whole rows compared without regard to case,
// so directories come first and each group is ordered by name. Returns the row indices in order.
std::vector<size_t> SortedRowOrder(const std::vector<std::string>& sortRows);

// The "Modified" column: the first three words of the date text joined with single spaces.
std::string ModifiedText(const std::string& dateText);

// Size column of a file: sizes above 1024 in whole KB (halves to even) + " KB", else bytes.
std::string RemoteSizeText(int64_t size);

// The rows of a listing in the order shown, "." and ".." left out. The name of every row is the
// item's own name, so names with runs of spaces or bytes that are not UTF-8 stay usable. Items
// whose listing gave a time of day get formatTime's text after the date.
std::vector<THostDirInfo> BuildHostDirRows(const TIdFTPListItems& items, const TListDateFormatter& formatDate,
                                           const TListDateFormatter& formatTime = {});

// The remote list's columns, as its header orders them.
enum class THostColumn { Name = 0, Size = 1, Modified = 2 };

// Row indices in the order of a sort by column: folders before files in either direction; sizes
// by number, dates by time, names by compareNames (negative, 0, positive, on row indices; the
// caller's collation). Equal keys fall back to the name ascending, then to the bytes of the
// name, so the order never depends on the order before.
std::vector<size_t> ColumnRowOrder(const std::vector<THostDirInfo>& rows, THostColumn column, bool descending,
                                   const std::function<int(size_t, size_t)>& compareNames);

// Image slots of the remote list's small icons by the last four characters of a file name.
// Slot 0 is the folder icon; cached tails get slots 1, 2, ... for the whole run, without limit.
class TIconTailCache {
public:
    // The last four characters of name (the whole name when shorter).
    static std::string Tail(const std::string& name);

    struct TLookup {
        int Slot = -1;       // -1: a tail without a leading dot (the plain file icon)
        bool IsNew = false;  // the caller adds the icon for Tail to its image list as this slot
        std::string Tail;
    };
    TLookup Lookup(const std::string& fileName);

    // IconCacheCount: the next free slot.
    int NextSlot() const { return next_; }
    size_t Size() const { return slots_.size(); }

private:
    std::unordered_map<std::string, int> slots_;
    int next_ = 1;
};
