#include "ui/main_form.h"
#include "ui/main_form_parts.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QShowEvent>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>

#include "ftp/ftp_client.h"
#include "transport/anti_freeze.h"
#include "ui/about_form.h"
#include "ui/all_exists_form.h"
#include "ui/certificate_form.h"
#include "ui/connect_form.h"
#include "ui/enter_dir_form.h"
#include "ui/goto_directory_form.h"
#include "sites/data_file.h"
#include "ui/guard.h"
#include "ui/rename_box.h"
#include "ui/local_pane.h"
#include "ui/queue_list_model.h"
#include "ui/queue_view.h"
#include "ui/remote_pane.h"
#include "ui/settings_form.h"
#include "ui/status_log.h"

static void InitOrlixResources() { Q_INIT_RESOURCE(resources); }

namespace {

const char* const kTitle = "Orlix FTP client";
const char* const kCaption = "Orlix FTP client 1.0 demo";

// Status bar panels: width, and a sample of the longest text each usually shows, so that a
// larger font widens the panel instead of clipping its text.
struct TPanel {
    int Width;
    const char* Sample;
};
const TPanel kPanels[] = {{120, "Opening directory"},
                          {180, ""},
                          {100, "00:00:00 Elapsed"},
                          {90, "00:00:00 Left"},
                          {130, ""},
                          {40, "100 %"},
                          {160, "Download speed 9999.99 KB/s"},
                          {120, ""}};

// Drawn as SVG, so they stay sharp at any scale factor.
QIcon Icon(const char* name) { return QIcon(QStringLiteral(":/icons/%1.svg").arg(QLatin1String(name))); }

}  // namespace

std::string OrlixDataFolder() { return ProgramDataFolder(); }

// ---- FormCreate ----

TMainForm::TMainForm(QWidget* parent) : QMainWindow(parent) {
    InitOrlixResources();
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QString::fromLatin1(kCaption));
    const QIcon appIcon = Icon("app");
    setWindowIcon(appIcon);
    if (qApp) qApp->setWindowIcon(appIcon);

    // Restored geometry; the window itself opens maximized.
    setGeometry(83, 173, 921, 631);
    setWindowState(Qt::WindowMaximized);

    QLocale locale = QLocale::system();
    decimalSeparator_ = locale.decimalPoint();
    decimalSeparatorBytes_ = decimalSeparator_.toStdString();

    dataDir_ = OrlixDataFolder();
    if (dataDir_.empty() || dataDir_.back() != '/') dataDir_ += '/';

    WireComponents();
    BuildToolBar();
    BuildMenus();
    BuildPanes();
    BuildQueueList();
    BuildPopupMenus();
    BuildStatusBar();
    ApplyLayoutRules();
    RestoreLayout();

    TrayIcon = new QSystemTrayIcon(appIcon, this);
    connect(TrayIcon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason r) { guard::Run([=, this] { TrayIconActivated(r); }); });
    BuildTrayMenu();

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setSingleShot(true);
    guard::Connect(Timer1, &QTimer::timeout, this, &TMainForm::Timer1Timer);

    sessionWindow_ = std::make_unique<TSessionWindow>(*this);
    session_ = std::make_unique<TWindowSession>(
        this, *IdFTP1, siteTable_, siteOptions_, Timer1, *sessionWindow_,
        [this] { return queueView_->Busy() || remotePane_->Listing() || messagePump_.Depth() != 0; });
    ConnectPanes();
    // Dragging from the panes: only while connected (the drop targets are the queue view's).
    SetDragEnabled(false);

    inTray_ = false;
    Transfer().UploadResumePhase = 0;

    ApplyStartAvailability();
    remotePane_->Clear();

    SetPanelText(0, QStringLiteral("Disconnected"));
    StatusList->ClearLog();
    Transfer().Transferring = false;

    HomeDirPanelResize();
    RemoteDirPanelResize();

    firstActivation_ = true;

    guard::SetDialogParent(this);
}

TMainForm::~TMainForm() {
    // FormDestroy: remove the tray icon.
    if (TrayIcon) TrayIcon->hide();
    guard::SetDialogParent(nullptr);
    // The client's handlers and the queue's rows point into this window and its owners: silence
    // them, then the owners go before the client they point into.
    if (IdFTP1) {
        IdFTP1->OnDisconnected = nullptr;
        IdFTP1->OnStatus = nullptr;
        IdFTP1->OnWork = nullptr;
        IdFTP1->OnWorkBegin = nullptr;
        IdFTP1->OnWorkEnd = nullptr;
        IdLogEvent1.OnSent = nullptr;
        IdLogEvent1.OnReceived = nullptr;
        IdFTP1->SetIntercept(nullptr);
    }
    queue_.SetView(nullptr);
    delete queueView_;
    queueView_ = nullptr;
    session_.reset();
    IdFTP1.reset();
    siteTable_.SetPairedSlots(nullptr);
}

