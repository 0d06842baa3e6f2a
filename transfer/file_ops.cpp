#include "transfer/file_ops.h"

#include <algorithm>
#include <cctype>
#include <set>
#include <exception>

#include "ftp/ftp_client.h"
#include "ftp/list_items.h"
#include "ftp/list_mlsd.h"

bool IsSafeRemoteName(const std::string& name) {
    if (name.empty() || name == "." || name == "..") return false;
    return name.find_first_of(std::string("/\\\0", 3)) == std::string::npos;
}

std::string WithSlash(const std::string& dir) {
    if (dir.empty() || dir.back() == '/') return dir;
    return dir + "/";
}

namespace {

bool StartsWithTotal(const std::string& line) {
    static const char kTotal[] = "TOTAL";
    if (line.size() < 5) return false;
    for (size_t i = 0; i < 5; ++i)
        if (std::toupper(static_cast<unsigned char>(line[i])) != kTotal[i]) return false;
    return true;
}

bool Blank(const std::string& line) {
    for (char c : line)
        if (c != ' ' && c != '\t') return false;
    return true;
}

}  // namespace

std::vector<TRemoteListEntry> ReadListingEntries(const std::vector<std::string>& lines, TListingRejects* rejects,
                                                 bool mlsd) {
    std::vector<TRemoteListEntry> entries;
    TIdFTPListItems items;
    for (std::string line : lines) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (Blank(line) || (!mlsd && StartsWithTotal(line))) continue;
        TIdFTPListItem parsed;
        if (mlsd) {
            const TMlsdLine kind = ParseMlsdLine(line, parsed);
            if (kind == TMlsdLine::ThisOrUp) continue;
            if (kind == TMlsdLine::Malformed) {
                if (rejects) rejects->UnparsedLines.push_back(line);
                continue;
            }
        } else {
            // Each line is judged and parsed alone: servers mix layouts rarely, but one line with a
            // date the rules refuse must not drop the entries read before it.
            items.CurrentFormat = items.DetectFormat(line, true);
            items.LoadList({line});
            if (items.Count() != 1 || items.CurrentFormat == lfUnknown) {
                if (rejects) rejects->UnparsedLines.push_back(line);
                continue;
            }
            parsed = items.Items(0);
        }
        const TIdFTPListItem& item = parsed;
        if (item.ItemName == "." || item.ItemName == "..") continue;
        if (!IsSafeRemoteName(item.ItemName)) {
            if (rejects) rejects->UnsafeNames.push_back(item.ItemName);
            continue;
        }
        TRemoteListEntry e;
        e.Name = item.ItemName;
        e.IsDir = item.Kind == itDirectory;
        e.IsLink = item.Kind == itLink;
        e.Size = e.IsDir ? 0 : item.ItemSize;
        e.Unique = item.Unique;
        entries.push_back(std::move(e));
    }
    return entries;
}

std::vector<TRemoteListEntry> ListRemoteEntries(TIdFTP& ftp, TListingRejects* rejects, bool strict) {
    std::vector<std::string> lines;
    try {
        ftp.List(&lines, "", true);
    } catch (const EIdProtocolReplyError&) {
        if (strict) throw;
        return {};
    }
    if (strict && !ftp.ListRefusal().empty())
        throw EIdProtocolReplyError(ftp.LastReply.NumericCode(), ftp.ListRefusal());
    std::vector<TRemoteListEntry> entries = ReadListingEntries(lines, rejects, ftp.LastListingIsMlsd());
    // MLSD comes in the server's own order; a walk goes by name, as LIST listings are sorted.
    if (ftp.LastListingIsMlsd())
        std::sort(entries.begin(), entries.end(),
                  [](const TRemoteListEntry& a, const TRemoteListEntry& b) { return a.Name < b.Name; });
    const bool folders = std::any_of(entries.begin(), entries.end(), [](const TRemoteListEntry& e) { return e.IsDir; });
    if (!ftp.LastListingIsMlsd() || !folders) return entries;
    // Some servers' MLSD shows a link to a folder as the folder itself; their LIST tells links
    // apart, and walking one would copy or delete what it points to.
    std::vector<std::string> longLines;
    try {
        ftp.List(&longLines, "", true, false);
    } catch (const EIdProtocolReplyError&) {
        return entries;
    }
    std::set<std::string> links;
    for (const auto& e : ReadListingEntries(longLines))
        if (e.IsLink) links.insert(e.Name);
    for (auto& e : entries)
        if (e.IsDir && links.count(e.Name)) {
            e.IsDir = false;
            e.IsLink = true;
        }
    return entries;
}

std::vector<std::string> DescribeRejects(const TListingRejects& rejects, const std::string& dir) {
    std::vector<std::string> out;
    for (const auto& name : rejects.UnsafeNames)
        out.push_back("Skipped \"" + name + "\" in " + dir + ": not a plain file name");
    for (const auto& line : rejects.UnparsedLines)
        out.push_back("Skipped unreadable listing line in " + dir + ": " + line);
    return out;
}

TRemoteDeleteResult DeleteRemoteTree(TIdFTP& ftp, const std::string& dir, const std::string& name, bool isDir,
                                     const std::function<void(const std::string&)>& log) {
    TRemoteDeleteResult result;
    const std::string base = WithSlash(dir);
    try {
        if (!isDir) {
            ftp.Delete(base + name);
            ++result.FilesDeleted;
            return result;
        }
        std::vector<std::string> work{base + name};
        ftp.ChangeDir(base);
        for (size_t i = 0; i < work.size(); ++i) {
            const std::string d = work[i];
            ftp.ChangeDir(d);
            // An unreadable directory lists as empty; it shows up when its RMD is refused.
            TListingRejects rejects;
            const auto entries = ListRemoteEntries(ftp, &rejects);
            if (log)
                for (const auto& text : DescribeRejects(rejects, d)) log(text);
            const std::string cwd = WithSlash(d);
            for (const auto& e : entries) {
                if (e.IsDir) {
                    work.push_back(cwd + e.Name);
                } else {
                    ftp.Delete(cwd + e.Name);
                    ++result.FilesDeleted;
                }
            }
        }
        // Leave the directories being removed before removing them.
        ftp.ChangeDir(base);
        for (size_t i = work.size(); i-- > 0;) {
            ftp.RemoveDir(work[i]);
            ++result.DirsRemoved;
        }
    } catch (const std::exception& e) {
        result.Ok = false;
        result.Error = e.what();
        try {
            if (isDir) ftp.ChangeDir(base);
        } catch (const std::exception&) {
            // the first failure is the one reported
        }
    }
    return result;
}
