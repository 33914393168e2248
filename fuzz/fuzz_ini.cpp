// Parses arbitrary bytes as a profile, reads and sets a few keys, and checks that a round trip
// through text keeps both the values set and every line that was not set.
#include "settings/inifile.h"

#include <QByteArray>
#include <QString>
#include <QStringDecoder>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

using tarn::settings::IniFile;

namespace {

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "fuzz_ini: %s\n", what);
        std::abort();
    }
}

// Keeps a leading U+FEFF, as the profile reader does.
QString decode(const QByteArray& bytes) {
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

QString trimBlanks(const QString& text) {
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && (text[first] == u' ' || text[first] == u'\t'))
        ++first;
    while (last > first && (text[last - 1] == u' ' || text[last - 1] == u'\t'))
        --last;
    return text.mid(first, last - first);
}

bool sameName(const QString& a, const QString& b) {
    return trimBlanks(a).compare(trimBlanks(b), Qt::CaseInsensitive) == 0;
}

// A line the writes may have added: a blank separator, a new header or a key=value they set.
bool addedBySet(const QByteArray& line, const std::vector<Write>& writes) {
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

QByteArray trimBlanks(const QByteArray& text) {
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && (text[first] == ' ' || text[first] == '\t'))
        ++first;
    while (last > first && (text[last - 1] == ' ' || text[last - 1] == '\t'))
        --last;
    return text.mid(first, last - first);
}

// Whether `now` is `before` rewritten by a write: same key spelling, a value that was set.
bool replacedBySet(const QByteArray& now, const QByteArray& before,
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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The last few bytes choose what to write; the rest is the file.
    const std::size_t tail = size < 48 ? size / 2 : 24;
    const QByteArray file(reinterpret_cast<const char*>(data), qsizetype(size - tail));
    const QByteArray extra(reinterpret_cast<const char*>(data + size - tail), qsizetype(tail));

    const IniFile original = IniFile::parse(file);
    check(original.serialize() == file, "parse and serialise changed an untouched file");

    // Names match without regard to case, and every listed key can be read.
    const char* const sections[] = {"COM", "Form", "tiny_Form", "Ports"};
    const char* const keys[] = {"PortNumber", "Top_Location", "COM1", "Size"};
    for (const char* section : sections) {
        for (const char* key : keys) {
            bool foundA = false;
            bool foundB = false;
            const QString a = original.value(QString(section).toUpper(), key, &foundA);
            const QString b = original.value(section, QString(key).toLower(), &foundB);
            check(a == b && foundA == foundB, "lookup depends on letter case");
            check(a == trimBlanks(a), "value not trimmed");
        }
        for (const QString& key : original.sectionKeys(section)) {
            bool found = false;
            original.value(section, key, &found);
            check(found, "listed key cannot be read");
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
    check(reread.serialize() == edited.serialize(), "serialised text does not round-trip");
    check(reread.hasByteOrderMark() == original.hasByteOrderMark(), "byte-order mark changed");
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
        if (writes[i].accepted)
            check(found && value == trimBlanks(writes[i].value), "value set does not read back");
        else
            check(value == original.value(writes[i].section, writes[i].key),
                  "refused write changed the value");
    }

    // Every original line is still there, in order, unless a write replaced it in place.
    qsizetype j = 0;
    for (qsizetype i = 0; i < original.lineCount(); ++i) {
        const QByteArray line = original.lineText(i);
        for (;; ++j) {
            check(j < reread.lineCount(), "an untouched line was lost");
            const QByteArray now = reread.lineText(j);
            if (now == line || replacedBySet(now, line, writes))
                break;
            check(addedBySet(now, writes), "an untouched line was changed");
        }
        ++j;
    }
    for (; j < reread.lineCount(); ++j)
        check(addedBySet(reread.lineText(j), writes), "an unexpected line appeared");
    return 0;
}
