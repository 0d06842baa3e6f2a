#include "transport/tcp_connection.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <limits>

#include "transport/anti_freeze.h"
#include "transport/id_stack.h"

const char* const TIdTCPConnection::LineBreakMessage = "Command contains a line break.";

namespace {

std::string TrimControl(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= 32) ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= 32) --e;
    return s.substr(b, e - b);
}

bool SameTextPrefix(const std::string& line, const std::string& marker) {
    if (line.size() < marker.size()) return false;
    for (size_t i = 0; i < marker.size(); ++i) {
        unsigned char a = static_cast<unsigned char>(line[i]), b = static_cast<unsigned char>(marker[i]);
        if (a >= 'a' && a <= 'z') a = static_cast<unsigned char>(a - 32);
        if (b >= 'a' && b <= 'z') b = static_cast<unsigned char>(b - 32);
        if (a != b) return false;
    }
    return true;
}

}  // namespace

TIdTCPConnection::TIdTCPConnection() {
    PendingInput.OnBytesRemoved = [this](int64_t n) { AddWork(wkRead, n); };
}

TIdTCPConnection::~TIdTCPConnection() {
    PendingInput.OnBytesRemoved = nullptr;
    if (ownsHandler_ && ioHandler_) {
        TIdIOHandler* h = ioHandler_;
        RemoveFreeNotification(h);
        ioHandler_ = nullptr;
        ownsHandler_ = false;
        delete h;
    }
}

void TIdTCPConnection::FreeOwnedHandler() {
    if (!ownsHandler_ || !ioHandler_) {
        ownsHandler_ = false;
        return;
    }
    TIdIOHandler* h = ioHandler_;
    RemoveFreeNotification(h);
    ioHandler_ = nullptr;
    ownsHandler_ = false;
    if (handlerUse_ > 0)
        deferredFree_.emplace_back(h);
    else
        delete h;
}

void TIdTCPConnection::AdoptHandler(TIdIOHandler* h) {
    SetIOHandler(h);
    ownsHandler_ = h != nullptr;
}

void TIdTCPConnection::SetIOHandler(TIdIOHandler* handler) {
    if (handler == ioHandler_) return;
    if (ownsHandler_)
        FreeOwnedHandler();
    else if (ioHandler_)
        RemoveFreeNotification(ioHandler_);
    ioHandler_ = handler;
    ownsHandler_ = false;
    if (ioHandler_) FreeNotification(ioHandler_);
}

TIdSocketHandle* TIdTCPConnection::Binding() const {
    auto* s = dynamic_cast<TIdIOHandlerSocket*>(ioHandler_);
    return s ? s->Binding() : nullptr;
}

void TIdTCPConnection::SetIntercept(TIdConnectionIntercept* intercept) {
    if (intercept == intercept_) return;
    if (intercept_) RemoveFreeNotification(intercept_);
    intercept_ = intercept;
    if (intercept_) FreeNotification(intercept_);
}

void TIdTCPConnection::Notification(TIdBaseComponent* removed) {
    if (removed == static_cast<TIdBaseComponent*>(ioHandler_)) {
        ioHandler_ = nullptr;
        ownsHandler_ = false;
    }
    if (removed == static_cast<TIdBaseComponent*>(intercept_)) intercept_ = nullptr;
    TIdComponent::Notification(removed);
}

void TIdTCPConnection::NotifyDisconnected() {
    if (OnDisconnected) OnDisconnected(this);
}

void TIdTCPConnection::ResetInput() {
    PendingInput.Clear();
    PeerClosed = false;
}

void TIdTCPConnection::CheckDisconnect(bool raiseIfClosed, bool ignoreBuffered) {
    if (!ioHandler_) return;
    bool closed;
    if (PeerClosed) {
        if (ioHandler_->HandlerConnected()) {
            CloseSocket();
            ReportStatus(stDisconnected);
            NotifyDisconnected();
        }
        closed = true;
    } else {
        closed = !ioHandler_->HandlerConnected();
    }
    if (closed && raiseIfClosed && (PendingInput.Empty() || ignoreBuffered)) throw EIdConnClosedGracefully();
}

int64_t TIdTCPConnection::ProbeDisconnect(bool raiseIfClosed) { return ReadFromSocket(raiseIfClosed, 1, false); }

bool TIdTCPConnection::IsConnected() {
    CheckDisconnect(false);
    return ioHandler_ && ioHandler_->HandlerConnected();
}

