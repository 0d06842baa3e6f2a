// libFuzzer target for the listing parser. Not part of the CMake build (it needs clang):
//   clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -I. \
//       ftp/list_items.cpp ftp/list_datetime.cpp ftp/list_parsed.cpp tests/fuzz/fuzz_listing.cpp -o fuzz_listing
//   ./fuzz_listing -max_total_time=60
// The input is split into lines at LF; its first byte also picks "today" and the format to force.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ftp/list_items.h"
#include "ftp/list_parsed.h"

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
    for (int i = 0; i < items.Count(); ++i) (void)FormatListDateTime(items.Items(i).Modified);

    std::unique_ptr<TIdFTPListItems> holder;
    (void)BuildParsedListing(holder, lines, {});
    return 0;
}
