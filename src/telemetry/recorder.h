#pragma once

#include "protocol/decoder.h"
#include "telemetry/alarms.h"
#include "telemetry/csvlog.h"
#include "telemetry/history.h"

#include <functional>

namespace tarn::telemetry {

// Where every decoded status frame goes beyond the display: the history, the alarms and the
// log. Times come from the caller, never from a clock read here: the history runs on the
// monotonic time, the log's rows and the alarms' texts carry the wall-clock time.
class Recorder {
public:
    explicit Recorder(std::size_t rawCapacity = History::DefaultRawCapacity)
        : history_(rawCapacity) {}

    void status(const protocol::RxBytes& rx, Stamp now);
    void silent(qint64 nowMs);
    // About once a second, frames or not: the log's flush and its failure report.
    void tick(qint64 nowMs) { log_.tick(nowMs); }

    History& history() { return history_; }
    const History& history() const { return history_; }
    AlarmMonitor& alarms() { return alarms_; }
    CsvLog& log() { return log_; }
    qint64 framesRecorded() const { return frames_; }

    // An alarm was raised or cleared, or standby was sent.
    std::function<void()> onAlarmsChanged;

private:
    History history_;
    AlarmMonitor alarms_;
    CsvLog log_;
    qint64 frames_ = 0;
};

} // namespace tarn::telemetry
