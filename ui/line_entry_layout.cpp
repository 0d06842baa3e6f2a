#include "ui/line_entry_layout.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

void BuildLineEntryLayout(QDialog* dialog, const QString& labelText, int editMinWidth, const QString& cancelText,
                          QLabel*& label, QLineEdit*& edit, QPushButton*& ok, QPushButton*& cancel) {
    label = new QLabel(labelText, dialog);
    edit = new QLineEdit(dialog);
    edit->setMinimumWidth(editMinWidth);
    label->setBuddy(edit);
    ok = new QPushButton("&OK", dialog);
    ok->setDefault(true);
    cancel = new QPushButton(cancelText, dialog);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(dialog);
    layout->addWidget(label);
    layout->addWidget(edit);
    layout->addSpacing(6);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}
