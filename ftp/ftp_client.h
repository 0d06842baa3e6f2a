#pragma once
// The FTP client: the control session (login, control commands) and the data channel (listings,
// downloads, uploads, abort) over a one-shot data connection per transfer.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ftp/list_items.h"
#include "ftp/proxy_settings.h"
#include "ftp/simple_server.h"
#include "transport/rfc_reply.h"
#include "transport/stream.h"
#include "transport/tcp_client.h"
#include "transport/tls_certificate.h"
#include "transport/tls_handler.h"

// Stored as ordinals: keep the order.
enum TIdFTPTransferType { ftASCII = 0, ftBinary = 1 };

class EIdFTPFileAlreadyExists : public EIdException {
public:
    explicit EIdFTPFileAlreadyExists(const std::string& m = "Destination file already exists.") : EIdException(m) {}
};

// How names on the wire are read: Auto asks the server for UTF-8 when it offers it.
enum class TFtpNameEncoding { Auto = 0, Utf8 = 1, Raw = 2 };

// The data port commands: Auto takes EPSV when the server offers it or the session runs over IPv6
// (PASV when the server refuses it) and EPRT where PORT cannot name the address; Classic keeps to
// PASV and PORT on IPv4; Extended asks EPSV and EPRT first always. Over IPv6 every mode takes EPSV
// and EPRT, which alone carry IPv6.
enum class TFtpDataPortCommands { Auto = 0, Classic = 1, Extended = 2 };

// How the session is encrypted: Auto asks for TLS and goes on without it when the server refuses;
// Explicit insists on it (nothing of the login goes out otherwise); Implicit speaks TLS from the
// first byte (servers listen for it on port 990); Off never asks.
enum class TFtpEncryption { Auto = 0, Explicit = 1, Implicit = 2, Off = 3 };

class TIdFTP;

using TIdCreateFTPList = std::function<void(TIdFTP* sender, std::unique_ptr<TIdFTPListItems>& list)>;
using TIdCheckListFormat = std::function<void(TIdFTP* sender, const std::string& line, TIdFTPListFormat& format)>;
using TIdFtpAfterGet = std::function<void(TIdFTP* sender, TIdStream& stream)>;

class TIdFTP : public TIdTCPClient {
public:
    TIdFTP();
    ~TIdFTP() override;

    // ---- Published properties (Host and Port are inherited; Port defaults to 21).
    std::string Username;
    std::string Password;
    bool Passive = false;
    TFtpDataPortCommands DataPortCommands = TFtpDataPortCommands::Auto;
    TFtpNameEncoding NameEncoding = TFtpNameEncoding::Auto;
    TFtpEncryption Encryption = TFtpEncryption::Off;
    // Trust and protocol versions of the next session's TLS.
    TIdTlsOptions Tls;
    static constexpr int kImplicitTlsPort = 990;
    // Asked once per session after the control connection's handshake, before anything else is
    // sent. Empty: verified certificates only.
    TTlsCertificateCheck OnCertificate;
    // The control connection runs under TLS.
    bool Encrypted() const;
    // "TLSv1.3, TLS_AES_256_GCM_SHA384", or "" without TLS.
    std::string TlsDescription() const;
    // The server accepted PROT P: data connections run under TLS too.
    bool DataProtected() const { return dataProtected_; }
    TIdFTPTransferType TransferType() const { return transferType_; }
    // Ignored when equal or while a transfer runs; otherwise stored and, when connected, sent at once.
    void SetTransferType(TIdFTPTransferType value);
    TIdFtpProxySettings& ProxySettings() { return *proxySettings_; }
    // Copies the fields of value into the owned settings.
    void SetProxySettings(const TIdFtpProxySettings& value) { proxySettings_->Assign(value); }

    TIdNotifyEvent OnAfterClientLogin;
    TIdCreateFTPList OnCreateFTPList;
    TIdCheckListFormat OnCheckListFormat;
    TIdFtpAfterGet OnAfterGet;
    // Lives on the listing collection: reading or writing it builds ParsedListing first.
    TIdOnParseCustomListFormat OnParseCustomListFormat();
    void SetOnParseCustomListFormat(TIdOnParseCustomListFormat handler);

