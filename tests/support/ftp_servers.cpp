#include <algorithm>
#include "tests/support/ftp_servers.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int kBlockSize = 32;     // control port + 31 passive ports
constexpr int kFirstBase = 20000;  // blocks stay below the kernel's ephemeral range (32768...)
constexpr int kBlockCount = (32768 - kFirstBase) / kBlockSize;
constexpr auto kStartTimeout = std::chrono::seconds(20);
constexpr auto kStopTimeout = std::chrono::seconds(5);
const char* const kPython = "/usr/bin/python3";
const char* const kPamService = "/etc/pam.d/orlix-test-ftp";

std::string envOr(const char* name, const std::string& fallback) {
    const char* v = std::getenv(name);
    return v && *v ? std::string(v) : fallback;
}

std::string sourceDir() {
    // This file lives in <source>/tests/support/.
    fs::path here(__FILE__);
    std::string fromFile = here.is_absolute() ? here.parent_path().parent_path().parent_path().string() : ".";
    return envOr("ORLIX_SOURCE_DIR", fromFile);
}

// Absolute: server configurations need it, and __FILE__ may be relative (compiler caches).
std::string serversDir() { return fs::absolute(envOr("ORLIX_SERVERS_DIR", sourceDir() + "/build/servers")).string(); }

bool isExecutable(const std::string& path) { return ::access(path.c_str(), X_OK) == 0; }
bool isFile(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

std::string readWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void writeWhole(const std::string& path, const std::string& bytes, mode_t mode = 0644) {
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        if (!out) throw std::runtime_error("cannot write " + path);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out) throw std::runtime_error("cannot write " + path);
    }
    ::chmod(path.c_str(), mode);
}

std::string fill(std::string text, const std::vector<std::pair<std::string, std::string>>& vars) {
    for (const auto& [name, value] : vars) {
        const std::string key = "@" + name + "@";
        for (size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + value.size()))
            text.replace(at, key.size(), value);
    }
    return text;
}

std::string binaryOf(FtpServerKind kind) {
    const std::string root = serversDir() + "/root";
    switch (kind) {
        case FtpServerKind::Pyftpdlib:
            return kPython;
        case FtpServerKind::Vsftpd:
            return root + "/usr/sbin/vsftpd";
        case FtpServerKind::Proftpd:
            return root + "/usr/sbin/proftpd";
        case FtpServerKind::PureFtpd:
            return root + "/usr/sbin/pure-ftpd";
    }
    return {};
}

// Loopback socket address of the family for port.
socklen_t loopback(int family, uint16_t port, sockaddr_storage& out) {
    out = {};
    if (family == AF_INET6) {
        auto* a = reinterpret_cast<sockaddr_in6*>(&out);
        a->sin6_family = AF_INET6;
        a->sin6_port = htons(port);
        a->sin6_addr = in6addr_loopback;
        return sizeof(sockaddr_in6);
    }
    auto* a = reinterpret_cast<sockaddr_in*>(&out);
    a->sin_family = AF_INET;
    a->sin_port = htons(port);
    a->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return sizeof(sockaddr_in);
}

bool portFreeOn(int family, int port) {
    int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return family == AF_INET6;  // no IPv6 here: nothing can hold the port there
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (family == AF_INET6) ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &one, sizeof one);
    sockaddr_storage a;
    const socklen_t len = loopback(family, static_cast<uint16_t>(port), a);
    bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&a), len) == 0 || (family == AF_INET6 && errno == EADDRNOTAVAIL);
    ::close(fd);
    return ok;
}

bool portFree(int port) { return portFreeOn(AF_INET, port) && portFreeOn(AF_INET6, port); }

