#pragma once

// What must hold for the profile reader and writer whatever bytes the file holds: parsing and
// writing back change nothing, names match without regard to case, and after a few writes every
// value set reads back while every line not set is still there, in order. The libFuzzer target
// and the corpus replay of the normal test build run the same checks.

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

// Whether `line` can come from an accepted write: `before` rewritten with the value set, or,
// without `before`, a new blank separator, header or key line.
inline bool fromWrite(const QByteArray& line, const QByteArray* before,
                      const std::vector<Write>& writes) {
    const QByteArray& keyLine = before ? *before : line;
    const qsizetype eq = keyLine.indexOf('=');
    const QByteArray name = before ? trimBlanks(keyLine.left(eq)) : keyLine.left(eq);
    for (const Write& w : writes) {
        if (w.accepted &&
            ((!before && line == '[' + trimBlanks(w.section).toUtf8() + ']') ||
             (eq > 0 && sameName(decode(name), w.key) && line == name + '=' + w.value.toUtf8())))
            return true;
    }
    return !before && line.isEmpty();
}
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

    // Every original line is still there, in order, unless a write replaced it in place.
    qsizetype j = 0;
    for (qsizetype i = 0; i < original.lineCount(); ++i, ++j) {
        const QByteArray line = original.lineText(i);
        for (;; ++j) {
            if (j >= reread.lineCount())
                return "an untouched line was lost";
            const QByteArray now = reread.lineText(j);
            if (now == line || fromWrite(now, &line, writes))
                break;
            if (!fromWrite(now, nullptr, writes))
                return "an untouched line was changed";
        }
    }
    for (; j < reread.lineCount(); ++j) {
        if (!fromWrite(reread.lineText(j), nullptr, writes))
            return "an unexpected line appeared";
    }
    return nullptr;
}

} // namespace tarn::fuzz
