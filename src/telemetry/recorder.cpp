#include "telemetry/recorder.h"

namespace tarn::telemetry {

Recorder::Recorder(std::size_t rawCapacity) : history_(rawCapacity) {
    alarms_.onEvent = [this](const AlarmEvent& e) { journal_.append(e); };
}

void Recorder::status(const protocol::RxBytes& rx, qint64 nowMs, qint64 monoMs) {
    const Sample s = sampleFrom(rx, nowMs);
    ++frames_;
    history_.add(s);
    log_.append(s);
    if (alarms_.update(s, monoMs) && onAlarmsChanged)
        onAlarmsChanged();
    log_.tick(nowMs);
}

void Recorder::silent(Now now) {
    history_.gap();
    if (alarms_.lineSilent(now) && onAlarmsChanged)
        onAlarmsChanged();
    log_.tick(now.wallMs);
}

void Recorder::closed(Now now) {
    if (alarms_.lineClosed(now) && onAlarmsChanged)
        onAlarmsChanged();
}

void Recorder::tick(Now now) {
    log_.tick(now.wallMs);
    if (alarms_.tick(now) && onAlarmsChanged)
        onAlarmsChanged();
}

} // namespace tarn::telemetry
