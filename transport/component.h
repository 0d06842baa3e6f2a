#pragma once
// Component bases: free notification between linked objects, status texts and work (progress) events.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The general component base. Objects that link to each other register for free notification,
// so a link is cleared when the object it points to is destroyed.
class TIdBaseComponent {
public:
    TIdBaseComponent() = default;
    virtual ~TIdBaseComponent();
    TIdBaseComponent(const TIdBaseComponent&) = delete;
    TIdBaseComponent& operator=(const TIdBaseComponent&) = delete;

    // Ask to be told (through Notification) when other is destroyed, and tell other when this one
    // is; each call is one counted link, undone by one RemoveFreeNotification.
    void FreeNotification(TIdBaseComponent* other);
    void RemoveFreeNotification(TIdBaseComponent* other);

protected:
    // Called when a component registered with FreeNotification is being destroyed.
    virtual void Notification(TIdBaseComponent* removed);

private:
    std::vector<TIdBaseComponent*> freeNotifies_;
};

enum TIdStatus {
    stResolving = 0,
    stConnecting = 1,
    stConnected = 2,
    stDisconnecting = 3,
    stDisconnected = 4,
    stStatusText = 5,
    stFtpTransfer = 6,
    stFtpReady = 7,
    stFtpAborted = 8
};

enum TWorkMode { wkRead = 0, wkWrite = 1 };

class TIdComponent;

using TIdNotifyEvent = std::function<void(TIdComponent* sender)>;
using TIdStatusEvent = std::function<void(TIdComponent* sender, TIdStatus status, const std::string& text)>;
using TWorkBeginEvent = std::function<void(TIdComponent* sender, TWorkMode mode, int64_t max)>;
using TWorkEvent = std::function<void(TIdComponent* sender, TWorkMode mode, int64_t count)>;
using TWorkEndEvent = std::function<void(TIdComponent* sender, TWorkMode mode)>;

// The status template of a status, filled with one argument ("%s" replaced).
std::string IdStatusText(TIdStatus status, const std::string& arg = "");

// Base of connections and I/O handlers. Keeps the socket layer alive while any instance exists.
class TIdComponent : public TIdBaseComponent {
public:
    TIdComponent();
    ~TIdComponent() override;

    TIdStatusEvent OnStatus;
    TWorkEvent OnWork;
    TWorkBeginEvent OnWorkBegin;
    TWorkEndEvent OnWorkEnd;

    struct TWorkInfo {
        int64_t Count = 0;
        int64_t Max = 0;
        int Level = 0;
    };

    virtual void StartWork(TWorkMode mode, int64_t max = 0);
    virtual void AddWork(TWorkMode mode, int64_t count);
    virtual void FinishWork(TWorkMode mode);

    const TWorkInfo& WorkInfo(TWorkMode mode) const { return work_[mode == wkWrite ? 1 : 0]; }

    // Formats the template only when OnStatus is assigned, then raises it.
    void ReportStatus(TIdStatus status, const std::string& arg = "");

    // Number of live components (the socket layer exists while it is above 0).
    static int LiveCount();

private:
    TWorkInfo work_[2];
};

// Begins work in the constructor and always finishes it in the destructor.
class TIdWorkScope {
public:
    TIdWorkScope(TIdComponent& c, TWorkMode mode, int64_t max) : c_(c), mode_(mode) { c_.StartWork(mode_, max); }
    ~TIdWorkScope() { c_.FinishWork(mode_); }
    TIdWorkScope(const TIdWorkScope&) = delete;
    TIdWorkScope& operator=(const TIdWorkScope&) = delete;

private:
    TIdComponent& c_;
    TWorkMode mode_;
};
