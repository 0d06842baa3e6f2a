#pragma once
// Plays the program's sounds: event sounds (errors ignored by the caller) and the settings
// dialog's previews (errors reported).

#include <QObject>
#include <QString>
#include <string>

#include "settings/program_settings.h"

class QSoundEffect;

class TSoundPlayer : public QObject, public ISoundPlayer {
    Q_OBJECT
public:
    explicit TSoundPlayer(QObject* parent = nullptr);

    // Opens the file and starts playing it without waiting. Throws std::runtime_error when the
    // file cannot be opened or is known not to be playable. A missing audio device is no error:
    // nothing is heard.
    void PlayFile(const std::string& path) override;
    // The same for a preview: a file that turns out not to be playable once decoded is reported
    // through PreviewFailed.
    void Preview(const std::string& path);

    QString LastPath() const { return FPath; }

signals:
    void PreviewFailed(const QString& path, const QString& message);

private:
    void Start(const std::string& path, bool reportLater);
    void StatusChanged();

    QSoundEffect* FEffect = nullptr;
    QString FPath;
    bool FReportErrors = false;
};
