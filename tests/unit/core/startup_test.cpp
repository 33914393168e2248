#include "panelfixture.h"

#include <QTextStream>

using namespace tarn;
using namespace tarn::testing;
using core::MenuItem;

using StartupTest = PanelTest;

TEST_F(StartupTest, FirstRunCentresTheWindowAndOpensNothing) {
    panel.startup();
    EXPECT_EQ(main.width, 8400);
    EXPECT_EQ(main.height, 4600);
    EXPECT_EQ(placement.leftTwips, (1920 * 15 - 8400) / 2);
    EXPECT_EQ(placement.topTwips, (1080 * 15 - 4600) / 2);
    EXPECT_EQ(state.settings.Top_Location, QString::number(placement.topTwips + 920));
    EXPECT_EQ(state.settings.Left_Location, QString::number(placement.leftTwips + 1680));
    EXPECT_EQ(main.blanks, 1);
    EXPECT_EQ(port.openCalls, 16) << "only the scan may try a port when none is configured";
    EXPECT_FALSE(menu.closeEnabled);
    EXPECT_FALSE(main.onTop);
    EXPECT_FALSE(main.checks[MenuItem::AlwaysOnTop]);
    EXPECT_TRUE(main.checks[MenuItem::ForceStbyOnExit]);
    EXPECT_TRUE(main.checks[MenuItem::SizeNormal]);
    EXPECT_FALSE(main.checks[MenuItem::SizeSmall]);
    EXPECT_TRUE(op.messages.isEmpty());
    EXPECT_FALSE(panel.Timer_Connection_Timeout().isEnabled());
    EXPECT_TRUE(panel.Timer_Poll().isEnabled());
}

TEST_F(StartupTest, StoredSettingsAreAppliedInOrder) {
    writeIni("[COM]\nPortNumber= 4\nBaudRate= 19200\n[Polling]\nRate= 20\n[Form]\n"
             "AlwaysOnTop=Yes\nTop_Location= 600\nLeft_Location=-300\nSize=Small\n"
             "[ONexit]\nForce_STBY=No\n[Tiny_Form]\nTop_Location=100\nLeft_Location=200\n");
    port.available = {4};
    panel.startup();
    EXPECT_TRUE(port.isOpen());
    EXPECT_EQ(port.portNumber(), 4);
    EXPECT_EQ(port.lineSettings(), "19200,n,8,1");
    EXPECT_EQ(menu.checkedItems(), QList<int>{4});
    EXPECT_EQ(placement.topTwips, 600);
    EXPECT_EQ(placement.leftTwips, -300) << "partly off-screen stays as stored";
    EXPECT_EQ(main.keptOnScreen, 1);
    EXPECT_TRUE(main.onTop);
    EXPECT_TRUE(main.checks[MenuItem::AlwaysOnTop]);
    EXPECT_FALSE(main.checks[MenuItem::ForceStbyOnExit]);
    EXPECT_EQ(main.height, 3300);
    EXPECT_TRUE(main.checks[MenuItem::SizeSmall]);
    EXPECT_FALSE(main.checks[MenuItem::SizeNormal]);
    EXPECT_EQ(state.settings.Top_Location, "100");
    EXPECT_TRUE(op.messages.isEmpty());
}

TEST_F(StartupTest, FileWithoutAPortNumberIsNotReadAtAll) {
    writeIni("[COM]\nPortNumber=\nBaudRate= 19200\n[Form]\nSize=Small\n");
    panel.startup();
    EXPECT_EQ(state.settings.BaudRate, 9600);
    EXPECT_EQ(main.height, 4600);
}

TEST_F(StartupTest, LowerCaseYesCountsAsNo) {
    writeIni("[COM]\nPortNumber= 0\n[Form]\nAlwaysOnTop=yes\n");
    panel.startup();
    EXPECT_FALSE(main.onTop);
    panel.menuAlwaysOnTop_Click();
    EXPECT_TRUE(main.onTop);
    EXPECT_EQ(state.settings.AlwaysOnTop, "Yes");
}

TEST_F(StartupTest, NewSerialDevicesGetNumbersThatAreSaved) {
    panel.detectDevices = [] {
        return QList<serial::DetectedDevice>{{"/dev/ttyUSB0", "/dev/serial/by-id/usb-X"}};
    };
    panel.startup();
    EXPECT_EQ(state.ports.deviceFor(1), "/dev/serial/by-id/usb-X");
    panel.Save_All_to_ini_file();
    EXPECT_TRUE(iniText().contains("[Ports]\nCOM1=/dev/serial/by-id/usb-X"));
}

