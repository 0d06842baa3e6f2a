#pragma once
// The one guard for every entry point from Qt (slot, event handler, timer): exceptions never cross
// the event loop. A caught exception's message is shown in a message box and the program goes on.
// Also the program's plain message boxes and Yes/No questions, which tests can answer instead.

#include <QObject>
#include <QString>

#include <functional>
#include <utility>

class QWidget;

namespace guard {

// Runs f; any exception it throws is reported (ReportError) and swallowed.
void Run(const std::function<void()>& f);

// Wraps a callable so that calling it goes through Run. For connect():
//   QObject::connect(button, &QToolButton::clicked, form, guard::Guarded([form] { form->ToolButton2Click(); }));
template <class F>
auto Guarded(F f) {
    return [f = std::move(f)](auto&&...) { Run(f); };
}

// Connects a no-argument member handler to a signal through the guard.
template <class Sender, class Signal, class Receiver>
QMetaObject::Connection Connect(Sender* sender, Signal signal, Receiver* receiver, void (Receiver::*handler)()) {
    return QObject::connect(sender, signal, receiver,
                            [receiver, handler](auto&&...) { Run([=] { (receiver->*handler)(); }); });
}

// The text shown for the exception currently being handled.
QString CurrentExceptionMessage();

// Shows an error message (the error display of the message loop).
void ReportError(const QString& message);

// A plain message box ("Error in transfer!").
void ShowMessage(const QString& text);

// A confirmation with the buttons Yes and No; true for Yes.
bool AskYesNo(const QString& text);

// Replaceable presenters: tests install their own to record messages and answer questions
// without a modal box. Passing an empty function restores the message boxes.
using MessageSink = std::function<void(const QString&)>;
using QuestionSink = std::function<bool(const QString&)>;
void SetErrorSink(MessageSink sink);
void SetMessageSink(MessageSink sink);
void SetQuestionSink(QuestionSink sink);

// The window message boxes are parented to (the main window); may be nullptr.
void SetDialogParent(QWidget* parent);

}  // namespace guard

#include <QApplication>

// The application object: every event it delivers goes through the guard as a last resort, so an
// exception from a handler that was not connected through guard::Connect still never crosses the loop.
class TGuardedApplication : public QApplication {
public:
    TGuardedApplication(int& argc, char** argv) : QApplication(argc, argv) {}
    bool notify(QObject* receiver, QEvent* event) override;
};
