// Listing a large remote directory through the main window (LIST, parsing, sorting, filling and
// painting the remote list) against the bare client's List plus ParsedListing of the same
// directory. Prints both times and the ratio window / bare.
//
//   bench_ui_listing [entries=20000] [rounds=3]
// Needs /usr/bin/python3 with pyftpdlib; the server runs on 127.0.0.1 only.

#include <QApplication>
#include <QTreeWidget>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <netinet/in.h>
#include <arpa/inet.h>
#include <thread>
#include <unistd.h>

#include "ftp/ftp_client.h"
#include "transport/anti_freeze.h"
#include "ui/guard.h"
#include "ui/main_form.h"

namespace {

int FreePort() {
    int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(s);
    return ntohs(a.sin_port);
}

bool CanConnect(int port) {
    int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(s);
    return ok;
}

double Seconds(const std::function<void()>& f) {
    const auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

void Configure(TIdFTP& ftp, int port) {
    ftp.SetHost("127.0.0.1");
    ftp.SetPort(port);
    ftp.Username = "tester";
    ftp.Password = "secret";
    ftp.RecvBufferSize = DefaultRecvBufferSize;
    ftp.SendBufferSize = DefaultSendBufferSize;
}

}  // namespace

int main(int argc, char** argv) {
    const int entries = argc > 1 ? std::atoi(argv[1]) : 20000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;

    char root[] = "/tmp/orlix-bench-XXXXXX";
    if (!::mkdtemp(root)) return 1;
    const std::string dir = std::string(root) + "/big";
    ::mkdir(dir.c_str(), 0755);
    // Files with a handful of extensions (and some without), every twentieth entry a directory.
    const char* const tails[] = {".txt", ".dat", ".bin", ".png", ".tar", ""};
    for (int i = 0; i < entries; ++i) {
        const std::string name = dir + "/Entry " + std::to_string(100000 + (i * 7919) % 900000) + "_" + std::to_string(i);
        if (i % 20 == 0) {
            ::mkdir(name.c_str(), 0755);
        } else {
            const int fd = ::open((name + tails[i % 6]).c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
            if (fd < 0) return 1;
            if (i % 3 == 0 && ::ftruncate(fd, i * 37) != 0) return 1;
            ::close(fd);
        }
    }
    const std::string data = std::string(root) + "/data";
    setenv("XDG_DATA_HOME", data.c_str(), 1);
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);

    const int port = FreePort();
    const pid_t server = ::fork();
    if (server == 0) {
        ::setpgid(0, 0);
        const std::string p = std::to_string(port);
        ::execl("/usr/bin/python3", "python3", "-m", "pyftpdlib", "-i", "127.0.0.1", "-p", p.c_str(), "-d", root,
                "-u", "tester", "-P", "secret", static_cast<char*>(nullptr));
        _exit(127);
    }
    for (int i = 0; i < 100 && !CanConnect(port); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));

    int status = 0;
    {
        TGuardedApplication app(argc, argv);
        TMainForm form;
        form.resize(1000, 700);
        form.show();
        QApplication::processEvents();
        Configure(*form.IdFTP1, port);
        form.IdFTP1->OpenSession();
        form.IdFTP1->ChangeDir("/big");

        TIdFTP ftp;
        Configure(ftp, port);
        ftp.OpenSession();
        ftp.ChangeDir("/big");

        double bare = 1e9, window = 1e9;
        int shown = 0, parsed = 0;
        for (int r = 0; r < rounds; ++r) {
            form.IdAntiFreeze1->Active = false;  // the bare client runs without the window's pump
            bare = std::min(bare, Seconds([&] {
                ftp.List(nullptr, "", true);
                parsed = ftp.ParsedListing().Count();
            }));
            form.IdAntiFreeze1->Active = true;
            window = std::min(window, Seconds([&] {
                form.ListRemoteDirectory("");
                QApplication::processEvents();  // paint what was filled in
            }));
            shown = form.RemoteDirList->topLevelItemCount();
        }
        if (shown != entries || parsed < entries) status = 2;
        std::printf("%d entries (%d parsed, %d shown), best of %d: bare List+ParsedListing %.3f s, "
                    "window ListRemoteDirectory+paint %.3f s\n",
                    entries, parsed, shown, rounds, bare, window);
        std::printf("ratio window/bare time: %.3f\n", window / bare);
        ftp.Disconnect();
        form.IdFTP1->OnDisconnected = nullptr;
        form.IdFTP1->Disconnect();
    }
    ::kill(-server, SIGTERM);
    ::waitpid(server, nullptr, 0);
    std::system((std::string("rm -rf ") + root).c_str());
    return status;
}
