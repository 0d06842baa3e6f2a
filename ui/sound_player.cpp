#include "ui/sound_player.h"

#include <QFile>
#include <QFileInfo>
#include <QSoundEffect>
#include <QUrl>
#include <stdexcept>

namespace {

QString NotPlayableMessage(const QString& path) {
    return "Cannot play \"" + path + "\": the file is not a playable sound";
}

}  // namespace

TSoundPlayer::TSoundPlayer(QObject* parent) : QObject(parent), FEffect(new QSoundEffect(this)) {
    connect(FEffect, &QSoundEffect::statusChanged, this, &TSoundPlayer::StatusChanged);
}

void TSoundPlayer::PlayFile(const std::string& path) { Start(path, false); }

void TSoundPlayer::Preview(const std::string& path) { Start(path, true); }

void TSoundPlayer::Start(const std::string& path, bool reportLater) {
    FReportErrors = false;
    FPath = QString::fromUtf8(path.data(), static_cast<qsizetype>(path.size()));
    const QFileInfo file(FPath);
    if (!file.exists()) throw std::runtime_error("Cannot open file \"" + path + "\": file not found");
    if (!file.isFile() || !file.isReadable())
        throw std::runtime_error("Cannot open file \"" + path + "\": access denied");
    // Only wave files play; saying so at once doesn't depend on the audio back end getting round to it.
    QFile head(FPath);
    const QByteArray magic = head.open(QIODevice::ReadOnly) ? head.read(12) : QByteArray();
    if (magic.size() < 12 || !magic.startsWith("RIFF") || magic.mid(8, 4) != "WAVE")
        throw std::runtime_error(NotPlayableMessage(FPath).toStdString());
    const QUrl source = QUrl::fromLocalFile(file.absoluteFilePath());
    FEffect->stop();
    if (FEffect->source() == source) {
        // Setting the same source again loads nothing, so a known failure is reported now.
        if (FEffect->status() == QSoundEffect::Error) throw std::runtime_error(NotPlayableMessage(FPath).toStdString());
    } else {
        FEffect->setSource(source);
    }
    FReportErrors = reportLater;
    // Playing starts once the file is decoded; a missing audio device just stays silent.
    FEffect->play();
}

void TSoundPlayer::StatusChanged() {
    if (FEffect->status() == QSoundEffect::Error && FReportErrors) {
        FReportErrors = false;
        emit PreviewFailed(FPath, NotPlayableMessage(FPath));
    }
}
