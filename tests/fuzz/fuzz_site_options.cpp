// The per-site options file. Parsing never fails, and the options loaded onto the sites (with
// the records no site took) saved again load to the same options.

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "sites/site_options.h"
#include "sites/site_table.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FuzzDataDirs dirs;
    dirs.Reset();
    const std::string bytes = FuzzBytes(data, size);
    dirs.Put(TSiteOptionsFile::FileName, bytes);

    // Sites for every other distinct record name, so records are both taken and kept.
    TSiteTable sites;
    std::set<std::string> seen;
    bool take = true;
    for (const auto& record : TSiteOptionsFile::Parse(bytes).Records) {
        if (!seen.insert(record.first).second) continue;
        if (take) sites.SetSiteName(sites.AddSite(), record.first);
        take = !take;
    }

    TSiteOptionsFile file;
    file.Load(dirs.In(), sites);
    file.Save(dirs.Out(), sites);

    TSiteTable sitesAgain = sites;
    TSiteOptionsFile again;
    again.Load(dirs.Out(), sitesAgain);
    FUZZ_CHECK(again.Defaults == file.Defaults);
    FUZZ_CHECK(sitesAgain.Sites() == sites.Sites());
    // A kept record of a name some site holds is superseded by that site's own record.
    std::vector<std::pair<std::string, TSiteOptions>> kept;
    for (const auto& record : file.KeptRecords())
        if (sites.FindLastByName(record.first) < 0) kept.push_back(record);
    FUZZ_CHECK(again.KeptRecords() == kept);
    return 0;
}
