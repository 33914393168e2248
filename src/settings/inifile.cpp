#include "settings/inifile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

namespace tarn::settings {

namespace {

constexpr char Bom[] = "\xEF\xBB\xBF";
constexpr qsizetype BomSize = 3;
constexpr qsizetype MaxValueLength = 1023;

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}
bool isBlank(QChar c) {
    return c == u' ' || c == u'\t';
}

// Only spaces and tabs: the profile format knows no other blanks, and a vertical tab or form
// feed in a value is data.
template <typename Text> Text trimBlanks(const Text& text) {
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && isBlank(text[first]))
        ++first;
    while (last > first && isBlank(text[last - 1]))
        --last;
    return text.mid(first, last - first);
}

QString foldName(const QString& name) {
    return trimBlanks(name).toCaseFolded();
}

// QString::fromUtf8 drops a leading U+FEFF, which would make a name or value that starts with
// one (a second byte-order mark inside the file) read differently depending on where it sits.
QString decode(const QByteArray& bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                     QStringDecoder::Flag::ConvertInitialBom);
    return decoder.decode(bytes);
}

bool hasLineBreak(const QString& text) {
    return text.contains(u'\n') || text.contains(u'\r');
}

} // namespace

IniFile::Line IniFile::classify(QByteArray text, Eol eol) {
    Line line{std::move(text), eol, Kind::Other, {}};
    const QByteArray& t = line.text;
    qsizetype start = 0;
    while (start < t.size() && isBlank(t[start]))
        ++start;
    if (start == t.size() || t[start] == ';' || t[start] == '#')
        return line;
    if (t[start] == '[') {
        // The last ']' closes the name, so "[a]b]" names "a]b" and "[COM] ; note" names "COM".
        const qsizetype close = t.lastIndexOf(']');
        if (close > start) {
            line.kind = Kind::Section;
            line.foldedName = foldName(decode(t.mid(start + 1, close - start - 1)));
        }
        return line;
    }
    const qsizetype eq = t.indexOf('=', start);
    if (eq < 0)
        return line;
    const QByteArray name = trimBlanks(t.mid(start, eq - start));
    if (name.isEmpty())
        return line;
    line.kind = Kind::Key;
    line.foldedName = decode(name).toCaseFolded();
    return line;
}

IniFile IniFile::parse(const QByteArray& data) {
    IniFile ini;
#ifdef Q_OS_WIN
    ini.newLineEol_ = Eol::CrLf;
#endif
    qsizetype pos = 0;
    if (data.startsWith(Bom)) {
        ini.bom_ = true;
        pos = BomSize;
    }
    bool styleSeen = false;
    const qsizetype size = data.size();
    const char* bytes = data.constData();
    while (pos < size) {
        qsizetype end = pos;
        while (end < size && bytes[end] != '\n' && bytes[end] != '\r')
            ++end;
        Eol eol = Eol::None;
        qsizetype next = end;
        if (end < size) {
            if (bytes[end] == '\n') {
                eol = Eol::Lf;
                next = end + 1;
            } else if (end + 1 < size && bytes[end + 1] == '\n') {
                eol = Eol::CrLf;
                next = end + 2;
            } else {
                eol = Eol::Cr;
                next = end + 1;
            }
        }
        if (!styleSeen && eol != Eol::None) {
            ini.newLineEol_ = eol;
            styleSeen = true;
        }
        ini.lines_.push_back(classify(data.mid(pos, end - pos), eol));
        pos = next;
    }
    return ini;
}

IniFile IniFile::load(const QString& path, bool* tooLarge) {
    if (tooLarge)
        *tooLarge = false;
    // Directories, FIFOs and devices are not profiles; opening a FIFO would also block.
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return parse({});
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return parse({});
    // Read one byte past the limit rather than trusting the size: the file may grow meanwhile.
    const QByteArray data = file.read(MaxFileSize + 1);
    if (data.size() > MaxFileSize) {
        if (tooLarge)
            *tooLarge = true;
        return parse({});
    }
    return parse(data);
}

bool IniFile::isTooLarge(const QString& path) {
    const QFileInfo info(path);
    return info.isFile() && info.size() > MaxFileSize;
}

QByteArray IniFile::serialize() const {
    qsizetype total = bom_ ? BomSize : 0;
    for (const Line& line : lines_)
        total += line.text.size() + 2;
    QByteArray out;
    out.reserve(total);
    if (bom_)
        out.append(Bom, BomSize);
    for (const Line& line : lines_) {
        out.append(line.text);
        switch (line.eol) {
        case Eol::None:
            break;
        case Eol::Lf:
            out.append('\n');
            break;
        case Eol::CrLf:
            out.append("\r\n", 2);
            break;
        case Eol::Cr:
            out.append('\r');
            break;
        }
    }
    return out;
}

bool IniFile::save(const QString& path) const {
    if (path.isEmpty())
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray data = serialize();
    // Without commit() the temporary file is thrown away and the old file stays as it was.
    if (file.write(data) != data.size())
        return false;
    return file.commit();
}

