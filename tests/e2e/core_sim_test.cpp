// The panel's core on the real serial and TCP ports, against the simulated amplifier, in real
// time. Bounds are generous: these check counts within ranges, never exact times.

#include "serial/comport.h"
#include "serial/seriallink.h"
#include "support/panelrig.h"
#include "support/simprocess.h"
#include <QSet>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

using namespace tarn;
using namespace tarn::testing;

namespace {
// What the display shows of a status, as one comparable text.
QString shown(const protocol::StatusFields& f) {
    return QStringList{f.band,
                       f.gain,
                       f.swr,
                       f.voltage,
                       f.current,
                       f.temperature,
                       QString::number(f.Protection_Active + 2 * f.Operate + 4 * f.Auto_Band +
                                       8 * f.Transmit + 16 * f.Fwd_Level + 256 * f.Rev_Level)}
        .join('|');
}
} // namespace

class CoreAgainstSim : public ::testing::Test, protected PanelRig<serial::ComPort> {
protected:
    // Starts the simulator and opens COM1 on it with the given poll period.
    void start(QStringList simArgs, int pollingMs = 50, bool tcp = false) {
        if (tcp)
            simArgs << "--tcp"
                    << "0";
        sim = std::make_unique<SimProcess>(simArgs);
        ASSERT_FALSE(sim->endpoint().isEmpty()) << sim->log().constData();
        const QString device = tcp ? "tcp://" + sim->endpoint() : sim->endpoint();
        state.ports.setEntry(1, device);
        state.settings.Polling = pollingMs;
        state.settings.TimeOut = 300;
        state.settings.PortNumber = 1;
        main.display.onDraw = [this] { drawn << shown(main.display.last); };
        panel.Open_Com_Port();
        ASSERT_TRUE(waitUntil([&] { return port.isOpen(); }, 3000));
    }
    bool drawsGrowWithin(int ms) {
        const int before = main.display.draws;
        return waitUntil([&] { return main.display.draws > before; }, ms);
    }
    void expectOnlyStatesTheSimulatorSent() {
        QSet<QString> sent;
        for (const QByteArray& body : sim->sentBodies()) {
            protocol::RxBytes rx;
            for (int i = 0; i < protocol::RxBytes::Count && i < body.size(); ++i)
                rx.set(i, std::uint8_t(body[i]));
            sent.insert(shown(protocol::statusFields(rx)));
        }
        for (const QString& state : std::as_const(drawn))
            EXPECT_TRUE(sent.contains(state)) << "drawn but never sent: " << qPrintable(state);
    }

    std::unique_ptr<SimProcess> sim;
    QList<QString> drawn;
};

TEST_F(CoreAgainstSim, PollsAreAnsweredDecodedAndDrawn) {
    start({});
    runFor(1000);
    // About 20 ticks in a second at 50 ms; allow a slow machine half of that.
    EXPECT_GE(main.display.draws, 8);
    EXPECT_LE(main.display.draws, 25);
    EXPECT_EQ(main.display.noCommunication, 0);
    EXPECT_FALSE(main.display.last.Operate);
    EXPECT_NE(main.display.last.band, "?? MHz");
    EXPECT_NE(main.display.last.voltage, "0.0V");
    expectOnlyStatesTheSimulatorSent();
}

TEST_F(CoreAgainstSim, CommandsChangeWhatTheNextStatusShows) {
    start({});
    ASSERT_TRUE(drawsGrowWithin(2000));
    const int gain = main.display.last.Gain_Step;
    ASSERT_TRUE(panel.sendCommand(tarn::protocol::Command::Toggle_OPER_STBY, true));
    EXPECT_TRUE(waitUntil([&] { return main.display.last.Operate; }, 2000));
    ASSERT_TRUE(panel.sendCommand(
        gain < 8 ? tarn::protocol::Command::Gain_Up : tarn::protocol::Command::Gain_Down, true));
    EXPECT_TRUE(waitUntil(
        [&] { return main.display.last.Gain_Step == (gain < 8 ? gain + 1 : gain - 1); }, 2000));
    panel.shutdownPort();
    runFor(200);
    sim->command("status");
    EXPECT_TRUE(waitUntil([&] { return sim->log().contains("RX FB 03 02 05 FE"); }, 2000))
        << "force standby must reach the amplifier before the port closes";
    EXPECT_TRUE(op.messages.isEmpty());
}

