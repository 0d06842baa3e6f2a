// The socket operations a listening data connection is built from, and the scripted peer that
// connects out to it.

#include <gtest/gtest.h>

#include "tests/support/scripted_server.h"
#include "tests/transport/helpers.h"
#include "transport/tcp_connection.h"

namespace {

// A connection that takes its socket from a listener, the way a one-shot listening data
// connection does.
class AcceptedConnection : public TIdTCPConnection {
public:
    void Adopt(TIdIOHandlerSocket* h) { AdoptHandler(h); }
};

}  // namespace

TEST(SocketHandle, ListenAcceptAndTalk) {
    TIdSocketHandle listener;
    listener.AllocateSocket();
    listener.IP = "127.0.0.1";
    listener.Port = 0;
    listener.Bind();
    ASSERT_GT(listener.Port, 0);
    EXPECT_EQ(listener.IP, "127.0.0.1");
    listener.Listen(1);

    const int port = listener.Port;
    ScriptedServer peer;
    peer.sendLine("from peer").expectLine("from us").close();
    peer.startConnecting([port] { return port; });

    ASSERT_TRUE(listener.WaitReadable(5000));
    AcceptedConnection conn;
    auto* h = new TIdIOHandlerSocket();
    h->OpenHandler();
    ASSERT_TRUE(h->Binding()->Accept(listener.Handle()));
    h->HandlerAccepted();
    conn.Adopt(h);
    listener.CloseSocket();
    EXPECT_FALSE(listener.HandleAllocated());
    EXPECT_EQ(h->Binding()->PeerIP, "127.0.0.1");
    EXPECT_EQ(h->Binding()->Port, port);

    EXPECT_TRUE(conn.IsConnected());
    EXPECT_EQ(conn.ReadLine(), "from peer");
    conn.WriteLine("from us");
    TIdMemoryStream rest;
    conn.ReceiveStream(rest, -1, true);
    EXPECT_EQ(rest.DataString(), "");
    EXPECT_FALSE(conn.IsConnected());
    ASSERT_TRUE(peer.waitForEnd()) << peer.failure();
}

TEST(SocketHandle, WaitAndAcceptOnAClosedListener) {
    TIdSocketHandle listener;
    listener.AllocateSocket();
    listener.IP = "127.0.0.1";
    listener.Bind();
    listener.Listen();
    EXPECT_FALSE(listener.WaitReadable(30));  // nobody connects
    const int fd = listener.Handle();
    listener.CloseSocket();
    EXPECT_THROW(listener.WaitReadable(10), EIdConnClosedGracefully);
    TIdSocketHandle data;
    EXPECT_FALSE(data.Accept(fd));  // the listening socket is gone: no raise
    EXPECT_FALSE(data.HandleAllocated());
    listener.CloseSocket();  // closing again does nothing
}

TEST(SocketHandle, TerminatorAcrossChunksAndProbe) {
    ScriptedServer srv;
    srv.send("ab\r").pause(30).send("\nrest\r\n").pause(30).close();
    srv.start();
    TIdTCPClient c;
    StatusLog log;
    std::vector<TIdComponent*> senders;
    c.OnStatus = [&](TIdComponent* s, TIdStatus st, const std::string& t) {
        senders.push_back(s);
        log.handler()(s, st, t);
    };
    ConnectLocal(c, srv.port());
    ASSERT_EQ(senders.size(), 2u);
    EXPECT_EQ(senders[0], c.IOHandler());  // "Connecting to" comes from the I/O handler
    EXPECT_EQ(senders[1], &c);
    EXPECT_EQ(c.ReadLine("\r\n"), "ab");
    EXPECT_EQ(c.ReadLine("\r\n"), "rest");
    // Probing: a 1 ms wait that does not raise on time-out.
    int64_t r = 0;
    for (int i = 0; i < 500 && c.IsConnected(); ++i) r = c.ProbeDisconnect(false);
    EXPECT_FALSE(c.IsConnected());
    EXPECT_EQ(r, 0);
    EXPECT_EQ(log.texts.back(), "Disconnected.");
}
