#pragma once

// What must hold for the profile reader and writer whatever bytes the file holds: parsing and
// writing back change nothing, names match without regard to case, and after a few writes every
// value set reads back while every line they may not touch is still there, in order. The libFuzzer
// target and the corpus replay of the normal test build run the same checks.

#include "settings/inifile.h"

#include <QStringDecoder>
#include <algorithm>

namespace tarn::fuzz {

// Keeps a leading U+FEFF, as the profile reader does.
inline QString decode(const QByteArray& bytes) {
    return QStringDecoder(QStringDecoder::Utf8,
                          QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom)
        .decode(bytes);
}

template <typename Text> Text trimBlanks(Text t) {
    const auto blank = [](auto c) { return c == ' ' || c == '\t'; };
    while (!t.isEmpty() && blank(t.back()))
        t.chop(1);
    while (!t.isEmpty() && blank(t.front()))
        t.remove(0, 1);
    return t;
}

inline bool sameName(const QString& a, const QString& b) {
    return trimBlanks(a).compare(trimBlanks(b), Qt::CaseInsensitive) == 0;
}

struct Write {
    QString section, key, value;
    bool accepted = false;
};

// Null when every check holds, else what failed. The last few bytes of the input choose what
// to write; the rest is the file.
inline const char* checkIni(const QByteArray& input) {
    using tarn::settings::IniFile;
    const qsizetype tail = input.size() < 48 ? input.size() / 2 : 24;
    const QByteArray file = input.left(input.size() - tail), extra = input.right(tail);
    const IniFile original = IniFile::parse(file);
    if (original.serialize() != file)
        return "parse and serialise changed an untouched file";
    for (const char* section : {"COM", "Form", "tiny_Form", "Ports"}) {
        for (const char* key : {"PortNumber", "Top_Location", "COM1", "Size"}) {
            bool foundA = false, foundB = false;
            const QString a = original.value(QString(section).toUpper(), key, &foundA);
            if (a != original.value(section, QString(key).toLower(), &foundB) || foundA != foundB ||
                a != trimBlanks(a))
                return "lookup depends on letter case or the value is not trimmed";
        }
        for (const QString& key : original.sectionKeys(section))
            if (bool found = false; original.value(section, key, &found), !found)
                return "listed key cannot be read";
    }

    const qsizetype third = extra.size() / 3;
    QList<Write> writes = {
        {"com", "PORTNUMBER", decode(extra.left(third))},
        {"Tiny_Form", "top_location", decode(extra.mid(third, third))},
        {decode(extra.left(4)), decode(extra.mid(4, 6)), decode(extra.mid(2 * third))},
    };
    IniFile edited = original;
    for (Write& w : writes)
        w.accepted = edited.setValue(w.section, w.key, w.value);
    const IniFile reread = IniFile::parse(edited.serialize());
    if (reread.serialize() != edited.serialize())
        return "serialised text does not round-trip";
    if (reread.hasByteOrderMark() != original.hasByteOrderMark())
        return "byte-order mark changed";
    for (auto w = writes.begin(); w != writes.end(); ++w) {
        // A later write to the same key wins.
        if (std::any_of(w + 1, writes.end(), [&](const Write& later) {
                return later.accepted && sameName(later.section, w->section) &&
                       sameName(later.key, w->key);
            }))
            continue;
        bool found = false;
        const QString value = reread.value(w->section, w->key, &found);
        if (w->accepted ? !(found && value == trimBlanks(w->value))
                        : value != original.value(w->section, w->key))
            return "a value set does not read back, or a refused write changed it";
    }

    // Every line no write may touch is still there, in order, and no other line came in.
    const auto untouched = [&writes](const IniFile& ini) {
        QList<QByteArray> lines;
        for (qsizetype i = 0; i < ini.lineCount(); ++i) {
            const QByteArray line = ini.lineText(i);
            const qsizetype eq = line.indexOf('=');
            if (!trimBlanks(line).isEmpty() &&
                std::none_of(writes.begin(), writes.end(), [&](auto& w) {
                    return w.accepted && (line == '[' + trimBlanks(w.section).toUtf8() + ']' ||
                                          (eq > 0 && sameName(decode(line.left(eq)), w.key)));
                }))
                lines << line;
        }
        return lines;
    };
    if (untouched(original) != untouched(reread))
        return "a line no write may touch was changed, lost or added";
    return nullptr;
}

} // namespace tarn::fuzz
