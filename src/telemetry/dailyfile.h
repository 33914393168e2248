#pragma once

#include <QDate>
#include <QFile>
#include <QString>
#include <QStringList>

namespace tarn::telemetry {

// `text` put before the suffix of the file name in `path` ("amp.csv", "-x" gives "amp-x.csv";
// a name without a suffix, or a hidden one, gets it at its end).
QString insertBeforeSuffix(const QString& path, const QString& text);

// The file for one UTC day: `-YYYY-MM-DD` before the suffix of the file name ("amp.csv" gives
// "amp-2026-12-08.csv", "amp" gives "amp-2026-12-08"). One file a day never grows past a day,
// and old days can go by name alone.
QString dailyLogPath(const QString& path, QDate day);
// The day of a file name made for `path`: the daily name, or the daily name with "-2" to "-99"
// before the suffix (a second file of that day). Any other name gives an invalid date, so the
// clean-up never touches a file it did not make.
QDate dailyLogDay(const QString& path, const QString& fileName);

// How many days of files stay when the settings say nothing else.
inline constexpr int DefaultKeepDays = 30;

// Removes the files beside `path` named for a day more than `keepDays` before `today`; a
// `keepDays` of 0 keeps them all. Returns the files that could not be removed.
QStringList removeOldDailyFiles(const QString& path, int keepDays, QDate today);

// True when the file's last byte is no line end: a crash or a full disk cut its last line,
// which must be ended before another is appended.
bool endsMidLine(QFile& file);

} // namespace tarn::telemetry
