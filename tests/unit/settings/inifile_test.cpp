#include "settings/inifile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using tarn::settings::IniFile;
using tarn::settings::Read_Ini_Value;

namespace {

// Keeps embedded NUL bytes, which a plain const char* would cut off.
template <std::size_t N> QByteArray bytes(const char (&text)[N]) {
    return QByteArray(text, N - 1);
}

QByteArray afterSet(const QByteArray& before, const QString& section, const QString& key,
                    const QString& value) {
    IniFile ini = IniFile::parse(before);
    EXPECT_TRUE(ini.setValue(section, key, value));
    return ini.serialize();
}

} // namespace

TEST(IniFileRead, NamesIgnoreCaseAndBlanksAroundNamesAndValuesGo) {
    const IniFile ini = IniFile::parse("[ CoM ]\n  baudRATE \t=\t 19200 \t\nEmpty=\n");
    bool found = false;
    EXPECT_EQ(ini.value("com", "BaudRate", &found), "19200");
    EXPECT_TRUE(found);
    EXPECT_EQ(ini.value("COM", "empty", &found), "");
    EXPECT_TRUE(found);
    EXPECT_EQ(ini.value("COM", "Missing", &found), "");
    EXPECT_FALSE(found);
    EXPECT_EQ(ini.value("Nope", "BaudRate", &found), "");
    EXPECT_FALSE(found);
}

TEST(IniFileRead, KeysBeforeTheFirstSectionAndCommentsAreNotKeys) {
    const IniFile ini = IniFile::parse("k=0\n[A]\n;k=1\n#k=2\nno equals\n[B\nk=3\n");
    // "[B" is not a header, so "k=3" still belongs to [A].
    EXPECT_EQ(ini.value("A", "k"), "3");
    EXPECT_EQ(ini.sectionKeys("A"), QStringList{"k"});
}

TEST(IniFileRead, FirstDuplicateSectionAndKeyWinForReadsAndWrites) {
    IniFile ini = IniFile::parse("[A]\nk=1\nK=2\n[a]\nk=3\nj=4\n");
    EXPECT_EQ(ini.value("a", "k"), "1");
    EXPECT_EQ(ini.value("A", "j"), "");
    EXPECT_EQ(ini.sectionKeys("A"), QStringList{"k"});
    ASSERT_TRUE(ini.setValue("A", "K", "9"));
    ASSERT_TRUE(ini.setValue("A", "j", "5"));
    EXPECT_EQ(ini.serialize(), "[A]\nk=9\nK=2\nj=5\n[a]\nk=3\nj=4\n");
}

TEST(IniFileRead, ValuesAreCutTo1023CharactersAndDefaultStringIsEmpty) {
    const QByteArray longValue(2000, 'x');
    const IniFile ini = IniFile::parse("[A]\nlong=" + longValue + "\nd= DEFAULT STRING\n");
    EXPECT_EQ(ini.value("A", "long").size(), 2000);
    EXPECT_EQ(Read_Ini_Value(ini, "A", "long"), QString(1023, 'x'));
    EXPECT_EQ(Read_Ini_Value(ini, "A", "d"), "");
    EXPECT_EQ(ini.serialize(), "[A]\nlong=" + longValue + "\nd= DEFAULT STRING\n");
}

TEST(IniFileWrite, ReplacesInPlaceAndKeepsEveryOtherByte) {
    const QByteArray before = bytes("; top\r\ngarbage\r\n[Form]\r\n# hash\r\n  Size = Big  \r\n"
                                    "\xff\xfe\x00junk\r\n[Other]\r\nx=1");
    EXPECT_EQ(afterSet(before, "FORM", "size", "Small"),
              bytes("; top\r\ngarbage\r\n[Form]\r\n# hash\r\nSize=Small\r\n"
                    "\xff\xfe\x00junk\r\n[Other]\r\nx=1"));
}

TEST(IniFileWrite, NewKeyGoesAfterTheLastKeyOfItsSection) {
    EXPECT_EQ(afterSet("[A]\nk=1\n; note\n\n\n[B]\n", "a", "n", "2"),
              "[A]\nk=1\nn=2\n; note\n\n\n[B]\n");
    EXPECT_EQ(afterSet("[A]\n\n[B]\n", "A", "n", "2"), "[A]\nn=2\n\n[B]\n");
}

