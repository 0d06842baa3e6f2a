#pragma once
// A TCP connection with buffered line, exact-count and stream input, writes, and numbered replies.

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "transport/buffers.h"
#include "transport/component.h"
#include "transport/id_exception.h"
#include "transport/intercept.h"
#include "transport/io_handler.h"
#include "transport/rfc_reply.h"
#include "transport/stream.h"

enum TIdMaxLineAction { maException, maSplit };

constexpr int IdMaxLineLengthDefault = 16384;
constexpr int IdTimeoutDefault = -1;
constexpr int IdTimeoutInfinite = -2;

class TIdTCPConnection : public TIdComponent {
public:
    TIdTCPConnection();
    ~TIdTCPConnection() override;

    bool ASCIIFilter = false;
    bool PeerClosed = false;
    TIdRFCReply GreetingReply;
    TIdManagedBuffer PendingInput;
    TIdRFCReply LastReply;
    TIdMaxLineAction MaxLineAction = maException;
    int MaxLineLength = IdMaxLineLengthDefault;  // 0: no limit
    TIdNotifyEvent OnDisconnected;
    bool LineWasSplit = false;
    bool LineTimedOut = false;
    int ReadTimeout = 0;         // ms; 0: no limit
    int RecvBufferSize = 32768;  // most bytes taken in one receive
    int SendBufferSize = 32768;  // piece size of SendStream
    // Bytes moved per system call on bulk transfers when larger than the sizes above; work is still
    // reported in pieces of at most those sizes (0: the sizes above also bound the system calls).
    int BulkSize = 0;      // receives
    int SendBulkSize = 0;  // SendStream

    bool OwnsHandler() const { return ownsHandler_; }
    TIdIOHandler* IOHandler() const { return ioHandler_; }
    // Destroys a handler this connection owned, then links the new one (not owned).
    void SetIOHandler(TIdIOHandler* handler);
    // The socket of a TIdIOHandlerSocket handler, or nullptr.
    TIdSocketHandle* Binding() const;
    TIdConnectionIntercept* Intercept() const { return intercept_; }
    void SetIntercept(TIdConnectionIntercept* intercept);

    virtual void NotifyDisconnected();
    // Empties PendingInput (no work reported) and clears PeerClosed.
    virtual void ResetInput();
    // Everything until the peer closes (read work, maximum 0).
    virtual std::string ReadAll();
    virtual void CheckDisconnect(bool raiseIfClosed = true, bool ignoreBuffered = false);
    virtual int64_t ProbeDisconnect(bool raiseIfClosed = true);
    // An empty list accepts every code; otherwise a code not in it raises through RaiseReplyError.
    virtual int16_t CheckReply(int16_t code, const std::vector<int16_t>& accepted);
    virtual bool IsConnected();
    virtual void Disconnect();
    virtual void CloseSocket();
    // Reads one complete reply into LastReply and checks it.
    virtual int16_t ReadReply(const std::vector<int16_t>& accepted = {});
    // EIdProtocolReplyError with LastReply's code and text.
    [[noreturn]] virtual void RaiseReplyError();
    // An exception of the given class (e.g. &IdRaise<EIdConnectException>) with LastReply's text.
    [[noreturn]] virtual void RaiseReplyError(TIdExceptionClass exceptionClass);
    template <class E>
    [[noreturn]] void RaiseReplyErrorAs() {
        RaiseReplyError(&IdRaise<E>);
        throw E(LastReply.TextWithCRLF());  // not reached
    }
    // timeout -1: ReadTimeout. Returns bytes appended, -1 on a time-out without raise.
    virtual int64_t ReadFromSocket(bool raiseIfClosed = true, int timeout = IdTimeoutDefault,
                                   bool raiseOnTimeout = true);
    // terminator "" = LF; timeout -1 = ReadTimeout; maxLength -1 = MaxLineLength.
    virtual std::string ReadLine(const std::string& terminator = "\n", int timeout = IdTimeoutDefault,
                                 int maxLength = -1);
    // WriteLine of the command (refused with EIdException when it holds CR or LF), then ReadReply.
    virtual int16_t SendCommand(const std::string& command, const std::vector<int16_t>& accepted);
    // One accepted code; -1 accepts any.
    int16_t SendCommand(const std::string& command, int16_t accepted = -1);
    // A braced list of codes ({} accepts any; {230} accepts 230).
    int16_t SendCommand(const std::string& command, std::initializer_list<int16_t> accepted) {
        return SendCommand(command, std::vector<int16_t>(accepted));
    }
    virtual void WriteText(const std::string& s);
    // s followed by CR LF in one block; s holding CR or LF is refused with EIdException
    // ("Command contains a line break.") before anything is written.
    virtual void WriteLine(const std::string& s);
    // count 0: to the end of the source.
    virtual void SendStream(TIdStream& source, bool fromStart = true, int64_t count = 0, bool withSizePrefix = false);
    // Raises EIdFileNotFound when the file is missing.
    virtual void SendFile(const std::string& path);

    void ReadExact(char* destination, int64_t count);
    std::string ReadString(int64_t count);
    int32_t ReadNetInt32();
    // count -1 without untilClosed: read the count with ReadNetInt32 first. A counted read that cannot
    // be completed because the connection is closed raises EIdConnClosedGracefully.
    void ReceiveStream(TIdStream& destination, int64_t count = -1, bool untilClosed = false);
    // Ends a running ReceiveStream after the block at hand, leaving the connection open (called
    // from a work handler).
    void StopReceiving() { receiveStopped_ = true; }
    void WriteBytes(const void* data, int64_t count);
    void WriteBytes(const std::string& data) { WriteBytes(data.data(), static_cast<int64_t>(data.size())); }
    void WriteNetInt32(int32_t value);
    std::string ReadLineNonEmpty(int attempts = 2147483647);

    static const char* const LineBreakMessage;  // "Command contains a line break."

protected:
    void Notification(TIdBaseComponent* removed) override;
    void FreeOwnedHandler();
    // Makes h owned by this connection (used by clients that create their handler).
    void AdoptHandler(TIdIOHandler* h);
    // While one exists, an owned handler released by Disconnect is destroyed only when the last
    // one ends (the handler may be released by a user action run from inside its own wait).
    class HandlerUse {
    public:
        explicit HandlerUse(TIdTCPConnection& c) : c_(c) { ++c_.handlerUse_; }
        ~HandlerUse() {
            if (--c_.handlerUse_ == 0) c_.deferredFree_.clear();
        }
        HandlerUse(const HandlerUse&) = delete;
        HandlerUse& operator=(const HandlerUse&) = delete;

    private:
        TIdTCPConnection& c_;
    };

private:
    TIdIOHandler* ioHandler_ = nullptr;
    int handlerUse_ = 0;
    std::vector<std::unique_ptr<TIdIOHandler>> deferredFree_;
    bool ownsHandler_ = false;
    TIdConnectionIntercept* intercept_ = nullptr;
    TIdSimpleBuffer receiveChunk_;
    bool receiveStopped_ = false;
};
