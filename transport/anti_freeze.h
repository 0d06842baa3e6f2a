#pragma once
// The responsiveness hook: lets the user interface process its events while a socket call waits
// on the main thread. The transport knows only the pump interface; the UI layer implements it.

#include <thread>

#include "transport/component.h"

// What the UI toolkit provides to the hook.
class TIdMessagePump {
public:
    virtual ~TIdMessagePump() = default;
    // Process every pending event.
    virtual void ProcessAllPendingEvents() = 0;
    // Process one pending event if there is one; returns whether one was processed.
    virtual bool ProcessOnePendingEvent() = 0;
};

class TIdAntiFreezeBase : public TIdBaseComponent {
public:
    // Creating a hook registers it as the process-wide hook (replacing an earlier one) and takes the
    // creating thread as the main thread; destroying it clears the registration.
    TIdAntiFreezeBase();
    ~TIdAntiFreezeBase() override;

    bool Active = true;
    bool ApplicationHasPriority = true;
    int IdleTimeOut = 250;  // milliseconds
    bool OnlyWhenIdle = true;

    virtual void PumpMessages() = 0;

    // The registered hook, or nullptr.
    static TIdAntiFreezeBase* Registered();
    // True when a hook is registered, the caller runs on the main thread and the hook is Active.
    static bool InUse();
    // When InUse and (idle, !OnlyWhenIdle or override): PumpMessages.
    static void RunHook(bool idle = false, bool overrideIdle = false);
    // IdleTimeOut of the registered hook (only meaningful when InUse).
    static int InUseIdleTimeOut();

    // The thread that counts as the main (user-interface) thread.
    std::thread::id MainThreadId;
};

class TIdAntiFreeze : public TIdAntiFreezeBase {
public:
    // pump may be nullptr (then nothing is processed); it is not owned.
    explicit TIdAntiFreeze(TIdMessagePump* pump = nullptr) : Pump(pump) {}

    TIdMessagePump* Pump = nullptr;

    // With ApplicationHasPriority all pending events, otherwise at most one.
    void PumpMessages() override;
};
