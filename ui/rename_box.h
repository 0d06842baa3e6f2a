#pragma once
// Modal box asking for a new file name.

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

class TRenameBox : public QDialog {
    Q_OBJECT
public:
    explicit TRenameBox(QWidget* parent = nullptr);

    // Runs the box modally on the old name. Returns the new name, or an empty string when the
    // user cancelled. OK is taken only for a non-empty name that differs from the old one
    // other than by case.
    QString Ask(const QString& oldName);
    // The same with the edit line starting at proposed (OK still compares against oldName).
    QString Ask(const QString& oldName, const QString& proposed);

    QLabel* Label1 = nullptr;  // "Enter new file name :"
    QLineEdit* Edit1 = nullptr;
    QPushButton* Button1 = nullptr;  // "&OK", default
    QPushButton* Button2 = nullptr;  // "&Cancel"

protected:
    void reject() override;  // Cancel and Escape empty the line

private:
    void Button1Click();

    QString FOldName;
};
