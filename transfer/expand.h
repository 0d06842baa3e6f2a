#pragma once
// Turning a selection in either pane into queue entries. A remote item becomes a "Download"
// entry, a local item an "Upload" entry; a directory becomes one folder entry that the runner
// expands when it transfers it.

#include <cstdint>
#include <string>
#include <vector>

#include "transfer/queue_model.h"

// One row of the remote list as the listing routine left it (row i is record i).
struct TRemoteRowInfo {
    std::string Name;
    int64_t Size = -1;  // -1 for a directory
    bool IsDir = false;
};

// What the expansion reads from the window.
struct TPaneContext {
    std::vector<TRemoteRowInfo> RemoteRows;  // the remote listing table, in list order
    std::string RemoteDir;                   // the directory shown in the remote pane
    std::string LocalFolder;                 // the local pane's current folder
};

// Size in bytes of a local file (0 for a directory), or -1 when nothing is there.
int64_t LocalFileSize(const std::string& path);
bool LocalFileExists(const std::string& path);
bool LocalDirExists(const std::string& path);

// A local folder as an entry's LocalPath: "/" appended unless it already ends in one.
std::string LocalDirPath(const std::string& folder);
// A remote directory as an entry's RemotePath: "/" appended unless it already ends in one.
std::string RemoteDirPath(const std::string& dir);
// The item name of a full local path below folder (the separator after the folder skipped;
// below the root folder "/" the name starts after it).
std::string LocalItemName(const std::string& fullPath, const std::string& folder);

// Adds the remote item `name` as a download entry at position (negative: append). The kind and
// size come from the last row of that name. Returns the new entry's index, or -1 when no row has
// that name or the name cannot be a local file name ("/", "\", "." or "..").
int AddRemoteEntry(TTransferQueue& queue, const TPaneContext& pane, const std::string& name, int position);

// Adds the local item fullPath (inside folder, the local pane's current folder) as an upload
// entry at position (negative: append). A missing file is queued with size -1.
int AddLocalEntry(TTransferQueue& queue, const std::string& fullPath, const std::string& folder,
                  const std::string& remoteDir, int position);

// "Add to &Queue" of the remote pop-up menu and the drop of the remote selection on the queue
// list: AddRemoteEntry for each selected row caption, appended, in row order.
int AddRemoteNamesToQueue(TTransferQueue& queue, const TPaneContext& pane, const std::vector<std::string>& names);

// "Add to queue" of the toolbar for the remote pane: the kind comes from the row at the same
// index, size and name lookup as AddRemoteEntry. Returns the number of entries added.
int AddRemoteRowsToQueue(TTransferQueue& queue, const TPaneContext& pane, const std::vector<int>& selectedRows);

// "Add to &Queue" of the local pop-up menu and the drop of the local selection: AddLocalEntry
// for each selected full path, appended, in row order.
int AddLocalPathsToQueue(TTransferQueue& queue, const TPaneContext& pane, const std::vector<std::string>& fullPaths);

// The toolbar "Add to queue" and the Transfer menu item: by the active pane, 1 local, 2 remote;
// any other pane adds nothing.
int AddToQueueByPane(TTransferQueue& queue, int activePane, const TPaneContext& pane,
                     const std::vector<int>& selectedRemoteRows, const std::vector<std::string>& selectedLocalPaths);
