#include "ui/connect_form.h"

#include <QApplication>
#include <algorithm>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QLocale>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "sites/site_table.h"
#include "sites/text_convert.h"
#include "ui/guard.h"

void ShowDialogMessage(QWidget*, const QString& text) { guard::ShowMessage(text); }

namespace {

QString FromBytes(const std::string& bytes) {
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string ToBytes(const QString& text) { return text.toUtf8().toStdString(); }

char LocaleDecimalSeparator() {
    const QString point = QLocale::system().decimalPoint();
    if (point.size() == 1 && point.at(0).unicode() < 0x80) return static_cast<char>(point.at(0).unicode());
    return '.';
}

// Label above its edit, as one column cell.
QWidget* Labeled(const QString& caption, QWidget* edit, QWidget* parent) {
    auto* box = new QWidget(parent);
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    auto* label = new QLabel(caption, box);
    label->setBuddy(edit);
    layout->addWidget(label);
    layout->addWidget(edit);
    return box;
}

// Masks the password with "*" whatever the platform style's own character is.
class TStarPasswordStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == QStyle::SH_LineEdit_PasswordCharacter) return '*';
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

}  // namespace

bool TNumberKeyFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return QObject::eventFilter(watched, event);
    auto* edit = qobject_cast<QLineEdit*>(watched);
    const QString typed = static_cast<QKeyEvent*>(event)->text();
    if (!edit || typed.isEmpty()) return false;
    const QChar ch = typed.at(0);
    // Control characters (Enter, Escape, Tab, Ctrl shortcuts) type nothing; backspace is allowed.
    if (ch.unicode() < 0x20 || ch.unicode() == 0x7f) return false;
    if (ch.unicode() < 0x80 &&
        IsNumberKeyAccepted(static_cast<char>(ch.unicode()), ToBytes(edit->text()), LocaleDecimalSeparator()))
        return false;
    ShowDialogMessage(edit->window(), "Please enter a number.  Wrong input: " + QString(ch));
    return true;
}

