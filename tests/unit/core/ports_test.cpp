#include "panelfixture.h"

using namespace tarn;
using namespace tarn::testing;

using PortsTest = PanelTest;

TEST_F(PortsTest, ScanOffersOnlyThePortsThatOpen) {
    port.available = {3, 5, 17};
    port.devices = {{3, "/dev/ttyUSB0"}, {5, "tcp://10.0.0.5:4001"}};
    panel.Scan_Com_Ports();
    EXPECT_EQ(menu.availableItems(), (QList<int>{3, 5}));
    EXPECT_EQ(menu.available.size(), 16);
    EXPECT_FALSE(menu.placeholderVisible);
    EXPECT_EQ(menu.devices.value(3), "/dev/ttyUSB0");
    EXPECT_EQ(menu.devices.value(5), "tcp://10.0.0.5:4001");
    EXPECT_FALSE(port.isOpen());
    EXPECT_TRUE(port.writes.isEmpty());
}

TEST_F(PortsTest, NoFreePortLeavesThePlaceholderWhichExplainsAndSavesNothing) {
    panel.Scan_Com_Ports();
    EXPECT_TRUE(menu.availableItems().isEmpty());
    EXPECT_TRUE(menu.placeholderVisible);
    panel.menuCom_Click(0);
    ASSERT_EQ(op.messages.size(), 1);
    EXPECT_EQ(op.messages[0].text,
              "Exit the application and check the connection. Then try again.");
    EXPECT_EQ(op.messages[0].style, core::style::Information);
    EXPECT_EQ(op.messages[0].title, "No Free Com Ports Found");
    EXPECT_EQ(state.settings.PortNumber, 0);
    EXPECT_FALSE(QFile::exists(dir.path() + "/tarn-vq4400.ini"));
}

TEST_F(PortsTest, ChoosingAPortOpensChecksAndSavesIt) {
    port.available = {3, 5};
    panel.menuCom_Click(3);
    panel.menuCom_Click(5);
    EXPECT_TRUE(port.isOpen());
    EXPECT_EQ(port.portNumber(), 5);
    EXPECT_EQ(menu.checkedItems(), QList<int>{5});
    EXPECT_TRUE(menu.closeEnabled);
    EXPECT_TRUE(op.messages.isEmpty());
    EXPECT_TRUE(iniText().contains("PortNumber= 5"));
}

TEST_F(PortsTest, ChoosingATakenPortReportsItAndSavesPortZero) {
    port.available = {3};
    panel.menuCom_Click(3);
    port.available.remove(4); // another program holds 4
    panel.menuCom_Click(4);
    ASSERT_EQ(op.messages.size(), 1);
    EXPECT_EQ(op.messages[0].text, "The Com Port is not available");
    EXPECT_EQ(op.messages[0].style, core::style::Ok);
    EXPECT_TRUE(op.messages[0].title.isEmpty());
    EXPECT_FALSE(port.isOpen());
    EXPECT_TRUE(menu.checkedItems().isEmpty());
    EXPECT_FALSE(menu.closeEnabled);
    EXPECT_EQ(state.settings.PortNumber, 0);
    EXPECT_TRUE(iniText().contains("PortNumber= 0"));
}

TEST_F(PortsTest, ClosingTwiceEndsClosedSilentlyWithPortZeroSaved) {
    openOn(3);
    for (int round = 0; round < 2; ++round) {
        panel.menuCloseComPort_Click();
        EXPECT_FALSE(port.isOpen());
        EXPECT_TRUE(menu.checkedItems().isEmpty());
        EXPECT_FALSE(menu.closeEnabled);
        EXPECT_EQ(state.settings.PortNumber, 0);
        EXPECT_TRUE(iniText().contains("PortNumber= 0"));
    }
    EXPECT_TRUE(op.messages.isEmpty());
}

