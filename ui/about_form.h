#pragma once
// About box with the link to the maker's web page.

#include <QDialog>

class QLabel;
class QPushButton;

class TAboutForm : public QDialog {
  Q_OBJECT
 public:
  static const char* const WebAddress;  // "https://orlix-ftp.example.org/"

  explicit TAboutForm(QWidget* parent = nullptr);

  // Centres the box on the screen and shows it without waiting; the parent window takes no
  // input until "OK" closes it.
  void ShowCentered();

  QLabel* Image1 = nullptr;
  QLabel* Label1 = nullptr;       // the two text lines
  QLabel* LinkLabel = nullptr;    // the web address, bold blue
  QPushButton* Button1 = nullptr; // "OK"

 signals:
  // Double click on the link label: open the address in the browser.
  void OpenWebPage(const QString& address);
  // "OK" closed the box: the main window is usable again.
  void Closed();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void reject() override;  // no Escape: the box closes only through its button
};
