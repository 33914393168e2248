// The panel's core on the real serial and TCP ports against the simulated amplifier and against
// lines that fail as operators meet them. Every fault must end in states the operator can read
// ("No Communication" after the time-out, the Com menu in step with the port) and recover by
// itself. Bounds are generous, for a loaded machine: counts within ranges, never exact times.

#include "serial/seriallink.h"
#include "support/rig.h"
#include "support/simprocess.h"

#include <memory>

using namespace tarn;
using namespace tarn::testing;
using protocol::Command;

namespace {
// Follows the panel as the history does: every status body decoded, and every gap.
struct Record final : core::StatusListener {
    QList<QByteArray> bodies;
    int gaps = 0;
    void statusDecoded(const protocol::RxBytes& rx) override {
        QByteArray body;
        for (int i = 0; i < protocol::RxBytes::Count; ++i)
            body += char(rx.value(i));
        bodies << body;
    }
    void lineSilent() override { ++gaps; }
};
const QByteArray statusFrame = hex("FB4032250F8C782300FE");
} // namespace

class RealPorts : public ::testing::Test, protected Rig<serial::ComPort, Recorded> {
protected:
    RealPorts() {
        state.settings.TimeOut = 300;
        state.settings.PortNumber = 1;
        panel.addStatusListener(record);
    }
    // The simulator on a pseudo-terminal, its faults seeded, or as a network port server.
    void start(bool tcp) {
        sim = std::make_unique<SimProcess>(tcp ? QStringList{"--tcp", "0"}
                                               : QStringList{"--seed", "7"});
        ASSERT_FALSE(sim->endpoint().isEmpty()) << sim->log().constData();
        state.ports.setEntry(1, (tcp ? "tcp://" : "") + sim->endpoint());
        panel.Open_Com_Port();
        ASSERT_TRUE(waitUntil([&] { return port.isOpen(); }));
        ASSERT_TRUE(grows(main.display.draws));
    }
    // The display draws again, or says "No Communication" again.
    bool grows(const int& count) {
        const int before = count;
        return waitUntil([&] { return count > before; });
    }
    // The port is held, open or waited for, and COM1 checked; a line that died between two ticks
    // is noticed at the next one.
    void expectMenuInStep() {
        EXPECT_TRUE(port.isOpen() || panel.isReopening());
        EXPECT_TRUE(waitUntil([&] { return menu.checkedItems() == QList<int>{1}; }, 2000));
        EXPECT_TRUE(menu.closeEnabled) << "the operator must always be able to give up";
    }
    // Back by itself: open and drawing, and nothing was asked of the operator.
    void expectRecovered() {
        EXPECT_TRUE(waitUntil([&] { return port.isOpen() && !panel.isReopening(); }, 6000));
        EXPECT_TRUE(grows(main.display.draws));
        expectMenuInStep();
        EXPECT_TRUE(op.messages.isEmpty());
    }

    std::unique_ptr<SimProcess> sim;
    Record record;
};

// Polls at the chosen rate are answered and drawn, garbage, split and doubled answers never show
// a false state, commands change the next status, and the bootloader start frees the line.
TEST_F(RealPorts, PollsFaultyAnswersCommandsAndTheBootloaderHandOver) {
    state.settings.TimeOut = 3000; // a loaded machine may pause longer than the fixture's 300 ms
    start(false);
    // Never faster than the rate; a loaded machine may draw far fewer times than it ticks.
    for (const auto& [pollingMs, least, most] : {std::tuple{50, 3, 25}, std::tuple{10, 3, 110}}) {
        panel.applyPolling(pollingMs);
        const int before = main.display.draws;
        runFor(1000);
        EXPECT_GE(main.display.draws - before, least) << pollingMs << " ms";
        EXPECT_LE(main.display.draws - before, most) << pollingMs << " ms";
    }
    EXPECT_EQ(main.display.noCommunication, 0);
    EXPECT_NE(main.display.last.band, "?? MHz");
    for (const char* fault : {"garbage", "split", "double"}) {
        sim->command(QByteArray(fault) + " on");
        runFor(800);
        sim->command(QByteArray(fault) + " off");
        EXPECT_TRUE(grows(main.display.draws)) << fault;
    }
    const QSet<QByteArray> sent = sim->sentBodies(); // never a false state
    for (const QByteArray& body : std::as_const(record.bodies))
        EXPECT_TRUE(sent.contains(body)) << "never sent: " << body.toHex(' ').toStdString();

    ASSERT_FALSE(main.display.last.Operate);
    ASSERT_TRUE(panel.sendCommand(Command::Toggle_OPER_STBY, true));
    EXPECT_TRUE(waitUntil([&] { return main.display.last.Operate; }));
    const int gain = main.display.last.Gain_Step, step = gain < 8 ? 1 : -1;
    ASSERT_TRUE(panel.sendCommand(step > 0 ? Command::Gain_Up : Command::Gain_Down, true));
    EXPECT_TRUE(waitUntil([&] { return main.display.last.Gain_Step == gain + step; }));
    EXPECT_TRUE(op.messages.isEmpty());

    ASSERT_TRUE(panel.startBootloader());
    EXPECT_FALSE(port.isOpen());
    runFor(300); // any stray poll has arrived by now
    const auto frames = sim->receivedFrames();
    EXPECT_EQ(frames.last(), "FB 03 09 0C FE");
    EXPECT_EQ(frames.count("FB 03 09 0C FE"), 1);
    serial::SerialDeviceLink client(sim->endpoint());
    EXPECT_TRUE(client.open(serial::LineSettings{})) << "the firmware client can take the line";
}