// Reserves a block of ports for this process: an exclusive lock on a per-block file (dropped by the
// kernel if the process dies) and a check that nothing is bound there. Returns the lock's descriptor.
int reservePortBlock(int& base) {
    const std::string lockDir = "/tmp/orlix-ftp-ports";
    if (::mkdir(lockDir.c_str(), 01777) == 0) ::chmod(lockDir.c_str(), 01777);
    std::random_device rd;
    const int first = static_cast<int>(rd() % kBlockCount);
    for (int i = 0; i < kBlockCount; ++i) {
        const int b = kFirstBase + ((first + i) % kBlockCount) * kBlockSize;
        const std::string lockFile = lockDir + "/" + std::to_string(b) + ".lock";
        int fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (fd < 0) continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd);
            continue;
        }
        bool allFree = true;
        for (int p = b; p < b + kBlockSize && allFree; ++p) allFree = portFree(p);
        if (allFree) {
            base = b;
            return fd;
        }
        ::close(fd);
    }
    throw std::runtime_error("no free block of loopback ports for an FTP server");
}

void chownTree(const std::string& root, uid_t uid, gid_t gid) {
    ::lchown(root.c_str(), uid, gid);
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, fs::directory_options::skip_permission_denied, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
        ::lchown(it->path().c_str(), uid, gid);
}

// The server's user must be able to walk down to the root folder. Folders below the temporary folder
// (made by mkdtemp with mode 0700) get search permission for others; anywhere else it is an error.
void makeReachable(const std::string& root) {
    std::error_code ec;
    const fs::path tmp = fs::weakly_canonical(fs::temp_directory_path(ec));
    const fs::path target = fs::weakly_canonical(root);
    for (fs::path p = target.parent_path(); !p.empty() && p != p.root_path(); p = p.parent_path()) {
        struct stat st {};
        if (::stat(p.c_str(), &st) != 0 || (st.st_mode & S_IXOTH)) continue;
        const std::string rel = p.lexically_relative(tmp).string();
        if (!ec && !rel.empty() && rel != "." && rel.rfind("..", 0) != 0)
            ::chmod(p.c_str(), (st.st_mode & 07777) | S_IXOTH);
        else
            throw std::runtime_error("FTP root " + root + " lies below " + p.string() +
                                     ", which the user tester cannot enter");
    }
}

// Runs argv to its end with output appended to logPath; returns its exit status (-1 if it did not start).
int runToEnd(const std::vector<std::string>& argv, const std::string& logPath) {
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    int log = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    pid_t pid = ::fork();
    if (pid == 0) {
        if (log >= 0) {
            ::dup2(log, 1);
            ::dup2(log, 2);
        }
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    if (log >= 0) ::close(log);
    if (pid < 0) return -1;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// True once the server on port sends a complete 220 greeting.
bool greets(int family, uint16_t port) {
    int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_storage a;
    const socklen_t len = loopback(family, port, a);
    bool ok = false;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), len) == 0) {
        timeval tv{3, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        std::string got;
        char buf[512];
        for (;;) {
            ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0) break;
            got.append(buf, static_cast<size_t>(n));
            // A greeting may run over several lines ("220-..."); it ends with a "220 " line.
            size_t lineStart = 0;
            for (size_t nl = got.find('\n'); nl != std::string::npos; nl = got.find('\n', lineStart)) {
                if (got.compare(lineStart, 4, "220 ") == 0) ok = true;
                lineStart = nl + 1;
            }
            if (ok) break;
        }
        if (ok) ::send(fd, "QUIT\r\n", 6, MSG_NOSIGNAL);
    }
    ::close(fd);
    return ok;
}

// True once something accepts connections on port (an implicit-TLS server greets only in TLS).
bool accepts(int family, uint16_t port) {
    int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_storage a;
    const socklen_t len = loopback(family, port, a);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), len) == 0;
    ::close(fd);
    return ok;
}

