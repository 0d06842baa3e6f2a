// The session controller and the directory views bound to the main window's controls.

#include "ui/session_controller.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDate>
#include <QFileIconProvider>
#include <QFileSystemModel>
#include <QItemSelectionModel>
#include <QLocale>
#include <QMimeDatabase>
#include <QStyle>
#include <QTimer>
#include <QLabel>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>

#include <algorithm>
#include <climits>
#include <cmath>

#include "ftp/ftp_client.h"
#include "ui/enter_dir_form.h"
#include "ui/guard.h"
#include "ui/keep_alive.h"
#include "ui/main_form.h"
#include "ui/remote_names.h"
#include "ui/settings_form.h"
#include "ui/sound_player.h"
#include "ui/status_log.h"
#include "ui/theme_icons.h"

namespace {
// Bytes decoded for display.
QString Shown(const std::string& bytes) { return statuslog::Display(bytes); }
// Remote names and paths in the session's name encoding, and typed ones back to bytes.
QString ShownRemote(const TMainForm& f, const std::string& bytes) {
    return remotenames::Display(bytes, remotenames::RawBytes(*f.IdFTP1));
}
std::string RemoteBytes(const TMainForm& f, const QString& text) {
    return remotenames::Bytes(text, remotenames::RawBytes(*f.IdFTP1));
}
}  // namespace

// ---- The window as the controller sees it

class TSessionWindowAdapter : public ISessionWindow {
public:
    TSessionWindowAdapter(TMainForm& f, TSessionViews& views) : f_(f), views_(views) {}

    void ShowConnected() override {
        f_.ApplyConnectedAvailability();
        f_.ShowEncryption(f_.IdFTP1->Encrypted(), f_.IdFTP1->TlsDescription());
        views_.SetDragEnabled(true);
    }
    void ShowDisconnected() override {
        f_.ApplyDisconnectedAvailability();
        f_.ClearEncryption();
        ClearRemoteView();
        views_.SetDragEnabled(false);
        if (f_.HomeDirList && f_.HomeDirList->isVisible()) f_.HomeDirList->setFocus();
    }
    void ShowEncryption(bool encrypted, const std::string& description) override {
        f_.ShowEncryption(encrypted, description);
    }
    void ClearEncryption() override { f_.ClearEncryption(); }
    void SetStopEnabled(bool enabled) override {
        f_.ToolButton10->setEnabled(enabled);
        f_.Stop1->setEnabled(enabled);
    }
    void ClearRemoteView() override {
        f_.HostDirInfo.clear();
        f_.LastRemoteRowIndex = -1;
        f_.RemoteDirList->clear();
        f_.RemoteDirCombo->clear();
        f_.RemoteDirCombo->setEditText(QString());
    }
    void SetStateText(const std::string& text) override { f_.SetPanelText(0, Shown(text)); }
    void LogLine(const std::string& text) override { f_.AddLogLine(Shown(text)); }
    void SetTrayTip(const std::string& text, bool send) override {
        if (send) {
            // Without a notification area the tip is kept and simply never shown.
            f_.SetTrayTip(Shown(text));
        } else {
            f_.TrayTip = Shown(text);
        }
    }
    void PlaySound(TSoundEvent event) override {
        ISoundPlayer* player = views_.SoundPlayer;
        if (!player && f_.SettingsForm) player = &f_.SettingsForm->Player();
        if (player) f_.Settings.PlayEventSound(event, player);
    }
    void ListRemoteDirectory(const std::string& path) override { views_.ListRemoteDirectory(path); }
    void FocusFirstRemoteRow() override { views_.FocusFirstRemoteRow(); }
    void RefreshReadyQueueRows() override { f_.Queue.RefreshReadyRows(); }
    void LoadSiteQueue(const std::string& siteName) override { f_.Queue.LoadSiteQueue(siteName); }
    void ShowConnectFailure(const std::string& reason, bool messageBox) override {
        // The file-name panel is idle while no connection is open.
        const QString text = Shown(reason);
        f_.SetPanelText(1, text);
        if (f_.StatusPanels.size() > 1) f_.StatusPanels[1]->setToolTip(text);
        if (messageBox && !text.isEmpty()) guard::ShowMessage(QStringLiteral("Could not connect.\n\n") + text);
    }

private:
    TMainForm& f_;
    TSessionViews& views_;
};