void TMainForm::WireComponents() {
    IdFTP1 = std::make_unique<TIdFTP>();
    IdFTP1->RecvBufferSize = DefaultRecvBufferSize;
    IdFTP1->SendBufferSize = DefaultSendBufferSize;
    IdFTP1->SetIntercept(&IdLogEvent1);
    IdLogEvent1.SetActive(true);
    IdLogEvent1.OnSent = [this](TIdLogEvent*, const std::string&, const std::string& data) { IdLogEvent1Sent(data); };
    IdLogEvent1.OnReceived = [this](TIdLogEvent*, const std::string&, const std::string& data) {
        IdLogEvent1Received(data);
    };
    IdFTP1->OnStatus = [this](TIdComponent*, TIdStatus status, const std::string& text) { IdFTP1Status(status, text); };
    IdFTP1->OnWorkBegin = [this](TIdComponent*, TWorkMode mode, int64_t max) { IdFTP1WorkBegin(mode, max); };
    IdFTP1->OnWork = [this](TIdComponent*, TWorkMode mode, int64_t count) { IdFTP1Work(mode, count); };
    IdFTP1->OnWorkEnd = [this](TIdComponent*, TWorkMode mode) { IdFTP1WorkEnd(mode); };
    IdFTP1->OnDisconnected = [this](TIdComponent*) { IdFTP1Disconnected(); };

    IdAntiFreeze1 = std::make_unique<TIdAntiFreeze>(&messagePump_);
    IdAntiFreeze1->IdleTimeOut = 20;
    IdAntiFreeze1->OnlyWhenIdle = false;

    siteTable_.SetPairedSlots(&queue_.Stores());
}

void TMainForm::CreateDialogs() {
    EnterDirForm = new TEnterDirForm(this);
    ConnectForm = new TConnectForm(siteTable_, this);
    AllExistsForm = new TAllExistsForm(this);
    RenameBox = new TRenameBox(this);
    GotoDirectoryForm = new TGotoDirectoryForm(this);
    AboutForm = new TAboutForm(this);
    SettingsForm = new TSettingsForm(
        settings_, [this] { return std::pair<int32_t, int32_t>(IdFTP1->RecvBufferSize, IdFTP1->SendBufferSize); },
        [this](int32_t recv, int32_t send) {
            IdFTP1->RecvBufferSize = recv;
            IdFTP1->SendBufferSize = send;
        },
        this);
    SettingsForm->SetConnectionDefaults(&siteOptions_.Defaults);
    CertificateForm = new TCertificateForm(this);
    certificateTrust_.SetQuestions(CertificateForm);
    queueView_->SetDialogs(AllExistsForm, RenameBox);
    // The window's session and the queue runner's reconnects share this client and its decisions.
    IdFTP1->OnCertificate = CertificateCheck();
    certificateTrust_.OnSaveError = [](const std::string& message) {
        guard::ShowMessage(statuslog::Display("The trusted certificate is kept for this session only. " + message));
    };

    connect(EnterDirForm, &TEnterDirForm::NameEntered, this,
            [this](int mode, const QString& name) { guard::Run([=, this] { EnterDirNameEntered(mode, name); }); });
    connect(ConnectForm, &TConnectForm::StoreLiveQueueRequested, this,
            [this](const std::string& name) { guard::Run([=, this] { queue_.StoreLiveQueue(name); }); });
    connect(ConnectForm, &TConnectForm::ConnectRequested, this,
            [this](int site) { guard::Run([=, this] { SiteDialogConnect(site); }); });
    connect(ConnectForm, &TConnectForm::LoadSiteQueueRequested, this,
            [this](const std::string& name) { guard::Run([=, this] { queue_.LoadSiteQueue(name); }); });
    guard::Connect(ConnectForm, &TConnectForm::RefreshQueueSummaryRequested, this, &TMainForm::RefreshQueueSummary);
    connect(GotoDirectoryForm, &TGotoDirectoryForm::DirectoryChosen, this,
            [this](const QString& path) { guard::Run([=, this] { SetLocalDir(path); }); });
    connect(AboutForm, &TAboutForm::OpenWebPage, this, [](const QString& address) { OpenWebPage(address); });
}

// ---- Layout ----

