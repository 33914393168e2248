#include "ui/history/alarmsound.h"

#include "telemetry/alarmsound.h"

#include <QApplication>
#include <QAudioDevice>
#include <QFile>
#include <QMediaDevices>
#include <QUrl>

namespace tarn::ui {

AlarmSound::AlarmSound() {
    if (!dir_.isValid())
        return;
    const QString path = dir_.filePath(QStringLiteral("alarm.wav"));
    QFile file(path);
    written_ = file.open(QIODevice::WriteOnly) && file.write(telemetry::alarmSoundWav()) > 0 &&
               file.flush();
    if (written_)
        effect_.setSource(QUrl::fromLocalFile(path));
}

bool AlarmSound::usesDesktopAudio() const {
    // With no output device the effect plays into nothing and reports no error.
    return written_ && effect_.status() != QSoundEffect::Error &&
           !QMediaDevices::audioOutputs().isEmpty();
}

void AlarmSound::play() {
    if (!usesDesktopAudio()) {
        QApplication::beep();
        return;
    }
    // A play while the file still loads starts once it is loaded.
    effect_.stop();
    effect_.play();
}

void AlarmSound::stop() {
    effect_.stop();
}

} // namespace tarn::ui
