#include "ui/remote_listing.h"

#include <algorithm>
#include <cmath>

namespace {

std::string FoldCase(const std::string& s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool IsDotEntry(const std::string& name) { return name == "." || name == ".."; }

}  // namespace

std::string HostSortRow(const TIdFTPListItem& item, const std::string& dateText) {
    if (item.Kind == itDirectory) return "d" + item.ItemName + "\\ -1 " + dateText;
    return "f" + item.ItemName + "\\ " + std::to_string(item.ItemSize) + " " + dateText;
}

std::vector<size_t> SortedRowOrder(const std::vector<std::string>& sortRows) {
    std::vector<std::string> keys;
    keys.reserve(sortRows.size());
    for (const std::string& r : sortRows) keys.push_back(FoldCase(r));
    std::vector<size_t> order(sortRows.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&keys](size_t a, size_t b) { return keys[a] < keys[b]; });
    return order;
}

std::string ModifiedText(const std::string& dateText) {
    std::string out;
    std::string word;
    int words = 0;
    for (size_t i = 0; i <= dateText.size() && words < 3; ++i) {
        const char c = i < dateText.size() ? dateText[i] : ' ';
        if (c != ' ') {
            word += c;
            continue;
        }
        if (word.empty()) continue;
        if (!out.empty()) out += ' ';
        out += word;
        word.clear();
        ++words;
    }
    return out;
}

std::string RemoteSizeText(int64_t size) {
    if (size <= 1024) return std::to_string(size);
    int64_t kb = size / 1024;
    const int64_t rest = size % 1024;
    if (rest > 512 || (rest == 512 && kb % 2 != 0)) ++kb;
    return std::to_string(kb) + " KB";
}

std::vector<THostDirInfo> BuildHostDirRows(const TIdFTPListItems& items, const TListDateFormatter& formatDate,
                                           const TListDateFormatter& formatTime) {
    const int count = items.Count();

    // Many entries share a day: format each day once (the date text and its column text).
    struct TDay {
        std::string Text, Modified;
    };
    std::unordered_map<int64_t, TDay> days;
    auto dayOf = [&](TDateTime value) -> const TDay& {
        const auto day = static_cast<int64_t>(std::floor(value));
        auto it = days.find(day);
        if (it == days.end()) {
            TDay d;
            d.Text = formatDate ? formatDate(value) : std::string();
            d.Modified = ModifiedText(d.Text);
            it = days.emplace(day, std::move(d)).first;
        }
        return it->second;
    };

    // Times repeat far less, but a minute is still formatted once.
    std::unordered_map<int64_t, std::string> minutes;
    auto timeOf = [&](TDateTime value) -> const std::string& {
        const auto minute = static_cast<int64_t>(std::floor(value * 24 * 60));
        auto it = minutes.find(minute);
        if (it == minutes.end()) it = minutes.emplace(minute, formatTime(value)).first;
        return it->second;
    };

    std::vector<const TIdFTPListItem*> shown;
    std::vector<std::string> sortRows;
    std::vector<const TDay*> dates;
    shown.reserve(static_cast<size_t>(count));
    sortRows.reserve(static_cast<size_t>(count));
    dates.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        const TIdFTPListItem& item = items.Items(i);
        if (IsDotEntry(item.ItemName)) continue;
        const TDay& day = dayOf(item.Modified);
        shown.push_back(&item);
        dates.push_back(&day);
        sortRows.push_back(HostSortRow(item, day.Text));
    }

    std::vector<THostDirInfo> rows;
    rows.reserve(shown.size());
    for (size_t k : SortedRowOrder(sortRows)) {
        const TIdFTPListItem& item = *shown[k];
        THostDirInfo row;
        row.Name = item.ItemName;
        row.IsDir = item.Kind == itDirectory;
        row.Size = row.IsDir ? -1 : item.ItemSize;
        row.Modified = dates[k]->Modified;
        if (item.TimeKnown && formatTime && !row.Modified.empty()) row.Modified += " " + timeOf(item.Modified);
        row.ModifiedAt = item.Modified;
        rows.push_back(std::move(row));
    }
    return rows;
}

std::string TIconTailCache::Tail(const std::string& name) {
    return name.size() <= 4 ? name : name.substr(name.size() - 4);
}

TIconTailCache::TLookup TIconTailCache::Lookup(const std::string& fileName) {
    TLookup r;
    r.Tail = Tail(fileName);
    const auto it = slots_.find(r.Tail);
    if (it != slots_.end()) {
        r.Slot = it->second;
        return r;
    }
    if (r.Tail.empty() || r.Tail[0] != '.') return r;
    r.Slot = next_++;
    r.IsNew = true;
    slots_.emplace(r.Tail, r.Slot);
    return r;
}

std::vector<size_t> ColumnRowOrder(const std::vector<THostDirInfo>& rows, THostColumn column, bool descending,
                                   const std::function<int(size_t, size_t)>& compareNames) {
    std::vector<size_t> order(rows.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    auto nameOrder = [&](size_t a, size_t b) {
        const int c = compareNames(a, b);
        if (c != 0) return c;
        return rows[a].Name.compare(rows[b].Name);
    };
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        const THostDirInfo& x = rows[a];
        const THostDirInfo& y = rows[b];
        if (x.IsDir != y.IsDir) return x.IsDir;
        int c = 0;
        switch (column) {
            case THostColumn::Name:
                return descending ? nameOrder(b, a) < 0 : nameOrder(a, b) < 0;
            case THostColumn::Size:
                c = x.Size < y.Size ? -1 : x.Size > y.Size ? 1 : 0;
                break;
            case THostColumn::Modified:
                c = x.ModifiedAt < y.ModifiedAt ? -1 : x.ModifiedAt > y.ModifiedAt ? 1 : 0;
                break;
        }
        if (c != 0) return descending ? c > 0 : c < 0;
        return nameOrder(a, b) < 0;
    });
    return order;
}
