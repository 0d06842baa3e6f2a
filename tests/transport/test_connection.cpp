// The TCP connection against a scripted peer: lines, exact reads, streams, writes, connect and close.

#include <gtest/gtest.h>
#include <openssl/ssl.h>

#include <arpa/inet.h>
#include <ctime>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "tests/support/ftp_servers.h"
#include "tests/support/scripted_server.h"
#include "tests/transport/helpers.h"
#include "transport/stream.h"
#include "transport/tcp_client.h"
#include "transport/tls_handler.h"

namespace {

std::string Pattern(size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 7 + 3) & 0xFF);
    return s;
}

}  // namespace

TEST(ReadLine, LineEndsAndCarriageReturns) {
    ScriptedServer srv;
    srv.send("one\r\ntwo\nthr\ree\r\n\r\n").send("  padded  \r\n\r\n").send("last").pause(50).send("\r\n");
    srv.start();
    TIdTCPClient c;
    ConnectLocal(c, srv.port());
    EXPECT_EQ(c.ReadLine(), "one");
    EXPECT_EQ(c.ReadLine(), "two");
    EXPECT_EQ(c.ReadLine(), "thr\ree");  // a CR inside the line stays
    EXPECT_EQ(c.ReadLine(), "");
    EXPECT_EQ(c.ReadLineNonEmpty(), "padded");  // trimmed; the empty line after it is skipped next
    EXPECT_EQ(c.ReadLineNonEmpty(), "last");    // arrived in two pieces
    EXPECT_FALSE(c.LineWasSplit);
    EXPECT_FALSE(c.LineTimedOut);
    ASSERT_TRUE(srv.waitForEnd()) << srv.failure();
}

TEST(ReadLine, OtherTerminatorKeepsCR) {
    ScriptedServer srv;
    srv.send("a\r;b;;");
    srv.start();
    TIdTCPClient c;
    ConnectLocal(c, srv.port());
    EXPECT_EQ(c.ReadLine(";"), "a\r");
    EXPECT_EQ(c.ReadLine(";;"), "b");
    ASSERT_TRUE(srv.waitForEnd()) << srv.failure();
}

TEST(ReadLine, OverlongLineRaisesOrSplits) {
    const std::string longLine(16385, 'q');
    {
        ScriptedServer srv;
        srv.send(longLine).pause(100).send("\r\nnext\r\n");
        srv.start();
        TIdTCPClient c;
        ConnectLocal(c, srv.port());
        // Wait until all 16385 bytes are buffered, as the limit applies to what is held.
        while (c.PendingInput.Size() < 16385) c.ReadFromSocket();
        try {
            c.ReadLine();
            FAIL() << "no exception";
        } catch (const EIdReadLnMaxLineLengthExceeded& e) {
            EXPECT_STREQ(e.what(), "Max line length exceeded.");
        }
        EXPECT_EQ(c.PendingInput.Size(), 16385);  // nothing consumed, nothing more read
    }
    {
        ScriptedServer srv;
        srv.send(longLine + "\r\nnext\r\n");
        srv.start();
        TIdTCPClient c;
        c.MaxLineAction = maSplit;
        ConnectLocal(c, srv.port());
        EXPECT_EQ(c.ReadLine(), std::string(16384, 'q'));
        EXPECT_TRUE(c.LineWasSplit);
        EXPECT_EQ(c.ReadLine(), "q");
        EXPECT_FALSE(c.LineWasSplit);
        EXPECT_EQ(c.ReadLine(), "next");
    }
    {
        // 0 means no limit.
        ScriptedServer srv;
        srv.send(std::string(40000, 'z') + "\n");
        srv.start();
        TIdTCPClient c;
        c.MaxLineLength = 0;
        ConnectLocal(c, srv.port());
        EXPECT_EQ(c.ReadLine().size(), 40000u);
    }
}

