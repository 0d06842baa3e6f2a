// Numbered replies: parsing, the multi-line rule, checking and command exchange.

#include <gtest/gtest.h>

#include <random>

#include "tests/support/scripted_server.h"
#include "tests/transport/helpers.h"
#include "transport/tcp_client.h"

TEST(RFCReply, FieldCoupling) {
    TIdRFCReply r;
    r.SetNumericCode(220);
    EXPECT_EQ(r.TextCode(), "220");
    r.SetTextCode("331");
    EXPECT_EQ(r.NumericCode(), 331);
    r.SetTextCode("2x0");
    EXPECT_EQ(r.NumericCode(), 0);
    r.SetNumericCode(0);  // 0 leaves the text code alone
    EXPECT_EQ(r.TextCode(), "2x0");
    r.SetTextCode("");  // an empty text leaves the number alone
    r.SetNumericCode(5);
    r.SetTextCode("");
    EXPECT_EQ(r.NumericCode(), 5);
    r.Text = {"first", "second"};
    r.SetTextCode("250");
    EXPECT_EQ(r.DisplayName(), "250 first");
    EXPECT_EQ(r.TextWithCRLF(), "first\r\nsecond\r\n");
    TIdRFCReply copy;
    copy.Assign(r);
    EXPECT_EQ(copy.NumericCode(), 250);
    EXPECT_EQ(copy.Text, r.Text);
    r.Clear();
    EXPECT_EQ(r.NumericCode(), 0);
    EXPECT_EQ(r.TextCode(), "");
    EXPECT_TRUE(r.Text.empty());
    EXPECT_EQ(r.DisplayName(), "");
}

TEST(RFCReply, ParseLines) {
    TIdRFCReply r;
    r.ParseLines({"230-Welcome", "hello there", "230 Logged in."});
    EXPECT_EQ(r.NumericCode(), 230);
    EXPECT_EQ(r.TextCode(), "230");
    EXPECT_EQ(r.Text, (std::vector<std::string>{"Welcome", "o there", "Logged in."}));
    r.ParseLines({"abc text"});
    EXPECT_EQ(r.NumericCode(), 0);
    EXPECT_EQ(r.TextCode(), "abc");
    r.ParseLines({"250"});
    EXPECT_EQ(r.NumericCode(), 250);
    EXPECT_EQ(r.Text, std::vector<std::string>{""});
}

namespace {

struct ReplyCase {
    const char* name;
    std::string wire;
    int code;
    std::vector<std::string> text;
    std::string nextLine;  // the line that must still be unread afterwards
};

}  // namespace

TEST(ReadReply, MultiLineTable) {
    const std::vector<ReplyCase> cases = {
        {"single", "220 Service ready\r\n", 220, {"Service ready"}, "NEXT"},
        {"continuation trimmed",
         "230-Welcome\r\n  hello there\r\n230 Logged in.\r\n",
         230,
         {"Welcome", "o there", "Logged in."},
         "NEXT"},
        {"blank lines skipped",
         "\r\n   \r\n211-Status\r\n\r\n line two\r\n\r\n211 End\r\n",
         211,
         {"Status", " two", "End"},
         "NEXT"},
        {"short end line", "250-First\r\n250\r\n", 250, {"First", ""}, "NEXT"},
        // Continuation lines begin with a blank and may be short: only "230 " at the start ends it.
        {"short and indented lines inside",
         "230-Welcome\r\n x\r\n 230 not the end\r\n ab\r\n230 Done\r\n",
         230,
         {"Welcome", "", "not the end", "", "Done"},
         "NEXT"},
        {"other code inside",
         "226-Data\r\n150 not the end\r\n226 Done\r\n",
         226,
         {"Data", "not the end", "Done"},
         "NEXT"},
        {"dash needs the same code", "200-a\r\n200-b\r\n200 c\r\n", 200, {"a", "b", "c"}, "NEXT"},
        {"lf only", "221 Bye\n", 221, {"Bye"}, "NEXT"},
        {"case-insensitive marker", "ab1-x\r\nAB1 y\r\n", 0, {"x", "y"}, "NEXT"},
        {"no code", "hello\r\n", 0, {"o"}, "NEXT"},
    };
    for (const auto& rc : cases) {
        SCOPED_TRACE(rc.name);
        ScriptedServer srv;
        srv.send(rc.wire + "NEXT\r\n");
        srv.start();
        TIdTCPClient c;
        ConnectLocal(c, srv.port());
        EXPECT_EQ(c.ReadReply(), static_cast<int16_t>(rc.code));
        EXPECT_EQ(c.LastReply.NumericCode(), rc.code);
        EXPECT_EQ(c.LastReply.Text, rc.text);
        EXPECT_EQ(c.ReadLine(), rc.nextLine);
    }
}

TEST(ReadReply, SplitOverSeveralChunks) {
    ScriptedServer srv;
    srv.send("22").pause(20).send("0-first li").pause(20).send("ne\r\n220").pause(20).send(" last\r\n");
    srv.start();
    TIdTCPClient c;
    ConnectLocal(c, srv.port());
    EXPECT_EQ(c.ReadReply({220}), 220);
    EXPECT_EQ(c.LastReply.Text, (std::vector<std::string>{"first line", "last"}));
}

