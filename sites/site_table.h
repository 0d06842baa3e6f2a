#pragma once
// The stored FTP sites: the record of one site, the table of all sites with the current one,
// and the site list file FTPList.dat.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sites/data_file.h"
#include "sites/site_options.h"

// Login type codes, stored as the single character of `LoginType`.
enum TLoginTypeCode { ltNone = 0, ltNormal = 1, ltAnonymous = 2, ltDouble = 3 };

// One site. A default-constructed record holds the values of a newly added site.
struct TFTPInfo {
    std::string SiteName = "New Site";
    std::string Host;
    std::string UserName;
    std::string Password;
    int32_t Port = 21;
    std::string HomeDir = "/";
    std::string LoginType = std::string(1, static_cast<char>(ltNormal));
    std::string TransferMode = "ftAvto";
    int32_t Retries = 0;
    int32_t RetryDelay = 0;
    // Kept in the options file, not in FTPList.dat; travels with the slot (rename, sort, delete).
    TSiteOptions Options;

    // What the site dialog accepts; a value beyond a bound becomes that bound, with a notice.
    static constexpr int32_t MaxPort = 65535;
    static constexpr int32_t MaxRetries = 1000;
    static constexpr int32_t MaxRetryDelay = 3600;  // seconds

    bool operator==(const TFTPInfo&) const = default;
};

// ltNormal, ltAnonymous or ltDouble for a one-character `LoginType` of code 1, 2 or 3; ltNone for
// anything else (an empty value among them).
TLoginTypeCode LoginTypeCode(const TFTPInfo& site);
std::string LoginTypeText(TLoginTypeCode code);

// The 720-byte record of FTPList.dat.
struct TSiteFileRecord {
    static constexpr std::size_t Size = 720;
    static constexpr std::size_t StringCapacity = 100;
    static constexpr std::size_t SiteNameOffset = 0;
    static constexpr std::size_t HostOffset = 101;
    static constexpr std::size_t UserNameOffset = 202;
    static constexpr std::size_t PasswordOffset = 303;
    static constexpr std::size_t PortOffset = 404;
    static constexpr std::size_t HomeDirOffset = 408;
    static constexpr std::size_t LoginTypeOffset = 509;
    static constexpr std::size_t TransferModeOffset = 610;
    static constexpr std::size_t RetriesOffset = 712;
    static constexpr std::size_t RetryDelayOffset = 716;

    static std::string Encode(const TFTPInfo& site);
    // `record` holds at least Size bytes; `overlong` is set when a length byte exceeded 100.
    static TFTPInfo Decode(std::string_view record, bool* overlong = nullptr);
};

// Whatever must move in step with the site slots (the stored queues): slot i belongs to site i.
class ISitePairedSlots {
public:
    virtual ~ISitePairedSlots() = default;
    // The table was loaded: slot i takes names[i] and is emptied; there are exactly names.size() slots.
    virtual void SitesLoaded(const std::vector<std::string>& names) = 0;
    // A site was appended at index (always the new last index): its slot takes the name, empty.
    virtual void SiteAdded(int index, const std::string& name) = 0;
    // The site at index was deleted; the slots after it move one place towards the front.
    virtual void SiteDeleted(int index) = 0;
    virtual void SitesSwapped(int i, int j) = 0;
    virtual void SiteRenamed(int index, const std::string& name) = 0;
};

// Outcome of loading FTPList.dat. A read error is raised instead (EInOutError).
struct TSiteLoadReport {
    bool FileFound = false;
    int SitesLoaded = 0;
    std::string Message;  // not empty when the file was damaged; it names the kept copy
};

class TSiteTable {
public:
    static constexpr const char* FileName = "FTPList.dat";

    // The stored queues (or any other per-site slots) to keep in step; may be null.
    void SetPairedSlots(ISitePairedSlots* paired) { Paired_ = paired; }

    const std::vector<TFTPInfo>& Sites() const { return Sites_; }
    // Fields other than SiteName may be edited in place; rename through SetSiteName.
    TFTPInfo& Site(int index) { return Sites_.at(static_cast<std::size_t>(index)); }
    const TFTPInfo& Site(int index) const { return Sites_.at(static_cast<std::size_t>(index)); }
    int Count() const { return static_cast<int>(Sites_.size()); }
    int SiteHigh() const { return Count() - 1; }
    bool IsValidIndex(int index) const { return index >= 0 && index < Count(); }

    // The selected site. It starts at 0 and refers to no site while the table is empty.
    int CurrentSite() const { return CurrentSite_; }
    void SetCurrentSite(int index) { CurrentSite_ = index; }
    bool HasCurrentSite() const { return IsValidIndex(CurrentSite_); }
    // The current site's name, or empty when there is no current site.
    std::string CurrentSiteName() const;

    // Index of the last site whose name equals `name` byte for byte, or -1.
    int FindLastByName(const std::string& name) const;
    // CurrentSite := the last site of that name; unchanged (and false) when there is none.
    bool SelectByName(const std::string& name);

    // Appends a new site with the new-site values, makes it current and returns its index.
    int AddSite();
    // Removes site k, moving later sites (and their paired slots) one place forward, and makes
    // the first site current. False, with nothing changed, when k is not a site.
    bool DeleteSite(int k);
    // Sets the site's name and the name of its paired slot.
    void SetSiteName(int index, const std::string& name);
    // Sorts the sites by name ignoring case, swapping the paired slots along, then makes the
    // last site of the previously current name current again.
    void SortByName();

    // Replaces the table by the contents of FTPList.dat in dataDir; CurrentSite is not changed.
    // A missing file leaves the table as it is. Raises EInOutError when the file cannot be read,
    // leaving the table unchanged.
    TSiteLoadReport Load(const std::string& dataDir);
    // Writes every site to FTPList.dat (atomically; EInOutError on failure).
    void Save(const std::string& dataDir);
    // The file contents Save writes.
    std::string EncodeFile() const;

private:
    std::vector<TFTPInfo> Sites_;
    int CurrentSite_ = 0;
    ISitePairedSlots* Paired_ = nullptr;
    TDataFile File_{FileName};
};
