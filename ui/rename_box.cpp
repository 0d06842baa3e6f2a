#include "ui/rename_box.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TRenameBox::TRenameBox(QWidget* parent) : QDialog(parent) {
  setObjectName("RenameBox");
  setWindowTitle("Rename");
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  setModal(true);

  Label1 = new QLabel("Enter new file name :", this);
  Edit1 = new QLineEdit(this);
  Edit1->setMinimumWidth(300);
  Label1->setBuddy(Edit1);
  Button1 = new QPushButton("&OK", this);
  Button1->setDefault(true);
  Button2 = new QPushButton("&Cancel", this);

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

  connect(Button1, &QPushButton::clicked, this, &TRenameBox::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &TRenameBox::reject);
}

QString TRenameBox::Ask(const QString& oldName) {
  FOldName = oldName;
  Edit1->setText(oldName);
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
