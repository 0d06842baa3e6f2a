#pragma once
// Connection options of each site and the program-wide connection defaults. They live in a text
// file of their own beside the fixed-record files, whose layouts have no room for them.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "sites/data_file.h"

class TSiteTable;

enum class TDataConnectionMode { Default = 0, Passive = 1, Active = 2 };
enum class TSiteNameEncoding { Auto = 0, Utf8 = 1, Raw = 2 };
// How the site's sessions are encrypted. Sites without a record use TLS when the server offers it.
enum class TSiteEncryption { ExplicitIfAvailable = 0, RequireExplicit = 1, RequireImplicit = 2, PlainOnly = 3 };

// One site's options. A default-constructed value holds a new site's options.
struct TSiteOptions {
    TDataConnectionMode DataMode = TDataConnectionMode::Default;
    TSiteNameEncoding NameEncoding = TSiteNameEncoding::Auto;
    bool KeepAlive = true;
    TSiteEncryption Encryption = TSiteEncryption::ExplicitIfAvailable;
    // Fields a later version wrote ("key=value" as stored), written back unchanged.
    std::vector<std::string> LaterFields;

    bool operator==(const TSiteOptions&) const = default;
};

// Program-wide connection settings.
struct TConnectionDefaults {
    static constexpr int32_t MinKeepAliveSeconds = 5;
    static constexpr int32_t MaxKeepAliveSeconds = 3600;

    // What a site's Default mode means; never Default itself.
    TDataConnectionMode DataMode = TDataConnectionMode::Passive;
    int32_t KeepAliveSeconds = 60;
    // Program lines a later version wrote, written back unchanged.
    std::vector<std::string> LaterLines;

    bool operator==(const TConnectionDefaults&) const = default;
};

// Whether data connections of the site are passive.
bool UsesPassive(const TSiteOptions& site, const TConnectionDefaults& defaults);

// "Keep alive interval must be between 5 and 3600 seconds." unless the value is in range.
std::string KeepAliveRangeMessage();
bool KeepAliveInRange(int32_t seconds);

struct TSiteOptionsLoadReport {
    bool FileFound = false;
    int RecordsPaired = 0;
    int RecordsUnpaired = 0;
    std::string Message;  // not empty when the file was damaged; it names the kept copy
};

// The contents of the options file, parsed.
struct TSiteOptionsContents {
    TConnectionDefaults Defaults;
    std::vector<std::pair<std::string, TSiteOptions>> Records;  // site name, options; file order
    std::string Damage;                                         // empty when every line was read
};

class TSiteOptionsFile {
public:
    static constexpr const char* FileName = "FTPSiteOptions.txt";
    static constexpr int Version = 1;

    TConnectionDefaults Defaults;

    // Reads the file and gives each site its record: the k-th site of a name takes the k-th
    // record of that name. Sites without a record get a new site's options; records no site
    // takes are kept for the next save. A missing file changes nothing but the sites' options.
    // A read error raises EInOutError.
    TSiteOptionsLoadReport Load(const std::string& dataDir, TSiteTable& sites);
    // One record per site in slot order, then the kept records of names no site has now.
    std::string EncodeFile(const TSiteTable& sites) const;
    void Save(const std::string& dataDir, const TSiteTable& sites);

    static TSiteOptionsContents Parse(const std::string& bytes);
    // Site names are byte strings: every byte that could end a field or a line is escaped.
    static std::string EscapeName(const std::string& name);
    // False for a malformed escape.
    static bool UnescapeName(const std::string& text, std::string& name);

    const std::vector<std::pair<std::string, TSiteOptions>>& KeptRecords() const { return Kept_; }

private:
    std::vector<std::pair<std::string, TSiteOptions>> Kept_;
    TDataFile File_{FileName};
};
