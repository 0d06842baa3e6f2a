#pragma once
// The one application object the widget tests share, and a bounded wait on the event loop.

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>

#include <cstdlib>
#include <functional>

#include "ui/guard.h"

// Creates the guarded application once per process, offscreen unless the environment says otherwise.
inline void EnsureApplication() {
    if (QApplication::instance()) return;
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "test_ui";
    static char* argv[] = {name, nullptr};
    new TGuardedApplication(argc, argv);
}

// For the dialog tests: a private data folder, and no quitting when the last dialog closes.
inline void EnsureApplicationWithPrivateData() {
    if (QApplication::instance()) return;
    static QTemporaryDir dataHome;
    setenv("XDG_DATA_HOME", dataHome.path().toUtf8().constData(), 1);
    EnsureApplication();
    QApplication::setQuitOnLastWindowClosed(false);
}

// Runs the event loop until pred holds; false when it never did (a hang guard, not a timing check).
inline bool RunUntil(const std::function<bool()>& pred, int maxMs = 20000) {
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > maxMs) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}
