#include "transport/anti_freeze.h"

#include <atomic>

namespace {
std::atomic<TIdAntiFreezeBase*> gHook{nullptr};
}  // namespace

TIdAntiFreezeBase::TIdAntiFreezeBase() : MainThreadId(std::this_thread::get_id()) { gHook.store(this); }

TIdAntiFreezeBase::~TIdAntiFreezeBase() {
    TIdAntiFreezeBase* self = this;
    gHook.compare_exchange_strong(self, nullptr);
}

TIdAntiFreezeBase* TIdAntiFreezeBase::Registered() { return gHook.load(); }

bool TIdAntiFreezeBase::InUse() {
    TIdAntiFreezeBase* h = gHook.load();
    return h && h->Active && std::this_thread::get_id() == h->MainThreadId;
}

void TIdAntiFreezeBase::RunHook(bool idle, bool overrideIdle) {
    if (!InUse()) return;
    TIdAntiFreezeBase* h = gHook.load();
    if ((idle || !h->OnlyWhenIdle || overrideIdle) && h->Active) h->PumpMessages();
}

int TIdAntiFreezeBase::InUseIdleTimeOut() {
    TIdAntiFreezeBase* h = gHook.load();
    return h ? h->IdleTimeOut : 250;
}

void TIdAntiFreeze::PumpMessages() {
    if (!Pump) return;
    if (ApplicationHasPriority)
        Pump->ProcessAllPendingEvents();
    else
        Pump->ProcessOnePendingEvent();
}