qsizetype IniFile::findSection(const QString& foldedName) const {
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].kind == Kind::Section && lines_[i].foldedName == foldedName)
            return qsizetype(i);
    }
    return -1;
}

qsizetype IniFile::sectionEnd(qsizetype header) const {
    qsizetype i = header + 1;
    while (i < lineCount() && lines_[std::size_t(i)].kind != Kind::Section)
        ++i;
    return i;
}

qsizetype IniFile::findKey(qsizetype header, const QString& foldedKey) const {
    const qsizetype end = sectionEnd(header);
    for (qsizetype i = header + 1; i < end; ++i) {
        const Line& line = lines_[std::size_t(i)];
        if (line.kind == Kind::Key && line.foldedName == foldedKey)
            return i;
    }
    return -1;
}

QString IniFile::value(const QString& section, const QString& key, bool* found) const {
    if (found)
        *found = false;
    const qsizetype header = findSection(foldName(section));
    if (header < 0)
        return {};
    const qsizetype index = findKey(header, foldName(key));
    if (index < 0)
        return {};
    if (found)
        *found = true;
    const QByteArray& text = lines_[std::size_t(index)].text;
    const qsizetype eq = text.indexOf('=');
    return decode(trimBlanks(text.mid(eq + 1)));
}

void IniFile::insertLine(qsizetype index, QByteArray text) {
    // Only the last line can lack a line end; it needs one once something follows it.
    if (index > 0 && lines_[std::size_t(index - 1)].eol == Eol::None)
        lines_[std::size_t(index - 1)].eol = newLineEol_;
    // In a file with mixed line ends, a lone CR directly followed by an empty LF line would
    // read back as one CR LF and swallow a blank line. CR LF can never join its neighbours.
    const auto joins = [](Eol first, const QByteArray& secondText, Eol second) {
        return first == Eol::Cr && secondText.isEmpty() && second == Eol::Lf;
    };
    Eol eol = newLineEol_;
    if ((index > 0 && joins(lines_[std::size_t(index - 1)].eol, text, eol)) ||
        (index < lineCount() &&
         joins(eol, lines_[std::size_t(index)].text, lines_[std::size_t(index)].eol)))
        eol = Eol::CrLf;
    lines_.insert(lines_.begin() + index, classify(std::move(text), eol));
}

bool IniFile::setValue(const QString& section, const QString& key, const QString& value) {
    const QString sectionName = trimBlanks(section);
    const QString keyName = trimBlanks(key);
    if (hasLineBreak(sectionName) || hasLineBreak(keyName) || hasLineBreak(value) ||
        keyName.isEmpty() || keyName.contains(u'=') || keyName.startsWith(u';') ||
        keyName.startsWith(u'#') || keyName.startsWith(u'['))
        return false;

    const qsizetype header = findSection(sectionName.toCaseFolded());
    if (header < 0) {
        if (!lines_.empty() && !trimBlanks(lines_.back().text).isEmpty())
            insertLine(lineCount(), {});
        insertLine(lineCount(), '[' + sectionName.toUtf8() + ']');
        insertLine(lineCount(), keyName.toUtf8() + '=' + value.toUtf8());
        return true;
    }

    const QString foldedKey = keyName.toCaseFolded();
    const qsizetype index = findKey(header, foldedKey);
    if (index >= 0) {
        Line& line = lines_[std::size_t(index)];
        const qsizetype eq = line.text.indexOf('=');
        // The key keeps the spelling it has in the file; only the blanks around it go.
        line.text = trimBlanks(line.text.left(eq)) + '=' + value.toUtf8();
        return true;
    }

    qsizetype lastKey = header;
    const qsizetype end = sectionEnd(header);
    for (qsizetype i = header + 1; i < end; ++i) {
        if (lines_[std::size_t(i)].kind == Kind::Key)
            lastKey = i;
    }
    insertLine(lastKey + 1, keyName.toUtf8() + '=' + value.toUtf8());
    return true;
}

QStringList IniFile::sectionKeys(const QString& section) const {
    QStringList keys;
    const qsizetype header = findSection(foldName(section));
    if (header < 0)
        return keys;
    QStringList seen;
    const qsizetype end = sectionEnd(header);
    for (qsizetype i = header + 1; i < end; ++i) {
        const Line& line = lines_[std::size_t(i)];
        if (line.kind != Kind::Key || seen.contains(line.foldedName))
            continue;
        seen.append(line.foldedName);
        keys.append(decode(trimBlanks(line.text.left(line.text.indexOf('=')))));
    }
    return keys;
}

QString Read_Ini_Value(const IniFile& ini, const QString& section, const QString& key) {
    QString text = ini.value(section, key);
    if (text.size() > MaxValueLength) {
        // Never leave half of a surrogate pair at the cut.
        const bool splitsPair = text.at(MaxValueLength - 1).isHighSurrogate();
        text.truncate(splitsPair ? MaxValueLength - 1 : MaxValueLength);
    }
    if (text == QLatin1String("DEFAULT STRING"))
        return {};
    return text;
}

QString Read_Ini_Value(const QString& path, const QString& section, const QString& key) {
    return Read_Ini_Value(IniFile::load(path), section, key);
}

} // namespace tarn::settings
