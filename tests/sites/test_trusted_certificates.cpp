// The trusted-certificate file: readable records survive damage, lines and fields of later
// versions are written back, the damaged file is kept aside, awkward host names round-trip.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "sites/trusted_certificates.h"
#include "tests/sites/state_test_util.h"

namespace {

const std::string kHead = "Orlix FTP client trusted certificates\nversion 1\n";
const std::string kShaA(64, 'a');
const std::string kShaB = std::string(63, '0') + "f";

TEST(TrustedCertificates, LoadKeepsWhatItCanReadAndSavesItBack) {
    struct TCase {
        const char* Name;
        const char* Bytes;                               // nullptr: no file
        std::vector<std::pair<std::string, int>> Found;  // host bytes, port that must be found
        std::size_t Records;
        bool Damaged;
        std::vector<std::string> Kept;  // text the saved file still holds
    };
    const std::string a = "certificate ftp.example.org 21 " + kShaA + " CN%3Dftp.example.org\n";
    const std::string awkward = "certificate caf%E9%20host%25%3D 990 " + kShaB + " % key=later\n";
    const std::string full = kHead + a + "pinned-key later-line\n" + awkward;
    const std::string crlf =
        "Orlix FTP client trusted certificates\r\nversion 3\r\n\r\n" + a.substr(0, a.size() - 1) + "\r\n";
    const std::string badSha = kHead + "certificate h 21 " + kShaA.substr(1) + "Z CN\n" + a;
    const std::string badPort = kHead + "certificate h 70000 " + kShaA + " CN\n" + a;
    const std::string shortLine = kHead + "certificate h 21\n" + a;
    const std::string duplicate = kHead + a + "certificate FTP.Example.ORG 21 " + kShaB + " CN\n";
    const std::string noHeader = a;
    const std::string spacesLine = kHead + "   \n" + a;
    const std::string crcrlf = kHead + "pinned-key\r\r\n" + a.substr(0, a.size() - 1) + " key=v\r \r\n";
    const std::string badVersion = "Orlix FTP client trusted certificates\nversion one\n" + a;
    const TCase cases[] = {
        {"no file", nullptr, {}, 0, false, {}},
        {"records, a later line and a later field",
         full.c_str(),
         {{"FTP.example.org", 21}, {"caf\xe9 host%=", 990}},
         2,
         false,
         {"\npinned-key later-line\n", " % key=later\n"}},
        {"CR LF, blank line, later version", crlf.c_str(), {{"ftp.example.org", 21}}, 1, false, {}},
        {"fingerprint not hex", badSha.c_str(), {{"ftp.example.org", 21}}, 1, true, {}},
        {"port out of range", badPort.c_str(), {{"ftp.example.org", 21}}, 1, true, {}},
        {"fields missing", shortLine.c_str(), {{"ftp.example.org", 21}}, 1, true, {}},
        {"same host and port twice", duplicate.c_str(), {{"ftp.example.org", 21}}, 1, true, {}},
        {"a line of spaces", spacesLine.c_str(), {{"ftp.example.org", 21}}, 1, false, {}},
        {"CR CR LF after a later line and field",
         crcrlf.c_str(),
         {{"ftp.example.org", 21}},
         1,
         false,
         {"\npinned-key\n"}},
        {"no header", noHeader.c_str(), {}, 0, true, {}},
        {"version not a number", badVersion.c_str(), {}, 0, true, {}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TTempDir dir;
        const std::string path = dir.File(TTrustedCertificateStore::FileName);
        if (c.Bytes) WriteBytes(path, c.Bytes);

        TTrustedCertificateStore store;
        const std::string message = store.Load(dir.Path);
        EXPECT_EQ(!message.empty(), c.Damaged) << message;
        if (c.Damaged) {
            EXPECT_NE(message.find(".damaged"), std::string::npos) << message;
        }
        EXPECT_EQ(store.Records().size(), c.Records);
        for (const auto& [host, port] : c.Found) EXPECT_NE(store.Find(host, port), nullptr) << host;
        EXPECT_EQ(store.Find("ftp.example.org", 22), nullptr);

        // A new record and a replaced one, saved and read again as after a restart.
        store.Put({"new.example.org", 2121, kShaB, "CN=new", {}});
        store.Put({"ftp.example.org", 21, kShaB, "CN=renewed", {}});
        store.Save(dir.Path);
        struct stat st {};
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
        EXPECT_EQ(FileExists(path + ".damaged"), c.Damaged);
        if (c.Damaged) {
            EXPECT_EQ(ReadBytes(path + ".damaged"), c.Bytes);
        }

        TTrustedCertificateStore again;
        EXPECT_EQ(again.Load(dir.Path), "");
        EXPECT_EQ(again.Records(), store.Records());
        EXPECT_EQ(again.EncodeFile(), store.EncodeFile());
        ASSERT_NE(again.Find("ftp.example.org", 21), nullptr);
        EXPECT_EQ(again.Find("ftp.example.org", 21)->Subject, "CN=renewed");
        for (const std::string& kept : c.Kept) EXPECT_NE(ReadBytes(path).find(kept), std::string::npos) << kept;
    }
}

}  // namespace
