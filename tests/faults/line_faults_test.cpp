// Faults of the line as operators meet them, on the real serial and TCP ports, with the
// panel's core drawing into recording views: the port held by another program at start-up,
// the device vanishing while a write is under way, and a network port server that refuses,
// accepts and hangs up at once, or goes silent. Each must end in the states the operator can
// read ("No Communication" after the time-out, the Com menu in step with the port) and
// recover by itself once the fault is over.
//
// The simulator's own silence, garbage, split and doubled answers and the pseudo-terminal
// going away are in tests/e2e/core_sim_test.cpp.

#include "core/panel.h"
#include "serial/comport.h"
#include "support/panelrig.h"
#include "support/pty.h"
#include "support/simprocess.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSerialPort>
#include <QTcpServer>
#include <QTcpSocket>
#include <gtest/gtest.h>
#include <memory>

using namespace tarn;
using namespace tarn::testing;

namespace {
const QByteArray statusFrame = QByteArray::fromHex("FB4032250F8C782300FE");
constexpr int TimeOutMs = 300;

int pollsIn(const QByteArray& log) {
    return int(log.count("RX FB 0C 0C FE"));
}
} // namespace

class LineFaults : public ::testing::Test, protected PanelRig<serial::ComPort> {
protected:
    LineFaults() {
        state.settings.TimeOut = TimeOutMs;
        state.settings.PortNumber = 1;
    }
    bool drawsGrowWithin(int ms) {
        const int before = main.display.draws;
        return waitUntil([&] { return main.display.draws > before; }, ms);
    }
    bool noCommunicationWithin(int ms) {
        const int before = main.display.noCommunication;
        return waitUntil([&] { return main.display.noCommunication > before; }, ms);
    }
    // The Com menu says what the port is: COM1 checked while it is open or waited for. A line
    // that dies between two ticks is noticed at the next one, so the menu may lag by a tick.
    void expectMenuInStep() {
        const auto inStep = [&] {
            const bool held = port.isOpen() || panel.isReopening();
            return menu.checkedItems() == (held ? QList<int>{1} : QList<int>{});
        };
        EXPECT_TRUE(waitUntil(inStep, 4 * state.settings.Polling)) << "menu out of step";
        EXPECT_TRUE(menu.closeEnabled) << "the operator must always be able to give up";
    }
    // Back by itself: open, checked, drawing, and nothing was asked of the operator.
    void expectRecovered() {
        EXPECT_TRUE(waitUntil([&] { return port.isOpen() && !panel.isReopening(); }, 5000));
        EXPECT_TRUE(drawsGrowWithin(3000));
        expectMenuInStep();
        const int resets = main.display.noCommunication;
        EXPECT_FALSE(noCommunicationWithin(2 * TimeOutMs)) << "still silent after recovery";
        EXPECT_EQ(main.display.noCommunication, resets);
        EXPECT_TRUE(op.messages.isEmpty());
    }
};