class TRetryTimerAdapter : public IRetryTimer {
public:
    explicit TRetryTimerAdapter(QTimer* timer) : t_(timer) {}
    void SetInterval(int ms) override { t_->setInterval(std::max(0, ms)); }
    void SetEnabled(bool enabled) override {
        // A one-shot timer with an interval of 0 does not run.
        if (enabled && t_->interval() > 0)
            t_->start();
        else
            t_->stop();
    }
    bool Enabled() const override { return t_->isActive(); }

private:
    QTimer* t_;
};

// ---- Construction

TSessionViews::TSessionViews(TMainForm& form) : QObject(&form), f_(form) {
    window_ = std::make_unique<TSessionWindowAdapter>(f_, *this);
    timer_ = std::make_unique<TRetryTimerAdapter>(f_.Timer1);
    controller_ = std::make_unique<TSessionController>(*f_.IdFTP1, f_.SiteTable, f_, *window_, *timer_,
                                                       &f_.SiteOptions.Defaults);
    TKeepAlive::THooks hooks;
    hooks.Idle = [this] { return SessionIdle(); };
    hooks.IntervalSeconds = [this] { return f_.SiteOptions.Defaults.KeepAliveSeconds; };
    hooks.SiteWantsNoop = [this] {
        return !f_.SiteTable.HasCurrentSite() || f_.SiteTable.Site(f_.SiteTable.CurrentSite()).Options.KeepAlive;
    };
    hooks.SessionEnded = [this](const std::string& words) { controller_->ServerEndedSession(words); };
    keepAlive_ = std::make_unique<TKeepAlive>(*f_.IdFTP1, std::move(hooks), nullptr);

    icons_.push_back(PaneFolderIcon());
    plainFileIcon_ = PaneFileIcon();

    // Dragging from the panes: only while connected (the drop targets are the queue view's).
    SetDragEnabled(false);
}

TSessionViews::~TSessionViews() = default;

// ---- Session

void TSessionViews::Connect() { controller_->Connect(); }
void TSessionViews::DisConnect() { controller_->DisConnect(); }
void TSessionViews::ReConnect() { controller_->ReConnect(); }
void TSessionViews::Timer1Timer() { controller_->Timer1Timer(); }
void TSessionViews::IdFTP1Disconnected() { controller_->ClientDisconnected(keepAlive_ && keepAlive_->InTick()); }
void TSessionViews::SiteDialogConnect(int siteIndex) { controller_->SiteDialogConnect(siteIndex); }

bool TSessionViews::SessionIdle() const {
    // A socket call that waits pumps the event loop: a tick from inside it is no idle moment.
    return !f_.SessionDropped && !f_.Transfer.Transferring && !f_.Transfer.RunActive && !listing_ &&
           !controller_->Attempting() && f_.MessagePump.Depth() == 0 && f_.IdFTP1->IsConnected();
}

// ---- Remote listing

std::string TSessionViews::ShortDateText(TDateTime value) {
    const QDate date = QDate(1899, 12, 30).addDays(static_cast<qint64>(std::floor(value)));
    return QLocale::system().toString(date, QLocale::ShortFormat).toStdString();
}

