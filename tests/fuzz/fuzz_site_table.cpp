// The site list file. Every whole record becomes a site, damage is reported, and the loaded table
// saved again loads to the same table.

#include <cstddef>
#include <cstdint>
#include <string>

#include "sites/site_table.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FuzzDataDirs dirs;
    dirs.Reset();
    const std::string bytes = FuzzBytes(data, size);
    dirs.Put(TSiteTable::FileName, bytes);

    TSiteTable table;
    const TSiteLoadReport report = table.Load(dirs.In());
    FUZZ_CHECK(report.SitesLoaded == static_cast<int>(size / TSiteFileRecord::Size));
    FUZZ_CHECK(size % TSiteFileRecord::Size == 0 || !report.Message.empty());

    table.Save(dirs.Out());
    TSiteTable again;
    again.Load(dirs.Out());
    FUZZ_CHECK(again.Sites() == table.Sites());
    return 0;
}
