#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

namespace tarn::settings {

// A profile file held line by line, so that saving it changes nothing but the lines that were
// set. Section and key names match without regard to letter case; where a name occurs twice,
// the first occurrence is the one read and written.
class IniFile {
public:
    // No settings file the panel writes comes near this; reading a larger one would cost
    // seconds and many times its size in memory at every start.
    static constexpr qint64 MaxFileSize = qint64(1) << 20;

    static IniFile parse(const QByteArray& data);
    // A missing, unreadable or non-regular file gives an empty profile, and so does one over
    // MaxFileSize, which also sets `tooLarge`.
    static IniFile load(const QString& path, bool* tooLarge = nullptr);
    static bool isTooLarge(const QString& path);

    QByteArray serialize() const;
    // Writes a temporary file and renames it over `path`, so a crash never leaves half a file.
    bool save(const QString& path) const;

    QString value(const QString& section, const QString& key, bool* found = nullptr) const;

    // Returns false, leaving the profile untouched, for names or values that would not read
    // back as written: a line break anywhere, an empty key, a key holding '=' or starting like
    // a comment or a section header.
    bool setValue(const QString& section, const QString& key, const QString& value);

    // Key names of the section's key lines in file order, each name once, as spelt in the file.
    QStringList sectionKeys(const QString& section) const;

    bool isEmpty() const { return lines_.empty(); }
    bool hasByteOrderMark() const { return bom_; }
    qsizetype lineCount() const { return qsizetype(lines_.size()); }
    // The line's bytes without its line end.
    QByteArray lineText(qsizetype index) const { return lines_.at(std::size_t(index)).text; }

private:
    enum class Kind : std::uint8_t { Other, Section, Key };
    enum class Eol : std::uint8_t { None, Lf, CrLf, Cr };

    struct Line {
        QByteArray text;
        Eol eol = Eol::None;
        Kind kind = Kind::Other;
        QString foldedName; // section or key name, trimmed and case-folded
    };

    static Line classify(QByteArray text, Eol eol);
    // Index of the first header of the section, or -1.
    qsizetype findSection(const QString& foldedName) const;
    // One past the section's last line (the next header or the end of the file).
    qsizetype sectionEnd(qsizetype header) const;
    qsizetype findKey(qsizetype header, const QString& foldedKey) const;
    void insertLine(qsizetype index, QByteArray text);

    std::vector<Line> lines_;
    Eol newLineEol_ = Eol::Lf;
    bool bom_ = false;
};

// The profile-string read: the value trimmed and cut to 1023 characters. A missing file,
// section or key, an empty value and the literal "DEFAULT STRING" all give "".
QString Read_Ini_Value(const QString& path, const QString& section, const QString& key);
QString Read_Ini_Value(const IniFile& ini, const QString& section, const QString& key);

} // namespace tarn::settings
