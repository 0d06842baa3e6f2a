#include "ftp/list_items.h"

#include "ftp/list_mlsd.h"

#include <sys/mman.h>

#include <bit>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <stdexcept>
#include <string_view>

namespace {

// Blocks of this size and more are mapped on their own, in huge pages where the system has
// them: taking 4 KiB pages one fault at a time cost far more than the parsing (200,000 Unix lines
// took 0.27 s with the faults, 0.035 s without).
constexpr size_t kHugeBlock = size_t{2} << 20;

size_t MappedBytes(size_t capacity) {
    const size_t bytes = capacity * sizeof(TIdFTPListItem);
    return bytes >= kHugeBlock ? (bytes + kHugeBlock - 1) / kHugeBlock * kHugeBlock : 0;
}

TIdFTPListItem* AllocateBlock(size_t capacity) {
    if (capacity > std::numeric_limits<size_t>::max() / sizeof(TIdFTPListItem) / 2) throw std::bad_alloc();
    const size_t mapped = MappedBytes(capacity);
    if (mapped == 0) return std::allocator<TIdFTPListItem>().allocate(capacity);
    // One huge page more than needed, so that an aligned run of whole huge pages fits; the
    // ends around it go back at once.
    void* p = mmap(nullptr, mapped + kHugeBlock, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
    char* const raw = static_cast<char*>(p);
    const size_t head = (kHugeBlock - reinterpret_cast<uintptr_t>(raw) % kHugeBlock) % kHugeBlock;
    char* const block = raw + head;
    if (head > 0) munmap(raw, head);
    munmap(block + mapped, kHugeBlock - head);
    // Hints only: without huge pages the block works as well, and faulting all its pages in at
    // once (where the kernel can) costs about half of taking them one at a time.
#ifdef MADV_HUGEPAGE
    (void)madvise(block, mapped, MADV_HUGEPAGE);
#endif
#ifdef MADV_POPULATE_WRITE
    (void)madvise(block, mapped, MADV_POPULATE_WRITE);
#endif
    return reinterpret_cast<TIdFTPListItem*>(block);
}

void FreeBlock(TIdFTPListItem* block, size_t capacity) {
    const size_t mapped = MappedBytes(capacity);
    if (mapped == 0)
        std::allocator<TIdFTPListItem>().deallocate(block, capacity);
    else
        munmap(block, mapped);
}

using sv = std::string_view;

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

sv TrimLeft(sv s) {
    size_t i = 0;
    while (i < s.size() && IsBlank(s[i])) ++i;
    return s.substr(i);
}

sv TrimRight(sv s) {
    size_t n = s.size();
    while (n > 0 && IsBlank(s[n - 1])) --n;
    return s.substr(0, n);
}

sv Trim(sv s) { return TrimRight(TrimLeft(s)); }

// Characters [pos, pos + count) where they exist (0-based); never throws.
sv Slice(sv s, size_t pos, size_t count = sv::npos) {
    if (pos >= s.size()) return {};
    return s.substr(pos, count);
}

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

std::string UpperCopy(sv s) {
    std::string r(s);
    for (char& c : r) c = Upper(c);
    return r;
}

bool EqualsNoCase(sv a, sv b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Upper(a[i]) != Upper(b[i])) return false;
    return true;
}

bool StartsNoCase(sv s, sv prefix) {
    return s.size() >= prefix.size() && EqualsNoCase(s.substr(0, prefix.size()), prefix);
}

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Strict decimal: optional sign, digits only, no overflow.
bool TryToInt64(sv s, int64_t& out) {
    size_t i = 0;
    bool neg = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        neg = s[i] == '-';
        ++i;
    }
    if (i == s.size()) return false;
    uint64_t v = 0;
    const uint64_t limit = neg ? static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) + 1
                               : static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
    for (; i < s.size(); ++i) {
        const char c = s[i];
        if (c < '0' || c > '9') return false;
        const uint64_t d = static_cast<uint64_t>(c - '0');
        if (v > (limit - d) / 10) return false;
        v = v * 10 + d;
    }
    out = neg ? static_cast<int64_t>(0 - v) : static_cast<int64_t>(v);
    return true;
}

int64_t ToInt64Def(sv s, int64_t def) {
    int64_t v;
    return TryToInt64(s, v) ? v : def;
}

int ToIntDef(sv s, int def) {
    int64_t v;
    if (!TryToInt64(s, v) || v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max()) return def;
    return static_cast<int>(v);
}

std::string RemoveCommas(sv s) {
    std::string r;
    r.reserve(s.size());
    for (char c : s)
        if (c != ',') r.push_back(c);
    return r;
}

