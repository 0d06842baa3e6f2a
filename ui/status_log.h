#pragma once
// The status log StatusList: a scrolling box of coloured lines that the program only appends to.
// It follows new lines while its view is at the end; scrolled up, the view stays where it is.

#include <QColor>
#include <QPlainTextEdit>
#include <QString>

#include <string>

namespace statuslog {

inline constexpr int kMaxLines = 300;      // more than this and the oldest are dropped
inline constexpr int kTrimmedLines = 151;  // how many go at once

QColor CommandColor();  // green
QColor ReplyColor();    // black
QColor StatusColor();   // blue

// The line texts of the three kinds of log lines.
std::string CommandLine(const std::string& sentText);    // "Command:   " + text, password hidden
std::string ReplyLine(const std::string& receivedText);  // twenty spaces + text
std::string StatusLine(const std::string& statusText);   // "Status:         " + text

// A sent block with the argument of every PASS command replaced by "****", so the log never shows
// a password. Lines are separated by "<EOL>" (as the log intercept shows them) or by CR/LF.
std::string HidePassword(const std::string& sentText);

// Bytes from the wire or a file decoded for display (UTF-8; invalid sequences become U+FFFD).
QString Display(const std::string& bytes);

}  // namespace statuslog

class TStatusLog : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TStatusLog(QWidget* parent = nullptr);

    // Appends one line in one colour (each added text starts a new line).
    void AddLine(const QString& text, const QColor& color);
    // When the log holds more than 300 lines, removes its oldest 151 (a view scrolled up keeps
    // showing the same lines while they last).
    void Trim();
    // Removes everything (also the pop-up menu's "Clear").
    void ClearLog();

    int LineCount() const;
    QString LineText(int index) const;
    QColor LineColor(int index) const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    bool empty_ = true;
};