// Key and certificate for the server in dir: server.key, server.pem (and ca.pem, ca.key when
// signed by a test CA). EC keys: quick to make.
void makeCertificates(const std::string& dir, bool caSigned, const std::string& log) {
    const std::string openssl = "/usr/bin/openssl";
    const std::vector<std::string> key = {"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
    auto run = [&](std::vector<std::string> argv) {
        argv.insert(argv.begin(), openssl);
        if (runToEnd(argv, log) != 0) throw std::runtime_error("openssl failed making test certificates");
    };
    std::vector<std::string> server = {"req",     "-x509",
                                       "-days",   "30",
                                       "-subj",   "/CN=127.0.0.1",
                                       "-addext", "subjectAltName=IP:127.0.0.1,IP:::1",
                                       "-keyout", dir + "/server.key",
                                       "-out",    dir + "/server.pem"};
    server.insert(server.begin() + 2, key.begin(), key.end());
    if (caSigned) {
        std::vector<std::string> ca = {
            "req",     "-x509",         "-days", "30",           "-subj", "/CN=Orlix Test CA",
            "-keyout", dir + "/ca.key", "-out",  dir + "/ca.pem"};
        ca.insert(ca.begin() + 2, key.begin(), key.end());
        run(ca);
        server.insert(server.end(), {"-CA", dir + "/ca.pem", "-CAkey", dir + "/ca.key"});
    }
    run(server);
    ::chmod((dir + "/server.key").c_str(), 0600);
    // pure-ftpd wants key and certificate in one file, the key first.
    writeWhole(dir + "/server-both.pem", readWhole(dir + "/server.key") + readWhole(dir + "/server.pem"), 0600);
}

}  // namespace

bool ftpServersRequired() {
    const char* ci = std::getenv("CI");
    return ci && std::string(ci) == "true";
}

const char* FtpServerProcess::name(Kind kind) {
    switch (kind) {
        case Kind::Pyftpdlib:
            return "pyftpdlib";
        case Kind::Vsftpd:
            return "vsftpd";
        case Kind::Proftpd:
            return "proftpd";
        case Kind::PureFtpd:
            return "pure-ftpd";
    }
    return "?";
}

std::string FtpServerProcess::testName(Kind kind) {
    std::string n = name(kind);
    n.erase(std::remove(n.begin(), n.end(), '-'), n.end());
    return n;
}

bool FtpServerProcess::available(Kind kind, std::string* why) {
    auto no = [why](std::string reason) {
        if (why) *why = std::move(reason);
        return false;
    };
    if (kind == Kind::Pyftpdlib) {
        if (!isExecutable(kPython)) return no(std::string(kPython) + " is missing");
        if (!isFile("/usr/lib/python3/dist-packages/pyftpdlib/__init__.py"))
            return no("python3-pyftpdlib is not installed");
        return true;
    }
    if (::geteuid() != 0) return no("it needs root (it runs its sessions as the user tester)");
    const std::string prepare = " (run: bash scripts/ftp-servers.sh prepare)";
    if (!isFile(serversDir() + "/ready-" + name(kind))) return no("not prepared in " + serversDir() + prepare);
    if (!isExecutable(binaryOf(kind))) return no(binaryOf(kind) + " is missing" + prepare);
    if (!::getpwnam("tester")) return no("the user tester does not exist" + prepare);
    if (kind == Kind::Vsftpd && !isFile(kPamService)) return no(std::string(kPamService) + " is missing" + prepare);
    if (kind == Kind::PureFtpd && !isExecutable(serversDir() + "/root/usr/bin/pure-pw"))
        return no("pure-pw is missing" + prepare);
    return true;
}

std::unique_ptr<FtpServerProcess> FtpServerProcess::start(Kind kind, const std::string& rootDir) {
    return start(kind, rootDir, FtpServerOptions{});
}

