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
#include "sites/data_file.h"
#include "transfer/file_ops.h"
#include "transfer/verify.h"
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

bool Contains(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

// The first line of an error text, for the status column.
std::string FirstLine(const std::string& text) {
    std::string line = text.substr(0, text.find_first_of("\r\n"));
    return line.empty() ? text : line;
}

// name with " (n)" before its extension.
std::string NumberedName(const std::string& name, int n) {
    const auto dot = name.find_last_of('.');
    const bool ext = dot != std::string::npos && dot > 0;
    return (ext ? name.substr(0, dot) : name) + " (" + std::to_string(n) + ")" + (ext ? name.substr(dot) : "");
}

}  // namespace

const char* PhaseText(TTransferPhase phase) {
    return phase == TTransferPhase::Downloading ? "Downloading" : "Uploading";
}

TQueueRunner::TQueueRunner(TIdFTP& ftp, TTransferQueue& queue, TTransferState& state, ITransferView& view,
                           ITransferQuestions& questions)
    : ftp_(ftp), queue_(queue), state_(state), view_(view), questions_(questions) {}

std::string TQueueRunner::ScratchFilePath() const {
    return WithSlash(dataDir_.empty() ? ProgramDataFolder() : dataDir_) + kScratchFileName;
}

void TQueueRunner::PlaySound(TSoundEvent event) {
    try {
        view_.PlayEventSound(event);
    } catch (...) {
        // a sound that cannot play never stops a transfer
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
        // the data connection goes anyway; the stop is what counts
    }
    state_.Transferring = false;
    return true;
}

void TQueueRunner::WorkEnd() {
    if (state_.WorkEndResets()) ResetStatusBar();
}

