#pragma once
// The queue pane: the queue list and its rows, the queue runner with the transfer state, the
// transfer and queue commands, and drag and drop between the three lists. What the runner needs of
// the window goes through ITransferView; the panes' selections through their own APIs.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QObject>

#include "transfer/expand.h"
#include "transfer/queue_runner.h"
#include "transfer/transfer_questions.h"

class QDropEvent;
class QTreeView;
class QWidget;
class TAllExistsForm;
class TIdFTP;
class TLocalPane;
class TQueueListModel;
class TRemotePane;
class TRenameBox;
class TTransferQueue;

class TQueueView : public QObject {
public:
    struct TLinks {
        TIdFTP& Ftp;
        TTransferQueue& Queue;
        ITransferView& View;
        TRemotePane& Remote;
        TLocalPane& Local;
        // Before a command that needs the server: false when a dropped session did not come back.
        std::function<bool()> ResumeSession;
        // Which pane receives the pane commands (1 local, 2 remote).
        std::function<int()> ActivePane;
    };
    // Builds the queue panel inside parent.
    TQueueView(QWidget* parent, const TLinks& links, const std::string& dataDir);
    ~TQueueView() override;

    QWidget* Panel() const { return panel_; }
    QTreeView* List() const { return list_; }
    TQueueListModel* Model() const { return model_; }
    TQueueRunner& Runner() { return *runner_; }
    // Shared by the runner, Stop and the progress display.
    TTransferState& Transfer() { return transfer_; }
    const TTransferState& Transfer() const { return transfer_; }
    // A transfer or a run is going on.
    bool Busy() const { return transfer_.Transferring || transfer_.RunActive; }

    // The file-exists and rename dialogs that answer the runner's questions.
    void SetDialogs(TAllExistsForm* allExists, TRenameBox* rename);

    // ---- Rows
    // Index of the first selected queue row, or -1.
    int SelectedRow() const;
    void SelectRow(int row);

    // ---- Commands
    void DownloadNow();         // ToolButton7Click
    void UploadNow();           // ToolButton6Click
    void TransferQueue();       // ToolButton8Click
    void Stop();                // ToolButton10Click
    void AddRemoteSelection();  // AddtoQueue1Click
    void AddLocalSelection();   // AddtoQueue2Click
    void AddByActivePane();     // ToolButton15Click
    void RemoveSelected();
    void RemoveAll();
    void ResetSelectedStatus();
    void ResetAllStatuses();
    void MoveToTop();
    void MoveUp();
    void MoveDown();

    // ---- Drag and drop
    enum class TPaneSource { None, Remote, Local };
    // Which pane a drag comes from (the list itself or a widget inside it).
    TPaneSource SourceOf(const QObject* source) const;
    // Whether target (one of the three lists or a widget inside it) takes a drag from source.
    bool AcceptsDrop(const QObject* target, const QObject* source) const;
    // Does what a drop of source's selection on target means; false when refused.
    bool Drop(const QObject* target, const QObject* source);

    // Answers the runner's questions instead of the dialogs (nullptr: the dialogs again).
    void SetQuestions(ITransferQuestions* questions) { questionsOverride_ = questions; }

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

    void BuildList(QWidget* parent);
    // The list (the queue list or a pane's list) that w is or lies in, or nullptr.
    QWidget* ListOf(const QObject* w) const;
    void WatchDrops(QWidget* list);

    TLinks links_;
    QWidget* panel_ = nullptr;
    QTreeView* list_ = nullptr;
    TQueueListModel* model_ = nullptr;
    TAllExistsForm* allExists_ = nullptr;
    TRenameBox* rename_ = nullptr;
    TTransferState transfer_;
    TQuestions questions_;
    ITransferQuestions* questionsOverride_ = nullptr;
    std::unique_ptr<TQueueRunner> runner_;
};