TEST(ReadLine, PeerClosesMidLine) {
    ScriptedServer srv;
    srv.send("abc").close();
    srv.start();
    TIdTCPClient c;
    StatusLog log;
    c.OnStatus = log.handler();
    int disconnected = 0;
    c.OnDisconnected = [&](TIdComponent*) { ++disconnected; };
    ConnectLocal(c, srv.port());
    EXPECT_THROW(c.ReadLine(), EIdConnClosedGracefully);
    EXPECT_FALSE(c.IsConnected());
    EXPECT_EQ(disconnected, 1);
    EXPECT_EQ(log.texts.back(), "Disconnected.");
    EXPECT_EQ(c.PendingInput.AsString(), "abc");  // still there for a stream read
}

TEST(ReadLine, TimeOutWithExplicitTimeoutReturnsEmpty) {
    ScriptedServer srv;
    srv.pause(400).sendLine("late");
    srv.start();
    TIdTCPClient c;
    ConnectLocal(c, srv.port());
    EXPECT_EQ(c.ReadLine("\n", 50), "");
    EXPECT_TRUE(c.LineTimedOut);
    c.ReadTimeout = 50;
    EXPECT_THROW(c.ReadLine(), EIdReadTimeout);  // the default time-out raises
    c.ReadTimeout = 0;
    EXPECT_EQ(c.ReadLine(), "late");
    EXPECT_FALSE(c.LineTimedOut);
    ASSERT_TRUE(srv.waitForEnd()) << srv.failure();
}

TEST(ReceiveStream, UntilClosedDeliversTheTailAndCountsIt) {
    ScriptedServer srv;
    const std::string data = Pattern(10000) + "abc";
    srv.send(data.substr(0, 5000)).pause(30).send(data.substr(5000)).close();
    srv.start();
    TIdTCPClient c;
    c.RecvBufferSize = 4096;
    int begins = 0, ends = 0;
    int64_t last = -1, beginMax = -1;
    c.OnWorkBegin = [&](TIdComponent*, TWorkMode m, int64_t max) {
        EXPECT_EQ(m, wkRead);
        ++begins;
        beginMax = max;
    };
    c.OnWork = [&](TIdComponent*, TWorkMode, int64_t n) {
        EXPECT_GT(n, last);
        last = n;
    };
    c.OnWorkEnd = [&](TIdComponent*, TWorkMode) { ++ends; };
    ConnectLocal(c, srv.port());
    TIdMemoryStream m;
    c.ReceiveStream(m, -1, true);
    EXPECT_EQ(m.DataString(), data);
    EXPECT_EQ(begins, 1);
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(beginMax, 0);
    EXPECT_EQ(last, static_cast<int64_t>(data.size()));  // the tail after the close is counted too
    EXPECT_FALSE(c.IsConnected());
}

TEST(ReceiveStream, AbcThenClose) {
    ScriptedServer srv;
    srv.send("abc").close();
    srv.start();
    TIdTCPClient c;
    ConnectLocal(c, srv.port());
    TIdMemoryStream m;
    c.ReceiveStream(m, -1, true);
    EXPECT_EQ(m.DataString(), "abc");
}

TEST(ReceiveStream, CountedAndSizePrefixed) {
    ScriptedServer srv;
    const std::string data = Pattern(9000);
    uint32_t prefix = htonl(5);
    srv.send(data).send(std::string(reinterpret_cast<char*>(&prefix), 4) + "hello" + "rest").close();
    srv.start();
    TIdTCPClient c;
    c.RecvBufferSize = 1000;
    ConnectLocal(c, srv.port());
    TIdMemoryStream m("XX");
    m.SetPosition(2);
    c.ReceiveStream(m, 9000);
    EXPECT_EQ(m.DataString(), "XX" + data);
    TIdMemoryStream p;
    c.ReceiveStream(p);  // count from a 4-byte prefix
    EXPECT_EQ(p.DataString(), "hello");
    EXPECT_EQ(c.ReadString(4), "rest");
    // More than the peer sent: the close ends the read with an exception.
    TIdMemoryStream q;
    EXPECT_THROW(c.ReceiveStream(q, 10), EIdConnClosedGracefully);
}

