// Intercepts, the log, status and work events, and the responsiveness hook.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "tests/support/scripted_server.h"
#include "tests/transport/helpers.h"
#include "transport/tcp_client.h"

namespace {

struct LogRecord {
    std::vector<std::string> received, sent, status, times;
    void attach(TIdLogEvent& log) {
        log.OnReceived = [this](TIdLogEvent*, const std::string& t, const std::string& d) {
            times.push_back(t);
            received.push_back(d);
        };
        log.OnSent = [this](TIdLogEvent*, const std::string& t, const std::string& d) {
            times.push_back(t);
            sent.push_back(d);
        };
        log.OnStatus = [this](TIdLogEvent*, const std::string& t) { status.push_back(t); };
    }
};

}  // namespace

TEST(Log, OneReportPerChunkWithLineBreaksReplaced) {
    ScriptedServer srv;
    srv.send("220-one\r\n220 two\r\n").expectLine("USER x").send("331 a\nb\rc").pause(50).send("d\r\n");
    srv.start();
    TIdTCPClient c;
    TIdLogEvent log;
    log.SetActive(true);
    log.LogTime = false;
    LogRecord rec;
    rec.attach(log);
    c.SetIntercept(&log);
    ConnectLocal(c, srv.port());
    EXPECT_EQ(rec.status, std::vector<std::string>{"Connected."});
    EXPECT_EQ(log.Connection(), &c);
    EXPECT_EQ(c.ReadReply(), 220);
    c.WriteLine("USER x");
    EXPECT_EQ(c.ReadReply(), 331);
    EXPECT_EQ(c.ReadLine(), "b\rcd");
    ASSERT_EQ(rec.received.size(), 3u);  // the reply that came in two chunks gives two reports
    EXPECT_EQ(rec.received[0], "220-one<EOL>220 two<EOL>");
    EXPECT_EQ(rec.received[1], "331 a<LF>b<CR>c");
    EXPECT_EQ(rec.received[2], "d<EOL>");
    EXPECT_EQ(rec.sent, std::vector<std::string>{"USER x<EOL>"});
    for (const auto& t : rec.times) EXPECT_EQ(t, "");
    c.Disconnect();
    EXPECT_EQ(rec.status, (std::vector<std::string>{"Connected.", "Disconnected."}));
    EXPECT_EQ(log.Connection(), nullptr);
    ASSERT_TRUE(srv.waitForEnd()) << srv.failure();
}

TEST(Log, TimeTextRawDataAndInactive) {
    ScriptedServer srv;
    srv.send("a\r\n").expectLine("B").send("c\r\n").readUntilClosed();
    srv.start();
    TIdTCPClient c;
    TIdLogEvent log;
    log.SetActive(true);
    log.ReplaceCRLF = false;
    log.FormatTime = [] { return std::string("T"); };
    LogRecord rec;
    rec.attach(log);
    int interceptEvents = 0;
    log.OnReceive = [&](TIdConnectionIntercept*, TIdStream&) { ++interceptEvents; };
    c.SetIntercept(&log);
    ConnectLocal(c, srv.port());
    EXPECT_EQ(c.ReadLine(), "a");
    ASSERT_EQ(rec.received.size(), 1u);
    EXPECT_EQ(rec.received[0], "a\r\n");
    EXPECT_EQ(rec.times[0], "T");
    EXPECT_EQ(interceptEvents, 1);

    log.SetActive(false);  // no reports, no base steps either
    c.WriteLine("B");
    EXPECT_EQ(c.ReadLine(), "c");
    EXPECT_EQ(rec.received.size(), 1u);
    EXPECT_TRUE(rec.sent.empty());
    EXPECT_EQ(interceptEvents, 1);
    c.Disconnect();
    EXPECT_EQ(rec.status, std::vector<std::string>{"Connected."});
    ASSERT_TRUE(srv.waitForEnd()) << srv.failure();
}

TEST(Log, ForgetsAConnectionThatIsDestroyedWhileAttached) {
    ScriptedServer srv;
    srv.sendLine("x").readUntilClosed();
    srv.start();
    TIdLogEvent log;
    log.SetActive(true);
    {
        TIdTCPClient c;
        c.SetIntercept(&log);
        ConnectLocal(c, srv.port());
        EXPECT_EQ(log.Connection(), &c);
        c.SetIntercept(nullptr);  // unlinked from the connection's side only
        EXPECT_EQ(log.Connection(), &c);
    }
    EXPECT_EQ(log.Connection(), nullptr);
    ASSERT_TRUE(srv.waitForEnd()) << srv.failure();
}

TEST(Log, ActiveSetWhileLoadingAppliesAtTheEnd) {
    TIdLogEvent log;
    log.BeginLoading();
    log.SetActive(true);
    EXPECT_FALSE(log.Active());
    log.EndLoading();
    EXPECT_TRUE(log.Active());
    EXPECT_EQ(TIdLogBase::ReplaceLineBreaks("a\r\n\r\rb\n\r"), "a<EOL><CR><CR>b<LF><CR>");
}

