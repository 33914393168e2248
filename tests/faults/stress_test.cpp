// The line under stress, end to end against the simulator: a peer that stops reading, one
// that floods, one that batches a stale answer with the current one, port servers that never
// answer a connection. What reaches the amplifier is read from the simulator's log.

#include "core/panel.h"
#include "serial/comport.h"
#include "support/appprocess.h"
#include "support/panelrig.h"
#include "support/simprocess.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTemporaryDir>
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

using namespace tarn;
using namespace tarn::testing;

namespace {
// The frames the simulator read after its stall ended.
QList<QByteArray> framesAfterStall(const QByteArray& log) {
    const qsizetype over = log.indexOf("stall over");
    return over < 0 ? QList<QByteArray>{} : SimProcess::receivedFramesIn(log.mid(over));
}

class CoreUnderStress : public ::testing::Test, protected PanelRig<serial::ComPort> {
protected:
    void start(const QStringList& simArgs, int pollingMs) {
        sim = std::make_unique<SimProcess>(simArgs);
        ASSERT_FALSE(sim->endpoint().isEmpty()) << sim->log().constData();
        state.ports.setEntry(1, sim->endpoint());
        state.settings.Polling = pollingMs;
        state.settings.PortNumber = 1;
        panel.Open_Com_Port();
        ASSERT_TRUE(port.isOpen());
        ASSERT_TRUE(waitUntil([&] { return main.display.draws > 0; }, 3000));
    }
    std::unique_ptr<SimProcess> sim;
};

class AppUnderStress : public ::testing::Test, private WithApplication {};
} // namespace

TEST_F(CoreUnderStress, AStallLeavesAlmostNoStalePollsAndAKeyGoesOutFirst) {
    start({}, 10);
    sim->command("stall 3000");
    runFor(1000);
    ASSERT_TRUE(panel.sendCommand(protocol::Command::Band_Up, true));
    ASSERT_TRUE(waitUntil([&] { return sim->log().contains("stall over"); }, 5000));
    runFor(300);
    const QList<QByteArray> after = framesAfterStall(sim->log());
    const qsizetype stale = after.indexOf("FB 07 07 FE");
    ASSERT_GE(stale, 0) << "the key never arrived";
    // A pseudo-terminal does not report what waits in it, so here the unanswered polls' slower
    // pace is what keeps the pile small: a few, where a poll a tick made 300.
    EXPECT_LE(stale, 20) << "the key waited behind " << stale << " stale polls";
    EXPECT_TRUE(waitUntil([&] { return main.display.last.band != QString(); }, 1000));
    std::printf("stall of 3 s at Polling 10 ms: %lld frames before the key\n", qlonglong(stale));
}

TEST_F(CoreUnderStress, AStaleAnswerBatchedWithTheCurrentOneNeverStaysOnScreen) {
    start({}, 20);
    sim->command("stale on");
    runFor(300);
    ASSERT_FALSE(main.display.last.Protection_Active);
    sim->command("trip");
    EXPECT_TRUE(waitUntil([&] { return main.display.last.Protection_Active; }, 2000))
        << "the display stayed on the first frame of each read";
}

TEST_F(AppUnderStress, AFloodIsHeldInBoundedMemory) {
    QTemporaryDir dir;
    SimProcess sim({});
    ASSERT_FALSE(sim.endpoint().isEmpty());
    AppProcess app(dir.path());
    app.writeIni("[COM]\nPortNumber= 1\n[Polling]\nRate= 1000\n[Ports]\nCOM1=" +
                 sim.endpoint().toUtf8() + "\n");
    ASSERT_TRUE(app.start());
    ASSERT_TRUE(waitUntil([&] { return sim.log().count("RX FB 0C 0C FE") >= 1; }, 5000));
    sim.command("flood on");
    double peak = 0;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 6000) {
        runFor(250);
        peak = std::max(peak, app.residentMb());
    }
    sim.command("flood off");
    const int polls = int(sim.log().count("RX FB 0C 0C FE"));
    EXPECT_LT(peak, 100.0) << "resident memory under a flood";
    EXPECT_TRUE(waitUntil([&] { return sim.log().count("RX FB 0C 0C FE") > polls; }, 5000))
        << "the panel stopped polling";
    EXPECT_TRUE(app.terminate());
    std::printf("flood for 6 s at Polling 1000 ms: peak resident memory %.1f MB\n", peak);
}

TEST_F(AppUnderStress, AnExitWithTheLineGoneSaysForceStandbyDidNotLeave) {
    QTemporaryDir dir;
    auto sim = std::make_unique<SimProcess>(QStringList{});
    ASSERT_FALSE(sim->endpoint().isEmpty());
    AppProcess app(dir.path());
    app.writeIni("[COM]\nPortNumber= 1\n[Ports]\nCOM1=" + sim->endpoint().toUtf8() + "\n");
    ASSERT_TRUE(app.start(true));
    ASSERT_TRUE(waitUntil([&] { return sim->log().count("RX FB 0C 0C FE") >= 2; }, 5000));
    sim.reset(); // the line goes away and stays away
    runFor(500);
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(app.terminate(5000));
    EXPECT_LT(clock.elapsed(), 4000);
    EXPECT_NE(app.exitCode(), 0);
    EXPECT_TRUE(app.errors().contains("force standby could not be sent"));
}

TEST_F(AppUnderStress, PortServersThatNeverAnswerHoldNeitherStartNorExit) {
    // A listener whose backlog is full drops every further connection attempt unanswered:
    // on loopback, the same as a port server behind a dead route.
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), len), 0);
    ASSERT_EQ(::listen(fd, 0), 0);
    ASSERT_EQ(::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len), 0);
    const QByteArray endpoint = "tcp://127.0.0.1:" + QByteArray::number(ntohs(addr.sin_port));
    std::vector<int> fillers;
    for (int i = 0; i < 3; ++i) {
        const int c = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        ::connect(c, reinterpret_cast<sockaddr*>(&addr), len);
        fillers.push_back(c);
    }

    QTemporaryDir dir;
    AppProcess app(dir.path());
    QByteArray ini = "[COM]\nPortNumber= 1\n[Ports]\n";
    for (int i = 1; i <= 16; ++i)
        ini += "COM" + QByteArray::number(i) + "=" + endpoint + "\n";
    app.writeIni(ini);
    ASSERT_TRUE(app.start());
    runFor(300);
    QElapsedTimer clock;
    clock.start();
    EXPECT_TRUE(app.terminate(5000));
    EXPECT_LT(clock.elapsed(), 2500) << "SIGTERM waited on the network";
    for (int c : fillers)
        ::close(c);
    ::close(fd);
}
