#include "settings/numbers.h"
#include "settings/settingsstore.h"
#include "support/inicheck.h"
#include "support/recordingviews.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tarn::settings;
using namespace tarn::testing;

namespace {
bool write(const QString& path, const QByteArray& text) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

QByteArray read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// Root reads whatever the permission bits say, so as root a check of them runs as "nobody",
// with root kept as the saved ID to come back to.
constexpr uid_t nobody = 65534;

class Store : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(QDir(tmp.path()).mkpath("exe")); }
    QString path(const QString& name) const { return tmp.filePath(name); }
    QString exeIni() const { return path("exe/tarn-vq4400.ini"); }
    SettingsStore store() const { return SettingsStore(path("exe"), "tarn-vq4400", path("user")); }
    QStringList load() {
        settings = Settings{};
        return store().Load_All_from_ini_file(settings, window);
    }
    bool save() { return store().Save_All_to_ini_file(settings, window); }

    QTemporaryDir tmp;
    Settings settings;
    FakePlacement window;
};
} // namespace

TEST(Settings, NumbersReadLikeValAndWriteWithoutExponents) {
    EXPECT_EQ(asNumber(3) + asNumber(0) + asNumber(-5) + asNumber(9600), " 3 0-5 9600");
    QStringList got;
    for (const char* text : {"12abc", " 1 2", "abc", "-3.5", "", "+7", "- 4", "\t9\t", "1.2.3",
                             ".5", "1e3", "1 E -2", "12e", "12e+x", "-", "1e999", "0x1F", "1,5"})
        got << QString::number(lenientNumber(text));
    EXPECT_EQ(got.join(' '), "12 12 0 -3.5 0 7 -4 9 1.2 0.5 1000 0.01 12 12 0 0 0 1");
    const double inf = qInf(), nan = qQNaN();
    got.clear();
    for (double value :
         {1234.0, -20.0, 12.5, 0.1, -0.0, inf, nan, 1e20, lenientNumber(" 1 500.0 x")})
        got << plainNumber(value);
    EXPECT_EQ(got.join(' '), "1234 -20 12.5 0.1 0 0 0 100000000000000000000 1500");
    // Positions from a hand-edited file reach the windows as ints, never through undefined
    // conversions.
    got.clear();
    for (double value :
         {1e30, -1e30, -2147483648.0, 2147483648.0, 2147483647.0, nan, -0.0, 1234.5, -1234.5})
        got << QString::number(clampedInt(value));
    EXPECT_EQ(got.join(' '), "2147483647 -2147483648 -2147483648 2147483647 2147483647 0 0 1235 "
                             "-1235");
}

TEST(Settings, IniReadsNamesWithoutCaseOrBlanksAndTheFirstOneWins) {
    const QString bomK = QString(QChar(0xFEFF)) + "k";
    const char* const com = "[ CoM ]\n  baudRATE \t=\t 19200 \t\nEmpty=\n";
    const char* const twice = "[A]\nk=1\nK=2\n[a]\nk=3\nj=4\n";
    // "[B" is no header, so "k=3" is in [A]; comments and keys before any header are no keys.
    const char* const odd = "k=0\n[A]\n;k=1\n#k=2\nno equals\n[B\nk=3\n";
    // A byte-order mark inside the file is part of the text.
    const char* const bomInside = "[A]\n\xEF\xBB\xBFk=\xEF\xBB\xBFv\n";
    const auto look = [](const char* text, const QString& section, const QString& key) {
        bool found = false;
        const QString value = IniFile::parse(text).value(section, key, &found);
        return found ? value : QStringLiteral("none");
    };
    EXPECT_EQ(QStringList({look(com, "com", "BaudRate"), look(com, "COM", "empty"),
                           look(com, "COM", "Missing"), look(com, "Nope", "BaudRate"),
                           look(odd, "A", "k"), look(twice, "a", "k"), look(twice, "A", "j"),
                           look("\xEF\xBB\xBF[A]\r\nk=v", "A", "k"), look(bomInside, "A", "k"),
                           look(bomInside, "A", bomK)})
                  .join('|'),
              "19200||none|none|3|1|none|v|none|" + QString(QChar(0xFEFF)) + "v");
    for (const char* text : {odd, twice, bomInside})
        EXPECT_EQ(IniFile::parse(text).sectionKeys("A"),
                  QStringList{text == bomInside ? bomK : "k"});

    const QByteArray longValue(2000, 'x');
    const QByteArray text = "[A]\nlong=" + longValue + "\nd= DEFAULT STRING\n";
    const IniFile ini = IniFile::parse(text);
    EXPECT_EQ(ini.value("A", "long").size(), 2000);
    EXPECT_EQ(Read_Ini_Value(ini, "A", "long"), QString(1023, 'x'));
    EXPECT_EQ(Read_Ini_Value(ini, "A", "d"), "");
    EXPECT_EQ(ini.serialize(), text);
}

