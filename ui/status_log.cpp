#include "ui/status_log.h"

#include <algorithm>

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

namespace statuslog {

QColor CommandColor() { return QColor(0, 128, 0); }
QColor ReplyColor() { return QColor(0, 0, 0); }
QColor StatusColor() { return QColor(0, 0, 255); }

namespace {

bool StartsWithPass(const std::string& s, size_t at) {
    static const char kWord[] = "PASS";
    if (s.size() < at + 4) return false;
    for (size_t i = 0; i < 4; ++i) {
        const char c = s[at + i];
        if (c != kWord[i] && c != kWord[i] + ('a' - 'A')) return false;
    }
    // "PASS" alone, or followed by a blank: the command, not some other word starting with it.
    return s.size() == at + 4 || s[at + 4] == ' ';
}

}  // namespace

std::string HidePassword(const std::string& sentText) {
    std::string out;
    out.reserve(sentText.size());
    size_t lineStart = 0;
    while (lineStart <= sentText.size()) {
        // The end of this line: the next "<EOL>", "<CR>", "<LF>", CR or LF.
        size_t end = sentText.size();
        for (const char* sep : {"<EOL>", "<CR>", "<LF>", "\r", "\n"}) {
            const size_t p = sentText.find(sep, lineStart);
            if (p != std::string::npos && p < end) end = p;
        }
        if (StartsWithPass(sentText, lineStart) && end > lineStart + 4)
            out += sentText.substr(lineStart, 5) + "****";
        else
            out += sentText.substr(lineStart, end - lineStart);
        if (end == sentText.size()) break;
        // Copy the separator itself.
        size_t sepLen = 1;
        for (const char* sep : {"<EOL>", "<CR>", "<LF>"}) {
            if (sentText.compare(end, std::char_traits<char>::length(sep), sep) == 0) {
                sepLen = std::char_traits<char>::length(sep);
                break;
            }
        }
        out += sentText.substr(end, sepLen);
        lineStart = end + sepLen;
    }
    return out;
}

std::string CommandLine(const std::string& sentText) { return "Command:   " + HidePassword(sentText); }
std::string ReplyLine(const std::string& receivedText) { return std::string(20, ' ') + receivedText; }
std::string StatusLine(const std::string& statusText) { return "Status:         " + statusText; }

QString Display(const std::string& bytes) {
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

}  // namespace statuslog

TStatusLog::TStatusLog(QWidget* parent) : QPlainTextEdit(parent) {
    setObjectName(QStringLiteral("StatusList"));
    setReadOnly(true);
    setUndoRedoEnabled(false);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    // The selection stays visible when the box loses the focus.
    QPalette p = palette();
    p.setColor(QPalette::Inactive, QPalette::Highlight, p.color(QPalette::Active, QPalette::Highlight));
    p.setColor(QPalette::Inactive, QPalette::HighlightedText, p.color(QPalette::Active, QPalette::HighlightedText));
    p.setColor(QPalette::Base, Qt::white);
    setPalette(p);
    QFont f(QStringLiteral("Monospace"));
    f.setStyleHint(QFont::TypeWriter);
    setFont(f);
}

void TStatusLog::AddLine(const QString& text, const QColor& color) {
    // Someone reading older lines keeps them in view; at the end, the log follows.
    QScrollBar* bar = verticalScrollBar();
    const bool follow = bar->value() >= bar->maximum();
    QTextCursor c(document());
    c.movePosition(QTextCursor::End);
    if (!empty_) c.insertBlock();
    QTextCharFormat format;
    format.setForeground(color);
    c.setBlockCharFormat(format);
    c.insertText(text, format);
    empty_ = false;
    if (follow) bar->setValue(bar->maximum());
}

void TStatusLog::Trim() {
    if (LineCount() <= statuslog::kMaxLines) return;
    QScrollBar* bar = verticalScrollBar();
    const bool atEnd = bar->value() >= bar->maximum();
    const int top = bar->value();  // in lines: one line per block, no wrapping
    const QTextBlock keep = document()->findBlockByNumber(statuslog::kTrimmedLines);
    QTextCursor c(document());
    c.movePosition(QTextCursor::Start);
    c.setPosition(keep.position(), QTextCursor::KeepAnchor);
    c.removeSelectedText();
    // The removal shifts the lines up; without this the view would jump ahead by 151 lines, or
    // land on the end and follow again.
    if (!atEnd) bar->setValue(std::max(0, top - statuslog::kTrimmedLines));
}

void TStatusLog::ClearLog() {
    clear();
    empty_ = true;
}

int TStatusLog::LineCount() const { return empty_ ? 0 : document()->blockCount(); }

QString TStatusLog::LineText(int index) const {
    if (index < 0 || index >= LineCount()) return {};
    return document()->findBlockByNumber(index).text();
}

QColor TStatusLog::LineColor(int index) const {
    if (index < 0 || index >= LineCount()) return {};
    const QTextBlock b = document()->findBlockByNumber(index);
    const auto it = b.begin();
    if (!it.atEnd()) return it.fragment().charFormat().foreground().color();
    return b.charFormat().foreground().color();
}

void TStatusLog::contextMenuEvent(QContextMenuEvent* event) {
    QMenu* menu = createStandardContextMenu(event->pos());
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addSeparator();
    QAction* clear = menu->addAction(QStringLiteral("Clear"));
    clear->setObjectName(QStringLiteral("ClearLog"));
    clear->setEnabled(!empty_);
    connect(clear, &QAction::triggered, this, &TStatusLog::ClearLog);
    menu->popup(event->globalPos());
}

void TStatusLog::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) return;
    QPlainTextEdit::keyPressEvent(event);
}
