#include "transfer/queue_file.h"

#include "sites/record_codec.h"

std::string TQueueFileRecord::Encode() const {
    std::string r(Size, '\0');
    PutShortString(r, SiteNameOffset, SiteNameCapacity, SiteName);
    PutShortString(r, FileNameOffset, FileNameCapacity, Entry.FileName);
    PutShortString(r, LocalPathOffset, PathCapacity, Entry.LocalPath);
    PutInt64LE(r, FileSizeOffset, Entry.FileSize);
    PutShortString(r, ProcessOffset, WordCapacity, Entry.Process);
    PutShortString(r, RemotePathOffset, PathCapacity, Entry.RemotePath);
    PutShortString(r, StatusOffset, WordCapacity, Entry.Status);
    r[IsFolderOffset] = Entry.IsFolder ? 1 : 0;
    return r;
}

TQueueFileRecord TQueueFileRecord::Decode(std::string_view r, bool* overlong) {
    TQueueFileRecord q;
    q.SiteName = GetShortString(r, SiteNameOffset, SiteNameCapacity, overlong);
    q.Entry.FileName = GetShortString(r, FileNameOffset, FileNameCapacity, overlong);
    q.Entry.LocalPath = GetShortString(r, LocalPathOffset, PathCapacity, overlong);
    q.Entry.FileSize = GetInt64LE(r, FileSizeOffset);
    q.Entry.Process = GetShortString(r, ProcessOffset, WordCapacity, overlong);
    q.Entry.RemotePath = GetShortString(r, RemotePathOffset, PathCapacity, overlong);
    q.Entry.Status = GetShortString(r, StatusOffset, WordCapacity, overlong);
    q.Entry.IsFolder = r[IsFolderOffset] != 0;
    return q;
}

TQueueLoadReport TTransferQueue::LoadQueueFile(const std::string& dataDir,
                                               const std::optional<std::string>& liveSiteName) {
    TQueueLoadReport report;
    std::optional<std::string> bytes = File_.Read(dataDir);
    if (bytes) {
        report.FileFound = true;
        for (TQueueStore& slot : Stores_.Slots) slot.Items.clear();
        Stores_.Orphans.clear();
        std::size_t whole = bytes->size() / TQueueFileRecord::Size;
        bool overlong = false;
        for (std::size_t k = 0; k < whole; ++k) {
            TQueueFileRecord rec = TQueueFileRecord::Decode(
                std::string_view(*bytes).substr(k * TQueueFileRecord::Size, TQueueFileRecord::Size), &overlong);
            ++report.RecordsRead;
            bool matched = false;
            for (TQueueStore& slot : Stores_.Slots) {
                if (slot.SiteName != rec.SiteName) continue;
                slot.Items.push_back(rec.Entry);
                matched = true;
            }
            if (!matched) {
                ++report.RecordsUnknownSite;
                Stores_.Orphans.push_back({rec.SiteName, rec.Entry});
            }
        }
        std::size_t trailing = bytes->size() % TQueueFileRecord::Size;
        std::string damage;
        if (trailing != 0)
            damage = std::to_string(trailing) + " bytes at its end do not form a whole record and were ignored";
        if (overlong) {
            if (!damage.empty()) damage += "; ";
            damage += "a text field claimed more characters than it can hold and was cut";
        }
        if (damage.empty())
            File_.MarkLoaded();
        else
            report.Message = File_.MarkDamaged(dataDir, damage);
    }

    const std::vector<TQueueInfo>* live = nullptr;
    if (liveSiteName)
        for (const TQueueStore& slot : Stores_.Slots)
            if (slot.SiteName == *liveSiteName) live = &slot.Items;
    ReplaceLiveEntries(live ? *live : std::vector<TQueueInfo>{});
    RefreshQueueSummary();
    return report;
}

std::string TTransferQueue::EncodeQueueFile(const TSiteTable& sites) const {
    std::string out;
    for (int i = 0; i < sites.Count() && i < Stores_.Count(); ++i) {
        const TQueueStore& slot = Stores_.Slot(i);
        const std::string& name = sites.Site(i).SiteName;
        // A store that no longer carries its site's name belongs to no site.
        if (slot.SiteName != name) continue;
        // Sites of one name share their records (each load gives all of them every record of the
        // name), so a copy is written once; written again it would double at every restart.
        bool copy = false;
        for (int j = 0; j < i && !copy; ++j)
            copy = sites.Site(j).SiteName == name && Stores_.Slot(j).SiteName == name &&
                   Stores_.Slot(j).Items == slot.Items;
        if (copy) continue;
        for (const TQueueInfo& entry : slot.Items) out += TQueueFileRecord{name, entry}.Encode();
    }
    for (const TOrphanQueueEntry& o : Stores_.Orphans) out += TQueueFileRecord{o.SiteName, o.Entry}.Encode();
    return out;
}

void TTransferQueue::SaveQueueFiles(const std::string& dataDir, const TSiteTable& sites) {
    if (sites.HasCurrentSite()) StoreLiveQueue(sites.CurrentSiteName());
    File_.Write(dataDir, EncodeQueueFile(sites));
}
