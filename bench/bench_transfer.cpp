// One download or upload with the program's FTP client, timed; bench/transfer.sh runs it next to
// curl against the same server and file and prints the ratios.
//
//   bench_transfer get|put HOST PORT USER PASSWORD REMOTE LOCAL RECVBUF SENDBUF [active]
//
// Prints one line: "seconds=S bytes=N peak_rss_kib=K". The time covers connect, login and the
// transfer, as curl's time_total does.

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "ftp/ftp_client.h"

namespace {

int usage() {
    std::fprintf(stderr, "usage: bench_transfer get|put HOST PORT USER PASSWORD REMOTE LOCAL RECVBUF SENDBUF [active]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 10 && argc != 11) return usage();
    const std::string mode = argv[1];
    if (mode != "get" && mode != "put") return usage();
    const bool active = argc == 11 && std::string(argv[10]) == "active";

    try {
        const auto start = std::chrono::steady_clock::now();
        TIdFTP ftp;
        ftp.SetHost(argv[2]);
        ftp.SetPort(std::atoi(argv[3]));
        ftp.Username = argv[4];
        ftp.Password = argv[5];
        ftp.Passive = !active;
        ftp.RecvBufferSize = std::atoi(argv[8]);
        ftp.SendBufferSize = std::atoi(argv[9]);
        int64_t bytes = 0;
        ftp.OnWork = [&bytes](TIdComponent*, TWorkMode, int64_t count) { bytes = count; };
        ftp.OpenSession(true);
        ftp.SetTransferType(ftBinary);
        if (mode == "get")
            ftp.Get(argv[6], argv[7], true);
        else
            ftp.Put(argv[7], argv[6]);
        ftp.Disconnect();
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        std::printf("seconds=%.4f bytes=%lld peak_rss_kib=%ld\n", seconds, static_cast<long long>(bytes),
                    usage.ru_maxrss);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_transfer: %s\n", e.what());
        return 1;
    }
}