// Text up to the next single space; the rest then loses its leading white space.
sv NextToken(sv& rest) {
    const size_t p = rest.find(' ');
    sv tok;
    if (p == sv::npos) {
        tok = rest;
        rest = {};
    } else {
        tok = rest.substr(0, p);
        rest = rest.substr(p + 1);
    }
    rest = TrimLeft(rest);
    return tok;
}

// As NextToken, but the rest keeps its white space.
sv CutToken(sv& rest) {
    const size_t p = rest.find(' ');
    sv tok;
    if (p == sv::npos) {
        tok = rest;
        rest = {};
    } else {
        tok = rest.substr(0, p);
        rest = rest.substr(p + 1);
    }
    return tok;
}

// Piece `index` (0-based) of `s` split at `sep`; empty when missing.
sv Piece(sv s, char sep, int index) {
    size_t start = 0;
    for (int i = 0; i < index; ++i) {
        const size_t p = s.find(sep, start);
        if (p == sv::npos) return {};
        start = p + 1;
    }
    const size_t end = s.find(sep, start);
    return s.substr(start, end == sv::npos ? sv::npos : end - start);
}

char FirstNonDigit(sv s) {
    for (char c : s)
        if (c < '0' || c > '9') return c;
    return '\0';
}

bool OnlySpacesAndTabs(sv s) {
    for (char c : s)
        if (c != ' ' && c != '\t') return false;
    return true;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// "MM-DD-YYYY": in the usual "MM-DD-YY  hh:mm" layout the two characters after the year are blanks.
bool HasFourDigitYear(sv line) { return line.size() > 9 && IsDigit(line[8]) && IsDigit(line[9]); }

const char* const kMonths[12] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN", "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};

int MonthNumber(sv token) {
    if (token.size() != 3) return 0;
    // The first letter narrows the names down to at most three.
    const char first = Upper(token[0]);
    for (int i = 0; i < 12; ++i)
        if (kMonths[i][0] == first && Upper(token[1]) == kMonths[i][1] && Upper(token[2]) == kMonths[i][2])
            return i + 1;
    return 0;
}

}  // namespace

bool IsUnixPermissionString(const std::string& line) {
    static const char* const kAllowed[10] = {"-BCDLPS", "-RSTWX",  "-ARSTWX", "-RSTWX", "-HRSTWX",
                                             "-RSTWX",  "-RSTWXY", "-ARSTWX", "-RSTWX", "-RSTWX"};
    if (line.size() < 10) return false;
    for (int i = 0; i < 10; ++i) {
        const char c = Upper(line[static_cast<size_t>(i)]);
        if (c == '\0' || std::strchr(kAllowed[i], c) == nullptr) return false;
    }
    return true;
}

void ParseUnixListItem(TIdFTPListItem& item, TIdFTPListFormat currentFormat, const TListDate& today) {
    sv rest = item.RawLine;
    std::string rebuilt;  // holds the rest when a token is pushed back in front of it

    // 1. Permissions and kind.
    const sv perms = NextToken(rest);
    const char kindChar = perms.empty() ? '\0' : Upper(perms[0]);
    const TIdDirItemType kind = kindChar == 'D' ? itDirectory : kindChar == 'L' ? itLink : itFile;
    item.OwnerRights.assign(Slice(perms, 1, 3));
    item.GroupRights.assign(Slice(perms, 4, 3));
    item.OtherRights.assign(Slice(perms, 7, 3));

    sv linkCount, owner, group, size;
    // 2. Link count, unless the line has the "folder" marker in its place.
    const sv second = NextToken(rest);
    if (!EqualsNoCase(second, "folder")) {
        if (second.size() > 3 && second[0] == '0') {
            // Link count and owner run together ("0" + owner).
            linkCount = "0";
            rebuilt.reserve(second.size() + rest.size());
            rebuilt.append(second.substr(1)).append(" ").append(rest);
            rest = rebuilt;
        } else {
            linkCount = second;
        }
        owner = NextToken(rest);  // 3.
        group = NextToken(rest);  // 4.
    }

    // 5. Size; a line without a group column has the month where the size should be.
    if (!rest.empty() && IsLetter(rest[0]) && currentFormat == lfUnix) {
        size = group;
        group = owner;
        owner = {};
    } else {
        const sv tok = NextToken(rest);
        if (tok.find(',') != sv::npos) {
            // Device file: "major, minor" instead of a size. The minor number is its own token
            // only when the major one ends with the comma ("1,3" holds both).
            if (tok.back() == ',') NextToken(rest);
        } else {
            size = tok;
        }
        rest = TrimLeft(rest);
    }

    // 6.-8. Date: month, day, then a year or a time of day.
    const int month = MonthNumber(NextToken(rest));
    const int day = ToIntDef(NextToken(rest), today.Day);
    const sv yearOrTime = CutToken(rest);
    int year = today.Year, hour = 0, minute = 0;
    const size_t colon = yearOrTime.find(':');
    if (colon == sv::npos) {
        year = ToIntDef(yearOrTime, today.Year);
    } else {
        if (today.Month < month) --year;
        hour = ToIntDef(yearOrTime.substr(0, colon), 0);
        minute = ToIntDef(yearOrTime.substr(colon + 1), 0);
    }

    // 9. The rest, unchanged, is the name.
    const sv name = rest;

    // 10. Store.
    TDateTime date, time;
    if (!TryEncodeDate(year, month, day, date)) throw std::invalid_argument("Invalid argument to date encode");
    if (!TryEncodeTime(hour, minute, 0, 999, time)) throw std::invalid_argument("Invalid argument to time encode");
    item.Kind = kind;
    item.LinkCount = ToIntDef(linkCount, 0);
    item.Owner.assign(owner);
    item.Group.assign(group);
    item.ItemSize = ToInt64Def(size, 0);
    item.Modified = CombineDateTime(date, time);
    item.TimeKnown = colon != sv::npos;  // old entries give the year instead of the time

    // 11. Links carry their target after " -> "; without the arrow the whole name stays.
    const size_t arrow = kind == itLink ? name.find(" -> ") : sv::npos;
    if (arrow != sv::npos) {
        item.ItemName.assign(name.substr(0, arrow));
        item.LinkTarget.assign(name.substr(arrow + 4));
    } else {
        item.ItemName.assign(name);
        item.LinkTarget.clear();
    }
}

