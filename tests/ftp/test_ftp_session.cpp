// Control session against a scripted server: login schemes line by line, greeting and SYST
// outcomes, the transfer type rule, the resume probe, reply parsing and unsafe arguments.

#include <gtest/gtest.h>

#include "ftp/ftp_client.h"
#include "tests/ftp/ftp_test_util.h"

namespace {

struct ProxyCase {
    const char* name;
    TIdFtpProxyType type;
    const char* proxyUser;
    const char* proxyPass;
    // Alternating: line the client must send, reply the server gives.
    std::vector<std::string> exchange;
};

class ProxyLogin : public ::testing::TestWithParam<ProxyCase> {};

TEST_P(ProxyLogin, SendsTheSchemeLineByLineThroughTheProxyAddress) {
    const ProxyCase& c = GetParam();
    ScriptedServer srv;
    srv.sendLine("220 proxy ready");
    for (size_t i = 0; i + 1 < c.exchange.size(); i += 2) srv.expectLine(c.exchange[i]).sendLine(c.exchange[i + 1]);
    srv.expectLine("TYPE I").sendLine("200 ok").expectLine("SYST").sendLine("215 UNIX");
    srv.expectLine("FEAT").sendLine("500 unknown");
    srv.start();

    TIdFTP ftp;
    PrepareClient(ftp, 21);
    ftp.SetHost("ftp.server.test");  // never resolved: the connection goes to the proxy
    ftp.ProxySettings().ProxyType = c.type;
    ftp.ProxySettings().Host = "127.0.0.1";
    ftp.ProxySettings().Port = srv.port();
    ftp.ProxySettings().UserName = c.proxyUser;
    ftp.ProxySettings().Password = c.proxyPass;
    FtpRecorder rec(ftp);

    ftp.OpenSession();
    EXPECT_TRUE(srv.waitForEnd()) << srv.failure();
    EXPECT_EQ(ftp.Host(), "ftp.server.test");
    EXPECT_EQ(ftp.Port(), 21);
    EXPECT_EQ(ftp.SystemType, "UNIX");
    EXPECT_EQ(ftp.LoginReply.NumericCode(), 230);
    EXPECT_TRUE(rec.status("Connection established"));
}

INSTANTIATE_TEST_SUITE_P(
    AllSchemes, ProxyLogin,
    ::testing::Values(
        ProxyCase{
            "UserSite",
            fpcmUserSite,
            "pu",
            "pp",
            {"USER pu", "331 pw", "PASS pp", "230 proxy ok", "USER u@ftp.server.test", "331 pw", "PASS p", "230 in"}},
        ProxyCase{"UserSiteNoProxyUser", fpcmUserSite, "", "pp", {"USER u@ftp.server.test", "230 in without password"}},
        ProxyCase{"Site",
                  fpcmSite,
                  "pu",
                  "pp",
                  {"USER pu", "230 proxy ok", "SITE ftp.server.test", "500 whatever", "USER u", "331 pw", "PASS p",
                   "230 in"}},
        ProxyCase{
            "Open", fpcmOpen, "", "", {"OPEN ftp.server.test", "220 opened", "USER u", "331 pw", "PASS p", "230 in"}},
        ProxyCase{"UserPass", fpcmUserPass, "pu", "pp", {"USER u@pu@ftp.server.test", "331 pw", "PASS p@pp", "230 in"}},
        ProxyCase{"UserPassNoProxyPassword",
                  fpcmUserPass,
                  "pu",
                  "",
                  {"USER u@pu@ftp.server.test", "331 pw", "PASS p", "230 in"}},
        ProxyCase{"Transparent",
                  fpcmTransparent,
                  "pu",
                  "pp",
                  {"USER pu", "331 pw", "PASS pp", "230 proxy ok", "USER u", "331 pw", "PASS p", "230 in"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FtpSession, DirectLoginUsesHostNotTheIdleProxyAddress) {
    ScriptedServer srv;
    ScriptLogin(srv).start();
    TIdFTP ftp;
    PrepareClient(ftp, srv.port());
    ftp.ProxySettings().Host = "127.0.0.9";  // ignored: proxy type none
    ftp.ProxySettings().Port = 1;
    int afterLogin = 0;
    ftp.OnAfterClientLogin = [&](TIdComponent*) { ++afterLogin; };
    FtpRecorder rec(ftp);
    ftp.OpenSession();
    EXPECT_TRUE(srv.waitForEnd()) << srv.failure();
    EXPECT_EQ(afterLogin, 1);
    EXPECT_EQ(ftp.GreetingReply.NumericCode(), 220);
    EXPECT_EQ(ftp.SystemType, "UNIX Type: L8");
    ASSERT_FALSE(rec.statuses.empty());
    EXPECT_EQ(rec.statuses.back(), "Connection established");
}

TEST(FtpSession, HttpProxySchemeIsRefusedWithoutTrafficAndDisconnects) {
    ScriptedServer srv;
    srv.sendLine("220 ready").readUntilClosed();
    srv.start();
    TIdFTP ftp;
    PrepareClient(ftp, srv.port());
    ftp.ProxySettings().ProxyType = fpcmHttpProxyWithFtp;
    try {
        ftp.OpenSession();
        FAIL() << "no exception";
    } catch (const EIdException& e) {
        EXPECT_STREQ(e.what(), "Command not supported.");
    }
    EXPECT_FALSE(ftp.IsConnected());
    EXPECT_TRUE(srv.waitForEnd()) << srv.failure();
    EXPECT_EQ(srv.received(), "");
}

TEST(FtpSession, FailuresInsideOpenSessionDisconnect) {
    {  // greeting 421
        ScriptedServer srv;
        srv.sendLine("421 Too many users").readUntilClosed();
        srv.start();
        TIdFTP ftp;
        PrepareClient(ftp, srv.port());
        FtpRecorder rec(ftp);
        try {
            ftp.OpenSession();
            FAIL() << "no exception";
        } catch (const EIdProtocolReplyError& e) {
            EXPECT_EQ(e.ReplyCode, 421);
            EXPECT_STREQ(e.what(), "Too many users\r\n");
        }
        EXPECT_FALSE(ftp.IsConnected());
        EXPECT_TRUE(rec.status("Disconnected."));
        EXPECT_FALSE(rec.status("Connection established"));
        EXPECT_TRUE(srv.waitForEnd()) << srv.failure();
        EXPECT_EQ(srv.received(), "");
    }
    {  // SYST 502
        ScriptedServer srv;
        srv.sendLine("220 ready").expectLine("USER u").sendLine("331 pw").expectLine("PASS p").sendLine("230 in");
        srv.expectLine("TYPE I").sendLine("200 ok").expectLine("SYST").sendLine("502 not implemented");
        srv.readUntilClosed();
        srv.start();
        TIdFTP ftp;
        PrepareClient(ftp, srv.port());
        EXPECT_THROW(ftp.OpenSession(), EIdProtocolReplyError);
        EXPECT_FALSE(ftp.IsConnected());
        EXPECT_TRUE(srv.waitForEnd()) << srv.failure();
    }
    {  // PASS 530
        ScriptedServer srv;
        srv.sendLine("220 ready").expectLine("USER u").sendLine("331 pw").expectLine("PASS p");
        srv.sendLine("530 Login incorrect.").readUntilClosed();
        srv.start();
        TIdFTP ftp;
        PrepareClient(ftp, srv.port());
        try {
            ftp.OpenSession();
            FAIL() << "no exception";
        } catch (const EIdProtocolReplyError& e) {
            EXPECT_EQ(e.ReplyCode, 530);
        }
        EXPECT_FALSE(ftp.IsConnected());
        EXPECT_TRUE(srv.waitForEnd()) << srv.failure();
    }
}

TEST(FtpSession, SystAnswered500GivesUnknownAndUser230SendsNoPass) {
    ScriptedServer srv;
    srv.sendLine("220 ready").expectLine("USER u").sendLine("230 no password needed");
    srv.expectLine("TYPE I").sendLine("200 ok").expectLine("SYST").sendLine("500 what?");
    srv.expectLine("FEAT").sendLine("500 what?");
    srv.expectLine("PWD").sendLine("257 \"/\" is current");
    srv.start();
    TIdFTP ftp;
    PrepareClient(ftp, srv.port());
    ftp.OpenSession();
    EXPECT_EQ(ftp.SystemType, "Unknown");
    EXPECT_EQ(ftp.WorkingDir(), "/");
    EXPECT_TRUE(srv.waitForEnd()) << srv.failure();
}

TEST(FtpSession, SecondOpenSessionFailsAlreadyConnectedAndCloses) {
    ScriptedServer srv;
    ScriptLogin(srv).readUntilClosed();
    srv.start();
    TIdFTP ftp;
    PrepareClient(ftp, srv.port());
    ftp.OpenSession();
    EXPECT_THROW(ftp.OpenSession(), EIdAlreadyConnected);
    EXPECT_FALSE(ftp.IsConnected());
    EXPECT_TRUE(srv.waitForEnd()) << srv.failure();
}

TEST(FtpSession, LineBreaksInArgumentsAreRefusedBeforeAnythingIsWritten) {
    ScriptedServer srv;
    ScriptLogin(srv).expectLine("PWD").sendLine("257 \"/home\"");
    srv.start();
    TIdFTP ftp;
    PrepareClient(ftp, srv.port());
    ftp.OpenSession();
    EXPECT_THROW(ftp.ChangeDir("a\r\nDELE secret"), EIdException);
    EXPECT_THROW(ftp.Delete("x\nRMD y"), EIdException);
    EXPECT_THROW(ftp.Rename("ok", "b\rc"), EIdException);  // not even RNFR goes out
    EXPECT_THROW(ftp.Quote("NOOP\r\nDELE x"), EIdException);
    TIdMemoryStream sink;
    EXPECT_THROW(ftp.Get("f\r\nDELE x", sink), EIdException);  // nor PASV/PORT
    TIdMemoryStream source("abc");
    EXPECT_THROW(ftp.Put(source, "f\nx"), EIdException);
    EXPECT_EQ(ftp.DataConnection(), nullptr);
    EXPECT_EQ(ftp.WorkingDir(), "/home");  // the next reply is still the one of PWD
    EXPECT_TRUE(srv.waitForEnd()) << srv.failure();
}

TEST(FtpSession, LineBreakInRemoteNameLeavesLocalFileUntouched) {
    TIdFTP ftp;
    const std::string local = ::testing::TempDir() + "orlix_crlf_untouched.txt";
    std::remove(local.c_str());
    EXPECT_THROW(ftp.Get("a\r\nb", local, true, false), EIdException);
    EXPECT_EQ(FileSize(local), -1);
}

TEST(FtpSession, ControlCommandsSendExactLinesAndCheckCodes) {
    ScriptedServer srv;
    ScriptLogin(srv)
        .expectLine("CWD ")
        .sendLine("250 ok")
        .expectLine("CDUP")
        .sendLine("200 ok")
        .expectLine("MKD new dir")
        .sendLine("257 \"/new dir\" created")
        .expectLine("RMD old")
        .sendLine("250 removed")
        .expectLine("DELE f.txt")
        .sendLine("250 deleted")
        .expectLine("RNFR a")
        .sendLine("350 ready")
        .expectLine("RNTO b")
        .sendLine("250 renamed")
        .expectLine("RNFR missing")
        .sendLine("550 no such file")
        .expectLine("ALLO 5000000000")
        .sendLine("202 not needed")
        .expectLine("ALLO 1")
        .sendLine("200 ok")
        .expectLine("SITE CHMOD 644 f")
        .sendLine("504 no")
        .expectLine("DELE gone")
        .sendLine("550 gone already")
        .expectLine("PWD")
        .sendLine("257 \"/x\"");
    srv.start();
    TIdFTP ftp;
    PrepareClient(ftp, srv.port());
    ftp.OpenSession();
    ftp.ChangeDir("");
    ftp.ChangeDirUp();
    ftp.MakeDir("new dir");
    ftp.RemoveDir("old");
    ftp.Delete("f.txt");
    ftp.Rename("a", "b");
    EXPECT_THROW(ftp.Rename("missing", "z"), EIdProtocolReplyError);  // RNTO not sent
    ftp.Allocate(5000000000LL);
    ftp.Allocate(1);
    EXPECT_EQ(ftp.Quote("SITE CHMOD 644 f"), 504);
    try {
        ftp.Delete("gone");
        FAIL() << "no exception";
    } catch (const EIdProtocolReplyError& e) {
        EXPECT_EQ(e.ReplyCode, 550);
        EXPECT_STREQ(e.what(), "gone already\r\n");
    }
    EXPECT_TRUE(ftp.IsConnected());
    EXPECT_EQ(ftp.WorkingDir(), "/x");
    EXPECT_TRUE(srv.waitForEnd()) << srv.failure();
}

TEST(FtpSession, SizeAndWorkingDirReadTheirReplies) {
    ScriptedServer srv;
    ScriptLogin(srv)
        .expectLine("SIZE a")
        .sendLine("213 1234")
        .expectLine("SIZE big")
        .sendLine("213 3221225472")
        .expectLine("SIZE missing")
        .sendLine("550 not found")
        .expectLine("SIZE odd")
        .sendLine("213 lots")
        .expectLine("SIZE spaced")
        .sendLine("213 File size 77")
        .expectLine("PWD")
        .sendLine("257 \"/home/ann\" is the current directory")
        .expectLine("PWD")
        .sendLine("257 /home/ann is current");
    srv.start();
    TIdFTP ftp;
    PrepareClient(ftp, srv.port());
    ftp.OpenSession();
    EXPECT_EQ(ftp.Size("a"), 1234);
    EXPECT_EQ(ftp.Size("big"), 3221225472LL);
    EXPECT_EQ(ftp.Size("missing"), -1);
    EXPECT_EQ(ftp.Size("odd"), -1);
    EXPECT_EQ(ftp.Size("spaced"), -1);  // "size 77" after the first space is no number
    EXPECT_EQ(ftp.WorkingDir(), "/home/ann");
    EXPECT_EQ(ftp.WorkingDir(), "");
    EXPECT_TRUE(srv.waitForEnd()) << srv.failure();
}

TEST(FtpSession, TransferTypeSetterSendsAtOnceOrAtNextLogin) {
    ScriptedServer srv;
    srv.sendLine("220 ready").expectLine("USER u").sendLine("331 pw").expectLine("PASS p").sendLine("230 in");
    srv.expectLine("TYPE A").sendLine("200 ok").expectLine("SYST").sendLine("215 UNIX");
    srv.expectLine("FEAT").sendLine("500 unknown");
    srv.expectLine("TYPE I").sendLine("200 ok").expectLine("PWD").sendLine("257 \"/\"");
    srv.start();
    TIdFTP ftp;
    PrepareClient(ftp, srv.port());
    EXPECT_EQ(ftp.TransferType(), ftBinary);
    ftp.SetTransferType(ftASCII);  // disconnected: stored only
    ftp.OpenSession();
    ftp.SetTransferType(ftASCII);  // same value: nothing
    ftp.SetTransferType(ftBinary);
    EXPECT_EQ(ftp.TransferType(), ftBinary);
    ftp.WorkingDir();
    EXPECT_TRUE(srv.waitForEnd()) << srv.failure();
}

TEST(FtpSession, ResumeProbeOncePerSessionAndAskedAgainAfterReconnect) {
    TIdFTP ftp;
    for (int session = 0; session < 2; ++session) {
        ScriptedServer srv;
        ScriptLogin(srv)
            .expectLine("REST 1")
            .sendLine(session == 0 ? "350 Restarting at 1" : "502 no restarts here")
            .expectLine("REST 0")
            .sendLine("350 Restarting at 0")
            .expectLine("PWD")
            .sendLine("257 \"/\"");
        srv.start();
        PrepareClient(ftp, srv.port());
        ftp.OpenSession();
        EXPECT_EQ(ftp.ResumeSupported(), session == 0);
        EXPECT_TRUE(ftp.ResumeProbed());
        EXPECT_EQ(ftp.ResumeSupported(), session == 0);  // no traffic: PWD is the next line
        ftp.WorkingDir();
        EXPECT_TRUE(srv.waitForEnd()) << srv.failure();
        ftp.Disconnect();
        EXPECT_EQ(ftp.ResumeSupported(), session == 0);  // the answer survives the disconnect
    }
}

TEST(FtpProxySettings, AssignCopiesAllFieldsAndRefusesOtherClasses) {
    TIdFtpProxySettings a;
    a.Host = "127.0.0.5";
    a.UserName = "pu";
    a.Password = "pp";
    a.ProxyType = fpcmOpen;
    a.Port = 2121;
    TIdFTP ftp;
    ftp.SetProxySettings(a);
    EXPECT_EQ(ftp.ProxySettings().Host, "127.0.0.5");
    EXPECT_EQ(ftp.ProxySettings().UserName, "pu");
    EXPECT_EQ(ftp.ProxySettings().Password, "pp");
    EXPECT_EQ(ftp.ProxySettings().ProxyType, fpcmOpen);
    EXPECT_EQ(ftp.ProxySettings().Port, 2121);
    EXPECT_NE(&ftp.ProxySettings(), &a);

    struct TOther : TIdPersistent {
        std::string ClassName() const override { return "TOther"; }
    } other;
    try {
        a.Assign(other);
        FAIL() << "no exception";
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "Cannot assign a TOther to a TIdFtpProxySettings");
    }
    EXPECT_EQ(a.Host, "127.0.0.5");
}

TEST(FtpDefaults, NewClientState) {
    TIdFTP ftp;
    EXPECT_EQ(ftp.Port(), 21);
    EXPECT_FALSE(ftp.Passive);
    EXPECT_EQ(ftp.TransferType(), ftBinary);
    EXPECT_FALSE(ftp.ResumeProbed());
    EXPECT_EQ(ftp.DataConnection(), nullptr);
    EXPECT_EQ(ftp.ProxySettings().ProxyType, fpcmNone);
    EXPECT_EQ(ftp.ProxySettings().Port, 0);
    EXPECT_FALSE(ftp.IsConnected());
}

// What FEAT answered, what the client then sends and believes about names; PWD afterwards shows
// the session is still in step.
struct FeatCase {
    const char* name;
    TFtpNameEncoding encoding;
    std::vector<std::string> featReply;  // lines sent for FEAT
    const char* optsReply;               // nullptr: OPTS UTF8 ON must not be sent
    std::vector<std::string> features;
    bool utf8Active;
    bool namesUtf8;
};

class FeatLogin : public ::testing::TestWithParam<FeatCase> {};

TEST_P(FeatLogin, ReadsFeaturesAndAsksForUtf8OnlyWhenOffered) {
    const FeatCase& c = GetParam();
    ScriptedServer srv;
    srv.sendLine("220 ready").expectLine("USER u").sendLine("331 pw").expectLine("PASS p").sendLine("230 in");
    srv.expectLine("TYPE I").sendLine("200 ok").expectLine("SYST").sendLine("215 UNIX").expectLine("FEAT");
    for (const auto& l : c.featReply) srv.sendLine(l);
    if (c.optsReply) srv.expectLine("OPTS UTF8 ON").sendLine(c.optsReply);
    srv.expectLine("PWD").sendLine("257 \"/\"");
    srv.start();
    TIdFTP ftp;
    PrepareClient(ftp, srv.port());
    ftp.NameEncoding = c.encoding;
    ftp.OpenSession();
    EXPECT_EQ(ftp.Features(), c.features);
    EXPECT_EQ(ftp.Utf8Active(), c.utf8Active);
    EXPECT_EQ(ftp.NamesAreUtf8(), c.namesUtf8);
    EXPECT_EQ(ftp.WorkingDir(), "/");
    EXPECT_TRUE(srv.waitForEnd()) << srv.failure();
    if (!c.features.empty()) {
        EXPECT_TRUE(ftp.HasFeature("mlst"));
        EXPECT_FALSE(ftp.HasFeature("MLS"));
    }
}

const std::vector<std::string> kProFeat = {"211-Features:", " EPSV", " MLST modify*;perm*;size*;type*;", " UTF8",
                                           "211 End"};
const std::vector<std::string> kProFeatures = {"EPSV", "MLST modify*;perm*;size*;type*;", "UTF8"};

INSTANTIATE_TEST_SUITE_P(
    Servers, FeatLogin,
    ::testing::Values(
        FeatCase{"NoFeat", TFtpNameEncoding::Auto, {"500 'FEAT': command not understood"}, nullptr, {}, false, false},
        FeatCase{"SingleLine", TFtpNameEncoding::Auto, {"211 No features"}, nullptr, {}, false, false},
        FeatCase{"Utf8Accepted", TFtpNameEncoding::Auto, kProFeat, "200 UTF8 set to on", kProFeatures, true, true},
        FeatCase{"Utf8Refused", TFtpNameEncoding::Utf8, kProFeat, "504 Unknown command", kProFeatures, false, true},
        FeatCase{"RawNeverAsks", TFtpNameEncoding::Raw, kProFeat, nullptr, kProFeatures, false, false},
        FeatCase{"NoUtf8Listed",
                 TFtpNameEncoding::Utf8,
                 {"211-Extensions:", " MLST type*;", " PASV", "211 End."},
                 nullptr,
                 {"MLST type*;", "PASV"},
                 false,
                 true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
