// Listing a large remote directory through the main window (LIST, parsing, sorting, filling and
// painting the remote list) against the bare client's List plus ParsedListing of the same
// directory. Prints both times and the ratio window / bare.
//
//   bench_ui_listing [entries=100000] [rounds=3]
// Needs /usr/bin/python3 with pyftpdlib; the server runs on 127.0.0.1 only.

#include <QApplication>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "bench/bench_ui_common.h"
#include "ftp/ftp_client.h"
#include "transport/anti_freeze.h"
#include "ui/guard.h"
#include "ui/main_form.h"

int main(int argc, char** argv) {
    const int entries = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;

    char root[] = "/tmp/orlix-bench-XXXXXX";
    if (!::mkdtemp(root)) return 1;
    const std::string dir = std::string(root) + "/big";
    ::mkdir(dir.c_str(), 0755);
    // Files with a handful of extensions (and some without), every twentieth entry a directory.
    const char* const tails[] = {".txt", ".dat", ".bin", ".png", ".tar", ""};
    for (int i = 0; i < entries; ++i) {
        const std::string name =
            dir + "/Entry " + std::to_string(100000 + (i * 7919) % 900000) + "_" + std::to_string(i);
        if (i % 20 == 0) {
            ::mkdir(name.c_str(), 0755);
        } else {
            const int fd = ::open((name + tails[i % 6]).c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
            if (fd < 0) return 1;
            if (i % 3 == 0 && ::ftruncate(fd, i * 37) != 0) return 1;
            ::close(fd);
        }
    }
    UseBenchEnvironment(root);

    const int port = FreePort();
    const pid_t server = StartPyftpdlib(port, root);

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
        std::printf(
            "%d entries (%d parsed, %d shown), best of %d: bare List+ParsedListing %.3f s, "
            "window ListRemoteDirectory+paint %.3f s\n",
            entries, parsed, shown, rounds, bare, window);
        std::printf("ratio window/bare time: %.3f\n", window / bare);
        ftp.Disconnect();
        form.IdFTP1->OnDisconnected = nullptr;
        form.IdFTP1->Disconnect();
    }
    StopPyftpdlib(server);
    std::system((std::string("rm -rf ") + root).c_str());
    return status;
}