TEST(Settings, IniWritesOnlyTheLineItSetsInTheFilesOwnStyle) {
    const std::tuple<const char*, QString, QString, const char*> rows[] = {
        {"; top\r\ngarbage\r\n[Form]\r\n# hash\r\n  Size = Big  \r\n\xff\xfejunk\r\n[Other]\r\nx=1",
         "FORM", "size",
         "; top\r\ngarbage\r\n[Form]\r\n# hash\r\nSize=Small\r\n\xff\xfejunk\r\n"
         "[Other]\r\nx=1"},
        {"[A]\nk=1\n; note\n\n\n[B]\n", "a", "n", "[A]\nk=1\nn=Small\n; note\n\n\n[B]\n"},
        {"[A]\n\n[B]\n", "A", "n", "[A]\nn=Small\n\n[B]\n"},
        {"", "S", "k", "[S]\nk=Small\n"},
        {"[A]\nk=1\n", "S", "k", "[A]\nk=1\n\n[S]\nk=Small\n"},
        {"[A]\nk=1\n\n", "S", "k", "[A]\nk=1\n\n[S]\nk=Small\n"},
        {"[tiny_Form]\n", "Tiny_Form", "Top", "[tiny_Form]\nTop=Small\n"},
        {"[A]\rk=1\r", "A", "n", "[A]\rk=1\rn=Small\r"},
        {"[A]\r\nk=1", "B", "x", "[A]\r\nk=1\r\n\r\n[B]\r\nx=Small\r\n"},
        // A lone CR followed by an empty LF line would read back as one CR LF line.
        {"[A]\rk=1\n\n[B]\n", "A", "n", "[A]\rk=1\nn=Small\r\n\n[B]\n"},
        {"[A]\nk=1\r", "S", "k", "[A]\nk=1\r\r\n[S]\nk=Small\n"},
        {"[A]\nk=1\nK=2\n[a]\nk=3\nj=4\n", "A", "K", "[A]\nk=Small\nK=2\n[a]\nk=3\nj=4\n"},
        {"[A]\nk=1\n[a]\nj=4\n", "A", "j", "[A]\nk=1\nj=Small\n[a]\nj=4\n"},
        {"[A]\n\xEF\xBB\xBFk=\xEF\xBB\xBFv\n", "A", QString(QChar(0xFEFF)) + "k",
         "[A]\n\xEF\xBB\xBFk=Small\n"},
    };
    for (const auto& [before, section, key, after] : rows) {
        IniFile ini = IniFile::parse(before);
        EXPECT_TRUE(ini.setValue(section, key, "Small"));
        EXPECT_EQ(ini.serialize(), after);
    }

    IniFile ini = IniFile::parse("[A]\nk=1\n");
    EXPECT_FALSE(ini.setValue("A", "k", "two\nlines"));
    EXPECT_FALSE(ini.setValue("A\n[B]", "k", "1"));
    for (const char* key : {"", "  ", "k\r", "a=b", ";k", "#k", "[k]"})
        EXPECT_FALSE(ini.setValue("A", key, "1")) << key;
    EXPECT_EQ(ini.serialize(), "[A]\nk=1\n");

    EXPECT_TRUE(IniFile::load(QDir::tempPath()).isEmpty()) << "a folder is no profile";
}

