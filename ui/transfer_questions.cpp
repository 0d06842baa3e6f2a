#include "ui/transfer_questions.h"

#include "ui/all_exists_form.h"
#include "ui/rename_box.h"

int TDialogTransferQuestions::AskFileExists(const std::string& nameLabel, int64_t originalSize, int64_t newSize,
                                            bool resumeEnabled) {
    return FExistsForm.Ask(QString::fromUtf8(nameLabel.data(), static_cast<qsizetype>(nameLabel.size())), originalSize,
                           newSize, resumeEnabled);
}

std::string TDialogTransferQuestions::AskNewName(const std::string& oldName) {
    const QString name = FRenameBox.Ask(QString::fromUtf8(oldName.data(), static_cast<qsizetype>(oldName.size())));
    return name.toUtf8().toStdString();
}

std::string TDialogTransferQuestions::AskFreeName(const std::string& oldName, const std::string& proposed) {
    const QString name = FRenameBox.Ask(QString::fromUtf8(oldName.data(), static_cast<qsizetype>(oldName.size())),
                                        QString::fromUtf8(proposed.data(), static_cast<qsizetype>(proposed.size())));
    return name.toUtf8().toStdString();
}