TEST(ReceiveStream, CountedReadAfterTheCloseIsNotShortSuccess) {
    ScriptedServer srv;
    srv.send("abcdef").close();
    srv.start();
    TIdTCPClient c;
    ConnectLocal(c, srv.port());
    EXPECT_EQ(c.ReadString(1), "a");
    // Let the close be seen while "bcdef" is still buffered.
    EXPECT_THROW(c.ReadString(6), EIdConnClosedGracefully);
    EXPECT_FALSE(c.IsConnected());
    EXPECT_EQ(c.PendingInput.AsString(), "bcdef");
    TIdMemoryStream m;
    EXPECT_THROW(c.ReceiveStream(m, 8), EIdConnClosedGracefully);
    EXPECT_EQ(m.DataString(), "bcdef");  // what did arrive is kept
}

TEST(ReceiveStream, CutsTheDestinationAtItsPosition) {
    ScriptedServer srv;
    srv.send("12345").close();
    srv.start();
    TIdTCPClient c;
    ConnectLocal(c, srv.port());
    TIdMemoryStream m("old-longer-content");
    m.SetPosition(4);
    c.ReceiveStream(m, -1, true);
    EXPECT_EQ(m.DataString(), "old-12345");
}

TEST(ReadExact, WaitsForAllBytesAndReadsNetInt) {
    ScriptedServer srv;
    uint32_t v = htonl(0x01020304);
    srv.send("ab").pause(30).send("cd").send(std::string(reinterpret_cast<char*>(&v), 4)).close();
    srv.start();
    TIdTCPClient c;
    ConnectLocal(c, srv.port());
    EXPECT_EQ(c.ReadString(4), "abcd");
    EXPECT_EQ(c.ReadNetInt32(), 0x01020304);
    EXPECT_THROW(c.ReadString(1), EIdConnClosedGracefully);
}

TEST(Write, LinesBytesAndStreams) {
    ScriptedServer srv;
    const std::string data = Pattern(5000);
    srv.expectLine("HELLO there").readBytes(5000).readBytes(4 + 3).close();
    srv.start();
    TIdTCPClient c;
    c.SendBufferSize = 2048;
    std::vector<int64_t> blocks;
    TIdConnectionIntercept spy;
    spy.OnSend = [&](TIdConnectionIntercept*, TIdStream& s) { blocks.push_back(s.Size()); };
    c.SetIntercept(&spy);
    int64_t workMax = -1, workLast = -1;
    c.OnWorkBegin = [&](TIdComponent*, TWorkMode m, int64_t max) {
        EXPECT_EQ(m, wkWrite);
        workMax = max;
    };
    c.OnWork = [&](TIdComponent*, TWorkMode, int64_t n) { workLast = n; };
    ConnectLocal(c, srv.port());
    c.WriteLine("HELLO there");
    EXPECT_EQ(workLast, -1);  // a command line is no work
    TIdMemoryStream m(data);
    c.SendStream(m);
    EXPECT_EQ(workMax, 5000);
    EXPECT_EQ(workLast, 5000);
    TIdMemoryStream tail("xyzabc");
    tail.SetPosition(3);
    c.SendStream(tail, false, 3, true);  // size prefix, then 3 bytes from the position
    ASSERT_TRUE(srv.waitForEnd()) << srv.failure();
    EXPECT_EQ(srv.received().substr(0, 5000), data);
    EXPECT_EQ(srv.received().substr(5000), std::string("\0\0\0\3abc", 7));
    ASSERT_GE(blocks.size(), 4u);
    EXPECT_EQ(blocks[0], 13);  // "HELLO there" CR LF as one block
    EXPECT_EQ(blocks[1], 2048);
    EXPECT_EQ(blocks[2], 2048);
    EXPECT_EQ(blocks[3], 904);
}

