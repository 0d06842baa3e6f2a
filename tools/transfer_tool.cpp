#include "tools/transfer_tool.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <strings.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "ftp/ftp_client.h"
#include "tools/transfer_url.h"
#include "transport/intercept.h"

namespace {

// The window's default buffer sizes, so the tool moves files as the window does out of the box.
constexpr int kDefaultRecvBuffer = 4096;
constexpr int kDefaultSendBuffer = 2048;
constexpr int kMaxBuffer = 64 << 20;

const char kUsage[] =
    "usage: orlix-transfer [options] ls URL\n"
    "       orlix-transfer [options] get URL LOCAL\n"
    "       orlix-transfer [options] put LOCAL URL\n"
    "\n"
    "URL: ftp://[user[:password]@]host[:port][/path], or ftps:// for TLS from the first byte\n"
    "     %XX escapes in user, password and path; an IPv6 host in brackets ([::1]);\n"
    "     port 21 (ftps: 990) and user anonymous when left out; the path is relative to the login\n"
    "     directory, \"//path\" is absolute. put to a URL ending in \"/\" keeps the local name.\n"
    "\n"
    "options:\n"
    "  --passive            the client opens the data connection (default)\n"
    "  --active             the server connects back to the client\n"
    "  --buffers RECV,SEND  receive and send buffer sizes in bytes (default 4096,2048)\n"
    "  --tls MODE           auto: TLS when the server offers it (default); explicit: TLS\n"
    "                       required (AUTH TLS); implicit: TLS from the first byte; off\n"
    "  --trust-fingerprint SHA256\n"
    "                       accept the server certificate with this SHA-256 fingerprint\n"
    "                       (hex, colons optional) even when it does not verify\n"
    "  --ca-file FILE       trust the certificates in FILE (PEM) beside the system's\n"
    "  --timeout SECONDS    give up when the server does not answer for this long (default 120)\n"
    "  -v, --verbose        show the control connection's traffic on stderr, password hidden\n"
    "  -h, --help           show this text\n"
    "\n"
    "Exit status: 0 done, 1 failed (the reason on stderr), 2 wrong use.\n";

int UsageError(const std::string& why) {
    std::fprintf(stderr, "orlix-transfer: %s\n%s", why.c_str(), kUsage);
    return 2;
}

// Server text goes to a terminal: control characters could drive it, so they are shown as "?".
std::string Printable(const std::string& s) {
    std::string out = s;
    for (char& c : out)
        if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7f) c = '?';
    return out;
}

