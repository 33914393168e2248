#pragma once

#include <QDate>
#include <QString>

namespace tarn::telemetry {

// `path` with "-YYYY-MM-DD" before its suffix (or at its end when it has none): one file per
// UTC day, so a file never grows past a day and old days can go by name alone.
QString dailyPath(const QString& path, QDate date);

// Removes the files beside `path` that dailyPath() named for a day more than `keepDays` before
// `today`; files with any other name stay, and a `keepDays` of 0 keeps them all. Returns how
// many went.
int removeOldDailyFiles(const QString& path, int keepDays, QDate today);

} // namespace tarn::telemetry
