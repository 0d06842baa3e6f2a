#include "ftp/ftp_client.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <climits>
#include <cstring>
#include <utility>

#include "ftp/list_parsed.h"
#include "transport/id_stack.h"
#include "transport/io_handler.h"

namespace {

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 32; }

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b])) ++b;
    while (e > b && IsBlank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

// Text up to the first delimiter; s keeps what follows it (everything is taken when it is missing).
std::string Fetch(std::string& s, char delimiter) {
    const size_t p = s.find(delimiter);
    std::string head = s.substr(0, p);
    s = (p == std::string::npos) ? std::string() : s.substr(p + 1);
    return head;
}

// Decimal with optional sign and leading blanks; false when anything else is there or it overflows.
bool ParseInt64(const std::string& text, int64_t& value) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i >= text.size()) return false;
    uint64_t v = 0;
    const uint64_t limit = negative ? uint64_t(INT64_MAX) + 1 : uint64_t(INT64_MAX);
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') return false;
        const unsigned d = unsigned(c - '0');
        if (v > (limit - d) / 10) return false;
        v = v * 10 + d;
    }
    value = negative ? static_cast<int64_t>(0 - v) : static_cast<int64_t>(v);
    return true;
}

int StrToIntStrict(const std::string& text) {
    int64_t v = 0;
    if (!ParseInt64(text, v) || v < INT32_MIN || v > INT32_MAX)
        throw EConvertError("'" + text + "' is not a valid integer value");
    return static_cast<int>(v);
}

// Lines end at CR LF, LF or CR; a break at the very end adds no empty line.
std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t i = 0;
    while (i < text.size()) {
        size_t e = i;
        while (e < text.size() && text[e] != '\r' && text[e] != '\n') ++e;
        lines.emplace_back(text, i, e - i);
        if (e < text.size() && text[e] == '\r') ++e;
        if (e < text.size() && text[e] == '\n') ++e;
        i = e;
    }
    return lines;
}

bool LocalFileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

// Collects the small pieces of a download (RecvBufferSize, 4 KiB in the program) into larger
// writes, so the disk sees one call per WriteChunk bytes instead of one per piece. Positions and
// sizes are those of the target plus what is held.
class TIdWriteCoalescer : public TIdStream {
public:
    static constexpr size_t WriteChunk = 256 * 1024;

    explicit TIdWriteCoalescer(TIdStream& target) : target_(target) { held_.reserve(WriteChunk); }

    int64_t Read(void* buffer, int64_t count) override {
        Flush();
        return target_.Read(buffer, count);
    }
    int64_t Write(const void* buffer, int64_t count) override {
        if (count <= 0) return 0;
        if (held_.size() + size_t(count) > WriteChunk) Flush();
        if (size_t(count) >= WriteChunk) return target_.Write(buffer, count);
        const char* p = static_cast<const char*>(buffer);
        held_.insert(held_.end(), p, p + count);
        return count;
    }
    int64_t Seek(int64_t offset, TIdSeekOrigin origin) override {
        if (origin == TIdSeekOrigin::soCurrent && offset == 0)
            return target_.Seek(0, TIdSeekOrigin::soCurrent) + int64_t(held_.size());
        Flush();
        return target_.Seek(offset, origin);
    }
    int64_t Size() override {
        Flush();
        return target_.Size();
    }
    void SetSize(int64_t newSize) override {
        Flush();
        target_.SetSize(newSize);
    }
    void Flush() {
        if (held_.empty()) return;
        std::vector<char> out;
        out.swap(held_);  // held_ is empty even when the write fails
        held_.reserve(WriteChunk);
        target_.WriteBuffer(out.data(), int64_t(out.size()));
    }

private:
    TIdStream& target_;
    std::vector<char> held_;
};

// The reading counterpart: an upload takes SendBufferSize pieces (2 KiB in the program), served
// here from larger reads of the file.
class TIdReadAhead : public TIdStream {
public:
    static constexpr size_t ReadChunk = 256 * 1024;

    explicit TIdReadAhead(TIdStream& source) : source_(source) {}

    int64_t Read(void* buffer, int64_t count) override {
        if (count <= 0) return 0;
        if (next_ == ahead_.size()) {
            ahead_.resize(ReadChunk);
            const int64_t got = source_.Read(ahead_.data(), int64_t(ReadChunk));
            ahead_.resize(size_t(std::max<int64_t>(got, 0)));
            next_ = 0;
            if (ahead_.empty()) return 0;
        }
        const size_t n = std::min(size_t(count), ahead_.size() - next_);
        std::memcpy(buffer, ahead_.data() + next_, n);
        next_ += n;
        return int64_t(n);
    }
    int64_t Write(const void* buffer, int64_t count) override {
        Drop();
        return source_.Write(buffer, count);
    }
    int64_t Seek(int64_t offset, TIdSeekOrigin origin) override {
        const int64_t unread = int64_t(ahead_.size() - next_);
        if (origin == TIdSeekOrigin::soCurrent && offset == 0)
            return source_.Seek(0, TIdSeekOrigin::soCurrent) - unread;
        if (origin == TIdSeekOrigin::soCurrent) offset -= unread;
        Drop();
        return source_.Seek(offset, origin);
    }
    int64_t Size() override { return source_.Size(); }
    void SetSize(int64_t newSize) override {
        const int64_t pos = Seek(0, TIdSeekOrigin::soCurrent);
        Drop();
        source_.SetPosition(pos);
        source_.SetSize(newSize);
    }

private:
    // Forgets what was read ahead, putting the source back where the reader stands.
    void Drop() {
        const int64_t unread = int64_t(ahead_.size() - next_);
        ahead_.clear();
        next_ = 0;
        if (unread > 0) source_.Seek(-unread, TIdSeekOrigin::soCurrent);
    }

