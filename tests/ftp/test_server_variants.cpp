// The server variants the network tests rely on really behave as asked; a variant that silently
// fell back to the default server would make those tests pass for the wrong reason.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "tests/support/ftp_servers.h"

namespace {

// A bare control connection: sends a line and returns the complete reply (all its lines).
class RawControl {
public:
    RawControl(const FtpServerProcess& srv) {
        const bool v6 = srv.options().ipv6;
        fd_ = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in6 a6{};
        sockaddr_in a4{};
        int rc;
        if (v6) {
            a6.sin6_family = AF_INET6;
            a6.sin6_port = htons(srv.port());
            a6.sin6_addr = in6addr_loopback;
            rc = ::connect(fd_, reinterpret_cast<sockaddr*>(&a6), sizeof a6);
        } else {
            a4.sin_family = AF_INET;
            a4.sin_port = htons(srv.port());
            a4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            rc = ::connect(fd_, reinterpret_cast<sockaddr*>(&a4), sizeof a4);
        }
        timeval tv{10, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        if (rc == 0) greeting = reply();
    }
    ~RawControl() { ::close(fd_); }

    std::string command(const std::string& line) {
        const std::string out = line + "\r\n";
        ::send(fd_, out.data(), out.size(), MSG_NOSIGNAL);
        return reply();
    }
    // Empty once the server has closed the connection.
    std::string reply() {
        std::string got;
        for (;;) {
            size_t start = 0;
            for (size_t nl; (nl = buf_.find('\n', start)) != std::string::npos; start = nl + 1) {
                const std::string line = buf_.substr(start, nl + 1 - start);
                got += line;
                if (line.size() >= 4 && line[3] == ' ' && got.compare(0, 3, line, 0, 3) == 0) {
                    buf_.erase(0, nl + 1);
                    return got;
                }
            }
            buf_.erase(0, start);
            char b[4096];
            ssize_t n = ::recv(fd_, b, sizeof b, 0);
            if (n <= 0) return got;
            buf_.append(b, static_cast<size_t>(n));
        }
    }
    std::string greeting;

private:
    int fd_ = -1;
    std::string buf_;
};

struct Variant {
    FtpServerKind kind;
    FtpServerOptions options;
    const char* command;   // sent after login
    const char* expected;  // the start of its reply (a reply code) or a word in it
};

class ServerVariants : public ::testing::TestWithParam<Variant> {};

TEST_P(ServerVariants, BehavesAsAsked) {
    const Variant& v = GetParam();
    ORLIX_SKIP_UNLESS_FTP_SERVER(v.kind);
    TempDir root;
    auto srv = FtpServerProcess::start(v.kind, root.path(), v.options);
    ASSERT_TRUE(srv);
    RawControl c(*srv);
    ASSERT_EQ(c.greeting.substr(0, 3), "220");
    EXPECT_EQ(c.command("USER " + srv->user()).substr(0, 3), "331");
    ASSERT_EQ(c.command("PASS " + srv->password()).substr(0, 3), "230");
    if (v.options.idleTimeoutSeconds > 0) {
        std::this_thread::sleep_for(std::chrono::seconds(v.options.idleTimeoutSeconds + 1));
        const std::string r = c.reply();  // 421 or just a closed socket
        EXPECT_TRUE(r.empty() || r.rfind("421", 0) == 0) << r;
        return;
    }
    const std::string r = c.command(v.command);
    const std::string want = v.expected;
    const bool ok =
        std::isdigit(static_cast<unsigned char>(want[0])) ? r.rfind(want, 0) == 0 : r.find(want) != std::string::npos;
    EXPECT_TRUE(ok) << v.command << " -> " << r;
}

FtpServerOptions v6() {
    FtpServerOptions o;
    o.ipv6 = true;
    return o;
}
FtpServerOptions noActive() {
    FtpServerOptions o;
    o.refuseActive = true;
    return o;
}
FtpServerOptions idle2() {
    FtpServerOptions o;
    o.idleTimeoutSeconds = 2;
    return o;
}
FtpServerOptions digest() {
    FtpServerOptions o;
    o.digest = true;
    return o;
}

INSTANTIATE_TEST_SUITE_P(All, ServerVariants,
                         ::testing::Values(Variant{FtpServerKind::Vsftpd, v6(), "EPSV", "229"},
                                           Variant{FtpServerKind::PureFtpd, v6(), "EPSV", "229"},
                                           Variant{FtpServerKind::Pyftpdlib, v6(), "EPSV", "229"},
                                           Variant{FtpServerKind::Proftpd, v6(), "EPSV", "229"},
                                           Variant{FtpServerKind::Vsftpd, noActive(), "PORT 127,0,0,1,200,10", "5"},
                                           Variant{FtpServerKind::Proftpd, noActive(), "PORT 127,0,0,1,200,10", "5"},
                                           Variant{FtpServerKind::Vsftpd, idle2(), "", ""},
                                           Variant{FtpServerKind::Proftpd, idle2(), "", ""},
                                           Variant{FtpServerKind::Proftpd, digest(), "FEAT", " HASH"}));

}  // namespace