void ParseDosListItem(TIdFTPListItem& item, const TListDate& today) {
    const sv line = item.RawLine;

    // 1.-2. Date columns, then the time token. A four-digit year (a server option) moves the
    // rest of the line two columns to the right.
    const size_t yearWidth = HasFourDigitYear(line) ? 4 : 2;
    std::string dateText;
    dateText.append(Slice(line, 0, 2)).append("/").append(Slice(line, 3, 2)).append("/");
    dateText.append(Slice(line, 6, yearWidth));
    sv rest = Trim(Slice(line, 6 + yearWidth));
    const sv timeText = CutToken(rest);

    // 3. Date and time; an invalid one only leaves the date unknown.
    const char dateSep = FirstNonDigit(dateText);
    const int month = ToIntDef(Trim(Piece(dateText, dateSep, 0)), 0);
    const int day = ToIntDef(Trim(Piece(dateText, dateSep, 1)), 0);
    int64_t year = ToIntDef(Trim(Piece(dateText, dateSep, 2)), 0);
    if (year < 100) {
        const int64_t century = today.Year / 100 * 100;
        year += year > 50 ? century - 100 : century;
    }

    std::string upperTime = UpperCopy(timeText);
    bool pm = false, am = false;
    size_t p = upperTime.find("PM");
    if (p != std::string::npos) {
        upperTime.resize(p);
        pm = true;
    }
    p = upperTime.find("AM");
    if (p != std::string::npos) {
        upperTime.resize(p);
        am = true;
    }
    const sv clock = Trim(upperTime);
    const char timeSep = FirstNonDigit(timeText);
    int hour, minute = 0, second = 0, ms = 0;
    if (timeSep == '\0') {
        hour = ToIntDef(clock, 0);
    } else {
        hour = ToIntDef(Piece(clock, timeSep, 0), 0);
        minute = ToIntDef(Piece(clock, timeSep, 1), 0);
        second = ToIntDef(Piece(clock, timeSep, 2), 0);
        ms = ToIntDef(Piece(clock, timeSep, 3), 0);
    }
    if (pm && hour < 12) hour += 12;
    if (am && hour == 12) hour = 0;
    TDateTime date, time;
    if (year >= 1 && year <= 9999 && TryEncodeDate(static_cast<int>(year), month, day, date) &&
        TryEncodeTime(hour, minute, second, ms, time)) {
        item.Modified = CombineDateTime(date, time);
        item.TimeKnown = true;
    } else {
        item.Modified = 0;
        item.TimeKnown = false;
    }

    // 4. "<DIR>" or the size.
    rest = Trim(rest);
    const std::string attribute = RemoveCommas(CutToken(rest));
    if (EqualsNoCase(attribute, "<DIR>")) {
        item.Kind = itDirectory;
        // 5. Directory names start after the column padding of nine more spaces; a server that
        // pads less still gets its name, just without leading blanks.
        bool padded = rest.size() >= 9;
        for (size_t i = 0; padded && i < 9; ++i) padded = rest[i] == ' ';
        item.ItemName = std::string(TrimRight(padded ? rest.substr(9) : TrimLeft(rest)));
    } else {
        item.Kind = itFile;
        item.ItemSize = ToInt64Def(attribute, 0);
        item.ItemName = std::string(TrimRight(rest));
    }
}

