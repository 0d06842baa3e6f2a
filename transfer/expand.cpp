#include "transfer/expand.h"

#include <sys/stat.h>

#include "transfer/file_ops.h"

int64_t LocalFileSize(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) return -1;
    if (S_ISDIR(st.st_mode)) return 0;
    return static_cast<int64_t>(st.st_size);
}

bool LocalFileExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool LocalDirExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string LocalDirPath(const std::string& folder) {
    if (folder.empty() || folder.back() == '/') return folder;
    return folder + "/";
}

std::string RemoteDirPath(const std::string& dir) {
    if (!dir.empty() && dir.back() == '/') return dir;
    return dir + "/";
}

std::string LocalItemName(const std::string& fullPath, const std::string& folder) {
    std::string path = fullPath;
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    const std::string prefix = LocalDirPath(folder);
    if (!prefix.empty() && path.size() > prefix.size() && path.compare(0, prefix.size(), prefix) == 0)
        return path.substr(prefix.size());
    // Not below the folder (the pane moved on): the last component is the best guess.
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

namespace {

int FindLastRow(const TPaneContext& pane, const std::string& name) {
    for (int i = static_cast<int>(pane.RemoteRows.size()) - 1; i >= 0; --i)
        if (pane.RemoteRows[static_cast<std::size_t>(i)].Name == name) return i;
    return -1;
}

int AddRemote(TTransferQueue& queue, const TPaneContext& pane, const std::string& name, bool isDir, int64_t size,
              int position) {
    // The name becomes part of a local path when the entry runs.
    if (!IsSafeRemoteName(name)) return -1;
    TQueueInfo entry;
    entry.FileName = name;
    entry.LocalPath = LocalDirPath(pane.LocalFolder);
    entry.RemotePath = RemoteDirPath(pane.RemoteDir);
    entry.Process = "Download";
    entry.Status = "Ready";
    entry.IsFolder = isDir;
    entry.FileSize = isDir ? -1 : size;
    return queue.InsertEntry(entry, position);
}

}  // namespace

int AddRemoteEntry(TTransferQueue& queue, const TPaneContext& pane, const std::string& name, int position) {
    const int row = FindLastRow(pane, name);
    if (row < 0) return -1;
    const TRemoteRowInfo& r = pane.RemoteRows[static_cast<std::size_t>(row)];
    return AddRemote(queue, pane, name, r.IsDir, r.Size, position);
}

int AddLocalEntry(TTransferQueue& queue, const std::string& fullPath, const std::string& folder,
                  const std::string& remoteDir, int position) {
    TQueueInfo entry;
    entry.FileName = LocalItemName(fullPath, folder);
    if (entry.FileName.empty()) return -1;
    entry.LocalPath = LocalDirPath(folder);
    entry.RemotePath = RemoteDirPath(remoteDir);
    entry.Process = "Upload";
    entry.Status = "Ready";
    if (LocalDirExists(entry.LocalPath + entry.FileName)) {
        entry.IsFolder = true;
        entry.FileSize = -1;
    } else {
        entry.IsFolder = false;
        entry.FileSize = LocalFileSize(entry.LocalPath + entry.FileName);
    }
    return queue.InsertEntry(entry, position);
}

int AddRemoteNamesToQueue(TTransferQueue& queue, const TPaneContext& pane, const std::vector<std::string>& names) {
    int added = 0;
    for (const auto& name : names)
        if (AddRemoteEntry(queue, pane, name, -1) >= 0) ++added;
    return added;
}

int AddRemoteRowsToQueue(TTransferQueue& queue, const TPaneContext& pane, const std::vector<int>& selectedRows) {
    int added = 0;
    for (int row : selectedRows) {
        if (row < 0 || row >= static_cast<int>(pane.RemoteRows.size())) continue;
        const std::string& name = pane.RemoteRows[static_cast<std::size_t>(row)].Name;
        const int last = FindLastRow(pane, name);
        const bool isDir = pane.RemoteRows[static_cast<std::size_t>(row)].IsDir;
        const int64_t size = pane.RemoteRows[static_cast<std::size_t>(last)].Size;
        if (AddRemote(queue, pane, name, isDir, size, -1) >= 0) ++added;
    }
    return added;
}

int AddLocalPathsToQueue(TTransferQueue& queue, const TPaneContext& pane, const std::vector<std::string>& fullPaths) {
    int added = 0;
    for (const auto& path : fullPaths)
        if (AddLocalEntry(queue, path, pane.LocalFolder, pane.RemoteDir, -1) >= 0) ++added;
    return added;
}

int AddToQueueByPane(TTransferQueue& queue, int activePane, const TPaneContext& pane,
                     const std::vector<int>& selectedRemoteRows, const std::vector<std::string>& selectedLocalPaths) {
    if (activePane == 1) return AddLocalPathsToQueue(queue, pane, selectedLocalPaths);
    if (activePane == 2) return AddRemoteRowsToQueue(queue, pane, selectedRemoteRows);
    return 0;
}
