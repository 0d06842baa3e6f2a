#pragma once
// The main window: toolbar, menus, status log, the local and remote panes, the transfer queue and
// the status bar. It owns the FTP client, the log intercept, the responsiveness hook, the retry
// timer, the site table, the settings and the queues, and it creates the dialogs.
//
// Where the rest of the window's behaviour lives:
//   main_form.cpp          frame: start-up, shutdown, layout, menus, tray, availability sets
//   main_form_log.cpp      status log, status bar and progress display
//   main_form_session.cpp  connect, reconnect, disconnect, the retry timer
//   main_form_views.cpp    the remote listing and both panes' navigation
//   main_form_transfer.cpp the queue runner, immediate transfers, stop, add to queue
//   main_form_fileops.cpp  delete, rename, make directory

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "settings/program_settings.h"
#include "sites/site_options.h"
#include "sites/site_table.h"
#include "transfer/certificate_trust.h"
#include "transfer/queue_model.h"
#include "transfer/transfer_state.h"
#include "transport/intercept.h"
#include "ui/progress.h"
#include "ui/qt_pump.h"
#include "ui/session_controller.h"

#include <QAbstractTableModel>
#include <QIcon>
#include <QMainWindow>
#include <QPersistentModelIndex>
#include <QPointer>
#include <QString>
#include <QSystemTrayIcon>

class QAction;
class QComboBox;
class QFileSystemModel;
class QLabel;
class QMenu;
class QProgressBar;
class QResizeEvent;
class QSplitter;
class QStatusBar;
class QTimer;
class QToolBar;
class QToolButton;
class QTreeView;
class QTreeWidget;
class QWidget;

class TIdAntiFreeze;
class TIdFTP;
class TStatusLog;
class TQueueListModel;
class TQueueView;

class TEnterDirForm;
class TConnectForm;
class TAllExistsForm;
class TRenameBox;
class TGotoDirectoryForm;
class TAboutForm;
class TSettingsForm;
class TCertificateForm;

// The queue list's rows: a thin view of the live queue, told of every change row by row.
class TQueueListModel : public QAbstractTableModel, public IQueueView {
public:
    explicit TQueueListModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}

    // Where QueueRowSelected and QueueSummaryChanged go.
    std::function<void(int row)> OnSelectRow;
    std::function<void(const std::string& text)> OnSummary;
    std::function<void(const std::string& message)> OnRefused;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    const TQueueRow& Row(int row) const { return rows_.at(static_cast<std::size_t>(row)); }

    void QueueRowsCleared() override;
    void QueueRowInserted(int row, const TQueueRow& texts) override;
    void QueueRowDeleted(int row) override;
    void QueueRowRebuilt(int row, const TQueueRow& texts) override;
    void QueueRowSelected(int row) override;
    void QueueSummaryChanged(const std::string& text) override;
    void QueueEntryRefused(const std::string& message) override;

private:
    std::vector<TQueueRow> rows_;
};

// Everything the window remembers between events, in one place: the session (ActivePane,
// RemoteHomeDir, LastRemoteDir, ConnectAttempts, Reconnecting, ConnectSoundPending), the remote
// listing rows (HostDirInfo, LastRemoteRowIndex), the transfer state and the display's own fields.
// The handlers of every area read and write these fields; nothing else keeps window state.
struct TMainFormState : TSessionState, TRemoteListingState {
    // Transfer state shared by the runner, Stop and the progress display.
    TTransferState Transfer;
    // Progress display: start of the data transfer and the smoothed speed.
    progress::TProgressState Progress;

    // Tray.
    bool InTray = false;
    QString TrayTip;

    // The next activation is the first one (start-up loading and the site dialog).
    bool FirstActivation = true;
};

class TMainForm : public QMainWindow, public TMainFormState {
    Q_OBJECT
public:
    explicit TMainForm(QWidget* parent = nullptr);  // FormCreate
    ~TMainForm() override;                          // FormDestroy

    // Creates the seven dialogs in their order (after the main window, before it is shown).
    void CreateDialogs();

    // ---- Owned components ----
    std::unique_ptr<TIdFTP> IdFTP1;
    TIdLogEvent IdLogEvent1;
    TQtMessagePump MessagePump;
    std::unique_ptr<TIdAntiFreeze> IdAntiFreeze1;
    QTimer* Timer1 = nullptr;  // retry timer, one-shot, disabled at start

    TSiteTable SiteTable;
    TProgramSettings Settings;
    // Per-site connection options and the program-wide connection settings.
    TSiteOptionsFile SiteOptions;
    // The trusted server certificates and this run's answers about the others.
    TCertificateTrust CertificateTrust;
    // The live queue, the stored queues of all sites and the byte total.
    TTransferQueue Queue;