void TMainForm::BuildToolBar() {
    ToolBar1 = new QToolBar(this);
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setIconSize(QSize(32, 32));
    ToolBar1->setToolButtonStyle(Qt::ToolButtonIconOnly);
    ToolBar1->setFixedHeight(45);
    ToolBar1->setContextMenuPolicy(Qt::PreventContextMenu);
    addToolBar(Qt::TopToolBarArea, ToolBar1);

    auto button = [this](const char* name, const char* icon, const char* hint, void (TMainForm::*handler)(),
                         bool enabled = true) {
        auto* a = new QAction(Icon(icon), QString::fromLatin1(hint), this);
        a->setObjectName(QString::fromLatin1(name));
        a->setToolTip(QString::fromLatin1(hint));
        a->setEnabled(enabled);
        guard::Connect(a, &QAction::triggered, this, handler);
        ToolBar1->addAction(a);
        if (auto* w = ToolBar1->widgetForAction(a)) {
            w->setObjectName(QString::fromLatin1(name));
            w->setFixedSize(39, 38);
        }
        return a;
    };

    ToolBar1->addSeparator();
    ToolButton1 = button("ToolButton1", "sitelist", "Site list", &TMainForm::ToolButton1Click);
    ToolButton2 = button("ToolButton2", "connect", "Connect", &TMainForm::ToolButton2Click);
    ToolButton3 = button("ToolButton3", "disconnect", "DisConnect", &TMainForm::ToolButton3Click, false);
    ToolButton4 = button("ToolButton4", "reconnect", "ReConnect", &TMainForm::ToolButton4Click);
    ToolBar1->addSeparator();
    ToolButton6 = button("ToolButton6", "upload", "Upload", &TMainForm::ToolButton6Click, false);
    ToolButton7 = button("ToolButton7", "download", "Download", &TMainForm::ToolButton7Click, false);
    ToolBar1->addSeparator();
    ToolButton15 = button("ToolButton15", "addqueue", "Add to queue", &TMainForm::ToolButton15Click, false);
    ToolButton16 = button("ToolButton16", "removequeue", "Remove from queue", &TMainForm::ToolButton16Click, false);
    ToolButton8 = button("ToolButton8", "runqueue", "Transfer queue", &TMainForm::ToolButton8Click, false);
    ToolBar1->addSeparator();
    ToolButton10 = button("ToolButton10", "stop", "Stop transfer", &TMainForm::ToolButton10Click);
    ToolButton11 = button("ToolButton11", "refresh", "Refresh", &TMainForm::ToolButton11Click);
    ToolBar1->addSeparator();
    ToolButton13 = button("ToolButton13", "rename", "Rename", &TMainForm::ToolButton13Click);
    ToolButton18 = button("ToolButton18", "delete", "Delete", &TMainForm::ToolButton18Click);
    ToolBar1->addSeparator();
    ToolButton20 = button("ToolButton20", "tray", "Move to system tray ", &TMainForm::ToolButton20Click);
}

namespace {

// Adds a menu item named after its component, with its caption and handler.
QAction* Item(TMainForm* form, QMenu* menu, const char* name, const char* caption, void (TMainForm::*handler)(),
              bool enabled = true) {
    auto* a = menu->addAction(QString::fromLatin1(caption));
    a->setObjectName(QString::fromLatin1(name));
    a->setEnabled(enabled);
    if (handler) guard::Connect(a, &QAction::triggered, form, handler);
    return a;
}

QMenu* Menu(QWidget* parent, const char* name, const char* caption) {
    auto* m = new QMenu(QString::fromLatin1(caption), parent);
    m->setObjectName(QString::fromLatin1(name));
    return m;
}

}  // namespace

