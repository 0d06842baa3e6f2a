// Queue soak: a large queue spread over several sites (names and paths of varied lengths, bytes that
// are not ASCII, folders, sizes past 4 GiB, every status) saved to the queue file and loaded again;
// every entry must come back with all its fields. Prints the times and the peak memory.
//   bench_queue_file [entries] [data folder]   (default 5000, a temporary folder)

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_memory.h"
#include "sites/site_table.h"
#include "transfer/queue_model.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point from) { return std::chrono::duration<double, std::milli>(Clock::now() - from).count(); }

// Entry i of the soak: every field varies, lengths up to the file's limits.
TQueueInfo MakeEntry(int i) {
    static const char* const kStatus[] = {"Ready", "Aborted", "Failed"};
    TQueueInfo e;
    const std::string n = std::to_string(i);
    e.FileName = (i % 7 == 0 ? "caf\xe9 " : "file ") + n + std::string(static_cast<size_t>(i % 80), 'x') + ".bin";
    e.LocalPath = "/home/user/" + std::string(static_cast<size_t>(i % 150), 'l') + "/" + n + "/";
    e.RemotePath = "/pub/" + std::string(static_cast<size_t>(i % 170), 'r') + "/";
    e.IsFolder = i % 11 == 0;
    e.FileSize = e.IsFolder ? -1 : (static_cast<int64_t>(i) * 1000003) << (i % 13);
    e.Process = i % 2 ? "Upload" : "Download";
    e.Status = kStatus[i % 3];
    return e;
}

}  // namespace

int main(int argc, char** argv) {
    const int entries = argc > 1 ? std::atoi(argv[1]) : 5000;
    std::string dir = argc > 2 ? argv[2] : "";
    const bool own = dir.empty();
    if (own) {
        char tmpl[] = "/tmp/orlix-queue-soak.XXXXXX";
        if (!mkdtemp(tmpl)) return 1;
        dir = tmpl;
    }
    constexpr int kSites = 5;

    // Entry i belongs to site i % kSites; site 0's queue is the live one.
    TSiteTable sites;
    TTransferQueue queue;
    sites.SetPairedSlots(&queue.Stores());
    for (int s = 0; s < kSites; ++s) sites.SetSiteName(sites.AddSite(), "site " + std::to_string(s));
    sites.SetCurrentSite(0);
    std::vector<std::vector<TQueueInfo>> expected(kSites);
    const auto t0 = Clock::now();
    for (int i = 0; i < entries; ++i) {
        TQueueInfo e = MakeEntry(i);
        expected[static_cast<size_t>(i % kSites)].push_back(e);
        if (i % kSites == 0)
            queue.AppendEntry(e);
        else
            queue.Stores().Slot(i % kSites).Items.push_back(e);
    }
    const double buildMs = Ms(t0);

    const auto t1 = Clock::now();
    queue.SaveQueueFiles(dir, sites);
    const double saveMs = Ms(t1);
    const auto size = std::filesystem::file_size(std::filesystem::path(dir) / TTransferQueue::FileName);

    TSiteTable sitesAgain;
    TTransferQueue again;
    sitesAgain.SetPairedSlots(&again.Stores());
    for (int s = 0; s < kSites; ++s) sitesAgain.SetSiteName(sitesAgain.AddSite(), "site " + std::to_string(s));
    const auto t2 = Clock::now();
    const TQueueLoadReport report = again.LoadQueueFile(dir, std::string("site 0"));
    const double loadMs = Ms(t2);

    int lost = 0;
    auto compare = [&](const std::vector<TQueueInfo>& got, const std::vector<TQueueInfo>& want, int site) {
        for (size_t k = 0; k < want.size(); ++k)
            if (k >= got.size() || !(got[k] == want[k])) {
                if (lost++ < 5) std::fprintf(stderr, "queue soak: site %d entry %zu differs\n", site, k);
            }
        if (got.size() != want.size()) {
            std::fprintf(stderr, "queue soak: site %d has %zu entries, want %zu\n", site, got.size(), want.size());
            ++lost;
        }
    };
    compare(again.QueueEntries(), expected[0], 0);
    for (int s = 1; s < kSites; ++s) compare(again.Stores().Slot(s).Items, expected[static_cast<size_t>(s)], s);
    if (!report.Message.empty()) {
        std::fprintf(stderr, "queue soak: load reported: %s\n", report.Message.c_str());
        ++lost;
    }

    std::printf(
        "queue soak: %d entries over %d sites, file %llu bytes; build %.1f ms, save %.1f ms, load %.1f ms; "
        "peak memory %ld KiB\n",
        entries, kSites, static_cast<unsigned long long>(size), buildMs, saveMs, loadMs, PeakRssKiB());
    std::printf(lost == 0 && report.RecordsRead == entries ? "queue soak: nothing lost (all fields equal)\n"
                                                           : "queue soak: LOST %d\n",
                lost);
    if (own) std::filesystem::remove_all(dir);
    return lost == 0 && report.RecordsRead == entries ? 0 : 1;
}
