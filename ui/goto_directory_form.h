#pragma once
// Goto-directory dialog of the local pane.

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

class TGotoDirectoryForm : public QDialog {
    Q_OBJECT
public:
    explicit TGotoDirectoryForm(QWidget* parent = nullptr);

    // Puts the path into the field and shows the dialog without waiting; the main window stays
    // enabled.
    void Open(const QString& path);

    QLabel* Label1 = nullptr;        // "Goto directory:"
    QLineEdit* Edit1 = nullptr;      // the folder
    QPushButton* Button1 = nullptr;  // "&OK", default
    QPushButton* Button2 = nullptr;  // "&Cancle"

signals:
    // OK on an existing local folder: the receiver sets the local combo to it. The dialog then
    // closes by itself.
    void DirectoryChosen(const QString& path);

private:
    void Button1Click();
};
