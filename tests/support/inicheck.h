#pragma once

// Whether a settings file the panel wrote is whole: it parses, every key of the settings
// record is there, and each holds a value the panel reads back as written.

#include "settings/inifile.h"

#include <QByteArray>
#include <QList>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

namespace tarn::testing {

struct IniExpectations {
    // The tiny widget's place is empty until the panel has computed it once.
    bool tinyPlaceKnown = true;
};

// What is wrong with the file, one line per fault; empty when it is intact.
inline QStringList settingsFileProblems(const QByteArray& text, IniExpectations expect = {}) {
    using settings::IniFile;
    QStringList problems;
    const IniFile ini = IniFile::parse(text);
    if (ini.serialize() != text)
        problems << QStringLiteral("the file does not read back as itself");

    static const QRegularExpression whole(QStringLiteral("^-?(0|[1-9][0-9]*)$"));
    static const QRegularExpression plain(QStringLiteral("^-?[0-9]+(\\.[0-9]+)?$"));
    // The value the panel reads: the key's first line in the section's first header.
    const auto valueOf = [&](const char* section, const char* key, bool* found) {
        return ini.value(QLatin1String(section), QLatin1String(key), found);
    };
    const auto number = [&](const char* section, const char* key, qint64 min, qint64 max) {
        bool found = false;
        const QString value = valueOf(section, key, &found);
        const auto m = whole.match(value);
        bool ok = false;
        const qint64 n = value.toLongLong(&ok);
        if (!found)
            problems << QStringLiteral("%1/%2 missing").arg(section, key);
        else if (!m.hasMatch() || !ok || n < min || n > max)
            problems << QStringLiteral("%1/%2 holds \"%3\"").arg(section, key, value);
    };
    const auto choice = [&](const char* section, const char* key, const QStringList& allowed) {
        bool found = false;
        const QString value = valueOf(section, key, &found);
        if (!found)
            problems << QStringLiteral("%1/%2 missing").arg(section, key);
        else if (!allowed.contains(value))
            problems << QStringLiteral("%1/%2 holds \"%3\"").arg(section, key, value);
    };
    const auto place = [&](const char* section, const char* key) {
        bool found = false;
        const QString value = valueOf(section, key, &found);
        if (!found)
            problems << QStringLiteral("%1/%2 missing").arg(section, key);
        else if (!(value.isEmpty() && !expect.tinyPlaceKnown) && !plain.match(value).hasMatch())
            problems << QStringLiteral("%1/%2 holds \"%3\"").arg(section, key, value);
    };

    number("COM", "PortNumber", 0, 255);
    number("COM", "BaudRate", 1, 10'000'000);
    number("Polling", "Rate", 1, 60'000);
    number("TimeOut", "Time", 0, 600'000);
    choice("Form", "AlwaysOnTop", {QStringLiteral("Yes"), QStringLiteral("No")});
    number("Form", "Top_Location", -(1LL << 31), (1LL << 31) - 1);
    number("Form", "Left_Location", -(1LL << 31), (1LL << 31) - 1);
    choice("Form", "Size", {QStringLiteral("Normal"), QStringLiteral("Small")});
    choice("ONexit", "Force_STBY", {QStringLiteral("Yes"), QStringLiteral("No")});
    place("tiny_Form", "Top_Location");
    place("tiny_Form", "Left_Location");
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
    qsizetype j = 0;
    for (const QByteArray& line : before) {
        qsizetype k = j;
        while (k < after.size() && after[k] != line)
            ++k;
        if (k == after.size()) {
            lost << line;
            continue;
        }
        j = k + 1;
    }
    return lost;
}

} // namespace tarn::testing
