#include "ui/guard.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QWidget>

#include <exception>

namespace guard {
namespace {

MessageSink& ErrorSink() {
    static MessageSink s;
    return s;
}
MessageSink& MessageSinkRef() {
    static MessageSink s;
    return s;
}
QuestionSink& QuestionSinkRef() {
    static QuestionSink s;
    return s;
}
QPointer<QWidget>& Parent() {
    static QPointer<QWidget> p;
    return p;
}

QString Title() {
    const QString t = QApplication::applicationDisplayName();
    return t.isEmpty() ? QStringLiteral("Orlix FTP client") : t;
}

}  // namespace

QString CurrentExceptionMessage() {
    try {
        throw;
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("Unknown error.");
    }
}

void Run(const std::function<void()>& f) {
    try {
        f();
    } catch (...) {
        const QString message = CurrentExceptionMessage();
        try {
            ReportError(message);
        } catch (...) {
            // Reporting must never let an exception through the event loop either.
        }
    }
}

void ReportError(const QString& message) {
    if (ErrorSink()) {
        ErrorSink()(message);
        return;
    }
    QMessageBox::critical(Parent().data(), Title(), message);
}

void ShowMessage(const QString& text) {
    if (MessageSinkRef()) {
        MessageSinkRef()(text);
        return;
    }
    QMessageBox::information(Parent().data(), Title(), text);
}

bool AskYesNo(const QString& text) {
    if (QuestionSinkRef()) return QuestionSinkRef()(text);
    return QMessageBox::question(Parent().data(), Title(), text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) ==
           QMessageBox::Yes;
}

void SetErrorSink(MessageSink sink) { ErrorSink() = std::move(sink); }
void SetMessageSink(MessageSink sink) { MessageSinkRef() = std::move(sink); }
void SetQuestionSink(QuestionSink sink) { QuestionSinkRef() = std::move(sink); }
void SetDialogParent(QWidget* parent) { Parent() = parent; }

}  // namespace guard

bool TGuardedApplication::notify(QObject* receiver, QEvent* event) {
    bool handled = false;
    guard::Run([&] { handled = QApplication::notify(receiver, event); });
    return handled;
}