    TIdStream& source_;
    std::vector<char> ahead_;
    size_t next_ = 0;
};

// A data client that takes its socket handler from the FTP client.
class TIdFTPDataClient : public TIdTCPClient {
public:
    using TIdTCPConnection::AdoptHandler;
};

}  // namespace

TIdFTP::TIdFTP() : proxySettings_(std::make_unique<TIdFtpProxySettings>()) { SetPort(21); }

TIdFTP::~TIdFTP() = default;

void TIdFTP::CheckLineSafe(const std::string& s) const {
    // Refuse before any step of a multi-command operation goes out, not just at the offending line.
    if (s.find_first_of("\r\n") != std::string::npos) throw EIdException(LineBreakMessage);
}

// ---------------------------------------------------------------- session

void TIdFTP::SetTransferType(TIdFTPTransferType value) {
    if (value == transferType_) return;
    if (dataConnection_) return;  // a transfer runs: keep the type it started with
    transferType_ = value;
    if (IsConnected()) SendTransferType();
}

void TIdFTP::OpenSession(bool autoLogin, int timeout) {
    // A new session may reach another server: its restart support is asked afresh.
    resumeProbed_ = false;
    answersBeforeHandshake_ = -1;
    sessionRefresh_ = -1;
    resumeAnswer_ = false;
    epsvRefused_ = false;
    eprtRefused_ = false;
    features_.clear();
    utf8Active_ = false;
    mlsdRefused_ = false;
    dataProtected_ = false;
    controlFingerprint_.clear();
    const std::string host = Host();
    const int port = Port();
    try {
        if (proxySettings_->ProxyType != fpcmNone && !proxySettings_->Host.empty()) {
            SetHost(proxySettings_->Host);
            SetPort(proxySettings_->Port);
        }
        if (OwnsHandler() && !IOHandler()->HandlerConnected()) FreeOwnedHandler();
        tlsContext_.reset();
        if (Encryption != TFtpEncryption::Off) {
            tlsContext_ = std::make_shared<TIdTlsContext>(Tls);
            if (!IOHandler()) {
                auto* h = new TIdIOHandlerTls(tlsContext_);
                h->OnStatus = OnStatus;
                AdoptHandler(h);
            }
        }
        try {
            ConnectToHost(timeout);
        } catch (...) {
            SetHost(host);
            SetPort(port);
            throw;
        }
        SetHost(host);
        SetPort(port);

        if (Encryption == TFtpEncryption::Implicit) StartControlTls();
        ReadReply({220});
        GreetingReply.Assign(LastReply);
        if (Encryption == TFtpEncryption::Auto || Encryption == TFtpEncryption::Explicit) NegotiateExplicitTls();
        if (autoLogin) {
            Login();
            if (OnAfterClientLogin) OnAfterClientLogin(this);
            if (SendCommand("SYST", {200, 215, 500}) == 500)
                SystemType = "Unknown";
            else
                SystemType = LastReply.Text.empty() ? std::string() : LastReply.Text.front();
            ReadFeatures();
            ReportStatus(stFtpReady, "Connection established");
        }
    } catch (...) {
        try {
            Disconnect();
        } catch (...) {
            // the original failure is the one to report
        }
        throw;
    }
}

void TIdFTP::UserLogin(const std::string& user, const std::string& password) {
    if (SendCommand("USER " + user, {230, 331}) == 331) SendCommand("PASS " + password, {230});
}

void TIdFTP::ProxyLogin() {
    if (!proxySettings_->UserName.empty()) UserLogin(proxySettings_->UserName, proxySettings_->Password);
}

void TIdFTP::Login() {
    const TIdFtpProxySettings& proxy = *proxySettings_;
    for (const std::string* s :
         std::initializer_list<const std::string*>{&Username, &Password, &proxy.UserName, &proxy.Password, &Host()})
        CheckLineSafe(*s);
    switch (proxy.ProxyType) {
        case fpcmNone:
            UserLogin(Username, Password);
            break;
        case fpcmUserSite:
            ProxyLogin();
            UserLogin(Username + "@" + Host(), Password);
            break;
        case fpcmSite:
            ProxyLogin();
            SendCommand("SITE " + Host(), -1);
            UserLogin(Username, Password);
            break;
        case fpcmOpen:
            ProxyLogin();
            SendCommand("OPEN " + Host(), -1);
            UserLogin(Username, Password);
            break;
        case fpcmUserPass:
            if (SendCommand("USER " + Username + "@" + proxy.UserName + "@" + Host(), {230, 331}) == 331) {
                if (proxy.Password.empty())
                    SendCommand("PASS " + Password, {230});
                else
                    SendCommand("PASS " + Password + "@" + proxy.Password, {230});
            }
            break;
        case fpcmTransparent:
            ProxyLogin();
            UserLogin(Username, Password);
            break;
        case fpcmHttpProxyWithFtp:
        default:
            throw EIdException("Command not supported.");
    }
    LoginReply.Assign(LastReply);
    if (Encrypted()) ProtectData();
    SendTransferType();
}

TIdIOHandlerTls* TIdFTP::ControlTls() const { return dynamic_cast<TIdIOHandlerTls*>(IOHandler()); }

bool TIdFTP::Encrypted() const {
    const TIdIOHandlerTls* tls = ControlTls();
    return tls && tls->Encrypted();
}