void TIdTCPConnection::Disconnect() {
    const bool was = IsConnected();
    if (was) {
        ReportStatus(stDisconnecting);
        CloseSocket();
    }
    if (ownsHandler_) FreeOwnedHandler();
    if (was) {
        NotifyDisconnected();
        ReportStatus(stDisconnected);
    }
}

void TIdTCPConnection::CloseSocket() {
    if (!ioHandler_) return;
    PeerClosed = true;
    if (intercept_) intercept_->DetachConnection();
    if (ioHandler_) ioHandler_->CloseHandler();
}

int64_t TIdTCPConnection::ReadFromSocket(bool raiseIfClosed, int timeout, bool raiseOnTimeout) {
    if (timeout == IdTimeoutDefault) timeout = ReadTimeout == 0 ? IdTimeoutInfinite : ReadTimeout;
    CheckDisconnect(raiseIfClosed, false);
    if (!IsConnected()) {
        if (raiseIfClosed) throw EIdNotConnected();
        return 0;
    }
    HandlerUse use(*this);
    TIdStack& st = GStack();
    int64_t n = 0;
    do {
        if (!ioHandler_->WaitReadable(timeout)) {
            if (raiseOnTimeout) throw EIdReadTimeout();
            return -1;
        }
        if (!ioHandler_) throw EIdClosedSocket();  // released by a user action during the wait
        const long size = std::max({1, RecvBufferSize, BulkSize});
        if (receiveChunk_.Size() != size) receiveChunk_.SetSize(size);
        n = ioHandler_->ReceiveBytes(receiveChunk_.Data(), size);
        PeerClosed = n == 0;
        if (n == Id_SOCKET_ERROR) {
            const int err = st.LastError();
            if (err == Id_WSAESHUTDOWN || err == Id_WSAECONNABORTED) {
                CloseSocket();
                if (PendingInput.Empty()) st.RaiseSocketError(err);
                n = 0;
            } else {
                st.RaiseSocketError(err);
            }
        }
        if (n > 0) {
            if (intercept_) {
                // The intercept may change the bytes and their number.
                TIdMemoryStream chunk(std::string(receiveChunk_.Data(), static_cast<size_t>(n)));
                intercept_->InterceptReceive(chunk);
                n = chunk.Size();
                receiveChunk_.Clear();
                receiveChunk_.Append(chunk.DataString());
            }
            if (ASCIIFilter) {
                char* p = receiveChunk_.Data();
                for (int64_t i = 0; i < n; ++i) p[i] = static_cast<char>(p[i] & 0x7F);
            }
            PendingInput.Append(receiveChunk_.Data(), n);
        }
        CheckDisconnect(raiseIfClosed, false);
    } while (n == 0 && IsConnected());
    return n;
}

std::string TIdTCPConnection::ReadLine(const std::string& terminator, int timeout, int maxLength) {
    const std::string term = terminator.empty() ? std::string("\n") : terminator;
    const int64_t maxLen = maxLength == -1 ? MaxLineLength : maxLength;
    LineWasSplit = false;
    LineTimedOut = false;
    int64_t scanned = 0;  // bytes of PendingInput already searched in this call
    for (;;) {
        const int64_t from = std::max<int64_t>(0, scanned - static_cast<int64_t>(term.size()) + 1);
        const int64_t p = PendingInput.Find(term, from);
        scanned = PendingInput.Size();
        if (maxLen != 0 && ((p >= 0 && p > maxLen) || (p < 0 && PendingInput.Size() > maxLen))) {
            if (MaxLineAction == maException) throw EIdReadLnMaxLineLengthExceeded();
            LineWasSplit = true;
            return PendingInput.Extract(maxLen);
        }
        if (p < 0) {
            CheckDisconnect(true, true);
            if (ReadFromSocket(true, timeout, timeout == IdTimeoutDefault) == -1) {
                LineTimedOut = true;
                return "";
            }
            continue;
        }
        std::string line = PendingInput.Extract(p + static_cast<int64_t>(term.size()));
        line.resize(static_cast<size_t>(p));
        if (term == "\n" && !line.empty() && line.back() == '\r') line.pop_back();
        return line;
    }
}

std::string TIdTCPConnection::ReadLineNonEmpty(int attempts) {
    for (int i = 0; i < attempts; ++i) {
        std::string s = TrimControl(ReadLine());
        if (!s.empty()) return s;
    }
    return "";
}

