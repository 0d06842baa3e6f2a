#include "sites/site_options.h"

#include <algorithm>
#include <map>

#include "sites/site_table.h"
#include "sites/text_convert.h"
#include "sites/text_lines.h"

namespace {

constexpr const char* kHeader = "Orlix FTP client site options";

struct TWord {
    const char* Text;
    int Value;
};
constexpr TWord kModes[] = {{"default", 0}, {"passive", 1}, {"active", 2}};
constexpr TWord kEncodings[] = {{"auto", 0}, {"utf-8", 1}, {"raw", 2}};
constexpr TWord kSwitch[] = {{"off", 0}, {"on", 1}};
constexpr TWord kEncryption[] = {{"tls-if-available", 0}, {"tls-explicit", 1}, {"tls-implicit", 2}, {"plain", 3}};

template <std::size_t N>
const char* WordOf(const TWord (&words)[N], int value) {
    for (const TWord& w : words)
        if (w.Value == value) return w.Text;
    return words[0].Text;
}

template <std::size_t N>
bool ValueOf(const TWord (&words)[N], const std::string& text, int& value) {
    for (const TWord& w : words)
        if (text == w.Text) {
            value = w.Value;
            return true;
        }
    return false;
}

std::string SiteLine(const std::string& name, const TSiteOptions& o) {
    std::string line = "site ";
    line += TSiteOptionsFile::EscapeName(name);
    line += std::string(" data-mode=") + WordOf(kModes, static_cast<int>(o.DataMode));
    line += std::string(" name-encoding=") + WordOf(kEncodings, static_cast<int>(o.NameEncoding));
    line += std::string(" keep-alive=") + WordOf(kSwitch, o.KeepAlive ? 1 : 0);
    line += std::string(" encryption=") + WordOf(kEncryption, static_cast<int>(o.Encryption));
    for (const std::string& f : o.LaterFields) line += " " + f;
    return line + "\n";
}

}  // namespace

bool UsesPassive(const TSiteOptions& site, const TConnectionDefaults& defaults) {
    const TDataConnectionMode mode = site.DataMode == TDataConnectionMode::Default ? defaults.DataMode : site.DataMode;
    return mode != TDataConnectionMode::Active;
}

bool KeepAliveInRange(int32_t seconds) {
    return seconds >= TConnectionDefaults::MinKeepAliveSeconds && seconds <= TConnectionDefaults::MaxKeepAliveSeconds;
}

std::string KeepAliveRangeMessage() {
    return "Keep alive interval must be between " + std::to_string(TConnectionDefaults::MinKeepAliveSeconds) + " and " +
           std::to_string(TConnectionDefaults::MaxKeepAliveSeconds) + " seconds.";
}

std::string TSiteOptionsFile::EscapeName(const std::string& name) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : name) {
        if (c <= 0x20 || c >= 0x7f || c == '%' || c == '=') {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    // An empty name still needs a field of its own.
    return out.empty() ? "%" : out;
}

bool TSiteOptionsFile::UnescapeName(const std::string& text, std::string& name) {
    name.clear();
    if (text == "%") return true;
    auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        return -1;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            name += text[i];
            continue;
        }
        if (i + 2 >= text.size()) return false;
        const int hi = digit(text[i + 1]), lo = digit(text[i + 2]);
        if (hi < 0 || lo < 0) return false;
        name += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    return true;
}

