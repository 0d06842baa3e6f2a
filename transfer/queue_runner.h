#pragma once
// The queue runner: takes entries from the front of the live queue and transfers them over the
// connected FTP client (single files, whole directory trees, resumed uploads in chunks), asks
// about existing files, honours Stop, and removes each finished entry. Everything the window
// does for it goes through ITransferView; the questions through ITransferQuestions.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "settings/program_settings.h"
#include "transfer/expand.h"
#include "transfer/queue_model.h"
#include "transfer/transfer_questions.h"
#include "transfer/transfer_state.h"
#include "transfer/verify.h"
#include "transport/id_exception.h"

class TIdFTP;
struct TRemoteListEntry;

// The entry cannot be done as asked (refused by the server, a local file problem, a failed
// check); it is marked "Failed" with this reason and the run goes on with the next entry.
class ETransferRefused : public EIdException {
public:
    using EIdException::EIdException;
};

// The user's Stop, met between two steps of an entry: the entry stays, marked by Stop.
class ETransferStopped : public EIdException {
public:
    ETransferStopped() : EIdException("Stopped") {}
};

// The phases a run shows to the user.
enum class TTransferPhase { Downloading, Uploading };
// "Downloading", "Uploading".
const char* PhaseText(TTransferPhase phase);

// What the runner asks of the main window. Queue rows are not here: the runner edits the queue
// model, whose IQueueView tells the window.
class ITransferView {
public:
    virtual ~ITransferView() = default;

    // The remote pane's listing table, its directory (LastRemoteDir) and the local folder.
    virtual TPaneContext Pane() const = 0;
    // The listing routine: change to path (none when empty), then list and show the current
    // remote directory. A failed change of directory raises.
    virtual void ListRemoteDirectory(const std::string& path) = 0;
    // The local pane re-reads its folder.
    virtual void RefreshLocalPane() = 0;

    // What the run is doing now, and the file it is moving (its name within its folder).
    virtual void ShowPhase(TTransferPhase phase) = 0;
    virtual void ShowCurrentFile(const std::string& name) = 0;
    // The transfer is over: the phase, file and progress shown go back to idle; the runner has
    // already cleared Transferring.
    virtual void ResetProgress() = 0;
    // A chunked resumed upload starts: the progress clock and the average speed restart once.
    virtual void RestartProgress() {}

    // The remote directory combo, the up button and the remote pop-up items from "&Make
    // Directory" to "&Refresh" (disabled while a run lasts).
    virtual void SetRemoteCommandsEnabled(bool enabled) = 0;
    // The toolbar "Stop transfer" button and the Transfer menu's "Stop".
    virtual void SetStopEnabled(bool enabled) = 0;

    // ReConnect (the failure path of a run) and stopping the reconnection timer (Stop while
    // nothing transfers).
    virtual void ReConnect() = 0;
    virtual void StopReconnectTimer() = 0;

    // A blue status line in the status log.
    virtual void LogStatus(const std::string& text) = 0;
    // Plays the event's sound when the settings switch it on (errors ignored by the callee).
    virtual void PlayEventSound(TSoundEvent event) = 0;
    // Lets pending user input run between entries.
    virtual void ProcessEvents() {}
};

class TQueueRunner {
public:
    // Block size of resumed uploads and blocks per chunk (4 MiB in the scratch file at most).
    static constexpr int kResumeBlockSize = 16384;
    static constexpr int kResumeBlocksPerChunk = 256;
    static constexpr const char* kScratchFileName = "0.tmp";
    // What a file that replaces an existing one is called until it is complete and checked
    // (beside the local file, or beside the remote one); a cut one stays for the next try.
    static constexpr const char* kPartSuffix = ".orlix-part";

    TQueueRunner(TIdFTP& ftp, TTransferQueue& queue, TTransferState& state, ITransferView& view,
                 ITransferQuestions& questions);

    // Folder of the scratch file of resumed uploads (the data folder; without one the program's
    // data folder is used).
    void SetDataDir(const std::string& dataDir) { dataDir_ = dataDir; }
    std::string ScratchFilePath() const;

    // ---- Commands
    // "Transfer queue": runs the whole queue when it has entries and no run is going on.
    void TransferQueue();
    // "Download": the selected remote rows (their captions, in row order) go to the front of the
    // queue and exactly those run. While a transfer or a run is going on they are only added.
    void DownloadNow(const TPaneContext& pane, const std::vector<std::string>& names);
    // "Upload": the same for the full paths of the selected local items.
    void UploadNow(const TPaneContext& pane, const std::vector<std::string>& fullPaths);
    // "Stop transfer".
    void Stop();