std::string TIdFTP::TlsDescription() const { return Encrypted() ? ControlTls()->Description() : std::string(); }

int TIdFTP::TlsTimeout() const { return ReadTimeout > 0 ? ReadTimeout : TIdIOHandlerSocket::DefaultConnectTimeout; }

void TIdFTP::NegotiateExplicitTls() {
    if (SendCommand("AUTH TLS", -1) == 234) {
        // Bytes after the 234 came in clear before the handshake: nothing a server may send.
        if (!PendingInput.Empty()) throw EIdTlsError("The server sent unprotected data after accepting AUTH TLS.");
        StartControlTls();
        return;
    }
    if (Encryption == TFtpEncryption::Explicit)
        throw EIdTlsError("The server refused AUTH TLS; the site requires encryption, so nothing more was sent.");
    ReportStatus(stStatusText, "The server does not offer TLS; continuing without encryption.");
}

void TIdFTP::StartControlTls() {
    TIdIOHandlerTls* tls = ControlTls();
    if (!tls) throw EIdTlsError("TLS needs the connection's own handler; another one was set.");
    tls->IoTimeout = TlsTimeout();
    tls->StartTls(Host());
    ReportStatus(stStatusText, "TLS connection established: " + tls->Description());
    TTlsPeerCertificate cert = tls->PeerCertificate();
    cert.Host = Host();
    cert.Port = Port();
    controlFingerprint_ = cert.Sha256;
    const TTlsTrust answer =
        OnCertificate ? OnCertificate(cert) : (cert.Verified() ? TTlsTrust::ThisTime : TTlsTrust::Refuse);
    if (answer == TTlsTrust::Refuse)
        throw EIdTlsError("The server's certificate was not accepted: " +
                          (cert.Problem.empty() ? std::string("refused") : cert.Problem) + ".");
}

void TIdFTP::ProtectData() {
    // PROT is only valid after PBSZ; 0 is the one size TLS knows.
    SendCommand("PBSZ 0", -1);
    if (SendCommand("PROT P", -1) == 200) {
        dataProtected_ = true;
        return;
    }
    if (Encryption != TFtpEncryption::Auto)
        throw EIdTlsError("The server refused to encrypt data connections (PROT P): " + LastReply.TextWithCRLF());
    ReportStatus(stStatusText, "The server refused to encrypt data connections; they go unencrypted.");
}

void TIdFTP::SecureDataConnection(const std::vector<int16_t>& preliminary) {
    auto* tls = dynamic_cast<TIdIOHandlerTls*>(dataConnection_->IOHandler());
    if (!tls) return;
    // Some servers drop a data connection whose handshake arrives before they have taken the
    // command (and then answer it as if none were open). Where the server answers before the
    // handshake, its answer is awaited first; one that answers only after it is learnt at the
    // first data connection and not waited for again.
    if (preliminaryRead_ && answersBeforeHandshake_ < 0) answersBeforeHandshake_ = 1;
    if (!preliminaryRead_ && answersBeforeHandshake_ != 0) {
        using Clock = std::chrono::steady_clock;
        const auto deadline = Clock::now() + std::chrono::milliseconds(kDataAnswerWait);
        auto answered = [&] { return !PendingInput.Empty() || IOHandler()->InputWaiting(); };
        while (!answered() && Clock::now() < deadline) IOHandler()->WaitReadable(20);
        if (answered()) {
            ReadPreliminaryReply(preliminary);
            answersBeforeHandshake_ = 1;
        } else if (answersBeforeHandshake_ < 0) {
            answersBeforeHandshake_ = 0;
        }
    }
    // Servers differ in whether they answer the command before or after the handshake, and a
    // refusal ends it without one: the control connection is watched while it runs.
    auto watch = [&] {
        if (!preliminaryRead_ && (!PendingInput.Empty() || (IOHandler() && IOHandler()->InputWaiting())))
            ReadPreliminaryReply(preliminary);
    };
    // Servers accept data connections only as resumptions of the control connection's session.
    tls->StartTls(Host(), true, watch);
    dataHandshaken_ = true;
    dataResumed_ = tls->SessionReused();
    const TTlsPeerCertificate cert = tls->PeerCertificate();
    if (cert.Sha256 != controlFingerprint_)
        throw EIdTlsError("The data connection's certificate differs from the control connection's.");
}

void TIdFTP::RefreshDataSessions() {
    const TIdIOHandlerTls* control = ControlTls();
    if (!dataProtected_ || refreshingSessions_ || sessionRefresh_ == 0 || !tlsContext_ ||
        !tlsContext_->OnlySpentSession() || !control || control->ProtocolVersion() < 0x0304)
        return;
    // The spare connection is no transfer of the caller's: no progress and no transfer status.
    struct Quiet {
        TIdFTP& f;
        TWorkEvent work = f.OnWork;
        TWorkBeginEvent begin = f.OnWorkBegin;
        TWorkEndEvent end = f.OnWorkEnd;
        TIdStatusEvent status = f.OnStatus;
        explicit Quiet(TIdFTP& ftp) : f(ftp) {
            f.OnWork = nullptr;
            f.OnWorkBegin = nullptr;
            f.OnWorkEnd = nullptr;
            f.OnStatus = nullptr;
            f.refreshingSessions_ = true;
        }
        ~Quiet() {
            f.OnWork = work;
            f.OnWorkBegin = begin;
            f.OnWorkEnd = end;
            f.OnStatus = status;
            f.refreshingSessions_ = false;
        }
    };
    const unsigned aborts = aborts_;
    bool refused = false;
    {
        Quiet quiet(*this);
        TIdMemoryStream sink;
        try {
            ReceiveData("NLST", sink, false);
        } catch (const EIdProtocolReplyError&) {
            refused = true;
        }
    }
    if (aborts_ != aborts) throw EIdException("Transfer aborted.");
    // Learnt once: a server that took the offered session again, or did without one, needs no
    // spare connections; one that refused it and gave fresh sessions gets one whenever they run out.
    const bool helps = refused && dataHandshaken_ && !dataResumed_ && tlsContext_->HasFreshSession();
    if (sessionRefresh_ < 0 && helps)
        ReportStatus(stStatusText,
                     "The server takes each TLS session once and gives none on uploads; a spare data "
                     "connection fetches fresh ones when they run out.");
    sessionRefresh_ = helps ? 1 : 0;
}

