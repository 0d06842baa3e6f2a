#pragma once
// Directory listing parser: turns the lines of a LIST reply into items.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "ftp/list_datetime.h"
#include "transport/id_exception.h"

enum TIdDirItemType : int { itDirectory = 0, itFile = 1, itLink = 2 };

enum TIdFTPListFormat : int {
    lfNone = 0,
    lfDos = 1,
    lfUnix = 2,
    lfDsk = 3,
    lfNoDetails = 4,
    lfUnknown = 5,
    lfCustom = 6,
    lfMlsd = 7
};

class EIdInvalidFTPListingFormat : public EIdException {
public:
    explicit EIdInvalidFTPListingFormat(const std::string& m = "Unknown FTP listing format") : EIdException(m) {}
};

class TIdFTPListItem {
public:
    int64_t ItemSize = 0;
    int32_t LinkCount = 0;
    std::string RawLine;
    std::string ItemName;
    std::string GroupRights = "???";
    std::string Group = "????????";
    std::string OwnerRights = "???";
    std::string Owner = "????????";
    std::string OtherRights = "???";
    TDateTime Modified = 0;
    bool TimeKnown = false;  // Modified holds the time of day the listing gave (not just a date)
    std::string LinkTarget;
    TIdDirItemType Kind = itFile;
    std::string Perm;    // MLSD "perm" fact, as sent
    std::string Unique;  // MLSD "unique" fact: the same for two names of one file or folder

    void Assign(const TIdFTPListItem& source) { *this = source; }
};

using TIdOnParseCustomListFormat = std::function<void(TIdFTPListItem& item)>;

class TIdFTPListItems {
public:
    TIdFTPListItems() = default;
    virtual ~TIdFTPListItems() { Clear(); }
    TIdFTPListItems(const TIdFTPListItems&) = delete;
    TIdFTPListItems& operator=(const TIdFTPListItems&) = delete;

    TIdFTPListFormat CurrentFormat = lfUnix;
    TIdOnParseCustomListFormat OnParseCustomListFormat;

    // Items by index from 0 (std::out_of_range outside); references stay valid while items are added.
    TIdFTPListItem& Items(int index) { return *Slot(Checked(index)); }
    const TIdFTPListItem& Items(int index) const { return *Slot(Checked(index)); }
    int Count() const { return static_cast<int>(FCount); }
    TIdFTPListItem& Add();
    void Clear();
    // Room for `count` items in one block, so that adding them allocates no item storage; only
    // takes effect while the collection is empty.
    void Reserve(size_t count);

    // The layout of a listing judged from one of its lines (normally the first).
    virtual TIdFTPListFormat DetectFormat(const std::string& line, bool details) const;

    // Replaces the content by the parsed lines. Never throws: a line that fails to parse is left
    // out (counted in DroppedLines) and parsing goes on with the next line.
    void LoadList(const std::vector<std::string>& lines);
    // Lines the last LoadList left out, and the first of them.
    int DroppedLines() const { return FDropped; }
    const std::string& FirstDroppedLine() const { return FFirstDropped; }

    // Fixes "today" for the date rules (tests); without it the local clock is read once per LoadList.
    void SetToday(int year, int month, int day) { FToday = TListDate{year, month, day}; }
    void ClearToday() { FToday.reset(); }
    TListDate Today() const;

protected:
    // Parses one item (RawLine set) by the rules of CurrentFormat; may throw.
    virtual void ParseItem(TIdFTPListItem& item, const TListDate& today);

private:
    size_t Checked(int index) const {
        if (index < 0 || static_cast<size_t>(index) >= FCount) throw std::out_of_range("TIdFTPListItems::Items");
        return static_cast<size_t>(index);
    }
    // Block k holds the items from FBase << (k - 1) (0 for block 0) up to FBase << k; blocks
    // never move, which keeps references valid, and a block of a reserved listing holds all of it.
    TIdFTPListItem* Slot(size_t index) const;
    size_t BlockCapacity(size_t block) const { return block == 0 ? FBase : FBase << (block - 1); }
    void RemoveLast();

    std::vector<TIdFTPListItem*> FBlocks;
    size_t FBase = 16;
    size_t FCount = 0;
    std::optional<TListDate> FToday;
    int FDropped = 0;
    std::string FFirstDropped;
};

// The single-format rules, usable on their own. Each fills `item` from item.RawLine.
// ParseUnixListItem throws on an invalid date; ParseDosListItem never throws.
void ParseUnixListItem(TIdFTPListItem& item, TIdFTPListFormat currentFormat, const TListDate& today);
void ParseDosListItem(TIdFTPListItem& item, const TListDate& today);
void ParseNoDetailsListItem(TIdFTPListItem& item);

// The ten-character permission test of Unix long listings (line already upper-cased or not).
bool IsUnixPermissionString(const std::string& line);
