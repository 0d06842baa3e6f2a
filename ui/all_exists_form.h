#pragma once
// File-exists question of the transfers: overwrite, resume, rename or skip.

#include <QDialog>
#include <cstdint>

#include "transfer/transfer_state.h"

class QCheckBox;
class QLabel;
class QPushButton;

class TAllExistsForm : public QDialog {
    Q_OBJECT
public:
    explicit TAllExistsForm(QWidget* parent = nullptr);

    // Fills the labels ("<size> bytes"), clears the check box, enables Resume as told and runs the
    // dialog modally. Returns the chosen ExistsAction code (TExistsAction, 11..18).
    int Ask(const QString& fileName, int64_t originalSize, int64_t newSize, bool resumeEnabled);

    int ExistsAction() const { return FExistsAction; }

    QLabel* FileNameLabel = nullptr;
    QLabel* OriginalSizeLabel = nullptr;
    QLabel* NewSizeLabel = nullptr;
    QPushButton* OverwriteButton = nullptr;  // "Over&write"
    QPushButton* RenameButton = nullptr;     // "Re&name"
    QPushButton* ResumeButton = nullptr;     // "&Resume"
    QPushButton* SkipButton = nullptr;       // "&Skip", also Escape
    QCheckBox* AllFilesCheck = nullptr;      // "Apply command to &all files"

protected:
    void reject() override;  // Escape means Skip

private:
    void Choose(int singleCode);

    int FExistsAction = eaNone;
};
