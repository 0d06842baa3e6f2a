#include "sites/trusted_certificates.h"

#include <algorithm>

#include "sites/site_options.h"
#include "sites/text_convert.h"
#include "sites/text_lines.h"

namespace {

constexpr const char* kHeader = "Orlix FTP client trusted certificates";

bool IsFingerprint(const std::string& text) {
    return text.size() == 64 && std::all_of(text.begin(), text.end(),
                                            [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

bool SameHost(const std::string& a, const std::string& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        return lower(x) == lower(y);
    });
}

}  // namespace

TTrustedCertificatesContents TTrustedCertificateStore::Parse(const std::string& bytes) {
    TTrustedCertificatesContents c;
    const std::vector<std::string> lines = SplitTextLines(bytes);
    int32_t version = 0;
    c.Damage = CheckHeaderAndVersion(lines, kHeader, version);
    if (!c.Damage.empty()) return c;
    for (std::size_t n = 2; n < lines.size(); ++n) {
        const std::string& line = lines[n];
        const std::vector<std::string> words = SplitSpaces(line);
        // A line of spaces carries nothing, as an empty one.
        if (words.empty()) continue;
        if (words[0] != "certificate") {
            c.LaterLines.push_back(line);
            continue;
        }
        // certificate HOST PORT SHA256 SUBJECT [later fields]
        TTrustedCertificate r;
        int32_t port = 0;
        if (words.size() < 5 || !TSiteOptionsFile::UnescapeName(words[1], r.Host) || !TryStrToInt(words[2], port) ||
            port < 1 || port > 65535 || !IsFingerprint(words[3]) ||
            !TSiteOptionsFile::UnescapeName(words[4], r.Subject)) {
            AddDamage(c.Damage, "a certificate line that could not be read was dropped");
            continue;
        }
        r.Port = port;
        r.Sha256 = words[3];
        r.LaterFields.assign(words.begin() + 5, words.end());
        const bool duplicate = std::any_of(c.Records.begin(), c.Records.end(), [&](const TTrustedCertificate& o) {
            return o.Port == r.Port && SameHost(o.Host, r.Host);
        });
        if (duplicate) {
            AddDamage(c.Damage, "a second certificate of one host and port was dropped");
            continue;
        }
        c.Records.push_back(std::move(r));
    }
    return c;
}

std::string TTrustedCertificateStore::Load(const std::string& dataDir) {
    Records_.clear();
    LaterLines_.clear();
    std::optional<std::string> bytes = File_.Read(dataDir);
    if (!bytes) return std::string();
    TTrustedCertificatesContents c = Parse(*bytes);
    Records_ = std::move(c.Records);
    LaterLines_ = std::move(c.LaterLines);
    if (c.Damage.empty()) {
        File_.MarkLoaded();
        return std::string();
    }
    return File_.MarkDamaged(dataDir, c.Damage);
}

std::string TTrustedCertificateStore::EncodeFile() const {
    std::string out = std::string(kHeader) + "\nversion " + std::to_string(Version) + "\n";
    for (const std::string& line : LaterLines_) out += line + "\n";
    for (const TTrustedCertificate& r : Records_) {
        out += "certificate " + TSiteOptionsFile::EscapeName(r.Host) + " " + std::to_string(r.Port) + " " + r.Sha256 +
               " " + TSiteOptionsFile::EscapeName(r.Subject);
        for (const std::string& f : r.LaterFields) out += " " + f;
        out += "\n";
    }
    return out;
}

void TTrustedCertificateStore::Save(const std::string& dataDir) { File_.Write(dataDir, EncodeFile()); }

const TTrustedCertificate* TTrustedCertificateStore::Find(const std::string& host, int port) const {
    for (const TTrustedCertificate& r : Records_)
        if (r.Port == port && SameHost(r.Host, host)) return &r;
    return nullptr;
}

void TTrustedCertificateStore::Put(const TTrustedCertificate& record) {
    for (TTrustedCertificate& r : Records_)
        if (r.Port == record.Port && SameHost(r.Host, record.Host)) {
            r = record;
            return;
        }
    Records_.push_back(record);
}
