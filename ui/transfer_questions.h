#pragma once
// The runner's questions answered by the file-exists dialog and the rename box.

#include "transfer/transfer_questions.h"

class TAllExistsForm;
class TRenameBox;

class TDialogTransferQuestions : public ITransferQuestions {
public:
    TDialogTransferQuestions(TAllExistsForm& existsForm, TRenameBox& renameBox)
        : FExistsForm(existsForm), FRenameBox(renameBox) {}

    int AskFileExists(const std::string& nameLabel, int64_t originalSize, int64_t newSize, bool resumeEnabled) override;
    // The name is shown decoded from UTF-8; an unchanged-bytes result is not possible since OK
    // demands a different name.
    std::string AskNewName(const std::string& oldName) override;
    std::string AskFreeName(const std::string& oldName, const std::string& proposed) override;

private:
    TAllExistsForm& FExistsForm;
    TRenameBox& FRenameBox;
};
