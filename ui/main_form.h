#pragma once
// The main window: toolbar, menus, status log, the local and remote panes, the transfer queue and
// the status bar. It owns the FTP client, the log intercept, the responsiveness hook, the retry
// timer, the site table, the settings and the queues, and it creates the dialogs. It builds the
// actions and connects them to the objects that own the behaviour; its handlers forward there.
//
// The owners:
//   TLocalPane (ui/local_pane.h)    the local folder, its navigation and selection
//   TRemotePane (ui/remote_pane.h)  the remote listing rows, icons, navigation and selection
//   TQueueView (ui/queue_view.h)    the queue list, the runner and transfer state, drag and drop
//   TWindowSession (ui/session_controller.h)  connect, reconnect, disconnect, retry, keep-alive
//
// Where the window's own part lives:
//   main_form.cpp          frame: start-up, shutdown, layout, menus, tray, availability sets
//   main_form_log.cpp      status log, status bar and progress display
//   main_form_session.cpp  the session's view of the window, connect handlers
//   main_form_views.cpp    the panes' handlers and which pane receives the pane commands
//   main_form_transfer.cpp the runner's view of the window, transfer and queue handlers
//   main_form_fileops.cpp  delete, rename, make directory

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "settings/program_settings.h"
#include "sites/site_options.h"
#include "sites/site_table.h"
#include "transfer/certificate_trust.h"
#include "transfer/expand.h"
#include "transfer/queue_model.h"
#include "transfer/transfer_state.h"
#include "ui/remote_listing.h"
#include "transport/intercept.h"
#include "ui/progress.h"
#include "ui/qt_pump.h"
#include "ui/session_controller.h"

#include <QMainWindow>
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
class TLocalPane;
class TRemotePane;
class TWindowSession;
class ISoundPlayer;

