#include "ui/qt_pump.h"

#include <QCoreApplication>
#include <QEventLoop>

bool TQtMessagePump::Due() {
    const auto now = std::chrono::steady_clock::now();
    if (last_ != std::chrono::steady_clock::time_point{} && now - last_ < MinInterval) return false;
    last_ = now;
    return true;
}

void TQtMessagePump::ProcessAllPendingEvents() {
    if (!QCoreApplication::instance() || !Due()) return;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

bool TQtMessagePump::ProcessOnePendingEvent() {
    if (!QCoreApplication::instance() || !Due()) return false;
    // Qt offers no "exactly one event"; one short pass of the loop is the nearest equivalent.
    QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    return true;
}
