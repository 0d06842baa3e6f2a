// Data channel against scripted servers: the order of commands, replies and statuses around a
// transfer in both modes, PASV parsing, abort outcomes, the guarded listener.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <random>
#include <gtest/gtest.h>

#include "ftp/ftp_client.h"
#include "tests/ftp/ftp_test_util.h"

namespace {

TEST(FtpPasv, ParsesHostAndPortWithAndWithoutParentheses) {
    std::string host;
    int port = 0;
    TIdFTP::ParsePasvReply("Entering Passive Mode (192,168,1,2,19,137).", host, port);
    EXPECT_EQ(host, "192.168.1.2");
    EXPECT_EQ(port, 5001);
    TIdFTP::ParsePasvReply("Entering Passive Mode 192,168,1,2,19,137", host, port);
    EXPECT_EQ(host, "192.168.1.2");
    EXPECT_EQ(port, 5001);
    TIdFTP::ParsePasvReply("192,168,1,2,19,137", host, port);
    EXPECT_EQ(port, 5001);
    try {
        TIdFTP::ParsePasvReply("Entering Passive Mode (1,2,3,4,x5,6)", host, port);
        FAIL() << "no exception";
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'x5' is not a valid integer value");
    }
    EXPECT_THROW(TIdFTP::ParsePasvReply("(1,2,3,4,5)", host, port), EConvertError);
    EXPECT_THROW(TIdFTP::ParsePasvReply("Entering Passive Mode (127,0,0,1,0,0)", host, port), EIdException);
}

// A hostile server controls these reply texts: any bytes either parse or raise the client's own error.
TEST(FtpPasv, ArbitraryReplyBytesNeverCrashTheParsers) {
    std::mt19937 rng(20261208);
    const std::string alphabet = "0123456789,,,,()(). -+xX\"/\r\n\t";
    for (int round = 0; round < 20000; ++round) {
        std::string line;
        const int length = static_cast<int>(rng() % 64);
        for (int i = 0; i < length; ++i) {
            line += (rng() % 4 == 0) ? static_cast<char>(rng() % 256) : alphabet[rng() % alphabet.size()];
        }
        std::string host;
        int port = -1;
        try {
            TIdFTP::ParsePasvReply(line, host, port);
            EXPECT_GE(port, 1) << line;
            EXPECT_LE(port, 65535) << line;
        } catch (const EIdException&) {
        }
        try {
            (void)TIdFTP::ParsePwdReply(line);
        } catch (const EIdException&) {
        }
    }
}

TEST(FtpPort, ArgumentFromAddressAndPort) {
    EXPECT_EQ(TIdFTP::PortArgument("10.0.0.5", 4993), "10,0,0,5,19,129");
    EXPECT_EQ(TIdFTP::PortArgument("127.0.0.1", 65535), "127,0,0,1,255,255");
    EXPECT_EQ(TIdFTP::EprtArgument("127.0.0.1", 4993), "|1|127.0.0.1|4993|");
    EXPECT_EQ(TIdFTP::EprtArgument("::1", 4993), "|2|::1|4993|");
    EXPECT_EQ(TIdFTP::EprtArgument("[fe80::1]", 21), "|2|fe80::1|21|");
}

TEST(FtpEpsv, PortOfTheReplyOrAnError) {
    const std::vector<std::pair<std::string, int>> cases = {
        {"Entering Extended Passive Mode (|||6446|)", 6446},
        {"Entering Extended Passive Mode (!!!1!)", 1},
        {"EPSV ok |||65535|", 65535},
        {"Entering Extended Passive Mode (|||0|)", -1},
        {"Entering Extended Passive Mode (|||65536|)", -1},
        {"Entering Extended Passive Mode (||6446|)", -1},
        {"Entering Extended Passive Mode (|||64x6|)", -1},
        {"Entering Extended Passive Mode (|||6446|2|)", -1},
        {"", -1},
    };
    for (const auto& [line, port] : cases) {
        SCOPED_TRACE(line);
        if (port < 0)
            EXPECT_THROW(TIdFTP::ParseEpsvReply(line), EIdException);
        else
            EXPECT_EQ(TIdFTP::ParseEpsvReply(line), port);
    }
}

// A control script that logs in; the test appends the transfer part.
struct ScriptedSession {
    ScriptedServer control;
    ScriptedServer data;
    TIdFTP ftp;
    std::unique_ptr<FtpRecorder> rec;