void TMainForm::BuildMenus() {
    QMenuBar* bar = menuBar();

    File1 = Menu(this, "File1", "&File");
    Sitelist1 = Item(this, File1, "Sitelist1", "&Site list", &TMainForm::Sitelist1Click);
    File1->addSeparator();
    ReConnect1 = Item(this, File1, "ReConnect1", "&ReConnect", &TMainForm::ReConnect1Click, false);
    DisConnect1 = Item(this, File1, "DisConnect1", "&DisConnect", &TMainForm::DisConnect1Click, false);
    File1->addSeparator();
    N11 = Item(this, File1, "N11", "&Exit", &TMainForm::N11Click);
    bar->addMenu(File1);

    Options1 = Menu(this, "Options1", "&Settings");
    Main1 = Item(this, Options1, "Main1", "Settings", &TMainForm::Main1Click);
    bar->addMenu(Options1);

    ransfer1 = Menu(this, "ransfer1", "&Transfer");
    Download2 = Item(this, ransfer1, "Download2", "&Download", &TMainForm::Download2Click, false);
    Upload2 = Item(this, ransfer1, "Upload2", "&Upload", &TMainForm::Upload2Click, false);
    ransferqueue1 =
        Item(this, ransfer1, "ransferqueue1", "&Transfer from queue", &TMainForm::ransferqueue1Click, false);
    ransfer1->addSeparator();
    Addtoqueue3 = Item(this, ransfer1, "Addtoqueue3", "&Add to queue", &TMainForm::Addtoqueue3Click, false);
    ransfer1->addSeparator();
    Stop1 = Item(this, ransfer1, "Stop1", "Stop", &TMainForm::Stop1Click, false);
    bar->addMenu(ransfer1);

    Commands1 = Menu(this, "Commands1", "&Commands");
    Refresh3 = Item(this, Commands1, "Refresh3", "&Refresh", &TMainForm::Refresh3Click);
    Refresh3->setShortcut(QKeySequence(Qt::Key_F5));
    Rename3 = Item(this, Commands1, "Rename3", "Re&name", &TMainForm::Rename3Click);
    Rename3->setShortcut(QKeySequence(Qt::Key_F6));
    Makedirectory2 = Item(this, Commands1, "Makedirectory2", "&Make directory", &TMainForm::Makedirectory2Click);
    Makedirectory2->setShortcut(QKeySequence(Qt::Key_F7));
    Delete3 = Item(this, Commands1, "Delete3", "&Delete", &TMainForm::Delete3Click);
    Delete3->setShortcut(QKeySequence(Qt::Key_F8));
    bar->addMenu(Commands1);

    Queue1 = Menu(this, "Queue1", "&Queue");
    Addtoqueue4 = Item(this, Queue1, "Addtoqueue4", "&Add to queue", &TMainForm::Addtoqueue3Click, false);
    Queue1->addSeparator();
    Removefromqueue3 = Item(this, Queue1, "Removefromqueue3", "&Remove from queue", &TMainForm::Removefromqueue3Click);
    Removeallfromqueue2 =
        Item(this, Queue1, "Removeallfromqueue2", "Remove &all from queue", &TMainForm::Removeallfromqueue2Click);
    Queue1->addSeparator();
    Resetselectedststus1 =
        Item(this, Queue1, "Resetselectedststus1", "Reset selected &ststus", &TMainForm::Resetselectedststus1Click);
    Resetallststuses2 =
        Item(this, Queue1, "Resetallststuses2", "R&eset all statuses", &TMainForm::Resetallststuses2Click);
    Queue1->addSeparator();
    Movetotop2 = Item(this, Queue1, "Movetotop2", "&Move to top", &TMainForm::Movetotop2Click);
    Moveoneup2 = Item(this, Queue1, "Moveoneup2", "Move one &up", &TMainForm::Moveoneup2Click);
    Moveonedown2 = Item(this, Queue1, "Moveonedown2", "Move one &down", &TMainForm::Moveonedown2Click);
    bar->addMenu(Queue1);

    Help1 = Menu(this, "Help1", "&Help");
    Connecttohomesite1 =
        Item(this, Help1, "Connecttohomesite1", "&Connect to home site", &TMainForm::Connecttohomesite1Click);
    Help1->addSeparator();
    About1 = Item(this, Help1, "About1", "&About", &TMainForm::About1Click);
    bar->addMenu(Help1);
}

