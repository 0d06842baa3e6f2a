// FTPS against servers that misbehave: each case ends with a clear error within the time-outs,
// and nothing of the login goes out in clear.

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <thread>

#include <gtest/gtest.h>

#include "ftp/ftp_client.h"
#include "tests/ftp/ftp_test_util.h"
#include "tests/support/ftp_servers.h"

namespace {

struct BadTlsCase {
    const char* name;
    TFtpEncryption encryption;
    std::function<void(ScriptedServer&)> script;  // after the greeting and AUTH TLS
    const char* error;                            // part of the message
};

// A ClientHello answered with the start of a record that never completes.
void HalfRecord(ScriptedServer& s) {
    s.sendLine("234 go").readBytes(5).send(std::string("\x16\x03\x03\x01\x00\x02", 6)).pause(3000).close();
}

class TlsScripted : public ::testing::TestWithParam<BadTlsCase> {};

TEST_P(TlsScripted, EndsWithClearErrorAndNoLoginInClear) {
    const BadTlsCase& c = GetParam();
    ScriptedServer srv;
    srv.sendLine("220 ready").expectLine("AUTH TLS");
    c.script(srv);
    srv.start();
    TIdFTP ftp;
    PrepareClient(ftp, srv.port());
    ftp.Encryption = c.encryption;
    ftp.ReadTimeout = 1000;
    try {
        ftp.OpenSession();
        ADD_FAILURE() << "session opened";
    } catch (const EIdException& e) {
        EXPECT_NE(std::string(e.what()).find(c.error), std::string::npos) << e.what();
    }
    EXPECT_FALSE(ftp.IsConnected());
    srv.waitForEnd(5000);
    for (const auto& line : srv.lines()) EXPECT_EQ(line.rfind("USER", 0), std::string::npos) << line;
    EXPECT_EQ(srv.received().find("PASS"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TlsScripted,
    ::testing::Values(
        BadTlsCase{"refused_when_required", TFtpEncryption::Explicit,
                   [](ScriptedServer& s) { s.sendLine("530 not here").readUntilClosed(); },
                   "The server refused AUTH TLS; the site requires encryption, so nothing more was sent."},
        BadTlsCase{"garbage_after_234", TFtpEncryption::Auto,
                   [](ScriptedServer& s) { s.send("234 go\r\nHELLO there\r\n").readUntilClosed(); },
                   "unprotected data"},
        BadTlsCase{
            "garbage_instead_of_handshake", TFtpEncryption::Auto,
            [](ScriptedServer& s) { s.sendLine("234 go").pause(200).sendLine("200 hello in clear").readUntilClosed(); },
            "TLS handshake failed"},
        BadTlsCase{"truncated_handshake", TFtpEncryption::Explicit, HalfRecord, "TLS handshake failed"},
        BadTlsCase{"cut_during_handshake", TFtpEncryption::Explicit,
                   [](ScriptedServer& s) { s.sendLine("234 go").readBytes(5).close(); }, "TLS handshake failed"}),
    [](const auto& info) { return std::string(info.param.name); });

// Auto against a server without TLS: a clear note, then the plain login.
TEST(TlsScriptedFallback, AutoGoesOnInClearWhenRefused) {
    ScriptedServer srv;
    srv.sendLine("220 ready")
        .expectLine("AUTH TLS")
        .sendLine("500 unknown")
        .expectLine("USER u")
        .sendLine("331 pw")
        .expectLine("PASS p")
        .sendLine("230 in")
        .expectLine("TYPE I")
        .sendLine("200 ok")
        .expectLine("SYST")
        .sendLine("215 UNIX")
        .expectLine("FEAT")
        .sendLine("502 no");
    srv.start();
    TIdFTP ftp;
    PrepareClient(ftp, srv.port());
    ftp.Encryption = TFtpEncryption::Auto;
    FtpRecorder rec(ftp);
    ftp.OpenSession();
    EXPECT_FALSE(ftp.Encrypted());
    EXPECT_TRUE(rec.status("The server does not offer TLS; continuing without encryption."));
    EXPECT_TRUE(srv.waitForEnd()) << srv.failure();
}

// A self-signed certificate for 127.0.0.1 in dir (c.pem, k.pem).
bool MakeCertificate(const TempDir& dir) {
    return std::system(("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 "
                        "-subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 -keyout " +
                        dir.file("k.pem") + " -out " + dir.file("c.pem") + " 2>/dev/null")
                           .c_str()) == 0;
}

// The control script up to the data command, with TLS and PROT P; the data connection on port p.
void ProtectedLogin(ScriptedServer& srv, const TempDir& dir, int p, const std::string& command) {
    srv.sendLine("220 ready").expectLine("AUTH TLS").sendLine("234 go").startTls(dir.file("c.pem"), dir.file("k.pem"));
    srv.expectLine("USER u")
        .sendLine("331 pw")
        .expectLine("PASS p")
        .sendLine("230 in")
        .expectLine("PBSZ 0")
        .sendLine("200 ok")
        .expectLine("PROT P")
        .sendLine("200 ok")
        .expectLine("TYPE I")
        .sendLine("200 ok")
        .expectLine("SYST")
        .sendLine("215 UNIX")
        .expectLine("FEAT")
        .sendLine("502 no")
        .expectLine("PASV")
        .sendLine("227 Entering Passive Mode (127,0,0,1," + std::to_string(p / 256) + "," + std::to_string(p % 256) +
                  ")")
        .expectLine(command)
        .sendLine("150 here");
}

void StartProtectedClient(TIdFTP& ftp, int port) {
    PrepareClient(ftp, port);
    ftp.Encryption = TFtpEncryption::Explicit;
    ftp.Passive = true;
    ftp.DataPortCommands = TFtpDataPortCommands::Classic;
    ftp.ReadTimeout = 1000;
    ftp.AbortReplyTimeout = 500;
    ftp.OnCertificate = [](const TTlsPeerCertificate&) { return TTlsTrust::ThisTime; };
    ftp.OpenSession();
}

// PROT P accepted, then the data connection speaks in clear: an error, not a plain transfer.
TEST(TlsScriptedData, PlainDataAfterProtPIsAnError) {
    TempDir dir;
    ASSERT_TRUE(MakeCertificate(dir));
    ScriptedServer data;
    data.send("-rw-r--r-- 1 u g 5 Jan 1 00:00 plain.txt\r\n").pause(2000).close();
    data.start();
    ScriptedServer srv;
    ProtectedLogin(srv, dir, data.port(), "LIST");
    srv.readUntilClosed();
    srv.start();
    TIdFTP ftp;
    StartProtectedClient(ftp, srv.port());
    EXPECT_TRUE(ftp.DataProtected());
    std::vector<std::string> lines;
    EXPECT_THROW(ftp.List(&lines), EIdTlsError);
    EXPECT_TRUE(lines.empty());
}

// A server that goes on writing for a while after ABOR (it looks at the control connection only
// between writes) must find the protected data connection still open: a failed write there ends
// the whole session on such servers.
TEST(TlsScriptedData, AbortedDownloadReadsOnUntilTheServerStops) {
    std::signal(SIGPIPE, SIG_IGN);  // the scripted server's write to a closed connection is a failed step
    TempDir dir;
    ASSERT_TRUE(MakeCertificate(dir));
    std::atomic<bool> aborted{false};
    ScriptedServer data;
    data.startTls(dir.file("c.pem"), dir.file("k.pem"))
        .send(std::string(64 << 10, 'a'))
        .call([&] {
            while (!aborted) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        })
        .pause(100)
        .send(std::string(1 << 20, 'b'))
        .close();
    data.start();
    ScriptedServer srv;
    ProtectedLogin(srv, dir, data.port(), "RETR f");
    srv.expectLine("ABOR")
        .call([&] {
            aborted = true;
            data.waitForEnd();
        })
        .sendLine("426 aborted")
        .sendLine("226 abort done")
        .expectLine("NOOP")
        .sendLine("200 ok")
        .readUntilClosed();
    srv.start();
    TIdFTP ftp;
    StartProtectedClient(ftp, srv.port());
    ftp.OnWork = [&](TIdComponent* sender, TWorkMode, int64_t) {
        if (sender != &ftp) ftp.Abort();
    };
    TIdMemoryStream partial;
    try {
        ftp.Get("f", partial);
    } catch (const EIdException&) {
        // reported as aborted; what counts is the server's side and the session
    }
    EXPECT_TRUE(data.waitForEnd()) << data.failure();
    EXPECT_TRUE(ftp.IsConnected());
    EXPECT_LE(partial.Size(), 64 << 10);
}

}  // namespace