std::unique_ptr<FtpServerProcess> FtpServerProcess::start(Kind kind, const std::string& rootDir,
                                                          const FtpServerOptions& options) {
    auto refuse = [kind](const char* what) {
        throw std::invalid_argument(std::string(name(kind)) + " cannot be started " + what + " here");
    };
    if (options.refuseActive && kind != Kind::Vsftpd && kind != Kind::Proftpd) refuse("refusing active mode");
    if (options.idleTimeoutSeconds > 0 && kind != Kind::Vsftpd && kind != Kind::Proftpd)
        refuse("with an idle time-out");
    if (options.digest && kind != Kind::Proftpd) refuse("with HASH");
    if (options.tls == FtpServerTls::Implicit && kind != Kind::Vsftpd && kind != Kind::Proftpd)
        refuse("with implicit TLS");
    if (!available(kind)) return nullptr;
    std::unique_ptr<FtpServerProcess> s(new FtpServerProcess);
    s->kind_ = kind;
    s->options_ = options;
    s->root_ = fs::absolute(rootDir).lexically_normal().string();
    while (s->root_.size() > 1 && s->root_.back() == '/') s->root_.pop_back();
    if (!fs::is_directory(s->root_)) throw std::runtime_error("FTP root " + s->root_ + " is not a folder");

    int base = 0;
    s->portLock_ = reservePortBlock(base);
    s->port_ = static_cast<uint16_t>(base);
    s->passiveMin_ = static_cast<uint16_t>(base + 1);
    s->passiveMax_ = static_cast<uint16_t>(base + kBlockSize - 1);

    char runTemplate[] = "/tmp/orlix-ftpd-XXXXXX";
    if (!::mkdtemp(runTemplate)) throw std::runtime_error("cannot make a folder for the FTP server");
    s->runDir_ = runTemplate;
    ::chmod(s->runDir_.c_str(), 0755);
    ::mkdir((s->runDir_ + "/empty").c_str(), 0755);

    s->uid_ = ::geteuid();
    s->gid_ = ::getegid();
    if (kind != Kind::Pyftpdlib) {
        const passwd* pw = ::getpwnam("tester");
        if (!pw) throw std::runtime_error("the user tester does not exist");
        s->uid_ = pw->pw_uid;
        s->gid_ = pw->pw_gid;
        makeReachable(s->root_);
        s->syncOwnership();
    }

    const std::string templates = sourceDir() + "/tests/servers/";
    const std::string& run = s->runDir_;
    const bool v6 = options.ipv6;
    const std::string idle = std::to_string(options.idleTimeoutSeconds);
    std::string extra;
    const bool tls = options.tls != FtpServerTls::None;
    const bool implicitTls = options.tls == FtpServerTls::Implicit;
    const std::string log = run + "/log";
    if (tls) makeCertificates(run, options.caSigned, log);
    const std::string modules = "ModulePath " + serversDir() + "/root/usr/lib/proftpd\n";
    if (kind == Kind::Proftpd && tls && !isFile(serversDir() + "/root/usr/lib/proftpd/mod_tls.so"))
        throw std::runtime_error("ProFTPD's mod_tls is missing (run: bash scripts/ftp-servers.sh prepare)");
    if (kind == Kind::Vsftpd && tls) {
        extra += "ssl_enable=YES\nrsa_cert_file=" + run + "/server.pem\nrsa_private_key_file=" + run +
                 "/server.key\nssl_ciphers=HIGH\nforce_local_logins_ssl=YES\nforce_local_data_ssl=YES\nrequire_ssl_"
                 "reuse=YES\n";
        if (implicitTls) extra += "implicit_ssl=YES\n";
    } else if (kind == Kind::Proftpd && tls) {
        extra += modules +
                 "LoadModule mod_tls.c\nTLSEngine on\nTLSRequired on\nTLSProtocol TLSv1.2 TLSv1.3\n"
                 "TLSRSACertificateFile " +
                 run + "/server.pem\nTLSRSACertificateKeyFile " + run +
                 "/server.key\n"
                 "TLSLog " +
                 run + "/tls.log\n";
        if (implicitTls) extra += "TLSOptions UseImplicitSSL\n";
    }
    if (kind == Kind::Vsftpd) {
        if (options.refuseActive) extra += "port_enable=NO\n";
        if (options.idleTimeoutSeconds > 0) extra += "idle_session_timeout=" + idle + "\n";
    } else if (kind == Kind::Proftpd) {
        if (options.refuseActive) extra += "<Limit PORT EPRT>\n  DenyAll\n</Limit>\n";
        if (options.idleTimeoutSeconds > 0) extra += "TimeoutIdle " + idle + "\n";
        if (options.digest) extra += (tls ? "" : modules) + "LoadModule mod_digest.c\n";
    }
    const std::vector<std::pair<std::string, std::string>> vars = {
        {"LISTEN_V4", v6 ? "NO" : "YES"},
        {"LISTEN_V6", v6 ? "YES" : "NO"},
        {"LISTEN_ADDRESS", v6 ? "listen_address6=::1" : "listen_address=127.0.0.1"},
        {"ADDRESS", s->host()},
        {"USE_IPV6", v6 ? "on" : "off"},
        {"EXTRA", extra},
        {"PORT", std::to_string(s->port_)},
        {"ROOT", s->root_},
        {"RUNDIR", run},
        {"PASV_MIN", std::to_string(s->passiveMin_)},
        {"PASV_MAX", std::to_string(s->passiveMax_)},
        {"UID", std::to_string(s->uid_)},
        {"GID", std::to_string(s->gid_)},
    };
    auto make = [&](const std::string& tpl, const std::string& out, mode_t mode = 0644) {
        writeWhole(run + "/" + out, fill(readWhole(templates + tpl), vars), mode);
    };
    std::vector<std::string> argv;
    switch (kind) {
        case Kind::Pyftpdlib:
            if (tls) {
                argv = {kPython,
                        templates + "pyftpdlib_tls.py",
                        s->host(),
                        std::to_string(s->port_),
                        s->root_,
                        s->user(),
                        s->password(),
                        std::to_string(s->passiveMin_),
                        std::to_string(s->passiveMax_),
                        run + "/server.pem",
                        run + "/server.key"};
                break;
            }
            argv = {kPython,
                    "-m",
                    "pyftpdlib",
                    "-i",
                    s->host(),
                    "-p",
                    std::to_string(s->port_),
                    "-w",
                    "-d",
                    s->root_,
                    "-u",
                    s->user(),
                    "-P",
                    s->password(),
                    "-r",
                    std::to_string(s->passiveMin_) + "-" + std::to_string(s->passiveMax_)};
            break;
        case Kind::Vsftpd:
            make("vsftpd.conf.in", "vsftpd.conf");
            argv = {binaryOf(kind), run + "/vsftpd.conf"};
            break;
        case Kind::Proftpd:
            make("proftpd.conf.in", "proftpd.conf");
            make("proftpd.passwd.in", "passwd", 0600);
            make("proftpd.group.in", "group", 0600);
            argv = {binaryOf(kind), "-n", "-q", "-c", run + "/proftpd.conf"};
            break;
        case Kind::PureFtpd:
            make("pureftpd.passwd.in", "pure.passwd", 0600);
            if (runToEnd(
                    {serversDir() + "/root/usr/bin/pure-pw", "mkdb", run + "/pure.pdb", "-f", run + "/pure.passwd"},
                    log) != 0)
                throw std::runtime_error("pure-pw mkdb failed: " + s->output());
            argv = {binaryOf(kind),
                    "-S",
                    s->host() + "," + std::to_string(s->port_),
                    "-l",
                    "puredb:" + run + "/pure.pdb",
                    "-E",
                    "-A",
                    "-H",
                    "-p",
                    std::to_string(s->passiveMin_) + ":" + std::to_string(s->passiveMax_),
                    "-U",
                    "133:022"};
            if (!v6) argv.insert(argv.end(), {"-4", "-P", "127.0.0.1"});
            if (tls) argv.insert(argv.end(), {"-Y", "2", "-2", run + "/server-both.pem"});
            break;
    }

    s->argv_ = std::move(argv);
    s->launch();
    return s;
}

