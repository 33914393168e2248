// The line misbehaving: a peer that stops reading, a line too slow for the polling rate,
// several answers in one read, ports that are not there yet or do not come back, the
// firmware hand-over.
#include "panelfixture.h"

using namespace tarn;
using namespace tarn::testing;
using protocol::Command;

namespace {
const QByteArray pollFrame = hex("FB0C0CFE");
const QByteArray forceStandby = hex("FB030205FE");
// STBY at 35 degrees, then OPER transmitting at 77 degrees.
const QByteArray stale = hex("FB0032250F8C782300FE");
const QByteArray current = hex("FB5032250F8C784D00FE");

int polls(const serial::FakeSerialPort& port) {
    return int(port.writes.count(pollFrame));
}
} // namespace

using LineTest = PanelTest;

TEST_F(LineTest, AStalledLineGetsNoMorePollsButKeysGoOutAtOnce) {
    openOn(2);
    port.stalledBytes = 4;
    for (int i = 0; i < 3000; ++i) // 30 s at Polling 10 ms
        panel.Timer_Poll_Timer();
    EXPECT_EQ(polls(port), 0);
    EXPECT_TRUE(panel.sendCommand(Command::Band_Up, true));
    EXPECT_EQ(port.writes, QList<QByteArray>{hex("FB0707FE")});

    port.stalledBytes = 0;
    panel.Timer_Poll_Timer();
    EXPECT_EQ(polls(port), 1) << "the drained line is polled on the next tick";
}

TEST_F(LineTest, UnansweredPollsBackOffAndAnAnswerRestoresOnePollPerTick) {
    openOn(2);
    state.settings.Polling = 10;
    for (int i = 0; i < 3000; ++i) // a silent amplifier for 30 s
        panel.Timer_Poll_Timer();
    EXPECT_GE(polls(port), 30) << "a silent amplifier is still asked";
    EXPECT_LT(polls(port), 200) << "but the peer's buffers are not filled with stale polls";

    // A lost frame costs a few ticks, never the time-out.
    port.writes.clear();
    port.deliver(current);
    panel.Timer_Poll_Timer();
    EXPECT_EQ(polls(port), 1);
    panel.Timer_Poll_Timer();
    panel.Timer_Poll_Timer();
    EXPECT_EQ(polls(port), 1);
    panel.Timer_Poll_Timer();
    EXPECT_EQ(polls(port), 2);

    // A healthy line: one poll per tick.
    for (int i = 0; i < 10; ++i) {
        port.deliver(current);
        panel.Timer_Poll_Timer();
    }
    EXPECT_EQ(polls(port), 12);
    EXPECT_FALSE(panel.Timer_Connection_Timeout().isRunning() &&
                 panel.Timer_Connection_Timeout().interval() != state.settings.TimeOut);
}

