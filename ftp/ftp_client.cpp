#include "ftp/ftp_client.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
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
    resumeAnswer_ = false;
    features_.clear();
    utf8Active_ = false;
    mlsdRefused_ = false;
    const std::string host = Host();
    const int port = Port();
    try {
        if (proxySettings_->ProxyType != fpcmNone && !proxySettings_->Host.empty()) {
            SetHost(proxySettings_->Host);
            SetPort(proxySettings_->Port);
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

        ReadReply({220});
        GreetingReply.Assign(LastReply);
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
    SendTransferType();
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
    if (IsConnected()) {
        WriteLine("ABOR");
        abortSent_ = true;
    }
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
    // Each part is one byte; anything else would name a port other than the one meant.
    if (high < 0 || high > 255 || low < 0 || low > 255) throw EIdException("Invalid port in passive mode reply.");
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

void TIdFTP::ConfigureDataConnection(TIdTCPConnection& data) {
    data.SendBufferSize = SendBufferSize;
    data.RecvBufferSize = RecvBufferSize;
    data.OnWork = OnWork;
    data.OnWorkBegin = OnWorkBegin;
    data.OnWorkEnd = OnWorkEnd;
}

std::unique_ptr<TIdTCPConnection> TIdFTP::NewDataClient() {
    auto client = std::make_unique<TIdFTPDataClient>();
    if (auto* control = dynamic_cast<TIdIOHandlerSocket*>(IOHandler())) {
        auto* handler = new TIdIOHandlerSocket();
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

void TIdFTP::ReadTransferCompletion() {
    const bool abortSent = abortSent_;
    abortSent_ = false;
    const int code = ReadReply({225, 226, 250, 426, 450});
    if (code == 426 || code == 450) {
        ReadReply({226, 225});
        ReportStatus(stFtpAborted, "Transfer aborted");
    } else if (abortSent) {
        // The transfer had finished before the server saw ABOR, which it still answers: take that
        // answer now so the next command does not read it as its own. Bounded, in case a server
        // stays silent.
        const int saved = ReadTimeout;
        ReadTimeout = 5000;
        try {
            ReadReply();
        } catch (const EIdReadTimeout&) {
        }
        ReadTimeout = saved;
    }
}

// The server's side of the data connection in active mode: bound to the control connection's local
// address, taking only the control peer.
static TIdSimpleServer* StartActiveListener(TIdFTP& ftp, std::unique_ptr<TIdTCPConnection>& slot,
                                            int32_t acceptTimeout) {
    auto server = std::make_unique<TIdSimpleServer>();
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

static void WaitForServerConnection(TIdSimpleServer& server) {
    if (!server.WaitForConnection() && server.TimedOut()) throw EIdException("Data connection timed out.");
}

void TIdFTP::ReceiveData(const std::string& command, TIdStream& dest, bool resume) {
    CheckLineSafe(command);
    abortSent_ = false;
    ReportStatus(stFtpTransfer, "Starting FTP transfer");
    try {
        if (Passive) {
            std::string host;
            int port = 0;
            SendPasv(host, port);
            // Connect where the control connection goes; the host named in the reply is not trusted.
            const std::string peer = Binding() ? Binding()->PeerIP : host;
            dataConnection_ = NewDataClient();
            auto* client = static_cast<TIdTCPClient*>(dataConnection_.get());
            client->SetHost(peer);
            client->SetPort(port);
            client->ConnectToHost(IdTimeoutDefault);
            if (resume) SendCommand("REST " + std::to_string(dest.Position()), {350});
            WriteLine(command);
            ReadReply({125, 150, 154});
            dataConnection_->ReceiveStream(dest, -1, true);
            dataConnection_->Disconnect();
        } else {
            TIdSimpleServer* server = StartActiveListener(*this, dataConnection_, DataConnectionTimeout);
            SendPort(server->ListenSocket().IP, server->ListenSocket().Port);
            if (resume) SendCommand("REST " + std::to_string(dest.Position()), {350});
            SendCommand(command, {125, 150, 154});
            WaitForServerConnection(*server);
            server->ReceiveStream(dest, -1, true);
        }
    } catch (...) {
        FinishTransfer();
        throw;
    }
    FinishTransfer();
    ReadTransferCompletion();
}

void TIdFTP::SendData(const std::string& command, TIdStream& source, bool fromBeginning) {
    CheckLineSafe(command);
    abortSent_ = false;
    ReportStatus(stFtpTransfer, "Starting FTP transfer");
    try {
        if (Passive) {
            std::string host;
            int port = 0;
            SendPasv(host, port);
            WriteLine(command);
            const std::string peer = Binding() ? Binding()->PeerIP : host;
            dataConnection_ = NewDataClient();
            auto* client = static_cast<TIdTCPClient*>(dataConnection_.get());
            client->SetHost(peer);
            client->SetPort(port);
            client->ConnectToHost(IdTimeoutDefault);
            ReadReply({110, 125, 150});
            try {
                dataConnection_->SendStream(source, fromBeginning, 0, false);
            } catch (const EIdSocketError& e) {
                // A write under way when Abort closed the socket (EBADF is this platform's form of it).
                if (e.LastError != Id_WSAENOTSOCK && e.LastError != Id_WSAEBADF) throw;
            }
            dataConnection_->Disconnect();
        } else {
            TIdSimpleServer* server = StartActiveListener(*this, dataConnection_, DataConnectionTimeout);
            SendPort(server->ListenSocket().IP, server->ListenSocket().Port);
            SendCommand(command, {125, 150});
            WaitForServerConnection(*server);
            server->SendStream(source, fromBeginning, 0, false);
        }
    } catch (...) {
        FinishTransfer();
        throw;
    }
    FinishTransfer();
    ReadTransferCompletion();
}

void TIdFTP::List(std::vector<std::string>* dest, const std::string& specifier, bool details, bool allowMlsd) {
    TIdMemoryStream text;
    // MLSD takes a path only: a LIST option such as "-la" stays with LIST.
    const bool mlsd = details && allowMlsd && !mlsdRefused_ && HasFeature("MLST") &&
                      (specifier.empty() || specifier[0] != '-');
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
    if (!usedMlsd) ReceiveData(Trim((details ? "LIST " : "NLST ") + specifier), text, false);
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
    return BuildParsedListing(listResult_, LastListing, events);
}

TIdOnParseCustomListFormat TIdFTP::OnParseCustomListFormat() { return ParsedListing().OnParseCustomListFormat; }

void TIdFTP::SetOnParseCustomListFormat(TIdOnParseCustomListFormat handler) {
    ParsedListing().OnParseCustomListFormat = std::move(handler);
}