TEST_F(CoreAgainstSim, SilenceShowsNoCommunicationAndDataBringsTheDisplayBack) {
    start({});
    ASSERT_TRUE(drawsGrowWithin(2000));
    sim->command("silence on");
    EXPECT_TRUE(waitUntil([&] { return main.display.noCommunication >= 2; }, 3000))
        << "the reset repeats every time-out period while the silence lasts";
    EXPECT_TRUE(port.isOpen());
    sim->command("silence off");
    EXPECT_TRUE(drawsGrowWithin(2000));
    const int resets = main.display.noCommunication;
    runFor(600);
    EXPECT_EQ(main.display.noCommunication, resets);
}

TEST_F(CoreAgainstSim, GarbageSplitAndDoubleFramesNeverShowAFalseState) {
    start({"--seed", "7"});
    for (const char* fault : {"garbage", "split", "double"}) {
        sim->command(QByteArray(fault) + " on");
        runFor(800);
        sim->command(QByteArray(fault) + " off");
        EXPECT_TRUE(drawsGrowWithin(2000)) << fault;
    }
    EXPECT_TRUE(sim->running());
    EXPECT_GE(drawn.size(), 3);
    expectOnlyStatesTheSimulatorSent();
}

TEST_F(CoreAgainstSim, LineGoingAwayIsSurvivedAndRecovered) {
    start({});
    ASSERT_TRUE(drawsGrowWithin(2000));
    // The pty comes back under a new name; the map follows the simulator's new line, as a
    // /dev/serial/by-id link follows a re-plugged adapter.
    sim->command("drop 1200");
    EXPECT_TRUE(waitUntil([&] { return panel.isReopening(); }, 3000));
    EXPECT_TRUE(waitUntil([&] { return main.display.noCommunication >= 1; }, 3000));
    const QString before = state.ports.deviceFor(1);
    waitUntil([&] { return sim->endpoint() != before; }, 4000);
    state.ports.setEntry(1, sim->endpoint());
    EXPECT_TRUE(waitUntil([&] { return port.isOpen() && !panel.isReopening(); }, 4000));
    EXPECT_TRUE(drawsGrowWithin(3000));
    EXPECT_EQ(menu.checkedItems(), QList<int>{1});
    EXPECT_TRUE(op.messages.isEmpty());
}

TEST_F(CoreAgainstSim, NetworkPortServerWorksAndIsRecovered) {
    start({}, 50, true);
    ASSERT_TRUE(drawsGrowWithin(2000));
    sim->command("drop 800");
    EXPECT_TRUE(waitUntil([&] { return panel.isReopening(); }, 3000));
    EXPECT_TRUE(waitUntil([&] { return port.isOpen() && !panel.isReopening(); }, 5000));
    EXPECT_TRUE(drawsGrowWithin(3000));
    expectOnlyStatesTheSimulatorSent();
}

TEST_F(CoreAgainstSim, BootloaderStartIsTheLastFrameAndFreesThePort) {
    start({});
    ASSERT_TRUE(drawsGrowWithin(2000));
    ASSERT_TRUE(panel.startBootloader());
    EXPECT_FALSE(port.isOpen());
    runFor(300); // long enough for any stray poll to have arrived
    const auto frames = sim->receivedFrames();
    ASSERT_FALSE(frames.isEmpty());
    EXPECT_EQ(frames.last(), "FB 03 09 0C FE");
    EXPECT_EQ(frames.count("FB 03 09 0C FE"), 1);
    // The bootloader client can now take the line.
    serial::SerialDeviceLink client(sim->endpoint());
    EXPECT_TRUE(client.open(serial::LineSettings{}));
}

TEST_F(CoreAgainstSim, FastPollingKeepsUp) {
    start({}, 10);
    runFor(1000);
    // 100 ticks a second; each answer is read on a later tick, so most ticks draw.
    EXPECT_GE(main.display.draws, 40);
    EXPECT_EQ(main.display.noCommunication, 0);
}