    // ---- State
    std::vector<std::string> LastListing;  // lines of the last listing received
    TIdRFCReply LoginReply;                // copy of the last reply of the login sequence
    std::string SystemType;                // answer to SYST ("Unknown" after 500)
    bool ResumeProbed() const { return resumeProbed_; }
    // The open data connection while a transfer runs, otherwise nullptr.
    TIdTCPConnection* DataConnection() const { return dataConnection_.get(); }
    // Bound of the wait for the server's incoming data connection in active mode (ms; 0: none).
    int32_t DataConnectionTimeout = 60000;
    // Data connections move bytes in system calls of this size whatever the buffer settings; the
    // settings still size the work reports (small calls cost more CPU than the transfer itself).
    static constexpr int kDataBulkSize = 256 * 1024;
    // Sends go in smaller pieces: a piece read from the file is still in the cache when it is sent
    // (64 KiB took a fifth less time than 256 KiB on loopback).
    static constexpr int kDataSendBulkSize = 64 * 1024;
    // Bound (ms) of the wait for the answer to a data command before a TLS data handshake.
    static constexpr int kDataAnswerWait = 1500;
    // Bound of each wait for a reply after an aborted or failed transfer (ms). A server that stays
    // silent longer leaves the session closed, so the next command reconnects.
    int32_t AbortReplyTimeout = 10000;
    // The server refused EPSV in this session; PASV is used from then on.
    bool EpsvRefused() const { return epsvRefused_; }

    // The server's FEAT lines after login (one feature each, trimmed), empty when it has none.
    const std::vector<std::string>& Features() const { return features_; }
    // Whether FEAT listed the feature (its first word, case-insensitive: "MLST", "EPSV", "UTF8").
    bool HasFeature(const std::string& name) const;
    // True when the server accepted OPTS UTF8 ON in this session.
    bool Utf8Active() const { return utf8Active_; }
    // Whether names on the wire are to be read as UTF-8: asked for, accepted, or announced by FEAT.
    bool NamesAreUtf8() const;

    // ---- Session and control commands
    // Connects (through the proxy's host and port when one is set), reads the 220 greeting and,
    // with autoLogin, logs in and asks SYST. Any failure disconnects and propagates.
    void OpenSession(bool autoLogin = true, int timeout = IdTimeoutDefault);
    void Login();
    void SendTransferType();
    void ChangeDir(const std::string& directory);
    void ChangeDirUp();
    std::string WorkingDir();
    void MakeDir(const std::string& directory);
    void RemoveDir(const std::string& directory);
    void Delete(const std::string& fileName);
    void Rename(const std::string& oldName, const std::string& newName);
    // -1 unless the server answers 213 with a number.
    int64_t Size(const std::string& fileName);
    void Allocate(int64_t bytes);
    // Sends the line as given; returns the reply code whatever it is.
    int Quote(const std::string& line);
    // NOOP, to keep an idle session open.
    void Noop();
    // REST 1 / REST 0, once per session; later calls return the stored answer.
    bool ResumeSupported();
    // Writes ABOR (no reply read here) and cuts the data connection. Meant to be called from a
    // work handler of the running transfer.
    void Abort();

    // ---- Transfers
    // LIST (details) or NLST with the specifier; lines go to LastListing and, when given, to dest.
    // With details, MLSD instead of LIST when the server offers MLST and allowMlsd is set; a server
    // that then refuses it (500, 502) gets LIST, and LIST from then on in this session.
    void List(std::vector<std::string>* dest, const std::string& specifier = "", bool details = true,
              bool allowMlsd = true);
    // Whether LastListing holds MLSD lines (else LIST or NLST lines).
    bool LastListingIsMlsd() const { return lastListingMlsd_; }
    void Get(const std::string& remoteName, TIdStream& dest, bool resume = false);
    void Get(const std::string& remoteName, const std::string& localName, bool canOverwrite = false,
             bool resume = false);
    // Empty remote name: STOU; append: APPE from the stream's position; else STOR.
    void Put(TIdStream& source, const std::string& remoteName = "", bool append = false);
    void Put(const std::string& localName, const std::string& remoteName = "", bool append = false);
    // When the last List was answered 450 or 550 and taken as empty, that reply; otherwise empty.
    // A caller that must know a file is absent (before replacing it) treats this as a failure.
    const std::string& ListRefusal() const { return listRefusal_; }
    // The parsed form of LastListing, built on first use after each List.
    TIdFTPListItems& ParsedListing();

    // ---- Data channel internals (public for tests and for callers that need the pieces)
    // PASV: the host text and port of the 227 reply.
    void SendPasv(std::string& host, int& port);
    void SendPort(const std::string& ip, int port);
    void ConfigureDataConnection(TIdTCPConnection& data);
    void ReceiveData(const std::string& command, TIdStream& dest, bool resume);
    void SendData(const std::string& command, TIdStream& source, bool fromBeginning);
    void CloseDataConnection();