void TSessionViews::ListRemoteDirectory(const std::string& path) {
    struct TListingMark {
        bool& flag;
        bool was;
        explicit TListingMark(bool& f) : flag(f), was(f) { flag = true; }
        ~TListingMark() { flag = was; }
    } mark(listing_);
    if (!ResumeDroppedSession()) return;
    TIdFTP& ftp = *f_.IdFTP1;
    f_.HostDirInfo.clear();
    f_.LastRemoteRowIndex = -1;
    f_.RemoteDirUpButton->setEnabled(false);
    for (QAction* a : {f_.ToolButton7, f_.ToolButton8, f_.ToolButton15}) a->setEnabled(false);
    f_.SetPanelText(0, QStringLiteral("Opening directory"));
    f_.RemoteDirList->clear();

    if (!path.empty()) ftp.ChangeDir(path);

    std::string dir;
    bool dirKnown = true;
    try {
        dir = ftp.WorkingDir();
    } catch (...) {
        dirKnown = false;
        guard::ShowMessage(QStringLiteral("Error in transfer!"));
    }

    std::vector<THostDirInfo> rows;
    try {
        ftp.List(nullptr, "", true);
        rows = BuildHostDirRows(ftp.ParsedListing(), &TSessionViews::ShortDateText);
    } catch (...) {
        rows.clear();  // a failed listing shows as an empty directory
    }

    // The connection went away meanwhile (the user's DisConnect during the listing, or the server):
    // the Disconnected state is already shown and stays.
    if (!ftp.IsConnected()) return;

    f_.HostDirInfo = std::move(rows);
    f_.LastRemoteRowIndex = static_cast<int>(f_.HostDirInfo.size()) - 1;
    ShowRows();
    // A folder is entered at its first row, so a transfer command acts on a row the user sees.
    SelectFirstRemoteRow();
    f_.SetPanelText(0, QStringLiteral("Ready"));

    if (dirKnown) {
        if (dir.empty() || dir.back() != '/') dir += '/';
        f_.LastRemoteDir = dir;
        f_.RemoteDirCombo->setEditText(ShownRemote(f_, dir));
    } else {
        // Without a known directory, transfers would name the wrong remote paths.
        f_.LastRemoteDir.clear();
        f_.RemoteDirCombo->setEditText(QString());
    }
    f_.RemoteDirUpButton->setEnabled(true);
    if (dirKnown)
        for (QAction* a : {f_.ToolButton7, f_.ToolButton8, f_.ToolButton15}) a->setEnabled(true);
}

QIcon TSessionViews::FileIcon(const std::string& fileName) {
    const TIconTailCache::TLookup slot = iconCache_.Lookup(fileName);
    if (slot.Slot < 0) return plainFileIcon_;
    if (slot.IsNew) {
        const QIcon icon = ThemeFileIcon(QStringLiteral(".") + Shown(slot.Tail), plainFileIcon_);
        if (static_cast<int>(icons_.size()) <= slot.Slot) icons_.resize(static_cast<size_t>(slot.Slot) + 1);
        icons_[static_cast<size_t>(slot.Slot)] = icon;
    }
    return icons_[static_cast<size_t>(slot.Slot)];
}

void TSessionViews::ShowRows() {
    QTreeWidget* list = f_.RemoteDirList;
    const QString folderText = QStringLiteral("File Folder");
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<qsizetype>(f_.HostDirInfo.size()));
    for (const THostDirInfo& r : f_.HostDirInfo) {
        auto* item = new QTreeWidgetItem();
        item->setText(0, ShownRemote(f_, r.Name));
        if (r.IsDir) {
            item->setIcon(0, icons_[0]);
            item->setText(1, folderText);
        } else {
            item->setIcon(0, FileIcon(r.Name));
            item->setText(1, QString::fromStdString(RemoteSizeText(r.Size)));
        }
        item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        item->setText(2, QString::fromStdString(r.Modified));
        items.append(item);
    }
    // One insertion for the whole listing.
    list->setUpdatesEnabled(false);
    list->clear();
    list->addTopLevelItems(items);
    list->setUpdatesEnabled(true);
}

