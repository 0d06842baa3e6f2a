// Soak of the window's transfer engine: one folder tree down and then up again through the queue
// runner, in one session, as "Download" and "Upload" of a folder in the window do. Prints the time
// of each way and the resident memory after the first tenth of the files and at the end, so growth
// within a session shows.
//
//   bench_tree_soak PORT REMOTE_FOLDER LOCAL_DIR REMOTE_TARGET
//     downloads REMOTE_FOLDER (below the login directory) into LOCAL_DIR, then uploads
//     LOCAL_DIR/REMOTE_FOLDER into REMOTE_TARGET (an existing remote directory). User tester,
//     password secret, 127.0.0.1, passive mode.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/bench_memory.h"
#include "ftp/ftp_client.h"
#include "transfer/queue_model.h"
#include "transfer/queue_runner.h"
#include "transfer/transfer_questions.h"
#include "transfer/transfer_state.h"

namespace {

// The window's part: no panes to refresh, no sounds; the log goes to stderr.
class SoakView : public ITransferView {
public:
    explicit SoakView(TIdFTP& ftp) : ftp_(ftp) {}
    TPaneContext pane;

    TPaneContext Pane() const override { return pane; }
    void ListRemoteDirectory(const std::string& path) override {
        if (!path.empty()) ftp_.ChangeDir(path);
        pane.RemoteDir = RemoteDirPath(ftp_.WorkingDir());
    }
    void RefreshLocalPane() override {}
    void ShowPhase(TTransferPhase) override {}
    void ShowCurrentFile(const std::string&) override {}
    void ResetProgress() override {}
    void SetRemoteCommandsEnabled(bool) override {}
    void SetStopEnabled(bool) override {}
    void ReConnect() override {}
    void StopReconnectTimer() override {}
    void LogStatus(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
    void PlayEventSound(TSoundEvent) override {}

private:
    TIdFTP& ftp_;
};

// A fresh tree meets no existing file; a question would mean the soak went wrong.
class NoQuestions : public ITransferQuestions {
public:
    int AskFileExists(const std::string& name, int64_t, int64_t, bool) override {
        std::fprintf(stderr, "soak: unexpected question about %s\n", name.c_str());
        return 14;  // skip, which the tree comparison then reports
    }
    std::string AskNewName(const std::string&) override { return {}; }
};

TQueueInfo FolderEntry(const char* process, const std::string& name, const std::string& localPath,
                       const std::string& remotePath) {
    TQueueInfo e;
    e.FileName = name;
    e.LocalPath = LocalDirPath(localPath);
    e.RemotePath = RemoteDirPath(remotePath);
    e.Process = process;
    e.FileSize = -1;
    e.IsFolder = true;
    return e;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: bench_tree_soak PORT REMOTE_FOLDER LOCAL_DIR REMOTE_TARGET\n");
        return 2;
    }
    const std::string folder = argv[2], localDir = argv[3], target = argv[4];
    TIdFTP ftp;
    TTransferQueue queue;
    TTransferState state;
    SoakView view{ftp};
    NoQuestions questions;
    TQueueRunner runner{ftp, queue, state, view, questions};
    runner.SetDataDir(localDir);

    int files = 0;
    long earlyRss = 0;
    ftp.OnWorkBegin = [&](TIdComponent*, TWorkMode, int64_t) { runner.WorkBegin(); };
    ftp.OnWork = [&](TIdComponent*, TWorkMode, int64_t) { runner.AbortIfStopped(); };
    ftp.OnWorkEnd = [&](TIdComponent*, TWorkMode) {
        if (state.Transferring && ++files == 1000) earlyRss = CurrentRssKiB();  // files, not listings
        runner.WorkEnd();
    };
    try {
        ftp.SetHost("127.0.0.1");
        ftp.SetPort(std::atoi(argv[1]));
        ftp.Username = "tester";
        ftp.Password = "secret";
        ftp.Passive = true;
        ftp.OpenSession();
        view.ListRemoteDirectory("");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "soak: cannot connect: %s\n", e.what());
        return 1;
    }
    const std::string home = view.pane.RemoteDir;

    // run: one folder entry through the queue; prints its time and memory, false when it failed.
    auto run = [&](const char* way, const TQueueInfo& entry) {
        files = 0;
        earlyRss = 0;
        queue.AppendEntry(entry);
        const auto start = std::chrono::steady_clock::now();
        runner.TransferQueue();
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("%-4s %6d files in %6.1f s; resident %ld KiB after 1000 files, %ld KiB at the end\n", way, files,
                    seconds, earlyRss, CurrentRssKiB());
        if (!runner.LastRunError().empty() || queue.QueueCount() != 0) {
            std::fprintf(stderr, "soak: %s failed: %s\n", way, runner.LastRunError().c_str());
            return false;
        }
        return true;
    };
    if (!run("down", FolderEntry("Download", folder, localDir, home))) return 1;
    if (!run("up", FolderEntry("Upload", folder, localDir, home + target))) return 1;
    std::printf("peak resident memory %ld KiB\n", PeakRssKiB());
    return 0;
}
