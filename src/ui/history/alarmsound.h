#pragma once

#include <QSoundEffect>
#include <QTemporaryDir>

namespace tarn::ui {

// The alarm sound through the desktop's audio (PulseAudio or PipeWire), from a WAV file written
// at start into a private temporary folder. Where that cannot play, the X bell stands in, which
// many desktops mute.
class AlarmSound {
public:
    AlarmSound();
    AlarmSound(const AlarmSound&) = delete;
    AlarmSound& operator=(const AlarmSound&) = delete;

    void play();
    void stop();
    // False once the desktop's audio has failed: the bell is all that is left.
    bool usesDesktopAudio() const;

private:
    QTemporaryDir dir_;
    QSoundEffect effect_;
    bool written_ = false;
};

} // namespace tarn::ui
