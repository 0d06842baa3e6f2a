#pragma once
// About box with the link to the program's guide (its README), and where that guide is found.

#include <QDialog>
#include <QString>

#include <functional>

class QUrl;

// The program's README.md: installed as <prefix>/share/doc/orlix-ftp/README.md beside <prefix>/bin
// (binaryDir), else, for a program run from its build tree, the source tree's copy. Empty when
// neither exists.
QString ProgramReadmePath(const QString& binaryDir);
// The same for the running program, as a file:// URL (empty when there is none).
QString ProgramReadmeUrl();

// Hands a URL to the desktop (its browser or viewer). Tests put an opener in its place, so that
// nothing is launched; an empty opener restores the desktop's.
void OpenDesktopUrl(const QUrl& url);
void SetDesktopUrlOpener(std::function<void(const QUrl&)> opener);

class QLabel;
class QPushButton;

class TAboutForm : public QDialog {
    Q_OBJECT
public:
    explicit TAboutForm(QWidget* parent = nullptr);

    // Centres the box on the screen and shows it without waiting; the parent window takes no
    // input until "OK" closes it.
    void ShowCentered();

    QLabel* Image1 = nullptr;
    QLabel* Label1 = nullptr;        // the two text lines
    QLabel* LinkLabel = nullptr;     // the README's location, bold blue
    QPushButton* Button1 = nullptr;  // "OK"

signals:
    // Double click on the link label: open the README (its file:// URL; empty when none was found).
    void OpenWebPage(const QString& address);
    // "OK" closed the box: the main window is usable again.
    void Closed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void reject() override;  // no Escape: the box closes only through its button
};
