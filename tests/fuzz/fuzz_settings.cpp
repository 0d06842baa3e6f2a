// The program settings and status file. A short file is refused with an error; a loaded one saved
// again loads to the same settings and local folder.

#include <cstddef>
#include <cstdint>
#include <string>

#include "settings/program_settings.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FuzzDataDirs dirs;
    dirs.Reset();
    dirs.Put(TProgramSettings::FileName, FuzzBytes(data, size));

    // A site the stored name may select, so both outcomes of the lookup are reached.
    TSiteTable sites;
    sites.SetSiteName(sites.AddSite(), "Local demo");
    TProgramSettings settings;
    TSettingsLoadReport report;
    try {
        report = settings.Load(dirs.In(), sites);
    } catch (const EInOutError& e) {
        FUZZ_CHECK(size < TStatusFileRecord::Size && !e.Message().empty());
        return 0;
    }
    FUZZ_CHECK(size >= TStatusFileRecord::Size);
    FUZZ_CHECK(size == TStatusFileRecord::Size || !report.Message.empty());

    settings.Save(dirs.Out(), sites, report.StoredLocalDir);
    TProgramSettings again;
    const TSettingsLoadReport second = again.Load(dirs.Out(), sites);
    FUZZ_CHECK(again.Status == settings.Status);
    FUZZ_CHECK(second.StoredLocalDir == report.StoredLocalDir);
    return 0;
}