TEST(Write, StreamShorterThanAskedRaisesNoDataToRead) {
    ScriptedServer srv;
    srv.readUntilClosed();
    srv.start();
    TIdTCPClient c;
    int begins = 0, ends = 0;
    c.OnWorkBegin = [&](TIdComponent*, TWorkMode, int64_t) { ++begins; };
    c.OnWorkEnd = [&](TIdComponent*, TWorkMode) { ++ends; };
    ConnectLocal(c, srv.port());
    TIdMemoryStream m("abc");
    EXPECT_THROW(c.SendStream(m, true, 10), EIdNoDataToRead);
    EXPECT_EQ(begins, 1);
    EXPECT_EQ(ends, 1);  // work is ended on failure too
    c.Disconnect();
    ASSERT_TRUE(srv.waitForEnd()) << srv.failure();
    EXPECT_EQ(srv.received(), "abc");
}

// A file goes out from its position, in work pieces of the send size, leaving the position at the
// end; a file shorter than asked and a peer that resets in mid-file give errors (not SIGPIPE,
// which would end the program).
TEST(Write, FileStreamsFromItsPosition) {
    TempDir dir;
    const int64_t size = 700000;
    dir.writePatternFile("f.bin", size);
    {
        ScriptedServer srv;
        srv.readBytes(size - 1000).close();
        srv.start();
        TIdTCPClient c;
        c.SendBufferSize = 2048;
        c.SendBulkSize = 256 * 1024;
        int64_t last = 0, largestStep = 0;
        c.OnWork = [&](TIdComponent*, TWorkMode, int64_t n) {
            largestStep = std::max(largestStep, n - last);
            last = n;
        };
        ConnectLocal(c, srv.port());
        TIdFileStream f(dir.file("f.bin"), TIdFileMode::fmOpenRead);
        f.SetPosition(1000);
        c.SendStream(f, false);
        EXPECT_EQ(f.Position(), size);
        EXPECT_EQ(last, size - 1000);
        EXPECT_EQ(largestStep, 2048);
        ASSERT_TRUE(srv.waitForEnd()) << srv.failure();
        EXPECT_TRUE(srv.received() == patternBytes(1000, size - 1000));
    }
    {
        ScriptedServer srv;
        srv.readUntilClosed();
        srv.start();
        TIdTCPClient c;
        ConnectLocal(c, srv.port());
        TIdFileStream f(dir.file("f.bin"), TIdFileMode::fmOpenRead);
        EXPECT_THROW(c.SendStream(f, true, size + 10), EIdNoDataToRead);
        c.Disconnect();
        ASSERT_TRUE(srv.waitForEnd()) << srv.failure();
        EXPECT_EQ(static_cast<int64_t>(srv.received().size()), size);
    }
    {
        dir.writePatternFile("big.bin", 64 << 20);
        ScriptedServer srv;
        srv.readBytes(4096).reset();
        srv.start();
        TIdTCPClient c;
        ConnectLocal(c, srv.port());
        TIdFileStream f(dir.file("big.bin"), TIdFileMode::fmOpenRead);
        EXPECT_THROW(c.SendStream(f), EIdException);
    }
}

TEST(Write, LineBreaksInACommandAreRefusedBeforeWriting) {
    ScriptedServer srv;
    srv.expectLine("NOOP").sendLine("200 ok").readUntilClosed();
    srv.start();
    TIdTCPClient c;
    ConnectLocal(c, srv.port());
    try {
        c.WriteLine("USER a\r\nDELE x");
        FAIL() << "no exception";
    } catch (const EIdException& e) {
        EXPECT_STREQ(e.what(), "Command contains a line break.");
    }
    EXPECT_THROW(c.SendCommand("CWD a\nb", -1), EIdException);
    EXPECT_THROW(c.SendCommand("CWD a\rb", std::vector<int16_t>{250}), EIdException);
    EXPECT_THROW(c.SendCommand("RNTO a\r\nDELE b", {250, 350}), EIdException);
    EXPECT_EQ(c.SendCommand("NOOP", {}), 200);  // an empty list accepts any code
    c.Disconnect();
    ASSERT_TRUE(srv.waitForEnd()) << srv.failure();
    EXPECT_EQ(srv.received(), "");  // nothing of the refused lines reached the peer
}

