// The LIST parser (Unix, MS-DOS, DSK and names-only layouts) over the lines of a listing.
// Byte 0 picks "today" and the format to force; the rest is split into lines at LF. Every line
// is either an item or counted as dropped.

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ftp/list_items.h"
#include "ftp/list_parsed.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const uint8_t selector = data[0];
    std::vector<std::string> lines;
    std::string cur;
    for (size_t i = 1; i < size; ++i) {
        if (data[i] == '\n') {
            lines.push_back(cur);
            cur.clear();
        } else {
            cur.push_back(static_cast<char>(data[i]));
        }
    }
    lines.push_back(cur);

    TIdFTPListItems items;
    items.SetToday(2000 + selector % 50, 1 + selector % 12, 1 + selector % 28);
    for (const std::string& l : lines) {
        (void)items.DetectFormat(l, true);
        (void)items.DetectFormat(l, false);
    }
    items.CurrentFormat = static_cast<TIdFTPListFormat>(selector % 7);
    items.LoadList(lines);  // must never throw
    int kept = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string l = lines[i];
        if (!l.empty() && l.back() == '\r') l.pop_back();
        bool total = i == 0 && items.CurrentFormat == lfUnix && l.size() >= 5;
        for (size_t k = 0; total && k < 5; ++k) total = std::tolower(static_cast<unsigned char>(l[k])) == "total"[k];
        if (!total && l.find_first_not_of(" \t") != std::string::npos) ++kept;
    }
    FUZZ_CHECK(items.Count() + items.DroppedLines() == kept);
    for (int i = 0; i < items.Count(); ++i) (void)FormatListDateTime(items.Items(i).Modified);

    std::unique_ptr<TIdFTPListItems> holder;
    (void)BuildParsedListing(holder, lines, {});
    return 0;
}