TConnectForm::TConnectForm(TSiteTable& sites, QWidget* parent) : QDialog(parent), FSites(sites) {
    setObjectName("ConnectForm");
    setWindowTitle("Connect to FTP Site");
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setWindowModality(Qt::ApplicationModal);

    FTPList = new QListWidget(this);
    FTPList->setSelectionMode(QAbstractItemView::SingleSelection);
    FTPList->setMinimumWidth(190);
    FTPList->viewport()->installEventFilter(this);

    LabeledEdit1 = new QLineEdit(this);
    LabeledEdit2 = new QLineEdit(this);
    LabeledEdit3 = new QLineEdit(this);
    LabeledEdit4 = new QLineEdit(this);
    LabeledEdit4->setEchoMode(QLineEdit::Password);
    auto* starStyle = new TStarPasswordStyle;
    starStyle->setParent(this);
    LabeledEdit4->setStyle(starStyle);
    LabeledEdit5 = new QLineEdit(this);
    LabeledEdit6 = new QLineEdit(this);
    LabeledEdit7 = new QLineEdit(this);
    LabeledEdit8 = new QLineEdit(this);
    auto* numberKeys = new TNumberKeyFilter(this);
    LabeledEdit7->installEventFilter(numberKeys);
    LabeledEdit8->installEventFilter(numberKeys);

    auto* optionsGroup = new QGroupBox("FTP Site Connection Options", this);
    auto* optionsLayout = new QHBoxLayout(optionsGroup);
    optionsLayout->addWidget(Labeled("Connection Retries:", LabeledEdit7, optionsGroup));
    optionsLayout->addWidget(Labeled("Delay Between Retries (s):", LabeledEdit8, optionsGroup));

    auto* loginGroup = new QGroupBox("FTP Site Login Type", this);
    RadioButton1 = new QRadioButton("Normal", loginGroup);
    RadioButton2 = new QRadioButton("Anonymous", loginGroup);
    RadioButton3 = new QRadioButton("Double", loginGroup);
    auto* loginLayout = new QHBoxLayout(loginGroup);
    loginLayout->addWidget(RadioButton1);
    loginLayout->addWidget(RadioButton2);
    loginLayout->addWidget(RadioButton3);

    auto* modeGroup = new QGroupBox("Transfer Mode", this);
    RadioButton4 = new QRadioButton("ASCII", modeGroup);
    RadioButton5 = new QRadioButton("Binary", modeGroup);
    RadioButton6 = new QRadioButton("Auto Dettect", modeGroup);
    auto* modeLayout = new QHBoxLayout(modeGroup);
    modeLayout->addWidget(RadioButton4);
    modeLayout->addWidget(RadioButton5);
    modeLayout->addWidget(RadioButton6);

    AdvancedGroup = new QGroupBox("Advanced", this);
    ComboBox1 = new QComboBox(AdvancedGroup);
    ComboBox1->addItems({"Default", "Passive", "Active"});
    ComboBox1->setToolTip("Default follows the program settings");
    ComboBox2 = new QComboBox(AdvancedGroup);
    ComboBox2->addItems({"Auto", "UTF-8", "Raw Bytes"});
    CheckBox1 = new QCheckBox("Keep Connection Alive", AdvancedGroup);
    ComboBox3 = new QComboBox(AdvancedGroup);
    ComboBox3->addItems({"Use explicit FTP over TLS if available", "Require explicit FTP over TLS",
                         "Require implicit FTP over TLS", "Only use plain FTP (insecure)"});
    ComboBox3->setToolTip("Implicit TLS usually listens on port 990");
    auto* advancedLayout = new QGridLayout(AdvancedGroup);
    advancedLayout->addWidget(Labeled("Data Connection:", ComboBox1, AdvancedGroup), 0, 0);
    advancedLayout->addWidget(Labeled("File Name Encoding:", ComboBox2, AdvancedGroup), 0, 1);
    advancedLayout->addWidget(CheckBox1, 0, 2, Qt::AlignBottom);
    advancedLayout->addWidget(Labeled("Encryption:", ComboBox3, AdvancedGroup), 1, 0, 1, 2);

    Button1 = new QPushButton("&Connect", this);
    Button1->setDefault(true);
    Button2 = new QPushButton("E&xit", this);
    Button3 = new QPushButton("&Add Site", this);
    Button4 = new QPushButton("&Delete Site", this);
    for (QPushButton* b : {Button1, Button2, Button3, Button4}) b->setMinimumWidth(96);

    auto* fields = new QGridLayout;
    fields->setHorizontalSpacing(12);
    fields->setVerticalSpacing(6);
    fields->addWidget(Labeled("Label for FTP Site :", LabeledEdit1, this), 0, 0);
    fields->addWidget(Labeled("FTP Host Addrese", LabeledEdit2, this), 1, 0);
    fields->addWidget(Labeled("UserName for FTP site:", LabeledEdit3, this), 2, 0);
    fields->addWidget(Labeled("PassWord for ftp Site:", LabeledEdit4, this), 3, 0);
    fields->addWidget(Labeled("FTP Site Connection port (21 default):", LabeledEdit5, this), 0, 1);
    fields->addWidget(Labeled("FTP Site HomeDirectory (/ default):", LabeledEdit6, this), 1, 1);
    fields->addWidget(optionsGroup, 2, 1, 2, 1);
    fields->addWidget(loginGroup, 4, 0);
    fields->addWidget(modeGroup, 4, 1);
    fields->addWidget(AdvancedGroup, 5, 0, 1, 2);
    fields->setColumnMinimumWidth(0, 240);
    fields->setColumnMinimumWidth(1, 260);

    auto* listButtons = new QHBoxLayout;
    listButtons->addWidget(Button3);
    listButtons->addWidget(Button4);
    auto* listColumn = new QVBoxLayout;
    listColumn->addWidget(FTPList, 1);
    listColumn->addLayout(listButtons);

    auto* dialogButtons = new QHBoxLayout;
    dialogButtons->addStretch(1);
    dialogButtons->addWidget(Button1);
    dialogButtons->addWidget(Button2);
    auto* rightColumn = new QVBoxLayout;
    rightColumn->addLayout(fields);
    rightColumn->addStretch(1);
    rightColumn->addLayout(dialogButtons);

    auto* layout = new QHBoxLayout(this);
    layout->addLayout(listColumn);
    layout->addSpacing(6);
    layout->addLayout(rightColumn, 1);

    for (QLineEdit* edit : {LabeledEdit1, LabeledEdit2, LabeledEdit3, LabeledEdit4, LabeledEdit5, LabeledEdit6,
                            LabeledEdit7, LabeledEdit8})
        connect(edit, &QLineEdit::textChanged, this, [this, edit] { EditChanged(edit); });

    // A button checked from code runs its action as a click would; unchecking runs nothing.
    connect(RadioButton1, &QRadioButton::toggled, this, [this](bool on) {
        if (on) LoginTypeClick(ltNormal);
    });
    connect(RadioButton2, &QRadioButton::toggled, this, [this](bool on) {
        if (on) LoginTypeClick(ltAnonymous);
    });
    connect(RadioButton3, &QRadioButton::toggled, this, [this](bool on) {
        if (on) LoginTypeClick(ltDouble);
    });
    connect(RadioButton4, &QRadioButton::toggled, this, [this](bool on) {
        if (on) TransferModeClick("ftASCII");
    });
    connect(RadioButton5, &QRadioButton::toggled, this, [this](bool on) {
        if (on) TransferModeClick("ftBinary");
    });
    connect(RadioButton6, &QRadioButton::toggled, this, [this](bool on) {
        if (on) TransferModeClick("ftAvto");
    });

    connect(ComboBox1, &QComboBox::currentIndexChanged, this, [this] { OptionsChanged(); });
    connect(ComboBox2, &QComboBox::currentIndexChanged, this, [this] { OptionsChanged(); });
    connect(CheckBox1, &QCheckBox::toggled, this, [this] { OptionsChanged(); });
    connect(ComboBox3, &QComboBox::currentIndexChanged, this, [this] { OptionsChanged(); });

    connect(FTPList, &QListWidget::currentRowChanged, this, [this](int row) {
        if (!FSelecting && row >= 0) FTPListSelect(row);
    });
    connect(Button1, &QPushButton::clicked, this, &TConnectForm::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
    connect(Button3, &QPushButton::clicked, this, &TConnectForm::Button3Click);
    connect(Button4, &QPushButton::clicked, this, &TConnectForm::Button4Click);
    connect(this, &QDialog::finished, this, &TConnectForm::Closed);

    RefillList();
}

void TConnectForm::RefillList() {
    FSelecting = true;
    FTPList->clear();
    for (const TFTPInfo& site : FSites.Sites()) FTPList->addItem(FromBytes(site.SiteName));
    FTPList->setCurrentRow(-1);
    FSelecting = false;
    UpdateEditsEnabled();
}

void TConnectForm::Open() {
    show();
    raise();
    activateWindow();
}

void TConnectForm::setVisible(bool visible) {
    if (visible && !isVisible()) {
        FMessages.Reset();
        FConnecting = false;
        FQueueOwner = FSites.HasCurrentSite() ? FSites.CurrentSite() : -1;
        if (FSites.HasCurrentSite()) emit StoreLiveQueueRequested(FSites.CurrentSiteName());
    }
    QDialog::setVisible(visible);
}

bool TConnectForm::event(QEvent* event) {
    if (FMessages.NewActivation(event)) FormActivate();
    return QDialog::event(event);
}

bool TConnectForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == FTPList->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        // Only on a site's row: blank space below the rows would connect to whatever was current.
        if (FTPList->itemAt(static_cast<QMouseEvent*>(event)->position().toPoint())) FTPListDblClick();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TConnectForm::Message(const QString& text) { FMessages.Show(this, text); }

void TConnectForm::FormActivate() {
    FTPList->setFocus();
    if (FTPList->count() == 0) return;
    if (!FSites.HasCurrentSite()) FSites.SetCurrentSite(0);
    SelectRow(FSites.CurrentSite());
    ShowSite(FSites.CurrentSite());
}

int TConnectForm::SelectedIndex() const {
    const int row = FTPList->currentRow();
    if (row < 0 || !FTPList->item(row)->isSelected() || !FSites.IsValidIndex(row)) return -1;
    return row;
}

void TConnectForm::SelectRow(int index) {
    FSelecting = true;
    FTPList->setCurrentRow(index);
    FSelecting = false;
}

void TConnectForm::FTPListSelect(int index) {
    if (!FSites.IsValidIndex(index)) return;
    ShowSite(index);
}

void TConnectForm::ShowSite(int index) {
    FSites.SetCurrentSite(index);
    UpdateEditsEnabled();
    const TFTPInfo& site = FSites.Site(index);
    FShowingSite = true;
    switch (LoginTypeCode(site)) {
        case ltNormal:
            RadioButton1->setChecked(true);
            break;
        case ltAnonymous:
            RadioButton2->setChecked(true);
            break;
        case ltDouble:
            RadioButton3->setChecked(true);
            break;
        default:
            break;
    }
    FShowingSite = false;
    if (site.TransferMode == "ftASCII")
        RadioButton4->setChecked(true);
    else if (site.TransferMode == "ftBinary")
        RadioButton5->setChecked(true);
    else if (site.TransferMode == "ftAvto")
        RadioButton6->setChecked(true);
    // Checking a button may have changed the record (Anonymous), so read it again field by field.
    LabeledEdit1->setText(FromBytes(FSites.Site(index).SiteName));
    LabeledEdit2->setText(FromBytes(FSites.Site(index).Host));
    LabeledEdit3->setText(FromBytes(FSites.Site(index).UserName));
    LabeledEdit4->setText(FromBytes(FSites.Site(index).Password));
    LabeledEdit5->setText(QString::number(FSites.Site(index).Port));
    LabeledEdit6->setText(FromBytes(FSites.Site(index).HomeDir));
    LabeledEdit7->setText(QString::number(FSites.Site(index).Retries));
    LabeledEdit8->setText(QString::number(FSites.Site(index).RetryDelay));
    ShowOptions(FSites.Site(index).Options);
}

void TConnectForm::ShowOptions(const TSiteOptions& options) {
    // Showing one field must not write the others' previous values into the record.
    FShowingOptions = true;
    ComboBox1->setCurrentIndex(static_cast<int>(options.DataMode));
    ComboBox2->setCurrentIndex(static_cast<int>(options.NameEncoding));
    CheckBox1->setChecked(options.KeepAlive);
    ComboBox3->setCurrentIndex(static_cast<int>(options.Encryption));
    FShowingOptions = false;
}

void TConnectForm::OptionsChanged() {
    if (FShowingOptions || !FSites.HasCurrentSite()) return;
    TSiteOptions& o = FSites.Site(FSites.CurrentSite()).Options;
    o.DataMode = static_cast<TDataConnectionMode>(std::max(0, ComboBox1->currentIndex()));
    o.NameEncoding = static_cast<TSiteNameEncoding>(std::max(0, ComboBox2->currentIndex()));
    o.KeepAlive = CheckBox1->isChecked();
    const TSiteEncryption was = o.Encryption;
    o.Encryption = static_cast<TSiteEncryption>(std::max(0, ComboBox3->currentIndex()));
    // Implicit TLS has a port of its own; a port the user chose himself is left alone.
    const bool implicitNow = o.Encryption == TSiteEncryption::RequireImplicit;
    if (implicitNow != (was == TSiteEncryption::RequireImplicit)) {
        const QString from = implicitNow ? "21" : "990", to = implicitNow ? "990" : "21";
        if (LabeledEdit5->text().trimmed() == from) LabeledEdit5->setText(to);
    }
}

void TConnectForm::UpdateEditsEnabled() {
    // Without a site there is no record to write into.
    const bool on = FSites.HasCurrentSite() && FTPList->count() > 0;
    for (QWidget* w : std::initializer_list<QWidget*>{
             LabeledEdit1, LabeledEdit2, LabeledEdit3, LabeledEdit4, LabeledEdit5, LabeledEdit6, LabeledEdit7,
             LabeledEdit8, RadioButton1->parentWidget(), RadioButton4->parentWidget(), AdvancedGroup})
        w->setEnabled(on);
}

void TConnectForm::EditChanged(QLineEdit* edit) {
    if (!FSites.HasCurrentSite()) return;
    const int index = FSites.CurrentSite();
    TFTPInfo& site = FSites.Site(index);
    const QString text = edit->text();

    // A shown string that decodes from the stored bytes is left as stored, so names that are not
    // UTF-8 keep their bytes until the user really edits them.
    auto takeString = [&](std::string& field) {
        if (FromBytes(field) != text) field = ToBytes(text);
    };
    // A value beyond the field's range becomes the bound, shown in the field and said in a message;
    // a stored one that is only being shown stays as it is (connecting then says what is wrong).
    auto takeNumber = [&](int32_t& field, const char* what, int32_t min, int32_t max) {
        int32_t value = 0;
        if (!TryStrToInt(ToBytes(text), value)) {
            Message(FromBytes(InvalidIntegerMessage(ToBytes(text))));
            return;
        }
        if (value == field) return;
        const int32_t used = std::clamp(value, min, max);
        field = used;
        if (used == value) return;
        edit->setText(QString::number(used));
        Message(FromBytes(OutOfRangeNotice(what, value, min, max, used)));
    };

    if (edit == LabeledEdit1) {
        if (FromBytes(site.SiteName) != text) FSites.SetSiteName(index, ToBytes(text));
        if (QListWidgetItem* item = FTPList->item(index)) item->setText(text);
    } else if (edit == LabeledEdit2) {
        takeString(site.Host);
    } else if (edit == LabeledEdit3) {
        takeString(site.UserName);
    } else if (edit == LabeledEdit4) {
        takeString(site.Password);
    } else if (edit == LabeledEdit6) {
        takeString(site.HomeDir);
    } else if (edit == LabeledEdit5) {
        takeNumber(site.Port, "Port", 1, TFTPInfo::MaxPort);
    } else if (edit == LabeledEdit7) {
        takeNumber(site.Retries, "Connection retries", 0, TFTPInfo::MaxRetries);
    } else if (edit == LabeledEdit8) {
        takeNumber(site.RetryDelay, "Delay between retries", 0, TFTPInfo::MaxRetryDelay);
    }
}

void TConnectForm::LoginTypeClick(int code) {
    LabeledEdit4->setEchoMode(code == ltAnonymous ? QLineEdit::Normal : QLineEdit::Password);
    if (!FSites.HasCurrentSite()) return;
    FSites.Site(FSites.CurrentSite()).LoginType = LoginTypeText(static_cast<TLoginTypeCode>(code));
    if (code == ltAnonymous) {
        LabeledEdit3->setText("anonymous");
        // A stored anonymous site keeps the e-mail address it has; a click puts in the default.
        if (!FShowingSite || FSites.Site(FSites.CurrentSite()).Password.empty()) LabeledEdit4->setText("freeguest");
    }
}

void TConnectForm::TransferModeClick(const char* mode) {
    if (!FSites.HasCurrentSite()) return;
    FSites.Site(FSites.CurrentSite()).TransferMode = mode;
}

void TConnectForm::Button3Click() {
    const int index = FSites.AddSite();
    FSelecting = true;
    FTPList->addItem("New Site");
    FTPList->setCurrentRow(index);
    FSelecting = false;
    UpdateEditsEnabled();

    RadioButton1->setChecked(true);
    LabeledEdit4->setEchoMode(QLineEdit::Password);
    RadioButton6->setChecked(true);
    // The new record already holds the new-site values; the edits only have to show them.
    LabeledEdit1->setText("New Site");
    LabeledEdit2->setText(QString());
    LabeledEdit3->setText(QString());
    LabeledEdit4->setText(QString());
    LabeledEdit5->setText("21");
    LabeledEdit6->setText("/");
    LabeledEdit7->setText("0");
    LabeledEdit8->setText("0");
    ShowOptions(TSiteOptions{});
    // The placeholder name is selected, so typing replaces it (a focus from code selects nothing).
    LabeledEdit1->setFocus();
    LabeledEdit1->selectAll();
}

void TConnectForm::Button4Click() {
    const int k = SelectedIndex();
    if (k < 0) {
        Message("Select FTP site to delete!");
        return;
    }
    // One misclick beside "Add Site" would lose the site and its stored queue for good.
    const QString name = FromBytes(FSites.Site(k).SiteName);
    if (!guard::AskYesNo(
            QStringLiteral("Delete the site \"%1\"?\n\nIts stored transfer queue is deleted with it.").arg(name)))
        return;
    FSites.DeleteSite(k);
    if (FQueueOwner == k)
        FQueueOwner = -1;
    else if (FQueueOwner > k)
        --FQueueOwner;
    FSelecting = true;
    delete FTPList->takeItem(k);
    FSelecting = false;
    if (FTPList->count() > 0) {
        SelectRow(0);
        ShowSite(0);
        return;
    }
    // The last site is gone: show empty, disabled fields.
    UpdateEditsEnabled();
    for (QLineEdit* edit : {LabeledEdit1, LabeledEdit2, LabeledEdit3, LabeledEdit4, LabeledEdit5, LabeledEdit6,
                            LabeledEdit7, LabeledEdit8})
        edit->clear();
    ShowOptions(TSiteOptions{});
}

void TConnectForm::Button1Click() {
    const int k = SelectedIndex();
    if (k < 0) {
        Message("Select FTP site to connect!");
        return;
    }
    FSites.SetCurrentSite(k);
    emit ConnectRequested(k);
    FConnecting = true;
    accept();
}

void TConnectForm::FTPListDblClick() {
    const int k = SelectedIndex();
    if (k >= 0) FSites.SetCurrentSite(k);
    Button1Click();
}

void TConnectForm::done(int result) {
    // Leaving with another site current than the one whose queue is live would show one site's
    // queue under another and store it there at the next showing or at exit.
    const bool otherSite = !FConnecting && FSites.HasCurrentSite() && FSites.CurrentSite() != FQueueOwner;
    if (FSites.Count() > 0) {
        // SortByName re-finds the current site by the name it had before the sort.
        FSites.SortByName();
        RefillList();
        if (FSites.HasCurrentSite()) SelectRow(FSites.CurrentSite());
    }
    if (otherSite) emit LoadSiteQueueRequested(FSites.CurrentSiteName());
    FQueueOwner = FSites.HasCurrentSite() ? FSites.CurrentSite() : -1;
    emit RefreshQueueSummaryRequested();
    QDialog::done(result);
}