void TIdFTP::SendTransferType() { SendCommand(std::string("TYPE ") + (transferType_ == ftASCII ? "A" : "I"), {200}); }

void TIdFTP::ChangeDir(const std::string& directory) { SendCommand("CWD " + directory, {200, 250}); }

void TIdFTP::ChangeDirUp() { SendCommand("CDUP", {200, 250}); }

void TIdFTP::Noop() { SendCommand("NOOP", {200}); }

void TIdFTP::ReadFeatures() {
    // Any answer but 211 (500 and 502 from servers without FEAT) means no extensions.
    if (SendCommand("FEAT", -1) == 211) {
        // The features lie between the opening and the closing line, each after a space.
        const std::vector<std::string>& lines = LastReply.Lines;
        for (size_t i = 1; i + 1 < lines.size(); ++i) {
            std::string f = Trim(lines[i]);
            if (!f.empty()) features_.push_back(std::move(f));
        }
    }
    // Servers that list UTF8 but answer OPTS with an error (501, 504) still send UTF-8 names.
    if (NameEncoding != TFtpNameEncoding::Raw && HasFeature("UTF8"))
        utf8Active_ = SendCommand("OPTS UTF8 ON", -1) == 200;
}

bool TIdFTP::NamesAreUtf8() const {
    if (NameEncoding == TFtpNameEncoding::Raw) return false;
    return NameEncoding == TFtpNameEncoding::Utf8 || utf8Active_ || HasFeature("UTF8");
}

bool TIdFTP::HasFeature(const std::string& name) const {
    auto upper = [](std::string t) {
        for (char& c : t) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return t;
    };
    const std::string want = upper(name);
    for (const auto& f : features_)
        if (upper(f.substr(0, f.find(' '))) == want) return true;
    return false;
}

std::string TIdFTP::ParsePwdReply(const std::string& line) {
    const size_t open = line.find('"');
    if (open == std::string::npos) return std::string();
    const size_t close = line.find('"', open + 1);
    return line.substr(open + 1, close == std::string::npos ? std::string::npos : close - open - 1);
}

std::string TIdFTP::WorkingDir() {
    SendCommand("PWD", {257});
    return ParsePwdReply(LastReply.Text.empty() ? std::string() : LastReply.Text.front());
}

void TIdFTP::MakeDir(const std::string& directory) { SendCommand("MKD " + directory, {257}); }

void TIdFTP::RemoveDir(const std::string& directory) { SendCommand("RMD " + directory, {250}); }

void TIdFTP::Delete(const std::string& fileName) { SendCommand("DELE " + fileName, {250}); }

void TIdFTP::Rename(const std::string& oldName, const std::string& newName) {
    CheckLineSafe(oldName);
    CheckLineSafe(newName);
    SendCommand("RNFR " + oldName, {350});
    SendCommand("RNTO " + newName, {250});
}

int64_t TIdFTP::Size(const std::string& fileName) {
    if (SendCommand("SIZE " + fileName, -1) != 213) return -1;
    std::string text;
    for (size_t i = 0; i < LastReply.Text.size(); ++i) {
        if (i) text += "\r\n";
        text += LastReply.Text[i];
    }
    text = Trim(text);
    const size_t space = text.find(' ');
    if (space != std::string::npos) text.erase(0, space + 1);
    int64_t value = -1;
    return ParseInt64(text, value) ? value : -1;
}

void TIdFTP::Allocate(int64_t bytes) {
    // 202 is what servers answer when no allocation is needed.
    SendCommand("ALLO " + std::to_string(bytes), {200, 202});
}

int TIdFTP::Quote(const std::string& line) { return SendCommand(line, -1); }

bool TIdFTP::ResumeSupported() {
    if (!resumeProbed_) {
        resumeProbed_ = true;
        resumeAnswer_ = SendCommand("REST 1", -1) == 350;
        SendCommand("REST 0", -1);
    }
    return resumeAnswer_;
}

void TIdFTP::Abort() {
    // One ABOR per transfer: every further one would get a reply of its own to read.
    ++aborts_;
    if (!abortSent_ && IsConnected()) {
        WriteLine("ABOR");
        abortSent_ = true;
    }
    // A protected download is read on until the server stops sending (DrainAbortedDownload).
    if (receiving_ && abortSent_ && dataConnection_ && dynamic_cast<TIdIOHandlerTls*>(dataConnection_->IOHandler())) {
        dataConnection_->StopReceiving();
        return;
    }
    CloseDataConnection();
}