void ParseNoDetailsListItem(TIdFTPListItem& item) { item.ItemName = std::string(Trim(item.RawLine)); }

TIdFTPListItem* TIdFTPListItems::Slot(size_t index) const {
    if (index < FBase) return FBlocks[0] + index;
    const size_t block = static_cast<size_t>(std::bit_width(index / FBase));
    return FBlocks[block] + (index - BlockCapacity(block));
}

TIdFTPListItem& TIdFTPListItems::Add() {
    const size_t block = FCount < FBase ? 0 : static_cast<size_t>(std::bit_width(FCount / FBase));
    if (block == FBlocks.size()) {
        FBlocks.reserve(block + 1);
        FBlocks.push_back(AllocateBlock(BlockCapacity(block)));
    }
    TIdFTPListItem* const item = Slot(FCount);
    std::construct_at(item);
    ++FCount;
    return *item;
}

void TIdFTPListItems::RemoveLast() {
    std::destroy_at(Slot(FCount - 1));
    --FCount;
}

void TIdFTPListItems::Clear() {
    while (FCount > 0) RemoveLast();
    for (size_t k = 0; k < FBlocks.size(); ++k) FreeBlock(FBlocks[k], BlockCapacity(k));
    FBlocks.clear();
    FBase = 16;
}

void TIdFTPListItems::Reserve(size_t count) {
    if (FCount != 0 || (count <= FBase && !FBlocks.empty())) return;
    Clear();
    if (count > FBase) FBase = count;
}

TListDate TIdFTPListItems::Today() const { return FToday ? *FToday : CurrentLocalDate(); }

TIdFTPListFormat TIdFTPListItems::DetectFormat(const std::string& line, bool details) const {
    if (!details) return lfNoDetails;
    const std::string u = UpperCopy(line);
    if (IsUnixPermissionString(u) || StartsNoCase(u, "TOTAL")) return lfUnix;
    if (u.find("DSK:") != std::string::npos) return lfDsk;

    auto isSep = [&](size_t i) { return i < u.size() && (u[i] == '-' || u[i] == '/'); };
    if (isSep(2) && isSep(5)) {
        const sv dirColumn = Trim(Slice(u, 24, 6));
        if (dirColumn == "<DIR>") return lfDos;
        if (dirColumn.empty() && ToInt64Def(RemoveCommas(Trim(Slice(u, 30, 8))), -1) != -1) return lfDos;
        // The size field ends in column 38 or 39: sizes under ten bytes and of a hundred million
        // bytes or more do not fit the columns above. Four-digit years shift it by two.
        const size_t shift = HasFourDigitYear(u) ? 2 : 0;
        if (Trim(Slice(u, 24 + shift, 6)) == "<DIR>") return lfDos;
        int64_t size;
        if (TryToInt64(RemoveCommas(Trim(Slice(u, 24 + shift, 15))), size) && size >= 0) return lfDos;
    }
    return lfUnknown;
}

void TIdFTPListItems::ParseItem(TIdFTPListItem& item, const TListDate& today) {
    switch (CurrentFormat) {
        case lfNone:
            return;
        case lfDos:
            ParseDosListItem(item, today);
            return;
        case lfUnix:
        case lfDsk:
            ParseUnixListItem(item, CurrentFormat, today);
            return;
        case lfNoDetails:
            ParseNoDetailsListItem(item);
            return;
        case lfCustom:
            if (OnParseCustomListFormat) {
                OnParseCustomListFormat(item);
                return;
            }
            break;
        case lfMlsd:
            if (ParseMlsdLine(item.RawLine, item) == TMlsdLine::Entry) return;
            break;
        case lfUnknown:
            break;
    }
    throw EIdInvalidFTPListingFormat();
}

void TIdFTPListItems::LoadList(const std::vector<std::string>& lines) {
    Clear();
    FDropped = 0;
    FFirstDropped.clear();
    const TListDate today = Today();
    size_t first = 0;
    if (CurrentFormat == lfUnix && !lines.empty() && StartsNoCase(lines[0], "TOTAL")) first = 1;
    Reserve(lines.size() - first);
    for (size_t i = first; i < lines.size(); ++i) {
        sv line = lines[i];
        // A line split at LF only still carries the CR of its CR LF ending.
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (OnlySpacesAndTabs(line)) continue;
        const size_t before = FCount;
        try {
            TIdFTPListItem& item = Add();
            item.RawLine.assign(line);
            if (CurrentFormat != lfNone) ParseItem(item, today);
        } catch (...) {
            // Only the bad line is lost; the items before and after it stay.
            if (FCount > before) RemoveLast();
            if (FDropped++ == 0) FFirstDropped = std::string(line);
        }
    }
    if (FCount == 0) Clear();  // a listing in an unknown layout keeps no reserved room
}
