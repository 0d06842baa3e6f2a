#include "ui/settings_form.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <exception>

#include "sites/text_convert.h"
#include "ui/connect_form.h"
#include "ui/sound_player.h"

namespace {

QString FromBytes(const std::string& bytes) {
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string ToBytes(const QString& text) { return text.toUtf8().toStdString(); }

// A stored path that shows unchanged keeps its bytes; an edited one is taken as typed.
std::string TakePath(const QLineEdit* edit, const std::string& stored) {
    return FromBytes(stored) == edit->text() ? stored : ToBytes(edit->text());
}

}  // namespace

TSettingsForm::TSettingsForm(TProgramSettings& settings, TGetBufferSizes getClientSizes, TSetBufferSizes setClientSizes,
                             QWidget* parent)
    : QDialog(parent),
      FSettings(settings),
      FGetClientSizes(std::move(getClientSizes)),
      FSetClientSizes(std::move(setClientSizes)),
      FPlayer(new TSoundPlayer(this)) {
    setObjectName("SettingsForm");
    setWindowTitle("Program settings");
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setWindowModality(Qt::ApplicationModal);

    auto* soundGroup = new QGroupBox(" Play sound when ", this);
    auto* soundLayout = new QGridLayout(soundGroup);
    soundLayout->setColumnStretch(1, 1);
    const char* captions[] = {"Connected", "DisConnected", "Begin transfer", "Transfer successful",
                              "Transfer interupted"};
    QCheckBox** checks[] = {&CheckBox1, &CheckBox2, &CheckBox3, &CheckBox4, &CheckBox5};
    QLineEdit** edits[] = {&Edit3, &Edit4, &Edit5, &Edit6, &Edit7};
    QPushButton** choosers[] = {&Button4, &Button5, &Button6, &Button7, &Button8};
    for (int i = 0; i < 5; ++i) {
        *checks[i] = new QCheckBox(captions[i], soundGroup);
        *edits[i] = new QLineEdit(soundGroup);
        (*edits[i])->setMinimumWidth(300);
        *choosers[i] = new QPushButton("...", soundGroup);
        (*choosers[i])->setFixedWidth(32);
        (*choosers[i])->setAutoDefault(false);
        soundLayout->addWidget(*checks[i], i, 0);
        soundLayout->addWidget(*edits[i], i, 1);
        soundLayout->addWidget(*choosers[i], i, 2);
        QLineEdit* edit = *edits[i];
        connect(*choosers[i], &QPushButton::clicked, this, [this, edit] { ChooseSound(edit); });
    }

    auto* viewGroup = new QGroupBox(" View options ", this);
    CheckBox6 = new QCheckBox("Minimize to system tray", viewGroup);
    auto* viewLayout = new QVBoxLayout(viewGroup);
    viewLayout->addWidget(CheckBox6);
    viewLayout->addStretch(1);

    auto* transferGroup = new QGroupBox(" Transfer options ", this);
    Edit1 = new QLineEdit(transferGroup);
    Edit2 = new QLineEdit(transferGroup);
    Edit1->setMaximumWidth(90);
    Edit2->setMaximumWidth(90);
    auto* numberKeys = new TNumberKeyFilter(this);
    Edit1->installEventFilter(numberKeys);
    Edit2->installEventFilter(numberKeys);
    auto* transferLayout = new QGridLayout(transferGroup);
    auto* recvLabel = new QLabel("Recive buffer size :", transferGroup);
    auto* sendLabel = new QLabel("Send buffer size :", transferGroup);
    recvLabel->setBuddy(Edit1);
    sendLabel->setBuddy(Edit2);
    transferLayout->addWidget(recvLabel, 0, 0);
    transferLayout->addWidget(Edit1, 0, 1);
    transferLayout->addWidget(sendLabel, 1, 0);
    transferLayout->addWidget(Edit2, 1, 1);
    transferLayout->setColumnStretch(2, 1);

    auto* connectionGroup = new QGroupBox(" Connection options ", this);
    ComboBox1 = new QComboBox(connectionGroup);
    ComboBox1->addItems({"Passive", "Active"});
    Edit8 = new QLineEdit(connectionGroup);
    Edit8->setMaximumWidth(90);
    Edit8->installEventFilter(numberKeys);
    auto* connectionLayout = new QGridLayout(connectionGroup);
    auto* modeLabel = new QLabel("Default data connection :", connectionGroup);
    auto* keepAliveLabel = new QLabel("Keep alive interval (s) :", connectionGroup);
    modeLabel->setBuddy(ComboBox1);
    keepAliveLabel->setBuddy(Edit8);
    connectionLayout->addWidget(modeLabel, 0, 0);
    connectionLayout->addWidget(ComboBox1, 0, 1);
    connectionLayout->addWidget(keepAliveLabel, 1, 0);
    connectionLayout->addWidget(Edit8, 1, 1);
    connectionLayout->setColumnStretch(2, 1);

    Button1 = new QPushButton("OK", this);
    Button1->setDefault(true);
    Button2 = new QPushButton("Cancel", this);
    Button3 = new QPushButton("Applay", this);
    Button2->setAutoDefault(false);
    Button3->setAutoDefault(false);

    auto* lower = new QHBoxLayout;
    lower->addWidget(viewGroup);
    lower->addWidget(transferGroup, 1);
    lower->addWidget(connectionGroup, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    buttons->addWidget(Button3);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(soundGroup);
    layout->addLayout(lower);
    layout->addSpacing(4);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(Button1, &QPushButton::clicked, this, [this] {
        if (Apply()) accept();
    });
    connect(Button2, &QPushButton::clicked, this, &TSettingsForm::reject);
    connect(Button3, &QPushButton::clicked, this, [this] { Apply(); });
    connect(FPlayer, &TSoundPlayer::PreviewFailed, this, &TSettingsForm::PreviewFailed);
    connect(this, &QDialog::finished, this, &TSettingsForm::Closed);
}

void TSettingsForm::Open() {
    show();
    raise();
    activateWindow();
    FormActivate();
}

bool TSettingsForm::event(QEvent* event) {
    if (FMessages.NewActivation(event)) FormActivate();
    return QDialog::event(event);
}

void TSettingsForm::Message(const QString& text) { FMessages.Show(this, text); }

void TSettingsForm::FormActivate() {
    int32_t recv = FSettings.Status.RecvBufferSize;
    int32_t send = FSettings.Status.SendBufferSize;
    if (FGetClientSizes) std::tie(recv, send) = FGetClientSizes();
    const TSettingsDialogValues v = FSettings.DialogValues(recv, send);
    Edit1->setText(FromBytes(v.RecvBufferText));
    Edit2->setText(FromBytes(v.SendBufferText));
    Edit3->setText(FromBytes(v.SoundConnected));
    Edit4->setText(FromBytes(v.SoundDisconnected));
    Edit5->setText(FromBytes(v.SoundBeginTransfer));
    Edit6->setText(FromBytes(v.SoundTransferDone));
    Edit7->setText(FromBytes(v.SoundTransferStopped));
    CheckBox1->setChecked(v.PlayConnected);
    CheckBox2->setChecked(v.PlayDisconnected);
    CheckBox3->setChecked(v.PlayBeginTransfer);
    CheckBox4->setChecked(v.PlayTransferDone);
    CheckBox5->setChecked(v.PlayTransferStopped);
    CheckBox6->setChecked(v.MinimizeToTray);
    ComboBox1->setCurrentIndex(FDefaults->DataMode == TDataConnectionMode::Active ? 1 : 0);
    Edit8->setText(QString::number(FDefaults->KeepAliveSeconds));
}

bool TSettingsForm::Apply() {
    const TFTPStatus& s = FSettings.Status;
    TSettingsDialogValues v;
    v.RecvBufferText = ToBytes(Edit1->text());
    v.SendBufferText = ToBytes(Edit2->text());
    v.SoundConnected = TakePath(Edit3, s.SoundConnected);
    v.SoundDisconnected = TakePath(Edit4, s.SoundDisconnected);
    v.SoundBeginTransfer = TakePath(Edit5, s.SoundBeginTransfer);
    v.SoundTransferDone = TakePath(Edit6, s.SoundTransferDone);
    v.SoundTransferStopped = TakePath(Edit7, s.SoundTransferStopped);
    v.PlayConnected = CheckBox1->isChecked();
    v.PlayDisconnected = CheckBox2->isChecked();
    v.PlayBeginTransfer = CheckBox3->isChecked();
    v.PlayTransferDone = CheckBox4->isChecked();
    v.PlayTransferStopped = CheckBox5->isChecked();
    v.MinimizeToTray = CheckBox6->isChecked();
    const TSettingsApplyResult result = FSettings.Apply(v);
    if (!result.Ok) {
        Message(FromBytes(result.Message));
        return false;
    }
    if (FSetClientSizes) FSetClientSizes(FSettings.Status.RecvBufferSize, FSettings.Status.SendBufferSize);
    if (!result.Notice.empty()) {
        // The fields show what is in force, and the user is told why they changed.
        Edit1->setText(QString::number(FSettings.Status.RecvBufferSize));
        Edit2->setText(QString::number(FSettings.Status.SendBufferSize));
        Message(FromBytes(result.Notice));
    }

    // The connection settings come last: a refused interval leaves it and the mode as they were.
    int32_t seconds = 0;
    const std::string secondsText = ToBytes(Edit8->text());
    if (!TryStrToInt(secondsText, seconds)) {
        Message(FromBytes(InvalidIntegerMessage(secondsText)));
        return false;
    }
    if (!KeepAliveInRange(seconds)) {
        // Refused, not replaced: the interval in force stays until a value in range is applied.
        Message(FromBytes(KeepAliveRangeMessage()) +
                QStringLiteral(" It stays at %1 seconds.").arg(FDefaults->KeepAliveSeconds));
        return false;
    }
    FDefaults->KeepAliveSeconds = seconds;
    FDefaults->DataMode = ComboBox1->currentIndex() == 1 ? TDataConnectionMode::Active : TDataConnectionMode::Passive;
    return true;
}

void TSettingsForm::reject() { QDialog::reject(); }

void TSettingsForm::PlayEventSound(TSoundEvent event) { FSettings.PlayEventSound(event, FPlayer); }

void TSettingsForm::ChooseSound(QLineEdit* edit) {
    QString path;
    if (ChooseSoundFile)
        path = ChooseSoundFile(this);
    else
        path = QFileDialog::getOpenFileName(this, QString(), edit->text(), "Windows media file (*.wav)");
    if (path.isEmpty()) return;
    edit->setText(path);
    try {
        FPlayer->Preview(ToBytes(path));
    } catch (const std::exception& e) {
        Message(QString::fromUtf8(e.what()));
    }
}

void TSettingsForm::PreviewFailed(const QString&, const QString& message) { Message(message); }
