// FTPS against real servers on 127.0.0.1: every server in passive and active mode moves files as
// over plain FTP, the session survives an abort, and neither the password nor the user name ever
// crosses the wire in clear (the control connection runs through a recording relay).

#include <openssl/ssl.h>

#include <gtest/gtest.h>
#include <algorithm>
#include <tuple>

#include "ftp/ftp_client.h"
#include "tests/ftp/ftp_test_util.h"
#include "tests/support/ftp_servers.h"
#include "tests/support/tcp_relay.h"

namespace {

class TlsSession {
public:
    TempDir root;
    std::unique_ptr<FtpServerProcess> server;
    std::unique_ptr<TcpRelay> relay;
    TIdFTP ftp;
    std::unique_ptr<FtpRecorder> rec;

    void Start(FtpServerKind kind, FtpServerOptions options) {
        server = FtpServerProcess::start(kind, root.path(), options);
        ASSERT_TRUE(server);
        relay = std::make_unique<TcpRelay>(server->port());
        PrepareClient(ftp, relay->port(), server->user(), server->password());
        ftp.Encryption = options.tls == FtpServerTls::Implicit ? TFtpEncryption::Implicit : TFtpEncryption::Explicit;
        ftp.Tls.CaFile = server->caFile();
        ftp.ReadTimeout = 20000;
        rec = std::make_unique<FtpRecorder>(ftp);
    }
    void Open() {
        server->syncOwnership();
        ftp.OpenSession();
        EXPECT_TRUE(ftp.Encrypted());
        EXPECT_TRUE(ftp.DataProtected());
        EXPECT_TRUE(rec->status("TLS connection established: " + ftp.TlsDescription())) << ftp.TlsDescription();
    }
    // What the relay saw holds no login in clear.
    void ExpectNothingInClear() const {
        if (!relay) return;
        const std::string wire = relay->recorded();
        EXPECT_FALSE(wire.empty());
        EXPECT_EQ(wire.find(server->password()), std::string::npos) << "password in clear";
        EXPECT_EQ(wire.find("USER " + server->user()), std::string::npos) << "user name in clear";
    }
};

std::string Download(TIdFTP& ftp, const std::string& name) {
    TIdMemoryStream s;
    ftp.Get(name, s);
    return s.DataString();
}

class TlsInterop : public ::testing::TestWithParam<std::tuple<FtpServerKind, bool>>, protected TlsSession {
protected:
    void SetUp() override {
        ORLIX_SKIP_UNLESS_FTP_SERVER(std::get<0>(GetParam()));
        FtpServerOptions o;
        o.tls = FtpServerTls::Explicit;
        o.caSigned = true;
        Start(std::get<0>(GetParam()), o);
        ftp.Passive = std::get<1>(GetParam());
    }
    void TearDown() override {
        ExpectNothingInClear();
        if (HasFailure() && server) std::fprintf(stderr, "%s", server->output().c_str());
    }
};

TEST_P(TlsInterop, ListGetPutResumeAppendAbort) {
    constexpr int64_t kSize = (3 << 20) + 123;
    root.writePatternFile("down.bin", kSize);
    TempDir local{"orlix-local"};
    ASSERT_NO_FATAL_FAILURE(Open());

    std::vector<std::string> lines;
    ftp.List(&lines);
    bool listed = false;
    for (const auto& l : lines) listed = listed || l.find("down.bin") != std::string::npos;
    EXPECT_TRUE(listed);

    EXPECT_TRUE(Download(ftp, "down.bin") == patternBytes(0, kSize));

    local.writeFile("part.bin", patternBytes(0, 1 << 20));
    ftp.Get("down.bin", local.file("part.bin"), false, true);
    EXPECT_TRUE(local.readFile("part.bin") == patternBytes(0, kSize));

    TIdMemoryStream up(patternBytes(0, kSize));
    ftp.Put(up, "up.bin");
    EXPECT_TRUE(root.readFile("up.bin") == patternBytes(0, kSize));

    TIdMemoryStream head(patternBytes(0, 1000));
    ftp.Put(head, "app.bin");
    TIdMemoryStream whole(patternBytes(0, kSize));
    whole.SetPosition(1000);
    ftp.Put(whole, "app.bin", true);
    EXPECT_TRUE(root.readFile("app.bin") == patternBytes(0, kSize));

    // Cut a download and an upload at their first block: large enough that the server is still
    // writing (or reading) when ABOR comes, and the same session goes on after each.
    constexpr int64_t kBig = 24 << 20;
    root.writePatternFile("big.bin", kBig);
    for (const bool upload : {false, true}) {
        SCOPED_TRACE(upload ? "upload" : "download");
        bool cut = false;
        ftp.OnWork = [&](TIdComponent* sender, TWorkMode, int64_t) {
            if (!cut && sender != &ftp) {
                cut = true;
                ftp.Abort();
            }
        };
        try {
            if (upload) {
                TIdMemoryStream big(patternBytes(0, kBig));
                ftp.Put(big, "cut.bin");
            } else {
                TIdMemoryStream partial;
                ftp.Get("big.bin", partial);
            }
        } catch (const EIdException&) {
            // the abort may surface as an error; the session must go on either way
        }
        ftp.OnWork = nullptr;
        EXPECT_TRUE(cut);
        EXPECT_TRUE(ftp.IsConnected());
        EXPECT_EQ(ftp.Size("down.bin"), kSize);
    }
    EXPECT_TRUE(Download(ftp, "app.bin") == patternBytes(0, kSize));
}

// Servers that take each TLS 1.3 session once and give none on an upload's connection still take
// any number of uploads in a row and in any mix, at either protocol version; servers that give
// sessions on every connection need no spare ones.
TEST_P(TlsInterop, ManyUploadsInARowAndMixed) {
    struct Version {
        int min, max;
        const char* protocol;
    };
    for (const Version v : {Version{0, TLS1_2_VERSION, "TLSv1.2"}, Version{TLS1_3_VERSION, 0, "TLSv1.3"}}) {
        SCOPED_TRACE(v.protocol);
        ftp.Tls.MinVersion = v.min;
        ftp.Tls.MaxVersion = v.max;
        rec->sent.clear();
        ASSERT_NO_FATAL_FAILURE(Open());
        ASSERT_EQ(ftp.TlsDescription().rfind(v.protocol, 0), 0u) << ftp.TlsDescription();
        auto put = [&](const std::string& name, int seed) {
            TIdMemoryStream up(patternBytes(seed, 5000 + seed));
            ftp.Put(up, name);
            EXPECT_TRUE(root.readFile(name) == patternBytes(seed, 5000 + seed)) << name;
        };
        for (int i = 0; i < 6; ++i) put("row" + std::to_string(i), i);
        // upload, download, listing in turn, and uploads after each
        const std::string steps = "PGPLPPGLPP";
        for (size_t i = 0; i < steps.size(); ++i) {
            const int n = int(i % 6);
            if (steps[i] == 'P') put("mix" + std::to_string(i), 10 + int(i));
            if (steps[i] == 'G') {
                EXPECT_TRUE(Download(ftp, "row" + std::to_string(n)) == patternBytes(n, 5000 + n));
            }
            if (steps[i] == 'L') {
                std::vector<std::string> lines;
                ftp.List(&lines);
                EXPECT_GE(lines.size(), 6u);
            }
        }
        const auto spare = std::count(rec->sent.begin(), rec->sent.end(), std::string("NLST"));
        if (server->kind() != FtpServerKind::Proftpd || v.max) {
            EXPECT_EQ(spare, 0);
        }
        ftp.Disconnect();
    }
}

INSTANTIATE_TEST_SUITE_P(Servers, TlsInterop,
                         ::testing::Combine(::testing::Values(FtpServerKind::Pyftpdlib, FtpServerKind::Vsftpd,
                                                              FtpServerKind::Proftpd, FtpServerKind::PureFtpd),
                                            ::testing::Bool()),
                         ServerAndModeTestName);

// Each protocol version alone, implicit TLS, and the certificate decision.
struct VariantCase {
    const char* name;
    FtpServerKind kind;
    FtpServerTls tls;
    int minVersion, maxVersion;
    const char* protocol;  // expected in the description
};

class TlsVariant : public ::testing::TestWithParam<VariantCase>, protected TlsSession {
protected:
    void TearDown() override { ExpectNothingInClear(); }
};

TEST_P(TlsVariant, SessionMovesFiles) {
    const VariantCase& c = GetParam();
    ORLIX_SKIP_UNLESS_FTP_SERVER(c.kind);
    FtpServerOptions o;
    o.tls = c.tls;
    ASSERT_NO_FATAL_FAILURE(Start(c.kind, o));
    ftp.Tls.MinVersion = c.minVersion;
    ftp.Tls.MaxVersion = c.maxVersion;
    ftp.Passive = true;
    root.writeFile("a.txt", "first");
    ASSERT_NO_FATAL_FAILURE(Open());
    EXPECT_EQ(ftp.TlsDescription().rfind(c.protocol, 0), 0u) << ftp.TlsDescription();
    // Two data connections: both resume the control connection's session.
    EXPECT_EQ(Download(ftp, "a.txt"), "first");
    TIdMemoryStream up("second");
    ftp.Put(up, "b.txt");
    EXPECT_EQ(Download(ftp, "b.txt"), "second");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TlsVariant,
    ::testing::Values(
        VariantCase{"vsftpd_tls12", FtpServerKind::Vsftpd, FtpServerTls::Explicit, 0, TLS1_2_VERSION, "TLSv1.2"},
        VariantCase{"vsftpd_tls13", FtpServerKind::Vsftpd, FtpServerTls::Explicit, TLS1_3_VERSION, 0, "TLSv1.3"},
        VariantCase{"proftpd_tls12", FtpServerKind::Proftpd, FtpServerTls::Explicit, 0, TLS1_2_VERSION, "TLSv1.2"},
        VariantCase{"proftpd_tls13", FtpServerKind::Proftpd, FtpServerTls::Explicit, TLS1_3_VERSION, 0, "TLSv1.3"},
        VariantCase{"vsftpd_implicit", FtpServerKind::Vsftpd, FtpServerTls::Implicit, 0, 0, "TLSv1"},
        VariantCase{"proftpd_implicit", FtpServerKind::Proftpd, FtpServerTls::Implicit, 0, 0, "TLSv1"}),
    [](const auto& info) { return std::string(info.param.name); });

// A self-signed certificate the client does not trust: refused before the login unless the
// decision accepts it; the decision sees what the server presented.
TEST(TlsCertificate, UntrustedIsRefusedBeforeLoginUnlessAccepted) {
    ORLIX_SKIP_UNLESS_FTP_SERVER(FtpServerKind::Vsftpd);
    TlsSession s;
    FtpServerOptions o;
    o.tls = FtpServerTls::Explicit;
    ASSERT_NO_FATAL_FAILURE(s.Start(FtpServerKind::Vsftpd, o));
    s.ftp.Tls.CaFile.clear();
    try {
        s.ftp.OpenSession();
        ADD_FAILURE() << "untrusted certificate accepted";
    } catch (const EIdTlsError& e) {
        EXPECT_NE(std::string(e.what()).find("The server's certificate was not accepted: self-signed"),
                  std::string::npos)
            << e.what();
    }
    EXPECT_FALSE(s.ftp.IsConnected());
    EXPECT_FALSE(s.rec->sentLine("USER " + s.server->user()));

    TTlsPeerCertificate seen;
    s.ftp.OnCertificate = [&](const TTlsPeerCertificate& c) {
        seen = c;
        return c.Sha256 == s.server->certSha256() ? TTlsTrust::ThisTime : TTlsTrust::Refuse;
    };
    s.ftp.OpenSession();
    EXPECT_TRUE(s.ftp.Encrypted());
    EXPECT_EQ(seen.Host, "127.0.0.1");
    EXPECT_EQ(seen.Port, s.relay->port());
    EXPECT_EQ(seen.Subject, "CN=127.0.0.1");
    EXPECT_FALSE(seen.NotAfter.empty());
    EXPECT_FALSE(seen.Verified());
    s.ftp.List(nullptr);
    s.ExpectNothingInClear();
}

}  // namespace