TEST(IniFileWrite, NewSectionGoesAtTheEndAfterOneBlankLine) {
    EXPECT_EQ(afterSet("", "S", "k", "v"), "[S]\nk=v\n");
    EXPECT_EQ(afterSet("[A]\nk=1\n", "S", "k", "v"), "[A]\nk=1\n\n[S]\nk=v\n");
    EXPECT_EQ(afterSet("[A]\nk=1\n\n", "S", "k", "v"), "[A]\nk=1\n\n[S]\nk=v\n");
    // The header keeps the case it was first written with.
    EXPECT_EQ(afterSet("[tiny_Form]\n", "Tiny_Form", "Top", "1"), "[tiny_Form]\nTop=1\n");
}

TEST(IniFileWrite, NewLinesFollowTheFilesOwnLineEnds) {
    EXPECT_EQ(afterSet("[A]\rk=1\r", "A", "n", "2"), "[A]\rk=1\rn=2\r");
    EXPECT_EQ(afterSet("[A]\r\nk=1", "B", "x", "1"), "[A]\r\nk=1\r\n\r\n[B]\r\nx=1\r\n");
    EXPECT_EQ(afterSet("\xEF\xBB\xBF[A]\nk=1\n", "a", "K", "2"), "\xEF\xBB\xBF[A]\nk=2\n");
    EXPECT_EQ(IniFile::parse("\xEF\xBB\xBF[A]\r\nk=v").value("A", "k"), "v");
}

TEST(IniFileWrite, MixedLineEndsNeverJoinIntoOneCrLf) {
    // A lone CR followed by an empty LF line would read back as one CR LF line.
    EXPECT_EQ(afterSet("[A]\rk=1\n\n[B]\n", "A", "n", "2"), "[A]\rk=1\nn=2\r\n\n[B]\n");
    EXPECT_EQ(afterSet("[A]\nk=1\r", "S", "k", "v"), "[A]\nk=1\r\r\n[S]\nk=v\n");
}

TEST(IniFileRead, ByteOrderMarkInsideTheFileIsPartOfTheText) {
    IniFile ini = IniFile::parse("[A]\n\xEF\xBB\xBFk=\xEF\xBB\xBFv\n");
    const QString bomK = QString(QChar(0xFEFF)) + "k";
    EXPECT_EQ(ini.sectionKeys("A"), QStringList{bomK});
    EXPECT_EQ(ini.value("A", bomK), QString(QChar(0xFEFF)) + "v");
    EXPECT_EQ(ini.value("A", "k"), "");
    ASSERT_TRUE(ini.setValue("A", bomK, "w"));
    EXPECT_EQ(ini.serialize(), "[A]\n\xEF\xBB\xBFk=w\n");
}

TEST(IniFileWrite, RefusesWhatWouldNotReadBack) {
    IniFile ini = IniFile::parse("[A]\nk=1\n");
    EXPECT_FALSE(ini.setValue("A", "k", "two\nlines"));
    EXPECT_FALSE(ini.setValue("A", "k\r", "1"));
    EXPECT_FALSE(ini.setValue("A\n[B]", "k", "1"));
    for (const char* key : {"", "  ", "a=b", ";k", "#k", "[k]"})
        EXPECT_FALSE(ini.setValue("A", key, "1")) << key;
    EXPECT_EQ(ini.serialize(), "[A]\nk=1\n");
}

TEST(IniFileWrite, BinaryGarbageSurvivesUnchanged) {
    QByteArray garbage;
    for (int i = 0; i < 4096; ++i)
        garbage.append(char((i * 7919 + i / 13) & 0xFF));
    garbage.append('\0');
    IniFile ini = IniFile::parse(garbage);
    EXPECT_EQ(ini.serialize(), garbage);
    ASSERT_TRUE(ini.setValue("New", "k", "v"));
    EXPECT_EQ(IniFile::parse(ini.serialize()).value("NEW", "K"), "v");
}

TEST(IniFileDisk, LoadAndSaveNeverFailSilently) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("a.ini");
    IniFile ini = IniFile::parse("; keep\n[A]\nk=1\n");
    ASSERT_TRUE(ini.setValue("A", "k", "2"));
    ASSERT_TRUE(ini.save(path));
    EXPECT_EQ(IniFile::load(path).serialize(), "; keep\n[A]\nk=2\n");
    EXPECT_EQ(Read_Ini_Value(path, "a", "K"), "2");

    EXPECT_TRUE(IniFile::load(dir.filePath("missing.ini")).isEmpty());
    EXPECT_TRUE(IniFile::load(dir.path()).isEmpty());
    EXPECT_EQ(Read_Ini_Value(dir.path(), "A", "k"), "");
    EXPECT_FALSE(ini.save(dir.path()));
    EXPECT_FALSE(ini.save(dir.filePath("no/such/folder/a.ini")));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"a.ini"});
}
