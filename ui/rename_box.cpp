#include "ui/rename_box.h"

#include <QLineEdit>
#include <QPushButton>

#include "ui/line_entry_layout.h"

TRenameBox::TRenameBox(QWidget* parent) : QDialog(parent) {
    setObjectName("RenameBox");
    setWindowTitle("Rename");
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setModal(true);

    BuildLineEntryLayout(this, "Enter new file name :", 300, "&Cancel", Label1, Edit1, Button1, Button2);

    connect(Button1, &QPushButton::clicked, this, &TRenameBox::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TRenameBox::reject);
}

QString TRenameBox::Ask(const QString& oldName) { return Ask(oldName, oldName); }

QString TRenameBox::Ask(const QString& oldName, const QString& proposed) {
    FOldName = oldName;
    Edit1->setText(proposed);
    Edit1->selectAll();
    Edit1->setFocus();
    exec();
    return Edit1->text();
}

void TRenameBox::Button1Click() {
    const QString name = Edit1->text();
    // The same name, even in other letter case, is no rename.
    if (name.isEmpty() || name.compare(FOldName, Qt::CaseInsensitive) == 0) return;
    accept();
}

void TRenameBox::reject() {
    Edit1->clear();
    QDialog::reject();
}