void TQueueRunner::ResetStatusBar() {
    state_.Transferring = false;
    view_.ResetProgress();
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
    bool anyFailed = false;
    ownFeatures_.reset();
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
                if (c.Status != "Ready") {  // stopped or failed: waits for a reset
                    ++skipped;
                    continue;
                }
                if ((c.Process == "Download" && !IsSafeRemoteName(c.FileName)) ||
                    (c.Process != "Download" && c.Process != "Upload")) {
                    // Such an entry cannot run; it stays for the user to remove.
                    Log("Skipped queue entry \"" + c.FileName + "\": not a plain file name or unknown process");
                    queue_.SetEntryStatus(skipped, "Failed", "not a plain file name or unknown process");
                    anyFailed = true;
                    ++skipped;
                    continue;
                }
                state_.DownloadResuming = false;
                current_ = c;
                currentHint_ = skipped;
                queue_.ShowRowStatus(skipped, c.Process == "Upload" ? "Uploading" : "Downloading");

                try {
                    ProcessEntry(c);
                } catch (const ETransferStopped&) {
                    // The entry stays as Stop marked it; the loop ends at its test.
                } catch (const std::exception& e) {
                    if (state_.StopTransfer || !IsRefusal(e)) throw;
                    std::string reason = FirstLine(e.what());
                    if (const auto* reply = dynamic_cast<const EIdProtocolReplyError*>(&e))
                        reason = std::to_string(reply->ReplyCode) + " " + reason;
                    Log("Failed: " + c.FileName + ": " + reason);
                    const int index = FindCurrent(skipped);
                    if (index >= 0) queue_.SetEntryStatus(index, "Failed", reason);
                    anyFailed = true;
                    current_.reset();
                    ++skipped;
                    if (state_.ImmediatePending > 0) --state_.ImmediatePending;
                    // A local file that failed under a running transfer leaves its reply unread.
                    if (dynamic_cast<const EIdStreamError*>(&e)) throw;
                    state_.Transferring = false;
                    view_.ProcessEvents();
                    continue;
                }

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

    if (!state_.StopTransfer && !failed && !anyFailed) PlaySound(TSoundEvent::TransferDone);
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
            // the pane only follows along; the entry's own steps report a missing folder
        }
    }
    CheckStop();
    if (c.Process == "Download") {
        if (!c.IsFolder) {
            DownloadFile(c);
        } else {
            view_.ShowPhase(TTransferPhase::Downloading);
            view_.ListRemoteDirectory(c.RemotePath);
            CheckStop();
            DownloadTree(c.RemotePath, c.LocalPath, c.FileName);
        }
        view_.RefreshLocalPane();
    } else {
        if (!c.IsFolder) {
            UploadFile(c);
        } else {
            state_.ExpectedSize = c.FileSize;
            view_.ListRemoteDirectory(c.RemotePath);
            CheckStop();
            state_.Transferring = true;
            view_.ShowPhase(TTransferPhase::Uploading);
            view_.ShowCurrentFile(c.FileName);
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
// Steps shared by every file

void TQueueRunner::CheckStop() const {
    if (state_.StopTransfer) throw ETransferStopped();
}

bool TQueueRunner::IsRefusal(const std::exception& e) const {
    if (dynamic_cast<const ETransferRefused*>(&e) || dynamic_cast<const EIdFTPFileAlreadyExists*>(&e)) return true;
    if (dynamic_cast<const EIdStreamError*>(&e) || dynamic_cast<const EIdFileNotFound*>(&e)) return true;
    // A refusal by the server leaves the session usable; 421 and a lost connection do not.
    if (const auto* reply = dynamic_cast<const EIdProtocolReplyError*>(&e))
        return reply->ReplyCode >= 400 && reply->ReplyCode != 421 && ftp_.IsConnected();
    return false;
}

std::vector<std::string> TQueueRunner::ListRemoteNames(const std::string& dir) {
    std::vector<std::string> lines;
    try {
        ftp_.ChangeDir(dir);
        ftp_.List(&lines, "", true);
    } catch (const EIdProtocolReplyError& e) {
        if (!IsRefusal(e)) throw;
        // Taken as "nothing there", every file would be replaced without a question.
        throw ETransferRefused("Listing of " + dir + " failed: " + FirstLine(e.what()));
    }
    if (!ftp_.ListRefusal().empty())
        throw ETransferRefused("Listing of " + dir + " failed: " + FirstLine(ftp_.ListRefusal()));
    CheckStop();  // a listing cut by Stop is not the whole directory
    std::vector<std::string> names;
    for (const auto& e : ReadListingEntries(lines)) names.push_back(e.Name);
    return names;
}

bool TQueueRunner::RemoteExists(const std::vector<std::string>& names, const std::string& dir,
                                const std::string& name) {
    for (const auto& n : names)
        if (EqualNoCase(n, name)) return true;
    // Listings may hide some files (dot files): the server's own answer decides.
    return ftp_.Size(dir + name) >= 0;
}

std::string TQueueRunner::AskFreeName(const std::string& name, const std::function<bool(const std::string&)>& taken) {
    for (;;) {
        std::string proposal;
        for (int n = 1; proposal.empty() || taken(proposal); ++n) proposal = NumberedName(name, n);
        const std::string answer = questions_.AskFreeName(name, proposal);
        CheckStop();
        if (answer.empty() || !IsSafeRemoteName(answer)) return {};
        if (!taken(answer)) return answer;
        Log("\"" + answer + "\" exists already; choose another name");
    }
}

bool TQueueRunner::ServerOffers(const std::string& feature) {
    if (!ftp_.Features().empty()) return ftp_.HasFeature(feature);
    // Without the server's feature list the command is tried; one it does not know is not
    // tried again in this run.
    return !ownFeatures_ || std::find(ownFeatures_->begin(), ownFeatures_->end(), feature) == ownFeatures_->end();
}

std::optional<TFileDigest> TQueueRunner::RemoteDigest(const std::string& remoteFile) {
    auto ask = [&](const std::string& cmd, int ok) -> const std::string* {
        if (!ServerOffers(cmd)) return nullptr;
        const int code = ftp_.Quote(cmd + " " + remoteFile);
        // Some servers say "Computing..." on earlier lines; the value is on the last one.
        if (code == ok && !ftp_.LastReply.Text.empty()) return &ftp_.LastReply.Text.back();
        if (code == 500 || code == 502 || code == 504) {
            if (!ownFeatures_) ownFeatures_.emplace();
            ownFeatures_->push_back(cmd);
        }
        return nullptr;
    };
    if (const std::string* t = ask("HASH", 213)) return ParseHashReply(*t);
    if (const std::string* t = ask("XCRC", 250)) return ParseXDigestReply(*t, "CRC32");
    if (const std::string* t = ask("XMD5", 250)) return ParseXDigestReply(*t, "MD5");
    return std::nullopt;
}

void TQueueRunner::Verify(const TFileJob& job, const std::string& localFile, const std::string& remoteFile) {
    const int64_t localSize = LocalFileSize(localFile);
    int64_t remoteSize = ftp_.Size(remoteFile);
    if (remoteSize < 0 && !job.Upload) remoteSize = job.ListedSize;
    if (remoteSize < 0) {
        Log("Size of " + remoteFile + " not checked: the server reports none");
    } else if (remoteSize != localSize) {
        throw ETransferRefused((job.Upload ? "Size check failed: sent " : "Size check failed: received ") +
                               std::to_string(localSize) + " bytes, the server reports " + std::to_string(remoteSize) +
                               "; the file is kept for Resume");
    }

    const std::optional<TFileDigest> remote = RemoteDigest(remoteFile);
    if (!remote) return;
    auto digits = [](const std::string& hex) { return hex.substr(std::min(hex.find_first_not_of('0'), hex.size())); };
    const std::string local = LocalFileDigest(localFile, remote->Algorithm);
    if (digits(local) != digits(remote->Hex))
        throw ETransferRefused("Hash check (" + remote->Algorithm + ") failed: the server reports " + remote->Hex +
                               ", the local file has " + local + "; the file is kept for Resume");
    Log("Hash check (" + remote->Algorithm + ") of " + job.Name + ": the same on both sides");
}

void TQueueRunner::Receive(const TFileJob& job, const std::string& localFile, bool resume) {
    const bool existed = LocalFileExists(localFile);
    {
        // A local file that cannot be written is refused before the server is asked.
        try {
            TIdFileStream probe(localFile, existed ? TIdFileMode::fmOpenReadWrite : TIdFileMode::fmCreate, 0644);
        } catch (const EIdStreamError& e) {
            throw ETransferRefused(e.what());
        }
    }
    try {
        CheckStop();
        if (resume)
            ftp_.Get(job.RemoteFile(), localFile, false, true);
        else
            ftp_.Get(job.RemoteFile(), localFile, true, false);
    } catch (...) {
        // An empty file made here for a refused transfer would look like a local copy next time.
        if (!existed && LocalFileSize(localFile) == 0) ::unlink(localFile.c_str());
        throw;
    }
    CheckStop();  // a cut transfer is no finished one
    Verify(job, localFile, job.RemoteFile());
}

void TQueueRunner::Send(const TFileJob& job, const std::string& remoteFile) {
    CheckStop();
    ftp_.Put(job.LocalFile(), remoteFile, false);
    CheckStop();
    Verify(job, job.LocalFile(), remoteFile);
}

void TQueueRunner::ReplaceLocal(const TFileJob& job) {
    const std::string part = job.LocalFile() + kPartSuffix;
    // The part of an earlier cut overwrite is continued where it can be.
    const int64_t have = LocalFileExists(part) ? LocalFileSize(part) : -1;
    const bool resume = have > 0 && job.ListedSize > have && ftp_.ResumeSupported();
    if (resume) {
        Log("Continuing " + part + " from byte " + std::to_string(have));
        if (job.Single) {
            state_.DownloadResuming = true;
            state_.DownloadResumeOffset = have;
        }
    }
    Receive(job, part, resume);
    if (::rename(part.c_str(), job.LocalFile().c_str()) != 0)
        throw ETransferRefused("Cannot replace " + job.LocalFile() + ": " + std::strerror(errno) +
                               "; the new copy is " + part);
}

void TQueueRunner::ReplaceRemote(const TFileJob& job) {
    const std::string part = job.RemoteFile() + kPartSuffix;
    Send(job, part);
    try {
        ftp_.Rename(part, job.RemoteFile());
    } catch (const EIdProtocolReplyError& e) {
        if (!IsRefusal(e)) throw;
        // Servers that will not rename onto an existing file: the old one goes only now.
        ftp_.Delete(job.RemoteFile());
        ftp_.Rename(part, job.RemoteFile());
    }
}

void TQueueRunner::ResolveConflict(const TFileJob& job, int64_t existingSize, int64_t newSize, bool resumeEnabled) {
    const int action = AskExists(job.Label, existingSize, newSize, resumeEnabled);
    CheckStop();  // Stop pressed while the question was open
    switch (action) {
        case eaOverwrite:
            if (job.Upload)
                ReplaceRemote(job);
            else
                ReplaceLocal(job);
            break;
        case eaResume:
            if (job.Upload) {
                if (existingSize < 0) {
                    ReplaceRemote(job);  // size unknown: appending could double the start
                } else if (existingSize >= newSize) {
                    Log("Skipped " + job.RemoteFile() + ": nothing to resume");
                } else {
                    CheckStop();
                    ResumeUpload(job.LocalFile(), job.RemoteFile(), existingSize, newSize);
                    CheckStop();
                    Verify(job, job.LocalFile(), job.RemoteFile());
                }
            } else if (!ftp_.ResumeSupported()) {
                ReplaceLocal(job);
            } else if (newSize >= 0 && existingSize >= newSize) {
                // Resume "for all" met a file that is already whole (or longer): it stays as it is.
                Log("Skipped " + job.LocalFile() + ": nothing to resume");
            } else {
                const bool savedResuming = state_.DownloadResuming;
                const int64_t savedOffset = state_.DownloadResumeOffset;
                state_.DownloadResumeOffset = existingSize;
                state_.DownloadResuming = true;
                struct TRestore {
                    TTransferState& s;
                    bool single, resuming;
                    int64_t offset;
                    // Inside a tree the next file starts from its own beginning.
                    ~TRestore() {
                        if (!single) {
                            s.DownloadResuming = resuming;
                            s.DownloadResumeOffset = offset;
                        }
                    }
                } restore{state_, job.Single, savedResuming, savedOffset};
                Receive(job, job.LocalFile(), true);
            }
            break;
        case eaRename: {
            std::vector<std::string> remoteNames;
            if (job.Upload) remoteNames = ListRemoteNames(job.RemoteDir);
            auto taken = [&](const std::string& n) {
                if (!job.Upload) return LocalFileExists(job.LocalDir + n) || LocalDirExists(job.LocalDir + n);
                return RemoteExists(remoteNames, job.RemoteDir, n);
            };
            const std::string newName = AskFreeName(job.Name, taken);
            if (newName.empty()) break;  // cancelled: the file is skipped
            if (job.Upload)
                Send(job, job.RemoteDir + newName);
            else
                Receive(job, job.LocalDir + newName, false);
            break;
        }
        default:
            break;  // skip
    }
}

// ---------------------------------------------------------------------------------------------
// Single files

void TQueueRunner::DownloadJob(const TFileJob& job) {
    if (!LocalFileExists(job.LocalFile())) {
        if (LocalDirExists(job.LocalFile())) throw ETransferRefused(job.LocalFile() + " is a folder");
        Receive(job, job.LocalFile(), false);
        return;
    }
    const int64_t localSize = LocalFileSize(job.LocalFile());
    bool resumeEnabled = false;
    if (state_.ExistsAction < eaOverwriteAll) resumeEnabled = ftp_.ResumeSupported() && localSize < job.ListedSize;
    ResolveConflict(job, localSize, job.ListedSize, resumeEnabled);
}

void TQueueRunner::DownloadFile(const TQueueInfo& c) {
    view_.ShowCurrentFile(c.FileName);
    state_.ExpectedSize = c.FileSize;
    state_.Transferring = true;
    view_.ShowPhase(TTransferPhase::Downloading);
    DownloadJob({false, c.LocalPath, c.RemotePath, c.FileName, c.FileName, c.FileSize, true});
}

void TQueueRunner::UploadJob(const TFileJob& job, const std::vector<std::string>& remoteNames, bool allocate) {
    const int64_t localSize = LocalFileSize(job.LocalFile());
    if (!LocalFileExists(job.LocalFile())) throw ETransferRefused("Local file " + job.LocalFile() + " not found");
    if (!RemoteExists(remoteNames, job.RemoteDir, job.Name)) {
        if (allocate) ftp_.Allocate(localSize);
        // STOR rather than APPE: should the listing have missed the file, it is replaced, not
        // extended by a second copy.
        Send(job, job.RemoteFile());
        return;
    }
    const int64_t remoteSize = ftp_.Size(job.RemoteFile());
    if (allocate) ftp_.Allocate(localSize - std::max<int64_t>(remoteSize, 0));
    ResolveConflict(job, remoteSize, localSize, remoteSize >= 0 && remoteSize < localSize);
}

void TQueueRunner::UploadFile(const TQueueInfo& c) {
    const TFileJob job{true, c.LocalPath, c.RemotePath, c.FileName, c.FileName, -1, true};
    state_.ExpectedSize = LocalFileSize(job.LocalFile());
    const std::vector<std::string> names = ListRemoteNames(c.RemotePath);
    state_.Transferring = true;
    view_.ShowPhase(TTransferPhase::Uploading);
    view_.ShowCurrentFile(c.FileName);
    UploadJob(job, names, true);
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
        throw ETransferRefused("Cannot create folder " + path + ": " + std::strerror(errno));
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
        // refused: not a link to a folder
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

    for (size_t i = 0; i < work.size(); ++i) {
        CheckStop();
        const TDirPair d = work[i];
        TListingRejects rejects;
        std::vector<TRemoteListEntry> entries;
        try {
            ftp_.ChangeDir(d.Remote);
            entries = ListRemoteEntries(ftp_, &rejects, true);
        } catch (const EIdProtocolReplyError& e) {
            if (!IsRefusal(e)) throw;
            // A subtree left out is no finished download.
            throw ETransferRefused("Listing of " + d.Remote + " failed: " + FirstLine(e.what()));
        }
        CheckStop();
        LogListingRejects(DescribeRejects(rejects, d.Remote));

        const std::string remoteDir = WithSlash(d.Remote);
        const std::string localDir = WithSlash(d.Local);
        for (auto& e : entries) {
            CheckStop();
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
            view_.ShowPhase(TTransferPhase::Downloading);
            view_.ShowCurrentFile(e.Name);
            state_.ExpectedSize = e.Size;
            DownloadJob({false, localDir, remoteDir, e.Name, e.Name, e.Size, false});
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
        listedNames = ListRemoteNames(dir);
        lastListed = dir;
    };

    for (size_t i = 0; i < work.size(); ++i) {
        CheckStop();
        const TDirItem d = work[i];
        struct stat st {};
        if (::stat(d.Local.c_str(), &st) == 0 && !visited.insert({st.st_dev, st.st_ino}).second) {
            Log("Skipped " + d.Local + ": folder already uploaded (link loop)");
            continue;
        }
        if (!lastListed || *lastListed != d.Parent) listRemote(d.Parent);
        if (!Contains(listedNames, d.Name)) {
            try {
                ftp_.MakeDir(d.Remote);
            } catch (const EIdProtocolReplyError& e) {
                // A directory the listing did not show (hidden) is there when it can be entered.
                if (!IsRefusal(e)) throw;
                try {
                    ftp_.ChangeDir(d.Remote);
                } catch (const EIdProtocolReplyError&) {
                    throw ETransferRefused("Cannot create " + d.Remote + ": " + FirstLine(e.what()));
                }
            }
        }

        TLocalListing local;
        try {
            local = ListLocalDir(d.Local);
        } catch (const EIdException& e) {
            throw ETransferRefused(e.what());
        }
        for (const auto& name : local.Others) Log("Skipped " + WithSlash(d.Local) + name + ": not a regular file");
        const std::string prefix = WithSlash(d.Local);
        for (const auto& name : local.Dirs) work.push_back({prefix + name, d.Remote + "/" + name, d.Remote, name});

        for (const auto& name : local.Files) {
            CheckStop();
            state_.Transferring = true;
            view_.ShowPhase(TTransferPhase::Uploading);
            view_.ShowCurrentFile(name);
            state_.ExpectedSize = LocalFileSize(prefix + name);
            if (!lastListed || *lastListed != d.Remote) listRemote(d.Remote);
            UploadJob({true, prefix, d.Remote + "/", name, prefix + name, -1, false}, listedNames, false);
            ResetStatusBar();
            state_.Transferring = false;
        }
    }
    ftp_.ChangeDir(remoteBase);
}
