// Buffers, streams, exception texts and the socket layer's address handling.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <unistd.h>

#include "transport/buffers.h"
#include "transport/id_exception.h"
#include "transport/id_stack.h"
#include "transport/stream.h"

TEST(ManagedBuffer, ConsumesLazilyAndCompactsAt32768) {
    TIdManagedBuffer b;
    int64_t reported = 0;
    int reports = 0;
    b.OnBytesRemoved = [&](int64_t n) {
        reported += n;
        ++reports;
    };
    std::string data(40000, 'x');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>('a' + i % 26);
    b.Append(data);

    EXPECT_EQ(b.Extract(10000), data.substr(0, 10000));
    EXPECT_EQ(b.ConsumedAtFront(), 10000);  // nothing moved yet
    EXPECT_EQ(b.Size(), 30000);
    b.Remove(20000);
    EXPECT_EQ(b.ConsumedAtFront(), 30000);
    std::string piece(2768, '\0');
    b.ExtractTo(piece.data(), 2768);  // reaches 32768 consumed
    EXPECT_EQ(piece, data.substr(30000, 2768));
    EXPECT_EQ(b.ConsumedAtFront(), 0);
    EXPECT_EQ(b.Size(), 40000 - 32768);
    EXPECT_EQ(b.AsString(), data.substr(32768));
    EXPECT_EQ(b.At(0), data[32768]);
    EXPECT_EQ(reported, 32768);
    EXPECT_EQ(reports, 3);

    // Finding keeps working on the unconsumed part.
    EXPECT_EQ(b.Find(data.substr(32768, 3), 1), 26);  // the pattern repeats every 26 bytes
    EXPECT_EQ(b.Find("zzz"), -1);

    // Consuming everything empties it; Clear reports nothing.
    b.Remove(b.Size());
    EXPECT_EQ(b.Size(), 0);
    EXPECT_EQ(b.ConsumedAtFront(), 0);
    b.Append("abc");
    b.Clear();
    EXPECT_EQ(reports, 4);
    EXPECT_TRUE(b.Empty());
}

TEST(ManagedBuffer, AskingForTooMuchRaisesAndKeepsTheBytes) {
    TIdManagedBuffer b;
    b.Append("abc");
    b.Remove(1);
    try {
        b.Extract(3);
        FAIL() << "no exception";
    } catch (const EIdNotEnoughDataInBuffer& e) {
        EXPECT_STREQ(e.what(), "Not enough data in buffer.");
    }
    EXPECT_EQ(b.AsString(), "bc");
    TIdSimpleBuffer s;
    s.Append("xy");
    EXPECT_THROW(s.Remove(3), EIdTCPConnectionError);
    EXPECT_EQ(s.Extract(1), "x");
    EXPECT_EQ(s.AsString(), "y");
}

TEST(MemoryStream, ReadWriteSeekAndSize) {
    TIdMemoryStream m;
    m.WriteString("hello world");
    EXPECT_EQ(m.Position(), 11);
    m.SetPosition(6);
    char buf[16] = {};
    EXPECT_EQ(m.Read(buf, 16), 5);
    EXPECT_EQ(std::string(buf, 5), "world");
    EXPECT_EQ(m.Read(buf, 16), 0);
    m.SetSize(5);
    EXPECT_EQ(m.Position(), 5);
    EXPECT_EQ(m.DataString(), "hello");
    m.Seek(-2, TIdSeekOrigin::soEnd);
    m.WriteString("p!!");
    EXPECT_EQ(m.DataString(), "help!!");
    EXPECT_THROW(m.Seek(-1, TIdSeekOrigin::soBeginning), EIdStreamError);
    // Writing past the end fills the gap with zero bytes.
    m.SetPosition(8);
    m.WriteString("x");
    EXPECT_EQ(m.DataString(), std::string("help!!\0\0x", 9));
}

class FileStreamTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/orlix-stream-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
    }
    void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }
    std::string dir_;
};

TEST_F(FileStreamTest, ModesCreateTruncateReadAndAppend) {
    const std::string path = dir_ + "/f.bin";
    EXPECT_THROW(TIdFileStream(path, TIdFileMode::fmOpenRead), EIdStreamError);
    EXPECT_THROW(TIdFileStream(path, TIdFileMode::fmOpenReadWrite), EIdStreamError);
    {
        TIdFileStream f(path, TIdFileMode::fmCreate);
        f.WriteString("0123456789");
        EXPECT_EQ(f.Size(), 10);
    }
    {
        TIdFileStream f(path, TIdFileMode::fmOpenAppend);
        EXPECT_EQ(f.Position(), 10);
        f.WriteString("ab");
    }
    {
        TIdFileStream f(path, TIdFileMode::fmOpenReadWrite);
        EXPECT_EQ(f.Position(), 0);
        f.WriteString("X");
        f.SetSize(6);
        EXPECT_EQ(f.Size(), 6);
    }
    {
        TIdFileStream f(path, TIdFileMode::fmOpenRead);
        std::string s(6, '\0');
        f.ReadBuffer(s.data(), 6);
        EXPECT_EQ(s, "X12345");
        char c;
        EXPECT_THROW(f.ReadBuffer(&c, 1), EIdStreamError);
        EXPECT_THROW(f.WriteString("no"), EIdStreamError);  // opened read-only
    }
    {
        TIdFileStream f(path, TIdFileMode::fmCreate);  // truncates
        EXPECT_EQ(f.Size(), 0);
    }
}