    // ---- For the progress display's work events
    // Work begin: true when the display restarts its clock and speed.
    bool WorkBegin() { return state_.WorkBegin(); }
    // After the display was updated by a work event: aborts the running data transfer when a
    // stop was asked (ABOR, data connection closed; errors ignored). Returns whether it did.
    bool AbortIfStopped();
    // Work end: resets the status bar outside a chunked resumed upload.
    void WorkEnd();
    // Transferring := false and the status bar's display reset.
    void ResetStatusBar();

    // ---- The engine (public for the window's commands and for tests)
    // Processes count entries from the front (0: all). Refused while another run is going on.
    void RunQueue(int count);
    void DownloadTree(const std::string& remoteBase, const std::string& localBase, const std::string& folder);
    void UploadTree(const std::string& localBase, const std::string& remoteBase, const std::string& localFolder);
    void ResumeUpload(const std::string& localFile, const std::string& remoteFile, int64_t remoteSize,
                      int64_t localSize);

    bool Running() const { return state_.RunActive; }
    // The message of the exception that ended the last run, empty when it did not fail.
    const std::string& LastRunError() const { return lastRunError_; }

private:
    // One file of an entry, a single file or one inside a tree.
    struct TFileJob {
        bool Upload = false;
        std::string LocalDir;   // ends in "/"
        std::string RemoteDir;  // ends in "/"
        std::string Name;
        std::string Label;        // the file-exists dialog's name label
        int64_t ListedSize = -1;  // a download's size in the listing (-1 unknown)
        bool Single = true;       // a single-file entry (its resume state is shown)
        std::string LocalFile() const { return LocalDir + Name; }
        std::string RemoteFile() const { return RemoteDir + Name; }
    };

    void ProcessEntry(const TQueueInfo& c);
    void DownloadFile(const TQueueInfo& c);
    void UploadFile(const TQueueInfo& c);
    // A file of a download: new, or through the question when the local file exists.
    void DownloadJob(const TFileJob& job);
    // A file of an upload; remoteNames is the listing of its remote directory.
    void UploadJob(const TFileJob& job, const std::vector<std::string>& remoteNames, bool allocate);
    // The one copy of the conflict handling: asks (unless answered for all) and acts.
    void ResolveConflict(const TFileJob& job, int64_t existingSize, int64_t newSize, bool resumeEnabled);
    // Receives into the local file (appending when resume) or sends it, then checks the result.
    void Receive(const TFileJob& job, const std::string& localFile, bool resume);
    void Send(const TFileJob& job, const std::string& remoteFile);
    // Overwrite through a temporary file renamed over the original once complete and checked.
    void ReplaceLocal(const TFileJob& job);
    void ReplaceRemote(const TFileJob& job);
    // Compares size (and digest, when the server offers one) of both sides; raises
    // ETransferRefused on a mismatch.
    void Verify(const TFileJob& job, const std::string& localFile, const std::string& remoteFile);
    bool ServerOffers(const std::string& feature);
    std::optional<TFileDigest> RemoteDigest(const std::string& remoteFile);
    // The names in a remote directory (LIST); a refused or cut listing raises, never "empty".
    std::vector<std::string> ListRemoteNames(const std::string& dir);
    bool RemoteExists(const std::vector<std::string>& names, const std::string& dir, const std::string& name);
    // A name not taken yet for a renamed copy of name, asked from the user.
    std::string AskFreeName(const std::string& name, const std::function<bool(const std::string&)>& taken);
    void CheckStop() const;
    bool IsRefusal(const std::exception& e) const;
    int AskExists(const std::string& label, int64_t originalSize, int64_t newSize, bool resumeEnabled);
    // Index of the entry being transferred (same entry, any status), or -1.
    int FindCurrent(int hint) const;
    void Log(const std::string& text) { view_.LogStatus(text); }
    void PlaySound(TSoundEvent event);
    void LogListingRejects(const std::vector<std::string>& texts);
    // For a link in a downloaded tree: false (logged) for a link to a folder; true for a link to a
    // file, which then counts as a file of the size the server gives for it.
    bool ResolveRemoteLink(const std::string& remoteDir, TRemoteListEntry& entry);
    void EnsureLocalDir(const std::string& path);

    TIdFTP& ftp_;
    TTransferQueue& queue_;
    TTransferState& state_;
    ITransferView& view_;
    ITransferQuestions& questions_;
    std::string dataDir_;
    std::optional<TQueueInfo> current_;
    int currentHint_ = 0;
    std::string lastRunError_;
    // Digest commands the server did not know in this run (when it lists no features).
    std::optional<std::vector<std::string>> ownFeatures_;
};
