#pragma once
// Exceptions raised by the transport and the FTP client. All derive from EIdException.

#include <stdexcept>
#include <string>

class EIdException : public std::runtime_error {
public:
    explicit EIdException(const std::string& message) : std::runtime_error(message) {}
    std::string Message() const { return what(); }
};

// Raise an exception of class E with the given message. Used where a caller passes an
// "exception class" (e.g. TIdTCPConnection::RaiseReplyError).
using TIdExceptionClass = void (*)(const std::string& message);
template <class E>
[[noreturn]] void IdRaise(const std::string& message) {
    throw E(message);
}

class EIdSilentException : public EIdException {
public:
    using EIdException::EIdException;
};

class EIdTCPConnectionError : public EIdException {
public:
    using EIdException::EIdException;
};

class EIdSocketHandleError : public EIdException {
public:
    using EIdException::EIdException;
};

class EIdStackInitializationFailed : public EIdException {
public:
    explicit EIdStackInitializationFailed(const std::string& m = "Winsock Initialization Error.") : EIdException(m) {}
};

class EIdAlreadyConnected : public EIdException {
public:
    explicit EIdAlreadyConnected(const std::string& m = "Already connected.") : EIdException(m) {}
};

class EIdConnectTimeout : public EIdException {
public:
    explicit EIdConnectTimeout(const std::string& m = "Connect timed out.") : EIdException(m) {}
};

class EIdConnectException : public EIdException {
public:
    using EIdException::EIdException;
};

// A failed socket call. Message: "Socket Error # %d" CR LF description.
class EIdSocketError : public EIdException {
public:
    explicit EIdSocketError(int lastError);
    EIdSocketError(int lastError, const std::string& message) : EIdException(message), LastError(lastError) {}
    int LastError = 0;
    // The socket error message of a number (as above).
    static std::string MessageFor(int lastError);
    // The description of a number from the socket error table ("" when not in it).
    static std::string Description(int lastError);
};

class EIdConnClosedGracefully : public EIdSilentException {
public:
    explicit EIdConnClosedGracefully(const std::string& m = "Connection Closed Gracefully.") : EIdSilentException(m) {}
};

class EIdReadTimeout : public EIdException {
public:
    explicit EIdReadTimeout(const std::string& m = "Read Timeout") : EIdException(m) {}
};

class EIdNotConnected : public EIdTCPConnectionError {
public:
    explicit EIdNotConnected(const std::string& m = "Not Connected") : EIdTCPConnectionError(m) {}
};

class EIdClosedSocket : public EIdException {
public:
    explicit EIdClosedSocket(const std::string& m = "Disconnected.") : EIdException(m) {}
};

class EIdReadLnMaxLineLengthExceeded : public EIdException {
public:
    explicit EIdReadLnMaxLineLengthExceeded(const std::string& m = "Max line length exceeded.") : EIdException(m) {}
};

class EIdNotEnoughDataInBuffer : public EIdTCPConnectionError {
public:
    explicit EIdNotEnoughDataInBuffer(const std::string& m = "Not enough data in buffer.") : EIdTCPConnectionError(m) {}
};

class EIdNoDataToRead : public EIdTCPConnectionError {
public:
    explicit EIdNoDataToRead(const std::string& m = "No data to read.") : EIdTCPConnectionError(m) {}
};

class EIdInvalidSocket : public EIdException {
public:
    explicit EIdInvalidSocket(const std::string& m = "Cannot allocate socket.") : EIdException(m) {}
};

class EIdCouldNotBindSocket : public EIdSocketHandleError {
public:
    explicit EIdCouldNotBindSocket(const std::string& m = "Could not bind socket. Address and port are already in use.")
        : EIdSocketHandleError(m) {}
};

// "Can not bind in port range (%d - %d)"
class EIdCanNotBindPortInRange : public EIdSocketHandleError {
public:
    EIdCanNotBindPortInRange(int lo, int hi);
    explicit EIdCanNotBindPortInRange(const std::string& m) : EIdSocketHandleError(m) {}
};

// "Invalid Port Range (%d - %d)"
class EIdInvalidPortRange : public EIdSocketHandleError {
public:
    EIdInvalidPortRange(int lo, int hi);
    explicit EIdInvalidPortRange(const std::string& m) : EIdSocketHandleError(m) {}
};

// "File "%s" not found"
class EIdFileNotFound : public EIdException {
public:
    using EIdException::EIdException;
    static EIdFileNotFound ForPath(const std::string& path);
};

// A stream that cannot be opened, read, written or positioned (file streams).
class EIdStreamError : public EIdException {
public:
    EIdStreamError(const std::string& message, int sysError = 0) : EIdException(message), SysError(sysError) {}
    int SysError = 0;  // errno, 0 when none
};

// An unexpected reply code; the message is the reply's text lines, each followed by CR LF.
class EIdProtocolReplyError : public EIdException {
public:
    EIdProtocolReplyError(int replyCode, const std::string& message) : EIdException(message), ReplyCode(replyCode) {}
    int ReplyCode = 0;
};
