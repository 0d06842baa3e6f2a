#include "ui/all_exists_form.h"

#include <QCheckBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TAllExistsForm::TAllExistsForm(QWidget* parent) : QDialog(parent) {
    setObjectName("AllExistsForm");
    setWindowTitle("File allready exists.");
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setModal(true);

    // Left panel: which file and the two sizes.
    auto* left = new QFrame(this);
    left->setFrameShape(QFrame::StyledPanel);
    FileNameLabel = new QLabel(left);
    FileNameLabel->setMinimumWidth(260);
    FileNameLabel->setMaximumWidth(420);
    FileNameLabel->setWordWrap(true);
    FileNameLabel->setTextFormat(Qt::PlainText);
    OriginalSizeLabel = new QLabel(left);
    NewSizeLabel = new QLabel(left);
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->addWidget(new QLabel("File allerady exists:", left));
    leftLayout->addWidget(FileNameLabel);
    leftLayout->addSpacing(8);
    leftLayout->addWidget(new QLabel("Original file filesize:", left));
    leftLayout->addWidget(OriginalSizeLabel);
    leftLayout->addSpacing(8);
    leftLayout->addWidget(new QLabel("New file filesize:", left));
    leftLayout->addWidget(NewSizeLabel);
    leftLayout->addStretch(1);

    // Right panel: the actions.
    auto* right = new QFrame(this);
    right->setFrameShape(QFrame::StyledPanel);
    auto* heading = new QLabel("Select action:", right);
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    OverwriteButton = new QPushButton("Over&write", right);
    RenameButton = new QPushButton("Re&name", right);
    ResumeButton = new QPushButton("&Resume", right);
    SkipButton = new QPushButton("&Skip", right);
    AllFilesCheck = new QCheckBox("Apply command to &all files", right);
    auto* rightLayout = new QVBoxLayout(right);
    rightLayout->addWidget(heading);
    rightLayout->addWidget(OverwriteButton);
    rightLayout->addWidget(RenameButton);
    rightLayout->addWidget(ResumeButton);
    rightLayout->addWidget(SkipButton);
    rightLayout->addSpacing(6);
    rightLayout->addWidget(AllFilesCheck);
    rightLayout->addStretch(1);

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(left, 1);
    layout->addWidget(right);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(OverwriteButton, &QPushButton::clicked, this, [this] { Choose(eaOverwrite); });
    connect(RenameButton, &QPushButton::clicked, this, [this] { Choose(eaRename); });
    connect(ResumeButton, &QPushButton::clicked, this, [this] { Choose(eaResume); });
    connect(SkipButton, &QPushButton::clicked, this, [this] { Choose(eaSkip); });
}

int TAllExistsForm::Ask(const QString& fileName, int64_t originalSize, int64_t newSize, bool resumeEnabled) {
    FileNameLabel->setText(fileName);
    OriginalSizeLabel->setText(QString::number(originalSize) + " bytes");
    NewSizeLabel->setText(QString::number(newSize) + " bytes");
    ResumeButton->setEnabled(resumeEnabled);
    AllFilesCheck->setChecked(false);
    FExistsAction = eaNone;
    OverwriteButton->setFocus();
    exec();
    // Closed without a choice (the window went away): leave the file alone.
    if (FExistsAction == eaNone) FExistsAction = eaSkip;
    return FExistsAction;
}

void TAllExistsForm::Choose(int singleCode) {
    FExistsAction = AllFilesCheck->isChecked() ? singleCode + 4 : singleCode;
    QDialog::done(QDialog::Accepted);
}

void TAllExistsForm::reject() { Choose(eaSkip); }