    // Data folder, ending in "/".
    std::string DataDir;

    // The session controller and the directory views.
    std::unique_ptr<TSessionViews> SessionViews;

    // ---- Dialogs (created by CreateDialogs, in this order) ----
    TEnterDirForm* EnterDirForm = nullptr;
    TConnectForm* ConnectForm = nullptr;
    TAllExistsForm* AllExistsForm = nullptr;
    TRenameBox* RenameBox = nullptr;
    TGotoDirectoryForm* GotoDirectoryForm = nullptr;
    TAboutForm* AboutForm = nullptr;
    TSettingsForm* SettingsForm = nullptr;
    // Asked by CertificateTrust for the window's session and the queue's reconnects alike.
    TCertificateForm* CertificateForm = nullptr;

    // ---- Controls ----
    QToolBar* ToolBar1 = nullptr;
    QAction* ToolButton1 = nullptr;   // "Site list"
    QAction* ToolButton2 = nullptr;   // "Connect"
    QAction* ToolButton3 = nullptr;   // "DisConnect"
    QAction* ToolButton4 = nullptr;   // "ReConnect"
    QAction* ToolButton6 = nullptr;   // "Upload"
    QAction* ToolButton7 = nullptr;   // "Download"
    QAction* ToolButton15 = nullptr;  // "Add to queue"
    QAction* ToolButton16 = nullptr;  // "Remove from queue"
    QAction* ToolButton8 = nullptr;   // "Transfer queue"
    QAction* ToolButton10 = nullptr;  // "Stop transfer"
    QAction* ToolButton11 = nullptr;  // "Refresh"
    QAction* ToolButton13 = nullptr;  // "Rename"
    QAction* ToolButton18 = nullptr;  // "Delete"
    QAction* ToolButton20 = nullptr;  // "Move to system tray "

    QWidget* StatusPanel = nullptr;
    TStatusLog* StatusList = nullptr;
    QSplitter* MainSplitter = nullptr;  // status panel | panes | queue panel
    QSplitter* PaneSplitter = nullptr;  // local pane | remote pane

    QWidget* HomeDirPanel = nullptr;
    QComboBox* HomeDirCombo = nullptr;
    QToolButton* HomeDirUpButton = nullptr;
    QTreeView* HomeDirList = nullptr;
    QFileSystemModel* HomeDirModel = nullptr;

    QWidget* RemoteDirPanel = nullptr;
    QComboBox* RemoteDirCombo = nullptr;
    QToolButton* RemoteDirUpButton = nullptr;
    QTreeWidget* RemoteDirList = nullptr;

    QWidget* QueuePanel = nullptr;
    QTreeView* QueueListView = nullptr;
    TQueueListModel* QueueModel = nullptr;
    // The queue runner bound to this window: transfer commands, selections, drops (ui/queue_view.h).
    std::unique_ptr<TQueueView> QueueView;

    QStatusBar* StatusBar1 = nullptr;
    std::vector<QLabel*> StatusPanels;  // eight panels, counted from 0
    QProgressBar* ProgressBar1 = nullptr;
    // Whether the session is encrypted: "TLS" (protocol and cipher as tool tip), "Not encrypted",
    // or nothing while disconnected.
    QLabel* EncryptionPanel = nullptr;

    QSystemTrayIcon* TrayIcon = nullptr;

    // ---- Menus ----
    QMenu* File1 = nullptr;
    QAction* Sitelist1 = nullptr;
    QAction* ReConnect1 = nullptr;
    QAction* DisConnect1 = nullptr;
    QAction* N11 = nullptr;
    QMenu* Options1 = nullptr;
    QAction* Main1 = nullptr;
    QMenu* ransfer1 = nullptr;
    QAction* Download2 = nullptr;
    QAction* Upload2 = nullptr;
    QAction* ransferqueue1 = nullptr;
    QAction* Addtoqueue3 = nullptr;
    QAction* Stop1 = nullptr;
    QMenu* Commands1 = nullptr;
    QAction* Refresh3 = nullptr;
    QAction* Rename3 = nullptr;
    QAction* Makedirectory2 = nullptr;
    QAction* Delete3 = nullptr;
    QMenu* Queue1 = nullptr;
    QAction* Addtoqueue4 = nullptr;
    QAction* Removefromqueue3 = nullptr;
    QAction* Removeallfromqueue2 = nullptr;
    QAction* Resetselectedststus1 = nullptr;
    QAction* Resetallststuses2 = nullptr;
    QAction* Movetotop2 = nullptr;
    QAction* Moveoneup2 = nullptr;
    QAction* Moveonedown2 = nullptr;
    QMenu* Help1 = nullptr;
    QAction* Connecttohomesite1 = nullptr;
    QAction* About1 = nullptr;

