// Download speed through the main window (work events, progress display, message pump) against a
// bare Get of the same file with the same buffer sizes. Prints the ratio window / bare.
//
//   bench_ui_window_get [MiB=512] [rounds=3]
// Needs /usr/bin/python3 with pyftpdlib; the server runs on 127.0.0.1 only.

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "bench/bench_ui_common.h"
#include "ftp/ftp_client.h"
#include "transport/stream.h"
#include "ui/guard.h"
#include "transport/anti_freeze.h"
#include "ui/main_form.h"

namespace {

// Swallows what it is given; counts it.
class TNullStream : public TIdStream {
public:
    int64_t Read(void*, int64_t) override { return 0; }
    int64_t Write(const void*, int64_t count) override {
        written_ += count;
        return count;
    }
    int64_t Seek(int64_t offset, TIdSeekOrigin origin) override {
        if (origin == TIdSeekOrigin::soEnd) return written_ + offset;
        return origin == TIdSeekOrigin::soBeginning ? offset : written_ + offset;
    }
    void SetSize(int64_t) override {}
    int64_t Size() override { return written_; }
    int64_t written_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    const int64_t mib = argc > 1 ? std::atoll(argv[1]) : 512;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
    const int64_t size = mib * 1024 * 1024;

    char root[] = "/tmp/orlix-bench-XXXXXX";
    if (!::mkdtemp(root)) return 1;
    const std::string file = std::string(root) + "/big.bin";
    {
        const int fd = ::open(file.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
        if (fd < 0 || ::ftruncate(fd, size) != 0) return 1;
        ::close(fd);
    }
    UseBenchEnvironment(root);

    const int port = FreePort();
    const pid_t server = StartPyftpdlib(port, root);

    int status = 0;
    {
        TGuardedApplication app(argc, argv);
        TMainForm form;
        Configure(*form.IdFTP1, port);

        double bare = 1e9, window = 1e9;
        for (int r = 0; r < rounds; ++r) {
            {
                // The bare client runs without the window's message pump.
                form.IdAntiFreeze1->Active = false;
                TIdFTP ftp;
                Configure(ftp, port);
                ftp.OpenSession();
                TNullStream sink;
                bare = std::min(bare, Seconds([&] { ftp.Get("big.bin", sink); }));
                ftp.Disconnect();
                if (sink.written_ != size) status = 2;
                form.IdAntiFreeze1->Active = true;
            }
            {
                form.IdFTP1->OpenSession();
                TNullStream sink;
                form.Transfer().ExpectedSize = size;
                form.Transfer().Transferring = true;
                form.SetPanelText(0, QStringLiteral("Downloading"));
                window = std::min(window, Seconds([&] { form.IdFTP1->Get("big.bin", sink); }));
                form.IdFTP1->Disconnect();
                if (sink.written_ != size) status = 2;
            }
        }
        std::printf("size %lld MiB, best of %d: bare Get %.3f s (%.1f MiB/s), window %.3f s (%.1f MiB/s)\n",
                    static_cast<long long>(mib), rounds, bare, mib / bare, window, mib / window);
        std::printf("ratio window/bare speed: %.3f\n", bare / window);
    }
    StopPyftpdlib(server);
    ::unlink(file.c_str());
    std::system((std::string("rm -rf ") + root).c_str());
    return status;
}
