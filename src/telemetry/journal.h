#pragma once

#include "telemetry/alarms.h"
#include "telemetry/dailyfile.h"

#include <QString>
#include <deque>
#include <functional>

namespace tarn::telemetry {

// One CSV line of the alarm journal, without its line break.
QString journalLine(const AlarmEvent& event);

// The alarm journal: one CSV line per event in a file per UTC day beside its base path, and
// the newest lines in memory for the Alarms window. Events are rare, so each line is written
// and closed at once: nothing is lost to a crash.
class AlarmJournal {
public:
    static constexpr const char* Header = "time_utc,event,alarm,value,limit,detail";
    static constexpr std::size_t KeptLines = 1'000;

    // Where the daily files go; "" keeps the lines in memory only.
    void setPath(const QString& basePath, int keepDays = DefaultKeepDays);
    QString path() const { return path_; }
    // False when the line could not be written; it is kept in memory all the same.
    bool append(const AlarmEvent& event);

    // The newest lines, oldest first.
    const std::deque<QString>& lines() const { return lines_; }
    QString lastError() const { return error_; }

    // A line was added.
    std::function<void()> onAppended;

private:
    bool write(const QString& file, const QString& line);

    QString path_;
    int keepDays_ = DefaultKeepDays;
    QString prunedFor_;
    std::deque<QString> lines_;
    QString error_;
};

} // namespace tarn::telemetry
