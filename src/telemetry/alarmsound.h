#pragma once

#include <QByteArray>

namespace tarn::telemetry {

// The alarm's sound as a complete WAV file: three short two-tone beeps, 16-bit mono PCM, with
// soft edges so no speaker clicks. Made here, so the package ships no sound file.
QByteArray alarmSoundWav(int sampleRate = 22'050);

} // namespace tarn::telemetry
