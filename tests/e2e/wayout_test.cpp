// Every way the real executable ends, against the simulated amplifier: what reached the line,
// whether the amplifier's word was waited for, and the exit status that reports it.

#include "support/appprocess.h"
#include "support/simprocess.h"

#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tarn::testing;

namespace {
const QByteArray pollFrame("FB 0C 0C FE"), forceStandby("FB 03 02 05 FE");

// A panel polling the simulator, in operate and keyed from the start: a confirmation means force
// standby took effect.
struct Line : private WithApplication {
    QTemporaryDir dir;
    SimProcess sim{{"--drift", "600000"}};
    AppProcess app{dir.path()};

    explicit Line(const QByteArray& extra = {}, const QProcessEnvironment& display = {}) {
        app.writeIni("[COM]\nPortNumber= 1\n[Ports]\nCOM1=" + sim.endpoint().toUtf8() + "\n" +
                     extra);
        EXPECT_TRUE(app.start(true, display));
        EXPECT_TRUE(waitUntil([&] { return count(pollFrame) >= 3; }, 5000)) << "no polls";
    }
    int count(const QByteArray& frame) const { return int(sim.receivedFrames().count(frame)); }
    // Force standby reached the amplifier exactly once (the log catches up with the line), and
    // how many polls followed it: the exit asking for the amplifier's word.
    int pollsAfterStandby() const {
        if (!waitUntil([&] { return count(forceStandby) >= 1; }, 2000) || count(forceStandby) != 1)
            return -1;
        runFor(200);
        const QList<QByteArray> frames = sim.receivedFrames();
        return int(frames.mid(frames.lastIndexOf(forceStandby)).count(pollFrame));
    }
};
} // namespace

TEST(WayOut, EverySignalAndAKillOrCrashEndTheProgramWithTheAmplifierInStandby) {
    for (const int sig : {SIGTERM, SIGINT, SIGHUP, SIGKILL, SIGSEGV}) {
        SCOPED_TRACE(sig);
        Line l;
        ASSERT_TRUE(l.app.signal(sig));
        const bool handled = sig != SIGKILL && sig != SIGSEGV;
        EXPECT_EQ(!l.app.crashed(), handled);
        EXPECT_TRUE(!handled || l.app.exitCode() == 0) << l.app.errors().toStdString();
        EXPECT_GE(l.pollsAfterStandby(), handled ? 1 : 0) << "not confirmed, or not sent";
    }
    Line off("[ONexit]\nForce_STBY=No\n");
    ASSERT_TRUE(off.app.signal(SIGKILL));
    EXPECT_FALSE(waitUntil([&] { return off.count(forceStandby) > 0; }, 1000)) << "not asked for";

    // A signal while the start-up message is open (a settings file too large to read) ends the
    // program: no fresh event loop keeps a window up that nothing can close any more.
    off.app.writeIni("; " + QByteArray(1100 * 1024, 'x') + "\n");
    ASSERT_TRUE(off.app.start(true));
    runFor(1500); // the message box is up
    ASSERT_TRUE(off.app.running() && off.app.signal(SIGTERM));
    EXPECT_EQ(off.app.exitCode(), 0);
}

// An amplifier that keeps answering but ignores force standby, or that takes it and falls
// silent: the exit says so after a second of asking, unless a second signal cuts it short.
TEST(WayOut, AnUnconfirmedStandbyEndsWithStatusThreeAndASecondSignalEndsTheWait) {
    for (const char* fault : {"deaf on", "silence on", ""}) {
        SCOPED_TRACE(fault);
        Line l;
        l.sim.command(*fault ? fault : "silence on");
        runFor(200);
        const int before = l.count(pollFrame);
        ::kill(pid_t(l.app.pid()), SIGTERM);
        if (!*fault) {
            ASSERT_TRUE(waitUntil([&] { return l.count(forceStandby) == 1; }, 3000));
            ::kill(pid_t(l.app.pid()), SIGTERM);
        }
        ASSERT_TRUE(l.app.waitForFinished(5000));
        EXPECT_EQ(l.app.exitCode(), 3);
        EXPECT_TRUE(l.app.errors().contains("did not confirm standby"));
        EXPECT_GE(l.pollsAfterStandby(), 1);
        // At 20 ms a poll, a whole second of asking is dozens; a cut-short one is a few.
        EXPECT_EQ(l.count(pollFrame) - before >= 25, *fault != 0);
    }
}

// The display connection breaks: the toolkit ends the process, and force standby still goes
// out and is waited for on the way.
TEST(WayOut, TheDisplayGoingAwayStillSendsForceStandby) {
    if (QStandardPaths::findExecutable("Xvfb").isEmpty())
        GTEST_SKIP() << "needs Xvfb (scripts/install-deps.sh)";
    WithApplication qt;
    QProcess xvfb;
    xvfb.start("Xvfb", {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
    ASSERT_TRUE(waitUntil([&] { return xvfb.canReadLine(); }, 10000));
    QProcessEnvironment display;
    display.insert("DISPLAY", ":" + QString::fromLatin1(xvfb.readLine()).trimmed());
    display.insert("QT_QPA_PLATFORM", "xcb");
    Line l({}, display);
    xvfb.kill();
    ASSERT_TRUE(xvfb.waitForFinished(5000));
    ASSERT_TRUE(l.app.waitForFinished(5000));
    EXPECT_FALSE(l.app.crashed());
    EXPECT_GE(l.pollsAfterStandby(), 1) << "not sent, or its confirmation not waited for";
    EXPECT_EQ(l.app.exitCode(), 1) << "confirmed: the toolkit's own status stands";
}
