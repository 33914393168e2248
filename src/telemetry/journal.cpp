#include "telemetry/journal.h"

#include "telemetry/dailyfile.h"

#include <QDateTime>
#include <QFile>
#include <QLocale>
#include <cmath>

namespace tarn::telemetry {

namespace {
QString csvField(const QString& text) {
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    quoted.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString number(std::optional<double> v) {
    // The decimal point whatever the operator's locale: the file is read by programs.
    return v ? QLocale::c().toString(*v, 'f', *v == std::floor(*v) ? 0 : 1) : QString();
}
} // namespace

QString journalLine(const AlarmEvent& e) {
    return QStringList{
        QDateTime::fromMSecsSinceEpoch(e.wallMs, Qt::UTC).toString(Qt::ISODateWithMs),
        csvField(e.event),
        csvField(e.kind ? alarmName(*e.kind) : QString()),
        number(e.value),
        number(e.limit),
        csvField(e.detail)}
        .join(QLatin1Char(','));
}

void AlarmJournal::setPath(const QString& basePath, int keepDays) {
    path_ = basePath;
    keepDays_ = keepDays;
    prunedFor_.clear();
}

bool AlarmJournal::append(const AlarmEvent& event) {
    const QString line = journalLine(event);
    lines_.push_back(line);
    while (lines_.size() > KeptLines)
        lines_.pop_front();
    if (onAppended)
        onAppended();
    if (path_.isEmpty())
        return true;
    const QDate day = QDateTime::fromMSecsSinceEpoch(event.wallMs, Qt::UTC).date();
    const QString file = dailyLogPath(path_, day);
    if (prunedFor_ != file) {
        prunedFor_ = file;
        removeOldDailyFiles(path_, keepDays_, day);
    }
    return write(file, line);
}

bool AlarmJournal::write(const QString& fileName, const QString& line) {
    // A folder that went away is not made again: the line stays in memory and says why.
    QFile file(fileName);
    if (!file.open(QIODevice::ReadWrite)) {
        error_ = file.errorString();
        return false;
    }
    QByteArray out;
    if (file.size() == 0)
        out = QByteArray(Header) + '\n';
    else if (endsMidLine(file)) // cut short by a crash: the new line starts on its own
        out = "\n";
    out += line.toUtf8() + '\n';
    file.seek(file.size());
    if (file.write(out) != out.size()) {
        error_ = file.errorString();
        return false;
    }
    error_.clear();
    return true;
}

} // namespace tarn::telemetry
