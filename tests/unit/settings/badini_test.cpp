// Settings files as operators' machines leave them: binary junk, endless lines, sections and
// keys twice, old Mac and Windows line ends, a byte-order mark, no read permission. Loading
// never fails, defaults stand in for what cannot be used, and the next save writes a clean
// file that keeps every line the panel does not own.

#include "settings/inifile.h"
#include "settings/settingsstore.h"
#include "support/inicheck.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tarn::settings;
using namespace tarn::testing;

namespace {

struct Placement : WindowPlacement {
    int topTwips = 0;
    int leftTwips = 0;
    bool isNormalState() const override { return true; }
    int top() const override { return topTwips; }
    int left() const override { return leftTwips; }
    void setTop(int twips) override { topTwips = twips; }
    void setLeft(int twips) override { leftTwips = twips; }
};

QByteArray junk(quint32 seed, int size) {
    QRandomGenerator random(seed);
    QByteArray out(size, Qt::Uninitialized);
    for (char& c : out)
        c = char(random.bounded(256));
    // A stray "[" opening a line would start a section of junk; keep the junk junk.
    out.replace('[', '{');
    return out;
}

struct BadFile {
    const char* name;
    QByteArray text;
    // What the load must give; anything unusable keeps the default.
    int portNumber;
    int baudRate;
    int polling;
    int timeOut;
};

QList<BadFile> badFiles() {
    const QByteArray bom("\xEF\xBB\xBF");
    return {
        {"binary junk around the sections",
         junk(1, 3000) + "\n[COM]\nPortNumber= 3\nBaudRate=\xFF\xFE\n[Polling]\nRate=" +
             QByteArray("\0\x01", 2) + "\n" + junk(2, 3000),
         3, 9600, 50, 500},
        {"lines over 1023 characters",
         "; " + QByteArray(5000, 'c') + "\n[COM]\nPortNumber= 2\nBaudRate= 19200" +
             QByteArray(2000, ' ') + "x\n[Polling]\nRate= " + QByteArray(3000, '7') + "\n[" +
             QByteArray(2000, 'S') + "]\n" + QByteArray(2000, 'k') +
             "=v\n[Extra]\nlong=" + QByteArray(4000, 'v') + "\n[TimeOut]\nTime= 800\n",
         2, 19200, 50, 800},
        {"sections and keys twice",
         "[COM]\nPortNumber= 4\nportnumber= 9\n[Polling]\nRate= 20\n[com]\nPortNumber= 7\n"
         "BaudRate= 4800\n[POLLING]\nRate= 30\n",
         4, 9600, 20, 500},
        {"CR line ends", "[COM]\rPortNumber= 5\r[Polling]\rRate= 25\r[Mine]\rkeep=this\r", 5, 9600,
         25, 500},
        {"CR LF line ends and a byte-order mark",
         bom + "; settings\r\n[COM]\r\nPortNumber= 6\r\n[TimeOut]\r\nTime= 750\r\n[Mine]\r\n"
               "keep=this\r\n",
         6, 9600, 50, 750},
        {"everything at once",
         bom + "[COM]\r\nPortNumber= 8\r\n" + junk(3, 500) + "\r\n[COM]\rBaudRate= 1200\n" +
             QByteArray(1500, 'z') + "=1\r\n[Polling]\nRate= 40\r[polling]\nRate= 41\n",
         8, 9600, 40, 500},
    };
}

// The key lines the panel owns; a save may rewrite these and nothing else.
bool isSettingsKeyLine(const QByteArray& line) {
    static const QRegularExpression keys(
        QStringLiteral("^[ \\t]*(PortNumber|BaudRate|Rate|Time|AlwaysOnTop|Top_Location|"
                       "Left_Location|Size|Force_STBY)[ \\t]*="),
        QRegularExpression::CaseInsensitiveOption);
    return keys.match(QString::fromLatin1(line)).hasMatch();
}

// Root reads and writes whatever the permission bits say, so as root a check of them runs as
// "nobody", real and effective, with root kept as the saved ID to come back to.
constexpr uid_t nobody = 65534;
struct RunAs {
    bool switched = false;
    explicit RunAs(bool asNobody) {
        switched =
            asNobody && ::setresgid(nobody, nobody, 0) == 0 && ::setresuid(nobody, nobody, 0) == 0;
    }
    ~RunAs() {
        if (switched) {
            [[maybe_unused]] const int u = ::setresuid(0, 0, 0);
            [[maybe_unused]] const int g = ::setresgid(0, 0, 0);
        }
    }
};

// Readable failure messages: one line per problem.
std::string problemsOf(const QByteArray& text, IniExpectations expect = {}) {
    return settingsFileProblems(text, expect).join(QStringLiteral("; ")).toStdString();
}

class BadIniTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        ASSERT_TRUE(QDir(tmp.path()).mkpath("exe"));
    }
    QString exeDir() const { return tmp.filePath("exe"); }
    QString exeIni() const { return tmp.filePath("exe/tarn-vq4400.ini"); }
    QString userIni() const { return tmp.filePath("user/tarn-vq4400.ini"); }
    SettingsStore store() const {
        return SettingsStore(exeDir(), "tarn-vq4400", tmp.filePath("user"));
    }

    static void write(const QString& path, const QByteArray& text) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(text), text.size());
    }
    static QByteArray read(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
    }

    QTemporaryDir tmp;
};

} // namespace