    QMenu* HostPopupMenu = nullptr;
    QAction* Download1 = nullptr;
    QAction* AddtoQueue1 = nullptr;
    QAction* MakeDir1 = nullptr;
    QAction* Rename1 = nullptr;
    QAction* Delete1 = nullptr;
    QAction* ChangeDirUp1 = nullptr;
    QAction* GotoDirectory1 = nullptr;
    QAction* Homedirectory1 = nullptr;
    QAction* Refresh1 = nullptr;
    std::vector<QAction*> HostPopupSeparators;  // the two separators between MakeDir1 and Refresh1

    QMenu* HomePopupMenu = nullptr;
    QAction* Upload1 = nullptr;
    QAction* AddtoQueue2 = nullptr;
    QAction* MakeDirectory1 = nullptr;
    QAction* Rename2 = nullptr;
    QAction* Delete2 = nullptr;
    QAction* ChangeDirectoryUp1 = nullptr;
    QAction* GotoDirectory2 = nullptr;
    QAction* Refresh2 = nullptr;

    QMenu* QueuePopupMenu = nullptr;
    QAction* TransferQueue1 = nullptr;
    QAction* RemovefromQueue1 = nullptr;
    QAction* RemoveallFromQueue1 = nullptr;
    QAction* ResetStetsu1 = nullptr;
    QAction* Resetallststuses1 = nullptr;
    QAction* Movetotop1 = nullptr;
    QAction* Moveoneup1 = nullptr;
    QAction* Moveonedown1 = nullptr;

    // ---- Frame (main_form.cpp) ----
    void FormActivate();
    // Returns whether the window may close.
    bool FormCloseQuery();
    void N11Click();
    void ToolButton20Click();
    void TrayIconActivated(QSystemTrayIcon::ActivationReason reason);
    void LeaveTray();
    void Main1Click();
    void About1Click();
    void Connecttohomesite1Click();
    static void OpenWebPage(const QString& address);
    void HomeDirPanelResize();
    void RemoteDirPanelResize();
    // Stores the tray tip (cut to 63 characters) and sends it to the icon.
    void SetTrayTip(const QString& text);
    // Whether the desktop has a notification area; tests may pretend either way.
    bool TrayAvailable() const;
    int TrayAvailableOverride = -1;  // -1: ask the system, 0: none, 1: present

    // Availability of the session-dependent commands.
    void ApplyStartAvailability();
    void ApplyConnectedAvailability();
    void ApplyDisconnectedAvailability();

    // Local pane: the folder shown (ending in "/"), and going to another one.
    std::string LocalDir() const;
    bool SetLocalDir(const QString& path);
    void RefreshLocalPane();

    // The status bar's queue summary from the live queue's count and byte total.
    void RefreshQueueSummary();

    // Data files.
    void LoadStoredState();
    void SaveStoredState();

    // Layout (main_form_layout.cpp): minimums, stretch, columns, status bar; splitter positions
    // kept in layout.ini in the data folder.
    void ApplyLayoutRules();
    void RestoreLayout();
    void SaveLayout();
    void MainSplitterResized(const QResizeEvent& e);

    // ---- Status log, status bar and progress display (main_form_log.cpp) ----
    void IdLogEvent1Sent(const std::string& text);
    void IdLogEvent1Received(const std::string& text);
    void IdFTP1Status(TIdStatus status, const std::string& text);
    // A line of the session controller (blue, no trimming).
    void AddLogLine(const QString& text);
    void IdFTP1WorkBegin(TWorkMode mode, int64_t max);
    void IdFTP1Work(TWorkMode mode, int64_t count);
    void IdFTP1WorkEnd(TWorkMode mode);
    void ResetStatusBar();
    void SetPanelText(int panel, const QString& text);
    QString PanelText(int panel) const;
    // Shows what the last work events computed (called at most every PanelRepaintInterval).
    void FlushProgress();
    std::chrono::milliseconds PanelRepaintInterval{150};

    // ---- Session controller (main_form_session.cpp) ----
    void ToolButton1Click();  // Site list
    void ToolButton2Click();  // Connect
    void ToolButton3Click();  // DisConnect
    void ToolButton4Click();  // ReConnect
    void Timer1Timer();
    void IdFTP1Disconnected();
    void SiteDialogConnect(int siteIndex);
    // ---- Encryption hookup (main_form_session.cpp): the TLS side of the client meets the window
    // here. The certificate check for the client's certificate event, and the indicator, told after
    // each login whether the session is encrypted (description: protocol and cipher).
    TTlsCertificateCheck CertificateCheck();
    void ShowEncryption(bool encrypted, const std::string& description);
    void ClearEncryption();

