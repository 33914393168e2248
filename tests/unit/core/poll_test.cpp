#include "panelfixture.h"

#include <QDir>

using namespace tarn;
using namespace tarn::testing;

namespace {
const QByteArray statusFrame = hex("FB4032250F8C782300FE");
const QByteArray pollFrame = hex("FB0C0CFE");
const QByteArray testSpaceRequest = hex("FB0D0DFE");
} // namespace

using PollTest = PanelTest;

TEST_F(PollTest, ClosedPortTicksOnlyReapplyThePollingRate) {
    state.Received_Chunk = "kept";
    state.settings.Polling = 1000;
    for (int i = 0; i < 5; ++i)
        panel.Timer_Poll_Timer();
    EXPECT_TRUE(port.writes.isEmpty());
    EXPECT_EQ(state.Received_Chunk, "kept");
    EXPECT_EQ(panel.Timer_Poll().interval(), 1000);
    EXPECT_TRUE(panel.Timer_Poll().isEnabled());
}

TEST_F(PollTest, SilentAmplifierGetsNoTimeoutRestart) {
    openOn(2);
    for (int i = 0; i < 3; ++i)
        panel.Timer_Poll_Timer();
    EXPECT_EQ(port.writes, QList<QByteArray>{pollFrame})
        << "the unanswered poll is not repeated yet";
    EXPECT_TRUE(state.Received_Chunk.isEmpty());
    EXPECT_FALSE(panel.Timer_Connection_Timeout().isEnabled());
    EXPECT_EQ(main.display.draws, 0);
}

TEST_F(PollTest, ReceivedFrameIsDecodedBeforeTheNextPollAndRearmsTheTimeout) {
    openOn(2);
    state.settings.TimeOut = 750;
    port.deliver(statusFrame);
    panel.Timer_Poll_Timer();
    EXPECT_EQ(main.display.draws, 1);
    EXPECT_EQ(main.display.last.band, "3.5 MHz");
    EXPECT_EQ(state.Rx_Byte.value(6), 0x23);
    EXPECT_EQ(port.writes, QList<QByteArray>{pollFrame});
    EXPECT_TRUE(panel.Timer_Connection_Timeout().isEnabled());
    EXPECT_EQ(panel.Timer_Connection_Timeout().interval(), 750);
    EXPECT_TRUE(panel.Timer_Connection_Timeout().isRunning());
}

TEST_F(PollTest, GarbageCountsAsLifeButDrawsNothing) {
    openOn(2);
    port.deliver(hex("0A0BFE"));
    panel.Timer_Poll_Timer();
    EXPECT_TRUE(panel.Timer_Connection_Timeout().isEnabled());
    EXPECT_EQ(main.display.draws, 0);
}

TEST_F(PollTest, SplitFrameNeverDrawsAMixedState) {
    openOn(2);
    port.deliver(statusFrame);
    panel.Timer_Poll_Timer();
    port.deliver(statusFrame.left(4)); // FB 40 32 25: cut short by the tick
    panel.Timer_Poll_Timer();
    EXPECT_EQ(main.display.draws, 1);
    state.Rx_Byte.set(7, 0x77); // whatever the slots hold, the display shows the frame itself
    port.deliver(statusFrame.mid(4));
    panel.Timer_Poll_Timer();
    EXPECT_EQ(main.display.draws, 2);
    EXPECT_EQ(main.display.last.band, "3.5 MHz");
}

TEST_F(PollTest, TestSpaceRequestGoesOutOncePerOpening) {
    openOn(2);
    state.Test_Space_Cmd_Pending = true;
    state.Test_Space_Cmd_Pending = true; // opened twice before a tick: still one request
    panel.Timer_Poll_Timer();
    port.deliver(hex("FB05312E303820") + QByteArray(1, 0) + hex("FE"));
    panel.Timer_Poll_Timer();
    EXPECT_EQ(port.writes, (QList<QByteArray>{testSpaceRequest, pollFrame}));
}