TSiteOptionsContents TSiteOptionsFile::Parse(const std::string& bytes) {
    TSiteOptionsContents c;
    const std::vector<std::string> lines = SplitTextLines(bytes);
    int32_t version = 0;
    c.Damage = CheckHeaderAndVersion(lines, kHeader, version);
    if (!c.Damage.empty()) return c;

    for (std::size_t n = 2; n < lines.size(); ++n) {
        const std::string& line = lines[n];
        const std::vector<std::string> words = SplitSpaces(line);
        // A line of spaces carries nothing, as an empty one.
        if (words.empty()) continue;
        const std::string& key = words[0];
        if (key == "site") {
            std::string name;
            if (words.size() < 2 || !UnescapeName(words[1], name)) {
                AddDamage(c.Damage, "a site line without a readable site name was dropped");
                continue;
            }
            TSiteOptions o;
            for (std::size_t w = 2; w < words.size(); ++w) {
                const std::string::size_type eq = words[w].find('=');
                const std::string field = words[w].substr(0, eq);
                const std::string value = eq == std::string::npos ? std::string() : words[w].substr(eq + 1);
                int v = 0;
                bool ok = true;
                if (field == "data-mode") {
                    ok = ValueOf(kModes, value, v);
                    if (ok) o.DataMode = static_cast<TDataConnectionMode>(v);
                } else if (field == "name-encoding") {
                    ok = ValueOf(kEncodings, value, v);
                    if (ok) o.NameEncoding = static_cast<TSiteNameEncoding>(v);
                } else if (field == "keep-alive") {
                    ok = ValueOf(kSwitch, value, v);
                    if (ok) o.KeepAlive = v != 0;
                } else if (field == "encryption") {
                    ok = ValueOf(kEncryption, value, v);
                    if (ok) o.Encryption = static_cast<TSiteEncryption>(v);
                } else {
                    o.LaterFields.push_back(words[w]);
                }
                if (!ok) AddDamage(c.Damage, "a site field held an unknown value and the default was used");
            }
            c.Records.emplace_back(name, o);
        } else if (key == "default-data-mode") {
            int v = 0;
            if (words.size() == 2 && ValueOf(kModes, words[1], v) && v != 0)
                c.Defaults.DataMode = static_cast<TDataConnectionMode>(v);
            else
                AddDamage(c.Damage, "the default data connection mode was unreadable and Passive was used");
        } else if (key == "keep-alive-interval") {
            int32_t v = 0;
            if (words.size() == 2 && TryStrToInt(words[1], v) && KeepAliveInRange(v))
                c.Defaults.KeepAliveSeconds = v;
            else
                AddDamage(c.Damage, "the keep alive interval was unreadable or out of range and 60 was used");
        } else {
            c.Defaults.LaterLines.push_back(line);
        }
    }
    return c;
}

TSiteOptionsLoadReport TSiteOptionsFile::Load(const std::string& dataDir, TSiteTable& sites) {
    TSiteOptionsLoadReport report;
    for (int i = 0; i < sites.Count(); ++i) sites.Site(i).Options = TSiteOptions{};
    std::optional<std::string> bytes = File_.Read(dataDir);
    if (!bytes) return report;
    report.FileFound = true;

    TSiteOptionsContents c = Parse(*bytes);
    Defaults = c.Defaults;
    Kept_.clear();
    // The k-th site of a name takes the k-th record of that name.
    std::map<std::string, int> taken;
    std::vector<bool> used(c.Records.size(), false);
    for (int i = 0; i < sites.Count(); ++i) {
        const std::string& name = sites.Site(i).SiteName;
        int skip = taken[name]++;
        for (std::size_t r = 0; r < c.Records.size(); ++r) {
            if (c.Records[r].first != name) continue;
            if (skip-- > 0) continue;
            sites.Site(i).Options = c.Records[r].second;
            used[r] = true;
            ++report.RecordsPaired;
            break;
        }
    }
    for (std::size_t r = 0; r < c.Records.size(); ++r)
        if (!used[r]) Kept_.push_back(std::move(c.Records[r]));
    report.RecordsUnpaired = static_cast<int>(Kept_.size());

    if (c.Damage.empty())
        File_.MarkLoaded();
    else
        report.Message = File_.MarkDamaged(dataDir, c.Damage);
    return report;
}

std::string TSiteOptionsFile::EncodeFile(const TSiteTable& sites) const {
    std::string out = std::string(kHeader) + "\nversion " + std::to_string(Version) + "\n";
    out += std::string("default-data-mode ") + WordOf(kModes, static_cast<int>(Defaults.DataMode)) + "\n";
    out += "keep-alive-interval " + std::to_string(Defaults.KeepAliveSeconds) + "\n";
    for (const std::string& line : Defaults.LaterLines) out += line + "\n";
    for (const TFTPInfo& s : sites.Sites()) out += SiteLine(s.SiteName, s.Options);
    // A kept record whose name a site has taken since is superseded by that site's own.
    for (const auto& [name, options] : Kept_)
        if (sites.FindLastByName(name) < 0) out += SiteLine(name, options);
    return out;
}

void TSiteOptionsFile::Save(const std::string& dataDir, const TSiteTable& sites) {
    File_.Write(dataDir, EncodeFile(sites));
}