    void open(bool passive) {
        control.start();
        PrepareClient(ftp, control.port());
        ftp.Passive = passive;
        rec = std::make_unique<FtpRecorder>(ftp);
        ftp.OpenSession();
        rec->statuses.clear();
    }
    void finish() {
        EXPECT_TRUE(control.waitForEnd()) << "control: " << control.failure();
        EXPECT_TRUE(data.waitForEnd()) << "data: " << data.failure();
    }
};

TEST(FtpTransferScripted, PassiveDownloadOrderAndPasvWithoutParentheses) {
    ScriptedSession s;
    // The reply names another host: the client still connects to the control peer.
    ScriptLogin(s.control)
        .expectLine("PASV")
        .sendLine("227 Entering Passive Mode 127,0,0,2," + std::to_string(s.data.port() / 256) + "," +
                  std::to_string(s.data.port() % 256))
        .expectLine("RETR file.bin")
        .sendLine("150 Opening BINARY mode data connection")
        .pause(50)
        .sendLine("226 Transfer complete");
    s.data.send("hello data").close();
    s.data.start();
    s.open(true);
    TIdMemoryStream dest;
    int gotAfter = 0;
    s.ftp.OnAfterGet = [&](TIdFTP*, TIdStream& st) { gotAfter += st.Size() == 10; };
    s.ftp.Get("file.bin", dest);
    EXPECT_EQ(dest.DataString(), "hello data");
    EXPECT_EQ(gotAfter, 1);
    EXPECT_EQ(s.rec->statuses, (std::vector<std::string>{"Starting FTP transfer", "Transfer complete"}));
    EXPECT_EQ(s.ftp.DataConnection(), nullptr);
    s.finish();
}

TEST(FtpTransferScripted, RetrRefusedStillCleansUpAndReportsComplete) {
    ScriptedSession s;
    ScriptLogin(s.control)
        .expectLine("PASV")
        .sendLine(PasvReply(s.data.port()))
        .expectLine("RETR nope")
        .sendLine("550 No such file")
        .expectLine("PWD")
        .sendLine("257 \"/\"");
    s.data.readUntilClosed();
    s.data.start();
    s.open(true);
    TIdMemoryStream dest;
    try {
        s.ftp.Get("nope", dest);
        FAIL() << "no exception";
    } catch (const EIdProtocolReplyError& e) {
        EXPECT_EQ(e.ReplyCode, 550);
    }
    EXPECT_EQ(s.ftp.DataConnection(), nullptr);
    EXPECT_EQ(s.rec->statuses, (std::vector<std::string>{"Starting FTP transfer", "Transfer complete"}));
    EXPECT_EQ(s.ftp.WorkingDir(), "/");
    s.finish();
}

TEST(FtpTransferScripted, PreliminaryThenClosedDataConnectionGivesEmptyResult) {
    ScriptedSession s;
    ScriptLogin(s.control)
        .expectLine("PASV")
        .sendLine(PasvReply(s.data.port()))
        .expectLine("NLST")
        .sendLine("150 Here it comes")
        .pause(50)
        .sendLine("226 Done");
    s.data.close();
    s.data.start();
    s.open(true);
    std::vector<std::string> lines{"stale"};
    s.ftp.LastListing = {"old"};
    s.ftp.List(&lines, "", false);
    EXPECT_TRUE(lines.empty());
    EXPECT_TRUE(s.ftp.LastListing.empty());
    EXPECT_EQ(s.ftp.ParsedListing().Count(), 0);
    s.finish();
}

TEST(FtpTransferScripted, MlsdRefusedFallsBackToListForTheSession) {
    ScriptedSession s;
    const std::string unixLine = "-rw-r--r--   1 ann staff 3 Jan 12  2003 x.txt";
    s.control.sendLine("220 ready").expectLine("USER u").sendLine("331 pw").expectLine("PASS p").sendLine("230 in");
    s.control.expectLine("TYPE I").sendLine("200 ok").expectLine("SYST").sendLine("215 UNIX");
    s.control.expectLine("FEAT").sendLine("211-Features:").sendLine(" MLST type*;size*;").sendLine("211 End");
    s.control.expectLine("PASV").sendLine(PasvReply(s.data.port())).expectLine("MLSD").sendLine("500 Unknown command");
    for (int i = 0; i < 2; ++i)
        s.control.expectLine("PASV")
            .sendLine(PasvReply(s.data.port()))
            .expectLine("LIST")
            .sendLine("150 ok")
            .pause(50)
            .sendLine("226 done");
    s.data.readUntilClosed();
    for (int i = 0; i < 2; ++i) s.data.accept().sendLine(unixLine).close();
    s.data.start();
    s.open(true);
    for (int i = 0; i < 2; ++i) {
        s.ftp.List(nullptr);
        EXPECT_FALSE(s.ftp.LastListingIsMlsd());
        EXPECT_EQ(s.ftp.LastListing, std::vector<std::string>{unixLine});
        ASSERT_EQ(s.ftp.ParsedListing().Count(), 1);
        EXPECT_EQ(s.ftp.ParsedListing().Items(0).ItemSize, 3);
    }
    s.finish();
}

TEST(FtpTransferScripted, BadPasvFieldFailsBeforeAnyDataConnection) {
    ScriptedSession s;
    ScriptLogin(s.control)
        .expectLine("PASV")
        .sendLine("227 Entering Passive Mode (127,0,0,1,abc,1)")
        .expectLine("PWD")
        .sendLine("257 \"/\"");
    s.open(true);
    TIdMemoryStream dest;
    EXPECT_THROW(s.ftp.Get("f", dest), EConvertError);
    EXPECT_EQ(s.ftp.DataConnection(), nullptr);
    EXPECT_EQ(s.ftp.WorkingDir(), "/");
    EXPECT_EQ(s.data.accepted(), 0);
    EXPECT_TRUE(s.control.waitForEnd()) << s.control.failure();
}

TEST(FtpTransferScripted, AbortFromWorkHandlerThen426And226ReturnsNormally) {
    ScriptedSession s;
    ScriptLogin(s.control)
        .expectLine("PASV")
        .sendLine(PasvReply(s.data.port()))
        .expectLine("RETR big")
        .sendLine("150 go")
        .expectLine("ABOR")
        .sendLine("426 Connection closed; transfer aborted.")
        .sendLine("226 ABOR command successful.")
        .expectLine("NOOP")
        .sendLine("200 ok")
        .expectLine("PWD")
        .sendLine("257 \"/\"");
    s.data.send(std::string(20000, 'x')).readUntilClosed();
    s.data.start();
    s.open(true);
    TIdMemoryStream dest;
    int aborts = 0;
    s.ftp.OnWork = [&](TIdComponent*, TWorkMode, int64_t) {
        if (aborts++ == 0) s.ftp.Abort();
    };
    s.ftp.Get("big", dest);
    EXPECT_GT(dest.Size(), 0);
    EXPECT_LE(dest.Size(), 20000);
    EXPECT_EQ(s.ftp.DataConnection(), nullptr);
    EXPECT_EQ(s.rec->statuses,
              (std::vector<std::string>{"Starting FTP transfer", "Transfer complete", "Transfer aborted"}));
    EXPECT_EQ(s.ftp.WorkingDir(), "/");
    s.finish();
}

TEST(FtpTransferScripted, AbortAfterServerFinishedTakesTheAborAnswerToo) {
    ScriptedSession s;
    ScriptLogin(s.control)
        .expectLine("PASV")
        .sendLine(PasvReply(s.data.port()))
        .expectLine("RETR small")
        .sendLine("150 go")
        .expectLine("ABOR")
        .sendLine("226 Transfer complete.")
        .sendLine("225 No transfer to abort.")
        .expectLine("NOOP")
        .sendLine("200 ok")
        .expectLine("PWD")
        .sendLine("257 \"/synced\"");
    s.data.send(std::string(100, 'y')).close();
    s.data.start();
    s.open(true);
    TIdMemoryStream dest;
    bool aborted = false;
    s.ftp.OnWork = [&](TIdComponent*, TWorkMode, int64_t) {
        if (!aborted) {
            aborted = true;
            s.ftp.Abort();
        }
    };
    s.ftp.Get("small", dest);
    EXPECT_FALSE(s.rec->status("Transfer aborted"));
    EXPECT_EQ(s.ftp.WorkingDir(), "/synced");
    s.finish();
}

TEST(FtpTransferScripted, EpsvRefusedFallsBackToPasvForTheSession) {
    ScriptedSession s;
    ScriptLogin(s.control)
        .expectLine("EPSV")
        .sendLine("502 Command not implemented.")
        .expectLine("PASV")
        .sendLine(PasvReply(s.data.port()))
        .expectLine("NLST")
        .sendLine("150 go")
        .pause(50)
        .sendLine("226 done")
        .expectLine("PASV")  // asked once: the next listing goes straight to PASV
        .sendLine(PasvReply(s.data.port()))
        .expectLine("NLST")
        .sendLine("150 go")
        .pause(50)
        .sendLine("226 done");
    s.data.send("a\r\n").close().accept().send("b\r\n").close();
    s.data.start();
    s.ftp.DataPortCommands = TFtpDataPortCommands::Extended;
    s.open(true);
    s.ftp.List(nullptr, "", false);
    EXPECT_EQ(s.ftp.LastListing, std::vector<std::string>{"a"});
    EXPECT_TRUE(s.ftp.EpsvRefused());
    s.ftp.List(nullptr, "", false);
    EXPECT_EQ(s.ftp.LastListing, std::vector<std::string>{"b"});
    s.finish();
}

// What a server may leave unsaid after a transfer: every wait is bounded, and a silent server
// leaves the session closed so the next command reconnects instead of reading a stale reply.
TEST(FtpTransferScripted, SilentServerAfter426ClosesTheSession) {
    for (bool aborted : {false, true}) {
        SCOPED_TRACE(aborted ? "after ABOR" : "426 of its own");
        ScriptedSession s;
        ScriptLogin(s.control)
            .expectLine("PASV")
            .sendLine(PasvReply(s.data.port()))
            .expectLine("RETR f")
            .sendLine("150 go");
        if (aborted) s.control.expectLine("ABOR");
        s.control.sendLine("426 Connection lost.").readUntilClosed();  // the NOOP is never answered
        s.data.send(std::string(50000, 'z')).pause(200).close();
        s.data.start();
        s.open(true);
        s.ftp.AbortReplyTimeout = 300;
        bool abortNow = aborted;
        s.ftp.OnWork = [&](TIdComponent*, TWorkMode, int64_t) {
            if (abortNow) {
                abortNow = false;
                s.ftp.Abort();
            }
        };
        TIdMemoryStream dest;
        if (aborted) {
            s.ftp.Get("f", dest);  // the user stopped it: no error
            EXPECT_TRUE(s.rec->status("Transfer aborted"));
        } else {
            try {
                s.ftp.Get("f", dest);
                FAIL() << "a failed transfer reported as done";
            } catch (const EIdProtocolReplyError& e) {
                EXPECT_EQ(e.ReplyCode, 426);
                EXPECT_STREQ(e.what(), "Connection lost.\r\n");
            }
        }
        EXPECT_FALSE(s.ftp.IsConnected());
        EXPECT_TRUE(s.rec->status("Disconnected."));
        s.finish();
    }
}

// A 421 (the server ends the session) is noticed where it arrives, not read as a later answer.
TEST(FtpTransferScripted, ServerClosingWith421IsNeverTheNextCommandsReply) {
    enum When { Unasked, AsReply, UnaskedStaysOpen };
    for (When when : {Unasked, AsReply, UnaskedStaysOpen}) {
        SCOPED_TRACE(when);
        ScriptedSession s;
        ScriptLogin(s.control);
        if (when == AsReply)
            s.control.expectLine("CWD x").sendLine("421 Too many users, closing.").close();
        else if (when == Unasked)
            s.control.sendLine("421 Timeout.").close();
        else
            s.control.sendLine("421 Timeout.").readUntilClosed();
        s.open(true);
        if (when != AsReply) ::usleep(100 * 1000);  // the unasked reply is on its way
        try {
            s.ftp.ChangeDir("x");
            FAIL() << "no exception";
        } catch (const EIdProtocolReplyError& e) {
            EXPECT_EQ(e.ReplyCode, 421);
        }
        EXPECT_FALSE(s.ftp.IsConnected());
        EXPECT_EQ(s.rec->sentLine("CWD x"), when == AsReply);
        EXPECT_TRUE(s.control.waitForEnd()) << s.control.failure();
    }
}

TEST(FtpTransferScripted, EmptyDirectoryRefusalsAreEmptyListings) {
    for (const char* reply : {"450 No files found.", "550 No files found."}) {
        SCOPED_TRACE(reply);
        ScriptedSession s;
        ScriptLogin(s.control)
            .expectLine("PASV")
            .sendLine(PasvReply(s.data.port()))
            .expectLine("NLST")
            .sendLine(reply)
            .expectLine("PWD")
            .sendLine("257 \"/\"");
        s.data.readUntilClosed();
        s.data.start();
        s.open(true);
        s.ftp.LastListing = {"old"};
        std::vector<std::string> lines{"stale"};
        s.ftp.List(&lines, "", false);
        EXPECT_TRUE(lines.empty());
        EXPECT_TRUE(s.ftp.LastListing.empty());
        EXPECT_EQ(s.ftp.WorkingDir(), "/");
        s.finish();
    }
}

TEST(FtpTransferScripted, TransferTypeCannotChangeDuringATransfer) {
    ScriptedSession s;
    ScriptLogin(s.control)
        .expectLine("PASV")
        .sendLine(PasvReply(s.data.port()))
        .expectLine("RETR f")
        .sendLine("150 go")
        .pause(50)
        .sendLine("226 ok")
        .expectLine("PWD")
        .sendLine("257 \"/\"");
    s.data.send(std::string(5000, 'z')).close();
    s.data.start();
    s.open(true);
    s.ftp.OnWork = [&](TIdComponent*, TWorkMode, int64_t) { s.ftp.SetTransferType(ftASCII); };
    TIdMemoryStream dest;
    s.ftp.Get("f", dest);
    EXPECT_EQ(s.ftp.TransferType(), ftBinary);
    EXPECT_EQ(s.ftp.WorkingDir(), "/");  // no TYPE line went out
    s.finish();
}

TEST(FtpTransferScripted, StouKeepsItsTrailingSpaceAndUploadsInPassive) {
    ScriptedSession s;
    ScriptLogin(s.control)
        .expectLine("PASV")
        .sendLine(PasvReply(s.data.port()))
        .expectLine("STOU ")
        .sendLine("150 FILE: unique.1")
        .pause(100)
        .sendLine("226 stored");
    s.data.readUntilClosed();
    s.data.start();
    s.open(true);
    TIdMemoryStream src(std::string(5000, 'q'));
    src.SetPosition(4000);  // STOU sends from the beginning
    int64_t maxSeen = -1;
    s.ftp.OnWorkBegin = [&](TIdComponent*, TWorkMode mode, int64_t max) {
        if (mode == wkWrite) maxSeen = max;
    };
    s.ftp.Put(src, "");
    s.finish();
    EXPECT_EQ(s.data.received(), std::string(5000, 'q'));
    EXPECT_EQ(maxSeen, 5000);
}

// Active mode: the control script reads PORT and lets the data script connect to that port.
TEST(FtpTransferScripted, ActiveAppendSendsFromStreamPosition) {
    ScriptedSession s;
    std::atomic<int> port{0};
    ScriptLogin(s.control)
        .readLine()
        .call([&] {
            port = PortFromPortLine(s.control.lines().back());
            s.data.startConnecting([&] { return port.load(); });
        })
        .sendLine("200 PORT ok")
        .expectLine("APPE log.txt")
        .sendLine("150 ok")
        .pause(100)
        .sendLine("226 appended");
    s.data.readUntilClosed();
    s.open(false);
    TIdMemoryStream src("0123456789");
    src.SetPosition(4);
    s.ftp.Put(src, "log.txt", true);
    s.finish();
    ASSERT_GT(port.load(), 0);
    EXPECT_EQ(s.control.lines()[5].rfind("PORT 127,0,0,1,", 0), 0u);
    EXPECT_EQ(s.data.received(), "456789");
    EXPECT_EQ(s.ftp.DataConnection(), nullptr);
}

// Connects from 127.0.0.2 to the port and returns the socket (or -1).
int ConnectFromOtherLoopback(int port) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(0x7F000002);
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(static_cast<uint16_t>(port));
    remote.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        ::connect(fd, reinterpret_cast<sockaddr*>(&remote), sizeof remote) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

TEST(FtpTransferScripted, ActiveListenerTakesOnlyTheControlPeer) {
    ScriptedSession s;
    std::atomic<int> port{0};
    std::atomic<int> intruder{-1};
    ScriptLogin(s.control)
        .readLine()
        .call([&] {
            port = PortFromPortLine(s.control.lines().back());
            intruder = ConnectFromOtherLoopback(port);
            if (intruder >= 0) {  // so a listener that took it would end with wrong data, not hang
                (void)!::send(intruder, "EVIL", 4, MSG_NOSIGNAL);
                ::shutdown(intruder, SHUT_WR);
            }
        })
        .sendLine("200 PORT ok")
        .expectLine("RETR f")
        .call([&] { s.data.startConnecting([&] { return port.load(); }); })
        .sendLine("150 ok")
        .pause(100)
        .sendLine("226 done");
    s.data.pause(200).send("the real data").close();
    s.open(false);
    TIdMemoryStream dest;
    s.ftp.Get("f", dest);
    s.finish();
    ASSERT_GE(intruder.load(), 0) << "could not connect from 127.0.0.2";
    EXPECT_EQ(dest.DataString(), "the real data");
    char c;
    EXPECT_EQ(::recv(intruder, &c, 1, 0), 0);  // the intruder was closed
    ::close(intruder);
}

TEST(FtpTransferScripted, ActiveWaitIsBoundedAndCleansUp) {
    ScriptedSession s;
    ScriptLogin(s.control)
        .readLine()
        .sendLine("200 PORT ok")
        .expectLine("RETR f")
        .sendLine("150 ok")
        // The client gives up: ABOR, then a NOOP marks where the server's answers end.
        .expectLine("ABOR")
        .sendLine("425 Can't open data connection.")
        .sendLine("225 ABOR ok")
        .expectLine("NOOP")
        .sendLine("200 ok")
        .expectLine("PWD")
        .sendLine("257 \"/\"")
        .readUntilClosed();
    s.open(false);
    s.ftp.DataConnectionTimeout = 300;
    TIdMemoryStream dest;
    try {
        s.ftp.Get("f", dest);
        FAIL() << "no exception";
    } catch (const EIdException& e) {
        EXPECT_STREQ(e.what(), "Data connection timed out.");
    }
    EXPECT_EQ(s.ftp.DataConnection(), nullptr);
    EXPECT_EQ(s.rec->statuses, (std::vector<std::string>{"Starting FTP transfer", "Transfer complete"}));
    EXPECT_EQ(s.ftp.WorkingDir(), "/");
    s.ftp.Disconnect();
    EXPECT_TRUE(s.control.waitForEnd()) << s.control.failure();
}

TEST(FtpTransferScripted, RestAbove2GiBIsSentInFull) {
    ScriptedSession s;
    ScriptLogin(s.control)
        .expectLine("REST 1")
        .sendLine("350 ok")
        .expectLine("REST 0")
        .sendLine("350 ok")
        .expectLine("PASV")
        .sendLine(PasvReply(s.data.port()))
        .expectLine("REST 3000000000")
        .sendLine("350 Restarting")
        .expectLine("RETR huge")
        .sendLine("150 go")
        .pause(50)
        .sendLine("226 ok");
    s.data.send("tail").close();
    s.data.start();
    s.open(true);
    // A stream that claims a far position without holding the bytes: REST carries the position.
    struct FarStream : TIdMemoryStream {
        int64_t base = 3000000000LL;
        int64_t Seek(int64_t offset, TIdSeekOrigin origin) override {
            if (origin == TIdSeekOrigin::soCurrent && offset == 0) return base + TIdMemoryStream::Seek(0, origin);
            return TIdMemoryStream::Seek(offset, origin);
        }
    } far;
    s.ftp.Get("huge", far, true);
    EXPECT_EQ(far.DataString(), "tail");
    s.finish();
}

TEST(FtpTransferScripted, RestRefusedStopsBeforeTheTransferCommand) {
    ScriptedSession s;
    ScriptLogin(s.control)
        .expectLine("REST 1")
        .sendLine("350 ok")
        .expectLine("REST 0")
        .sendLine("350 ok")
        .expectLine("PASV")
        .sendLine(PasvReply(s.data.port()))
        .expectLine("REST 5")
        .sendLine("501 no")
        .expectLine("PWD")
        .sendLine("257 \"/\"");
    s.data.readUntilClosed();
    s.data.start();
    s.open(true);
    TIdMemoryStream dest("12345");
    dest.SetPosition(5);
    EXPECT_THROW(s.ftp.Get("f", dest, true), EIdProtocolReplyError);
    EXPECT_EQ(s.ftp.WorkingDir(), "/");
    s.finish();
}

}  // namespace
