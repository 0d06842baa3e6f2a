#pragma once
// Pieces of the runner tests: a window stand-in that lists over the real client, a rig that wires
// client, queue, state, questions and runner as the main window does, a pyftpdlib server with
// faults to order, and file helpers for big files.

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ftp/ftp_client.h"
#include "tests/support/ftp_servers.h"
#include "transfer/expand.h"
#include "transfer/file_ops.h"
#include "transfer/queue_model.h"
#include "transfer/queue_runner.h"
#include "transfer/transfer_questions.h"
#include "transfer/transfer_state.h"
#include "transport/intercept.h"

namespace runner_test {

namespace fs = std::filesystem;

// ---- Files

// Writes size bytes of the shared pattern (patternBytes) to path, in pieces.
inline void WritePattern(const std::string& path, int64_t size, int64_t fromOffset = 0) {
    fs::create_directories(fs::path(path).parent_path());
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) throw std::runtime_error("cannot create " + path);
    const int64_t piece = 4 << 20;
    for (int64_t off = 0; off < size; off += piece) {
        const std::string bytes = patternBytes(fromOffset + off, std::min(piece, size - off));
        if (::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
            ::close(fd);
            throw std::runtime_error("cannot write " + path);
        }
    }
    ::close(fd);
}

// A sparse file of size bytes whose last tail bytes carry the pattern (from their own offset).
inline void WriteSparseWithTail(const std::string& path, int64_t size, int64_t tail) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || ::ftruncate(fd, size) != 0) throw std::runtime_error("cannot create " + path);
    const std::string bytes = patternBytes(size - tail, tail);
    if (::pwrite(fd, bytes.data(), bytes.size(), size - tail) != static_cast<ssize_t>(bytes.size()))
        throw std::runtime_error("cannot write " + path);
    ::close(fd);
}

inline int64_t FileSize(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<int64_t>(st.st_size) : -1;
}

// Byte comparison in pieces (big files never sit in memory twice). Empty when equal.
inline std::string CompareFiles(const std::string& a, const std::string& b) {
    FILE* fa = std::fopen(a.c_str(), "rb");
    FILE* fb = std::fopen(b.c_str(), "rb");
    std::string why;
    if (!fa || !fb) {
        why = "cannot open " + std::string(!fa ? a : b);
    } else {
        std::vector<char> ba(1 << 20), bb(1 << 20);
        int64_t offset = 0;
        for (;;) {
            size_t na = std::fread(ba.data(), 1, ba.size(), fa);
            size_t nb = std::fread(bb.data(), 1, bb.size(), fb);
            if (na != nb || std::memcmp(ba.data(), bb.data(), na) != 0) {
                why = a + " and " + b + " differ near offset " + std::to_string(offset);
                break;
            }
            if (na == 0) break;
            offset += static_cast<int64_t>(na);
        }
    }
    if (fa) std::fclose(fa);
    if (fb) std::fclose(fb);
    return why;
}

// Compares the first bytes of two files.
inline std::string ComparePrefix(const std::string& partial, const std::string& whole) {
    const int64_t n = FileSize(partial);
    TempDir tmp;
    FILE* in = std::fopen(whole.c_str(), "rb");
    FILE* out = std::fopen(tmp.file("p").c_str(), "wb");
    if (!in || !out) throw std::runtime_error("cannot compare " + partial);
    std::vector<char> buf(1 << 20);
    for (int64_t left = n; left > 0;) {
        size_t got = std::fread(buf.data(), 1, static_cast<size_t>(std::min<int64_t>(left, buf.size())), in);
        if (got == 0) break;
        std::fwrite(buf.data(), 1, got, out);
        left -= static_cast<int64_t>(got);
    }
    std::fclose(in);
    std::fclose(out);
    return CompareFiles(partial, tmp.file("p"));
}

