#pragma once
// Set-up shared by the bench_ui* programs. A header only: every bench/*.cpp is a program of its
// own, so there is no library to put this in.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

#include "ftp/ftp_client.h"
#include "settings/program_settings.h"

// A port on 127.0.0.1 that the kernel just handed out and that is free again.
inline int FreePort() {
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

inline bool CanConnect(int port) {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(s);
    return ok;
}

inline double Seconds(const std::function<void()>& f) {
    const auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

inline void Configure(TIdFTP& ftp, int port) {
    ftp.SetHost("127.0.0.1");
    ftp.SetPort(port);
    ftp.Username = "tester";
    ftp.Password = "secret";
    ftp.RecvBufferSize = DefaultRecvBufferSize;
    ftp.SendBufferSize = DefaultSendBufferSize;
}

// Keeps the window's settings inside the bench folder and, unless asked otherwise, off screen.
inline void UseBenchEnvironment(const std::string& root) {
    setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
}

// pyftpdlib serving root to tester/secret. It gets a process group of its own so that stopping
// it also ends what python started; waits up to 10 s for it to take connections.
inline pid_t StartPyftpdlib(int port, const char* root) {
    const pid_t server = ::fork();
    if (server == 0) {
        ::setpgid(0, 0);
        const std::string p = std::to_string(port);
        ::execl("/usr/bin/python3", "python3", "-m", "pyftpdlib", "-i", "127.0.0.1", "-p", p.c_str(), "-d", root, "-u",
                "tester", "-P", "secret", static_cast<char*>(nullptr));
        _exit(127);
    }
    for (int i = 0; i < 100 && !CanConnect(port); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return server;
}

inline void StopPyftpdlib(pid_t server) {
    ::kill(-server, SIGTERM);
    ::waitpid(server, nullptr, 0);
}