void TMainForm::BuildPopupMenus() {
    HostPopupMenu = Menu(this, "HostPopupMenu", "");
    Download1 = Item(this, HostPopupMenu, "Download1", "Do&wnload", &TMainForm::Download1Click);
    AddtoQueue1 = Item(this, HostPopupMenu, "AddtoQueue1", "Add to &Queue", &TMainForm::AddtoQueue1Click);
    HostPopupMenu->addSeparator();
    MakeDir1 = Item(this, HostPopupMenu, "MakeDir1", "&Make Directory", &TMainForm::MakeDir1Click);
    Rename1 = Item(this, HostPopupMenu, "Rename1", "&Rename", &TMainForm::Rename1Click);
    Delete1 = Item(this, HostPopupMenu, "Delete1", "&Delete", &TMainForm::Delete1Click);
    HostPopupSeparators.push_back(HostPopupMenu->addSeparator());
    ChangeDirUp1 = Item(this, HostPopupMenu, "ChangeDirUp1", "Change Directory U&p", &TMainForm::ChangeDirUp1Click);
    GotoDirectory1 = Item(this, HostPopupMenu, "GotoDirectory1", "&Goto Directory", &TMainForm::GotoDirectory1Click);
    Homedirectory1 = Item(this, HostPopupMenu, "Homedirectory1", "&Home Directory", &TMainForm::Homedirectory1Click);
    HostPopupSeparators.push_back(HostPopupMenu->addSeparator());
    Refresh1 = Item(this, HostPopupMenu, "Refresh1", "&Refresh", &TMainForm::Refresh1Click);

    HomePopupMenu = Menu(this, "HomePopupMenu", "");
    Upload1 = Item(this, HomePopupMenu, "Upload1", "&Upload", &TMainForm::Upload1Click);
    AddtoQueue2 = Item(this, HomePopupMenu, "AddtoQueue2", "Add to &Queue", &TMainForm::AddtoQueue2Click);
    HomePopupMenu->addSeparator();
    MakeDirectory1 = Item(this, HomePopupMenu, "MakeDirectory1", "&Make Directory", &TMainForm::MakeDirectory1Click);
    Rename2 = Item(this, HomePopupMenu, "Rename2", "&Rename", &TMainForm::Rename2Click);
    Delete2 = Item(this, HomePopupMenu, "Delete2", "&Delete", &TMainForm::Delete2Click);
    HomePopupMenu->addSeparator();
    ChangeDirectoryUp1 =
        Item(this, HomePopupMenu, "ChangeDirectoryUp1", "Change Directory U&p", &TMainForm::ChangeDirectoryUp1Click);
    GotoDirectory2 = Item(this, HomePopupMenu, "GotoDirectory2", "&Goto Directory", &TMainForm::GotoDirectory2Click);
    HomePopupMenu->addSeparator();
    Refresh2 = Item(this, HomePopupMenu, "Refresh2", "&Refresh", &TMainForm::Refresh2Click);

    QueuePopupMenu = Menu(this, "QueuePopupMenu", "");
    TransferQueue1 =
        Item(this, QueuePopupMenu, "TransferQueue1", "&Transfer Queue", &TMainForm::TransferQueue1Click, false);
    QueuePopupMenu->addSeparator();
    RemovefromQueue1 =
        Item(this, QueuePopupMenu, "RemovefromQueue1", "&Remove from Queue", &TMainForm::RemovefromQueue1Click);
    RemoveallFromQueue1 =
        Item(this, QueuePopupMenu, "RemoveallFromQueue1", "Remove &all items", &TMainForm::RemoveallFromQueue1Click);
    QueuePopupMenu->addSeparator();
    ResetStetsu1 = Item(this, QueuePopupMenu, "ResetStetsu1", "Reset selected &statsu", &TMainForm::ResetStetsu1Click);
    Resetallststuses1 =
        Item(this, QueuePopupMenu, "Resetallststuses1", "Reset all statuses", &TMainForm::Resetallststuses1Click);
    QueuePopupMenu->addSeparator();
    Movetotop1 = Item(this, QueuePopupMenu, "Movetotop1", "&Move to top", &TMainForm::Movetotop1Click);
    Moveoneup1 = Item(this, QueuePopupMenu, "Moveoneup1", "Move one &up", &TMainForm::Moveoneup1Click);
    Moveonedown1 = Item(this, QueuePopupMenu, "Moveonedown1", "Move one &down", &TMainForm::Moveonedown1Click);

    auto attach = [this](QWidget* list, QMenu* menu) {
        list->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(list, &QWidget::customContextMenuRequested, this,
                [list, menu](const QPoint& pos) { menu->popup(list->mapToGlobal(pos)); });
    };
    attach(RemoteDirList, HostPopupMenu);
    attach(HomeDirList, HomePopupMenu);
    attach(QueueListView, QueuePopupMenu);
}

void TMainForm::BuildPanes() {
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    MainSplitter = new QSplitter(Qt::Vertical, central);
    MainSplitter->setObjectName(QStringLiteral("MainSplitter"));
    MainSplitter->setChildrenCollapsible(false);
    layout->addWidget(MainSplitter);

    StatusPanel = new QWidget(MainSplitter);
    StatusPanel->setObjectName(QStringLiteral("StatusPanel"));
    auto* statusLayout = new QVBoxLayout(StatusPanel);
    statusLayout->setContentsMargins(0, 0, 0, 0);
    StatusList = new TStatusLog(StatusPanel);
    statusLayout->addWidget(StatusList);
    StatusPanel->setMinimumHeight(40);

    PaneSplitter = new QSplitter(Qt::Horizontal, MainSplitter);
    PaneSplitter->setObjectName(QStringLiteral("PaneSplitter"));
    PaneSplitter->setChildrenCollapsible(false);

    localPane_ = new TLocalPane(PaneSplitter);
    HomeDirPanel = localPane_->Panel();
    HomeDirCombo = localPane_->Combo();
    HomeDirUpButton = localPane_->UpButton();
    HomeDirList = localPane_->List();
    HomeDirModel = localPane_->Model();

    remoteHost_ = std::make_unique<TRemoteHost>(*this);
    remotePane_ = new TRemotePane(PaneSplitter, *IdFTP1, *remoteHost_);
    RemoteDirPanel = remotePane_->Panel();
    RemoteDirCombo = remotePane_->Combo();
    RemoteDirUpButton = remotePane_->UpButton();
    RemoteDirList = remotePane_->List();

    PaneSplitter->addWidget(HomeDirPanel);
    PaneSplitter->addWidget(RemoteDirPanel);
    PaneSplitter->setStretchFactor(0, 0);
    PaneSplitter->setStretchFactor(1, 1);
    PaneSplitter->setSizes({503, 418});

    setCentralWidget(central);
}