class TEnterDirForm;
class TConnectForm;
class TAllExistsForm;
class TRenameBox;
class TGotoDirectoryForm;
class TAboutForm;
class TSettingsForm;
class TCertificateForm;

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TMainForm(QWidget* parent = nullptr);  // FormCreate
    ~TMainForm() override;                          // FormDestroy

    // Creates the seven dialogs in their order (after the main window, before it is shown).
    void CreateDialogs();

    // ---- Owned components ----
    std::unique_ptr<TIdFTP> IdFTP1;
    TIdLogEvent IdLogEvent1;
    std::unique_ptr<TIdAntiFreeze> IdAntiFreeze1;
    QTimer* Timer1 = nullptr;  // retry timer, one-shot, disabled at start

    // ---- What the window owns besides its components
    TSiteTable& SiteTable() { return siteTable_; }
    TProgramSettings& Settings() { return settings_; }
    // Per-site connection options and the program-wide connection settings.
    TSiteOptionsFile& SiteOptions() { return siteOptions_; }
    // The trusted server certificates and this run's answers about the others.
    TCertificateTrust& CertificateTrust() { return certificateTrust_; }
    // The live queue, the stored queues of all sites and the byte total.
    TTransferQueue& Queue() { return queue_; }
    // Data folder, ending in "/".
    const std::string& DataDir() const { return dataDir_; }

    TWindowSession& Session() { return *session_; }
    TLocalPane& LocalPane() { return *localPane_; }
    TRemotePane& RemotePane() { return *remotePane_; }
    TQueueView& QueueView() { return *queueView_; }
    // The transfer state shared by the runner, Stop and the progress display (the queue view's).
    TTransferState& Transfer();
    progress::TProgressState& Progress() { return progress_; }

    // Which pane receives the pane commands: 1 the local pane, 2 the remote pane.
    int ActivePane() const;
    void SetActivePane(int pane);
    // The remote listing rows, the index of the last one (-1: empty) and their directory.
    const std::vector<THostDirInfo>& HostDirInfo() const;
    int LastRemoteRowIndex() const;
    const std::string& LastRemoteDir() const;

    // Tray state and the tip shown on the icon.
    bool InTray() const { return inTray_; }
    const QString& TrayTip() const { return trayTip_; }
    // The next activation is the first one (start-up loading and the site dialog).
    bool FirstActivation() const { return firstActivation_; }

    // ---- Seams for tests
    void SetFirstActivation(bool first) { firstActivation_ = first; }
    void SetInTray(bool inTray) { inTray_ = inTray; }
    // -1: ask the system whether there is a notification area, 0: none, 1: present.
    void SetTrayAvailableOverride(int value) { trayAvailableOverride_ = value; }
    void SetPanelRepaintInterval(std::chrono::milliseconds interval) { panelRepaintInterval_ = interval; }
    // Plays the event sounds instead of the settings dialog's player (nullptr: that one again).
    void SetSoundPlayer(ISoundPlayer* player) { soundPlayer_ = player; }

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

    QStatusBar* StatusBar1 = nullptr;
    std::vector<QLabel*> StatusPanels;  // eight panels, counted from 0
    QProgressBar* ProgressBar1 = nullptr;
    // Whether the session is encrypted: "TLS" (protocol and cipher as tool tip), "Not encrypted",
    // or nothing while disconnected.
    QLabel* EncryptionPanel = nullptr;

    QSystemTrayIcon* TrayIcon = nullptr;
    // The tray icon's menu: back to the window, the toolbar's disconnect, the main menu's exit.
    QMenu* TrayMenu = nullptr;
    QAction* TrayRestore = nullptr;
    QAction* TrayDisconnect = nullptr;  // enabled with the toolbar's "DisConnect"
    QAction* TrayExit = nullptr;

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
    void TrayRestoreClick();
    void TrayExitClick();
    void Main1Click();
    void About1Click();
    void Connecttohomesite1Click();
    static void OpenWebPage(const QString& address);
    void HomeDirPanelResize();
    void RemoteDirPanelResize();
    // Stores the tray tip (cut to 63 characters) and sends it to the icon.
    void SetTrayTip(const QString& text);

    // Availability of the session-dependent commands (the other sets are private).
    void ApplyConnectedAvailability();

    // Local pane: the folder shown (ending in "/"), and going to another one.
    std::string LocalDir() const;
    bool SetLocalDir(const QString& path);
    void RefreshLocalPane();

    // Splitter positions, kept in layout.ini in the data folder (main_form_layout.cpp).
    void SaveLayout();

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
    // Shows what the last work events computed (called at most every panel repaint interval).
    void FlushProgress();

    // ---- Session controller (main_form_session.cpp) ----
    void ToolButton1Click();  // Site list
    void ToolButton2Click();  // Connect
    void ToolButton3Click();  // DisConnect
    void ToolButton4Click();  // ReConnect
    void Timer1Timer();
    void IdFTP1Disconnected();
    void SiteDialogConnect(int siteIndex);

    // ---- The panes (main_form_views.cpp) ----
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
    class TSessionWindow;
    class TTransferWindow;
    class TRemoteHost;

    void LeaveTray();
    // Whether the desktop has a notification area; tests may pretend either way.
    bool TrayAvailable() const;
    void ApplyStartAvailability();
    void ApplyDisconnectedAvailability();
    // The status bar's queue summary from the live queue's count and byte total.
    void RefreshQueueSummary();
    // Data files.
    void LoadStoredState();
    void SaveStoredState();
    // Layout (main_form_layout.cpp): minimums, stretch, columns, status bar.
    void ApplyLayoutRules();
    void RestoreLayout();
    void MainSplitterResized(const QResizeEvent& e);
    // "Stop transfer" on the toolbar and "Stop" in the Transfer menu.
    void SetStopEnabled(bool enabled);
    // Plays the event's sound when the settings switch it on; errors ignored.
    void PlayEventSound(TSoundEvent event);
    // ---- Encryption hookup (main_form_session.cpp): the TLS side of the client meets the window
    // here. The certificate check for the client's certificate event, and the indicator, told after
    // each login whether the session is encrypted (description: protocol and cipher).
    TTlsCertificateCheck CertificateCheck();
    void ShowEncryption(bool encrypted, const std::string& description);
    void ClearEncryption();

    void BuildToolBar();
    void BuildMenus();
    void BuildPopupMenus();
    void BuildTrayMenu();
    void BuildPanes();
    void BuildQueueList();
    void BuildStatusBar();
    void WireComponents();
    void ConnectPanes();
    // A blue "Status:" line, after trimming the log.
    void AddStatusLine(const std::string& text);
    // The pane that receives the pane commands from now on (menuItems: also the Transfer menu's).
    void SwitchToPane(int pane, bool menuItems);
    // The panes' dragging: only while connected.
    void SetDragEnabled(bool enabled);
    // The remote pane's listing table, its directory and the local folder, for the runner.
    TPaneContext PaneContext() const;

    TQtMessagePump messagePump_;
    TSiteTable siteTable_;
    TProgramSettings settings_;
    TSiteOptionsFile siteOptions_;
    TCertificateTrust certificateTrust_;
    TTransferQueue queue_;
    std::string dataDir_;

    std::unique_ptr<TSessionWindow> sessionWindow_;
    std::unique_ptr<TTransferWindow> transferWindow_;
    std::unique_ptr<TRemoteHost> remoteHost_;
    TLocalPane* localPane_ = nullptr;
    TRemotePane* remotePane_ = nullptr;
    TQueueView* queueView_ = nullptr;
    std::unique_ptr<TWindowSession> session_;

    ISoundPlayer* soundPlayer_ = nullptr;
    bool inTray_ = false;
    QString trayTip_;
    int trayAvailableOverride_ = -1;
    bool firstActivation_ = true;

    // Progress display: start of the data transfer and the smoothed speed.
    progress::TProgressState progress_;
    std::chrono::milliseconds panelRepaintInterval_{150};

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
