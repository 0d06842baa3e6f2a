// Parses generated Unix listings and prints the speed in lines per second, the speed relative to
// merely copying the lines (the floor every parser pays), and the memory used per line.
//   bench_listing [lines]   (default 200000)

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_memory.h"
#include "ftp/list_items.h"
#include "ftp/list_parsed.h"

namespace {

using Clock = std::chrono::steady_clock;

std::vector<std::string> MakeListing(size_t count) {
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::vector<std::string> lines;
    lines.reserve(count + 1);
    lines.emplace_back("total " + std::to_string(count * 4));
    char buf[256];
    unsigned seed = 12345;
    for (size_t i = 0; i < count; ++i) {
        seed = seed * 1103515245u + 12345u;
        const unsigned r = seed >> 8;
        const char* month = kMonths[r % 12];
        const int day = 1 + static_cast<int>(r / 12 % 28);
        const long long size = (r % 10 == 0) ? 5368709120LL + r : static_cast<long long>(r % 1000000);
        switch (r % 8) {
            case 0:
                std::snprintf(buf, sizeof buf, "drwxr-xr-x    2 1002     1002         4096 %s %2d %02u:%02u dir %zu",
                              month, day, r % 24, r % 60, i);
                break;
            case 1:
                std::snprintf(buf, sizeof buf,
                              "lrwxrwxrwx    1 tester   tester         11 %s %2d  %u link%zu -> target %zu", month, day,
                              1990 + r % 36, i, i);
                break;
            case 2:
                std::snprintf(buf, sizeof buf,
                              "-rw-r--r--   1 tester   tester   %10lld %s %02d %02u:%02u name with spaces %zu.txt",
                              size, month, day, r % 24, r % 60, i);
                break;
            default:
                std::snprintf(buf, sizeof buf, "-rw-r--r--    1 tester     tester     %10lld %s %2d  %u file%zu.dat",
                              size, month, day, 1990 + r % 36, i);
                break;
        }
        lines.emplace_back(buf);
    }
    return lines;
}

struct Result {
    double parseSeconds = 0;
    double copySeconds = 0;
    long rssBeforeKiB = 0;
    long rssAfterKiB = 0;
    int items = 0;
};

Result Run(size_t count) {
    const std::vector<std::string> lines = MakeListing(count);
    Result r;

    // Reference: copy every line once (what any collection of the raw lines costs).
    auto t0 = Clock::now();
    {
        std::vector<std::string> copy;
        copy.reserve(lines.size());
        for (const std::string& l : lines) copy.push_back(l);
        if (copy.size() != lines.size()) std::abort();
    }
    r.copySeconds = std::chrono::duration<double>(Clock::now() - t0).count();

    r.rssBeforeKiB = CurrentRssKiB();
    std::unique_ptr<TIdFTPListItems> holder;
    t0 = Clock::now();
    TIdFTPListItems& items = BuildParsedListing(holder, lines, {});
    r.parseSeconds = std::chrono::duration<double>(Clock::now() - t0).count();
    r.rssAfterKiB = CurrentRssKiB();
    r.items = items.Count();
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    const size_t count = argc > 1 ? static_cast<size_t>(std::strtoul(argv[1], nullptr, 10)) : 200000;
    std::printf("listing parser benchmark (Unix format)\n");
    for (size_t n : {count / 4, count}) {
        // Best of three: a loaded machine slows single runs by more than any parser change.
        Result r = Run(n);
        for (int round = 1; round < 3; ++round) {
            const Result again = Run(n);
            if (again.parseSeconds < r.parseSeconds) r.parseSeconds = again.parseSeconds;
            if (again.copySeconds < r.copySeconds) r.copySeconds = again.copySeconds;
        }
        if (r.items != static_cast<int>(n)) {
            std::printf("error: %d items from %zu lines\n", r.items, n);
            return 1;
        }
        const double perLineBytes =
            static_cast<double>(r.rssAfterKiB - r.rssBeforeKiB) * 1024.0 / static_cast<double>(n);
        std::printf(
            "%7zu lines: %.3f s, %.0f lines/s, %.1fx the time of copying the lines; "
            "items take %.0f bytes per line (%ld KiB)\n",
            n, r.parseSeconds, static_cast<double>(n) / r.parseSeconds,
            r.parseSeconds / (r.copySeconds > 0 ? r.copySeconds : 1e-9), perLineBytes, r.rssAfterKiB - r.rssBeforeKiB);
    }
    std::printf("peak resident memory: %ld KiB\n", PeakRssKiB());
    return 0;
}
