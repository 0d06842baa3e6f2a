#include "transfer/file_ops.h"

#include <cctype>
#include <exception>

#include "ftp/ftp_client.h"
#include "ftp/list_items.h"

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

std::vector<TRemoteListEntry> ReadListingEntries(const std::vector<std::string>& lines, TListingRejects* rejects) {
    std::vector<TRemoteListEntry> entries;
    TIdFTPListItems items;
    for (std::string line : lines) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (Blank(line) || StartsWithTotal(line)) continue;
        // Each line is judged and parsed alone: servers mix layouts rarely, but one line with a
        // date the rules refuse must not drop the entries read before it.
        items.CurrentFormat = items.DetectFormat(line, true);
        items.LoadList({line});
        if (items.Count() != 1 || items.CurrentFormat == lfUnknown) {
            if (rejects) rejects->UnparsedLines.push_back(line);
            continue;
        }
        const TIdFTPListItem& item = items.Items(0);
        if (item.ItemName == "." || item.ItemName == "..") continue;
        if (!IsSafeRemoteName(item.ItemName)) {
            if (rejects) rejects->UnsafeNames.push_back(item.ItemName);
            continue;
        }
        TRemoteListEntry e;
        e.Name = item.ItemName;
        e.IsDir = item.Kind == itDirectory;
        e.Size = e.IsDir ? 0 : item.ItemSize;
        entries.push_back(std::move(e));
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
            std::vector<std::string> lines;
            try {
                ftp.List(&lines, "", true);
            } catch (const EIdProtocolReplyError&) {
                lines.clear();  // an unreadable directory shows up when its RMD is refused
            }
            TListingRejects rejects;
            const auto entries = ReadListingEntries(lines, &rejects);
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
        }
    }
    return result;
}
