#pragma once
// The two questions the queue runner puts to the user while transferring. The program answers
// them with the file-exists dialog and the rename box; tests script the answers.

#include <cstdint>
#include <deque>
#include <stdexcept>
#include <string>
#include <vector>

class ITransferQuestions {
public:
    virtual ~ITransferQuestions() = default;

    // The target file exists. nameLabel is shown as the file's name; the sizes are shown as
    // "<n> bytes". Returns the ExistsAction code: 11 Overwrite, 12 Resume, 13 Rename, 14 Skip, or
    // 15..18 for the same four applied to all further files. Resume is offered only when
    // resumeEnabled is true.
    virtual int AskFileExists(const std::string& nameLabel, int64_t originalSize, int64_t newSize,
                              bool resumeEnabled) = 0;

    // Asks for a new name for oldName. Returns the new name, or an empty string when cancelled.
    virtual std::string AskNewName(const std::string& oldName) = 0;
    // The same, with the edit line holding `proposed` (a name not taken yet) instead.
    virtual std::string AskFreeName(const std::string& oldName, const std::string& /*proposed*/) {
        return AskNewName(oldName);
    }
};

// Answers from a script, for tests of the runner. Each question takes the next answer of its
// kind; an unexpected question throws std::logic_error. Every question is recorded.
class TScriptedTransferQuestions : public ITransferQuestions {
public:
    struct ExistsQuestion {
        std::string NameLabel;
        int64_t OriginalSize = 0;
        int64_t NewSize = 0;
        bool ResumeEnabled = false;
    };

    std::deque<int> ExistsAnswers;
    std::deque<std::string> NameAnswers;
    std::vector<ExistsQuestion> ExistsAsked;
    std::vector<std::string> NamesAsked;
    std::vector<std::string> NamesProposed;

    int AskFileExists(const std::string& nameLabel, int64_t originalSize, int64_t newSize,
                      bool resumeEnabled) override {
        ExistsAsked.push_back({nameLabel, originalSize, newSize, resumeEnabled});
        if (ExistsAnswers.empty()) throw std::logic_error("unexpected file-exists question: " + nameLabel);
        int answer = ExistsAnswers.front();
        ExistsAnswers.pop_front();
        // The dialog cannot resume when Resume is disabled; a script doing so is a test fault.
        if (!resumeEnabled && (answer == 12 || answer == 16))
            throw std::logic_error("resume chosen while not offered: " + nameLabel);
        return answer;
    }

    std::string AskNewName(const std::string& oldName) override {
        NamesAsked.push_back(oldName);
        if (NameAnswers.empty()) throw std::logic_error("unexpected rename question: " + oldName);
        std::string answer = NameAnswers.front();
        NameAnswers.pop_front();
        return answer;
    }

    std::string AskFreeName(const std::string& oldName, const std::string& proposed) override {
        NamesProposed.push_back(proposed);
        return AskNewName(oldName);
    }
};