bool ParseBuffers(const std::string& text, int& recv, int& send) {
    const size_t comma = text.find(',');
    if (comma == std::string::npos) return false;
    auto number = [](const std::string& s, int& value) {
        if (s.empty() || s.size() > 9 || s.find_first_not_of("0123456789") != std::string::npos) return false;
        value = std::stoi(s);
        return value >= 1 && value <= kMaxBuffer;
    };
    return number(text.substr(0, comma), recv) && number(text.substr(comma + 1), send);
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The download's temporary file, removed when a signal ends the program.
char gTempPath[4096];

void OnFatalSignal(int sig) {
    if (gTempPath[0]) ::unlink(gTempPath);
    ::signal(sig, SIG_DFL);
    ::raise(sig);
}

// The "bytes, percent, speed" line, redrawn in place on a terminal.
class TProgress {
public:
    explicit TProgress(bool enabled) : enabled_(enabled) {}
    bool Enabled() const { return enabled_; }

    void Begin(int64_t total) {
        total_ = total;
        start_ = Clock::now();
        last_ = start_;
    }
    void Update(int64_t count) {
        if (!enabled_) return;
        const auto now = Clock::now();
        if (now - last_ < std::chrono::milliseconds(200)) return;
        last_ = now;
        Draw(count, now);
    }
    void End(int64_t count) {
        if (!enabled_) return;
        Draw(count, Clock::now());
        Clear();
    }
    // Ends the line, so other text starts on its own.
    void Clear() {
        if (shown_) std::fputc('\n', stderr);
        shown_ = false;
    }

private:
    using Clock = std::chrono::steady_clock;

    static std::string Bytes(double n) {
        static const char* const units[] = {"B", "KiB", "MiB", "GiB", "TiB"};
        int u = 0;
        while (n >= 1024 && u < 4) {
            n /= 1024;
            ++u;
        }
        char buf[32];
        std::snprintf(buf, sizeof buf, u == 0 ? "%.0f %s" : "%.1f %s", n, units[u]);
        return buf;
    }

    void Draw(int64_t count, Clock::time_point now) {
        const double seconds = std::chrono::duration<double>(now - start_).count();
        std::string line = Bytes(static_cast<double>(count));
        if (total_ > 0) {
            char pct[16];
            std::snprintf(pct, sizeof pct, " %3d %%", static_cast<int>(count * 100 / total_));
            line += " of " + Bytes(static_cast<double>(total_)) + pct;
        }
        if (seconds > 0) line += "  " + Bytes(count / seconds) + "/s";
        std::fprintf(stderr, "\r%-60s", line.c_str());
        std::fflush(stderr);
        shown_ = true;
    }

    bool enabled_;
    bool shown_ = false;
    int64_t total_ = -1;
    Clock::time_point start_, last_;
};

// Hex digits only, lowercase: "AB:cd" -> "abcd"; "" when anything else is in it.
std::string NormalFingerprint(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == ':') continue;
        if (!std::isxdigit(static_cast<unsigned char>(c))) return {};
        out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

struct TOptions {
    bool passive = true;
    bool tlsGiven = false;
    TFtpEncryption tls = TFtpEncryption::Auto;
    std::string fingerprint;  // normalised
    std::string caFile;
    bool verbose = false;
    int recv = kDefaultRecvBuffer;
    int send = kDefaultSendBuffer;
    int timeoutMs = 120000;
    std::vector<std::string> args;  // the command and its operands
};

// Shows what passes on the control connection, one line each, the password hidden.
class TTrafficLog {
public:
    TTrafficLog(TIdFTP& ftp, TProgress& progress) : progress_(progress) {
        log_.LogTime = false;
        log_.ReplaceCRLF = false;
        log_.OnSent = [this](TIdLogEvent*, const std::string&, const std::string& data) { Lines("> ", sent_, data); };
        log_.OnReceived = [this](TIdLogEvent*, const std::string&, const std::string& data) {
            Lines("< ", received_, data);
        };
        ftp.SetIntercept(&log_);
        log_.SetActive(true);
        ftp.OnStatus = [this](TIdComponent*, TIdStatus, const std::string& text) {
            progress_.Clear();
            std::fprintf(stderr, "* %s\n", Printable(text).c_str());
        };
    }

private:
    static std::string MaskPassword(const std::string& line) {
        if (line.size() >= 4 && strncasecmp(line.c_str(), "PASS", 4) == 0 && (line.size() == 4 || line[4] == ' '))
            return line.size() > 5 ? "PASS ****" : line;
        return line;
    }

    // Blocks need not end at line ends: keep the unfinished rest for the next one.
    void Lines(const char* prefix, std::string& pending, const std::string& data) {
        pending += data;
        size_t lf;
        while ((lf = pending.find('\n')) != std::string::npos) {
            std::string line = pending.substr(0, lf);
            pending.erase(0, lf + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            progress_.Clear();
            std::fprintf(stderr, "%s%s\n", prefix, Printable(MaskPassword(line)).c_str());
        }
    }

    TIdLogEvent log_;
    TProgress& progress_;
    std::string sent_, received_;
};

std::string ErrorText(const std::exception& e) {
    std::string text = e.what();
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    // Multi-line server replies: one line each on stderr.
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out += text[i];
    }
    std::string shown;
    size_t start = 0;
    while (true) {
        const size_t lf = out.find('\n', start);
        shown += Printable(out.substr(start, lf == std::string::npos ? std::string::npos : lf - start));
        if (lf == std::string::npos) break;
        shown += '\n';
        start = lf + 1;
    }
    if (const auto* reply = dynamic_cast<const EIdProtocolReplyError*>(&e); reply && reply->ReplyCode > 0)
        return std::to_string(reply->ReplyCode) + " " + shown;
    return shown;
}

// Writes the download to a temporary file beside the target and renames it on success, so a failed
// or interrupted download never leaves a truncated file under the target's name.
class TDownloadFile {
public:
    explicit TDownloadFile(const std::string& target) : target_(target) {
        const size_t slash = target.rfind('/');
        const std::string dir = slash == std::string::npos ? "." : target.substr(0, slash + 1);
        std::string pattern = (slash == std::string::npos ? "./" : dir) + "." + BaseName(target) + ".orlix-XXXXXX";
        if (pattern.size() >= sizeof gTempPath) throw EIdException("Local file name too long: " + target);
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back('\0');
        const int fd = ::mkstemp(buf.data());
        if (fd < 0) throw EIdException("Cannot create a file in " + dir + ": " + std::strerror(errno));
        temp_ = buf.data();
        std::strcpy(gTempPath, temp_.c_str());
        // mkstemp makes the file private; a download gets the usual mode for new files.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd, 0666 & ~mask);
        ::close(fd);
        stream_ = std::make_unique<TIdFileStream>(temp_, TIdFileMode::fmOpenReadWrite);
    }
    ~TDownloadFile() {
        if (temp_.empty()) return;
        stream_.reset();
        ::unlink(temp_.c_str());
        gTempPath[0] = '\0';
    }
    TIdStream& Stream() { return *stream_; }
    void Commit() {
        stream_->Close();
        if (::rename(temp_.c_str(), target_.c_str()) != 0)
            throw EIdException("Cannot write " + target_ + ": " + std::strerror(errno));
        temp_.clear();
        gTempPath[0] = '\0';
    }

private:
    std::string target_;
    std::string temp_;
    std::unique_ptr<TIdFileStream> stream_;
};

int Run(const TOptions& opt) {
    const std::string& command = opt.args[0];
    const size_t operands = opt.args.size() - 1;
    if (command != "ls" && command != "get" && command != "put")
        return UsageError("unknown command \"" + command + "\"");
    if ((command == "ls" && operands != 1) || (command != "ls" && operands != 2))
        return UsageError("wrong number of operands for " + command);

    const std::string& urlText = command == "put" ? opt.args[2] : opt.args[1];
    TFtpUrl url;
    std::string why;
    if (!ParseFtpUrl(urlText, url, why)) return UsageError("bad URL: " + why);
    if (!url.HasPassword && url.User == "anonymous") url.Password = "orlix@";
    std::string remote = url.Path;
    std::string local;
    if (command == "get") {
        if (remote.empty() || remote.back() == '/') return UsageError("the URL names no file to get");
        local = opt.args[2];
        if (IsDirectory(local)) local += "/" + BaseName(remote);
    } else if (command == "put") {
        local = opt.args[1];
        if (remote.empty() || remote.back() == '/') remote += BaseName(local);
    }

    TProgress progress(::isatty(STDERR_FILENO) == 1);
    try {
        TIdFTP ftp;
        ftp.SetHost(url.Host);
        ftp.SetPort(url.Port);
        ftp.Username = url.User;
        ftp.Password = url.Password;
        ftp.Passive = opt.passive;
        ftp.RecvBufferSize = opt.recv;
        ftp.SendBufferSize = opt.send;
        ftp.ReadTimeout = opt.timeoutMs;
        ftp.DataConnectionTimeout = opt.timeoutMs;
        ftp.Encryption = opt.tlsGiven || !url.Implicit ? opt.tls : TFtpEncryption::Implicit;
        ftp.Tls.CaFile = opt.caFile;
        ftp.OnCertificate = [&opt](const TTlsPeerCertificate& cert) {
            if (cert.Verified() || (!opt.fingerprint.empty() && cert.Sha256 == opt.fingerprint))
                return TTlsTrust::ThisTime;
            throw EIdTlsError("The server's certificate was not accepted: " + cert.Problem + " (subject " +
                              cert.Subject + ", SHA-256 " + cert.Sha256 + "; --trust-fingerprint " + cert.Sha256 +
                              " accepts it).");
        };
        std::unique_ptr<TTrafficLog> traffic;
        if (opt.verbose) traffic = std::make_unique<TTrafficLog>(ftp, progress);
        // The data connection starts its work before its first read: bound its waits as well.
        ftp.OnWorkBegin = [&](TIdComponent* sender, TWorkMode, int64_t) {
            if (auto* data = dynamic_cast<TIdTCPConnection*>(sender); data && sender != &ftp)
                data->ReadTimeout = opt.timeoutMs;
        };
        // Only the data connection's work is the transfer's; the control connection reports too.
        ftp.OnWork = [&](TIdComponent* sender, TWorkMode, int64_t count) {
            if (sender != &ftp) progress.Update(count);
        };

        std::unique_ptr<TIdFileStream> source;
        std::unique_ptr<TDownloadFile> target;
        if (command == "put") {
            // Opening a folder for reading succeeds; refuse it before the server creates an empty file.
            if (IsDirectory(local)) throw EIdException("Cannot upload a folder: " + local);
            source = std::make_unique<TIdFileStream>(local, TIdFileMode::fmOpenRead);
        }
        if (command == "get") target = std::make_unique<TDownloadFile>(local);

        ftp.OpenSession(true, opt.timeoutMs);
        if (command == "ls") {
            std::vector<std::string> lines;
            if (remote.empty()) {
                ftp.List(&lines);
            } else {
                bool folder = true;
                try {
                    ftp.ChangeDir(remote);
                } catch (const EIdProtocolReplyError&) {
                    // Not a folder: a file is listed by name. A missing name is not sent to LIST, which
                    // servers answer in different ways (an empty listing, or 150 then 450).
                    if (ftp.Size(remote) < 0) throw;
                    folder = false;
                }
                ftp.List(&lines, folder ? "" : remote);
            }
            for (const std::string& line : lines) std::printf("%s\n", line.c_str());
            std::fflush(stdout);
        } else if (command == "get") {
            int64_t total = -1;
            if (progress.Enabled()) total = ftp.Size(remote);
            progress.Begin(total);
            ftp.Get(remote, target->Stream(), false);
            progress.End(target->Stream().Size());
            target->Commit();
        } else {
            progress.Begin(source->Size());
            ftp.Put(*source, remote, false);
            progress.End(source->Size());
        }
        try {
            ftp.Quote("QUIT");
            ftp.Disconnect();
        } catch (const std::exception&) {
            // the work is done; a server that drops the line at QUIT changes nothing
        }
        return 0;
    } catch (const std::exception& e) {
        progress.Clear();
        std::string text = ErrorText(e);
        if (dynamic_cast<const EIdReadTimeout*>(&e))
            text += " (nothing from the server for " + std::to_string(opt.timeoutMs / 1000) + " s)";
        std::fprintf(stderr, "orlix-transfer: %s\n", text.c_str());
        return 1;
    }
}

}  // namespace