TEST_F(PollTest, PendingTestSpaceRequestWaitsForAnOpenPort) {
    state.Test_Space_Cmd_Pending = true;
    panel.Timer_Poll_Timer();
    EXPECT_TRUE(state.Test_Space_Cmd_Pending);
    openOn(2);
    panel.Timer_Poll_Timer();
    EXPECT_EQ(port.writes, QList<QByteArray>{testSpaceRequest});
    EXPECT_FALSE(state.Test_Space_Cmd_Pending);
}

TEST_F(PollTest, TestSpaceEchoesRawAndDecodedBytesWithinTheirLimits) {
    openOn(2);
    state.Test_Space_Shown = true;
    port.deliver(statusFrame);
    panel.Timer_Poll_Timer();
    EXPECT_EQ(main.raw, "\r\nFB 40 32 25 0F 8C 78 23 00 FE ");
    EXPECT_EQ(main.decoded, "\r\n40 32 25 0F 8C 78 23 00 ");

    QByteArray flood;
    for (int i = 0; i < 120; ++i)
        flood.append(char(i));
    port.deliver(flood);
    panel.Timer_Poll_Timer();
    EXPECT_EQ(main.raw.size(), 300);
    EXPECT_TRUE(main.raw.startsWith("14 15 "));
    EXPECT_LE(main.decoded.size(), 210);
}

TEST_F(PollTest, HiddenTestSpaceEchoesNothing) {
    openOn(2);
    port.deliver(statusFrame);
    panel.Timer_Poll_Timer();
    EXPECT_TRUE(main.raw.isEmpty());
    EXPECT_TRUE(main.decoded.isEmpty());
}

TEST_F(PollTest, FirmwareReportSetsTheCaptionOnly) {
    openOn(2);
    port.deliver(hex("FB05312E303820") + QByteArray(1, 0) + hex("FE"));
    panel.Timer_Poll_Timer();
    EXPECT_EQ(main.firmware, "Firmware V1.08 ");
    EXPECT_EQ(main.display.draws, 0);
}

TEST_F(PollTest, OnlyTheVisibleWindowIsDrawnAndReset) {
    openOn(2);
    tiny.shown = true;
    port.deliver(statusFrame);
    panel.Timer_Poll_Timer();
    panel.Timer_Connection_Timeout_Timer();
    EXPECT_EQ(tiny.display.draws, 1);
    EXPECT_EQ(tiny.display.noCommunication, 1);
    EXPECT_EQ(main.display.draws, 0);
    EXPECT_EQ(main.display.noCommunication, 0);

    tiny.shown = false;
    panel.Timer_Connection_Timeout_Timer();
    EXPECT_EQ(main.display.noCommunication, 1);
}

TEST_F(PollTest, TimeoutOffNeverFires) {
    openOn(2);
    state.settings.TimeOut = 0;
    port.deliver(statusFrame);
    panel.Timer_Poll_Timer();
    EXPECT_TRUE(panel.Timer_Connection_Timeout().isEnabled());
    EXPECT_FALSE(panel.Timer_Connection_Timeout().isRunning());
}

TEST_F(PollTest, ClassicTimerRules) {
    int ticks = 0;
    core::ClassicTimer t(0, true, [&] { ++ticks; });
    EXPECT_FALSE(t.isRunning());
    t.setInterval(20);
    EXPECT_TRUE(t.isRunning());
    t.setEnabled(false);
    EXPECT_FALSE(t.isRunning());
    t.setEnabled(true);
    EXPECT_TRUE(t.isRunning());
    t.setInterval(0);
    EXPECT_FALSE(t.isRunning());
}

TEST_F(PollTest, KeysWriteOneFrameOrReportTheClosedPort) {
    panel.sendCommand(tarn::protocol::Command::Band_Up, true);
    ASSERT_EQ(op.messages.size(), 1);
    EXPECT_EQ(op.messages[0].text, "Select a COM Port");
    panel.sendCommand(tarn::protocol::Command::PA_Voltage_High, false);
    EXPECT_EQ(op.messages.size(), 1);

    openOn(2);
    EXPECT_TRUE(panel.sendCommand(tarn::protocol::Command::Band_Up, true));
    EXPECT_EQ(port.writes, QList<QByteArray>{hex("FB0707FE")});

    port.failWrites = true;
    EXPECT_FALSE(panel.sendCommand(tarn::protocol::Command::Gain_Up, true));
    ASSERT_EQ(op.messages.size(), 2);
    EXPECT_EQ(op.messages[1].style, core::style::Exclamation);
}