void FtpServerProcess::launch() {
    const std::string log = runDir_ + "/log";
    const bool v6 = options_.ipv6;
    const bool implicitTls = options_.tls == FtpServerTls::Implicit;
    const Kind kind = kind_;
    // Everything the child needs is ready before fork: a test program may have threads.
    std::vector<char*> args;
    for (auto& a : argv_) args.push_back(a.data());
    args.push_back(nullptr);
    int logFd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    int nullFd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (logFd < 0 || nullFd < 0) throw std::runtime_error("cannot open " + log);
    const pid_t parent = ::getpid();
    pid_t pid = ::fork();
    if (pid == 0) {
        ::setpgid(0, 0);                     // own group: stop() ends the server with its session processes
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);  // no stray server when the test program dies
        if (::getppid() != parent) ::_exit(127);
        ::dup2(nullFd, 0);
        ::dup2(logFd, 1);
        ::dup2(logFd, 2);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    ::close(logFd);
    ::close(nullFd);
    if (pid < 0) throw std::runtime_error(std::string("fork failed: ") + std::strerror(errno));
    ::setpgid(pid, pid);
    pid_ = pid;

    const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
    for (;;) {
        if (!running()) throw std::runtime_error(std::string(name(kind)) + " exited at start:\n" + output());
        if (implicitTls ? accepts(v6 ? AF_INET6 : AF_INET, port_) : greets(v6 ? AF_INET6 : AF_INET, port_)) break;
        if (std::chrono::steady_clock::now() > deadline) {
            std::string out = output();
            stop();
            throw std::runtime_error(std::string(name(kind)) + " did not greet on port " + std::to_string(port_) +
                                     ":\n" + out);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
}

FtpServerProcess::~FtpServerProcess() {
    stop();
    if (!runDir_.empty()) removeTree(runDir_);
    if (portLock_ >= 0) ::close(portLock_);
}

std::string FtpServerProcess::url() const {
    const std::string h = options_.ipv6 ? "[" + host() + "]" : host();
    return "ftp://" + user() + ":" + password() + "@" + h + ":" + std::to_string(port_) + "/";
}

std::string FtpServerProcess::caFile() const { return runDir_ + (options_.caSigned ? "/ca.pem" : "/server.pem"); }

std::string FtpServerProcess::certSha256() const {
    const std::string out = runDir_ + "/fingerprint";
    runToEnd({"/bin/sh", "-c",
              "/usr/bin/openssl x509 -in '" + runDir_ + "/server.pem' -noout -fingerprint -sha256 > '" + out + "'"},
             runDir_ + "/log");
    std::string text;
    try {
        text = readWhole(out);
    } catch (const std::exception&) {
        return {};
    }
    // "sha256 Fingerprint=AB:CD:..."
    std::string hex;
    for (size_t i = text.find('=') + 1; i < text.size(); ++i)
        if (std::isxdigit(static_cast<unsigned char>(text[i])))
            hex += static_cast<char>(std::tolower(static_cast<unsigned char>(text[i])));
    return hex;
}

void FtpServerProcess::syncOwnership() const {
    if (kind_ != Kind::Pyftpdlib && ::geteuid() == 0) chownTree(root_, uid_, gid_);
}

bool FtpServerProcess::running() const {
    if (pid_ <= 0) return false;
    int status = 0;
    pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
        // Reaped here: remember that it is gone (the method is logically const).
        const_cast<FtpServerProcess*>(this)->pid_ = -pid_;
        return false;
    }
    return r == 0;
}

std::string FtpServerProcess::output() const {
    try {
        return readWhole(runDir_ + "/log");
    } catch (const std::exception&) {
        return {};
    }
}

std::vector<pid_t> FtpServerProcess::processTree() const {
    // Session processes may leave the server's group (vsftpd's do): its children are followed.
    std::vector<pid_t> tree{pid_};
    for (size_t i = 0; i < tree.size(); ++i) {
        std::error_code ec;
        for (const auto& e : fs::directory_iterator("/proc", ec)) {
            const std::string name = e.path().filename().string();
            if (name.empty() || !std::isdigit(static_cast<unsigned char>(name[0]))) continue;
            std::ifstream stat(e.path() / "stat");
            std::string line;
            std::getline(stat, line);
            // "pid (comm) state ppid ...": the name may hold spaces and parentheses.
            const auto close = line.rfind(')');
            if (close == std::string::npos) continue;
            std::istringstream rest(line.substr(close + 1));
            char state = 0;
            pid_t ppid = 0;
            rest >> state >> ppid;
            const pid_t pid = static_cast<pid_t>(std::stol(name));
            if (ppid == tree[i] && std::find(tree.begin(), tree.end(), pid) == tree.end()) tree.push_back(pid);
        }
    }
    return tree;
}

void FtpServerProcess::pause() {
    if (pid_ <= 0) return;
    for (pid_t p : processTree()) ::kill(p, SIGSTOP);
}

void FtpServerProcess::kill() {
    if (pid_ <= 0) return;
    // The listener and every session process at once, with no chance to answer or clean up.
    const std::vector<pid_t> tree = processTree();
    for (pid_t p : tree) ::kill(p, SIGSTOP);  // stopped first: none answers between the kills
    ::kill(-pid_, SIGKILL);
    for (pid_t p : tree) ::kill(p, SIGKILL);
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -pid_;
}

void FtpServerProcess::restart() {
    stop();
    launch();
}

void FtpServerProcess::stop() {
    if (pid_ == 0 || pid_ == -1) return;
    const pid_t group = pid_ > 0 ? pid_ : -pid_;
    if (pid_ > 0) {
        ::kill(-group, SIGTERM);
        const auto deadline = std::chrono::steady_clock::now() + kStopTimeout;
        while (running() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (pid_ > 0) {
            ::kill(-group, SIGKILL);
            int status = 0;
            while (::waitpid(group, &status, 0) < 0 && errno == EINTR) {
            }
        }
    }
    // Session processes of the server that outlived it.
    ::kill(-group, SIGKILL);
    pid_ = -1;
}

// ---- temporary folders ----

TempDir::TempDir(const std::string& prefix) {
    std::error_code ec;
    fs::path base = fs::temp_directory_path(ec);
    if (ec) base = "/tmp";
    std::string tpl = (base / (prefix + ".XXXXXX")).string();
    std::vector<char> buf(tpl.begin(), tpl.end());
    buf.push_back('\0');
    if (!::mkdtemp(buf.data())) throw std::runtime_error("cannot make a temporary folder in " + base.string());
    path_ = buf.data();
    ::chmod(path_.c_str(), 0755);
}

TempDir::~TempDir() { removeTree(path_); }

std::string TempDir::file(const std::string& rel) const { return path_ + "/" + rel; }

void TempDir::makeDir(const std::string& rel) const { fs::create_directories(file(rel)); }

void TempDir::writeFile(const std::string& rel, const std::string& bytes) const {
    fs::path p = file(rel);
    fs::create_directories(p.parent_path());
    writeWhole(p.string(), bytes);
}

void TempDir::writePatternFile(const std::string& rel, int64_t size) const {
    fs::path p = file(rel);
    fs::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("cannot write " + p.string());
    constexpr int64_t chunk = 1 << 20;
    for (int64_t at = 0; at < size; at += chunk) {
        std::string part = patternBytes(at, std::min(chunk, size - at));
        out.write(part.data(), static_cast<std::streamsize>(part.size()));
    }
    if (!out) throw std::runtime_error("cannot write " + p.string());
}

std::string TempDir::readFile(const std::string& rel) const { return readWhole(file(rel)); }

bool TempDir::exists(const std::string& rel) const {
    std::error_code ec;
    return fs::symlink_status(file(rel), ec).type() != fs::file_type::not_found && !ec;
}

std::string patternBytes(int64_t offset, int64_t size) {
    std::string out(static_cast<size_t>(size), '\0');
    for (int64_t i = 0; i < size; ++i) {
        const int64_t k = offset + i;
        out[static_cast<size_t>(i)] = static_cast<char>((k * 131 + k / 4099) & 0xFF);
    }
    return out;
}

void removeTree(const std::string& path) {
    if (path.empty()) return;
    std::error_code ec;
    fs::remove_all(path, ec);
}