    // ---- Directory views (main_form_views.cpp) ----
    void ListRemoteDirectory(const std::string& path = std::string());
    void RemoteDirListDblClick();
    void RemoteDirUpButtonClick();
    void ChangeDirUp1Click();
    void Homedirectory1Click();
    void Refresh1Click();
    void RemoteDirComboClick();
    void GotoDirectory1Click();
    void ToolButton11Click();  // Refresh
    void HomeDirUpButtonClick();
    void ChangeDirectoryUp1Click();
    void Refresh2Click();
    void GotoDirectory2Click();
    void HomeDirListClick();
    void RemoteDirListClick();
    void HomeDirListKeyUp(int key);
    void RemoteDirListKeyUp(int key);

    // ---- Transfers and queue (main_form_transfer.cpp) ----
    void ToolButton6Click();   // Upload
    void ToolButton7Click();   // Download
    void ToolButton8Click();   // Transfer queue
    void ToolButton10Click();  // Stop transfer
    void ToolButton15Click();  // Add to queue
    void ToolButton16Click();  // Remove from queue
    void AddtoQueue1Click();
    void AddtoQueue2Click();
    void RemoveallFromQueue1Click();
    void ResetStetsu1Click();
    void Resetallststuses1Click();
    void Movetotop1Click();
    void Moveoneup1Click();
    void Moveonedown1Click();

    // ---- File operations (main_form_fileops.cpp) ----
    void ToolButton13Click();  // Rename
    void ToolButton18Click();  // Delete
    void Makedirectory2Click();
    void MakeDir1Click();
    void Rename1Click();
    void Delete1Click();
    void MakeDirectory1Click();
    void Rename2Click();
    void Delete2Click();
    void EnterDirNameEntered(int mode, const QString& name);

    // ---- Menu items that repeat another command ----
    void Sitelist1Click() { ToolButton1Click(); }
    void ReConnect1Click() { ToolButton4Click(); }
    void DisConnect1Click() { ToolButton3Click(); }
    void Download2Click() { ToolButton7Click(); }
    void Upload2Click() { ToolButton6Click(); }
    void ransferqueue1Click() { ToolButton8Click(); }
    void Addtoqueue3Click() { ToolButton15Click(); }
    void Stop1Click() { ToolButton10Click(); }
    void Refresh3Click() { ToolButton11Click(); }
    void Rename3Click() { ToolButton13Click(); }
    void Delete3Click() { ToolButton18Click(); }
    void Download1Click() { ToolButton7Click(); }
    void Upload1Click() { ToolButton6Click(); }
    void TransferQueue1Click() { ToolButton8Click(); }
    void RemovefromQueue1Click() { ToolButton16Click(); }
    void Removefromqueue3Click() { ToolButton16Click(); }
    void Removeallfromqueue2Click() { RemoveallFromQueue1Click(); }
    void Resetselectedststus1Click() { ResetStetsu1Click(); }
    void Resetallststuses2Click() { Resetallststuses1Click(); }
    void Movetotop2Click() { Movetotop1Click(); }
    void Moveoneup2Click() { Moveoneup1Click(); }
    void Moveonedown2Click() { Moveonedown1Click(); }

    // Index of the first selected queue row, or -1.
    int SelectedQueueRow() const;
    void SelectQueueRow(int row);

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildToolBar();
    void BuildMenus();
    void BuildPopupMenus();
    void BuildPanes();
    void BuildQueueList();
    void BuildStatusBar();
    void WireComponents();
    void LayoutPane(QWidget* panel, QComboBox* combo, QToolButton* up, QWidget* list);
    void FillHomeCombo(const QString& folder);
    // Makes the first row of the local pane, in its sorted order, current and selected.
    void SelectFirstLocalRow();
    QPersistentModelIndex autoFirstLocalRow_;  // the row SelectFirstLocalRow chose

    // The last work event, waiting to be painted.
    bool progressPending_ = false;
    bool pendingRead_ = true;
    int64_t pendingCount_ = 0;
    int64_t pendingElapsedMs_ = 0;
    progress::Clock::time_point lastPaint_{};
    QString decimalSeparator_;
    std::string decimalSeparatorBytes_;
};

// The program's data folder: $XDG_DATA_HOME/orlix-ftp/ (default ~/.local/share/orlix-ftp/),
// created with mode 0700 when missing. Always ends in "/".
std::string OrlixDataFolder();
