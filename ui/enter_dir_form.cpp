#include "ui/enter_dir_form.h"

#include <QEvent>
#include <QLineEdit>
#include <QPushButton>

#include "ui/connect_form.h"
#include "ui/line_entry_layout.h"

TEnterDirForm::TEnterDirForm(QWidget* parent) : QDialog(parent) {
    setObjectName("EnterDirForm");
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setWindowModality(Qt::ApplicationModal);

    BuildLineEntryLayout(this, "Enter name :", 280, "&Cancle", Label1, Edit1, Button1, Button2);

    connect(Button1, &QPushButton::clicked, this, &TEnterDirForm::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
    connect(this, &QDialog::finished, this, &TEnterDirForm::Closed);
}

void TEnterDirForm::Open(int mode, const QString& caption, const QString& text, const std::string& oldName) {
    FMode = mode;
    FOldName = oldName;
    setWindowTitle(caption);
    Edit1->setText(text);
    show();
    raise();
    activateWindow();
}

QString TEnterDirForm::Text() const { return Edit1->text(); }

void TEnterDirForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    Edit1->setFocus();
}

bool TEnterDirForm::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate) Edit1->setFocus();
    return QDialog::event(event);
}

void TEnterDirForm::Button1Click() {
    const QString name = Edit1->text();
    if (name.isEmpty()) {
        ShowDialogMessage(this, "Enter directory name");
        Edit1->setFocus();
        return;
    }
    emit NameEntered(FMode, name);
}