void TIdFTP::DrainAbortedDownload() {
    // Servers that write between looks at the control connection end the whole session when a
    // write on a TLS data connection fails, so a reset after ABOR could cost the session. The rest
    // is read and dropped until the server closes the data connection or answers; one that does
    // neither gets the cut after a short while.
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::min<int32_t>(AbortReplyTimeout, 1000));
    try {
        while (dataConnection_->IsConnected() && Clock::now() < deadline) {
            // A reply means the server has stopped; a session the user closed meanwhile needs no more.
            if (!PendingInput.Empty() || !IOHandler() || !IOHandler()->HandlerConnected() ||
                IOHandler()->InputWaiting())
                break;
            dataConnection_->PendingInput.Clear();
            dataConnection_->ReadFromSocket(true, 20, false);
        }
    } catch (const EIdException&) {
        // closed or failed: either way the server has stopped writing
    }
    dataConnection_->PendingInput.Clear();
    CloseDataConnection();
}

void TIdFTP::CloseDataConnection() {
    if (!dataConnection_) return;
    if (auto* server = dynamic_cast<TIdSimpleServer*>(dataConnection_.get())) server->AbortWait();
    dataConnection_->CloseSocket();
}

// ---------------------------------------------------------------- data channel

void TIdFTP::ParsePasvReply(const std::string& line, std::string& host, int& port) {
    std::string s = Trim(line);
    const size_t open = s.find('('), close = s.find(')');
    if (open != std::string::npos && close != std::string::npos) {
        s = close > open ? s.substr(open + 1, close - open - 1) : std::string();
    } else {
        const size_t space = s.rfind(' ');
        if (space != std::string::npos) s = s.substr(space + 1);
    }
    host = Fetch(s, ',');
    for (int i = 0; i < 3; ++i) {
        host += '.';
        host += Fetch(s, ',');
    }
    const int high = StrToIntStrict(Fetch(s, ','));
    const int low = StrToIntStrict(Fetch(s, ','));
    // Each part is one byte; anything else would name a port other than the one meant. Port 0
    // cannot be connected to, so it is refused here with the reply's fault rather than the socket's.
    if (high < 0 || high > 255 || low < 0 || low > 255 || (high == 0 && low == 0))
        throw EIdException("Invalid port in passive mode reply.");
    port = high * 256 + low;
}

void TIdFTP::SendPasv(std::string& host, int& port) {
    SendCommand("PASV", {227});
    ParsePasvReply(LastReply.Text.empty() ? std::string() : LastReply.Text.front(), host, port);
}

std::string TIdFTP::PortArgument(const std::string& ip, int port) {
    std::string a = ip;
    for (char& c : a)
        if (c == '.') c = ',';
    return a + "," + std::to_string(port / 256) + "," + std::to_string(port % 256);
}

void TIdFTP::SendPort(const std::string& ip, int port) { SendCommand("PORT " + PortArgument(ip, port), {200}); }

int TIdFTP::ParseEpsvReply(const std::string& line) {
    std::string s = Trim(line);
    const size_t open = s.find('('), close = s.find(')', open == std::string::npos ? 0 : open);
    if (open != std::string::npos && close != std::string::npos)
        s = s.substr(open + 1, close - open - 1);
    else if (s.rfind(' ') != std::string::npos)
        s = s.substr(s.rfind(' ') + 1);
    // "|||port|": the first character is the delimiter; the port follows the third one.
    if (s.size() < 5) throw EIdException("Invalid port in extended passive mode reply.");
    const char d = s[0];
    std::vector<std::string> fields;
    size_t from = 1;
    for (size_t at = s.find(d, from); at != std::string::npos; at = s.find(d, from)) {
        fields.push_back(s.substr(from, at - from));
        from = at + 1;
    }
    int64_t port = 0;
    if (fields.size() != 3 || from != s.size() || !ParseInt64(fields[2], port) || port < 1 || port > 65535)
        throw EIdException("Invalid port in extended passive mode reply.");
    return static_cast<int>(port);
}

std::string TIdFTP::EprtArgument(const std::string& ip, int port) {
    const bool v6 = TIdStack::AddressFamily(ip) == AF_INET6;
    return std::string("|") + (v6 ? "2" : "1") + "|" + TIdStack::StripBrackets(ip) + "|" + std::to_string(port) + "|";
}

bool TIdFTP::ControlIsIPv6() const {
    const TIdSocketHandle* control = Binding();
    return control && TIdStack::AddressFamily(control->PeerIP) == AF_INET6;
}

int TIdFTP::RequestPassivePort() {
    // Over IPv6 PASV has no address to give, so EPSV is asked first in every mode.
    const bool extended = !epsvRefused_ && (ControlIsIPv6() || DataPortCommands == TFtpDataPortCommands::Extended ||
                                            (DataPortCommands == TFtpDataPortCommands::Auto && HasFeature("EPSV")));
    if (extended) {
        if (SendCommand("EPSV", {229, 500, 502, 522}) == 229)
            return ParseEpsvReply(LastReply.Text.empty() ? std::string() : LastReply.Text.front());
        epsvRefused_ = true;  // asked once per session
    }
    std::string host;
    int port = 0;
    SendPasv(host, port);
    return port;
}

void TIdFTP::SendActiveAddress(const std::string& ip, int port) {
    // PORT cannot carry an IPv6 address.
    const bool v6 = TIdStack::AddressFamily(ip) == AF_INET6;
    if (v6 || (DataPortCommands == TFtpDataPortCommands::Extended && !eprtRefused_)) {
        const int code = SendCommand("EPRT " + EprtArgument(ip, port), {200, 500, 502, 522});
        if (code == 200) return;
        if (v6) RaiseReplyError();
        eprtRefused_ = true;
    }
    SendPort(ip, port);
}

