#pragma once
// Remote directory walks shared by the tree transfers and the remote tree delete: reading the
// lines of a LIST reply into entries, and deleting a remote directory tree.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class TIdFTP;

// One entry of a remote directory as the tree walks see it.
struct TRemoteListEntry {
    std::string Name;
    bool IsDir = false;
    bool IsLink = false;  // a symbolic link: what it points to is not known from the listing
    int64_t Size = 0;
    std::string Unique;  // the MLSD "unique" fact (empty from LIST): equal for two names of one folder
};

// What reading a listing left out, for the status log.
struct TListingRejects {
    std::vector<std::string> UnsafeNames;    // names holding "/" or "\" (never used in a path)
    std::vector<std::string> UnparsedLines;  // lines no known layout could read
};

// A name from a server that may become one component of a path: not empty, not "." or "..",
// without "/", "\" or NUL.
bool IsSafeRemoteName(const std::string& name);

// Reads LIST lines (or MLSD lines, with mlsd) with the listing parser, each line on its own (one
// bad line costs only itself). "total" lines, blank lines, "." and "..", and the MLSD lines of the
// folder itself and its parent are skipped silently; links are neither files nor folders (IsLink).
std::vector<TRemoteListEntry> ReadListingEntries(const std::vector<std::string>& lines,
                                                 TListingRejects* rejects = nullptr, bool mlsd = false);

// Lists the current remote directory for a tree walk: MLSD where the server offers it (and LIST
// as well when folders show, to tell links to folders apart), else LIST. A refused listing is
// empty.
// strict: a refused listing raises (also one the client takes as an empty directory), for callers
// that must not take "not listed" for "absent".
std::vector<TRemoteListEntry> ListRemoteEntries(TIdFTP& ftp, TListingRejects* rejects = nullptr, bool strict = false);

// The status-log texts for what a listing left out.
std::vector<std::string> DescribeRejects(const TListingRejects& rejects, const std::string& dir);

// dir with "/" appended unless it already ends in one (an empty dir stays empty).
std::string WithSlash(const std::string& dir);

// Outcome of a remote delete.
struct TRemoteDeleteResult {
    bool Ok = true;
    std::string Error;  // the failing step's message when !Ok
    int FilesDeleted = 0;
    int DirsRemoved = 0;
};

// The user-facing message of a failed remote delete.
inline constexpr const char* kCannotDeleteMessage = "Can not delete file or directory!";

// Deletes dir + name on the server: a file or a link with DELE (a link goes, never what it points
// to); a directory with everything below it
// (files first, as each directory is listed; then the directories, deepest first; finally back
// to dir). Names that cannot be a single path component are never sent to DELE or RMD; they
// are reported through log and leave their directory in place (its RMD then fails). The first
// refused command ends the deletion (what was deleted stays deleted); the client then tries to
// return to dir. `log` may be empty.
TRemoteDeleteResult DeleteRemoteTree(TIdFTP& ftp, const std::string& dir, const std::string& name, bool isDir,
                                     const std::function<void(const std::string&)>& log = {});