void TIdTCPConnection::ReadExact(char* destination, int64_t count) {
    if (count <= 0) return;
    while (PendingInput.Size() < count) {
        ReadFromSocket(true, IdTimeoutDefault, true);
        CheckDisconnect(true, true);
    }
    PendingInput.ExtractTo(destination, count);
}

std::string TIdTCPConnection::ReadString(int64_t count) {
    std::string s(static_cast<size_t>(std::max<int64_t>(0, count)), '\0');
    ReadExact(s.data(), count);
    return s;
}

int32_t TIdTCPConnection::ReadNetInt32() {
    uint32_t v = 0;
    ReadExact(reinterpret_cast<char*>(&v), 4);
    return static_cast<int32_t>(TIdStack::NToHL(v));
}

void TIdTCPConnection::ReceiveStream(TIdStream& destination, int64_t count, bool untilClosed) {
    if (count == -1 && !untilClosed) count = ReadNetInt32();
    if (count >= 0) {
        const int64_t pos = destination.Position();
        if (destination.Size() < pos + count) destination.SetSize(pos + count);
        destination.SetPosition(pos);
    }
    // Until-closed reads have no byte limit, so files over 2 GiB arrive whole.
    int64_t remaining = untilClosed ? std::numeric_limits<int64_t>::max() : std::max<int64_t>(0, count);
    StartWork(wkRead, untilClosed ? 0 : count);
    receiveStopped_ = false;

    auto finish = [&] {
        FinishWork(wkRead);
        const int64_t pos = destination.Position();
        if (destination.Size() > pos) destination.SetSize(pos);
    };
    const int64_t piece = std::max(1, RecvBufferSize);
    // Whatever one receive brought goes to the destination in one write; the work is still reported
    // in pieces of the receive size, as the progress display expects.
    auto deliver = [&] {
        const int64_t n = std::min(remaining, PendingInput.Size());
        if (n <= 0) return;
        destination.WriteBuffer(PendingInput.Data(), n);
        PendingInput.RemoveUnreported(n);
        remaining -= n;
        // A handler that cut the connection (Stop) needs no further reports of this block.
        for (int64_t done = 0; done < n && !PeerClosed && !receiveStopped_; done += piece)
            AddWork(wkRead, std::min(piece, n - done));
    };
    try {
        deliver();
        while (remaining > 0 && IsConnected() && !receiveStopped_) {
            try {
                ReadFromSocket(true, IdTimeoutDefault, true);
            } catch (const EIdConnClosedGracefully&) {
                if (!untilClosed) throw;
                // The rest that came before the close.
                deliver();
                PendingInput.Clear();
                continue;
            }
            deliver();
        }
        // Closed before the call with too few bytes buffered: short data is a failure, not success.
        if (!untilClosed && remaining > 0) throw EIdConnClosedGracefully();
    } catch (...) {
        try {
            finish();
        } catch (...) {
            // the read's own failure is the one to report
        }
        throw;
    }
    finish();
}

std::string TIdTCPConnection::ReadAll() {
    TIdWorkScope work(*this, wkRead, 0);
    try {
        while (IsConnected()) ReadFromSocket(true, IdTimeoutDefault, true);
    } catch (const EIdConnClosedGracefully&) {
        // the peer's close is how this read ends
    }
    return PendingInput.Extract(PendingInput.Size());
}

int16_t TIdTCPConnection::CheckReply(int16_t code, const std::vector<int16_t>& accepted) {
    if (accepted.empty()) return code;
    for (int16_t a : accepted)
        if (a == code) return code;
    RaiseReplyError();
    return code;  // not reached
}

int16_t TIdTCPConnection::ReadReply(const std::vector<int16_t>& accepted) {
    std::vector<std::string> lines;
    std::string line = ReadLineNonEmpty();
    lines.push_back(line);
    if (line.size() > 3 && line[3] == '-') {
        // The reply ends only at a line that begins with its code and a space (or is the code
        // alone). Lines inside it may be short or begin with blanks (" x"), and still belong to it.
        const std::string code = line.substr(0, 3);
        const std::string marker = code + " ";
        for (;;) {
            const std::string raw = ReadLine();
            line = TrimControl(raw);
            if (line.empty()) continue;
            lines.push_back(line);
            if (SameTextPrefix(raw, marker) || (line.size() == 3 && SameTextPrefix(raw, code))) break;
        }
    }
    LastReply.ParseLines(lines);
    return CheckReply(static_cast<int16_t>(LastReply.NumericCode()), accepted);
}