void TIdFTP::ConfigureDataConnection(TIdTCPConnection& data) {
    data.SendBufferSize = SendBufferSize;
    data.RecvBufferSize = RecvBufferSize;
    data.BulkSize = kDataBulkSize;
    data.SendBulkSize = kDataSendBulkSize;
    // A bound on the control connection's waits bounds the data's too: a server that goes silent
    // in mid-transfer would otherwise hold the transfer for ever.
    data.ReadTimeout = ReadTimeout;
    data.OnWork = OnWork;
    data.OnWorkBegin = OnWorkBegin;
    data.OnWorkEnd = OnWorkEnd;
    if (auto* tls = dynamic_cast<TIdIOHandlerTls*>(data.IOHandler())) tls->IoTimeout = TlsTimeout();
}

std::unique_ptr<TIdTCPConnection> TIdFTP::NewDataClient() {
    auto client = std::make_unique<TIdFTPDataClient>();
    if (auto* control = dynamic_cast<TIdIOHandlerSocket*>(IOHandler())) {
        auto* handler = dataProtected_ ? new TIdIOHandlerTls(tlsContext_) : new TIdIOHandlerSocket();
        handler->SocksInfo() = control->SocksInfo();
        client->AdoptHandler(handler);
    }
    ConfigureDataConnection(*client);
    return client;
}

void TIdFTP::FinishTransfer() {
    std::unique_ptr<TIdTCPConnection> data = std::move(dataConnection_);
    if (data) {
        try {
            data->Disconnect();
        } catch (...) {
            // the connection goes away anyway
        }
        data.reset();
    }
    ReportStatus(stFtpReady, "Transfer complete");
}

int16_t TIdFTP::ReadReply(const std::vector<int16_t>& accepted) {
    const int16_t code = TIdTCPConnection::ReadReply({});
    if (code == 421) {
        // The server ends the session: no later reply will come.
        const TIdRFCReply closing = LastReply;
        Disconnect();
        LastReply = closing;
        RaiseReplyError();
    }
    return CheckReply(code, accepted);
}

int16_t TIdFTP::SendCommand(const std::string& command, const std::vector<int16_t>& accepted) {
    TakeUnsolicitedReplies();
    return TIdTCPConnection::SendCommand(command, accepted);
}

void TIdFTP::TakeUnsolicitedReplies() {
    for (int i = 0; i < 16 && IsConnected(); ++i) {
        if (PendingInput.Empty() && !(IOHandler() && IOHandler()->HandlerConnected() && IOHandler()->InputWaiting()))
            return;
        // A closed socket raises here with the Disconnected status; a 421 closes the session.
        ReadReplyWithin(AbortReplyTimeout);
    }
}

int16_t TIdFTP::ReadReplyWithin(int ms, const std::vector<int16_t>& accepted) {
    const int saved = ReadTimeout;
    ReadTimeout = ms > 0 ? ms : saved;
    try {
        const int16_t code = ReadReply(accepted);
        ReadTimeout = saved;
        return code;
    } catch (...) {
        ReadTimeout = saved;
        throw;
    }
}

void TIdFTP::MarkBroken() {
    if (!IsConnected()) return;
    ReportStatus(stStatusText, "No answer from the server after the transfer; closing the session");
    Disconnect();
}

bool TIdFTP::Resync() {
    try {
        WriteLine("NOOP");
        // Whatever comes before the NOOP's 200 is what the server still had to say.
        for (int i = 0; i < 8; ++i)
            if (ReadReplyWithin(AbortReplyTimeout) == 200) return true;
    } catch (const EIdException&) {
        // no answer to the NOOP: the session is out of step
    }
    MarkBroken();
    return false;
}

void TIdFTP::ReadTransferCompletion() {
    const bool aborted = abortSent_;
    abortSent_ = false;
    if (!aborted) {
        const int code = ReadReply({225, 226, 250, 426, 450, 451});
        if (code < 400) return;
        // The server failed the transfer: what arrived is not the whole, so it is an error. A
        // second reply may or may not follow; the session stays in step either way.
        const TIdRFCReply failure = LastReply;
        ReportStatus(stFtpAborted, "Transfer aborted");
        Resync();
        LastReply = failure;
        RaiseReplyError();
    }
    // After ABOR servers send two replies (426 then 226, or 226 then 225) or one; the transfer's
    // own reply comes first. Every wait is bounded.
    int code = 0;
    try {
        do code = ReadReplyWithin(AbortReplyTimeout);
        while (code >= 100 && code < 200);
    } catch (const EIdException&) {
        MarkBroken();
        return;
    }
    const TIdRFCReply completion = LastReply;
    if (Resync()) LastReply = completion;
    if (code >= 400 && code < 500) ReportStatus(stFtpAborted, "Transfer aborted");
}

void TIdFTP::AbandonTransfer() {
    // The server still runs the command: stop it and read what it says, so the next command
    // reads its own reply.
    if (!commandSent_ || !IsConnected()) return;
    try {
        if (!abortSent_) WriteLine("ABOR");
        abortSent_ = false;
        int code = 0;
        do code = ReadReplyWithin(AbortReplyTimeout);
        while (code >= 100 && code < 200);
        Resync();
    } catch (const EIdException&) {
        MarkBroken();
    }
}

