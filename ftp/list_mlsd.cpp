#include "ftp/list_mlsd.h"

#include <cctype>
#include <cstdint>
#include <ctime>

namespace {

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool AllDigits(const std::string& s) {
    if (s.empty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

bool ParseSize(const std::string& s, int64_t& out) {
    if (!AllDigits(s) || s.size() > 18) return false;  // 18 digits always fit
    out = std::stoll(s);
    return true;
}

int Num(const std::string& s, size_t at, size_t len) { return std::stoi(s.substr(at, len)); }

// YYYYMMDDHHMMSS with an optional fraction, in UTC; the value is the local time of that moment,
// as LIST dates are.
bool ParseModify(const std::string& s, TDateTime& out) {
    const size_t dot = s.find('.');
    const std::string whole = s.substr(0, dot);
    std::string fraction = dot == std::string::npos ? std::string() : s.substr(dot + 1);
    if (whole.size() != 14 || !AllDigits(whole)) return false;
    if (dot != std::string::npos && !AllDigits(fraction)) return false;
    std::tm utc{};
    utc.tm_year = Num(whole, 0, 4) - 1900;
    utc.tm_mon = Num(whole, 4, 2) - 1;
    utc.tm_mday = Num(whole, 6, 2);
    utc.tm_hour = Num(whole, 8, 2);
    utc.tm_min = Num(whole, 10, 2);
    utc.tm_sec = std::min(Num(whole, 12, 2), 59);  // a leap second stays in its minute
    if (utc.tm_mon > 11 || utc.tm_mday < 1 || utc.tm_mday > DaysInMonth(utc.tm_year + 1900, utc.tm_mon + 1) ||
        utc.tm_hour > 23 || utc.tm_min > 59)
        return false;
    fraction.resize(3, '0');
    const int ms = Num(fraction, 0, 3);
    const time_t when = ::timegm(&utc);
    std::tm local{};
    if (!::localtime_r(&when, &local)) return false;
    TDateTime date = 0, time = 0;
    if (!TryEncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, date) ||
        !TryEncodeTime(local.tm_hour, local.tm_min, std::min(local.tm_sec, 59), ms, time))
        return false;
    out = CombineDateTime(date, time);
    return true;
}

// "0755" (or "755", "40755") as the nine rights letters.
void SetRights(const std::string& mode, TIdFTPListItem& item) {
    if (mode.empty() || mode.size() > 7) return;
    for (char c : mode)
        if (c < '0' || c > '7') return;
    const unsigned bits = static_cast<unsigned>(std::stoul(mode, nullptr, 8));
    auto triple = [bits](int shift) {
        const unsigned v = (bits >> shift) & 7u;
        return std::string{(v & 4u) ? 'r' : '-', (v & 2u) ? 'w' : '-', (v & 1u) ? 'x' : '-'};
    };
    item.OwnerRights = triple(6);
    item.GroupRights = triple(3);
    item.OtherRights = triple(0);
}

}  // namespace

TMlsdLine ParseMlsdLine(const std::string& line, TIdFTPListItem& item) {
    const size_t space = line.find(' ');
    if (space == std::string::npos || space + 1 >= line.size()) return TMlsdLine::Malformed;
    TIdFTPListItem out;
    out.RawLine = line;
    out.ItemName = line.substr(space + 1);
    const std::string facts = line.substr(0, space);
    std::string type, owner, ownerName, group, groupName;
    bool thisOrUp = false;
    size_t at = 0;
    while (at < facts.size()) {
        size_t end = facts.find(';', at);
        if (end == std::string::npos) end = facts.size();
        const std::string fact = facts.substr(at, end - at);
        at = end + 1;
        if (fact.empty()) continue;
        const size_t eq = fact.find('=');
        if (eq == std::string::npos || eq == 0) return TMlsdLine::Malformed;
        const std::string key = Lower(fact.substr(0, eq));
        const std::string value = fact.substr(eq + 1);
        if (key == "type") {
            type = Lower(value);
            if (type == "cdir" || type == "pdir") {
                thisOrUp = true;
            } else if (type == "dir") {
                out.Kind = itDirectory;
            } else if (type.rfind("os.unix=slink", 0) == 0 || type == "os.unix=symlink") {
                out.Kind = itLink;
                const size_t colon = value.find(':');
                if (colon != std::string::npos) out.LinkTarget = value.substr(colon + 1);
            } else {
                out.Kind = itFile;
            }
        } else if (key == "size" || key == "sizd") {
            if (!ParseSize(value, out.ItemSize)) return TMlsdLine::Malformed;
        } else if (key == "modify") {
            if (!ParseModify(value, out.Modified)) return TMlsdLine::Malformed;
            out.TimeKnown = true;
        } else if (key == "perm") {
            out.Perm = value;
        } else if (key == "unique") {
            out.Unique = value;
        } else if (key == "unix.mode") {
            SetRights(value, out);
        } else if (key == "unix.owner" || key == "unix.uid") {
            owner = value;
        } else if (key == "unix.ownername") {
            ownerName = value;
        } else if (key == "unix.group" || key == "unix.gid") {
            group = value;
        } else if (key == "unix.groupname") {
            groupName = value;
        }
    }
    if (type.empty()) return TMlsdLine::Malformed;
    if (thisOrUp) return TMlsdLine::ThisOrUp;
    if (!ownerName.empty() || !owner.empty()) out.Owner = ownerName.empty() ? owner : ownerName;
    if (!groupName.empty() || !group.empty()) out.Group = groupName.empty() ? group : groupName;
    item = std::move(out);
    return TMlsdLine::Entry;
}

void LoadMlsdList(TIdFTPListItems& items, const std::vector<std::string>& lines, int* malformed) {
    items.Clear();
    items.Reserve(lines.size());
    items.CurrentFormat = lfMlsd;
    if (malformed) *malformed = 0;
    for (const std::string& line : lines) {
        if (line.find_first_not_of(" \t") == std::string::npos) continue;
        TIdFTPListItem item;
        const TMlsdLine kind = ParseMlsdLine(line, item);
        if (kind == TMlsdLine::Entry)
            items.Add() = std::move(item);
        else if (kind == TMlsdLine::Malformed && malformed)
            ++*malformed;
    }
}
