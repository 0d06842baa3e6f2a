#pragma once
// Intercepts see every byte a connection receives and sends; the log turns that traffic into text.

#include <functional>
#include <string>

#include "transport/component.h"
#include "transport/stream.h"

class TIdTCPConnection;
class TIdConnectionIntercept;

using TIdInterceptNotifyEvent = std::function<void(TIdConnectionIntercept* sender)>;
using TIdInterceptStreamEvent = std::function<void(TIdConnectionIntercept* sender, TIdStream& stream)>;

class TIdConnectionIntercept : public TIdBaseComponent {
public:
    TIdConnectionIntercept() = default;
    ~TIdConnectionIntercept() override;

    TIdInterceptNotifyEvent OnConnect;
    TIdInterceptNotifyEvent OnDisconnect;
    TIdInterceptStreamEvent OnReceive;
    TIdInterceptStreamEvent OnSend;
    bool IsClient = true;

    TIdTCPConnection* Connection() const { return connection_; }
    // The nested intercept (not owned; cleared when it is destroyed).
    TIdConnectionIntercept* Intercept() const { return intercept_; }
    void SetIntercept(TIdConnectionIntercept* nested);

    virtual void PassConnect(TIdTCPConnection* connection);
    virtual void PassDisconnect();
    virtual void PassReceive(TIdStream& stream);
    virtual void PassSend(TIdStream& stream);
    // Remembers the connection, raises OnConnect, passes on to the nested intercept.
    virtual void AttachConnection(TIdTCPConnection* connection);
    // Passes on to the nested intercept first, raises OnDisconnect, forgets the connection.
    virtual void DetachConnection();
    // Nested intercept first, then OnReceive (and rewind when it is assigned).
    virtual void InterceptReceive(TIdStream& stream);
    // OnSend first (and rewind when it is assigned), then the nested intercept.
    virtual void InterceptSend(TIdStream& stream);

protected:
    void Notification(TIdBaseComponent* removed) override;

private:
    TIdTCPConnection* connection_ = nullptr;
    TIdConnectionIntercept* intercept_ = nullptr;
};

class TIdLogBase : public TIdConnectionIntercept {
public:
    // Report only while Active.
    bool Active() const { return active_; }
    void SetActive(bool value);
    bool LogTime = true;
    bool ReplaceCRLF = true;

    // Loading from a stored description: SetActive is remembered and applied by EndLoading.
    void BeginLoading() { loading_ = true; }
    void EndLoading();

    // The time text of a report; default: the current local date and time in the C library's
    // locale date and time formats. The UI may replace it with its locale's formats.
    std::function<std::string()> FormatTime;

    void AttachConnection(TIdTCPConnection* connection) override;
    void DetachConnection() override;
    void InterceptReceive(TIdStream& stream) override;
    void InterceptSend(TIdStream& stream) override;

    // CR LF -> "<EOL>", then CR -> "<CR>", then LF -> "<LF>".
    static std::string ReplaceLineBreaks(const std::string& data);

protected:
    virtual void CloseLog() {}
    virtual void ReportLogStatus(const std::string& text) = 0;
    virtual void ReportReceived(const std::string& timeText, const std::string& data) = 0;
    virtual void ReportSent(const std::string& timeText, const std::string& data) = 0;
    virtual void OpenLog() {}
    virtual void SetActiveValue(bool value);

private:
    std::string TimeText();
    std::string DataText(TIdStream& stream);
    bool active_ = false;
    bool loading_ = false;
    bool streamedActive_ = false;
};

class TIdLogEvent;
using TLogItemDataEvent = std::function<void(TIdLogEvent* sender, const std::string& text, const std::string& data)>;
using TLogItemStatusEvent = std::function<void(TIdLogEvent* sender, const std::string& text)>;

class TIdLogEvent : public TIdLogBase {
public:
    TLogItemDataEvent OnReceived;
    TLogItemDataEvent OnSent;
    TLogItemStatusEvent OnStatus;

protected:
    void ReportLogStatus(const std::string& text) override;
    void ReportReceived(const std::string& timeText, const std::string& data) override;
    void ReportSent(const std::string& timeText, const std::string& data) override;
};