TEST_F(RealPorts, DeviceVanishingDuringAWriteIsSurvivedAndRecovered) {
    Pty line;
    const QString link = dir.filePath("amp");
    ASSERT_TRUE(line.ok() && QFile::link(line.path(), link));
    state.ports.setEntry(1, link);
    panel.Open_Com_Port();
    ASSERT_TRUE(port.isOpen());
    ASSERT_FALSE(line.receive(4).isEmpty());
    line.send(statusFrame);
    ASSERT_TRUE(grows(main.display.draws));
    // Nobody reads the far end, so the writes wait in the port; the device goes away under them.
    for (int i = 0; i < 40000; ++i)
        ASSERT_TRUE(panel.poller().write(Command::Poll)) << "write " << i;
    line.hangUp();
    QFile::remove(link);
    EXPECT_TRUE(waitUntil([&] { return panel.isReopening(); }));
    EXPECT_FALSE(port.isOpen());
    EXPECT_TRUE(grows(main.display.noCommunication));
    expectMenuInStep();
    Pty back;
    ASSERT_TRUE(QFile::link(back.path(), link));
    EXPECT_EQ(back.receive(4, 6000), state.frames.Cmd_Poll) << "not reopened, or no poll";
    back.send(statusFrame);
    expectRecovered();
}

TEST_F(RealPorts, PortServerThatRefusesOrFallsSilentIsWaitedForAndRejoined) {
    start(true);
    for (const auto& [fault, end, lost] :
         {std::tuple{"drop 5000", "", true}, std::tuple{"silence on", "silence off", false}}) {
        SCOPED_TRACE(fault);
        sim->command(fault);
        EXPECT_TRUE(grows(main.display.noCommunication));
        EXPECT_TRUE(grows(main.display.noCommunication))
            << "the reset repeats while the fault lasts";
        EXPECT_EQ(panel.isReopening(), lost);
        EXPECT_EQ(port.isOpen(), !lost);
        expectMenuInStep();
        // Refused connections carry no polls; a silent server is asked on and on.
        const auto polls = [&] { return sim->log().count("RX FB 0C 0C FE"); };
        const qsizetype before = polls();
        runFor(2500);
        EXPECT_EQ(polls() >= before + 2, !lost);
        sim->command(end);
        expectRecovered();
    }
}

// On the fake port: a failed write is reported, a failed choice or a close leaves nothing that
// reopens behind the operator's back, and the record gets every frame and a gap for a time-out,
// a reopen, the exit and the hand-over.
TEST_F(PanelTest, FailuresAndTheHandOverEndWithThePortClosedAndTheOperatorTold) {
    Record record;
    panel.addStatusListener(record);
    ASSERT_TRUE(openOn(1));
    port.failWrites = true;
    EXPECT_FALSE(panel.sendCommand(Command::Gain_Up, true));
    ASSERT_EQ(op.messages.size(), 1);
    EXPECT_TRUE(op.messages[0].text.startsWith("The command could not be sent"));
    port.failWrites = false;
    for (const int choice : {2, 0}) { // a port that is not there; Close Com Port
        SCOPED_TRACE(choice);
        ASSERT_TRUE(openOn(1));
        choice ? panel.menuCom_Click(choice) : panel.menuCloseComPort_Click();
        panel.Timer_Poll_Timer();
        panel.Timer_Reopen_Timer();
        EXPECT_FALSE(port.isOpen());
        EXPECT_FALSE(panel.isReopening());
        EXPECT_TRUE(menu.checkedItems().isEmpty());
    }
    ASSERT_TRUE(openOn(1));
    receive(statusFrame);
    EXPECT_EQ(record.bodies, QList<QByteArray>{statusFrame.mid(1, 8)});
    record.gaps = 0;
    panel.Timer_Connection_Timeout_Timer();
    panel.Open_Com_Port(); // reopened
    EXPECT_TRUE(port.isOpen());
    panel.shutdownPort(clock);
    EXPECT_EQ(record.gaps, 3);
    ASSERT_TRUE(openOn(1));
    ASSERT_TRUE(panel.startBootloader());
    EXPECT_EQ(record.gaps, 4);
}
