#pragma once
// Name-entry dialog shared by make directory, rename and change directory.

#include <QDialog>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;

class TEnterDirForm : public QDialog {
    Q_OBJECT
public:
    // What the entered name is for; the main window acts on it.
    enum NameMode {
        MakeLocalDir = 1,
        RenameLocal = 2,
        MakeRemoteDir = 6,
        RenameRemote = 7,
        ChangeRemoteDir = 8,
    };

    explicit TEnterDirForm(QWidget* parent = nullptr);

    // Sets the mode, caption, edit line and old name, then shows the dialog without waiting.
    // The parent window takes no input until the dialog closes (window modality; do not disable
    // the parent yourself, that would disable this child dialog as well).
    void Open(int mode, const QString& caption, const QString& text = QString(),
              const std::string& oldName = std::string());

    int Mode() const { return FMode; }
    const std::string& OldName() const { return FOldName; }
    QString Text() const;

    QLabel* Label1 = nullptr;        // "Enter name :"
    QLineEdit* Edit1 = nullptr;      // the name
    QPushButton* Button1 = nullptr;  // "&OK", default (Enter)
    QPushButton* Button2 = nullptr;  // "&Cancle" (Escape)

signals:
    // OK with a non-empty line. The receiver does the action of the mode and calls close() when
    // the dialog is to close; a refused remote action leaves it open.
    void NameEntered(int mode, const QString& name);
    // The dialog was closed in any way (OK, Cancle, Escape): show and enable the main window.
    void Closed();

protected:
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;

private:
    void Button1Click();

    int FMode = 0;
    std::string FOldName;
};