TEST_F(StartupTest, FirstSaveWritesEveryKeyInOrder) {
    panel.startup();
    panel.shutdownPort();
    const QString text = iniText();
    QStringList keys;
    for (const QString& line : text.split('\n', Qt::SkipEmptyParts))
        keys << line.section('=', 0, 0);
    EXPECT_EQ(keys, (QStringList{"[COM]", "PortNumber", "BaudRate", "[Polling]", "Rate",
                                 "[TimeOut]", "Time", "[Form]", "AlwaysOnTop", "Top_Location",
                                 "Left_Location", "Size", "[ONexit]", "Force_STBY", "[tiny_Form]",
                                 "Top_Location", "Left_Location"}));
    EXPECT_TRUE(text.contains("PortNumber= 0\nBaudRate= 9600\n"));
}

class ViewsTest : public PanelTest {
protected:
    void SetUp() override { panel.startup(); }
};

TEST_F(ViewsTest, SmallSizeThenTestSpaceThenEscape) {
    panel.menu_Size_Small_Click();
    EXPECT_EQ(main.height, 3300);
    EXPECT_TRUE(iniText().contains("Size=Small"));
    panel.menuShow_test_space_Click();
    EXPECT_EQ(main.height, 7000);
    EXPECT_TRUE(state.Test_Space_Shown);
    EXPECT_TRUE(main.checks[MenuItem::ShowTestSpace]);
    panel.mainEscape();
    EXPECT_EQ(main.height, 3300);
    EXPECT_FALSE(state.Test_Space_Shown);
    EXPECT_FALSE(main.checks[MenuItem::ShowTestSpace]);
    EXPECT_TRUE(main.checks[MenuItem::SizeSmall]);

    panel.menuShow_test_space_Click();
    panel.Command_Hide_test_space_Click();
    EXPECT_EQ(main.height, 4600) << "the Hide test button ignores the size setting";
}

TEST_F(ViewsTest, NormalSizeLeavesTheTestSpaceFlagAndTheToggleHides) {
    openOn(1);
    panel.menuShow_test_space_Click();
    panel.Timer_Poll_Timer();
    panel.menu_Size_Normal_Click();
    EXPECT_EQ(main.height, 4600);
    EXPECT_TRUE(state.Test_Space_Shown);
    panel.menuShow_test_space_Click();
    EXPECT_FALSE(state.Test_Space_Shown);
    EXPECT_FALSE(main.checks[MenuItem::ShowTestSpace]);
    port.deliver(hex("FB4032250F8C782300FE"));
    panel.Timer_Poll_Timer();
    EXPECT_EQ(port.writes, (QList<QByteArray>{hex("FB0D0DFE"), hex("FB0C0CFE")}));
}

TEST_F(ViewsTest, OpeningTheTestSpaceTwiceBeforeATickSendsOneRequest) {
    openOn(1);
    panel.menuShow_test_space_Click();
    panel.menuShow_test_space_Click();
    panel.menuShow_test_space_Click();
    panel.Timer_Poll_Timer();
    port.deliver(hex("FB4032250F8C782300FE"));
    panel.Timer_Poll_Timer();
    EXPECT_EQ(port.writes, (QList<QByteArray>{hex("FB0D0DFE"), hex("FB0C0CFE")}));
}

TEST_F(ViewsTest, AlwaysOnTopTwiceWritesTheFileTwice) {
    panel.menuAlwaysOnTop_Click();
    EXPECT_TRUE(main.onTop);
    EXPECT_TRUE(iniText().contains("AlwaysOnTop=Yes"));
    panel.menuAlwaysOnTop_Click();
    EXPECT_FALSE(main.onTop);
    EXPECT_FALSE(main.checks[MenuItem::AlwaysOnTop]);
    EXPECT_TRUE(iniText().contains("AlwaysOnTop=No"));
}

TEST_F(ViewsTest, ForceStandbyFollowsTheCheckMarkNotTheVariable) {
    state.settings.Force_STBY = "No"; // out of step with the check mark on purpose
    panel.MenuForceSTBYonExit_Click();
    EXPECT_FALSE(main.checks[MenuItem::ForceStbyOnExit]);
    EXPECT_EQ(state.settings.Force_STBY, "No");
    panel.MenuForceSTBYonExit_Click();
    EXPECT_EQ(state.settings.Force_STBY, "Yes");
    EXPECT_TRUE(iniText().contains("Force_STBY=Yes"));
}

TEST_F(ViewsTest, TinyWidgetOpensAtItsPlaceAndHandsItBack) {
    state.settings.Top_Location = "1200";
    state.settings.Left_Location = "2400";
    panel.menuTinyWidget_Click();
    EXPECT_TRUE(tiny.shown);
    EXPECT_EQ(tiny.left, 2400);
    EXPECT_EQ(tiny.top, 1200);
    EXPECT_FALSE(main.shown);
    panel.tinyClosed(3000, 900);
    EXPECT_TRUE(main.shown);
    EXPECT_EQ(state.settings.Left_Location, "3000");
    EXPECT_EQ(state.settings.Top_Location, "900");
    panel.shutdownPort();
    EXPECT_TRUE(iniText().contains("[tiny_Form]\nTop_Location=900\nLeft_Location=3000"));
}
