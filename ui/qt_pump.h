#pragma once
// The Qt side of the responsiveness hook: processes the window's pending events while a socket call
// waits on the user-interface thread.

#include <chrono>

#include "transport/anti_freeze.h"

class TQtMessagePump : public TIdMessagePump {
public:
    void ProcessAllPendingEvents() override;
    bool ProcessOnePendingEvent() override;

    // Calls that come closer together than this are answered without asking the event loop: the
    // transport calls the hook after every received chunk, and asking the loop that often would cost
    // a bulk transfer a good part of its speed. Pending input still waits no more than this long
    // (about one frame: a click feels immediate).
    std::chrono::microseconds MinInterval{std::chrono::milliseconds(16)};

    // Above 0 while events are processed from inside a waiting socket call.
    int Depth() const { return depth_; }

private:
    int depth_ = 0;
    bool Due();
    std::chrono::steady_clock::time_point last_{};
};