TEST_F(LineTest, TheNewestWholeFrameIsDrawnWhateverTheReadsHold) {
    struct Case {
        const char* name;
        QList<QByteArray> reads;
        int draws;
    };
    const QList<Case> cases = {
        {"two answers in one read", {stale + current}, 1},
        {"garbage, then a whole answer", {hex("0A0B") + stale.mid(3) + current}, 1},
        {"an answer split over two reads", {current.left(4), current.mid(4)}, 1},
        {"a backlog of answers", {stale + stale + stale + current}, 1},
        {"an escaped byte in the body", {stale + hex("FB50FFEB250F8C784D00FE")}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        main.display = RecordingDisplay{};
        openOn(2);
        for (const QByteArray& read : c.reads) {
            port.deliver(read);
            panel.Timer_Poll_Timer();
        }
        EXPECT_EQ(main.display.draws, c.draws);
        EXPECT_TRUE(main.display.last.Operate);
        EXPECT_TRUE(main.display.last.Transmit);
        EXPECT_EQ(main.display.last.temperature, "77 °C");
    }
}

TEST_F(LineTest, ForceStandbyLeavesBeforeTheSaveAndAFailureIsReported) {
    openOn(2);
    state.settings.Polling = 777;
    bool savedBeforeStandby = true;
    port.onWrite = [&](const QByteArray& frame) {
        if (frame == forceStandby)
            savedBeforeStandby = iniText().contains("777");
    };
    EXPECT_TRUE(panel.shutdownPort());
    EXPECT_FALSE(savedBeforeStandby);
    EXPECT_TRUE(iniText().contains("777"));
    EXPECT_EQ(port.events.last(), "close");

    openOn(2);
    port.stalledBytes = 4; // the peer stopped reading: the frame never leaves
    EXPECT_FALSE(panel.shutdownPort());
    openOn(2);
    port.failWrites = true;
    EXPECT_FALSE(panel.shutdownPort());
}

TEST_F(LineTest, APortAbsentAtStartIsWaitedForAndOpenedWhenItAppears) {
    writeIni("[COM]\nPortNumber= 4\n");
    panel.startup();
    EXPECT_FALSE(port.isOpen());
    EXPECT_TRUE(panel.isReopening());
    EXPECT_TRUE(menu.availableItems().contains(4));
    EXPECT_EQ(menu.checkedItems(), QList<int>{4});
    EXPECT_TRUE(panel.Timer_Reopen().isEnabled());
    EXPECT_TRUE(panel.Timer_Connection_Timeout().isEnabled()) << "No Communication follows";

    panel.sendCommand(Command::Gain_Up, true);
    ASSERT_EQ(op.messages.size(), 1);
    EXPECT_EQ(op.messages[0].text, "The Com Port is not available");

    panel.Timer_Reopen_Timer();
    EXPECT_FALSE(port.isOpen());
    port.available.insert(4);
    panel.Timer_Reopen_Timer();
    EXPECT_TRUE(port.isOpen());
    EXPECT_FALSE(panel.Timer_Reopen().isEnabled());
    EXPECT_EQ(state.settings.PortNumber, 4);
}

TEST_F(LineTest, AFailedReopenAfterABaudChangeIsRetried) {
    openOn(3);
    port.available.remove(3);
    port.error = "No such device";
    panel.applyBaudRate(19200);
    EXPECT_FALSE(port.isOpen());
    ASSERT_EQ(op.messages.size(), 1);
    EXPECT_TRUE(op.messages[0].text.startsWith("The Com Port is not available"));
    EXPECT_TRUE(op.messages[0].text.contains("No such device"));
    EXPECT_EQ(state.settings.PortNumber, 3);
    port.available.insert(3);
    panel.Timer_Reopen_Timer();
    EXPECT_TRUE(port.isOpen());
    EXPECT_EQ(port.lineSettings(), "19200,n,8,1");
}

TEST_F(LineTest, NetworkPortsAreListedWithoutConnecting) {
    for (int i = 1; i <= 16; ++i)
        port.network.insert(i);
    panel.Scan_Com_Ports();
    EXPECT_EQ(menu.availableItems().size(), 16);
    EXPECT_EQ(port.openCalls, 0);

    // A connection under way is a port being waited for, finished on the next tick.
    port.connecting = true;
    state.settings.PortNumber = 6;
    panel.Open_Com_Port();
    EXPECT_TRUE(panel.isReopening());
    port.available.insert(6);
    ASSERT_TRUE(port.open()); // the connection is made in the background
    port.connecting = false;
    panel.Timer_Poll_Timer();
    EXPECT_TRUE(port.isOpen());
    EXPECT_EQ(polls(port), 1);
}

TEST_F(LineTest, TheHandOverIsClaimedOnlyOnceTheStartFrameLeftAndIsFinal) {
    openOn(7);
    port.failWrites = true;
    EXPECT_FALSE(panel.startBootloader());
    EXPECT_EQ(op.messages.size(), 1);
    EXPECT_TRUE(port.isOpen());
    EXPECT_TRUE(panel.Timer_Poll().isEnabled()) << "the panel goes on";

    port.failWrites = false;
    ASSERT_TRUE(panel.startBootloader());
    EXPECT_FALSE(port.isOpen());
    const QString saved = iniText();
    panel.Timer_Reopen_Timer();
    panel.Open_Com_Port();
    panel.menuCom_Click(7);
    panel.applyBaudRate(4800);
    panel.Timer_Poll_Timer();
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(iniText(), saved);
    EXPECT_TRUE(menu.checkedItems().isEmpty());
}

TEST_F(LineTest, ThePlaceholderNeverChangesThePort) {
    openOn(5);
    panel.menuCom_Click(0);
    EXPECT_EQ(state.settings.PortNumber, 5);
    EXPECT_TRUE(port.isOpen());
    EXPECT_TRUE(iniText().contains("PortNumber= 5"));
}
