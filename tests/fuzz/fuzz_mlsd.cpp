// The MLSD parser over the lines of a listing. Every line either gives one entry, is the folder
// itself or its parent, or is counted as malformed: none is lost without a trace.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ftp/list_mlsd.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<std::string> lines = FuzzLines(FuzzBytes(data, size));
    int entries = 0;
    for (const std::string& line : lines) {
        if (line.find_first_not_of(" \t") == std::string::npos) continue;
        TIdFTPListItem item;
        if (ParseMlsdLine(line, item) == TMlsdLine::Entry) {
            FUZZ_CHECK(!item.ItemName.empty() && item.ItemSize >= 0);
            ++entries;
        }
    }
    TIdFTPListItems items;
    int malformed = 0;
    LoadMlsdList(items, lines, &malformed);
    FUZZ_CHECK(items.Count() == entries);
    (void)malformed;
    return 0;
}