TEST_F(BadIniTest, BadFilesLoadWithDefaultsAndSaveCleanKeepingEveryOtherLine) {
    for (const BadFile& bad : badFiles()) {
        SCOPED_TRACE(bad.name);
        write(exeIni(), bad.text);
        SettingsStore s = store();
        Settings settings;
        Placement window;
        EXPECT_TRUE(s.Ini_Has_Port_Number());
        s.loadPortMap(settings);
        s.Load_All_from_ini_file(settings, window);
        EXPECT_EQ(settings.PortNumber, bad.portNumber);
        EXPECT_EQ(settings.BaudRate, bad.baudRate);
        EXPECT_EQ(settings.Polling, bad.polling);
        EXPECT_EQ(settings.TimeOut, bad.timeOut);

        settings.Top_Location = "1200";
        settings.Left_Location = "3400";
        ASSERT_TRUE(s.Save_All_to_ini_file(settings, window));
        const QByteArray saved = read(exeIni());
        EXPECT_EQ(problemsOf(saved), "");
        for (const QByteArray& line : linesLost(iniLines(bad.text), iniLines(saved)))
            EXPECT_TRUE(isSettingsKeyLine(line)) << "lost: " << line.left(80).toStdString();
        EXPECT_EQ(saved.startsWith("\xEF\xBB\xBF"), bad.text.startsWith("\xEF\xBB\xBF"));

        // What was saved is what loads, and saving it again changes nothing.
        Settings again;
        Placement placed;
        s.Load_All_from_ini_file(again, placed);
        EXPECT_EQ(again.PortNumber, settings.PortNumber);
        EXPECT_EQ(again.BaudRate, settings.BaudRate);
        EXPECT_EQ(again.Polling, settings.Polling);
        EXPECT_EQ(again.TimeOut, settings.TimeOut);
        EXPECT_EQ(again.Top_Location, "1200");
        ASSERT_TRUE(s.Save_All_to_ini_file(again, placed));
        EXPECT_EQ(read(exeIni()), saved);
    }
}

TEST_F(BadIniTest, NewLinesFollowTheLineEndsTheFileAlreadyUses) {
    write(exeIni(), "[Mine]\rkeep=this\r");
    Settings settings;
    Placement window;
    ASSERT_TRUE(store().Save_All_to_ini_file(settings, window));
    const QByteArray crOnly = read(exeIni());
    EXPECT_FALSE(crOnly.contains('\n'));
    EXPECT_TRUE(crOnly.startsWith("[Mine]\rkeep=this\r"));
    EXPECT_EQ(problemsOf(crOnly, {false}), "");

    write(exeIni(), "\xEF\xBB\xBF[Mine]\r\nkeep=this\r\n");
    ASSERT_TRUE(store().Save_All_to_ini_file(settings, window));
    const QByteArray crLf = read(exeIni());
    EXPECT_EQ(crLf.count('\n'), crLf.count("\r\n"));
    EXPECT_EQ(crLf.count('\r'), crLf.count("\r\n"));
    EXPECT_EQ(problemsOf(crLf, {false}), "");
}

TEST_F(BadIniTest, FileWithoutReadPermissionIsNeverOverwritten) {
    const bool root = ::geteuid() == 0;
    const QByteArray kept = "[COM]\nPortNumber= 3\n[Mine]\nonly=here\n";
    write(exeIni(), kept);
    const QByteArray folder = QFile::encodeName(tmp.path());
    const QByteArray exe = QFile::encodeName(exeDir());
    const QByteArray file = QFile::encodeName(exeIni());
    if (root) {
        ASSERT_EQ(::chmod(folder.constData(), 0777), 0);
        ASSERT_EQ(::chmod(exe.constData(), 0777), 0);
        ASSERT_EQ(::chown(file.constData(), nobody, nobody), 0);
    }
    ASSERT_EQ(::chmod(file.constData(), 0200), 0);

    {
        const RunAs user(root);
        ASSERT_EQ(user.switched, root);
        QFile probe(exeIni());
        ASSERT_FALSE(probe.open(QIODevice::ReadOnly)) << "the file must be unreadable here";

        SettingsStore s = store();
        EXPECT_FALSE(s.Ini_Has_Port_Number());
        Settings settings;
        Placement window;
        s.Load_All_from_ini_file(settings, window);
        EXPECT_EQ(settings.PortNumber, 0);
        settings.Polling = 70;
        EXPECT_TRUE(s.Save_All_to_ini_file(settings, window));
        EXPECT_EQ(s.writePath().toStdString(), userIni().toStdString());
    }
    ASSERT_EQ(::chmod(file.constData(), 0600), 0);
    EXPECT_EQ(read(exeIni()), kept) << "a file we could not read was replaced";
    const QByteArray user = read(userIni());
    EXPECT_TRUE(user.contains("Rate= 70")) << user.constData();
    EXPECT_EQ(problemsOf(user, {false}), "");
}