TEST_F(Store, LoadReadsHandWrittenValuesVerbatimOrAsNumbers) {
    ASSERT_TRUE(write(exeIni(), "[com]\r\n\tbaudrate = 19200\r\nPORTNUMBER=\t4 \r\n[POLLING]\r\n"
                                "rate=+75\r\n[timeout]\r\nTime=0\r\n[form]\r\nAlwaysOnTop= yes\r\n"
                                "Top_Location= 1 2 0 0xyz\r\nLeft_Location=-99.6\r\nSize=Tiny\r\n"
                                "[ONEXIT]\r\nforce_stby=no\r\n[TINY_FORM]\r\n"
                                "Top_Location=12.50abc\r\nleft_location=abc\r\n"));
    EXPECT_TRUE(load().isEmpty());
    EXPECT_EQ(QList({settings.BaudRate, settings.PortNumber, settings.Polling, settings.TimeOut,
                     window.topTwips, window.leftTwips}),
              QList({19200, 4, 75, 0, 1200, -100}));
    EXPECT_EQ(QStringList({settings.AlwaysOnTop, settings.Force_STBY, settings.Size,
                           settings.Top_Location, settings.Left_Location}),
              QStringList({"yes", "no", "Tiny", "12.5", "0"}));
}

TEST_F(Store, NumbersOutsideTheirRangeKeepTheCurrentValueAndAreReported) {
    const std::tuple<const char*, const char*, int Settings::*, qint64, qint64> keys[] = {
        {"COM", "BaudRate", &Settings::BaudRate, 1, 10'000'000},
        {"COM", "PortNumber", &Settings::PortNumber, 0, 255},
        {"Polling", "Rate", &Settings::Polling, 1, 60'000},
        {"TimeOut", "Time", &Settings::TimeOut, 0, 600'000}};
    for (const auto& [section, key, field, min, max] : keys) {
        for (const QString& text :
             QStringList{"abc", "50ms", "1 2", "96.5", "99999999999999999999", "90000000 ; x",
                         QString::number(min - 1), QString::number(min), QString::number(max),
                         QString::number(max + 1)}) {
            SCOPED_TRACE(QString("%1/%2=%3").arg(section, key, text).toStdString());
            ASSERT_TRUE(
                write(exeIni(),
                      QString("[%1]\n%2=%3\n[Form]\nSize=Big\n").arg(section, key, text).toUtf8()));
            const int kept = Settings{}.*field;
            const QString rejected = load().join(""),
                          message =
                              QString("%1/%2: \"%3\" ignored, keeping %4").arg(section, key, text);
            const qint64 n = text.toLongLong();
            const bool inRange = text == QString::number(n) && n >= min && n <= max;
            EXPECT_EQ(settings.*field, inRange ? int(n) : kept);
            EXPECT_EQ(rejected, inRange ? QString() : message.arg(kept));
            EXPECT_EQ(settings.Size, "Big");
        }
    }
    // A long line of junk is cut short in the message.
    ASSERT_TRUE(write(exeIni(), "[Polling]\nRate=" + QByteArray(60, 'j') + "\n"));
    EXPECT_EQ(load(),
              QStringList{"Polling/Rate: \"" + QString(40, 'j') + "...\" ignored, keeping 50"});
}

TEST_F(Store, SaveKeepsTheRestOfTheFileAndTheStoredPositionWhenNotNormal) {
    ASSERT_TRUE(write(exeIni(), "; panel settings\n[Form]\nSize=Big\nTop_Location=77\n; pos\n\n"
                                "[Extra]\nkeep = me\n[ports]\ncom03=Old\n"));
    settings.Top_Location = "150";
    // Numbers outside 1 to 255 would never load back.
    settings.Ports = {{0, "Zero"}, {1, "Tuner"}, {3, "New"}, {255, "Last"}, {256, "Over"}};
    window.normal = false;
    window.topTwips = 5;
    ASSERT_TRUE(save());
    EXPECT_EQ(read(exeIni()),
              "; panel settings\n[Form]\nSize=Normal\nTop_Location=77\nAlwaysOnTop=No\n"
              "; pos\n\n[Extra]\nkeep = me\n[ports]\ncom03=New\nCOM1=Tuner\nCOM255=Last\n\n"
              "[COM]\nPortNumber= 0\nBaudRate= 9600\n\n[Polling]\nRate= 50\n\n"
              "[TimeOut]\nTime= 500\n\n[ONexit]\nForce_STBY=Yes\n\n"
              "[tiny_Form]\nTop_Location=150\nLeft_Location=\n");
}

// A folder where the file should be is no file, and a port number must hold something.
TEST_F(Store, PortMapTakesOnlyComKeysFrom1To255WithADeviceAndThePortMustBeSet) {
    ASSERT_TRUE(write(exeIni(), "[Ports]\nCOM3 = Amp\ncom12=\tTuner \nCOM0=x\nCOM256=y\nCOM1=a\n"
                                "COM255=b\nCOMX=z\nCOM5=\nLPT2=q\nCOM 4=w\nCOM003=dup\nCOM=c\n"));
    settings.Ports = {{7, "Kept"}};
    store().loadPortMap(settings);
    EXPECT_EQ(settings.Ports,
              (QMap<int, QString>{{1, "a"}, {3, "Amp"}, {7, "Kept"}, {12, "Tuner"}, {255, "b"}}));

    ASSERT_TRUE(write(exeIni(), "[COM]\nPortNumber=   \n"));
    EXPECT_FALSE(store().Ini_Has_Port_Number());
    ASSERT_TRUE(QFile::remove(exeIni()) && QDir().mkpath(exeIni()));
    EXPECT_EQ(store().writePath(), path("user/tarn-vq4400.ini"));
    ASSERT_TRUE(save());
    EXPECT_TRUE(store().Ini_Has_Port_Number());
    EXPECT_FALSE(SettingsStore(path("exe"), "tarn-vq4400", QString())
                     .Save_All_to_ini_file(settings, window));
}

// Where the settings are read from and saved to, as the file and its folder allow.
TEST_F(Store, FileIsSavedInPlaceOnlyWhereThatIsSafeElseInTheUserFolder) {
    const QByteArray kept = "[COM]\nPortNumber= 3\n[Mine]\nonly=here\n",
                     huge = kept + "; " + QByteArray(IniFile::MaxFileSize, 'x');
    const struct {
        const char* name;
        QByteArray text; // empty: no file where the name leads
        mode_t fileMode, folderMode;
        bool link, read, problem, inPlace; // link: the name leads to shared/amp.ini
    } rows[] = {
        {"plain file", kept, 0600, 0777, false, true, false, true},
        {"unreadable file", kept, 0200, 0777, false, false, false, false},
        {"read-only folder", kept, 0600, 0555, false, true, false, false},
        {"under 1M", huge.left(IniFile::MaxFileSize - 1024), 0600, 0777, false, true, false, true},
        {"over 1M", huge.left(IniFile::MaxFileSize + 1), 0600, 0777, false, false, true, false},
        {"link to a writable folder", kept, 0600, 0777, true, true, false, true},
        {"link into a read-only folder", kept, 0600, 0555, true, true, false, false},
        {"dangling link", "", 0600, 0777, true, false, true, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        QTemporaryDir scratch;
        const QString exe = scratch.filePath("exe"),
                      user = scratch.filePath("user/tarn-vq4400.ini"),
                      file =
                          row.link ? scratch.filePath("shared/amp.ini") : exe + "/tarn-vq4400.ini";
        ASSERT_TRUE(QDir().mkpath(exe) && QDir().mkpath(QFileInfo(file).path()) &&
                    (!row.link || QFile::link(file, exe + "/tarn-vq4400.ini")) &&
                    (row.text.isEmpty() || write(file, row.text)));
        // As root, the folders are opened to "nobody" and the file is given to it.
        const auto mode = [](QString p, mode_t m) { ::chmod(QFile::encodeName(p).data(), m); };
        for (const QString& folder : {scratch.path(), exe})
            mode(folder, 0777);
        ::chown(QFile::encodeName(file).constData(), nobody, nobody);
        mode(file, row.fileMode);
        mode(QFileInfo(file).path(), row.folderMode);
        const bool switched = ::geteuid() == 0 && ::setresgid(nobody, nobody, 0) == 0 &&
                              ::setresuid(nobody, nobody, 0) == 0;
        {
            SettingsStore s(exe, "tarn-vq4400", scratch.filePath("user"));
            EXPECT_EQ(s.Ini_Has_Port_Number(), row.read);
            s.Load_All_from_ini_file(settings = Settings{}, window);
            EXPECT_EQ(settings.PortNumber, row.read ? 3 : 0);
            EXPECT_EQ(s.loadProblem().isEmpty(), !row.problem) << s.loadProblem().toStdString();
            EXPECT_TRUE(!row.problem || s.loadProblem().contains(user)) << "says where instead";
            settings.Polling = 70;
            EXPECT_TRUE(s.Save_All_to_ini_file(settings, window));
            s.Load_All_from_ini_file(settings = Settings{}, window);
            EXPECT_EQ(QList({settings.Polling, settings.PortNumber}),
                      QList({70, row.read ? 3 : 0}));
        }
        ASSERT_TRUE(!switched || (::setresuid(0, 0, 0) == 0 && ::setresgid(0, 0, 0) == 0));
        mode(file, 0600);
        mode(QFileInfo(file).path(), 0755);
        EXPECT_EQ(QFileInfo(exe + "/tarn-vq4400.ini").isSymLink(), row.link);
        EXPECT_EQ(QFile::exists(user), !row.inPlace);
        const QByteArray saved = read(row.inPlace ? file : user);
        EXPECT_TRUE(saved.contains("Rate= 70"));
        EXPECT_EQ(saved.contains("only=here"), row.read);
        EXPECT_TRUE(row.inPlace || read(file) == (row.text.isEmpty() ? "<unreadable>" : row.text))
            << "a file that was not saved in place was overwritten";
    }
}

// Files as operators' machines leave them load with defaults for what cannot be used, and the
// next save writes a clean file (that it keeps every other line the app's fault test checks).
TEST_F(Store, BadFilesLoadWithDefaultsAndSaveCleanKeepingEveryOtherLine) {
    const auto junk = [](int seed, int size) {
        QByteArray out;
        for (int i = 0; i < size; ++i)
            out.append(char(seed * 7919 + i * 131 + i / 7));
        return out.replace('[', '{'); // a "[" opening a line would start a section of junk
    };
    const QByteArray bom("\xEF\xBB\xBF");
    ASSERT_TRUE(write(
        exeIni(), bom + junk(1, 3000) + "\r\n; " + QByteArray(5000, 'c') +
                      "\n[COM]\r\nPortNumber= 8\r\nBaudRate= 19200" + QByteArray(2000, ' ') +
                      "x\n" + junk(3, 500) + "\r\n[COM]\rBaudRate= 1200\n" + QByteArray(1500, 'z') +
                      "=1\r\n[Polling]\nRate= 40\r[polling]\nRate= 41\n[" + QByteArray(2000, 'S') +
                      "]\n" + QByteArray(2000, 'k') + "=v\n[Extra]\nlong=" + QByteArray(4000, 'v') +
                      "\n[TimeOut]\nTime= 800\n" + junk(2, 3000)));
    EXPECT_TRUE(store().Ini_Has_Port_Number());
    QByteArray saved;
    // The second round: what was saved is what loads, and saving it again changes nothing.
    for (int round = 0; round < 2; ++round) {
        load();
        store().loadPortMap(settings);
        EXPECT_EQ(
            QList({settings.PortNumber, settings.BaudRate, settings.Polling, settings.TimeOut}),
            QList({8, 19200, 40, 800}));
        EXPECT_TRUE(round == 0 || settings.Top_Location == "1200");
        settings.Top_Location = "1200";
        settings.Left_Location = "-3400";
        ASSERT_TRUE(save());
        EXPECT_TRUE(round == 0 || read(exeIni()) == saved);
        saved = read(exeIni());
    }
    EXPECT_EQ(settingsFileProblems(saved).join("; ").toStdString(), "");
    EXPECT_TRUE(saved.startsWith(bom));
}
