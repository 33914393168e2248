#pragma once

// Whether a settings file the panel wrote is whole: it parses, every key of the settings
// record is there, and each holds a value the panel reads back as written.

#include "settings/inifile.h"

#include <QRegularExpression>

namespace tarn::testing {

// What is wrong with the file, one line per fault; empty when it is intact.
inline QStringList settingsFileProblems(const QByteArray& text) {
    const settings::IniFile ini = settings::IniFile::parse(text);
    QStringList problems;
    if (ini.serialize() != text)
        problems << QStringLiteral("the file does not read back as itself");
    // Numbers are whole and in range; other values match their pattern.
    constexpr qint64 intMax = (1LL << 31) - 1;
    const struct {
        const char *section, *key;
        qint64 min, max;
        const char* pattern = "-?(0|[1-9][0-9]*)";
    } keys[] = {
        {"COM", "PortNumber", 0, 255},
        {"COM", "BaudRate", 1, 10'000'000},
        {"Polling", "Rate", 1, 60'000},
        {"TimeOut", "Time", 0, 600'000},
        {"Form", "Top_Location", -intMax - 1, intMax},
        {"Form", "Left_Location", -intMax - 1, intMax},
        {"Form", "AlwaysOnTop", 0, 0, "Yes|No"},
        {"Form", "Size", 0, 0, "Normal|Small"},
        {"ONexit", "Force_STBY", 0, 0, "Yes|No"},
        {"tiny_Form", "Top_Location", 0, 0, "-?[0-9]+(\\.[0-9]+)?"},
        {"tiny_Form", "Left_Location", 0, 0, "-?[0-9]+(\\.[0-9]+)?"},
    };
    for (const auto& k : keys) {
        // The value the panel reads: the key's first line in the section's first header.
        bool found = false, ok = false;
        const QString value = ini.value(QLatin1String(k.section), QLatin1String(k.key), &found);
        const qint64 n = value.toLongLong(&ok);
        const QRegularExpression valid(QStringLiteral("^(%1)$").arg(k.pattern));
        if (!found)
            problems << QStringLiteral("%1/%2 missing").arg(k.section, k.key);
        else if (!valid.match(value).hasMatch() ||
                 (k.min < k.max && (!ok || n < k.min || n > k.max)))
            problems << QStringLiteral("%1/%2 holds \"%3\"").arg(k.section, k.key, value);
    }
    return problems;
}

// The file's lines, without their line ends.
inline QList<QByteArray> iniLines(const QByteArray& text) {
    const settings::IniFile ini = settings::IniFile::parse(text);
    QList<QByteArray> lines;
    for (qsizetype i = 0; i < ini.lineCount(); ++i)
        lines << ini.lineText(i);
    return lines;
}

// Lines of `before` missing from `after`, where `after` must hold them in the same order
// (with other lines in between).
inline QList<QByteArray> linesLost(const QList<QByteArray>& before,
                                   const QList<QByteArray>& after) {
    QList<QByteArray> lost;
    auto from = after.begin();
    for (const QByteArray& line : before) {
        const auto at = std::find(from, after.end(), line);
        if (at == after.end())
            lost << line;
        else
            from = at + 1;
    }
    return lost;
}

} // namespace tarn::testing
