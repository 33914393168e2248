#pragma once

#include "protocol/decoder.h"
#include "telemetry/alarms.h"
#include "telemetry/csvlog.h"
#include "telemetry/history.h"
#include "telemetry/journal.h"

#include <functional>

namespace tarn::telemetry {

// Where every decoded status frame goes beyond the display: the history, the alarms and the
// log. Times come from the caller, never from a clock read here: the history runs on the
// monotonic time, the log's rows and the alarms' texts carry the wall-clock time.
class Recorder {
public:
    explicit Recorder(std::size_t rawCapacity = History::DefaultRawCapacity);

    // `now.wallMs` labels the log's rows, the alarms' texts and the journal; holds, order and
    // the history follow `now.monoMs`, which a clock step leaves alone.
    void status(const protocol::RxBytes& rx, Stamp now);
    void status(const protocol::RxBytes& rx, qint64 nowMs) { status(rx, Stamp{nowMs, nowMs}); }
    void silent(Stamp now);
    void silent(qint64 nowMs) { silent(Stamp{nowMs, nowMs}); }
    // The operator closed the port or handed the line over: silence from now on is expected.
    void closed(Stamp now);
    // About once a second, frames or not: the log's flush and its failure report, the alarms'
    // standby retries and shelving.
    void tick(Stamp now);
    void tick(qint64 nowMs) { tick(Stamp{nowMs, nowMs}); }

    History& history() { return history_; }
    const History& history() const { return history_; }
    AlarmMonitor& alarms() { return alarms_; }
    CsvLog& log() { return log_; }
    AlarmJournal& journal() { return journal_; }
    qint64 framesRecorded() const { return frames_; }

    // Anything the alarm line shows changed.
    std::function<void()> onAlarmsChanged;

private:
    History history_;
    AlarmMonitor alarms_;
    CsvLog log_;
    AlarmJournal journal_;
    qint64 frames_ = 0;
};

} // namespace tarn::telemetry
