#pragma once
// Settings dialog: event sounds, tray option and buffer sizes.

#include <QDialog>
#include <cstdint>
#include <functional>
#include <utility>

#include "settings/program_settings.h"
#include "sites/site_options.h"
#include "ui/dialog_messages.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class TSoundPlayer;

class TSettingsForm : public QDialog {
    Q_OBJECT
public:
    // Reads the FTP client's current receive and send buffer sizes.
    using TGetBufferSizes = std::function<std::pair<int32_t, int32_t>()>;
    // Puts applied receive and send buffer sizes onto the FTP client.
    using TSetBufferSizes = std::function<void(int32_t recv, int32_t send)>;

    TSettingsForm(TProgramSettings& settings, TGetBufferSizes getClientSizes, TSetBufferSizes setClientSizes,
                  QWidget* parent = nullptr);

    // Shows the dialog without waiting; the parent window takes no input until OK or Cancel
    // (application modality; do not disable the parent yourself).
    void Open();

    // The dialog's hidden player, which plays every sound of the program.
    TSoundPlayer& Player() { return *FPlayer; }
    // Plays an event sound when its flag is on and its path set; errors are ignored.
    void PlayEventSound(TSoundEvent event);

    // The program-wide connection settings the dialog edits (its own copy until this is called).
    void SetConnectionDefaults(TConnectionDefaults* defaults) { FDefaults = defaults ? defaults : &FOwnDefaults; }

    // Apply: true when every field was taken over.
    bool Apply();
    // Activation: the fields show the settings in force.
    void FormActivate();

    QCheckBox* CheckBox1 = nullptr;  // "Connected"
    QCheckBox* CheckBox2 = nullptr;  // "DisConnected"
    QCheckBox* CheckBox3 = nullptr;  // "Begin transfer"
    QCheckBox* CheckBox4 = nullptr;  // "Transfer successful"
    QCheckBox* CheckBox5 = nullptr;  // "Transfer interupted"
    QCheckBox* CheckBox6 = nullptr;  // "Minimize to system tray"
    QLineEdit* Edit1 = nullptr;      // receive buffer size
    QLineEdit* Edit2 = nullptr;      // send buffer size
    QLineEdit* Edit3 = nullptr;      // sound paths, in the order of the check boxes
    QLineEdit* Edit4 = nullptr;
    QLineEdit* Edit5 = nullptr;
    QLineEdit* Edit6 = nullptr;
    QLineEdit* Edit7 = nullptr;
    QComboBox* ComboBox1 = nullptr;  // default data connection: Passive, Active
    QLineEdit* Edit8 = nullptr;      // keep alive interval, seconds
    QPushButton* Button1 = nullptr;  // "OK"
    QPushButton* Button2 = nullptr;  // "Cancel"
    QPushButton* Button3 = nullptr;  // "Applay"
    QPushButton* Button4 = nullptr;  // "..." for Edit3, Button5..Button8 for Edit4..Edit7
    QPushButton* Button5 = nullptr;
    QPushButton* Button6 = nullptr;
    QPushButton* Button7 = nullptr;
    QPushButton* Button8 = nullptr;

    // Test seam: picks a sound file instead of the file chooser (empty result = nothing picked).
    std::function<QString(QWidget* parent)> ChooseSoundFile;

signals:
    // OK or Cancel closed the dialog: the main window is usable again.
    void Closed();

protected:
    bool event(QEvent* event) override;
    void reject() override;  // Cancel: nothing applied

private:
    void ChooseSound(QLineEdit* edit);
    void PreviewFailed(const QString& path, const QString& message);
    void Message(const QString& text);

    TProgramSettings& FSettings;
    TGetBufferSizes FGetClientSizes;
    TSetBufferSizes FSetClientSizes;
    TConnectionDefaults FOwnDefaults;
    TConnectionDefaults* FDefaults = &FOwnDefaults;
    TSoundPlayer* FPlayer = nullptr;
    TDialogMessages FMessages;
};
