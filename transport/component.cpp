#include "transport/component.h"

#include <algorithm>
#include <mutex>

#include "transport/id_stack.h"

// ---- TIdBaseComponent ----

TIdBaseComponent::~TIdBaseComponent() {
    // Unlink from every linked object first, then tell each one once, so no dangling link remains.
    std::vector<TIdBaseComponent*> others;
    others.swap(freeNotifies_);
    std::sort(others.begin(), others.end());
    others.erase(std::unique(others.begin(), others.end()), others.end());
    for (TIdBaseComponent* o : others) {
        auto& v = o->freeNotifies_;
        v.erase(std::remove(v.begin(), v.end(), this), v.end());
    }
    for (TIdBaseComponent* o : others) o->Notification(this);
}

// Links are counted: two independent links between the same pair (a connection's Intercept and the
// intercept's attached connection) each need their own removal.
void TIdBaseComponent::FreeNotification(TIdBaseComponent* other) {
    if (!other || other == this) return;
    freeNotifies_.push_back(other);
    other->freeNotifies_.push_back(this);
}

void TIdBaseComponent::RemoveFreeNotification(TIdBaseComponent* other) {
    if (!other) return;
    auto it = std::find(freeNotifies_.begin(), freeNotifies_.end(), other);
    if (it == freeNotifies_.end()) return;
    freeNotifies_.erase(it);
    auto& v = other->freeNotifies_;
    auto jt = std::find(v.begin(), v.end(), this);
    if (jt != v.end()) v.erase(jt);
}

void TIdBaseComponent::Notification(TIdBaseComponent*) {}

// ---- status texts ----

std::string IdStatusText(TIdStatus status, const std::string& arg) {
    switch (status) {
        case stResolving:
            return "Resolving hostname " + arg + ".";
        case stConnecting:
            return "Connecting to " + arg + ".";
        case stConnected:
            return "Connected.";
        case stDisconnecting:
            return "Disconnecting.";
        case stDisconnected:
            return "Disconnected.";
        case stStatusText:
        case stFtpTransfer:
        case stFtpReady:
        case stFtpAborted:
            return arg;
    }
    return arg;
}

// ---- TIdComponent ----

namespace {
std::mutex gStackLock;
int gLiveComponents = 0;
}  // namespace

TIdComponent::TIdComponent() {
    std::lock_guard<std::mutex> lock(gStackLock);
    if (gLiveComponents++ == 0) TIdStack::Instance();
}

TIdComponent::~TIdComponent() {
    std::lock_guard<std::mutex> lock(gStackLock);
    --gLiveComponents;
}

int TIdComponent::LiveCount() {
    std::lock_guard<std::mutex> lock(gStackLock);
    return gLiveComponents;
}

void TIdComponent::StartWork(TWorkMode mode, int64_t max) {
    TWorkInfo& w = work_[mode == wkWrite ? 1 : 0];
    if (++w.Level == 1) {
        w.Max = max;
        w.Count = 0;
        if (OnWorkBegin) OnWorkBegin(this, mode, max);
    }
}

void TIdComponent::AddWork(TWorkMode mode, int64_t count) {
    TWorkInfo& w = work_[mode == wkWrite ? 1 : 0];
    if (w.Level >= 1) {
        w.Count += count;
        if (OnWork) OnWork(this, mode, w.Count);
    }
}

void TIdComponent::FinishWork(TWorkMode mode) {
    TWorkInfo& w = work_[mode == wkWrite ? 1 : 0];
    if (w.Level == 1 && OnWorkEnd) {
        // Lower the level first only after the event, but never leave it raised if the handler throws.
        struct Lower {
            int& l;
            ~Lower() { --l; }
        } lower{w.Level};
        OnWorkEnd(this, mode);
        return;
    }
    if (w.Level > 0) --w.Level;
}

void TIdComponent::ReportStatus(TIdStatus status, const std::string& arg) {
    if (OnStatus) OnStatus(this, status, IdStatusText(status, arg));
}
