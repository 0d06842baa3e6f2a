// The one-shot listener of active-mode transfers.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <thread>

#include "ftp/simple_server.h"
#include "transport/anti_freeze.h"
#include "transport/id_stack.h"

namespace {

int ConnectTo(int port) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

TEST(SimpleServer, AcceptsOneConnectionAndBecomesAnOrdinaryConnection) {
    TIdSimpleServer srv;
    srv.BoundIP = "127.0.0.1";
    srv.StartListening();
    EXPECT_TRUE(srv.IsListening());
    const int port = srv.ListenSocket().Port;
    ASSERT_GT(port, 0);
    EXPECT_EQ(srv.ListenSocket().IP, "127.0.0.1");

    const int fd = ConnectTo(port);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(srv.WaitForConnection());
    EXPECT_EQ(srv.ListenSocket().Handle(), Id_INVALID_SOCKET);  // the listener is gone
    EXPECT_TRUE(srv.IsConnected());
    ASSERT_NE(srv.Binding(), nullptr);
    EXPECT_EQ(srv.Binding()->PeerIP, "127.0.0.1");

    const char hello[] = "hello\r\n";
    ASSERT_EQ(::send(fd, hello, sizeof hello - 1, 0), ssize_t(sizeof hello - 1));
    EXPECT_EQ(srv.ReadLine(), "hello");
    srv.WriteLine("back");
    char buf[16] = {};
    EXPECT_EQ(::recv(fd, buf, 6, MSG_WAITALL), 6);
    EXPECT_EQ(std::string(buf, 6), "back\r\n");
    ::close(fd);

    srv.StopListening();
    EXPECT_FALSE(srv.IsListening());
    EXPECT_EQ(srv.IOHandler(), nullptr);
}

TEST(SimpleServer, AbortWaitFromTheResponsivenessHookEndsTheWait) {
    struct Pump : TIdMessagePump {
        TIdSimpleServer* srv = nullptr;
        int calls = 0;
        void ProcessAllPendingEvents() override {
            if (++calls == 3) srv->AbortWait();
        }
        bool ProcessOnePendingEvent() override { return false; }
    } pump;
    TIdAntiFreeze hook(&pump);
    hook.IdleTimeOut = 20;
    hook.OnlyWhenIdle = false;

    TIdSimpleServer srv;
    pump.srv = &srv;
    srv.BoundIP = "127.0.0.1";
    srv.AcceptSlice = 100;
    EXPECT_FALSE(srv.WaitForConnection());  // starts listening itself
    EXPECT_FALSE(srv.TimedOut());
    EXPECT_GE(pump.calls, 3);
    EXPECT_EQ(srv.ListenSocket().Handle(), Id_INVALID_SOCKET);
    EXPECT_FALSE(srv.IsConnected());
}

TEST(SimpleServer, AcceptTimeoutEndsTheWaitWithoutConnection) {
    TIdSimpleServer srv;
    srv.BoundIP = "127.0.0.1";
    srv.AcceptSlice = 50;
    srv.AcceptTimeout = 120;
    EXPECT_FALSE(srv.WaitForConnection());
    EXPECT_TRUE(srv.TimedOut());
    EXPECT_FALSE(srv.IsConnected());
}

TEST(SimpleServer, StopRequestedBeforeTheWaitReturnsAtOnce) {
    TIdSimpleServer srv;
    srv.BoundIP = "127.0.0.1";
    srv.StartListening();
    srv.AbortWait();
    const int fd = ConnectTo(srv.ListenSocket().Port);  // pending, but never taken
    EXPECT_FALSE(srv.WaitForConnection());
    if (fd >= 0) ::close(fd);
}

TEST(SimpleServer, BindToAPortInUseFailsAndLeavesNoListener) {
    TIdSimpleServer first;
    first.BoundIP = "127.0.0.1";
    first.StartListening();
    TIdSimpleServer second;
    second.BoundIP = "127.0.0.1";
    second.BoundPort = first.ListenSocket().Port;
    EXPECT_THROW(second.StartListening(), EIdException);
    EXPECT_FALSE(second.IsListening());
    EXPECT_EQ(second.IOHandler(), nullptr);
    EXPECT_FALSE(second.ListenSocket().HandleAllocated());
}

}  // namespace
