#pragma once
// Layout shared by the one-line entry dialogs: a label over an edit line, OK and cancel below.

#include <QString>

class QDialog;
class QLabel;
class QLineEdit;
class QPushButton;

// Creates the widgets as children of the dialog (label, edit, OK, cancel: this order is the tab
// order) and lays them out at a fixed size. OK is the default button; no signals are connected.
void BuildLineEntryLayout(QDialog* dialog, const QString& labelText, int editMinWidth, const QString& cancelText,
                          QLabel*& label, QLineEdit*& edit, QPushButton*& ok, QPushButton*& cancel);