// A test intercept that rewrites the bytes it sees and records the order of calls.
class TaggingIntercept : public TIdConnectionIntercept {
public:
    TaggingIntercept(std::string tag, std::vector<std::string>& order) : tag_(std::move(tag)), order_(order) {
        OnReceive = [this](TIdConnectionIntercept*, TIdStream& s) { rewrite("recv", s); };
        OnSend = [this](TIdConnectionIntercept*, TIdStream& s) { rewrite("send", s); };
        OnConnect = [this](TIdConnectionIntercept*) { order_.push_back(tag_ + ":connect"); };
        OnDisconnect = [this](TIdConnectionIntercept*) { order_.push_back(tag_ + ":disconnect"); };
    }

private:
    void rewrite(const std::string& what, TIdStream& s) {
        order_.push_back(tag_ + ":" + what);
        auto& m = dynamic_cast<TIdMemoryStream&>(s);
        std::string d = m.DataString();
        if (what == "recv") {
            // Upper-case the data: the connection must use the changed bytes.
            for (auto& ch : d)
                if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 32);
        } else {
            d = "[" + tag_ + "]" + d;
        }
        m.Clear();
        m.WriteString(d);
    }
    std::string tag_;
    std::vector<std::string>& order_;
};

TEST(Intercept, NestedOrderAndRewrittenBytes) {
    ScriptedServer srv;
    srv.send("hello\r\n").readBytes(std::string("[inner][outer]X\r\n").size()).readUntilClosed();
    srv.start();
    std::vector<std::string> order;
    TaggingIntercept outer("outer", order), inner("inner", order);
    outer.SetIntercept(&inner);
    TIdTCPClient c;
    c.SetIntercept(&outer);
    ConnectLocal(c, srv.port());
    EXPECT_EQ(c.ReadLine(), "HELLO");
    c.WriteLine("X");
    c.Disconnect();
    ASSERT_TRUE(srv.waitForEnd()) << srv.failure();
    EXPECT_EQ(srv.received(), "[inner][outer]X\r\n");
    EXPECT_EQ(order, (std::vector<std::string>{"outer:connect", "inner:connect", "inner:recv", "outer:recv",
                                               "outer:send", "inner:send", "inner:disconnect", "outer:disconnect"}));
    // Destroying the nested intercept clears the link.
    {
        TIdConnectionIntercept tmp;
        outer.SetIntercept(&tmp);
    }
    EXPECT_EQ(outer.Intercept(), nullptr);
}

TEST(Work, NestedBeginsAndCountsOutsideAPair) {
    TIdTCPClient c;
    std::vector<std::string> ev;
    c.OnWorkBegin = [&](TIdComponent*, TWorkMode m, int64_t max) {
        ev.push_back("begin " + std::to_string(m) + " " + std::to_string(max));
    };
    c.OnWork = [&](TIdComponent*, TWorkMode m, int64_t n) {
        ev.push_back("work " + std::to_string(m) + " " + std::to_string(n));
    };
    c.OnWorkEnd = [&](TIdComponent*, TWorkMode m) { ev.push_back("end " + std::to_string(m)); };
    c.AddWork(wkRead, 5);  // outside a pair: nothing
    EXPECT_EQ(c.WorkInfo(wkRead).Count, 0);
    const int64_t big = int64_t{3} << 30;  // over 2 GiB, no wrap
    c.StartWork(wkRead, big);
    c.StartWork(wkRead, 10);  // nested: only the level
    c.AddWork(wkRead, big - 1);
    c.AddWork(wkRead, 1);
    c.StartWork(wkWrite, 7);
    c.FinishWork(wkWrite);
    c.FinishWork(wkRead);
    c.FinishWork(wkRead);
    c.FinishWork(wkRead);  // unmatched: ignored
    EXPECT_EQ(ev, (std::vector<std::string>{"begin 0 3221225472", "work 0 3221225471", "work 0 3221225472", "begin 1 7",
                                            "end 1", "end 0"}));
    EXPECT_EQ(c.WorkInfo(wkRead).Level, 0);
}

TEST(Status, TemplatesAndNoHandler) {
    EXPECT_EQ(IdStatusText(stResolving, "h"), "Resolving hostname h.");
    EXPECT_EQ(IdStatusText(stConnecting, "1.2.3.4"), "Connecting to 1.2.3.4.");
    EXPECT_EQ(IdStatusText(stConnected, "h"), "Connected.");
    EXPECT_EQ(IdStatusText(stDisconnecting), "Disconnecting.");
    EXPECT_EQ(IdStatusText(stDisconnected), "Disconnected.");
    EXPECT_EQ(IdStatusText(stStatusText, "free"), "free");
    EXPECT_EQ(IdStatusText(stFtpAborted), "");
    TIdTCPClient c;
    EXPECT_NO_THROW(c.ReportStatus(stStatusText, "x"));
    StatusLog log;
    c.OnStatus = log.handler();
    c.ReportStatus(stFtpReady, "Ready");
    EXPECT_EQ(log.texts, std::vector<std::string>{"Ready"});
    EXPECT_EQ(log.statuses, std::vector<TIdStatus>{stFtpReady});
}