// The server's side of the data connection in active mode: bound to the control connection's local
// address, taking only the control peer.
static TIdSimpleServer* StartActiveListener(TIdFTP& ftp, std::unique_ptr<TIdTCPConnection>& slot, int32_t acceptTimeout,
                                            const std::shared_ptr<TIdTlsContext>& tls) {
    auto server = std::make_unique<TIdSimpleServer>();
    if (tls) server->UseHandler(new TIdIOHandlerTls(tls));
    ftp.ConfigureDataConnection(*server);
    if (TIdSocketHandle* control = ftp.Binding()) {
        server->BoundIP = control->IP;
        server->AllowedPeerIP = control->PeerIP;
    }
    server->AcceptTimeout = acceptTimeout;
    TIdSimpleServer* raw = server.get();
    slot = std::move(server);
    raw->StartListening();
    return raw;
}

void TIdFTP::ReadPreliminaryReply(const std::vector<int16_t>& preliminary) {
    try {
        ReadReply(preliminary);
    } catch (const EIdProtocolReplyError&) {
        // A final answer to the command (a refusal): nothing more comes for it.
        if (LastReply.NumericCode() >= 200) {
            commandSent_ = false;
            commandRefused_ = true;
        }
        throw;
    }
    preliminaryRead_ = true;
}

void TIdFTP::OpenDataConnection(const std::string& command, int64_t restAt, bool commandFirst,
                                const std::vector<int16_t>& preliminary) {
    auto sendCommand = [&] {
        if (restAt >= 0) SendCommand("REST " + std::to_string(restAt), {350});
        TakeUnsolicitedReplies();
        commandSent_ = true;
        WriteLine(command);
    };
    if (Passive) {
        const int port = RequestPassivePort();
        // Connect where the control connection goes; the host named in the reply is not trusted.
        const std::string peer = Binding() ? Binding()->PeerIP : Host();
        // Uploads: servers take the command before the data connection.
        if (commandFirst) sendCommand();
        dataConnection_ = NewDataClient();
        auto* client = static_cast<TIdTCPClient*>(dataConnection_.get());
        client->SetHost(peer);
        client->SetPort(port);
        client->ConnectToHost(IdTimeoutDefault);
        if (!commandFirst) sendCommand();
        SecureDataConnection(preliminary);
        if (!preliminaryRead_) ReadPreliminaryReply(preliminary);
    } else {
        // The listener first: the server connects as soon as it has the command.
        TIdSimpleServer* server =
            StartActiveListener(*this, dataConnection_, DataConnectionTimeout, dataProtected_ ? tlsContext_ : nullptr);
        SendActiveAddress(server->ListenSocket().IP, server->ListenSocket().Port);
        sendCommand();
        if (dataProtected_) {
            // Some servers connect and wait for the handshake before they answer the command.
            using Clock = std::chrono::steady_clock;
            const auto deadline = Clock::now() + std::chrono::milliseconds(DataConnectionTimeout);
            while (!(!PendingInput.Empty() || IOHandler()->InputWaiting()) && !server->ListenSocket().WaitReadable(20))
                if (DataConnectionTimeout > 0 && Clock::now() >= deadline)
                    throw EIdException("Data connection timed out.");
            if (!PendingInput.Empty() || IOHandler()->InputWaiting()) ReadPreliminaryReply(preliminary);
        } else {
            ReadPreliminaryReply(preliminary);
        }
        if (!server->WaitForConnection() && server->TimedOut()) throw EIdException("Data connection timed out.");
        SecureDataConnection(preliminary);
        if (!preliminaryRead_) ReadPreliminaryReply(preliminary);
    }
}

void TIdFTP::StartTransfer(const std::string& command) {
    CheckLineSafe(command);
    RefreshDataSessions();
    dataHandshaken_ = dataResumed_ = false;
    abortSent_ = commandSent_ = preliminaryRead_ = commandRefused_ = false;
    ReportStatus(stFtpTransfer, "Starting FTP transfer");
}

void TIdFTP::ReceiveData(const std::string& command, TIdStream& dest, bool resume) {
    StartTransfer(command);
    try {
        OpenDataConnection(command, resume ? dest.Position() : -1, false, {125, 150, 154});
        receiving_ = true;
        dataConnection_->ReceiveStream(dest, -1, true);
        receiving_ = false;
        if (abortSent_) DrainAbortedDownload();
        dataConnection_->Disconnect();
    } catch (...) {
        receiving_ = false;
        FinishTransfer();
        AbandonTransfer();
        throw;
    }
    FinishTransfer();
    ReadTransferCompletion();
}

void TIdFTP::SendData(const std::string& command, TIdStream& source, bool fromBeginning) {
    StartTransfer(command);
    try {
        OpenDataConnection(command, -1, true,
                           Passive ? std::vector<int16_t>{110, 125, 150} : std::vector<int16_t>{125, 150});
        try {
            dataConnection_->SendStream(source, fromBeginning, 0, false);
        } catch (const EIdSocketError& e) {
            // A write under way when Abort closed the socket (EBADF is this platform's form of it).
            if (!abortSent_ && e.LastError != Id_WSAENOTSOCK && e.LastError != Id_WSAEBADF) throw;
        } catch (const EIdConnClosedGracefully&) {
            // Abort closed the data connection: the server's replies are read below as for a
            // download, so the session goes on without a reconnect.
            if (!abortSent_) throw;
        } catch (const EIdClosedSocket&) {
            if (!abortSent_) throw;
        }
        // The server takes the upload as complete only after close_notify.
        if (auto* tls = dynamic_cast<TIdIOHandlerTls*>(dataConnection_->IOHandler()); tls && !abortSent_)
            tls->ShutdownTls();
        dataConnection_->Disconnect();
    } catch (...) {
        FinishTransfer();
        AbandonTransfer();
        throw;
    }
    const bool aborted = abortSent_;
    FinishTransfer();
    ReadTransferCompletion();
    if (aborted && !(LastReply.NumericCode() >= 400 && LastReply.NumericCode() < 500))
        ReportStatus(stFtpAborted, "Transfer aborted");  // the upload was cut whatever the server says
}

