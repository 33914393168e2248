// The real tarn-vq4400 started with settings files as operators' machines leave them: it
// comes up, uses what it can (it polls the simulator on the port the file names), and at
// SIGTERM saves a clean file that keeps every line it does not own. A file it cannot read is
// never replaced, and a folder where the file should be is left alone.

#include "support/appprocess.h"
#include "support/inicheck.h"
#include "support/pty.h"
#include "support/simprocess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tarn;
using namespace tarn::testing;

namespace {

QByteArray junk(quint32 seed, int size) {
    QRandomGenerator random(seed);
    QByteArray out(size, Qt::Uninitialized);
    for (char& c : out)
        c = char(random.bounded(256));
    out.replace('[', '{'); // junk, not sections of junk
    return out;
}

bool isSettingsKeyLine(const QByteArray& line) {
    static const QRegularExpression keys(
        QStringLiteral("^[ \\t]*(PortNumber|BaudRate|Rate|Time|AlwaysOnTop|Top_Location|"
                       "Left_Location|Size|Force_STBY)[ \\t]*="),
        QRegularExpression::CaseInsensitiveOption);
    return keys.match(QString::fromLatin1(line)).hasMatch();
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

bool writeFile(const QString& path, const QByteArray& text) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(text) == text.size();
}

} // namespace

class AppWithBadIni : public ::testing::Test, private WithApplication {
protected:
    int polls() const { return int(sim.log().count("RX FB 0C 0C FE")); }
    // The panel is up and using the file once the simulator hears its polls.
    void runUntilPolledThenTerminate() {
        const int before = polls();
        const auto standbys = [&] { return sim.log().count("RX FB 03 02 05 FE"); };
        const qsizetype standbysBefore = standbys();
        ASSERT_TRUE(app.start());
        EXPECT_TRUE(waitUntil([&] { return polls() >= before + 3; }, 5000))
            << "the panel did not poll the port its settings name";
        ASSERT_TRUE(app.terminate()) << "no clean end on SIGTERM";
        EXPECT_TRUE(waitUntil([&] { return standbys() == standbysBefore + 1; }, 2000));
    }
    QByteArray portLines(const char* eol) const {
        return QByteArray("[COM]") + eol + "PortNumber= 1" + eol + "[Ports]" + eol +
               "COM1=" + sim.endpoint().toUtf8() + eol;
    }

    QTemporaryDir dir;
    SimProcess sim{{}};
    AppProcess app{dir.path()};
};

