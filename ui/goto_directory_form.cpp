#include "ui/goto_directory_form.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/connect_form.h"

TGotoDirectoryForm::TGotoDirectoryForm(QWidget* parent) : QDialog(parent) {
  setObjectName("GotoDirectoryForm");
  setWindowTitle("Goto directory");
  setModal(false);

  Label1 = new QLabel("Goto directory:", this);
  Edit1 = new QLineEdit(this);
  Edit1->setMinimumWidth(340);
  Label1->setBuddy(Edit1);
  Button1 = new QPushButton("&OK", this);
  Button1->setDefault(true);
  Button2 = new QPushButton("&Cancle", this);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(Button1);
  buttons->addWidget(Button2);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Label1);
  layout->addWidget(Edit1);
  layout->addSpacing(6);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

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