TEST_F(LineFaults, PortHeldByAnotherProgramAtStartUpIsWaitedForAndTakenWhenFreed) {
    SimProcess sim({});
    ASSERT_FALSE(sim.endpoint().isEmpty());
    QFile ini(dir.filePath("tarn-vq4400.ini"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[COM]\nPortNumber= 1\n[Ports]\nCOM1=" + sim.endpoint().toUtf8() + "\n");
    ini.close();

    // The other program takes the port the way the panel does, lock file included.
    auto other = std::make_unique<QSerialPort>(sim.endpoint());
    ASSERT_TRUE(other->open(QIODevice::ReadWrite));
    panel.startup();
    EXPECT_FALSE(port.isOpen());
    EXPECT_TRUE(panel.isReopening());
    EXPECT_TRUE(op.messages.isEmpty()) << "start-up stays silent";
    EXPECT_TRUE(menu.available.value(1)) << "the operator can still see and pick it";
    EXPECT_EQ(menu.checkedItems(), QList<int>{1});
    EXPECT_EQ(state.settings.PortNumber, 1);
    EXPECT_TRUE(noCommunicationWithin(3 * TimeOutMs));
    EXPECT_EQ(pollsIn(sim.log()), 0);

    other.reset();
    EXPECT_TRUE(waitUntil([&] { return port.isOpen(); }, 3000)) << "taken within a second or so";
    EXPECT_TRUE(drawsGrowWithin(2000));
    EXPECT_GT(pollsIn(sim.log()), 0);
    EXPECT_TRUE(op.messages.isEmpty());
    panel.shutdownPort();
}

TEST_F(LineFaults, DeviceVanishingDuringAWriteIsSurvivedAndRecovered) {
    Pty line;
    ASSERT_TRUE(line.ok());
    const QString link = dir.filePath("amp");
    ASSERT_TRUE(QFile::link(line.path(), link));
    state.ports.setEntry(1, link);
    panel.Open_Com_Port();
    ASSERT_TRUE(port.isOpen());
    ASSERT_FALSE(line.receive(4).isEmpty());
    line.send(statusFrame);
    ASSERT_TRUE(drawsGrowWithin(2000));

    // Nobody reads the far end, so the line fills up and the writes wait in the port; then the
    // device goes away under them.
    for (int i = 0; i < 40000; ++i)
        ASSERT_TRUE(panel.sendCommand(tarn::protocol::Command::Poll, true)) << "write " << i;
    line.hangUp();
    QFile::remove(link);
    EXPECT_TRUE(waitUntil([&] { return panel.isReopening(); }, 3000));
    EXPECT_FALSE(port.isOpen());
    EXPECT_TRUE(noCommunicationWithin(2000));
    expectMenuInStep();
    EXPECT_TRUE(op.messages.isEmpty());

    Pty back;
    ASSERT_TRUE(QFile::link(back.path(), link));
    EXPECT_TRUE(waitUntil([&] { return port.isOpen() && !panel.isReopening(); }, 3000));
    EXPECT_EQ(back.receive(4), state.frames.Cmd_Poll);
    back.send(statusFrame);
    EXPECT_TRUE(drawsGrowWithin(2000));
    expectMenuInStep();
    EXPECT_TRUE(op.messages.isEmpty());
    panel.shutdownPort();
}

class PortServerFaults : public LineFaults {
protected:
    void startOn(SimProcess& sim) {
        ASSERT_FALSE(sim.endpoint().isEmpty()) << sim.log().constData();
        state.ports.setEntry(1, "tcp://" + sim.endpoint());
        panel.Open_Com_Port();
        ASSERT_TRUE(waitUntil([&] { return port.isOpen(); }, 3000));
        ASSERT_TRUE(drawsGrowWithin(2000));
    }
};

TEST_F(PortServerFaults, RefusingServerShowsNoCommunicationAndIsRejoinedWhenBack) {
    SimProcess sim({"--tcp", "0"});
    startOn(sim);
    // The server closes the connection and refuses new ones for 3 s.
    sim.command("drop 3000");
    EXPECT_TRUE(waitUntil([&] { return panel.isReopening(); }, 2000));
    EXPECT_TRUE(noCommunicationWithin(2000));
    expectMenuInStep();
    runFor(1200); // at least one more refused attempt
    EXPECT_TRUE(panel.isReopening());
    expectMenuInStep();
    expectRecovered();
}

TEST_F(PortServerFaults, ServerThatHangsUpAtOnceIsRetriedAtMostOnceASecond) {
    auto sim = std::make_unique<SimProcess>(QStringList{"--tcp", "0"});
    startOn(*sim);
    const quint16 serverPort = quint16(sim->endpoint().section(':', -1).toUInt());
    ASSERT_NE(serverPort, 0);

    // The server goes wrong: it still takes every connection, and closes it straight away.
    sim.reset();
    QTcpServer hangUp;
    ASSERT_TRUE(hangUp.listen(QHostAddress::LocalHost, serverPort));
    int accepted = 0;
    QObject::connect(&hangUp, &QTcpServer::newConnection, &hangUp, [&] {
        while (QTcpSocket* s = hangUp.nextPendingConnection()) {
            ++accepted;
            s->abort();
            s->deleteLater();
        }
    });
    EXPECT_TRUE(noCommunicationWithin(2000));
    ASSERT_TRUE(waitUntil([&] { return accepted >= 1; }, 3000));
    QElapsedTimer span;
    span.start();
    const int first = accepted;
    runFor(3000);
    const int retries = accepted - first;
    EXPECT_GE(retries, 2) << "the panel stopped trying";
    EXPECT_LE(retries, int(span.elapsed() / 1000) + 1) << "more than one attempt a second";
    expectMenuInStep();
    EXPECT_TRUE(op.messages.isEmpty());

    // The fault ends: a working server is back on the same port.
    hangUp.close();
    SimProcess back({"--tcp", QString::number(serverPort)});
    ASSERT_FALSE(back.endpoint().isEmpty()) << back.log().constData();
    expectRecovered();
}

TEST_F(PortServerFaults, SilentServerKeepsThePortOpenAndTheDisplayBlankUntilItSpeaks) {
    SimProcess sim({"--tcp", "0"});
    startOn(sim);
    sim.command("silence on");
    EXPECT_TRUE(noCommunicationWithin(2000));
    EXPECT_TRUE(noCommunicationWithin(2000)) << "the reset repeats while the silence lasts";
    EXPECT_TRUE(port.isOpen());
    EXPECT_FALSE(panel.isReopening());
    expectMenuInStep();
    // The panel keeps asking all along.
    const int polls = pollsIn(sim.log());
    EXPECT_TRUE(waitUntil([&] { return pollsIn(sim.log()) >= polls + 2; }, 3000));
    sim.command("silence off");
    expectRecovered();
}
