#include "telemetry/recorder.h"

namespace tarn::telemetry {

void Recorder::status(const protocol::RxBytes& rx, qint64 nowMs) {
    const Sample s = sampleFrom(rx, nowMs);
    ++frames_;
    history_.add(s);
    log_.append(s);
    if (alarms_.update(s) && onAlarmsChanged)
        onAlarmsChanged();
    log_.tick(nowMs);
}

void Recorder::silent(qint64 nowMs) {
    history_.gap();
    alarms_.lineSilent();
    log_.tick(nowMs);
}

} // namespace tarn::telemetry