void TMainForm::BuildQueueList() {
    transferWindow_ = std::make_unique<TTransferWindow>(*this);
    TQueueView::TLinks links{*IdFTP1,
                             queue_,
                             *transferWindow_,
                             *remotePane_,
                             *localPane_,
                             [this] { return session_->ResumeDroppedSession(); },
                             [this] { return ActivePane(); }};
    queueView_ = new TQueueView(MainSplitter, links, dataDir_);
    QueuePanel = queueView_->Panel();
    QueueListView = queueView_->List();
    QueueModel = queueView_->Model();
    QueueModel->OnSummary = [this](const std::string& text) { SetPanelText(7, statuslog::Display(text)); };
    queue_.SetView(QueueModel);

    MainSplitter->addWidget(StatusPanel);
    MainSplitter->addWidget(PaneSplitter);
    MainSplitter->addWidget(QueuePanel);
    MainSplitter->setStretchFactor(0, 0);
    MainSplitter->setStretchFactor(1, 1);
    MainSplitter->setStretchFactor(2, 0);
    MainSplitter->setSizes({100, 360, 129});
}

void TMainForm::BuildStatusBar() {
    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    setStatusBar(StatusBar1);
    const QFontMetrics fm(StatusBar1->font());
    const int count = static_cast<int>(std::size(kPanels));
    for (int i = 0; i < count; ++i) {
        auto* label = new QLabel(StatusBar1);
        label->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setIndent(3);
        const int width = std::max(kPanels[i].Width, fm.horizontalAdvance(QString::fromLatin1(kPanels[i].Sample)) + 12);
        if (i == 5) label->setAlignment(Qt::AlignCenter);
        if (i == 1) {
            // The file name gives way first when the window is narrow.
            label->setMinimumWidth(60);
            label->setMaximumWidth(width);
            StatusBar1->addWidget(label, 1);
        } else if (i + 1 == count) {
            // The last panel takes the rest of the bar, so the queue summary is not cut.
            label->setMinimumWidth(
                std::max(width, fm.horizontalAdvance(QStringLiteral("Queue: 99999 KB in 99 file(s)")) + 12));
            StatusBar1->addWidget(label, 100);
        } else {
            label->setFixedWidth(width);
            StatusBar1->addWidget(label, 0);
        }
        StatusPanels.push_back(label);
    }
    // The progress bar lies over panel 4.
    ProgressBar1 = new QProgressBar(StatusPanels[4]);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    auto* pl = new QHBoxLayout(StatusPanels[4]);
    pl->setContentsMargins(2, 2, 2, 2);
    pl->addWidget(ProgressBar1);

    EncryptionPanel = new QLabel(StatusBar1);
    EncryptionPanel->setObjectName(QStringLiteral("EncryptionPanel"));
    EncryptionPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    EncryptionPanel->setIndent(3);
    StatusBar1->addPermanentWidget(EncryptionPanel);
    EncryptionPanel->hide();
}

void TMainForm::HomeDirPanelResize() { localPane_->Layout(); }

void TMainForm::RemoteDirPanelResize() { remotePane_->Layout(); }

// ---- Availability of the session-dependent commands ----

void TMainForm::ApplyStartAvailability() {
    for (QAction* a : {ToolButton1, ToolButton2, ToolButton4, ToolButton10, ToolButton11}) a->setEnabled(true);
    for (QAction* a :
         {ToolButton3, ToolButton6, ToolButton7, ToolButton8, ToolButton15, ToolButton16, Upload1, AddtoQueue2,
          TransferQueue1, ReConnect1, DisConnect1, Download2, ransferqueue1, Addtoqueue3, Upload2, Stop1, Addtoqueue4})
        a->setEnabled(false);
    remotePane_->ShowSessionLook(false, false);
}

void TMainForm::ApplyConnectedAvailability() {
    for (QAction* a : {ToolButton1, ToolButton2, ToolButton6, ToolButton10, Stop1}) a->setEnabled(false);
    for (QAction* a :
         {ToolButton3, ToolButton4, ToolButton7, ToolButton8, ToolButton15, ToolButton16, ToolButton11, Upload1,
          AddtoQueue2, TransferQueue1, ReConnect1, DisConnect1, Download2, ransferqueue1, Addtoqueue3, Addtoqueue4})
        a->setEnabled(true);
    remotePane_->ShowSessionLook(true, false);
}

