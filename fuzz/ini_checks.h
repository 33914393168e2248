#pragma once

// What must hold for the profile reader and writer whatever bytes the file holds: parsing and
// writing back change nothing, names match without regard to case, and after a few writes every
// value set reads back while every line they may not touch is still there, in order. The libFuzzer
// target and the corpus replay of the normal test build run the same checks.

#include "settings/inifile.h"

#include <QStringDecoder>
#include <vector>

namespace tarn::fuzz {

namespace inidetail {
// Keeps a leading U+FEFF, as the profile reader does.
inline QString decode(const QByteArray& bytes) {
    return QStringDecoder(QStringDecoder::Utf8,
                          QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom)
        .decode(bytes);
}

template <typename Text> Text trimBlanks(Text t) {
    while (!t.isEmpty() && (t.front() == ' ' || t.front() == '\t'))
        t.remove(0, 1);
    while (!t.isEmpty() && (t.back() == ' ' || t.back() == '\t'))
        t.chop(1);
    return t;
}

inline bool sameName(const QString& a, const QString& b) {
    return trimBlanks(a).compare(trimBlanks(b), Qt::CaseInsensitive) == 0;
}

struct Write {
    QString section, key, value;
    bool accepted = false;
};

} // namespace inidetail

// Null when every check holds, else what failed. The last few bytes of the input choose what
// to write; the rest is the file.
inline const char* checkIni(const QByteArray& input) {
    using namespace inidetail;
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
            if (a != original.value(section, QString(key).toLower(), &foundB) || foundA != foundB)
                return "lookup depends on letter case";
            if (a != trimBlanks(a))
                return "value not trimmed";
        }
        for (const QString& key : original.sectionKeys(section)) {
            bool found = false;
            original.value(section, key, &found);
            if (!found)
                return "listed key cannot be read";
        }
    }

    const qsizetype third = extra.size() / 3;
    std::vector<Write> writes = {
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
    for (std::size_t i = 0; i < writes.size(); ++i) {
        const Write& w = writes[i];
        bool overwritten = false; // a later write to the same key wins
        for (std::size_t j = i + 1; j < writes.size(); ++j)
            overwritten =
                overwritten || (writes[j].accepted && sameName(writes[j].section, w.section) &&
                                sameName(writes[j].key, w.key));
        bool found = false;
        const QString value = reread.value(w.section, w.key, &found);
        if (!overwritten && w.accepted && !(found && value == trimBlanks(w.value)))
            return "value set does not read back";
        if (!overwritten && !w.accepted && value != original.value(w.section, w.key))
            return "refused write changed the value";
    }

    // Every line no write may touch is still there, in order, and no other line came in.
    const auto untouched = [&writes](const IniFile& ini) {
        QList<QByteArray> lines;
        for (qsizetype i = 0; i < ini.lineCount(); ++i) {
            const QByteArray line = ini.lineText(i);
            const qsizetype eq = line.indexOf('=');
            bool touched = trimBlanks(line).isEmpty();
            for (const Write& w : writes)
                touched =
                    touched || (w.accepted && (line == '[' + trimBlanks(w.section).toUtf8() + ']' ||
                                               (eq > 0 && sameName(decode(line.left(eq)), w.key))));
            if (!touched)
                lines << line;
        }
        return lines;
    };
    if (untouched(original) != untouched(reread))
        return "a line no write may touch was changed, lost or added";
    return nullptr;
}

} // namespace tarn::fuzz
