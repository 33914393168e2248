// The panel killed at any moment while it saves its settings: the file is always the old or
// the new version, complete, never a mix, never cut short, never gone. A helper saves two
// versions in turn, over and over, and is killed with SIGKILL after a random number of saves
// and a random fraction of one more, so the kill lands anywhere inside a save.

#include "savepair.h"
#include "settings/settingsstore.h"
#include "support/pty.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <csignal>
#include <cstdio>
#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::testing;

namespace {
constexpr int Kills = 50;

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// Reads the helper's progress lines until it reports `saves` saves; false when it stops first.
bool waitForSaves(QProcess& loop, long saves) {
    long done = 0;
    while (done < saves) {
        if (!loop.canReadLine() && !loop.waitForReadyRead(5000))
            return false;
        while (loop.canReadLine())
            done = loop.readLine().trimmed().toLong();
    }
    return true;
}
} // namespace

TEST(CrashSafety, KilledDuringSavesLeavesTheOldOrTheNewFileWhole) {
    WithApplication qt;
    // The two versions as saves write them over each other.
    QTemporaryDir scratch;
    ASSERT_TRUE(scratch.isValid());
    settings::SettingsStore store(scratch.path(), "tarn-vq4400", scratch.filePath("user"));
    const QString scratchIni = scratch.filePath("tarn-vq4400.ini");
    QByteArray versions[2];
    for (int which : {0, 1, 0}) {
        ASSERT_TRUE(store.Save_All_to_ini_file(savePair(which), FixedPlacement(which)));
        const QByteArray text = readFile(scratchIni);
        if (!versions[which].isEmpty()) {
            ASSERT_EQ(text, versions[which]) << "a save over the other version differs";
        }
        versions[which] = text;
    }
    ASSERT_NE(versions[0].size(), versions[1].size());

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString ini = dir.filePath("tarn-vq4400.ini");
    ASSERT_TRUE(QFile::copy(scratchIni, ini));
    QRandomGenerator random(20261206);
    int found[2] = {0, 0};
    long savesBeforeKills = 0;
    for (int kill = 0; kill < Kills; ++kill) {
        QProcess loop;
        loop.start(QStringLiteral(TARN_SAVE_LOOP_PATH), {dir.path()});
        ASSERT_TRUE(loop.waitForStarted(5000));
        const long saves = 1 + long(random.bounded(200));
        ASSERT_TRUE(waitForSaves(loop, saves)) << "the helper stopped saving";
        // A further random fraction of a save cycle (under 2 ms), so the kills land in every
        // part of a save: reading the old file, writing the new one, renaming it into place.
        const qint64 extraNs = qint64(random.bounded(2'000'000));
        QElapsedTimer spin;
        spin.start();
        while (spin.nsecsElapsed() < extraNs) {
        }
        ASSERT_EQ(::kill(pid_t(loop.processId()), SIGKILL), 0);
        ASSERT_TRUE(loop.waitForFinished(5000));
        EXPECT_EQ(loop.exitStatus(), QProcess::CrashExit);
        savesBeforeKills += saves;

        const QByteArray now = readFile(ini);
        const int which = now == versions[0] ? 0 : now == versions[1] ? 1 : -1;
        ASSERT_NE(which, -1) << "after kill " << kill << " the file is neither version ("
                             << now.size() << " bytes)";
        ++found[which];
    }
    // Kills after an even and an odd number of saves both came out whole.
    EXPECT_GT(found[0], 0);
    EXPECT_GT(found[1], 0);
    // A save killed before its rename can leave its temporary file behind (no process can
    // tidy up after SIGKILL); anything else beside the settings file would be a fault.
    static const QRegularExpression temporary(R"(^tarn-vq4400\.ini\.[A-Za-z0-9]{6}$)");
    for (const QString& name :
         QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name))
        EXPECT_TRUE(name == "tarn-vq4400.ini" || temporary.match(name).hasMatch())
            << name.toStdString();
    std::printf("crash safety: %d kills with SIGKILL after %ld saves in all; the file was the "
                "first version %d times, the second %d times, never anything else\n",
                Kills, savesBeforeKills, found[0], found[1]);
}
