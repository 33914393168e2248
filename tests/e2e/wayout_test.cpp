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

struct Line : private WithApplication {
    QTemporaryDir dir;
    // In operate and keyed from the start: a confirmation means force standby took effect.
    SimProcess sim{{"--drift", "600000"}};
    AppProcess app{dir.path()};

    QByteArray ini(const QByteArray& extra = {}) const {
        return "[COM]\nPortNumber= 1\n[Ports]\nCOM1=" + sim.endpoint().toUtf8() + "\n" + extra;
    }
    int count(const QByteArray& frame) const { return int(sim.receivedFrames().count(frame)); }
    // The simulator's log catches up with what it read.
    bool standbyReceived() const {
        return waitUntil([&] { return count(forceStandby) >= 1; }, 2000);
    }
    bool polled(int atLeast = 3) const {
        return waitUntil([&] { return count(pollFrame) >= atLeast; }, 5000);
    }
    // Polls that followed force standby: the exit asking for the amplifier's word.
    int pollsAfterStandby() const {
        const QList<QByteArray> frames = sim.receivedFrames();
        const auto at = frames.lastIndexOf(forceStandby);
        return at < 0 ? -1 : int(frames.mid(at).count(pollFrame));
    }
};
} // namespace

TEST(WayOut, EachSignalSendsForceStandbyAndWaitsForTheAmplifiersWord) {
    for (const int sig : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(sig);
        Line l;
        l.app.writeIni(l.ini());
        ASSERT_TRUE(l.app.start(true));
        ASSERT_TRUE(l.polled());
        ASSERT_TRUE(l.app.signal(sig));
        EXPECT_FALSE(l.app.crashed());
        EXPECT_EQ(l.app.exitCode(), 0) << l.app.errors().toStdString();
        EXPECT_TRUE(l.standbyReceived());
        EXPECT_EQ(l.count(forceStandby), 1);
        EXPECT_GE(l.pollsAfterStandby(), 1) << "confirmed without asking";
    }

    Line off;
    off.app.writeIni(off.ini("[ONexit]\nForce_STBY=No\n"));
    ASSERT_TRUE(off.app.start(true));
    ASSERT_TRUE(off.polled());
    ASSERT_TRUE(off.app.signal(SIGTERM));
    EXPECT_EQ(off.app.exitCode(), 0);
    EXPECT_FALSE(off.standbyReceived());
}

// The amplifier takes the frame but never answers: the exit says so after a second of asking;
// a second signal cuts that second short.
TEST(WayOut, AnUnconfirmedStandbyEndsWithStatusThreeAndASecondSignalEndsTheWait) {
    for (const bool twice : {false, true}) {
        SCOPED_TRACE(twice);
        Line l;
        l.app.writeIni(l.ini());
        ASSERT_TRUE(l.app.start(true));
        ASSERT_TRUE(l.polled());
        l.sim.command("silence on");
        runFor(200);
        const int before = l.count(pollFrame);
        ::kill(pid_t(l.app.pid()), SIGTERM);
        if (twice) {
            ASSERT_TRUE(waitUntil([&] { return l.count(forceStandby) == 1; }, 3000));
            ::kill(pid_t(l.app.pid()), SIGTERM);
        }
        ASSERT_TRUE(l.app.waitForFinished(5000));
        EXPECT_EQ(l.app.exitCode(), 3);
        EXPECT_TRUE(l.app.errors().contains("did not confirm standby"));
        EXPECT_TRUE(l.standbyReceived());
        runFor(300);
        // At 20 ms a pollFrame, a whole second of asking is dozens; a cut-short one is a few.
        if (twice)
            EXPECT_LT(l.count(pollFrame) - before, 25);
        else
            EXPECT_GE(l.count(pollFrame) - before, 25);
    }
}

// A signal while the start-up message is open (a settings file too large to read) ends the
// program: no fresh event loop keeps a window up that nothing can close any more.
TEST(WayOut, ASignalDuringTheStartUpMessageEndsTheProgram) {
    Line l;
    l.app.writeIni(l.ini() + "; " + QByteArray(1100 * 1024, 'x') + "\n");
    ASSERT_TRUE(l.app.start(true));
    runFor(1500); // the message box is up
    ASSERT_TRUE(l.app.running());
    ASSERT_TRUE(l.app.signal(SIGTERM));
    EXPECT_EQ(l.app.exitCode(), 0);
}

// The display connection breaks: the toolkit ends the process, and force standby still goes
// out and is waited for on the way.
TEST(WayOut, TheDisplayGoingAwayStillSendsForceStandby) {
    if (QStandardPaths::findExecutable("Xvfb").isEmpty())
        GTEST_SKIP() << "needs Xvfb (scripts/install-deps.sh)";
    Line l;
    QProcess xvfb;
    xvfb.start("Xvfb", {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
    ASSERT_TRUE(waitUntil([&] { return xvfb.canReadLine(); }, 10000));
    QProcessEnvironment display;
    display.insert("DISPLAY", ":" + QString::fromLatin1(xvfb.readLine()).trimmed());
    display.insert("QT_QPA_PLATFORM", "xcb");
    l.app.writeIni(l.ini());
    ASSERT_TRUE(l.app.start(true, display));
    ASSERT_TRUE(l.polled());
    xvfb.kill();
    ASSERT_TRUE(xvfb.waitForFinished(5000));
    ASSERT_TRUE(l.app.waitForFinished(5000));
    EXPECT_FALSE(l.app.crashed());
    EXPECT_TRUE(l.standbyReceived());
    runFor(200);
    EXPECT_GE(l.pollsAfterStandby(), 1) << "confirmation not waited for";
    EXPECT_EQ(l.app.exitCode(), 1) << "confirmed: the toolkit's own status stands";
}

// Killed or crashed, the panel can do nothing: the guardian it started writes force standby on
// its copy of the line, and only when it was asked for.
TEST(WayOut, AKilledOrCrashedPanelStillLeavesTheAmplifierInStandby) {
    for (const int sig : {SIGKILL, SIGSEGV}) {
        SCOPED_TRACE(sig);
        Line l;
        l.app.writeIni(l.ini());
        ASSERT_TRUE(l.app.start(true));
        ASSERT_TRUE(l.polled());
        ASSERT_TRUE(l.app.signal(sig));
        EXPECT_TRUE(l.app.crashed());
        EXPECT_TRUE(l.standbyReceived());
        EXPECT_EQ(l.count(forceStandby), 1);
    }
    Line off;
    off.app.writeIni(off.ini("[ONexit]\nForce_STBY=No\n"));
    ASSERT_TRUE(off.app.start(true));
    ASSERT_TRUE(off.polled());
    ASSERT_TRUE(off.app.signal(SIGKILL));
    EXPECT_FALSE(off.standbyReceived());
}
