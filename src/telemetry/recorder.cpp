#include "telemetry/recorder.h"

namespace tarn::telemetry {

Recorder::Recorder(std::size_t rawCapacity) : history_(rawCapacity) {
    alarms_.onEvent = [this](const AlarmEvent& e) { journal_.append(e); };
}

void Recorder::status(const protocol::RxBytes& rx, Stamp now) {
    const Sample s = sampleFrom(rx, now.monoMs);
    ++frames_;
    history_.add(s, now.wallMs);
    Sample labelled = s;
    labelled.timeMs = now.wallMs;
    log_.append(labelled);
    if (alarms_.update(labelled, now.monoMs) && onAlarmsChanged)
        onAlarmsChanged();
    log_.tick(now.monoMs);
}

void Recorder::silent(Stamp now) {
    history_.gap();
    if (alarms_.lineSilent(now) && onAlarmsChanged)
        onAlarmsChanged();
    log_.tick(now.monoMs);
}

void Recorder::closed(Stamp now) {
    if (alarms_.lineClosed(now) && onAlarmsChanged)
        onAlarmsChanged();
}

void Recorder::tick(Stamp now) {
    log_.tick(now.monoMs);
    if (alarms_.tick(now) && onAlarmsChanged)
        onAlarmsChanged();
}

} // namespace tarn::telemetry
