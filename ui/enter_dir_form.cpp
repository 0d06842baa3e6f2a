#include "ui/enter_dir_form.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/connect_form.h"

TEnterDirForm::TEnterDirForm(QWidget* parent) : QDialog(parent) {
  setObjectName("EnterDirForm");
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  setWindowModality(Qt::ApplicationModal);

  Label1 = new QLabel("Enter name :", this);
  Edit1 = new QLineEdit(this);
  Edit1->setMinimumWidth(280);
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

  connect(Button1, &QPushButton::clicked, this, &TEnterDirForm::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
  connect(this, &QDialog::finished, this, &TEnterDirForm::Closed);
}

void TEnterDirForm::Open(int mode, const QString& caption, const QString& text,
                         const std::string& oldName) {
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