int RunTransferTool(int argc, char** argv) {
    TOptions opt;
    bool optionsEnd = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (optionsEnd || a.empty() || a[0] != '-' || a == "-") {
            opt.args.push_back(a);
        } else if (a == "--") {
            optionsEnd = true;
        } else if (a == "-h" || a == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a == "--passive") {
            opt.passive = true;
        } else if (a == "--active") {
            opt.passive = false;
        } else if (a == "--tls" || a.rfind("--tls=", 0) == 0) {
            std::string value;
            if (a == "--tls") {
                if (i + 1 >= argc) return UsageError("--tls needs a MODE");
                value = argv[++i];
            } else {
                value = a.substr(6);
            }
            if (value == "auto")
                opt.tls = TFtpEncryption::Auto;
            else if (value == "explicit")
                opt.tls = TFtpEncryption::Explicit;
            else if (value == "implicit")
                opt.tls = TFtpEncryption::Implicit;
            else if (value == "off")
                opt.tls = TFtpEncryption::Off;
            else
                return UsageError("--tls wants auto, explicit, implicit or off");
            opt.tlsGiven = true;
        } else if (a == "--trust-fingerprint" || a.rfind("--trust-fingerprint=", 0) == 0) {
            std::string value;
            if (a == "--trust-fingerprint") {
                if (i + 1 >= argc) return UsageError("--trust-fingerprint needs SHA256");
                value = argv[++i];
            } else {
                value = a.substr(20);
            }
            opt.fingerprint = NormalFingerprint(value);
            if (opt.fingerprint.size() != 64)
                return UsageError("--trust-fingerprint wants 64 hex digits (colons allowed)");
        } else if (a == "--ca-file" || a.rfind("--ca-file=", 0) == 0) {
            if (a == "--ca-file") {
                if (i + 1 >= argc) return UsageError("--ca-file needs FILE");
                opt.caFile = argv[++i];
            } else {
                opt.caFile = a.substr(10);
            }
        } else if (a == "-v" || a == "--verbose") {
            opt.verbose = true;
        } else if (a == "--timeout" || a.rfind("--timeout=", 0) == 0) {
            std::string value;
            if (a == "--timeout") {
                if (i + 1 >= argc) return UsageError("--timeout needs SECONDS");
                value = argv[++i];
            } else {
                value = a.substr(10);
            }
            if (value.empty() || value.size() > 6 || value.find_first_not_of("0123456789") != std::string::npos ||
                std::stoi(value) < 1)
                return UsageError("--timeout wants whole seconds from 1 to 999999");
            opt.timeoutMs = std::stoi(value) * 1000;
        } else if (a == "--buffers" || a.rfind("--buffers=", 0) == 0) {
            std::string value;
            if (a == "--buffers") {
                if (i + 1 >= argc) return UsageError("--buffers needs RECV,SEND");
                value = argv[++i];
            } else {
                value = a.substr(10);
            }
            if (!ParseBuffers(value, opt.recv, opt.send))
                return UsageError("--buffers wants two sizes from 1 to " + std::to_string(kMaxBuffer) +
                                  " bytes, as RECV,SEND");
        } else {
            return UsageError("unknown option \"" + a + "\"");
        }
    }
    if (opt.args.empty()) return UsageError("no command");

    for (const int sig : {SIGINT, SIGTERM, SIGHUP}) ::signal(sig, OnFatalSignal);
    return Run(opt);
}
