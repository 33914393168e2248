#include "telemetry/dailyfile.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace tarn::telemetry {

namespace {
// The name before the date and the suffix after it, dot included.
std::pair<QString, QString> splitName(const QString& path) {
    const QString name = QFileInfo(path).fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0)
        return {name, QString()};
    return {name.left(dot), name.mid(dot)};
}
} // namespace

QString dailyPath(const QString& path, QDate date) {
    const auto [stem, suffix] = splitName(path);
    return QFileInfo(path).dir().filePath(stem + date.toString(u"-yyyy-MM-dd") + suffix);
}

int removeOldDailyFiles(const QString& path, int keepDays, QDate today) {
    const auto [stem, suffix] = splitName(path);
    const QRegularExpression pattern(
        QStringLiteral("^%1-(\\d{4}-\\d{2}-\\d{2})%2$")
            .arg(QRegularExpression::escape(stem), QRegularExpression::escape(suffix)));
    if (keepDays <= 0)
        return 0;
    QDir dir = QFileInfo(path).dir();
    int removed = 0;
    for (const QString& name : dir.entryList(QDir::Files)) {
        const QRegularExpressionMatch m = pattern.match(name);
        if (!m.hasMatch())
            continue;
        const QDate day = QDate::fromString(m.captured(1), u"yyyy-MM-dd");
        if (day.isValid() && day.daysTo(today) > keepDays && dir.remove(name))
            ++removed;
    }
    return removed;
}

} // namespace tarn::telemetry