std::vector<int> TSessionViews::SelectedRemoteRows() const {
    std::vector<int> rows;
    const QModelIndexList selected = f_.RemoteDirList->selectionModel()->selectedRows();
    for (const QModelIndex& i : selected)
        if (i.row() >= 0 && i.row() < static_cast<int>(f_.HostDirInfo.size())) rows.push_back(i.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void TSessionViews::FocusFirstRemoteRow() {
    if (f_.RemoteDirList->topLevelItemCount() == 0 || f_.InTray) return;
    f_.RemoteDirList->setFocus();
    SelectFirstRemoteRow();
}

void TSessionViews::SelectFirstRemoteRow() {
    QTreeWidgetItem* first = f_.RemoteDirList->topLevelItem(0);
    if (!first) return;
    f_.RemoteDirList->setCurrentItem(first, 0, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

// ---- Remote navigation

void TSessionViews::RemoteDirListDblClick() {
    if (f_.Transfer.Transferring || f_.Transfer.RunActive || listing_) return;
    QTreeWidgetItem* item = f_.RemoteDirList->currentItem();
    if (!item || !item->isSelected()) return;
    const int row = f_.RemoteDirList->indexOfTopLevelItem(item);
    if (row < 0 || row >= static_cast<int>(f_.HostDirInfo.size())) return;
    const THostDirInfo& info = f_.HostDirInfo[static_cast<size_t>(row)];
    if (!info.IsDir) return;
    const std::string name = info.Name;  // the listing replaces the table
    ListRemoteDirectory(name);
}

void TSessionViews::RemoteDirUpButtonClick() {
    if (listing_) return;
    try {
        f_.IdFTP1->ChangeDirUp();
        ListRemoteDirectory(std::string());
    } catch (...) {
        // The way up simply doesn't happen.
    }
}

// The commands below come from the user while the window is live; one of them arriving during a
// listing would send its commands into the middle of the running LIST, so it is dropped.

void TSessionViews::Homedirectory1Click() {
    if (!listing_) ListRemoteDirectory(f_.RemoteHomeDir);
}

void TSessionViews::Refresh1Click() {
    if (!listing_) ListRemoteDirectory(std::string());
}

void TSessionViews::RemoteDirComboClick() {
    if (listing_) return;
    const QString text = f_.RemoteDirCombo->currentText();
    // The combo shows LastRemoteDir decoded; its own bytes are the ones to send back.
    const std::string path = text == ShownRemote(f_, f_.LastRemoteDir) ? f_.LastRemoteDir : RemoteBytes(f_, text);
    ListRemoteDirectory(path);
}

void TSessionViews::GotoDirectory1Click() {
    if (listing_) return;
    // The directory-name dialog blocks the window itself, so a failing query leaves the window
    // usable; its error reaches the error display.
    std::string dir = f_.IdFTP1->WorkingDir();
    if (dir.empty() || dir.back() != '/') dir += '/';
    gotoDirBytes_ = dir;
    if (f_.EnterDirForm)
        f_.EnterDirForm->Open(TEnterDirForm::ChangeRemoteDir, QStringLiteral("Change Directory"), ShownRemote(f_, dir));
}

void TSessionViews::ChangeRemoteDirEntered(const QString& name) {
    if (name.isEmpty()) return;
    const std::string dir = name == ShownRemote(f_, gotoDirBytes_) ? gotoDirBytes_ : RemoteBytes(f_, name);
    f_.IdFTP1->ChangeDir(dir);  // a refusal leaves the dialog open, with the error shown
    if (f_.EnterDirForm) f_.EnterDirForm->close();
    ListRemoteDirectory(std::string());
}

// ---- Both panes

void TSessionViews::ToolButton11Click() {
    if (f_.ActivePane == 1) {
        f_.RefreshLocalPane();
        QItemSelectionModel* sel = f_.HomeDirList->selectionModel();
        if (sel && sel->hasSelection()) {
            const QModelIndexList rows = sel->selectedRows();
            QModelIndex first = rows.value(0);
            for (const QModelIndex& i : rows)
                if (i.row() < first.row()) first = i;
            if (first.isValid())
                sel->setCurrentIndex(first, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        }
        f_.HomeDirList->setFocus();
    } else if (f_.ActivePane == 2) {
        if (!f_.IdFTP1->IsConnected() || f_.Transfer.Transferring || f_.Transfer.RunActive || listing_) return;
        try {
            ListRemoteDirectory(std::string());
            SelectFirstRemoteRow();
        } catch (...) {
            // A refresh that fails leaves what the listing left.
        }
    }
}

void TSessionViews::SwitchToPane(int pane, bool menuItems) {
    f_.ActivePane = pane;
    const bool remote = pane == 2;
    if (menuItems) {
        f_.Download2->setEnabled(remote);
        f_.Upload2->setEnabled(!remote);
    }
    f_.ToolButton7->setEnabled(remote);
    f_.ToolButton6->setEnabled(!remote);
}

void TSessionViews::HomeDirListClick() {
    if (f_.ActivePane == 2) SwitchToPane(1, true);
}

void TSessionViews::RemoteDirListClick() {
    if (f_.ActivePane == 1) SwitchToPane(2, true);
}

void TSessionViews::HomeDirListKeyUp(int key) {
    if (key == Qt::Key_Tab) SwitchToPane(1, false);
}

void TSessionViews::RemoteDirListKeyUp(int key) {
    if (key == Qt::Key_Tab) SwitchToPane(2, false);
}

// ---- Dragging from the panes

void TSessionViews::SetDragEnabled(bool enabled) {
    // Dragging starts on a left press on an item once the mouse moves; only while connected.
    f_.RemoteDirList->setDragEnabled(enabled);
    f_.HomeDirList->setDragEnabled(enabled);
}
