// One large download through the whole window path - "Download" on a selected remote row, the
// queue runner, work events, status bar and progress updates, the message pump, offscreen -
// against a bare Get of the same file into a local file with the same buffer sizes, in the same
// run against the same server. Prints the speed ratio window / bare (the target is 0.95 or more).
//
//   bench_ui_transfer [MiB=512] [rounds=5]
//
// The server is vsftpd when scripts/ftp-servers.sh can start it here (root, prepared), otherwise
// pyftpdlib (/usr/bin/python3). Everything lives below a fresh folder in /tmp on 127.0.0.1.

#include <QApplication>
#include <QTimer>
#include <QTreeWidget>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_ui_common.h"
#include "ftp/ftp_client.h"
#include "transfer/transfer_questions.h"
#include "transport/anti_freeze.h"
#include "ui/guard.h"
#include "ui/main_form.h"
#include "ui/queue_view.h"

namespace {

std::string RepoRoot() {
    std::string f = __FILE__;  // <repo>/bench/bench_ui_transfer.cpp
    for (int i = 0; i < 2; ++i) f = f.substr(0, f.find_last_of('/'));
    return f;
}

bool PortFree(int port) {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int one = 1;
    ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    const bool ok = ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(s);
    return ok;
}

// A control port with the 31 passive ports above it free.
int PickPort() {
    std::mt19937 rng(static_cast<unsigned>(::getpid()));
    for (int tries = 0; tries < 200; ++tries) {
        const int port = 20000 + static_cast<int>(rng() % 20000);
        bool ok = true;
        for (int p = port; p <= port + 31 && ok; ++p) ok = PortFree(p);
        if (ok) return port;
    }
    return 0;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

int64_t FileSize(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<int64_t>(st.st_size) : -1;
}

bool WaitFor(const std::function<bool()>& pred, int seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// The server: vsftpd through the project's script when it is ready here, else pyftpdlib.
struct TServer {
    std::string Kind;
    int Port = 0;
    pid_t Pid = -1;  // pyftpdlib only
    std::string Script;

    bool Start(const std::string& root) {
        Port = PickPort();
        if (Port == 0) return false;
        Script = RepoRoot() + "/scripts/ftp-servers.sh";
        const std::string start =
            "bash '" + Script + "' start vsftpd " + std::to_string(Port) + " '" + root + "' >/dev/null 2>&1";
        if (::access(Script.c_str(), R_OK) == 0 && std::system(start.c_str()) == 0 && CanConnect(Port)) {
            Kind = "vsftpd";
            return true;
        }
        Pid = ::fork();
        if (Pid == 0) {
            ::setpgid(0, 0);
            const std::string p = std::to_string(Port);
            const std::string range = std::to_string(Port + 1) + "-" + std::to_string(Port + 31);
            ::execl("/usr/bin/python3", "python3", "-m", "pyftpdlib", "-i", "127.0.0.1", "-p", p.c_str(), "-w", "-d",
                    root.c_str(), "-u", "tester", "-P", "secret", "-r", range.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        for (int i = 0; i < 100 && !CanConnect(Port); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        Kind = "pyftpdlib";
        return CanConnect(Port);
    }
    void Stop() {
        if (Kind == "vsftpd") {
            const std::string stop = "bash '" + Script + "' stop vsftpd " + std::to_string(Port) + " >/dev/null 2>&1";
            if (std::system(stop.c_str()) != 0) std::fprintf(stderr, "stopping vsftpd failed\n");
        } else if (Pid > 0) {
            ::kill(-Pid, SIGTERM);
            ::waitpid(Pid, nullptr, 0);
        }
    }
};

}  // namespace

int main(int argc, char** argv) {
    const int64_t mib = argc > 1 ? std::atoll(argv[1]) : 512;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    const int64_t size = mib * 1024 * 1024;

    char base[] = "/tmp/orlix-bench-ui-XXXXXX";
    if (!::mkdtemp(base)) return 1;
    ::chmod(base, 0755);
    const std::string root = std::string(base) + "/srv";
    const std::string local = std::string(base) + "/local";
    ::mkdir(root.c_str(), 0755);
    ::mkdir(local.c_str(), 0755);
    {
        // Random content, so nothing along the way can shortcut zeros.
        const int fd = ::open((root + "/big.bin").c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
        if (fd < 0) return 1;
        std::mt19937_64 rng(42);
        std::string block(1 << 20, '\0');
        for (int64_t done = 0; done < size; done += static_cast<int64_t>(block.size())) {
            for (size_t i = 0; i + 8 <= block.size(); i += 8) {
                const uint64_t v = rng();
                std::memcpy(&block[i], &v, 8);
            }
            const size_t n = static_cast<size_t>(std::min<int64_t>(size - done, static_cast<int64_t>(block.size())));
            if (::write(fd, block.data(), n) != static_cast<ssize_t>(n)) return 1;
        }
        ::close(fd);
    }
    UseBenchEnvironment(base);

    TServer server;
    if (!server.Start(root)) {
        std::fprintf(stderr, "no FTP server could be started\n");
        return 1;
    }

    int status = 0;
    {
        TGuardedApplication app(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);
        guard::SetErrorSink([&](const QString& m) {
            std::fprintf(stderr, "error: %s\n", m.toUtf8().constData());
            status = 3;
        });
        auto form = std::make_unique<TMainForm>();
        form->CreateDialogs();
        TScriptedTransferQuestions questions;
        form->QueueView().SetQuestions(&questions);
        form->SetLocalDir(QString::fromStdString(local));

        const int site = form->SiteTable().AddSite();
        form->SiteTable().SetSiteName(site, "bench");
        TFTPInfo& info = form->SiteTable().Site(site);
        info.Host = "127.0.0.1";
        info.Port = server.Port;
        info.UserName = "tester";
        info.Password = "secret";
        info.HomeDir = "/";
        info.Retries = 3;
        info.RetryDelay = 1;
        form->SiteTable().SetCurrentSite(site);
        form->ToolButton2Click();
        if (!WaitFor([&] { return form->RemoteDirList->isEnabled() && form->LastRemoteRowIndex() >= 0; }, 60)) {
            std::fprintf(stderr, "the window did not connect\n");
            server.Stop();
            return 1;
        }
        auto selectBig = [&] {
            form->RemoteDirList->clearSelection();
            for (int i = 0; i <= form->LastRemoteRowIndex() && i < form->RemoteDirList->topLevelItemCount(); ++i)
                if (form->HostDirInfo()[static_cast<size_t>(i)].Name == "big.bin")
                    form->RemoteDirList->topLevelItem(i)->setSelected(true);
        };

        const std::string windowFile = local + "/big.bin";
        const std::string bareFile = local + "/bare.bin";
        std::vector<double> bareTimes, windowTimes;
        for (int r = 0; r < rounds; ++r) {
            auto runWindow = [&] {
                ::unlink(windowFile.c_str());
                selectBig();
                const double t = Seconds([&] { form->ToolButton7Click(); });
                if (FileSize(windowFile) != size || form->Queue().QueueCount() != 0) {
                    std::fprintf(stderr, "window download incomplete: %lld bytes\n",
                                 static_cast<long long>(FileSize(windowFile)));
                    status = 2;
                }
                windowTimes.push_back(t);
            };
            auto runBare = [&] {
                ::unlink(bareFile.c_str());
                // A client of its own, without the window's message pump.
                form->IdAntiFreeze1->Active = false;
                TIdFTP ftp;
                ftp.SetHost("127.0.0.1");
                ftp.SetPort(server.Port);
                ftp.Username = "tester";
                ftp.Password = "secret";
                ftp.RecvBufferSize = form->IdFTP1->RecvBufferSize;
                ftp.SendBufferSize = form->IdFTP1->SendBufferSize;
                ftp.OpenSession();
                const double t = Seconds([&] { ftp.Get("/big.bin", bareFile, true, false); });
                ftp.Disconnect();
                form->IdAntiFreeze1->Active = true;
                if (FileSize(bareFile) != size) status = 2;
                bareTimes.push_back(t);
            };
            // Alternate the order so neither side always meets a warm or a cold cache first.
            if (r % 2 == 0) {
                runWindow();
                runBare();
            } else {
                runBare();
                runWindow();
            }
        }
        const double bare = *std::min_element(bareTimes.begin(), bareTimes.end());
        const double window = *std::min_element(windowTimes.begin(), windowTimes.end());
        std::printf("server %s, size %lld MiB, %d rounds (best, median)\n", server.Kind.c_str(),
                    static_cast<long long>(mib), rounds);
        std::printf("bare Get:    %.3f s (%.1f MiB/s), median %.3f s\n", bare, static_cast<double>(mib) / bare,
                    Median(bareTimes));
        std::printf("window path: %.3f s (%.1f MiB/s), median %.3f s\n", window, static_cast<double>(mib) / window,
                    Median(windowTimes));
        std::printf("ratio window/bare speed: best %.3f, median %.3f (target >= 0.95)\n", bare / window,
                    Median(bareTimes) / Median(windowTimes));
        form->SetFirstActivation(false);
        form.reset();
        guard::SetErrorSink({});
    }
    server.Stop();
    if (std::system((std::string("rm -rf '") + base + "'").c_str()) != 0) std::fprintf(stderr, "cleanup failed\n");
    return status;
}
