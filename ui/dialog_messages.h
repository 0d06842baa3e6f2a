#pragma once
// The message boxes the dialogs show over themselves.

#include <QEvent>
#include <QString>

class QWidget;

// The dialogs' plain message box (guard::ShowMessage, which tests can answer).
void ShowDialogMessage(QWidget* parent, const QString& text);

// A dialog's own message boxes: coming back from one is no new activation of the dialog, so what
// the user typed stays in its edits.
class TDialogMessages {
public:
    void Show(QWidget* dialog, const QString& text) {
        returning_ = true;
        ShowDialogMessage(dialog, text);
    }
    // The event is a WindowActivate that is not the return from one of them.
    bool NewActivation(const QEvent* event) {
        if (event->type() != QEvent::WindowActivate) return false;
        const bool fresh = !returning_;
        returning_ = false;
        return fresh;
    }
    void Reset() { returning_ = false; }

private:
    bool returning_ = false;
};