// Same folders, same files, same bytes. Empty when equal.
inline std::string CompareTrees(const std::string& a, const std::string& b) {
    std::map<std::string, bool> ea, eb;  // relative path -> is directory
    for (const auto& e : fs::recursive_directory_iterator(a)) ea[fs::relative(e.path(), a).string()] = e.is_directory();
    for (const auto& e : fs::recursive_directory_iterator(b)) eb[fs::relative(e.path(), b).string()] = e.is_directory();
    for (const auto& [rel, dir] : ea) {
        auto it = eb.find(rel);
        if (it == eb.end()) return "missing in " + b + ": " + rel;
        if (it->second != dir) return "kind differs: " + rel;
        if (!dir) {
            std::string why = CompareFiles(a + "/" + rel, b + "/" + rel);
            if (!why.empty()) return why;
        }
    }
    for (const auto& [rel, dir] : eb)
        if (!ea.count(rel)) return "extra in " + b + ": " + rel;
    return {};
}

// ---- A pyftpdlib server with faults to order (tests/transfer/test_runner_ftpd.py)

class FaultyFtpd {
public:
    FaultyFtpd(const std::string& root, const std::vector<std::string>& options) {
        // __FILE__ is relative under a compiler cache; the test run names the source folder.
        const char* source = std::getenv("ORLIX_SOURCE_DIR");
        const std::string script =
            (source && *source ? std::string(source) + "/tests/transfer" : fs::path(__FILE__).parent_path().string()) +
            "/test_runner_ftpd.py";
        int out[2];
        if (::pipe(out) != 0) throw std::runtime_error("pipe");
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], 1);
            ::close(out[0]);
            ::close(out[1]);
            int devnull = ::open("/dev/null", O_WRONLY);
            ::dup2(devnull, 2);
            std::vector<std::string> args{"/usr/bin/python3", script, "--root", root};
            args.insert(args.end(), options.begin(), options.end());
            std::vector<char*> argv;
            for (auto& s : args) argv.push_back(s.data());
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        std::string line;
        char c;
        while (::read(out[0], &c, 1) == 1 && c != '\n') line += c;
        ::close(out[0]);
        if (line.rfind("PORT ", 0) != 0) throw std::runtime_error("test ftpd did not start: " + line);
        port_ = std::stoi(line.substr(5));
    }
    ~FaultyFtpd() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    FaultyFtpd(const FaultyFtpd&) = delete;
    FaultyFtpd& operator=(const FaultyFtpd&) = delete;
    int port() const { return port_; }

private:
    pid_t pid_ = -1;
    int port_ = 0;
};

// ---- The window stand-in

class FakeView : public ITransferView {
public:
    explicit FakeView(TIdFTP& ftp) : ftp_(ftp) {}

    TPaneContext pane;
    std::function<void()> onReConnect;
    std::vector<std::string> log;
    std::map<TSoundEvent, int> sounds;
    int reconnects = 0;
    int reconnectTimerStops = 0;
    int localRefreshes = 0;
    int listings = 0;
    bool remoteCommandsEnabled = true;
    bool stopEnabled = false;
    std::vector<std::string> panel0;

    TPaneContext Pane() const override { return pane; }

    void ListRemoteDirectory(const std::string& path) override {
        ++listings;
        pane.RemoteRows.clear();
        if (!path.empty()) ftp_.ChangeDir(path);
        std::string dir = ftp_.WorkingDir();
        try {
            ftp_.List(nullptr, "", true);
            TIdFTPListItems& items = ftp_.ParsedListing();
            for (int i = 0; i < items.Count(); ++i) {
                const TIdFTPListItem& it = items.Items(i);
                if (it.ItemName == "." || it.ItemName == "..") continue;
                const bool isDir = it.Kind == itDirectory;
                pane.RemoteRows.push_back({it.ItemName, isDir ? -1 : it.ItemSize, isDir});
            }
        } catch (const EIdException&) {
        }
        pane.RemoteDir = WithSlash(dir);
    }
    void RefreshLocalPane() override { ++localRefreshes; }
    void ShowPhase(TTransferPhase phase) override { panel0.push_back(PhaseText(phase)); }
    void ShowCurrentFile(const std::string&) override {}
    void ResetProgress() override {}
    void SetRemoteCommandsEnabled(bool enabled) override { remoteCommandsEnabled = enabled; }
    void SetStopEnabled(bool enabled) override { stopEnabled = enabled; }
    void ReConnect() override {
        ++reconnects;
        if (onReConnect) onReConnect();
    }
    void StopReconnectTimer() override { ++reconnectTimerStops; }
    void LogStatus(const std::string& text) override { log.push_back(text); }
    void PlayEventSound(TSoundEvent event) override { ++sounds[event]; }