TEST(Write, NotConnected) {
    TIdTCPClient c;
    EXPECT_NO_THROW(c.WriteBytes("", 0));
    EXPECT_THROW(c.WriteLine("x"), EIdNotConnected);
    EXPECT_THROW(c.ReadFromSocket(), EIdNotConnected);
    EXPECT_EQ(c.ReadFromSocket(false), 0);
}

TEST(Write, AfterPeerClosedFails) {
    ScriptedServer srv;
    srv.close();
    srv.start();
    TIdTCPClient c;
    ConnectLocal(c, srv.port());
    ASSERT_TRUE(srv.waitForEnd()) << srv.failure();
    // The first writes may still be accepted by the system; the peer's close shows soon after.
    bool failed = false;
    for (int i = 0; i < 50 && !failed; ++i) {
        try {
            c.WriteLine("data");
            usleep(10000);
        } catch (const EIdException&) {
            failed = true;
        }
    }
    EXPECT_TRUE(failed);
    EXPECT_FALSE(c.IsConnected());
}

TEST(Connect, RefusedPortRaisesConnectExceptionAndLeavesClosed) {
    const int port = UnusedLocalPort();
    for (int timeout : {-1, 5000}) {
        TIdTCPClient c;
        c.SetHost("127.0.0.1");
        c.SetPort(port);
        try {
            c.ConnectToHost(timeout);
            FAIL() << "connected";
        } catch (const EIdConnectException& e) {
            EXPECT_EQ(timeout, 5000);  // the polled connect
            EXPECT_EQ(e.Message(), "Socket Error # 10061\r\nConnection refused.");
        } catch (const EIdSocketError& e) {
            EXPECT_EQ(timeout, -1);  // plain blocking connect without the hook
            EXPECT_EQ(e.LastError, 10061);
        }
        EXPECT_FALSE(c.IsConnected());
    }
}

TEST(Connect, APortBeyondSixteenBitsIsRefusedNotNarrowed) {
    // 65536 + the listening port would reach it once cut to 16 bits.
    ScriptedServer srv;
    for (int port : {0, -1, 65536 + srv.port(), 65536}) {
        TIdTCPClient c;
        c.SetHost("127.0.0.1");
        c.SetPort(port);
        try {
            c.ConnectToHost();
            FAIL() << "connected to " << port;
        } catch (const EIdConnectException& e) {
            EXPECT_EQ(e.Message(), "Port " + std::to_string(port) + " is outside the range 1 to 65535");
        }
        EXPECT_FALSE(c.IsConnected());
    }
}

TEST(Connect, ThroughTheHookUsesThePolledConnect) {
    CountingPump pump;
    TIdAntiFreeze hook(&pump);
    hook.IdleTimeOut = 20;
    TIdTCPClient c;
    c.SetHost("127.0.0.1");
    c.SetPort(UnusedLocalPort());
    try {
        c.ConnectToHost();
        FAIL() << "connected";
    } catch (const EIdConnectException& e) {
        EXPECT_EQ(e.Message(), "Socket Error # 10061\r\nConnection refused.");
    }
    EXPECT_FALSE(c.IsConnected());
}