void TMainForm::ApplyDisconnectedAvailability() {
    // "Stop transfer" is left to the disconnect itself (disabled only when a connection was open).
    for (QAction* a : {ToolButton1, ToolButton2, ToolButton4}) a->setEnabled(true);
    for (QAction* a :
         {ToolButton3, ToolButton6, ToolButton7, ToolButton8, ToolButton15, ToolButton16, Upload1, AddtoQueue2,
          TransferQueue1, ReConnect1, DisConnect1, Download2, ransferqueue1, Addtoqueue3, Upload2, Stop1, Addtoqueue4})
        a->setEnabled(false);
    remotePane_->ShowSessionLook(false, true);
}

// ---- Local pane ----

std::string TMainForm::LocalDir() const { return localPane_->Folder(); }

bool TMainForm::SetLocalDir(const QString& path) { return localPane_->SetFolder(path); }

void TMainForm::RefreshLocalPane() { localPane_->Refresh(); }

// ---- Queue ----

int TMainForm::SelectedQueueRow() const { return queueView_->SelectedRow(); }

void TMainForm::SelectQueueRow(int row) { queueView_->SelectRow(row); }

void TMainForm::RefreshQueueSummary() { queue_.RefreshQueueSummary(); }

TTransferState& TMainForm::Transfer() { return queueView_->Transfer(); }

// ---- FormActivate ----

void TMainForm::FormActivate() {
    if (!firstActivation_) return;
    SetActivePane(1);
    LoadStoredState();
    // Store "Disconnected" as the tray tip; it reaches the icon with its next update.
    trayTip_ = QStringLiteral("Disconnected");
    localPane_->SelectFirstRowIfNoneCurrent();
    firstActivation_ = false;
    if (ConnectForm) ConnectForm->Open();
}

void TMainForm::LoadStoredState() {
    const TSiteLoadReport sites = siteTable_.Load(dataDir_);
    if (ConnectForm) ConnectForm->RefillList();
    QStringList notices;
    if (!sites.Message.empty()) notices << statuslog::Display(sites.Message);

    const TSettingsLoadReport settings = settings_.Load(dataDir_, siteTable_);
    if (settings.FileFound) {
        if (settings.LocalDirToOpen)
            SetLocalDir(QFile::decodeName(QByteArray::fromStdString(*settings.LocalDirToOpen)));
        IdFTP1->RecvBufferSize = BufferSizeInRange(settings_.Status.RecvBufferSize, DefaultRecvBufferSize);
        IdFTP1->SendBufferSize = BufferSizeInRange(settings_.Status.SendBufferSize, DefaultSendBufferSize);
    }
    if (!settings.Message.empty()) notices << statuslog::Display(settings.Message);

    // The queue of the site named in the settings becomes live (none when the name matched no site).
    const TQueueLoadReport queues = queue_.LoadQueueFile(dataDir_, settings.LastSiteName);
    if (!queues.Message.empty()) notices << statuslog::Display(queues.Message);
    queue_.RefreshQueueSummary();

    const TSiteOptionsLoadReport options = siteOptions_.Load(dataDir_, siteTable_);
    if (!options.Message.empty()) notices << statuslog::Display(options.Message);

    // An unreadable file trusts nothing this run; it is kept aside before the next save over it.
    try {
        const std::string trust = certificateTrust_.Load(dataDir_);
        if (!trust.empty()) notices << statuslog::Display(trust);
    } catch (const EInOutError& e) {
        notices << statuslog::Display(e.Message());
    }

    for (const QString& n : notices) guard::ShowMessage(n);
}

// ---- FormCloseQuery ----

bool TMainForm::FormCloseQuery() {
    if (queueView_->Busy()) {
        if (!guard::AskYesNo(QStringLiteral("File transfer in process! Close Orlix FTP client?"))) return false;
        ToolButton10Click();
    }
    SaveStoredState();
    return true;
}

void TMainForm::SaveStoredState() {
    siteTable_.Save(dataDir_);
    settings_.Save(dataDir_, siteTable_, LocalDir());
    queue_.SaveQueueFiles(dataDir_, siteTable_);
    siteOptions_.Save(dataDir_, siteTable_);
    SaveLayout();
}

void TMainForm::closeEvent(QCloseEvent* event) {
    bool allowed = false;
    guard::Run([&] { allowed = FormCloseQuery(); });
    if (allowed) {
        // The dialogs are separate windows: they go with the main window.
        for (QWidget* w :
             {static_cast<QWidget*>(ConnectForm), static_cast<QWidget*>(SettingsForm), static_cast<QWidget*>(AboutForm),
              static_cast<QWidget*>(EnterDirForm), static_cast<QWidget*>(GotoDirectoryForm)})
            if (w) w->hide();
        if (TrayIcon) TrayIcon->hide();
        event->accept();
    } else {
        event->ignore();
    }
}

