// Orlix FTP client: creates the application, the main window and its dialogs, and runs the loop.

#include "ui/guard.h"
#include "ui/main_form.h"

int main(int argc, char** argv) {
    TGuardedApplication app(argc, argv);
    // The application's title (message boxes, task bar).
    QApplication::setApplicationName(QStringLiteral("Orlix FTP client"));

    TMainForm form;
    form.CreateDialogs();
    form.showMaximized();
    return app.exec();
}
