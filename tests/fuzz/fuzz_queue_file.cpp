// The stored queue file. Every whole record lands in a site's queue or among the orphans (none is
// dropped), and the queues saved again load to the same queues.

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>

#include "tests/fuzz/fuzz_support.h"
#include "transfer/queue_file.h"
#include "transfer/queue_model.h"

namespace {

// Sites named after every other distinct site name of the records, so records reach both site
// queues and orphans; the first such site holds the live queue.
void AddSites(const std::string& bytes, TSiteTable& sites) {
    std::set<std::string> seen;
    bool take = true;
    for (size_t at = 0; at + TQueueFileRecord::Size <= bytes.size(); at += TQueueFileRecord::Size) {
        const std::string name =
            TQueueFileRecord::Decode(std::string_view(bytes).substr(at, TQueueFileRecord::Size)).SiteName;
        if (!seen.insert(name).second) continue;
        if (take) sites.SetSiteName(sites.AddSite(), name);
        take = !take;
    }
    sites.SetCurrentSite(0);
}

int Entries(const TTransferQueue& q) {
    int n = static_cast<int>(q.Stores().Orphans.size());
    for (const TQueueStore& s : q.Stores().Slots) n += s.Count();
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FuzzDataDirs dirs;
    dirs.Reset();
    const std::string bytes = FuzzBytes(data, size);
    dirs.Put(TTransferQueue::FileName, bytes);

    TSiteTable sites;
    TTransferQueue queue;
    sites.SetPairedSlots(&queue.Stores());
    AddSites(bytes, sites);
    const std::optional<std::string> live =
        sites.Count() > 0 ? std::optional<std::string>(sites.Site(0).SiteName) : std::nullopt;

    const TQueueLoadReport report = queue.LoadQueueFile(dirs.In(), live);
    const int records = static_cast<int>(size / TQueueFileRecord::Size);
    FUZZ_CHECK(report.RecordsRead == records && Entries(queue) == records);

    queue.SaveQueueFiles(dirs.Out(), sites);
    TTransferQueue again;
    sites.SetPairedSlots(&again.Stores());
    for (int i = 0; i < sites.Count(); ++i) again.Stores().SiteAdded(i, sites.Site(i).SiteName);
    again.LoadQueueFile(dirs.Out(), live);
    FUZZ_CHECK(Entries(again) == records);
    for (int i = 0; i < sites.Count(); ++i) FUZZ_CHECK(again.Stores().Slot(i).Items == queue.Stores().Slot(i).Items);
    FUZZ_CHECK(again.QueueEntries() == queue.QueueEntries());
    return 0;
}