TEST(ReadReply, CheckRaisesAndKeepsTheReply) {
    ScriptedServer srv;
    srv.sendLine("530-Not logged in.").sendLine("530 Really.").sendLine("200 fine");
    srv.start();
    TIdTCPClient c;
    ConnectLocal(c, srv.port());
    try {
        c.ReadReply({230, 331});
        FAIL() << "no exception";
    } catch (const EIdProtocolReplyError& e) {
        EXPECT_EQ(e.ReplyCode, 530);
        EXPECT_STREQ(e.what(), "Not logged in.\r\nReally.\r\n");
    }
    EXPECT_EQ(c.LastReply.NumericCode(), 530);
    EXPECT_TRUE(c.IsConnected());  // stays open
    EXPECT_EQ(c.ReadReply({100, 200}), 200);
}

TEST(ReadReply, IncompleteReplyKeepsThePreviousOne) {
    ScriptedServer srv;
    srv.sendLine("200 ok").sendLine("250-part").close();
    srv.start();
    TIdTCPClient c;
    ConnectLocal(c, srv.port());
    c.ReadReply();
    EXPECT_THROW(c.ReadReply(), EIdConnClosedGracefully);
    EXPECT_EQ(c.LastReply.NumericCode(), 200);
}

TEST(CheckReply, ComparesSixteenBitValues) {
    TIdTCPClient c;
    EXPECT_EQ(c.CheckReply(500, {}), 500);
    EXPECT_EQ(c.CheckReply(static_cast<int16_t>(65536 + 200), {200}), 200);
    EXPECT_EQ(c.CheckReply(226, {150, 226, 250}), 226);
    c.LastReply.ParseLines({"550 No such file."});
    try {
        c.CheckReply(550, {250});
        FAIL();
    } catch (const EIdProtocolReplyError& e) {
        EXPECT_EQ(e.ReplyCode, 550);
        EXPECT_STREQ(e.what(), "No such file.\r\n");
    }
}

class ECustomReplyError : public EIdException {
public:
    using EIdException::EIdException;
};

TEST(RaiseReplyError, BothForms) {
    TIdTCPClient c;
    c.LastReply.ParseLines({"421-Service", "421 closing"});
    try {
        c.RaiseReplyError();
    } catch (const EIdProtocolReplyError& e) {
        EXPECT_EQ(e.ReplyCode, 421);
        EXPECT_STREQ(e.what(), "Service\r\nclosing\r\n");
    }
    try {
        c.RaiseReplyErrorAs<ECustomReplyError>();
    } catch (const ECustomReplyError& e) {
        EXPECT_STREQ(e.what(), "Service\r\nclosing\r\n");
    }
    EXPECT_THROW(c.RaiseReplyError(&IdRaise<EIdConnectException>), EIdConnectException);
}

TEST(SendCommand, AnyCodeAndSingleCode) {
    ScriptedServer srv;
    srv.expectLine("SYST").sendLine("215 UNIX Type: L8");
    srv.expectLine("TYPE I").sendLine("500 Unknown");
    srv.expectLine("PWD").sendLine("257 \"/\"");
    srv.start();
    TIdTCPClient c;
    ConnectLocal(c, srv.port());
    EXPECT_EQ(c.SendCommand("SYST"), 215);  // -1: any
    try {
        c.SendCommand("TYPE I", 200);
        FAIL();
    } catch (const EIdProtocolReplyError& e) {
        EXPECT_EQ(e.ReplyCode, 500);
    }
    EXPECT_EQ(c.LastReply.NumericCode(), 500);
    EXPECT_EQ(c.SendCommand("PWD", std::vector<int16_t>{257}), 257);
    EXPECT_EQ(c.LastReply.Text, std::vector<std::string>{"\"/\""});
    ASSERT_TRUE(srv.waitForEnd()) << srv.failure();
}

// Arbitrary bytes into the reply reader: it may raise transport exceptions, nothing else.
TEST(ReadReply, RandomBytesNeverCrash) {
    std::mt19937 rng(20261208);
    const char alphabet[] =
        "0123456789- \r\n\t\x01\xFF"
        "abcXYZ";
    std::string wire;
    for (int i = 0; i < 60000; ++i) {
        if (rng() % 8 == 0)
            wire += alphabet[rng() % (sizeof alphabet - 1)];
        else if (rng() % 3 == 0)
            wire += static_cast<char>(rng() & 0xFF);
        else
            wire += "0123456789-"[rng() % 11];
        if (rng() % 40 == 0) wire += "\r\n";
    }
    wire += std::string(20000, '7');  // one over-long line at the end
    ScriptedServer srv;
    srv.send(wire).close();
    srv.start();
    TIdTCPClient c;
    c.RecvBufferSize = 997;
    ConnectLocal(c, srv.port());
    int replies = 0;
    bool ended = false;
    for (int i = 0; i < 100000 && !ended; ++i) {
        try {
            c.ReadReply();
            ++replies;
            EXPECT_LE(c.LastReply.TextCode().size(), 4u);
        } catch (const EIdReadLnMaxLineLengthExceeded&) {
            ended = true;
        } catch (const EIdConnClosedGracefully&) {
            ended = true;
        }
    }
    EXPECT_TRUE(ended);
    EXPECT_GT(replies, 0);
}