void TIdFTP::List(std::vector<std::string>* dest, const std::string& specifier, bool details, bool allowMlsd) {
    TIdMemoryStream text;
    listRefusal_.clear();
    // MLSD takes a path only: a LIST option such as "-la" stays with LIST.
    const bool mlsd =
        details && allowMlsd && !mlsdRefused_ && HasFeature("MLST") && (specifier.empty() || specifier[0] != '-');
    bool usedMlsd = false;
    if (mlsd) {
        try {
            ReceiveData(Trim("MLSD " + specifier), text, false);
            usedMlsd = true;
        } catch (const EIdProtocolReplyError& e) {
            if (e.ReplyCode != 500 && e.ReplyCode != 502) throw;
            // Listed in FEAT but not understood: LIST for the rest of the session.
            mlsdRefused_ = true;
            text.SetSize(0);
            text.SetPosition(0);
        }
    }
    if (!usedMlsd) {
        try {
            ReceiveData(Trim((details ? "LIST " : "NLST ") + specifier), text, false);
        } catch (const EIdProtocolReplyError& e) {
            // Servers answer the listing of an empty directory with 450 or 550 ("No files found").
            // Only the answer to LIST or NLST itself: a refused PORT or PASV is an error as ever.
            const bool toTheCommand = commandRefused_ && IsConnected();
            if (!toTheCommand || (e.ReplyCode != 450 && e.ReplyCode != 550) || text.Size() != 0) throw;
            listRefusal_ = LastReply.TextWithCRLF();
            while (!listRefusal_.empty() && (listRefusal_.back() == '\n' || listRefusal_.back() == '\r'))
                listRefusal_.pop_back();
        }
    }
    listResult_.reset();
    lastListingMlsd_ = usedMlsd;
    std::vector<std::string> lines = SplitLines(text.DataString());
    if (dest) *dest = lines;
    LastListing = std::move(lines);
}

void TIdFTP::Get(const std::string& remoteName, TIdStream& dest, bool resume) {
    CheckLineSafe(remoteName);
    const bool effectiveResume = resume && ResumeSupported();
    ReceiveData("RETR " + remoteName, dest, effectiveResume);
    if (OnAfterGet) OnAfterGet(this, dest);
}

void TIdFTP::Get(const std::string& remoteName, const std::string& localName, bool canOverwrite, bool resume) {
    CheckLineSafe(remoteName);  // before the local file is touched
    std::unique_ptr<TIdFileStream> file;
    bool effectiveResume = resume;
    if (!LocalFileExists(localName)) {
        file = std::make_unique<TIdFileStream>(localName, TIdFileMode::fmCreate);
    } else {
        effectiveResume = resume && ResumeSupported();
        if (canOverwrite && !effectiveResume) {
            file = std::make_unique<TIdFileStream>(localName, TIdFileMode::fmCreate);
        } else if (!canOverwrite && effectiveResume) {
            file = std::make_unique<TIdFileStream>(localName, TIdFileMode::fmOpenReadWrite);
            file->Seek(0, TIdSeekOrigin::soEnd);
        } else {
            throw EIdFTPFileAlreadyExists();
        }
    }
    TIdWriteCoalescer dest(*file);
    try {
        Get(remoteName, dest, effectiveResume);
    } catch (...) {
        try {
            dest.Flush();  // what arrived before the failure stays in the file
        } catch (...) {
            // the transfer's failure is the one to report
        }
        throw;
    }
    dest.Flush();
}

void TIdFTP::Put(TIdStream& source, const std::string& remoteName, bool append) {
    if (remoteName.empty())
        SendData("STOU ", source, true);
    else if (append)
        SendData("APPE " + remoteName, source, false);
    else
        SendData("STOR " + remoteName, source, true);
}

void TIdFTP::Put(const std::string& localName, const std::string& remoteName, bool append) {
    CheckLineSafe(remoteName);
    TIdFileStream file(localName, TIdFileMode::fmOpenRead);
    TIdReadAhead source(file);
    Put(source, remoteName, append);
}

TIdFTPListItems& TIdFTP::ParsedListing() {
    TIdFTPListEvents events;
    if (OnCreateFTPList)
        events.OnCreateFTPList = [this](std::unique_ptr<TIdFTPListItems>& list) { OnCreateFTPList(this, list); };
    if (OnCheckListFormat)
        events.OnCheckListFormat = [this](const std::string& line, TIdFTPListFormat& format) {
            OnCheckListFormat(this, line, format);
        };
    if (lastListingMlsd_) events.Mlsd = true;
    const bool fresh = !listResult_;
    TIdFTPListItems& items = BuildParsedListing(listResult_, LastListing, events);
    if (fresh && items.DroppedLines() > 0)
        ReportStatus(stStatusText, "Listing: " + std::to_string(items.DroppedLines()) +
                                       " line(s) not understood and left out, the first: " + items.FirstDroppedLine());
    return items;
}

TIdOnParseCustomListFormat TIdFTP::OnParseCustomListFormat() { return ParsedListing().OnParseCustomListFormat; }

void TIdFTP::SetOnParseCustomListFormat(TIdOnParseCustomListFormat handler) {
    ParsedListing().OnParseCustomListFormat = std::move(handler);
}
