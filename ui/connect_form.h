#pragma once
// Site list dialog: picks the site to connect to and edits the site table in place.

#include <QDialog>
#include <functional>
#include <string>

#include "ui/dialog_messages.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class TSiteTable;
struct TSiteOptions;

// Key filter of the number fields: passes backspace, digits and one decimal separator of the
// locale, drops any other typed character with "Please enter a number.  Wrong input: <c>".
// Keys that type nothing (arrows, Enter, Escape, Tab, shortcuts) pass untouched.
class TNumberKeyFilter : public QObject {
    Q_OBJECT
public:
    explicit TNumberKeyFilter(QObject* parent = nullptr) : QObject(parent) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

class TConnectForm : public QDialog {
    Q_OBJECT
public:
    // The dialog edits the records of `sites` directly; every change is kept at once.
    explicit TConnectForm(TSiteTable& sites, QWidget* parent = nullptr);

    // Rebuilds the list entries from the table (after the site list file was loaded).
    void RefillList();

    // Shows the dialog without waiting (call show() or this). Before it becomes visible it asks
    // for the live queue to be stored (StoreLiveQueueRequested). The parent window takes no input
    // while it is open (application modality; do not disable the parent yourself, that would
    // disable this child dialog as well).
    void Open();
    // Showing also stores the live queue when shown with show().
    void setVisible(bool visible) override;

    QListWidget* FTPList = nullptr;
    QLineEdit* LabeledEdit1 = nullptr;     // SiteName
    QLineEdit* LabeledEdit2 = nullptr;     // Host
    QLineEdit* LabeledEdit3 = nullptr;     // UserName
    QLineEdit* LabeledEdit4 = nullptr;     // Password
    QLineEdit* LabeledEdit5 = nullptr;     // Port
    QLineEdit* LabeledEdit6 = nullptr;     // HomeDir
    QLineEdit* LabeledEdit7 = nullptr;     // Retries
    QLineEdit* LabeledEdit8 = nullptr;     // RetryDelay
    QRadioButton* RadioButton1 = nullptr;  // Normal
    QRadioButton* RadioButton2 = nullptr;  // Anonymous
    QRadioButton* RadioButton3 = nullptr;  // Double
    QRadioButton* RadioButton4 = nullptr;  // ASCII
    QRadioButton* RadioButton5 = nullptr;  // Binary
    QRadioButton* RadioButton6 = nullptr;  // Auto Dettect
    // The "Advanced" area: the site's connection options.
    QGroupBox* AdvancedGroup = nullptr;
    QComboBox* ComboBox1 = nullptr;  // data connection: Default, Passive, Active
    QComboBox* ComboBox2 = nullptr;  // name encoding: Auto, UTF-8, Raw Bytes
    QCheckBox* CheckBox1 = nullptr;  // keep alive
    QComboBox* ComboBox3 = nullptr;  // encryption, in the order of TSiteEncryption
    QPushButton* Button1 = nullptr;  // "&Connect", default
    QPushButton* Button2 = nullptr;  // "E&xit", Escape
    QPushButton* Button3 = nullptr;  // "&Add Site"
    QPushButton* Button4 = nullptr;  // "&Delete Site"

    // The actions, public for the tests and for the main window.
    void FormActivate();
    void FTPListSelect(int index);
    void Button1Click();  // Connect
    void Button3Click();  // Add Site
    void Button4Click();  // Delete Site
    void FTPListDblClick();

signals:
    // Showing: store the live queue into every queue store named siteName (the current site's
    // name). Not emitted while the table has no current site.
    void StoreLiveQueueRequested(const std::string& siteName);
    // Connect: the current site (siteIndex) was chosen. The receiver starts a fresh attempt
    // series, configures the client from the site, sets the remote home folder and loads the
    // site's stored queue. The dialog closes right after.
    void ConnectRequested(int siteIndex);
    // Closing by Exit or Escape when another site than the one whose queue is live has become
    // current: replace the live queue by that site's stored queue (LoadSiteQueue), so the queue
    // shown always belongs to the current site. Emitted after the sort, before the summary.
    void LoadSiteQueueRequested(const std::string& siteName);
    // Closing, after the sort and the re-find of the current site: refresh the queue summary.
    void RefreshQueueSummaryRequested();
    // The dialog has closed: the main window is usable again.
    void Closed();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void done(int result) override;

private:
    void ShowSite(int index);
    void UpdateEditsEnabled();
    void EditChanged(QLineEdit* edit);
    void LoginTypeClick(int code);
    void TransferModeClick(const char* mode);
    void ShowOptions(const TSiteOptions& options);
    void OptionsChanged();
    int SelectedIndex() const;
    void SelectRow(int index);
    void Message(const QString& text);

    TSiteTable& FSites;
    int FQueueOwner = -1;          // the site whose queue is live (stored when shown)
    bool FConnecting = false;      // closing by Connect, which loads the queue itself
    bool FSelecting = false;       // the list's selection is being set from code
    bool FShowingOptions = false;  // the Advanced fields are being set from a record
    bool FShowingSite = false;     // the login type buttons are being set from a record
    TDialogMessages FMessages;
};
