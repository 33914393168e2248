#include "telemetry/recorder.h"

namespace tarn::telemetry {

void Recorder::status(const protocol::RxBytes& rx, Stamp now) {
    const Sample s = sampleFrom(rx, now.monoMs);
    ++frames_;
    history_.add(s, now.wallMs);
    Sample labelled = s;
    labelled.timeMs = now.wallMs;
    log_.append(labelled);
    if (alarms_.update(labelled) && onAlarmsChanged)
        onAlarmsChanged();
    log_.tick(now.monoMs);
}

void Recorder::silent(qint64 nowMs) {
    history_.gap();
    alarms_.lineSilent();
    log_.tick(nowMs);
}

} // namespace tarn::telemetry