    // Parsing helpers (exposed for tests).
    static void ParsePasvReply(const std::string& line, std::string& host, int& port);
    static std::string ParsePwdReply(const std::string& line);
    static std::string PortArgument(const std::string& ip, int port);
    // The port of a 229 reply ("... (|||6446|)"); raises EIdException when there is none.
    static int ParseEpsvReply(const std::string& line);
    // "|1|a.b.c.d|port|" or "|2|v6-address|port|".
    static std::string EprtArgument(const std::string& ip, int port);

    // A 421 (the server is closing) closes the session at once and raises; it never stands for
    // the reply of a later command.
    int16_t ReadReply(const std::vector<int16_t>& accepted = {}) override;
    using TIdTCPConnection::SendCommand;
    // Takes replies that arrived unasked (a 421 of an idle time-out, a late answer) before the
    // command goes out, so the command reads its own reply.
    int16_t SendCommand(const std::string& command, const std::vector<int16_t>& accepted) override;

private:
    TIdIOHandlerTls* ControlTls() const;
    int TlsTimeout() const;
    // The control connection's handshake and the certificate decision.
    void StartControlTls();
    void NegotiateExplicitTls();
    // PBSZ and PROT after the login.
    void ProtectData();
    // The data connection's handshake; a reply to the command that arrives meanwhile is read.
    void SecureDataConnection(const std::vector<int16_t>& preliminary);
    // Before a protected data connection under TLS 1.3: a server that takes each session once
    // and sends none where it only reads (uploads) leaves none for the next connection. A spare
    // data connection without a session it takes brings fresh ones (the server refuses its command).
    void RefreshDataSessions();
    // The checks, session refresh, flags and status every transfer starts with.
    void StartTransfer(const std::string& command);
    // After ABOR on a protected download: reads until the server stops sending, then closes.
    void DrainAbortedDownload();
    void CheckLineSafe(const std::string& s) const;
    void UserLogin(const std::string& user, const std::string& password);
    void ProxyLogin();
    // FEAT into features_, then OPTS UTF8 ON when the server offers it and the encoding allows.
    void ReadFeatures();
    void ReadTransferCompletion();
    void FinishTransfer();
    std::unique_ptr<TIdTCPConnection> NewDataClient();
    // The one data connection set-up of listings, downloads and uploads: returns once the server's
    // preliminary reply is read and the data connection is up. restAt >= 0 sends REST first;
    // commandFirst writes the command before a passive connection is made (uploads).
    void OpenDataConnection(const std::string& command, int64_t restAt, bool commandFirst,
                            const std::vector<int16_t>& preliminary);
    void ReadPreliminaryReply(const std::vector<int16_t>& preliminary);
    int RequestPassivePort();
    void SendActiveAddress(const std::string& ip, int port);
    bool ControlIsIPv6() const;
    // After a transfer that failed on our side while the server still runs it.
    void AbandonTransfer();
    // Reads up to the answer of a NOOP, so replies the server may or may not send (to ABOR, after
    // a 426) are consumed. False when the session had to be closed.
    bool Resync();
    int16_t ReadReplyWithin(int ms, const std::vector<int16_t>& accepted = {});
    void MarkBroken();
    void TakeUnsolicitedReplies();

    bool resumeAnswer_ = false;
    bool resumeProbed_ = false;
    int answersBeforeHandshake_ = -1;  // the server answers data commands before the TLS handshake: 1, 0, unknown -1
    int sessionRefresh_ = -1;          // a spare data connection brings sessions the server takes: 1, 0, unknown -1
    bool refreshingSessions_ = false;
    bool dataHandshaken_ = false;  // this transfer's data connection completed its TLS handshake
    bool dataResumed_ = false;     // as a resumption
    unsigned aborts_ = 0;
    TIdFTPTransferType transferType_ = ftBinary;
    std::unique_ptr<TIdTCPConnection> dataConnection_;
    std::unique_ptr<TIdFTPListItems> listResult_;
    std::unique_ptr<TIdFtpProxySettings> proxySettings_;
    bool abortSent_ = false;
    bool receiving_ = false;  // a download's ReceiveStream is running
    bool epsvRefused_ = false;
    bool eprtRefused_ = false;
    bool commandSent_ = false;      // the transfer command is on the wire
    bool preliminaryRead_ = false;  // and its 1xx reply was read
    bool commandRefused_ = false;   // the command itself was answered with a refusal
    std::vector<std::string> features_;
    std::string listRefusal_;
    bool utf8Active_ = false;
    bool mlsdRefused_ = false;      // MLSD answered 500/502 in this session: LIST from then on
    bool lastListingMlsd_ = false;  // LastListing holds MLSD lines
    std::shared_ptr<TIdTlsContext> tlsContext_;
    bool dataProtected_ = false;
    std::string controlFingerprint_;
};