TEST_F(BadIniTest, LinkedFileIsSavedWhereItLeadsOrElseInTheUserFolder) {
    const struct {
        const char* name;
        bool targetExists;
        mode_t targetFolderMode;
    } cases[] = {
        {"link to a writable folder", true, 0777},
        {"link into a read-only folder", true, 0555},
        {"dangling link", false, 0777},
    };
    const bool root = ::geteuid() == 0;
    const QByteArray kept = "[COM]\nPortNumber= 3\n[Mine]\nonly=here\n";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir scratch;
        const QString target = scratch.filePath("shared/amp.ini");
        const QString exeDir = scratch.filePath("exe");
        const QString userIni = scratch.filePath("user/tarn-vq4400.ini");
        ASSERT_TRUE(QDir().mkpath(scratch.filePath("shared")) && QDir().mkpath(exeDir));
        ASSERT_TRUE(QFile::link(target, exeDir + "/tarn-vq4400.ini"));
        if (c.targetExists)
            write(target, kept);
        // As root, the folders are opened to "nobody" and the target is given to it.
        for (const char* dir : {"", "exe"})
            ::chmod(QFile::encodeName(scratch.filePath(dir)).constData(), 0777);
        ::chmod(QFile::encodeName(scratch.filePath("shared")).constData(), c.targetFolderMode);
        ::chown(QFile::encodeName(target).constData(), nobody, nobody);
        {
            const RunAs user(root);
            SettingsStore s(exeDir, "tarn-vq4400", scratch.filePath("user"));
            Settings settings;
            Placement window;
            s.Load_All_from_ini_file(settings, window);
            EXPECT_EQ(settings.PortNumber, c.targetExists ? 3 : 0);
            // Only a link that leads nowhere is worth telling the operator about.
            EXPECT_EQ(s.loadProblem().isEmpty(), c.targetExists);
            settings.Polling = 70;
            EXPECT_TRUE(s.Save_All_to_ini_file(settings, window));
        }
        const bool inPlace = c.targetExists && c.targetFolderMode == 0777;
        EXPECT_TRUE(QFileInfo(exeDir + "/tarn-vq4400.ini").isSymLink());
        EXPECT_EQ(QFile::exists(userIni), !inPlace);
        EXPECT_TRUE(read(inPlace ? target : userIni).contains("Rate= 70"));
        EXPECT_EQ(read(inPlace ? target : userIni).contains("only=here"), c.targetExists);
        if (!inPlace) {
            EXPECT_EQ(read(target), c.targetExists ? kept : QByteArray("<unreadable>"));
        }
        ::chmod(QFile::encodeName(scratch.filePath("shared")).constData(), 0755);
    }
}

TEST_F(BadIniTest, FileOverOneMebibyteIsNeitherReadNorOverwritten) {
    const QByteArray head = "[COM]\nPortNumber= 3\n[Polling]\nRate= 20\n; ";
    const QString userIni = tmp.filePath("user/tarn-vq4400.ini");
    // The smaller one leaves room for the keys a save adds.
    for (const qint64 size : {IniFile::MaxFileSize - 1024, IniFile::MaxFileSize + 1}) {
        SCOPED_TRACE(size);
        QFile::remove(userIni);
        const QByteArray text = head + QByteArray(size - head.size(), 'x');
        write(exeIni(), text);
        const bool readable = size <= IniFile::MaxFileSize;
        SettingsStore s = store();
        Settings settings;
        Placement window;
        s.Load_All_from_ini_file(settings, window);
        EXPECT_EQ(settings.Polling, readable ? 20 : 50);
        EXPECT_EQ(s.loadProblem().isEmpty(), readable);
        EXPECT_EQ(s.loadProblem().contains(QDir::toNativeSeparators(userIni)), !readable);

        settings.Polling = 70;
        ASSERT_TRUE(s.Save_All_to_ini_file(settings, window));
        EXPECT_EQ(read(exeIni()) == text, !readable);
        EXPECT_EQ(QFile::exists(userIni), !readable);
        Settings again;
        s.Load_All_from_ini_file(again, window);
        EXPECT_EQ(again.Polling, 70);
    }
}