    int sound(TSoundEvent e) const {
        auto it = sounds.find(e);
        return it == sounds.end() ? 0 : it->second;
    }
    bool logged(const std::string& part) const {
        for (const auto& l : log)
            if (l.find(part) != std::string::npos) return true;
        return false;
    }

private:
    TIdFTP& ftp_;
};

// Client, queue, state, questions and runner wired as the main window wires them; the work
// handlers play the progress display's part in stopping.
struct Rig {
    TIdFTP ftp;
    TTransferQueue queue;
    TTransferState state;
    FakeView view{ftp};
    TScriptedTransferQuestions questions;
    TQueueRunner runner{ftp, queue, state, view, questions};
    TIdLogEvent commandLog;
    std::vector<std::string> sent;  // command lines written on the control connection
    std::string host = "127.0.0.1";
    int port = 0;
    std::string user = "tester", password = "secret";

    // Called on every work event with the running count (before the stop check).
    std::function<void(TWorkMode, int64_t)> onWork;
    int writeBegins = 0;
    int64_t lastPercent = -2;

    Rig() {
        ftp.OnWorkBegin = [this](TIdComponent*, TWorkMode mode, int64_t) {
            if (mode == wkWrite) ++writeBegins;
            runner.WorkBegin();
        };
        ftp.OnWork = [this](TIdComponent*, TWorkMode mode, int64_t count) {
            if (state.Transferring) lastPercent = state.Percent(count);  // not the listings between files
            if (onWork) onWork(mode, count);
            runner.AbortIfStopped();
        };
        ftp.OnWorkEnd = [this](TIdComponent*, TWorkMode) { runner.WorkEnd(); };
        commandLog.LogTime = false;
        commandLog.ReplaceCRLF = false;
        commandLog.OnSent = [this](TIdLogEvent*, const std::string&, const std::string& data) {
            std::string line = data;
            while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
            sent.push_back(line);
        };
        commandLog.SetActive(true);
        ftp.SetIntercept(&commandLog);
        view.onReConnect = [this] { Connect(); };
    }

    void Connect() {
        if (ftp.IsConnected()) ftp.Disconnect();
        ftp.SetHost(host);
        ftp.SetPort(port);
        ftp.Username = user;
        ftp.Password = password;
        ftp.OpenSession();
        view.ListRemoteDirectory(view.pane.RemoteDir);
    }
    void Connect(int serverPort) {
        port = serverPort;
        Connect();
    }

    int sentCount(const std::string& prefix) const {
        return static_cast<int>(
            std::count_if(sent.begin(), sent.end(), [&](const std::string& s) { return s.rfind(prefix, 0) == 0; }));
    }

    // An entry as the expansion would build it.
    static TQueueInfo Entry(const std::string& process, const std::string& name, const std::string& localPath,
                            const std::string& remotePath, int64_t size, bool folder = false) {
        TQueueInfo e;
        e.FileName = name;
        e.LocalPath = WithSlash(localPath);
        e.RemotePath = WithSlash(remotePath);
        e.Process = process;
        e.FileSize = folder ? -1 : size;
        e.IsFolder = folder;
        return e;
    }
};

// One real server per test, a rig connected to it, and folders for the server, the local side and
// the data files.
class RunnerServerTest : public ::testing::TestWithParam<FtpServerKind> {
protected:
    void SetUp() override { ORLIX_SKIP_UNLESS_FTP_SERVER(GetParam()); }

    void Start() {
        server = FtpServerProcess::start(GetParam(), root.path());
        ASSERT_TRUE(server);
        rig.runner.SetDataDir(data.path());
        rig.Connect(server->port());
    }

    TempDir root{"orlix-runner-srv"};
    TempDir local{"orlix-runner-local"};
    TempDir data{"orlix-runner-data"};
    std::unique_ptr<FtpServerProcess> server;
    Rig rig;
};

}  // namespace runner_test