TEST(AntiFreeze, PumpsDuringABlockingReadEverySlice) {
    ScriptedServer srv;
    srv.pause(400).sendLine("late");
    srv.start();
    TIdTCPClient c;
    ConnectLocal(c, srv.port());
    CountingPump pump;
    TIdAntiFreeze hook(&pump);
    hook.IdleTimeOut = 20;
    hook.OnlyWhenIdle = false;
    ASSERT_TRUE(TIdAntiFreezeBase::InUse());
    EXPECT_EQ(c.ReadLine(), "late");
    EXPECT_GE(pump.all.load(), 8);  // 400 ms in 20 ms slices: about 20 calls
    EXPECT_EQ(pump.one.load(), 0);
    ASSERT_TRUE(srv.waitForEnd()) << srv.failure();
}

TEST(AntiFreeze, NothingPumpedWithoutARegisteredHookOrOffTheMainThread) {
    CountingPump pump;
    {
        TIdAntiFreeze hook(&pump);
        EXPECT_EQ(TIdAntiFreezeBase::Registered(), &hook);
    }
    EXPECT_EQ(TIdAntiFreezeBase::Registered(), nullptr);
    EXPECT_FALSE(TIdAntiFreezeBase::InUse());
    {
        ScriptedServer srv;
        srv.pause(100).sendLine("x");
        srv.start();
        TIdTCPClient c;
        ConnectLocal(c, srv.port());
        EXPECT_EQ(c.ReadLine(), "x");
    }
    EXPECT_EQ(pump.all.load(), 0);

    // A registered hook is not in use on another thread, nor when inactive.
    TIdAntiFreeze hook(&pump);
    bool otherThread = true;
    std::thread([&] { otherThread = TIdAntiFreezeBase::InUse(); }).join();
    EXPECT_FALSE(otherThread);
    hook.Active = false;
    EXPECT_FALSE(TIdAntiFreezeBase::InUse());
    TIdAntiFreezeBase::RunHook(true, true);
    EXPECT_EQ(pump.all.load(), 0);
    hook.Active = true;
    hook.ApplicationHasPriority = false;
    TIdAntiFreezeBase::RunHook(true);
    EXPECT_EQ(pump.one.load(), 1);  // one event only
    EXPECT_EQ(pump.all.load(), 0);
}

TEST(AntiFreeze, OnlyWhenIdleSkipsSendsButNotTimedOutWaits) {
    ScriptedServer srv;
    srv.readBytes(3 * 1000).pause(250).sendLine("x");
    srv.start();
    TIdTCPClient c;
    ConnectLocal(c, srv.port());
    CountingPump pump;
    TIdAntiFreeze hook(&pump);
    hook.IdleTimeOut = 20;
    hook.OnlyWhenIdle = true;
    c.SendBufferSize = 1000;
    TIdMemoryStream m(std::string(3000, 's'));
    c.SendStream(m);
    EXPECT_EQ(pump.all.load(), 0);  // sends are not idle
    EXPECT_EQ(c.ReadLine(), "x");
    EXPECT_GE(pump.all.load(), 3);  // timed-out slices are
    hook.OnlyWhenIdle = false;
    ASSERT_TRUE(srv.waitForEnd()) << srv.failure();
}

TEST(AntiFreeze, UserActionInsideTheWaitEndsTheRead) {
    ScriptedServer srv;
    srv.pause(600);
    srv.start();
    TIdTCPClient c;
    ConnectLocal(c, srv.port());
    CountingPump pump;
    TIdAntiFreeze hook(&pump);
    hook.IdleTimeOut = 20;
    hook.OnlyWhenIdle = false;
    // The third slice runs a "Disconnect" from the user interface, which frees the handler.
    pump.onCall = [&](int n) {
        if (n == 3) c.Disconnect();
    };
    EXPECT_THROW(c.ReadLine(), EIdException);
    EXPECT_FALSE(c.IsConnected());
    EXPECT_EQ(c.IOHandler(), nullptr);
    pump.onCall = nullptr;
}

TEST(AntiFreeze, PumpsWhileConnecting) {
    ScriptedServer srv;
    srv.sendLine("hi");
    srv.start();
    CountingPump pump;
    TIdAntiFreeze hook(&pump);
    hook.IdleTimeOut = 20;
    hook.OnlyWhenIdle = false;
    TIdTCPClient c;
    ConnectLocal(c, srv.port());  // the polled connect with the 120 s default
    EXPECT_TRUE(c.IsConnected());
    EXPECT_EQ(c.ReadLine(), "hi");
}
