#pragma once
// The queue runner bound to the main window: the window side of the runner (status bar, remote
// listing, local pane, availability, sounds, reconnection), the selections of both panes turned
// into queue entries, the transfer commands, and drag and drop between the three lists.

#include <memory>
#include <string>
#include <vector>

#include <QObject>

#include "transfer/expand.h"
#include "transfer/queue_runner.h"
#include "transfer/transfer_questions.h"

class QDropEvent;
class QWidget;
class ISoundPlayer;
class TMainForm;

class TQueueView : public QObject, public ITransferView {
public:
    // Needs the form's FTP client (created with the form, before this).
    explicit TQueueView(TMainForm& form);
    ~TQueueView() override;

    TQueueRunner& Runner() { return *runner_; }

    // ---- Selections
    // Indices into HostDirInfo of the selected remote rows, in row order.
    std::vector<int> SelectedRemoteRows() const;
    // Their names, byte for byte as listed.
    std::vector<std::string> SelectedRemoteNames() const;
    // Full paths of the selected local items, in row order.
    std::vector<std::string> SelectedLocalPaths() const;

    // ---- Commands
    void DownloadNow();         // ToolButton7Click
    void UploadNow();           // ToolButton6Click
    void TransferQueue();       // ToolButton8Click
    void Stop();                // ToolButton10Click
    void AddRemoteSelection();  // AddtoQueue1Click
    void AddLocalSelection();   // AddtoQueue2Click
    void AddByActivePane();     // ToolButton15Click

    // ---- Drag and drop
    enum class TPaneSource { None, Remote, Local };
    // Which pane a drag comes from (the list itself or a widget inside it).
    TPaneSource SourceOf(const QObject* source) const;
    // Whether target (one of the three lists or a widget inside it) takes a drag from source.
    bool AcceptsDrop(const QObject* target, const QObject* source) const;
    // Does what a drop of source's selection on target means; false when refused.
    bool Drop(const QObject* target, const QObject* source);

    // ---- Seams for tests
    // Answers the runner's questions instead of the dialogs (nullptr: the dialogs again).
    void SetQuestions(ITransferQuestions* questions) { questionsOverride_ = questions; }
    // Plays the event sounds instead of the settings dialog's player.
    ISoundPlayer* SoundPlayer = nullptr;

    // ---- ITransferView
    TPaneContext Pane() const override;
    void ListRemoteDirectory(const std::string& path) override;
    void RefreshLocalPane() override;
    void SetStatusPanel(int panel, const std::string& text) override;
    void ResetStatusBar() override;
    void RestartProgress() override;
    void SetRemoteCommandsEnabled(bool enabled) override;
    void SetStopEnabled(bool enabled) override;
    void ReConnect() override;
    void StopReconnectTimer() override;
    void LogStatus(const std::string& text) override;
    void PlayEventSound(TSoundEvent event) override;
    void ProcessEvents() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Questions go to the test's script when one is set, else to the dialogs.
    class TQuestions : public ITransferQuestions {
    public:
        explicit TQuestions(TQueueView& owner) : owner_(owner) {}
        int AskFileExists(const std::string& nameLabel, int64_t originalSize, int64_t newSize,
                          bool resumeEnabled) override;
        std::string AskNewName(const std::string& oldName) override;
        std::string AskFreeName(const std::string& oldName, const std::string& proposed) override;

    private:
        ITransferQuestions& Target();
        TQueueView& owner_;
        std::unique_ptr<ITransferQuestions> dialogs_;
    };

    // The list (QueueListView, RemoteDirList or HomeDirList) that w is or lies in, or nullptr.
    QWidget* ListOf(const QObject* w) const;
    void WatchDrops(QWidget* list);

    TMainForm& f_;
    TQuestions questions_;
    ITransferQuestions* questionsOverride_ = nullptr;
    std::unique_ptr<TQueueRunner> runner_;
};
