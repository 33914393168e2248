#pragma once

// What must hold for the profile reader and writer whatever bytes the file holds: parsing
// arbitrary bytes, reading and setting a few keys, and a round trip through text keep both the
// values set and every line that was not set. The libFuzzer target and the corpus replay of
// the normal test build run the same checks.

#include "settings/inifile.h"

#include <QByteArray>
#include <QString>
#include <QStringDecoder>
#include <cstddef>
#include <vector>

namespace tarn::fuzz {

namespace inidetail {

// Keeps a leading U+FEFF, as the profile reader does.
inline QString decode(const QByteArray& bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                     QStringDecoder::Flag::ConvertInitialBom);
    return decoder.decode(bytes);
}

struct Write {
    QString section;
    QString key;
    QString value;
    bool accepted = false;
};

template <typename Text> Text trimBlanks(const Text& text) {
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && (text[first] == ' ' || text[first] == '\t'))
        ++first;
    while (last > first && (text[last - 1] == ' ' || text[last - 1] == '\t'))
        --last;
    return text.mid(first, last - first);
}

inline bool sameName(const QString& a, const QString& b) {
    return trimBlanks(a).compare(trimBlanks(b), Qt::CaseInsensitive) == 0;
}

// A line the writes may have added: a blank separator, a new header or a key=value they set.
inline bool addedBySet(const QByteArray& line, const std::vector<Write>& writes) {
    if (line.isEmpty())
        return true;
    for (const Write& w : writes) {
        if (!w.accepted)
            continue;
        if (line == '[' + trimBlanks(w.section).toUtf8() + ']')
            return true;
        const qsizetype eq = line.indexOf('=');
        if (eq > 0 && sameName(decode(line.left(eq)), w.key) &&
            line.mid(eq + 1) == w.value.toUtf8())
            return true;
    }
    return false;
}

// Whether `now` is `before` rewritten by a write: same key spelling, a value that was set.
inline bool replacedBySet(const QByteArray& now, const QByteArray& before,
                          const std::vector<Write>& writes) {
    const qsizetype eq = before.indexOf('=');
    if (eq < 0)
        return false;
    const QByteArray name = trimBlanks(before.left(eq));
    for (const Write& w : writes) {
        if (w.accepted && sameName(decode(name), w.key) && now == name + '=' + w.value.toUtf8())
            return true;
    }
    return false;
}

} // namespace inidetail

// Null when every check holds, else what failed. The last few bytes of the input choose what
// to write; the rest is the file.
inline const char* checkIniInput(const QByteArray& input) {
    using namespace inidetail;
    using tarn::settings::IniFile;

    const qsizetype size = input.size();
    const qsizetype tail = size < 48 ? size / 2 : 24;
    const QByteArray file = input.left(size - tail);
    const QByteArray extra = input.right(tail);

    const IniFile original = IniFile::parse(file);
    if (original.serialize() != file)
        return "parse and serialise changed an untouched file";

    // Names match without regard to case, and every listed key can be read.
    const char* const sections[] = {"COM", "Form", "tiny_Form", "Ports"};
    const char* const keys[] = {"PortNumber", "Top_Location", "COM1", "Size"};
    for (const char* section : sections) {
        for (const char* key : keys) {
            bool foundA = false;
            bool foundB = false;
            const QString a = original.value(QString(section).toUpper(), key, &foundA);
            const QString b = original.value(section, QString(key).toLower(), &foundB);
            if (a != b || foundA != foundB)
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
        // A later write to the same key wins.
        bool overwritten = false;
        for (std::size_t j = i + 1; j < writes.size(); ++j)
            overwritten = overwritten ||
                          (writes[j].accepted && sameName(writes[j].section, writes[i].section) &&
                           sameName(writes[j].key, writes[i].key));
        if (overwritten)
            continue;
        bool found = false;
        const QString value = reread.value(writes[i].section, writes[i].key, &found);
        if (writes[i].accepted && !(found && value == trimBlanks(writes[i].value)))
            return "value set does not read back";
        if (!writes[i].accepted && value != original.value(writes[i].section, writes[i].key))
            return "refused write changed the value";
    }

    // Every original line is still there, in order, unless a write replaced it in place.
    qsizetype j = 0;
    for (qsizetype i = 0; i < original.lineCount(); ++i) {
        const QByteArray line = original.lineText(i);
        for (;; ++j) {
            if (j >= reread.lineCount())
                return "an untouched line was lost";
            const QByteArray now = reread.lineText(j);
            if (now == line || replacedBySet(now, line, writes))
                break;
            if (!addedBySet(now, writes))
                return "an untouched line was changed";
        }
        ++j;
    }
    for (; j < reread.lineCount(); ++j) {
        if (!addedBySet(reread.lineText(j), writes))
            return "an unexpected line appeared";
    }
    return nullptr;
}

} // namespace tarn::fuzz
