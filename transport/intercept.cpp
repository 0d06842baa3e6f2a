#include "transport/intercept.h"

#include <ctime>

#include "transport/tcp_connection.h"

// ---- TIdConnectionIntercept ----

TIdConnectionIntercept::~TIdConnectionIntercept() = default;

void TIdConnectionIntercept::SetIntercept(TIdConnectionIntercept* nested) {
    if (nested == intercept_) return;
    if (intercept_) RemoveFreeNotification(intercept_);
    intercept_ = nested;
    if (intercept_) FreeNotification(intercept_);
}

void TIdConnectionIntercept::Notification(TIdBaseComponent* removed) {
    if (removed == intercept_) intercept_ = nullptr;
    if (connection_ && removed == static_cast<TIdBaseComponent*>(connection_)) connection_ = nullptr;
    TIdBaseComponent::Notification(removed);
}

void TIdConnectionIntercept::PassConnect(TIdTCPConnection* connection) {
    if (intercept_) intercept_->AttachConnection(connection);
}

void TIdConnectionIntercept::PassDisconnect() {
    if (intercept_) intercept_->DetachConnection();
}

void TIdConnectionIntercept::PassReceive(TIdStream& stream) {
    if (intercept_) intercept_->InterceptReceive(stream);
}

void TIdConnectionIntercept::PassSend(TIdStream& stream) {
    if (intercept_) intercept_->InterceptSend(stream);
}

void TIdConnectionIntercept::AttachConnection(TIdTCPConnection* connection) {
    if (connection_ != connection) {
        if (connection_) RemoveFreeNotification(connection_);
        connection_ = connection;
        if (connection_) FreeNotification(connection_);
    }
    if (OnConnect) OnConnect(this);
    PassConnect(connection);
}

void TIdConnectionIntercept::DetachConnection() {
    PassDisconnect();
    if (OnDisconnect) OnDisconnect(this);
    if (connection_) RemoveFreeNotification(connection_);
    connection_ = nullptr;
}

void TIdConnectionIntercept::InterceptReceive(TIdStream& stream) {
    PassReceive(stream);
    if (OnReceive) {
        OnReceive(this, stream);
        stream.SetPosition(0);
    }
}

void TIdConnectionIntercept::InterceptSend(TIdStream& stream) {
    if (OnSend) {
        OnSend(this, stream);
        stream.SetPosition(0);
    }
    PassSend(stream);
}

// ---- TIdLogBase ----

void TIdLogBase::SetActive(bool value) {
    if (loading_) {
        streamedActive_ = value;
        return;
    }
    SetActiveValue(value);
}

void TIdLogBase::EndLoading() {
    if (!loading_) return;
    loading_ = false;
    SetActiveValue(streamedActive_);
}

void TIdLogBase::SetActiveValue(bool value) {
    if (value == active_) return;
    if (value)
        OpenLog();
    else
        CloseLog();
    active_ = value;
}

std::string TIdLogBase::ReplaceLineBreaks(const std::string& data) {
    std::string out;
    out.reserve(data.size() + 16);
    for (size_t i = 0; i < data.size(); ++i) {
        char c = data[i];
        if (c == '\r' && i + 1 < data.size() && data[i + 1] == '\n') {
            out += "<EOL>";
            ++i;
        } else if (c == '\r') {
            out += "<CR>";
        } else if (c == '\n') {
            out += "<LF>";
        } else {
            out += c;
        }
    }
    return out;
}

std::string TIdLogBase::TimeText() {
    if (!LogTime) return "";
    if (FormatTime) return FormatTime();
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    char buf[128];
    size_t n = std::strftime(buf, sizeof buf, "%x %X", &tm);
    return std::string(buf, n);
}

std::string TIdLogBase::DataText(TIdStream& stream) {
    stream.SetPosition(0);
    std::string data(static_cast<size_t>(stream.Size()), '\0');
    if (!data.empty()) stream.ReadBuffer(data.data(), static_cast<int64_t>(data.size()));
    stream.SetPosition(0);
    return ReplaceCRLF ? ReplaceLineBreaks(data) : data;
}

void TIdLogBase::AttachConnection(TIdTCPConnection* connection) {
    if (!active_) return;
    TIdConnectionIntercept::AttachConnection(connection);
    ReportLogStatus("Connected.");
}

void TIdLogBase::DetachConnection() {
    if (!active_) return;
    ReportLogStatus("Disconnected.");
    TIdConnectionIntercept::DetachConnection();
}

void TIdLogBase::InterceptReceive(TIdStream& stream) {
    if (!active_) return;
    TIdConnectionIntercept::InterceptReceive(stream);
    std::string t = TimeText();
    ReportReceived(t, DataText(stream));
}

void TIdLogBase::InterceptSend(TIdStream& stream) {
    if (!active_) return;
    TIdConnectionIntercept::InterceptSend(stream);
    std::string t = TimeText();
    ReportSent(t, DataText(stream));
}

// ---- TIdLogEvent ----

void TIdLogEvent::ReportLogStatus(const std::string& text) {
    if (OnStatus) OnStatus(this, text);
}

void TIdLogEvent::ReportReceived(const std::string& timeText, const std::string& data) {
    if (OnReceived) OnReceived(this, timeText, data);
}

void TIdLogEvent::ReportSent(const std::string& timeText, const std::string& data) {
    if (OnSent) OnSent(this, timeText, data);
}
