// The real tarn-vq4400 executable against the simulated amplifier over a pseudo-terminal, with
// settings files as operators' machines leave them, and its settings file when it is killed in
// the middle of a save.

#include "settings/settingsstore.h"
#include "support/appprocess.h"
#include "support/inicheck.h"
#include "support/recordingviews.h"
#include "support/simprocess.h"
#include <QDir>

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <csignal>
#include <cstdio>
#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::testing;

namespace {
QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

// The crash test's two settings files differ in their first and last lines and in length, so
// one cut short or mixed from both is never taken for either.
bool saveVersion(settings::SettingsStore& store, int which) {
    settings::Settings s;
    s.PortNumber = 3 + which;
    s.Ports = {{1, QString(300 + 300 * which, 'a')}};
    FakePlacement place;
    return store.Save_All_to_ini_file(s, place);
}
// This binary started with TARN_SAVE_LOOP=FOLDER is the crash test's victim: it saves the two
// versions there in turn until it is killed, printing the count after every save.
[[maybe_unused]] const bool saveLoop = [] {
    const QString folder = qEnvironmentVariable("TARN_SAVE_LOOP");
    if (folder.isEmpty())
        return false;
    settings::SettingsStore store(folder, "tarn-vq4400", folder + "/user");
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    for (long n = 1; saveVersion(store, int(n % 2)); ++n)
        std::printf("%ld\n", n);
    std::_Exit(1);
}();
} // namespace

// The panel polls the port its file names and logs what it hears when told to; at exit it sends
// force standby last unless told not to, and saves the file clean, keeping every line it does
// not own and the file's own line ends.
TEST(RealApp, SettingsFilesAsOperatorsLeaveThemAreUsedAndSavedCleanAtExit) {
    WithApplication qt;
    QTemporaryDir dir;
    SimProcess sim({});
    AppProcess app(dir.path());
    const auto count = [&](const char* frame) { return int(sim.receivedFrames().count(frame)); };
    const auto portIni = [&](const char* eol) {
        return QByteArray("[COM]") + eol + "PortNumber= 1" + eol + "[Ports]" + eol +
               "COM1=" + sim.endpoint().toUtf8() + eol;
    };
    const QByteArray bom("\xEF\xBB\xBF"), poll("FB 0C 0C FE");
    const QByteArray csv = dir.filePath("amp.csv").toUtf8();
    // Rows past the header in the day's files: a run may cross midnight.
    const auto rowsLogged = [&] {
        qsizetype rows = 0;
        for (const QString& f : QDir(dir.path()).entryList({"amp-*.csv"}))
            rows += std::max<qsizetype>(0, readFile(dir.filePath(f)).count('\n') - 1);
        return rows;
    };
    struct Row {
        const char* name;
        QByteArray text;
        QByteArray eol;
        int rateMs; // 0: not checked
        bool standby;
    };
    const Row rows[] = {
        {"polling every 20 ms, logging",
         portIni("\n") + "[Polling]\nRate= 20\n[Log]\nRunning=Yes\nPath=" + csv + "\n", "\n", 20,
         true},
        {"CR line ends, no force standby",
         portIni("\r") + "[Mine]\rkeep=this\r[ONexit]\rForce_STBY=No\r", "\r", 50, false},
        {"a binary line over 1023 characters, the port section twice",
         QByteArray(2000, '\x9C') + "\n" + portIni("\n") + "[com]\nPortNumber= 9\n", "\n", 0, true},
        {"CR LF line ends and a byte-order mark",
         bom + "; settings\r\n" + portIni("\r\n") + "[Mine]\r\nkeep=this\r\n", "\r\n", 0, true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        app.writeIni(r.text);
        const int before = count(poll);
        ASSERT_TRUE(app.start());
        ASSERT_TRUE(waitUntil([&] { return count(poll) >= before + 3; }, 5000))
            << "no polls on the port the settings name";
        ASSERT_TRUE(app.terminate()) << "no clean end on SIGTERM";

        const QByteArray saved = app.ini();
        EXPECT_EQ(settingsFileProblems(saved).join("; ").toStdString(), "");
        EXPECT_EQ(linesLost(iniLines(r.text), iniLines(saved)), QList<QByteArray>{});
        EXPECT_EQ(saved.startsWith(bom), r.text.startsWith(bom));
        QByteArray rest = saved;
        EXPECT_FALSE(rest.replace(r.eol, "").contains('\r') || rest.contains('\n')) << "mixed";
        const settings::IniFile ini = settings::IniFile::parse(saved);
        EXPECT_EQ(ini.value("COM", "PortNumber"), "1");
        EXPECT_EQ(ini.value("ONexit", "Force_STBY"), r.standby ? "Yes" : "No");
        EXPECT_TRUE(!r.rateMs || ini.value("Polling", "Rate") == QString::number(r.rateMs));
        EXPECT_TRUE(!r.text.contains(csv) || rowsLogged() >= 1) << "no rows logged";
    }
}

// Killed with SIGKILL after a random number of saves and a random fraction of one more, so the
// kill lands in every part of a save; the file is always the old or the new version, whole.
TEST(CrashSafety, KilledDuringSavesLeavesTheOldOrTheNewFileWhole) {
    WithApplication qt;
    QTemporaryDir dir;
    const QString ini = dir.filePath("tarn-vq4400.ini");
    settings::SettingsStore store(dir.path(), "tarn-vq4400", dir.filePath("user"));
    QByteArray versions[2];
    for (int which : {1, 0}) {
        ASSERT_TRUE(saveVersion(store, which));
        versions[which] = readFile(ini);
    }
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert("TARN_SAVE_LOOP", dir.path());
    QRandomGenerator random(20261206);
    int found[2] = {0, 0};
    for (int kill = 0; kill < 50; ++kill) {
        QProcess loop;
        loop.setProcessEnvironment(env);
        loop.start(QCoreApplication::applicationFilePath(), {});
        const long saves = 1 + long(random.bounded(200));
        long done = 0;
        while (done < saves && (loop.canReadLine() || loop.waitForReadyRead(5000)))
            while (loop.canReadLine())
                done = loop.readLine().trimmed().toLong();
        ASSERT_GE(done, saves) << "the saver stopped";
        const qint64 extraNs = qint64(random.bounded(2'000'000)); // under one save
        QElapsedTimer spin;
        for (spin.start(); spin.nsecsElapsed() < extraNs;) {
        }
        ASSERT_EQ(::kill(pid_t(loop.processId()), SIGKILL), 0);
        ASSERT_TRUE(loop.waitForFinished(5000));
        const QByteArray now = readFile(ini);
        const int which = now == versions[0] ? 0 : now == versions[1] ? 1 : -1;
        ASSERT_NE(which, -1) << "after kill " << kill << " the file is neither version";
        ++found[which];
    }
    EXPECT_TRUE(found[0] && found[1]) << "kills after an odd and an even number of saves";
}