void TMainForm::N11Click() { close(); }

// ---- Window events ----

bool TMainForm::event(QEvent* e) {
    if (e->type() == QEvent::WindowActivate && firstActivation_) {
        // After the window has finished becoming active, so the site dialog opens on top of it.
        QTimer::singleShot(0, this, [this] { guard::Run([this] { FormActivate(); }); });
    }
    return QMainWindow::event(e);
}

void TMainForm::showEvent(QShowEvent* e) {
    QMainWindow::showEvent(e);
    // Some desktops (or none at all) never activate the window by themselves; the first showing
    // then counts as the first activation.
    if (firstActivation_ && !e->spontaneous())
        QTimer::singleShot(200, this, [this] { guard::Run([this] { FormActivate(); }); });
}

void TMainForm::changeEvent(QEvent* e) {
    QMainWindow::changeEvent(e);
    if (e->type() == QEvent::WindowStateChange && isMinimized() && settings_.Status.MinimizeToTray && !inTray_ &&
        TrayAvailable()) {
        // The minimize command goes to "Move to system tray"; hiding is left until the state change is over.
        QTimer::singleShot(0, this, [this] { guard::Run([this] { ToolButton20Click(); }); });
    }
}

bool TMainForm::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == QEvent::Resize && watched == MainSplitter) MainSplitterResized(*static_cast<QResizeEvent*>(e));
    return QMainWindow::eventFilter(watched, e);
}

// ---- Tray ----

bool TMainForm::TrayAvailable() const {
    if (trayAvailableOverride_ >= 0) return trayAvailableOverride_ == 1;
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void TMainForm::SetTrayTip(const QString& text) {
    trayTip_ = QString::fromStdString(progress::CutTrayTip(text.toStdString()));
    if (TrayIcon) TrayIcon->setToolTip(trayTip_);
}

void TMainForm::ToolButton20Click() {
    if (!TrayAvailable()) {
        // No notification area to come back from: minimise instead of hiding.
        if (!isMinimized()) showMinimized();
        return;
    }
    inTray_ = true;
    hide();
    TrayIcon->setToolTip(trayTip_);
    TrayIcon->show();
}

void TMainForm::LeaveTray() {
    inTray_ = false;
    TrayIcon->hide();
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void TMainForm::BuildTrayMenu() {
    TrayMenu = new QMenu(this);
    TrayMenu->setObjectName(QStringLiteral("TrayMenu"));
    TrayRestore = Item(this, TrayMenu, "TrayRestore", "Restore", &TMainForm::TrayRestoreClick);
    TrayMenu->addSeparator();
    TrayDisconnect =
        Item(this, TrayMenu, "TrayDisconnect", "Disconnect", &TMainForm::ToolButton3Click, ToolButton3->isEnabled());
    // Every place that changes the toolbar's disconnect (connected, disconnected) changes this one.
    connect(ToolButton3, &QAction::enabledChanged, TrayDisconnect, &QAction::setEnabled);
    TrayMenu->addSeparator();
    TrayExit = Item(this, TrayMenu, "TrayExit", "Exit", &TMainForm::TrayExitClick);
    TrayIcon->setContextMenu(TrayMenu);
}

void TMainForm::TrayRestoreClick() {
    if (inTray_) {
        LeaveTray();
        return;
    }
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void TMainForm::TrayExitClick() {
    // The main menu's exit path (the question during a transfer, saving everything).
    const bool hidden = !isVisible();
    // Closing a window that is already hidden is not "the last window closed": the application
    // would keep running without a window or an icon.
    if (close() && hidden && QGuiApplication::quitOnLastWindowClosed()) QCoreApplication::quit();
}

void TMainForm::TrayIconActivated(QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::Trigger) {
        LeaveTray();
    } else if (reason == QSystemTrayIcon::Context) {
        SetTrayTip(trayTip_ + QStringLiteral(" da"));
    }
}

// ---- Settings, About, web page ----

void TMainForm::Main1Click() {
    if (SettingsForm) SettingsForm->Open();
}

void TMainForm::About1Click() {
    if (AboutForm) AboutForm->ShowCentered();
}

void TMainForm::Connecttohomesite1Click() { OpenWebPage(ProgramReadmeUrl()); }

void TMainForm::OpenWebPage(const QString& address) {
    if (address.isEmpty()) {
        guard::ShowMessage(
            QStringLiteral("The program's guide was not found: README.md is installed as "
                           "share/doc/orlix-ftp/README.md beside the program's bin folder."));
        return;
    }
    // The desktop's browser or viewer; whatever happens there is not reported.
    OpenDesktopUrl(QUrl(address));
}