TEST_F(FileStreamTest, OffsetsBeyondFourGiB) {
    const std::string path = dir_ + "/big.bin";
    const int64_t big = (int64_t{5} << 30) + 7;  // sparse: costs no disk space
    TIdFileStream f(path, TIdFileMode::fmCreate);
    f.SetSize(big);
    EXPECT_EQ(f.Size(), big);
    f.Seek(-3, TIdSeekOrigin::soEnd);
    EXPECT_EQ(f.Position(), big - 3);
    f.WriteString("end");
    f.SetPosition(big - 3);
    std::string s(3, '\0');
    f.ReadBuffer(s.data(), 3);
    EXPECT_EQ(s, "end");
    EXPECT_EQ(f.Size(), big);
}

TEST(Exceptions, MessagesAndHierarchy) {
    EXPECT_EQ(EIdSocketError(10061).Message(), "Socket Error # 10061\r\nConnection refused.");
    EXPECT_EQ(EIdSocketError(10035).Message(), "Socket Error # 10035\r\nOperation would block. ");
    EXPECT_EQ(EIdSocketError(11001).Message(), "Socket Error # 11001\r\nHost not found.");
    EXPECT_EQ(EIdSocketError(12345).Message(), "Socket Error # 12345\r\n");
    EXPECT_EQ(EIdSocketError(10066).LastError, 10066);
    EXPECT_EQ(EIdCanNotBindPortInRange(5, 9).Message(), "Can not bind in port range (5 - 9)");
    EXPECT_EQ(EIdInvalidPortRange(9, 5).Message(), "Invalid Port Range (9 - 5)");
    EXPECT_EQ(EIdFileNotFound::ForPath("/x/y").Message(), "File \"/x/y\" not found");
    EXPECT_EQ(EIdCouldNotBindSocket().Message(), "Could not bind socket. Address and port are already in use.");

    // The families callers catch by.
    EXPECT_THROW(throw EIdConnClosedGracefully(), EIdSilentException);
    EXPECT_THROW(throw EIdNotConnected(), EIdTCPConnectionError);
    EXPECT_THROW(throw EIdNoDataToRead(), EIdTCPConnectionError);
    EXPECT_THROW(throw EIdCouldNotBindSocket(), EIdSocketHandleError);
    EXPECT_THROW(throw EIdProtocolReplyError(500, "x\r\n"), EIdException);
    EXPECT_THROW(throw EIdReadLnMaxLineLengthExceeded(), EIdException);
}

TEST(Stack, ErrnoMapping) {
    EXPECT_EQ(TIdStack::TranslateErrno(ECONNREFUSED), 10061);
    EXPECT_EQ(TIdStack::TranslateErrno(EPIPE), 10058);
    EXPECT_EQ(TIdStack::TranslateErrno(ESHUTDOWN), 10058);
    EXPECT_EQ(TIdStack::TranslateErrno(EWOULDBLOCK), 10035);
    EXPECT_EQ(TIdStack::TranslateErrno(ECONNRESET), 10054);
    EXPECT_EQ(TIdStack::TranslateErrno(ENOTEMPTY), 10066);
    EXPECT_EQ(TIdStack::TranslateErrno(EADDRINUSE), 10048);
}

TEST(Stack, IPv4TextForms) {
    uint32_t a = 0;
    EXPECT_TRUE(TIdStack::ParseIPv4("127.0.0.1", a));
    EXPECT_EQ(a, 0x7F000001u);
    EXPECT_TRUE(TIdStack::ParseIPv4("127.0.258", a));  // three numbers, last up to 65535
    EXPECT_EQ(a, 0x7F000102u);
    EXPECT_TRUE(TIdStack::ParseIPv4("127.1", a));  // two numbers, last up to 16777215
    EXPECT_EQ(a, 0x7F000001u);
    EXPECT_TRUE(TIdStack::ParseIPv4("2130706433", a));  // one number
    EXPECT_EQ(a, 0x7F000001u);
    EXPECT_TRUE(TIdStack::IsIP("4294967295"));
    EXPECT_TRUE(TIdStack::IsIP("1.2.65535"));
    EXPECT_TRUE(TIdStack::IsIP("1.16777215"));

    EXPECT_FALSE(TIdStack::IsIP("4294967296"));
    EXPECT_FALSE(TIdStack::IsIP("1.2.65536"));
    EXPECT_FALSE(TIdStack::IsIP("1.16777216"));
    EXPECT_FALSE(TIdStack::IsIP("256.0.0.1"));
    EXPECT_FALSE(TIdStack::IsIP("1.2.3.4.5"));
    EXPECT_FALSE(TIdStack::IsIP("1..3.4"));
    EXPECT_FALSE(TIdStack::IsIP("1.2.3."));
    EXPECT_FALSE(TIdStack::IsIP(""));
    EXPECT_FALSE(TIdStack::IsIP("localhost"));
    EXPECT_FALSE(TIdStack::IsIP("0x7f.0.0.1"));
    EXPECT_FALSE(TIdStack::IsIP("-1.0.0.1"));
}

TEST(Stack, ResolvesLocalhostWithoutLookupAndKeepsAddresses) {
    EXPECT_EQ(GStack().ResolveHost("LocalHost"), "127.0.0.1");
    EXPECT_EQ(GStack().ResolveHost("LOCALHOST"), "127.0.0.1");
    EXPECT_EQ(GStack().ResolveHost("127.1"), "127.1");
    EXPECT_EQ(TIdStack::NToHL(TIdStack::HToNL(0x01020304u)), 0x01020304u);
}
