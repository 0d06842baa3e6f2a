#pragma once
// The server certificates the user chose to trust always: one record per host and port with the
// certificate's SHA-256 fingerprint. A text file of its own in the data folder.

#include <string>
#include <vector>

#include "sites/data_file.h"

struct TTrustedCertificate {
    std::string Host;  // bytes, as the site gives it
    int Port = 0;
    std::string Sha256;   // 64 lowercase hex digits
    std::string Subject;  // for display only
    // Fields a later version wrote ("key=value" as stored), written back unchanged.
    std::vector<std::string> LaterFields;

    bool operator==(const TTrustedCertificate&) const = default;
};

struct TTrustedCertificatesContents {
    std::vector<TTrustedCertificate> Records;  // file order
    std::vector<std::string> LaterLines;       // lines a later version wrote, kept as they are
    std::string Damage;                        // empty when every line was read
};

class TTrustedCertificateStore {
public:
    static constexpr const char* FileName = "FTPTrustedCertificates.txt";
    static constexpr int Version = 1;

    // Replaces the records by the file's. Returns the message to show ("" when the file was
    // missing or read cleanly); a damaged file keeps its readable records and is kept aside
    // before the next save. A read error raises EInOutError.
    std::string Load(const std::string& dataDir);
    void Save(const std::string& dataDir);
    std::string EncodeFile() const;
    static TTrustedCertificatesContents Parse(const std::string& bytes);

    // Host names match without regard to ASCII case, as the name service does.
    const TTrustedCertificate* Find(const std::string& host, int port) const;
    // Adds the record, or replaces the one of the same host and port.
    void Put(const TTrustedCertificate& record);
    const std::vector<TTrustedCertificate>& Records() const { return Records_; }

private:
    std::vector<TTrustedCertificate> Records_;
    std::vector<std::string> LaterLines_;
    TDataFile File_{FileName};
};
