#pragma once

#include "protocol/decoder.h"
#include "telemetry/alarms.h"
#include "telemetry/csvlog.h"
#include "telemetry/history.h"
#include "telemetry/journal.h"

#include <functional>

namespace tarn::telemetry {

// Where every decoded status frame goes beyond the display: the history, the alarms and the
// log. Times come from the caller, never from a clock read here.
class Recorder {
public:
    explicit Recorder(std::size_t rawCapacity = History::DefaultRawCapacity);

    // `nowMs` on the wall clock; holds and order follow `monoMs`, which a clock step leaves alone.
    void status(const protocol::RxBytes& rx, qint64 nowMs, qint64 monoMs);
    void status(const protocol::RxBytes& rx, qint64 nowMs) { status(rx, nowMs, nowMs); }
    void silent(Now now);
    void silent(qint64 nowMs) { silent(Now{nowMs, nowMs}); }
    // The operator closed the port or handed the line over: silence from now on is expected.
    void closed(Now now);
    // About once a second, frames or not: the log's flush and its failure report, the alarms'
    // standby retries and shelving.
    void tick(Now now);
    void tick(qint64 nowMs) { tick(Now{nowMs, nowMs}); }

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
