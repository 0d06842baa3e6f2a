#include "transfer/queue_runner.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <exception>
#include <set>
#include <utility>

#include "ftp/ftp_client.h"
#include "transfer/file_ops.h"
#include "transport/stream.h"

namespace {

// Same entry whatever its status: a Stop may have marked it meanwhile.
bool SameEntry(const TQueueInfo& a, const TQueueInfo& b) {
    return a.FileName == b.FileName && a.LocalPath == b.LocalPath && a.RemotePath == b.RemotePath &&
           a.Process == b.Process && a.IsFolder == b.IsFolder && a.FileSize == b.FileSize;
}

bool EqualNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// The four answers without their "for all" part.
int BaseAction(int action) { return action >= eaOverwriteAll && action <= eaSkipAll ? action - 4 : action; }

// One local directory's contents, sorted by name: sub-directories and regular files.
struct TLocalListing {
    std::vector<std::string> Dirs;
    std::vector<std::string> Files;
    std::vector<std::string> Others;  // fifos, sockets, devices, dangling links
};

TLocalListing ListLocalDir(const std::string& dir) {
    TLocalListing out;
    DIR* d = ::opendir(dir.c_str());
    if (!d) throw EIdException("Cannot read folder " + dir + ": " + std::strerror(errno));
    std::vector<std::string> names;
    while (dirent* e = ::readdir(d)) {
        std::string name = e->d_name;
        if (name != "." && name != "..") names.push_back(std::move(name));
    }
    ::closedir(d);
    std::sort(names.begin(), names.end());
    for (auto& name : names) {
        struct stat st {};
        const std::string path = WithSlash(dir) + name;
        if (::stat(path.c_str(), &st) != 0)
            out.Others.push_back(std::move(name));
        else if (S_ISDIR(st.st_mode))
            out.Dirs.push_back(std::move(name));
        else if (S_ISREG(st.st_mode))
            out.Files.push_back(std::move(name));
        else
            out.Others.push_back(std::move(name));
    }
    return out;
}

// NLST answers are names; a few servers prefix them with the directory asked for.
std::vector<std::string> ListNames(TIdFTP& ftp) {
    std::vector<std::string> lines;
    try {
        ftp.List(&lines, "", false);
    } catch (const EIdProtocolReplyError&) {
        // Some servers refuse NLST of an empty directory (450/550): nothing is there.
        lines.clear();
    }
    std::vector<std::string> names;
    for (auto& line : lines) {
        while (!line.empty() && (line.back() == '\r' || line.back() == '/')) line.pop_back();
        const auto slash = line.find_last_of('/');
        names.push_back(slash == std::string::npos ? line : line.substr(slash + 1));
    }
    return names;
}

bool Contains(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace

TQueueRunner::TQueueRunner(TIdFTP& ftp, TTransferQueue& queue, TTransferState& state, ITransferView& view,
                           ITransferQuestions& questions)
    : ftp_(ftp), queue_(queue), state_(state), view_(view), questions_(questions) {}

std::string TQueueRunner::ScratchFilePath() const {
    if (!dataDir_.empty()) return WithSlash(dataDir_) + kScratchFileName;
    // Without a data folder from the window: the per-user one, never a shared temporary folder.
    std::string dir;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/')
        dir = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
        dir = std::string(home) + "/.local/share";
    else
        throw EIdException("No data folder for " + std::string(kScratchFileName));
    dir += "/orlix-ftp";
    if (!LocalDirExists(dir)) {
        std::error_code ec;
        std::filesystem::create_directories(dir, ec);
        ::chmod(dir.c_str(), 0700);
    }
    return dir + "/" + kScratchFileName;
}

void TQueueRunner::PlaySound(TSoundEvent event) {
    try {
        view_.PlayEventSound(event);
    } catch (...) {
    }
}

// ---------------------------------------------------------------------------------------------
// Commands

void TQueueRunner::TransferQueue() {
    if (state_.RunActive || queue_.QueueCount() == 0) return;
    view_.SetStopEnabled(true);
    RunQueue(0);
    view_.SetStopEnabled(false);
}

void TQueueRunner::DownloadNow(const TPaneContext& pane, const std::vector<std::string>& names) {
    if (state_.Transferring || state_.RunActive) {
        // A run waits inside a blocking call: the entries join the queue; that run or a later
        // one takes them.
        for (const auto& name : names) AddRemoteEntry(queue_, pane, name, state_.ImmediatePending);
        return;
    }
    int added = 0;
    for (const auto& name : names)
        if (AddRemoteEntry(queue_, pane, name, added) >= 0) ++added;
    if (added == 0) return;
    view_.SetStopEnabled(true);
    state_.ImmediatePending = added;
    RunQueue(added);
}

void TQueueRunner::UploadNow(const TPaneContext& pane, const std::vector<std::string>& fullPaths) {
    if (state_.Transferring || state_.RunActive) {
        for (const auto& path : fullPaths)
            AddLocalEntry(queue_, path, pane.LocalFolder, pane.RemoteDir, state_.ImmediatePending);
        return;
    }
    int added = 0;
    for (const auto& path : fullPaths)
        if (AddLocalEntry(queue_, path, pane.LocalFolder, pane.RemoteDir, added) >= 0) ++added;
    if (added == 0) return;
    view_.SetStopEnabled(true);
    state_.ImmediatePending = added;
    RunQueue(added);
}

void TQueueRunner::Stop() {
    if (state_.Transferring || state_.RunActive) {
        PlaySound(TSoundEvent::TransferStopped);
        state_.StopTransfer = true;
        // The entry in transfer is the one marked, wherever queue edits have moved it.
        if (current_) {
            const int index = FindCurrent(currentHint_);
            if (index >= 0) queue_.SetEntryStatus(index, "Aborted");
        }
    } else {
        view_.StopReconnectTimer();
    }
    ResetStatusBar();
}

bool TQueueRunner::AbortIfStopped() {
    if (!state_.StopTransfer) return false;
    try {
        ftp_.Abort();
    } catch (const std::exception&) {
    }
    state_.Transferring = false;
    return true;
}

void TQueueRunner::WorkEnd() {
    if (state_.WorkEndResets()) ResetStatusBar();
}

void TQueueRunner::ResetStatusBar() {
    state_.Transferring = false;
    view_.ResetStatusBar();
}

// ---------------------------------------------------------------------------------------------
// The run

int TQueueRunner::FindCurrent(int hint) const {
    if (!current_) return -1;
    if (queue_.IsValidRow(hint) && SameEntry(queue_.Entry(hint), *current_)) return hint;
    for (int i = queue_.QueueCount() - 1; i >= 0; --i)
        if (SameEntry(queue_.Entry(i), *current_)) return i;
    return -1;
}

void TQueueRunner::RunQueue(int count) {
    if (state_.RunActive) return;
    state_.RunActive = true;
    // Whatever escapes below, the next run must not be refused.
    struct TRunEnd {
        TTransferState& s;
        ~TRunEnd() { s.RunActive = false; }
    } runEnd{state_};
    state_.StopTransfer = false;
    lastRunError_.clear();
    int skipped = 0;
    bool failed = false;
    view_.SetRemoteCommandsEnabled(false);

    int remaining = count != 0 ? count : queue_.QueueCount();
    if (remaining > 0) PlaySound(TSoundEvent::BeginTransfer);

    if (remaining > 0) {
        try {
            do {
                if (state_.StopTransfer) break;
                // The queue may have shrunk under a blocking call.
                if (skipped >= queue_.QueueCount()) break;
                const TQueueInfo c = queue_.Entry(skipped);
                if (c.Status == "Aborted") {
                    ++skipped;
                    continue;
                }
                if ((c.Process == "Download" && !IsSafeRemoteName(c.FileName)) ||
                    (c.Process != "Download" && c.Process != "Upload")) {
                    // Such an entry cannot run; it stays for the user to remove.
                    Log("Skipped queue entry \"" + c.FileName + "\": not a plain file name or unknown process");
                    queue_.SetEntryStatus(skipped, "Aborted");
                    ++skipped;
                    continue;
                }
                state_.DownloadResuming = false;
                current_ = c;
                currentHint_ = skipped;
                queue_.ShowRowStatus(skipped, c.Process == "Upload" ? "Uploading" : "Downloading");

                ProcessEntry(c);

                if (!state_.StopTransfer) {
                    const int index = FindCurrent(skipped);
                    if (index >= 0) queue_.RemoveEntry(index);
                    --remaining;
                    if (state_.ImmediatePending > 0) --state_.ImmediatePending;
                }
                current_.reset();
                view_.ProcessEvents();
            } while (remaining != 0 && remaining != skipped && !state_.StopTransfer);
        } catch (const std::exception& e) {
            // The entry in transfer stays in the queue as it is; the session starts afresh.
            failed = true;
            lastRunError_ = e.what();
            Log("Transfer failed: " + lastRunError_);
            queue_.RefreshReadyRows();
            current_.reset();
            try {
                view_.ReConnect();
            } catch (const std::exception& re) {
                Log("ReConnect failed: " + std::string(re.what()));
            }
        }
    }
    current_.reset();

    if (!state_.StopTransfer && !failed) PlaySound(TSoundEvent::TransferDone);
    view_.RefreshLocalPane();
    view_.SetRemoteCommandsEnabled(true);
    ResetStatusBar();
    view_.SetStopEnabled(false);
    state_.ExistsAction = 0;
}

void TQueueRunner::ProcessEntry(const TQueueInfo& c) {
    if (c.RemotePath != view_.Pane().RemoteDir) {
        try {
            view_.ListRemoteDirectory(c.RemotePath);
        } catch (const std::exception&) {
        }
    }
    if (c.Process == "Download") {
        if (!c.IsFolder) {
            DownloadFile(c);
        } else {
            view_.SetStatusPanel(0, "Downloading");
            view_.ListRemoteDirectory(c.RemotePath);
            DownloadTree(c.RemotePath, c.LocalPath, c.FileName);
        }
        view_.RefreshLocalPane();
    } else {
        if (!c.IsFolder) {
            UploadFile(c);
        } else {
            state_.ExpectedSize = c.FileSize;
            view_.ListRemoteDirectory(c.RemotePath);
            state_.Transferring = true;
            view_.SetStatusPanel(0, "Uploading");
            view_.SetStatusPanel(1, c.FileName);
            UploadTree(c.LocalPath, c.RemotePath, c.LocalPath + c.FileName);
        }
        // After a stop every data transfer of the run would be cut again; the listing waits.
        if (!state_.StopTransfer) view_.ListRemoteDirectory("");
    }
}

int TQueueRunner::AskExists(const std::string& label, int64_t originalSize, int64_t newSize, bool resumeEnabled) {
    if (state_.ExistsAction < eaOverwriteAll)
        state_.ExistsAction = questions_.AskFileExists(label, originalSize, newSize, resumeEnabled);
    return BaseAction(state_.ExistsAction);
}

// ---------------------------------------------------------------------------------------------
// Single files

void TQueueRunner::DownloadFile(const TQueueInfo& c) {
    const std::string remoteFile = c.RemotePath + c.FileName;
    const std::string localFile = c.LocalPath + c.FileName;
    view_.SetStatusPanel(1, c.FileName);
    state_.ExpectedSize = c.FileSize;
    state_.Transferring = true;
    view_.SetStatusPanel(0, "Downloading");
    if (!LocalFileExists(localFile)) {
        ftp_.Get(remoteFile, localFile, true, false);
        return;
    }
    DownloadExisting(remoteFile, c.LocalPath, c.FileName, c.FileSize, true);
}

void TQueueRunner::DownloadExisting(const std::string& remoteFile, const std::string& localDir,
                                    const std::string& name, int64_t remoteSize, bool single) {
    const std::string localFile = localDir + name;
    const int64_t localSize = LocalFileSize(localFile);
    bool resumeEnabled = false;
    if (state_.ExistsAction < eaOverwriteAll)
        resumeEnabled = ftp_.ResumeSupported() && localSize < remoteSize;
    const int action = AskExists(name, localSize, remoteSize, resumeEnabled);
    switch (action) {
        case eaOverwrite:
            ftp_.Get(remoteFile, localFile, true, false);
            break;
        case eaResume:
            if (!ftp_.ResumeSupported()) {
                ftp_.Get(remoteFile, localFile, true, false);
            } else if (remoteSize >= 0 && localSize >= remoteSize) {
                // Resume "for all" met a file that is already whole (or longer): it stays as it is.
                Log("Skipped " + localFile + ": nothing to resume");
            } else {
                const bool savedResuming = state_.DownloadResuming;
                const int64_t savedOffset = state_.DownloadResumeOffset;
                state_.DownloadResumeOffset = localSize;
                state_.DownloadResuming = true;
                try {
                    ftp_.Get(remoteFile, localFile, false, true);
                } catch (...) {
                    if (!single) {
                        state_.DownloadResuming = savedResuming;
                        state_.DownloadResumeOffset = savedOffset;
                    }
                    throw;
                }
                // Inside a tree the next file starts from its own beginning.
                if (!single) {
                    state_.DownloadResuming = savedResuming;
                    state_.DownloadResumeOffset = savedOffset;
                }
            }
            break;
        case eaRename: {
            const std::string newName = questions_.AskNewName(name);
            if (!newName.empty()) ftp_.Get(remoteFile, localDir + newName, true, false);
            break;
        }
        default:
            break;  // skip
    }
}

void TQueueRunner::Upload(const std::string& localFile, const std::string& remoteFile) {
    ftp_.Put(localFile, remoteFile, false);
}

void TQueueRunner::UploadFile(const TQueueInfo& c) {
    const std::string remoteFile = c.RemotePath + c.FileName;
    const std::string localFile = c.LocalPath + c.FileName;
    state_.ExpectedSize = LocalFileSize(localFile);
    view_.ListRemoteDirectory(c.RemotePath);
    state_.Transferring = true;
    view_.SetStatusPanel(0, "Uploading");
    view_.SetStatusPanel(1, c.FileName);

    bool exists = false;
    for (const auto& row : view_.Pane().RemoteRows)
        if (EqualNoCase(row.Name, c.FileName)) exists = true;

    if (!exists) {
        ftp_.Allocate(state_.ExpectedSize);
        // STOR rather than APPE: should the listing have missed the file, it is replaced, not
        // extended by a second copy.
        Upload(localFile, remoteFile);
        return;
    }
    const int64_t remoteSize = ftp_.Size(remoteFile);
    ftp_.Allocate(state_.ExpectedSize - std::max<int64_t>(remoteSize, 0));
    const bool resumeEnabled = remoteSize >= 0 && remoteSize < state_.ExpectedSize;
    const int action = AskExists(c.FileName, remoteSize, state_.ExpectedSize, resumeEnabled);
    switch (action) {
        case eaOverwrite:
            Upload(localFile, remoteFile);
            break;
        case eaResume:
            if (remoteSize < 0) {
                Upload(localFile, remoteFile);  // size unknown: appending could double the start
            } else if (remoteSize >= state_.ExpectedSize) {
                Log("Skipped " + remoteFile + ": nothing to resume");
            } else {
                ResumeUpload(localFile, remoteFile, remoteSize, state_.ExpectedSize);
            }
            break;
        case eaRename: {
            const std::string newName = questions_.AskNewName(c.FileName);
            if (!newName.empty()) Upload(localFile, c.RemotePath + newName);
            break;
        }
        default:
            break;
    }
}

// ---------------------------------------------------------------------------------------------
// Resumed upload

void TQueueRunner::ResumeUpload(const std::string& localFile, const std::string& remoteFile, int64_t remoteSize,
                                int64_t localSize) {
    state_.UploadResumeBase = remoteSize;
    view_.RestartProgress();
    // Inside a run a stop already asked for is kept: it ends the upload before the first chunk.
    if (!state_.RunActive) state_.StopTransfer = false;
    state_.UploadResumePhase = 1;
    const std::string scratch = ScratchFilePath();

    auto finish = [&] {
        state_.UploadResumePhase = 0;
        ResetStatusBar();
        ::unlink(scratch.c_str());
    };
    try {
        TIdFileStream source(localFile, TIdFileMode::fmOpenRead);
        TIdFileStream chunk(scratch, TIdFileMode::fmCreate, 0600);
        if (remoteSize < localSize && !state_.StopTransfer) {
            source.Seek(remoteSize, TIdSeekOrigin::soBeginning);
            std::vector<char> block(kResumeBlockSize);
            int blocks = 0;
            for (;;) {
                const int64_t got = source.Read(block.data(), kResumeBlockSize);
                if (got <= 0) {
                    if (chunk.Size() > 0) ftp_.Put(scratch, remoteFile, true);
                    break;
                }
                const int64_t written = chunk.Write(block.data(), got);
                if (written < got) throw EIdStreamError("Cannot write " + scratch);
                if (++blocks == kResumeBlocksPerChunk) {
                    ftp_.Put(scratch, remoteFile, true);
                    state_.UploadResumePhase = 2;
                    state_.UploadResumeBase += chunk.Size();
                    chunk.SetSize(0);
                    chunk.Seek(0, TIdSeekOrigin::soBeginning);
                    blocks = 0;
                    if (state_.StopTransfer) break;
                }
            }
        }
    } catch (...) {
        finish();
        throw;
    }
    finish();
}

// ---------------------------------------------------------------------------------------------
// Trees

void TQueueRunner::LogListingRejects(const std::vector<std::string>& texts) {
    for (const auto& t : texts) Log(t);
}

void TQueueRunner::EnsureLocalDir(const std::string& path) {
    if (LocalDirExists(path)) return;
    if (::mkdir(path.c_str(), 0777) != 0 && !LocalDirExists(path))
        throw EIdException("Cannot create folder " + path + ": " + std::strerror(errno));
}

bool TQueueRunner::ResolveRemoteLink(const std::string& remoteDir, TRemoteListEntry& entry) {
    // A link to a folder would come down as a failed or empty file, and following it may loop:
    // it is left out. Whether it is one shows only by entering it.
    const std::string path = remoteDir + entry.Name;
    try {
        ftp_.ChangeDir(path);
        Log("Skipped " + path + ": link to a folder");
        return false;
    } catch (const EIdProtocolReplyError&) {
    }
    // A link to a file: the listed size is the link's own.
    const int64_t size = ftp_.Size(path);
    if (size >= 0) entry.Size = size;
    entry.IsLink = false;
    return true;
}

void TQueueRunner::DownloadTree(const std::string& remoteBase, const std::string& localBase,
                                const std::string& folder) {
    // Each directory carries its remote path and the local folder built from checked names only:
    // nothing the server says (names, working directory) can lead outside localBase + folder.
    struct TDirPair {
        std::string Remote;
        std::string Local;
        std::vector<std::string> Above;  // MLSD unique facts of the folders it lies in
    };
    std::vector<TDirPair> work{{remoteBase + folder, localBase + folder, {}}};
    EnsureLocalDir(work[0].Local);
    ftp_.ChangeDir(remoteBase);

    for (size_t i = 0; i < work.size() && !state_.StopTransfer; ++i) {
        const TDirPair d = work[i];
        ftp_.ChangeDir(d.Remote);
        TListingRejects rejects;
        auto entries = ListRemoteEntries(ftp_, &rejects);
        LogListingRejects(DescribeRejects(rejects, d.Remote));

        const std::string remoteDir = WithSlash(d.Remote);
        const std::string localDir = WithSlash(d.Local);
        for (auto& e : entries) {
            if (state_.StopTransfer) break;
            if (e.IsLink && !ResolveRemoteLink(remoteDir, e)) continue;
            if (e.IsDir) {
                // A link back up that still shows as a folder (its LIST unreadable) would make
                // the walk endless: MLSD gives it the unique fact of the folder it points to.
                if (!e.Unique.empty() && std::find(d.Above.begin(), d.Above.end(), e.Unique) != d.Above.end()) {
                    Log("Skipped " + remoteDir + e.Name + ": link to a folder above it");
                    continue;
                }
                TDirPair child{remoteDir + e.Name, localDir + e.Name, d.Above};
                if (!e.Unique.empty()) child.Above.push_back(e.Unique);
                work.push_back(std::move(child));
                EnsureLocalDir(localDir + e.Name);
                continue;
            }
            state_.Transferring = true;
            view_.SetStatusPanel(0, "Downloading");
            view_.SetStatusPanel(1, e.Name);
            state_.ExpectedSize = e.Size;
            const std::string remoteFile = remoteDir + e.Name;
            if (LocalFileExists(localDir + e.Name))
                DownloadExisting(remoteFile, localDir, e.Name, e.Size, false);
            else
                ftp_.Get(remoteFile, localDir + e.Name, true, false);
            state_.Transferring = false;
        }
    }
    ftp_.ChangeDir(remoteBase);
}

void TQueueRunner::UploadTree(const std::string& localBase, const std::string& remoteBase,
                              const std::string& localFolder) {
    struct TDirItem {
        std::string Local;   // local folder, no trailing "/"
        std::string Remote;  // its remote directory
        std::string Parent;  // the remote directory it is created in
        std::string Name;
    };
    std::string top = localFolder;
    while (top.size() > 1 && top.back() == '/') top.pop_back();
    std::string relative;
    if (!localBase.empty() && top.size() > localBase.size() && top.compare(0, localBase.size(), localBase) == 0)
        relative = top.substr(localBase.size());
    else
        relative = top.substr(top.find_last_of('/') + 1);
    std::vector<TDirItem> work{{top, remoteBase + relative, remoteBase, relative}};
    std::optional<std::string> lastListed;
    std::vector<std::string> listedNames;
    std::set<std::pair<dev_t, ino_t>> visited;

    auto listRemote = [&](const std::string& dir) {
        ftp_.ChangeDir(dir);
        listedNames = ListNames(ftp_);
        lastListed = dir;
    };

    for (size_t i = 0; i < work.size() && !state_.StopTransfer; ++i) {
        const TDirItem d = work[i];
        struct stat st {};
        if (::stat(d.Local.c_str(), &st) == 0 && !visited.insert({st.st_dev, st.st_ino}).second) {
            Log("Skipped " + d.Local + ": folder already uploaded (link loop)");
            continue;
        }
        if (!lastListed || *lastListed != d.Parent) listRemote(d.Parent);
        if (!Contains(listedNames, d.Name)) ftp_.MakeDir(d.Remote);

        const TLocalListing local = ListLocalDir(d.Local);
        for (const auto& name : local.Others) Log("Skipped " + WithSlash(d.Local) + name + ": not a regular file");
        const std::string prefix = WithSlash(d.Local);
        for (const auto& name : local.Dirs) work.push_back({prefix + name, d.Remote + "/" + name, d.Remote, name});

        for (const auto& name : local.Files) {
            if (state_.StopTransfer) break;
            state_.Transferring = true;
            view_.SetStatusPanel(0, "Uploading");
            view_.SetStatusPanel(1, name);
            const std::string localFile = prefix + name;
            const std::string remoteFile = d.Remote + "/" + name;
            const int64_t localSize = LocalFileSize(localFile);
            state_.ExpectedSize = localSize;
            if (!lastListed || *lastListed != d.Remote) listRemote(d.Remote);

            if (!Contains(listedNames, name)) {
                Upload(localFile, remoteFile);
            } else {
                const int64_t remoteSize = ftp_.Size(remoteFile);
                const bool resumeEnabled = remoteSize >= 0 && remoteSize < localSize;
                const int action = AskExists(localFile, remoteSize, localSize, resumeEnabled);
                switch (action) {
                    case eaOverwrite:
                        Upload(localFile, remoteFile);
                        break;
                    case eaResume:
                        if (remoteSize < 0)
                            Upload(localFile, remoteFile);
                        else if (remoteSize >= localSize)
                            Log("Skipped " + remoteFile + ": nothing to resume");
                        else
                            ResumeUpload(localFile, remoteFile, remoteSize, localSize);
                        break;
                    case eaRename: {
                        const std::string target = questions_.AskNewName(remoteFile);
                        if (!target.empty()) Upload(localFile, target);
                        break;
                    }
                    default:
                        break;
                }
            }
            ResetStatusBar();
            state_.Transferring = false;
        }
    }
    ftp_.ChangeDir(remoteBase);
}
