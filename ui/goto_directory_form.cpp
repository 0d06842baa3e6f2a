#include "ui/goto_directory_form.h"

#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>

#include "ui/connect_form.h"
#include "ui/line_entry_layout.h"

TGotoDirectoryForm::TGotoDirectoryForm(QWidget* parent) : QDialog(parent) {
    setObjectName("GotoDirectoryForm");
    setWindowTitle("Goto directory");
    setModal(false);

    BuildLineEntryLayout(this, "Goto directory:", 340, "&Cancle", Label1, Edit1, Button1, Button2);

    connect(Button1, &QPushButton::clicked, this, &TGotoDirectoryForm::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
}

void TGotoDirectoryForm::Open(const QString& path) {
    Edit1->setText(path);
    show();
    raise();
    activateWindow();
    Edit1->setFocus();
}

void TGotoDirectoryForm::Button1Click() {
    const QString path = Edit1->text();
    if (!path.isEmpty() && QFileInfo(path).isDir()) {
        emit DirectoryChosen(path);
        accept();
        return;
    }
    ShowDialogMessage(this, "Directory " + path + " does not exists");
}