TEST_F(AppWithBadIni, JunkFilesAreUsedAsFarAsTheyGoAndSavedCleanAtExit) {
    struct Case {
        const char* name;
        QByteArray text;
        QByteArray lineEnd; // the file's own, which new lines follow; empty when mixed
    };
    const QByteArray bom("\xEF\xBB\xBF");
    const QList<Case> cases = {
        {"binary junk, lines over 1023 characters, sections and keys twice",
         junk(7, 2000) + "\n" + portLines("\n") + "BaudRate=\xFF\xFE" + QByteArray(1500, ' ') +
             "\n; " + QByteArray(4000, 'c') + "\n[Polling]\nRate= 20" + QByteArray(2000, 'x') +
             "\n[com]\nPortNumber= 9\n[POLLING]\nRate= 30\n" + QByteArray(3000, 'k') + "=v\n" +
             junk(8, 2000),
         ""},
        {"CR line ends", portLines("\r") + "[Mine]\rkeep=this\r", "\r"},
        {"CR LF line ends and a byte-order mark",
         bom + "; settings\r\n" + portLines("\r\n") + "[Mine]\r\nkeep=this\r\n", "\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        app.writeIni(c.text);
        runUntilPolledThenTerminate();
        const QByteArray saved = app.ini();
        EXPECT_EQ(settingsFileProblems(saved).join("; ").toStdString(), "");
        for (const QByteArray& line : linesLost(iniLines(c.text), iniLines(saved)))
            EXPECT_TRUE(isSettingsKeyLine(line)) << "lost: " << line.left(80).toStdString();
        EXPECT_EQ(saved.startsWith(bom), c.text.startsWith(bom));
        if (c.lineEnd == "\r\n") {
            EXPECT_EQ(saved.count('\n'), saved.count("\r\n")) << "line ends mixed in";
            EXPECT_EQ(saved.count('\r'), saved.count("\r\n")) << "line ends mixed in";
        } else if (c.lineEnd == "\r") {
            EXPECT_FALSE(saved.contains('\n')) << "line ends mixed in";
        }
        const settings::IniFile parsed = settings::IniFile::parse(saved);
        EXPECT_EQ(parsed.value("COM", "PortNumber"), "1");
        EXPECT_EQ(parsed.value("COM", "BaudRate"), "9600");
    }
}

TEST_F(AppWithBadIni, FolderWhereTheFileShouldBeIsLeftAloneForTheUsersOwnFile) {
    ASSERT_TRUE(QDir().mkpath(app.iniPath()));
    ASSERT_TRUE(writeFile(app.iniPath() + "/keep", "mine"));
    const QString userDir = dir.filePath("config/tarn-vq4400");
    ASSERT_TRUE(QDir().mkpath(userDir));
    const QString userIni = userDir + "/tarn-vq4400.ini";
    ASSERT_TRUE(writeFile(userIni, portLines("\n") + "[Mine]\nkeep=this\n"));
    runUntilPolledThenTerminate();
    EXPECT_TRUE(QFileInfo(app.iniPath()).isDir());
    EXPECT_EQ(QDir(app.iniPath()).entryList(QDir::Files), QStringList{"keep"});
    const QByteArray saved = readFile(userIni);
    EXPECT_EQ(settingsFileProblems(saved).join("; ").toStdString(), "");
    EXPECT_TRUE(saved.contains("[Mine]\nkeep=this\n"));
}

TEST_F(AppWithBadIni, FileWithoutReadPermissionIsNeverReplaced) {
    // Root reads whatever the permission bits say; as root the panel runs as "nobody".
    constexpr uid_t nobody = 65534;
    const bool root = ::geteuid() == 0;
    if (root && QStandardPaths::findExecutable("setpriv").isEmpty())
        GTEST_SKIP() << "running as root without setpriv: no way to be a user that cannot read";
    const QByteArray kept = portLines("\n") + "[Mine]\nonly=here\n";
    ASSERT_TRUE(writeFile(app.iniPath(), kept));
    const QString userDir = dir.filePath("config/tarn-vq4400");
    ASSERT_TRUE(QDir().mkpath(userDir));
    const QString userIni = userDir + "/tarn-vq4400.ini";
    ASSERT_TRUE(writeFile(userIni, portLines("\n")));
    const QByteArray file = QFile::encodeName(app.iniPath());
    if (root) {
        for (const QString& path : {dir.path(), dir.filePath("config"), userDir, userIni})
            ASSERT_EQ(::chown(QFile::encodeName(path).constData(), nobody, nobody), 0);
        ASSERT_EQ(::chown(file.constData(), nobody, nobody), 0);
        ASSERT_EQ(::chmod(QFile::encodeName(sim.endpoint()).constData(), 0666), 0);
    }
    ASSERT_EQ(::chmod(file.constData(), 0200), 0);

    QProcess panel;
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_CONFIG_HOME", dir.filePath("config"));
    panel.setProcessEnvironment(env);
    panel.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    if (root)
        panel.start("setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups", app.exePath()});
    else
        panel.start(app.exePath(), {});
    ASSERT_TRUE(panel.waitForStarted(5000));
    EXPECT_TRUE(waitUntil([&] { return polls() >= 3; }, 5000))
        << "the panel did not fall back to its per-user file";
    panel.terminate();
    ASSERT_TRUE(panel.waitForFinished(5000));
    EXPECT_EQ(panel.exitStatus(), QProcess::NormalExit);

    ASSERT_EQ(::chmod(file.constData(), 0600), 0);
    EXPECT_EQ(readFile(app.iniPath()), kept) << "a file the panel could not read was replaced";
    EXPECT_EQ(settingsFileProblems(readFile(userIni)).join("; ").toStdString(), "");
}
