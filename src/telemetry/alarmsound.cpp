#include "telemetry/alarmsound.h"

#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <numbers>

namespace tarn::telemetry {

namespace {
void put16(QByteArray& out, quint16 v) {
    char b[2];
    qToLittleEndian(v, b);
    out.append(b, 2);
}
void put32(QByteArray& out, quint32 v) {
    char b[4];
    qToLittleEndian(v, b);
    out.append(b, 4);
}
} // namespace

QByteArray alarmSoundWav(int sampleRate) {
    // High then low, three times: a pattern heard through other noise, unlike a steady tone.
    constexpr double BeepS = 0.12, PauseS = 0.04, RampS = 0.01, Amplitude = 0.6 * 32767;
    constexpr double Tones[] = {988, 740, 988, 740, 988, 740};
    QByteArray pcm;
    const int beep = int(BeepS * sampleRate), pause = int(PauseS * sampleRate);
    const int ramp = std::max(1, int(RampS * sampleRate));
    for (const double hz : Tones) {
        for (int i = 0; i < beep; ++i) {
            const double edge = std::min({1.0, double(i) / ramp, double(beep - 1 - i) / ramp});
            const double s = std::sin(2 * std::numbers::pi * hz * i / sampleRate);
            put16(pcm, quint16(qint16(std::lround(Amplitude * edge * s))));
        }
        pcm.append(QByteArray(pause * 2, '\0'));
    }
    QByteArray wav("RIFF");
    put32(wav, quint32(36 + pcm.size()));
    wav += "WAVEfmt ";
    put32(wav, 16);
    put16(wav, 1); // PCM
    put16(wav, 1); // mono
    put32(wav, quint32(sampleRate));
    put32(wav, quint32(sampleRate * 2));
    put16(wav, 2);
    put16(wav, 16);
    wav += "data";
    put32(wav, quint32(pcm.size()));
    return wav + pcm;
}

} // namespace tarn::telemetry