TEST_F(PortsTest, StartUpOpenFailuresStaySilentKeepTheNumberAndWait) {
    state.settings.PortNumber = 0;
    panel.Open_Com_Port();
    EXPECT_FALSE(menu.closeEnabled);
    EXPECT_EQ(port.openCalls, 0);

    state.settings.PortNumber = 7; // held by another program
    panel.Open_Com_Port();
    EXPECT_FALSE(port.isOpen());
    EXPECT_TRUE(panel.isReopening());
    EXPECT_TRUE(menu.closeEnabled) << "the operator must be able to stop the retries";
    EXPECT_EQ(state.settings.PortNumber, 7);
    EXPECT_TRUE(op.messages.isEmpty());

    port.available = {7};
    panel.Timer_Reopen_Timer();
    EXPECT_TRUE(port.isOpen());
    EXPECT_EQ(menu.checkedItems(), QList<int>{7});
    EXPECT_TRUE(menu.closeEnabled);
}

TEST_F(PortsTest, RejectedNumberNeverOpensThePreviousOne) {
    port.available = {16};
    ASSERT_TRUE(port.setPortNumber(16)); // where the scan leaves it
    state.settings.PortNumber = 300;
    panel.Open_Com_Port();
    EXPECT_FALSE(port.isOpen());
    EXPECT_FALSE(menu.closeEnabled);
}

TEST_F(PortsTest, PortAboveSixteenIsUsedWithoutACheckMark) {
    port.available = {20};
    state.settings.PortNumber = 20;
    panel.Open_Com_Port();
    EXPECT_TRUE(port.isOpen());
    EXPECT_TRUE(menu.checkedItems().isEmpty());
    EXPECT_TRUE(menu.closeEnabled);
}

TEST_F(PortsTest, LostPortIsReopenedByItselfAndTheMenuFollows) {
    openOn(3);
    port.loseLine();
    port.available.remove(3);
    panel.Timer_Poll_Timer();
    EXPECT_TRUE(panel.isReopening());
    EXPECT_TRUE(panel.Timer_Reopen().isEnabled());
    EXPECT_EQ(panel.Timer_Reopen().interval(), 1000);
    EXPECT_EQ(menu.checkedItems(), QList<int>{3}) << "still the port the panel uses";
    EXPECT_TRUE(menu.closeEnabled) << "the operator must be able to stop the retries";
    EXPECT_TRUE(port.writes.isEmpty());

    panel.Timer_Reopen_Timer(); // still gone
    EXPECT_FALSE(port.isOpen());
    EXPECT_TRUE(panel.isReopening());

    port.available.insert(3);
    panel.Timer_Reopen_Timer();
    EXPECT_TRUE(port.isOpen());
    EXPECT_FALSE(panel.isReopening());
    EXPECT_FALSE(panel.Timer_Reopen().isEnabled());
    EXPECT_EQ(menu.checkedItems(), QList<int>{3});
    EXPECT_TRUE(op.messages.isEmpty());
    panel.Timer_Poll_Timer();
    EXPECT_EQ(port.allWritten(), hex("FB0C0CFE"));
}

TEST_F(PortsTest, ClosingThePortStopsTheRetries) {
    openOn(3);
    port.loseLine();
    panel.Timer_Poll_Timer();
    ASSERT_TRUE(panel.isReopening());
    panel.menuCloseComPort_Click();
    EXPECT_FALSE(panel.isReopening());
    EXPECT_FALSE(panel.Timer_Reopen().isEnabled());
    panel.Timer_Reopen_Timer();
    EXPECT_FALSE(port.isOpen());
}

TEST_F(PortsTest, LineSettingsReopenAnOpenPortAndReportAVanishedOne) {
    state.settings.BaudRate = 19200;
    panel.applyLineSettings(false);
    EXPECT_EQ(port.lineSettings(), "19200,n,8,1");
    EXPECT_FALSE(port.isOpen());

    openOn(3);
    state.settings.BaudRate = 38400;
    panel.applyLineSettings(false);
    EXPECT_EQ(port.events, (QList<QString>{"close", "settings 38400,n,8,1", "open 3"}));

    port.available.remove(3);
    panel.applyLineSettings(false);
    EXPECT_FALSE(port.isOpen());
    EXPECT_TRUE(panel.isReopening());
    ASSERT_EQ(op.messages.size(), 1);
    EXPECT_EQ(op.messages[0].text, "The Com Port is not available");
}
