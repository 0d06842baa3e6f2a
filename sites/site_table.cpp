#include "sites/site_table.h"

#include <algorithm>

#include "sites/record_codec.h"
#include "sites/text_convert.h"

TLoginTypeCode LoginTypeCode(const TFTPInfo& site) {
    if (site.LoginType.size() != 1) return ltNone;
    switch (site.LoginType[0]) {
        case ltNormal:
            return ltNormal;
        case ltAnonymous:
            return ltAnonymous;
        case ltDouble:
            return ltDouble;
        default:
            return ltNone;
    }
}

std::string LoginTypeText(TLoginTypeCode code) {
    return code == ltNone ? std::string() : std::string(1, static_cast<char>(code));
}

std::string TSiteFileRecord::Encode(const TFTPInfo& site) {
    std::string r(Size, '\0');
    PutShortString(r, SiteNameOffset, StringCapacity, site.SiteName);
    PutShortString(r, HostOffset, StringCapacity, site.Host);
    PutShortString(r, UserNameOffset, StringCapacity, site.UserName);
    PutShortString(r, PasswordOffset, StringCapacity, site.Password);
    PutInt32LE(r, PortOffset, site.Port);
    PutShortString(r, HomeDirOffset, StringCapacity, site.HomeDir);
    PutShortString(r, LoginTypeOffset, StringCapacity, site.LoginType);
    PutShortString(r, TransferModeOffset, StringCapacity, site.TransferMode);
    PutInt32LE(r, RetriesOffset, site.Retries);
    PutInt32LE(r, RetryDelayOffset, site.RetryDelay);
    return r;
}

TFTPInfo TSiteFileRecord::Decode(std::string_view r, bool* overlong) {
    TFTPInfo s;
    s.SiteName = GetShortString(r, SiteNameOffset, StringCapacity, overlong);
    s.Host = GetShortString(r, HostOffset, StringCapacity, overlong);
    s.UserName = GetShortString(r, UserNameOffset, StringCapacity, overlong);
    s.Password = GetShortString(r, PasswordOffset, StringCapacity, overlong);
    s.Port = GetInt32LE(r, PortOffset);
    s.HomeDir = GetShortString(r, HomeDirOffset, StringCapacity, overlong);
    s.LoginType = GetShortString(r, LoginTypeOffset, StringCapacity, overlong);
    s.TransferMode = GetShortString(r, TransferModeOffset, StringCapacity, overlong);
    s.Retries = GetInt32LE(r, RetriesOffset);
    s.RetryDelay = GetInt32LE(r, RetryDelayOffset);
    return s;
}

std::string TSiteTable::CurrentSiteName() const {
    return HasCurrentSite() ? Sites_[static_cast<std::size_t>(CurrentSite_)].SiteName : std::string();
}

int TSiteTable::FindLastByName(const std::string& name) const {
    for (int i = Count() - 1; i >= 0; --i)
        if (Sites_[static_cast<std::size_t>(i)].SiteName == name) return i;
    return -1;
}

bool TSiteTable::SelectByName(const std::string& name) {
    int i = FindLastByName(name);
    if (i < 0) return false;
    CurrentSite_ = i;
    return true;
}

int TSiteTable::AddSite() {
    Sites_.push_back(TFTPInfo{});
    CurrentSite_ = SiteHigh();
    if (Paired_) Paired_->SiteAdded(CurrentSite_, Sites_.back().SiteName);
    return CurrentSite_;
}

bool TSiteTable::DeleteSite(int k) {
    if (!IsValidIndex(k)) return false;
    Sites_.erase(Sites_.begin() + k);
    if (Paired_) Paired_->SiteDeleted(k);
    CurrentSite_ = 0;
    return true;
}

void TSiteTable::SetSiteName(int index, const std::string& name) {
    Site(index).SiteName = name;
    if (Paired_) Paired_->SiteRenamed(index, name);
}

void TSiteTable::SortByName() {
    std::string remembered = CurrentSiteName();
    bool hadCurrent = HasCurrentSite();

    std::vector<std::string> order;
    for (const TFTPInfo& s : Sites_) order.push_back(s.SiteName);
    std::stable_sort(order.begin(), order.end(),
                     [](const std::string& a, const std::string& b) { return CompareTextIgnoreCase(a, b) < 0; });

    // Bring the slots into the order of the sorted names, one name after the other.
    const int n = Count();
    for (int i = 0; i < n; ++i) {
        for (int j = i; j < n; ++j) {
            if (Sites_[static_cast<std::size_t>(j)].SiteName != order[static_cast<std::size_t>(i)] || i == j) continue;
            std::swap(Sites_[static_cast<std::size_t>(i)], Sites_[static_cast<std::size_t>(j)]);
            if (Paired_) Paired_->SitesSwapped(i, j);
        }
    }
    if (hadCurrent) SelectByName(remembered);
}

TSiteLoadReport TSiteTable::Load(const std::string& dataDir) {
    TSiteLoadReport report;
    std::optional<std::string> bytes = File_.Read(dataDir);
    if (!bytes) return report;
    report.FileFound = true;

    std::vector<TFTPInfo> loaded;
    std::size_t whole = bytes->size() / TSiteFileRecord::Size;
    loaded.reserve(whole);
    bool overlong = false;
    for (std::size_t a = 0; a < whole; ++a)
        loaded.push_back(TSiteFileRecord::Decode(
            std::string_view(*bytes).substr(a * TSiteFileRecord::Size, TSiteFileRecord::Size), &overlong));

    std::size_t trailing = bytes->size() % TSiteFileRecord::Size;
    std::string damage;
    if (trailing != 0)
        damage = std::to_string(trailing) + " bytes at its end do not form a whole record and were ignored";
    if (overlong) {
        if (!damage.empty()) damage += "; ";
        damage += "a text field claimed more than 100 characters and was cut to 100";
    }
    if (damage.empty())
        File_.MarkLoaded();
    else
        report.Message = File_.MarkDamaged(dataDir, damage);

    Sites_ = std::move(loaded);
    report.SitesLoaded = Count();
    if (Paired_) {
        std::vector<std::string> names;
        for (const TFTPInfo& s : Sites_) names.push_back(s.SiteName);
        Paired_->SitesLoaded(names);
    }
    return report;
}

std::string TSiteTable::EncodeFile() const {
    std::string out;
    out.reserve(Sites_.size() * TSiteFileRecord::Size);
    for (const TFTPInfo& s : Sites_) out += TSiteFileRecord::Encode(s);
    return out;
}

void TSiteTable::Save(const std::string& dataDir) { File_.Write(dataDir, EncodeFile()); }
