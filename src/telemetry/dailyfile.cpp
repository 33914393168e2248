#include "telemetry/dailyfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace tarn::telemetry {

namespace {
// Where the suffix of the file name starts; a leading dot starts a hidden name, not a suffix.
qsizetype suffixStart(const QString& name) {
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot > 0 ? dot : name.size();
}
} // namespace

QString insertBeforeSuffix(const QString& path, const QString& text) {
    const QString name = QFileInfo(path).fileName();
    const qsizetype folder = path.size() - name.size();
    return path.left(folder) + name.left(suffixStart(name)) + text + name.mid(suffixStart(name));
}

QString dailyLogPath(const QString& path, QDate day) {
    return insertBeforeSuffix(path, QString(u'-' + day.toString(u"yyyy-MM-dd")));
}

QDate dailyLogDay(const QString& path, const QString& fileName) {
    const QString name = QFileInfo(path).fileName();
    const QString base = name.left(suffixStart(name)) + u'-';
    const QString suffix = name.mid(suffixStart(name));
    if (fileName.size() < base.size() + suffix.size() || !fileName.startsWith(base) ||
        !fileName.endsWith(suffix))
        return {};
    static const QRegularExpression stamp(
        QRegularExpression::anchoredPattern(uR"((\d{4}-\d{2}-\d{2})(?:-([2-9]|[1-9]\d))?)"));
    const auto m =
        stamp.match(fileName.mid(base.size(), fileName.size() - base.size() - suffix.size()));
    return m.hasMatch() ? QDate::fromString(m.captured(1), u"yyyy-MM-dd") : QDate();
}

bool endsMidLine(QFile& file) {
    const qint64 size = file.size();
    return size > 0 && file.seek(size - 1) && file.read(1) != "\n";
}

QStringList removeOldDailyFiles(const QString& path, int keepDays, QDate today) {
    QStringList kept;
    if (keepDays <= 0)
        return kept;
    const QDate oldest = today.addDays(-keepDays);
    const QDir folder = QFileInfo(path).absoluteDir();
    for (const QFileInfo& f : folder.entryInfoList(QDir::Files | QDir::Hidden)) {
        const QDate fileDay = dailyLogDay(path, f.fileName());
        if (fileDay.isValid() && fileDay < oldest && !QFile::remove(f.filePath()))
            kept << f.filePath();
    }
    return kept;
}

} // namespace tarn::telemetry
