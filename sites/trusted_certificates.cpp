#include "sites/trusted_certificates.h"

#include <algorithm>

#include "sites/site_options.h"
#include "sites/text_convert.h"

namespace {

constexpr const char* kHeader = "Orlix FTP client trusted certificates";

std::vector<std::string> SplitSpaces(const std::string& line) {
    std::vector<std::string> out;
    std::string::size_type from = 0;
    while (from <= line.size()) {
        std::string::size_type sp = line.find(' ', from);
        if (sp == std::string::npos) sp = line.size();
        if (sp > from) out.push_back(line.substr(from, sp - from));
        from = sp + 1;
    }
    return out;
}

bool IsFingerprint(const std::string& text) {
    return text.size() == 64 &&
           std::all_of(text.begin(), text.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

bool SameHost(const std::string& a, const std::string& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        return lower(x) == lower(y);
    });
}

void AddDamage(std::string& damage, const std::string& what) {
    if (damage.find(what) != std::string::npos) return;
    if (!damage.empty()) damage += "; ";
    damage += what;
}

}  // namespace

TTrustedCertificatesContents TTrustedCertificateStore::Parse(const std::string& bytes) {
    TTrustedCertificatesContents c;
    std::vector<std::string> lines;
    std::string::size_type from = 0;
    while (from < bytes.size()) {
        std::string::size_type nl = bytes.find('\n', from);
        if (nl == std::string::npos) nl = bytes.size();
        std::string line = bytes.substr(from, nl - from);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        from = nl + 1;
    }
    int32_t version = 0;
    if (lines.size() < 2 || lines[0] != kHeader || lines[1].rfind("version ", 0) != 0) {
        c.Damage = "it does not begin with its header and version lines, so none of it was read";
        return c;
    }
    if (!TryStrToInt(lines[1].substr(8), version) || version < 1) {
        c.Damage = "its version line is not a version, so none of it was read";
        return c;
    }
    for (std::size_t n = 2; n < lines.size(); ++n) {
        const std::string& line = lines[n];
        if (line.empty()) continue;
        const std::vector<std::string> words = SplitSpaces(line);
        if (words[0] != "certificate") {
            c.LaterLines.push_back(line);
            continue;
        }
        // certificate HOST PORT SHA256 SUBJECT [later fields]
        TTrustedCertificate r;
        int32_t port = 0;
        if (words.size() < 5 || !TSiteOptionsFile::UnescapeName(words[1], r.Host) || !TryStrToInt(words[2], port) ||
            port < 1 || port > 65535 || !IsFingerprint(words[3]) || !TSiteOptionsFile::UnescapeName(words[4], r.Subject)) {
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
