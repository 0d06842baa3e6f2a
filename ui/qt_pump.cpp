#include "ui/qt_pump.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <time.h>

bool TQtMessagePump::Due() {
    // Asked after every received chunk: the coarse clock is cheap enough for that.
    timespec ts{};
    const auto now =
        ::clock_gettime(CLOCK_MONOTONIC_COARSE, &ts) == 0
            ? std::chrono::steady_clock::time_point(std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                  std::chrono::seconds(ts.tv_sec) + std::chrono::nanoseconds(ts.tv_nsec)))
            : std::chrono::steady_clock::now();
    if (last_ != std::chrono::steady_clock::time_point{} && now - last_ < MinInterval) return false;
    last_ = now;
    return true;
}

void TQtMessagePump::ProcessAllPendingEvents() {
    if (!QCoreApplication::instance() || !Due()) return;
    ++depth_;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    --depth_;
}

bool TQtMessagePump::ProcessOnePendingEvent() {
    if (!QCoreApplication::instance() || !Due()) return false;
    // Qt offers no "exactly one event"; one short pass of the loop is the nearest equivalent.
    ++depth_;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    --depth_;
    return true;
}