TEST(Connect, StatusesAddressesAndReconnect) {
    ScriptedServer srv;
    srv.sendLine("hi").readUntilClosed().accept().sendLine("again").readUntilClosed();
    srv.start();
    TIdTCPClient c;
    StatusLog log;
    c.OnStatus = log.handler();
    int connected = 0, disconnected = 0;
    c.OnConnected = [&](TIdComponent*) { ++connected; };
    c.OnDisconnected = [&](TIdComponent*) { ++disconnected; };
    c.SetHost("localhost");  // lower case: no lookup, no resolving status
    c.SetPort(srv.port());
    c.ConnectToHost();
    ASSERT_TRUE(c.IsConnected());
    EXPECT_EQ(c.Binding()->PeerIP, "127.0.0.1");
    EXPECT_EQ(c.Binding()->PeerPort, srv.port());
    EXPECT_EQ(c.Binding()->IP, "127.0.0.1");
    EXPECT_GT(c.Binding()->Port, 0);
    EXPECT_EQ(log.texts, (std::vector<std::string>{"Connecting to 127.0.0.1.", "Connected."}));
    EXPECT_EQ(connected, 1);
    EXPECT_EQ(c.ReadLine(), "hi");

    try {
        c.ConnectToHost();
        FAIL() << "second connect";
    } catch (const EIdAlreadyConnected& e) {
        EXPECT_STREQ(e.what(), "Already connected.");
    }
    EXPECT_TRUE(c.IsConnected());  // untouched

    log.texts.clear();
    c.Disconnect();
    EXPECT_EQ(log.texts, (std::vector<std::string>{"Disconnecting.", "Disconnected."}));
    EXPECT_EQ(disconnected, 1);
    EXPECT_EQ(c.IOHandler(), nullptr);  // the owned handler is gone
    log.texts.clear();
    c.Disconnect();  // not connected: nothing
    EXPECT_TRUE(log.texts.empty());
    EXPECT_EQ(disconnected, 1);

    c.SetHost("127.1");  // a short address form
    c.ConnectToHost();
    EXPECT_EQ(c.ReadLine(), "again");
    c.Disconnect();
    ASSERT_TRUE(srv.waitForEnd()) << srv.failure();
}

TEST(Connect, NameLookupReportsResolving) {
    const std::string name = LoopbackHostName();
    if (name.empty()) GTEST_SKIP() << "no loopback host name in /etc/hosts";
    ScriptedServer srv;
    srv.sendLine("hi");
    srv.start();
    TIdTCPClient c;
    StatusLog log;
    c.OnStatus = log.handler();
    c.SetHost(name);
    c.SetPort(srv.port());
    c.ConnectToHost();
    ASSERT_GE(log.texts.size(), 3u);
    EXPECT_EQ(log.texts[0], "Resolving hostname " + name + ".");
    EXPECT_EQ(log.texts[1].rfind("Connecting to 127.", 0), 0u);
    EXPECT_EQ(c.ReadLine(), "hi");
}