TEST_F(PollTest, ShutdownSendsForceStandbyBeforeSavingAndClosing) {
    openOn(2);
    panel.shutdownPort();
    EXPECT_EQ(port.events, (QList<QString>{"write FB 03 02 05 FE", "close"}));
    EXPECT_TRUE(iniText().contains("Force_STBY=Yes"));
    EXPECT_FALSE(panel.Timer_Poll().isEnabled());
    EXPECT_FALSE(panel.Timer_Connection_Timeout().isEnabled());
}

TEST_F(PollTest, ShutdownWithForceStandbyOffSendsNothing) {
    openOn(2);
    state.settings.Force_STBY = "yes";
    panel.shutdownPort();
    EXPECT_TRUE(port.writes.isEmpty());
    EXPECT_FALSE(port.isOpen());
}

TEST_F(PollTest, BootloaderStartStopsTimersBeforeTheFrameAndFreesThePort) {
    panel.startBootloader();
    ASSERT_EQ(op.messages.size(), 1);
    EXPECT_EQ(op.messages[0].text, "Select a COM Port");
    EXPECT_TRUE(panel.Timer_Poll().isEnabled()) << "nothing changes without a port";

    openOn(7);
    port.deliver(hex("FB4032250F8C782300FE"));
    panel.Timer_Poll_Timer(); // the time-out is now running
    port.writes.clear();
    port.events.clear();
    const QString before = iniText();
    ASSERT_TRUE(panel.startBootloader());
    EXPECT_FALSE(panel.Timer_Poll().isEnabled());
    EXPECT_FALSE(panel.Timer_Connection_Timeout().isEnabled());
    EXPECT_EQ(port.events, (QList<QString>{"write FB 03 09 0C FE", "close"}));
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(iniText(), before) << "nothing is saved";
}

TEST_F(PollTest, DialogChoicesApplyAndSave) {
    openOn(2);
    panel.applyPolling(1000);
    EXPECT_EQ(panel.Timer_Poll().interval(), 1000);
    EXPECT_TRUE(iniText().contains("Rate= 1000"));
    panel.applyTimeOut(std::nullopt);
    EXPECT_EQ(state.settings.TimeOut, 500);
    panel.applyTimeOut(0);
    EXPECT_TRUE(iniText().contains("Time= 0"));
    state.settings.BaudRate = 4800; // from a hand-edited file: kept when nothing is chosen
    port.events.clear();
    panel.applyBaudRate(std::nullopt);
    EXPECT_EQ(port.events, (QList<QString>{"close", "settings 4800,n,8,1", "open 2"}));
    EXPECT_TRUE(iniText().contains("BaudRate= 4800"));
}

TEST_F(PollTest, ShutdownWithAnUnwritableSettingsFileNeverWaitsOnAMessage) {
    openOn(2);
    // Neither the file's place nor the per-user folder can take it now.
    ASSERT_TRUE(QFile::remove(dir.path() + "/tarn-vq4400.ini"));
    ASSERT_TRUE(QDir(dir.path()).mkdir("tarn-vq4400.ini"));
    QFile blocker(dir.path() + "/user");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    panel.shutdownPort();
    EXPECT_TRUE(op.messages.isEmpty());
    EXPECT_EQ(port.events, (QList<QString>{"write FB 03 02 05 FE", "close"}));
    EXPECT_FALSE(panel.Timer_Poll().isEnabled());

    // Outside shutdown the operator is told.
    panel.menuCom_Click(2);
    ASSERT_EQ(op.messages.size(), 1);
    EXPECT_TRUE(op.messages[0].text.startsWith("The settings could not be saved to "));
}