void TIdTCPConnection::RaiseReplyError() {
    throw EIdProtocolReplyError(LastReply.NumericCode(), LastReply.TextWithCRLF());
}

void TIdTCPConnection::RaiseReplyError(TIdExceptionClass exceptionClass) {
    exceptionClass(LastReply.TextWithCRLF());
    throw EIdException(LastReply.TextWithCRLF());  // only reached when the class did not raise
}

int16_t TIdTCPConnection::SendCommand(const std::string& command, const std::vector<int16_t>& accepted) {
    if (command.find_first_of("\r\n") != std::string::npos) throw EIdException(LineBreakMessage);
    WriteLine(command);
    return ReadReply(accepted);
}

int16_t TIdTCPConnection::SendCommand(const std::string& command, int16_t accepted) {
    if (accepted == -1) return SendCommand(command, std::vector<int16_t>{});
    return SendCommand(command, std::vector<int16_t>{accepted});
}

void TIdTCPConnection::WriteText(const std::string& s) {
    if (!s.empty()) WriteBytes(s);
}

void TIdTCPConnection::WriteLine(const std::string& s) {
    // A line break would put a second command on the wire.
    if (s.find_first_of("\r\n") != std::string::npos) throw EIdException(LineBreakMessage);
    WriteBytes(s + "\r\n");
}

void TIdTCPConnection::WriteNetInt32(int32_t value) {
    const uint32_t v = TIdStack::HToNL(static_cast<uint32_t>(value));
    WriteBytes(&v, 4);
}

void TIdTCPConnection::WriteBytes(const void* data, int64_t count) {
    if (count <= 0) return;
    CheckDisconnect(true, true);
    if (!IsConnected()) throw EIdNotConnected();
    HandlerUse use(*this);
    const char* p = static_cast<const char*>(data);
    size_t size = static_cast<size_t>(count);
    std::string intercepted;
    if (intercept_) {
        TIdMemoryStream block(std::string(p, size));
        intercept_->InterceptSend(block);
        intercepted = block.DataString();
        p = intercepted.data();
        size = intercepted.size();
    }
    TIdStack& st = GStack();
    const int64_t piece = std::max(1, SendBufferSize);
    size_t pos = 0;
    while (pos < size) {
        if (!ioHandler_) throw EIdClosedSocket();  // released by a user action meanwhile
        const long sent = ioHandler_->SendBytes(p + pos, static_cast<long>(std::min<size_t>(size - pos, 1u << 30)));
        const int err = sent == Id_SOCKET_ERROR ? st.LastError() : 0;
        TIdAntiFreezeBase::RunHook(false);
        PeerClosed = sent == 0;
        CheckDisconnect(true, false);
        if (sent == Id_SOCKET_ERROR) {
            if (err == Id_WSAESHUTDOWN || err == Id_WSAECONNABORTED || err == Id_WSAECONNRESET) CloseSocket();
            st.RaiseSocketError(err);
        }
        // One system call may take a large block; progress still moves in pieces of the send size.
        for (int64_t done = 0; done < sent; done += piece) AddWork(wkWrite, std::min<int64_t>(piece, sent - done));
        pos += static_cast<size_t>(sent);
    }
}

void TIdTCPConnection::SendStream(TIdStream& source, bool fromStart, int64_t count, bool withSizePrefix) {
    if (fromStart) source.SetPosition(0);
    int64_t pos = source.Position();
    const int64_t end = count != 0 ? pos + count : source.Size();
    if (withSizePrefix) WriteNetInt32(static_cast<int32_t>(end - pos));
    TIdWorkScope work(*this, wkWrite, end - pos);
    const int64_t pieceSize = std::max({1, SendBufferSize, SendBulkSize});
    std::vector<char> piece(static_cast<size_t>(pieceSize));
    while (end - pos > 0) {
        const int64_t n = source.Read(piece.data(), std::min(end - pos, pieceSize));
        if (n <= 0) throw EIdNoDataToRead();
        WriteBytes(piece.data(), n);
        pos += n;
    }
}

void TIdTCPConnection::SendFile(const std::string& path) {
    if (::access(path.c_str(), F_OK) != 0) throw EIdFileNotFound::ForPath(path);
    TIdFileStream fs(path, TIdFileMode::fmOpenRead);
    SendStream(fs);
}