TEST(Connect, LocalBindAndPortRanges) {
    ScriptedServer srv;
    srv.readUntilClosed();
    srv.start();
    // Hold a port so that binding to it fails.
    const int busyPort = UnusedLocalPort();
    int holder = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sa.sin_port = htons(static_cast<uint16_t>(busyPort));
    ASSERT_EQ(::bind(holder, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
    ASSERT_EQ(::listen(holder, 1), 0);

    {
        TIdTCPClient c;
        c.SetHost("127.0.0.1");
        c.SetPort(srv.port());
        c.BoundIP = "127.0.0.1";
        c.BoundPort = busyPort;
        EXPECT_THROW(c.ConnectToHost(), EIdCouldNotBindSocket);
        EXPECT_FALSE(c.IsConnected());
    }
    {
        TIdTCPClient c;
        c.SetHost("127.0.0.1");
        c.SetPort(srv.port());
        c.LocalPortMin = busyPort;
        c.LocalPortMax = busyPort;
        c.BoundIP = "127.0.0.1";
        try {
            c.ConnectToHost();
            FAIL() << "bound";
        } catch (const EIdCanNotBindPortInRange& e) {
            EXPECT_EQ(e.Message(), "Can not bind in port range (" + std::to_string(busyPort) + " - " +
                                       std::to_string(busyPort) + ")");
        }
        c.LocalPortMin = 2000;
        c.LocalPortMax = 1000;
        EXPECT_THROW(c.ConnectToHost(), EIdInvalidPortRange);
    }
    {
        // The range is tried from its highest port down: the busy top port is skipped.
        const int below = UnusedLocalPort();
        (void)below;
        TIdTCPClient c;
        c.SetHost("127.0.0.1");
        c.SetPort(srv.port());
        c.BoundIP = "127.0.0.1";
        c.LocalPortMin = busyPort - 1;
        c.LocalPortMax = busyPort;
        try {
            c.ConnectToHost();
            EXPECT_EQ(c.Binding()->Port, busyPort - 1);
        } catch (const EIdCanNotBindPortInRange&) {
            // busyPort - 1 happened to be taken by something else: acceptable
        }
        c.Disconnect();
    }
    ::close(holder);
    ASSERT_TRUE(srv.waitForEnd()) << srv.failure();
}

TEST(Connect, TimesOutWhenThePeerNeverAnswers) {
    // A listener with a full accept queue makes further connects hang in the handshake.
    int lfd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(lfd, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
    ASSERT_EQ(::listen(lfd, 0), 0);
    socklen_t len = sizeof sa;
    ::getsockname(lfd, reinterpret_cast<sockaddr*>(&sa), &len);
    std::vector<int> fillers;
    for (int i = 0; i < 4; ++i) {
        int f = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        ::connect(f, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
        fillers.push_back(f);
    }
    TIdTCPClient c;
    c.SetHost("127.0.0.1");
    c.SetPort(ntohs(sa.sin_port));
    bool timedOut = false;
    try {
        c.ConnectToHost(300);
    } catch (const EIdConnectTimeout& e) {
        timedOut = true;
        EXPECT_STREQ(e.what(), "Connect timed out.");
    } catch (const EIdException&) {
    }
    for (int f : fillers) ::close(f);
    ::close(lfd);
    if (!timedOut) GTEST_SKIP() << "this system completed the handshake anyway";
    EXPECT_FALSE(c.IsConnected());
}

TEST(Connection, CloseSocketIsSilentAndResetInputClears) {
    ScriptedServer srv;
    srv.sendLine("x").readUntilClosed();
    srv.start();
    TIdTCPClient c;
    StatusLog log;
    int disconnected = 0;
    c.OnDisconnected = [&](TIdComponent*) { ++disconnected; };
    ConnectLocal(c, srv.port());
    c.OnStatus = log.handler();
    c.ReadFromSocket();
    EXPECT_FALSE(c.PendingInput.Empty());
    c.CloseSocket();
    EXPECT_TRUE(c.PeerClosed);
    EXPECT_FALSE(c.IsConnected());
    EXPECT_TRUE(log.texts.empty());
    EXPECT_EQ(disconnected, 0);
    EXPECT_EQ(c.ReadLine(), "x");  // buffered input survives a local close
    EXPECT_THROW(c.ReadLine(), EIdConnClosedGracefully);
    c.ResetInput();
    EXPECT_FALSE(c.PeerClosed);
    EXPECT_TRUE(c.PendingInput.Empty());
    ASSERT_TRUE(srv.waitForEnd()) << srv.failure();
}

TEST(Connection, ReadAllAndASCIIFilter) {
    ScriptedServer srv;
    srv.send(
           "a\xC1"
           "b")
        .pause(20)
        .send("\xFF")
        .close();
    srv.start();
    TIdTCPClient c;
    c.ASCIIFilter = true;
    ConnectLocal(c, srv.port());
    EXPECT_EQ(c.ReadAll(), "aAb\x7F");
}

TEST(Connection, ExternalHandlerLinksClearWhenDestroyed) {
    TIdTCPClient c;
    auto* h = new TIdIOHandlerSocket();
    c.SetIOHandler(h);
    EXPECT_FALSE(c.OwnsHandler());
    EXPECT_EQ(c.IOHandler(), h);
    delete h;
    EXPECT_EQ(c.IOHandler(), nullptr);
    auto* lg = new TIdLogEvent();
    c.SetIntercept(lg);
    delete lg;
    EXPECT_EQ(c.Intercept(), nullptr);
}

TEST(Connection, SendFileMissing) {
    TIdTCPClient c;
    try {
        c.SendFile("/nonexistent/orlix/file");
        FAIL() << "no exception";
    } catch (const EIdFileNotFound& e) {
        EXPECT_EQ(e.Message(), "File \"/nonexistent/orlix/file\" not found");
    }
}

// IPv6: literal addresses with or without brackets, and a name with both loopbacks, tried in turn
// within one time-out; the status names each address tried.
TEST(Connect, IPv6LiteralsAndAddressesInTurn) {
    const int listener = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in6 a{};
    a.sin6_family = AF_INET6;
    a.sin6_addr = in6addr_loopback;
    int one = 1;
    ::setsockopt(listener, IPPROTO_IPV6, IPV6_V6ONLY, &one, sizeof one);
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::listen(listener, 8) != 0) {
        if (listener >= 0) ::close(listener);
        GTEST_SKIP() << "no IPv6 loopback here";
    }
    socklen_t len = sizeof a;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
    const int port = ntohs(a.sin6_port);
    struct Case {
        std::string host;
        int timeout;
        std::vector<std::string> statuses;
    };
    const std::vector<Case> cases = {
        {"::1", -1, {"Connecting to ::1.", "Connected."}},
        {"[::1]", 5000, {"Connecting to ::1.", "Connected."}},
        // Nothing listens on the IPv4 loopback at this port: the next address is tried.
        {"localhost", 5000, {"Connecting to 127.0.0.1.", "Connecting to ::1.", "Connected."}},
        {"LocalHost", -1, {"Connecting to 127.0.0.1.", "Connecting to ::1.", "Connected."}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.host);
        TIdTCPClient client;
        StatusLog log;
        client.OnStatus = log.handler();
        client.SetHost(c.host);
        client.SetPort(port);
        client.ConnectToHost(c.timeout);
        ASSERT_TRUE(client.IsConnected());
        EXPECT_EQ(client.Binding()->PeerIP, "::1");
        EXPECT_EQ(client.Binding()->IP, "::1");
        EXPECT_EQ(client.Binding()->PeerPort, port);
        EXPECT_EQ(log.texts, c.statuses);
        client.WriteLine("x");  // the socket works
        client.Disconnect();
        const int accepted = ::accept(listener, nullptr, nullptr);
        if (accepted >= 0) ::close(accepted);
    }
    ::close(listener);
}

// The sessions kept for data connections: each offered once, newest first, then the last one
// offered again; one past its lifetime is never offered.
TEST(TlsSessionPool, EachOnceNewestFirstThenTheLastAgain) {
    TIdTlsContext pool{TIdTlsOptions{}};
    auto session = [](long age, long life) {
        SSL_SESSION* s = SSL_SESSION_new();
        SSL_SESSION_set_time(s, std::time(nullptr) - age);
        SSL_SESSION_set_timeout(s, life);
        return s;
    };
    auto take = [&pool] {
        SSL_SESSION* s = pool.TakeSession();
        if (s) SSL_SESSION_free(s);  // the pool keeps its own reference while it may offer it
        return s;
    };
    EXPECT_EQ(take(), nullptr);
    SSL_SESSION* older = session(10, 300);
    SSL_SESSION* newer = session(5, 300);
    pool.AddSession(older);
    pool.AddSession(newer);
    pool.AddSession(session(400, 300));  // expired
    EXPECT_TRUE(pool.HasFreshSession());
    EXPECT_EQ(take(), newer);
    EXPECT_EQ(take(), older);
    EXPECT_FALSE(pool.HasFreshSession());
    EXPECT_TRUE(pool.OnlySpentSession());
    EXPECT_EQ(take(), older);
    pool.AddSession(session(0, 300));
    EXPECT_FALSE(pool.OnlySpentSession());
}
