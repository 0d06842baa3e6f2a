#pragma once
// The remote pane: the path combo, the "DirUp" button and the list of the server's current
// directory, with the listing rows behind it, the icon cache, its navigation and its selection.
// What it needs of the rest of the window goes through IRemotePaneHost; the window connects its
// commands here and learns of clicks and the Tab key through the signals.

#include <optional>
#include <string>
#include <vector>

#include <QIcon>
#include <QObject>
#include <QString>

#include "ftp/list_datetime.h"
#include "ui/pane_frame.h"
#include "ui/remote_listing.h"

class QComboBox;
class QKeyEvent;
class QToolButton;
class QTreeWidget;
class QWidget;
class TIdFTP;

class IRemotePaneHost {
public:
    virtual ~IRemotePaneHost() = default;
    // Before a listing: a session the server ended while idle connects again; false when it failed.
    virtual bool ResumeSession() = 0;
    // A transfer or a run is going on.
    virtual bool Transferring() const = 0;
    // The state panel ("Opening directory", "Ready").
    virtual void ShowState(const QString& text) = 0;
    // "Download", "Transfer queue" and "Add to queue": off while a listing runs, and after one
    // whose directory is unknown.
    virtual void SetListingCommandsEnabled(bool enabled) = 0;
    // The directory the last listing showed (ends in "/"; empty when unknown).
    virtual void DirectoryShown(const std::string& dir) = 0;
};

class TRemotePane : public TDirectoryPane {
    Q_OBJECT
public:
    // Builds the pane inside parent; the rows are empty until the first listing.
    TRemotePane(QWidget* parent, TIdFTP& ftp, IRemotePaneHost& host);

    QWidget* Panel() const { return frame_.Panel; }
    QComboBox* Combo() const { return frame_.Combo; }
    QToolButton* UpButton() const { return frame_.Up; }
    QTreeWidget* List() const { return list_; }

    // ---- The listing
    // Changes to path when one is given (a failure raises), then lists and shows the current
    // remote directory.
    void ListDirectory(const std::string& path);
    // A listing is under way (the window stays live meanwhile).
    bool Listing() const { return listing_; }
    // The rows shown (row i is record i, in the order shown) and the directory they are in.
    const std::vector<THostDirInfo>& Rows() const { return rows_; }
    int LastRowIndex() const { return static_cast<int>(rows_.size()) - 1; }
    const std::string& Directory() const { return dir_; }
    // Shows rows as the listing of dir without asking the server.
    void ShowListing(std::vector<THostDirInfo> rows, const std::string& dir);
    // Rows, list and path emptied (the directory is kept for the transfer commands).
    void Clear();

    // ---- Navigation (the commands are dropped while a listing runs: theirs would land in it)
    void OpenCurrentRow() override;  // double click and Enter: enters a folder row; a file row raises FileActivated
    void GoUp() override;            // errors ignored
    void GoTo(const std::string& path);
    void Refresh();
    void GoToTypedPath();             // Enter in the path combo: the typed directory, or a visited one
    void GoToHistoryItem(int index);  // a visited directory picked from the combo's list
    // Connected and idle: lists again and selects the first row; errors ignored.
    void RefreshIfIdle();
    // The working directory as the goto dialog starts with it; none while a listing runs.
    std::optional<QString> GotoStartText();
    // The goto dialog's answer: changes to it (a refusal raises), without listing.
    void ChangeDirectoryTo(const QString& name);

    // ---- Looks
    // Connected: list, combo and up button enabled; otherwise disabled, and with clear the list
    // and combo emptied.
    void ShowSessionLook(bool connected, bool clear);
    // The combo and up button during a run; they stay off while the pane shows disconnected.
    void SetNavigationEnabled(bool enabled);
    void SetDragEnabled(bool enabled);
    void Layout() override;
    // When the list has rows: focus it and select its first row.
    void FocusFirstRow();
    void SelectFirstRow();

    // ---- Selection: indices into Rows() of the selected rows, in row order, and their names
    // byte for byte (the list shows names decoded).
    std::vector<int> SelectedRows() const;
    std::vector<std::string> SelectedNames() const;
    // The first of SelectedRows, or -1.
    int FirstSelectedRow() const;

    // Remote names in the session's name encoding, and typed ones back to its bytes.
    QString DisplayName(const std::string& bytes) const;
    std::string NameBytes(const QString& text) const;

    // IconImageList: slot 0 the folder icon, then one icon per cached tail.
    const std::vector<QIcon>& IconImageList() const { return icons_; }
    const TIconTailCache& IconCache() const { return iconCache_; }

    // ---- Sorting: the listing's own order until a header is clicked; a click sorts by its
    // column, ascending, and the next click on the same column reverses. The sort stays for the
    // next listings. -1: the listing's order.
    void SortBy(int column);
    int SortColumn() const { return sortColumn_; }
    bool SortDescending() const { return sortDescending_; }

    // The visited directories the path combo offers, newest first (at most this many).
    static constexpr int kHistoryLength = 20;
    std::vector<std::string> History() const;

    // The short date text of a listing date, and its time of day, in the system's format.
    static std::string ShortDateText(TDateTime value);
    static std::string ShortTimeText(TDateTime value);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ShowRows();
    // Puts rows_ in the order of the sort chosen.
    void SortRows();
    void RememberDirectory(const std::string& dir);
    // The combo on the directory shown: its history entry current, its text in the edit line.
    void ShowDirectoryText();
    QIcon FileIcon(const std::string& fileName);

    TIdFTP& ftp_;
    IRemotePaneHost& host_;
    TPaneFrame frame_;
    QTreeWidget* list_ = nullptr;
    std::vector<THostDirInfo> rows_;
    std::string dir_;  // ends in "/" once a directory was listed
    TIconTailCache iconCache_;
    std::vector<QIcon> icons_;
    QIcon plainFileIcon_;
    std::string gotoDirBytes_;  // the goto dialog's start text, byte for byte
    bool listing_ = false;
    int sortColumn_ = -1;
    bool sortDescending_ = false;
    bool historyPick_ = false;              // the combo's list is being clicked or told Enter
    const QObject* historyView_ = nullptr;  // the combo's list and its viewport, watched for picks
    const QObject* historyViewport_ = nullptr;
};
