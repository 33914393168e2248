// The panel behind the windows, on the fake port: start-up, the Com menu, polling and
// decoding, the views' menus, shutdown and the firmware hand-over, and the line misbehaving.
#include "support/rig.h"

#include <QDir>
#include <QPoint>

using namespace tarn;
using namespace tarn::testing;
using core::MenuItem;
using protocol::Command;

namespace {
const QByteArray pollFrame = hex("FB0C0CFE");
const QByteArray testSpaceRequest = hex("FB0D0DFE");
const QByteArray forceStandby = hex("FB030205FE");
const QByteArray firmwareReport = hex("FB05312E303820") + QByteArray(1, 0) + hex("FE");
// 3.5 MHz in STBY at 35 degrees, then OPER transmitting at 77 degrees.
const QByteArray statusFrame = hex("FB4032250F8C782300FE");
const QByteArray stale = hex("FB0032250F8C782300FE");
const QByteArray current = hex("FB5032250F8C784D00FE");

int polls(const serial::FakeSerialPort& port) {
    return int(port.writes.count(pollFrame));
}
} // namespace

TEST_F(PanelTest, FirstRunCentresTheWindowNumbersTheDevicesOpensNothingAndSavesEveryKey) {
    panel.detectDevices = [] {
        return QList<serial::DetectedDevice>{{"/dev/ttyUSB0", "/dev/serial/by-id/usb-X"}};
    };
    panel.startup();
    EXPECT_EQ(QPoint(placement.leftTwips, placement.topTwips),
              QPoint(1920 * 15 - main.width, 1080 * 15 - main.height) / 2);
    EXPECT_EQ(state.settings.Left_Location + " " + state.settings.Top_Location,
              QString("%1 %2").arg(placement.leftTwips + 1680).arg(placement.topTwips + 920));
    EXPECT_EQ(main.blanks, 1);
    EXPECT_EQ(port.openCalls, 16) << "only the scan may try a port when none is configured";
    EXPECT_TRUE(!menu.closeEnabled && main.checks[MenuItem::ForceStbyOnExit]);
    EXPECT_FALSE(panel.Timer_Connection_Timeout().isEnabled() ||
                 panel.Timer_Key_Deadline().isEnabled());
    EXPECT_TRUE(panel.Timer_Poll().isEnabled());

    panel.shutdownPort(clock);
    QStringList keys;
    for (const QString& line : iniText().split('\n', Qt::SkipEmptyParts))
        keys << line.section('=', 0, 0);
    EXPECT_EQ(keys, (QStringList{"[COM]", "PortNumber", "BaudRate", "[Polling]", "Rate",
                                 "[TimeOut]", "Time", "[Form]", "AlwaysOnTop", "Top_Location",
                                 "Left_Location", "Size", "[ONexit]", "Force_STBY", "[tiny_Form]",
                                 "Top_Location", "Left_Location", "[Ports]", "COM1"}));
    EXPECT_TRUE(iniText().contains("PortNumber= 0\nBaudRate= 9600\n"));
    EXPECT_TRUE(iniText().endsWith("[Ports]\nCOM1=/dev/serial/by-id/usb-X\n"));
}

TEST_F(PanelTest, StoredSettingsAreAppliedAndOddFilesReadAsTheyAlwaysWere) {
    writeIni("[COM]\nPortNumber=\nBaudRate= 19200\n[Form]\nSize=Small\n");
    panel.startup();
    EXPECT_EQ(state.settings.BaudRate, 9600) << "a file without a port number is not read";
    EXPECT_EQ(main.height, 4600);

    writeIni("[COM]\nPortNumber= 0\n[Form]\nAlwaysOnTop=yes\n");
    panel.startup();
    EXPECT_FALSE(main.onTop) << "lower-case yes counts as no";
    panel.menuAlwaysOnTop_Click();
    EXPECT_TRUE(main.onTop);
    EXPECT_EQ(state.settings.AlwaysOnTop, "Yes");
    main.onTop = false, main.keptOnScreen = 0; // as the windows of a new session

    writeIni("[COM]\nPortNumber= 4\nBaudRate= 19200\n[Polling]\nRate= 20\n[Form]\n"
             "AlwaysOnTop=Yes\nTop_Location= 600\nLeft_Location=-300\nSize=Small\n"
             "[ONexit]\nForce_STBY=No\n[Tiny_Form]\nTop_Location=100\nLeft_Location=200\n");
    port.available = {4};
    panel.startup();
    EXPECT_TRUE(port.isOpen() && port.portNumber() == 4);
    EXPECT_EQ(port.lineSettings(), "19200,n,8,1");
    EXPECT_EQ(menu.checkedItems(), QList<int>{4});
    EXPECT_EQ(QPoint(placement.leftTwips, placement.topTwips), QPoint(-300, 600))
        << "partly off-screen stays as stored";
    EXPECT_EQ(main.keptOnScreen, 1);
    EXPECT_TRUE(main.onTop && main.checks[MenuItem::AlwaysOnTop]);
    EXPECT_FALSE(main.checks[MenuItem::ForceStbyOnExit]);
    EXPECT_EQ(main.height, 3300);
    EXPECT_TRUE(main.checks[MenuItem::SizeSmall]);
    EXPECT_EQ(state.settings.Top_Location, "100");
}

TEST_F(PanelTest, ScanOffersOnlyThePortsThatOpenAndThePlaceholderExplains) {
    panel.Scan_Com_Ports();
    EXPECT_TRUE(menu.availableItems().isEmpty() && menu.placeholderVisible);
    panel.menuCom_Click(0);
    EXPECT_EQ(texts(),
              QStringList{"Exit the application and check the connection. Then try again."});
    EXPECT_FALSE(QFile::exists(iniPath()));

    port.available = {3, 5, 17};
    port.devices = {{3, "/dev/ttyUSB0"}, {5, "tcp://10.0.0.5:4001"}};
    panel.Scan_Com_Ports();
    EXPECT_EQ(menu.availableItems(), (QList<int>{3, 5}));
    EXPECT_EQ(menu.available.size(), 16);
    EXPECT_FALSE(menu.placeholderVisible);
    EXPECT_EQ(menu.devices.value(5), "tcp://10.0.0.5:4001");
    EXPECT_TRUE(!port.isOpen() && port.writes.isEmpty());

    // Network ports are listed without connecting.
    for (int i = 1; i <= 16; ++i)
        port.network.insert(i);
    port.openCalls = 0;
    panel.Scan_Com_Ports();
    EXPECT_EQ(menu.availableItems().size(), 16);
    EXPECT_EQ(port.openCalls, 0);
}

TEST_F(PanelTest, ChoosingClosingAndFailingPortsKeepTheMenuAndTheFileInStep) {
    port.available = {3, 5};
    panel.menuCom_Click(3);
    panel.menuCom_Click(5);
    EXPECT_EQ(port.portNumber(), 5);
    EXPECT_EQ(menu.checkedItems(), QList<int>{5});
    EXPECT_TRUE(menu.closeEnabled && iniText().contains("PortNumber= 5"));
    panel.menuCom_Click(0);
    EXPECT_TRUE(port.isOpen()) << "the placeholder never changes the port";
    EXPECT_EQ(state.settings.PortNumber, 5);
    op.messages.clear();

    panel.menuCom_Click(4); // another program holds 4
    EXPECT_EQ(texts(), QStringList{"The Com Port is not available"});
    EXPECT_TRUE(!port.isOpen() && menu.checkedItems().isEmpty());
    EXPECT_TRUE(!menu.closeEnabled && iniText().contains("PortNumber= 0"));
    panel.menuCom_Click(5);
    EXPECT_TRUE(port.isOpen()) << "a failed open leaves the port free for the next choice";

    for (int round = 0; round < 2; ++round) {
        panel.menuCloseComPort_Click();
        EXPECT_TRUE(!port.isOpen() && menu.checkedItems().isEmpty());
        EXPECT_FALSE(menu.closeEnabled);
        EXPECT_EQ(state.settings.PortNumber, 0);
    }
    EXPECT_EQ(op.messages.size(), 1);
}

TEST_F(PanelTest, StartUpPortsAreWaitedForAndNeverMistaken) {
    state.settings.PortNumber = 0;
    panel.Open_Com_Port();
    EXPECT_EQ(port.openCalls, 0);

    port.available = {16};
    ASSERT_TRUE(port.setPortNumber(16)); // where the scan leaves it
    state.settings.PortNumber = 300;
    panel.Open_Com_Port();
    EXPECT_FALSE(port.isOpen()) << "a rejected number never opens the previous one";
    EXPECT_FALSE(menu.closeEnabled);

    port.available = {20};
    state.settings.PortNumber = 20;
    panel.Open_Com_Port();
    EXPECT_TRUE(port.isOpen()) << "above sixteen is used without a check mark";
    EXPECT_TRUE(menu.checkedItems().isEmpty());
    panel.menuCloseComPort_Click();

    writeIni("[COM]\nPortNumber= 4\n");
    panel.startup();
    EXPECT_TRUE(!port.isOpen() && panel.isReopening());
    EXPECT_TRUE(menu.availableItems().contains(4));
    EXPECT_EQ(menu.checkedItems(), QList<int>{4});
    EXPECT_TRUE(menu.closeEnabled) << "the operator must be able to stop the retries";
    EXPECT_TRUE(panel.Timer_Connection_Timeout().isEnabled()) << "No Communication follows";
    EXPECT_TRUE(op.messages.isEmpty());
    panel.sendCommand(Command::Gain_Up, true);
    EXPECT_EQ(texts(), QStringList{"The Com Port is not available"});

    panel.Timer_Reopen_Timer();
    EXPECT_FALSE(port.isOpen());
    port.available.insert(4);
    panel.Timer_Reopen_Timer();
    EXPECT_TRUE(port.isOpen() && !panel.Timer_Reopen().isEnabled());
    EXPECT_EQ(state.settings.PortNumber, 4);
    EXPECT_EQ(menu.checkedItems(), QList<int>{4});

    // A connection under way is a port being waited for, finished on the next tick.
    panel.menuCloseComPort_Click();
    port.connecting = true;
    state.settings.PortNumber = 6;
    panel.Open_Com_Port();
    EXPECT_TRUE(panel.isReopening());
    port.available.insert(6);
    ASSERT_TRUE(port.open());
    port.connecting = false;
    port.writes.clear();
    panel.Timer_Poll_Timer();
    EXPECT_TRUE(port.isOpen());
    EXPECT_EQ(polls(port), 1);
}

TEST_F(PanelTest, ALostPortIsReopenedByItselfUntilTheOperatorCloses) {
    ASSERT_TRUE(openOn(3));
    const int opens = port.openCalls;
    panel.Timer_Reopen_Timer();
    EXPECT_EQ(port.openCalls, opens) << "a port that is up is not reopened";
    port.loseLine();
    port.available.remove(3);
    panel.Timer_Poll_Timer();
    EXPECT_TRUE(panel.isReopening());
    EXPECT_EQ(panel.Timer_Reopen().interval(), 1000);
    EXPECT_EQ(menu.checkedItems(), QList<int>{3}) << "still the port the panel uses";
    EXPECT_TRUE(menu.closeEnabled && port.writes.isEmpty());
    panel.Timer_Reopen_Timer();
    EXPECT_FALSE(port.isOpen());

    port.available.insert(3);
    panel.Timer_Reopen_Timer();
    EXPECT_TRUE(port.isOpen() && !panel.isReopening() && !panel.Timer_Reopen().isEnabled());
    EXPECT_TRUE(op.messages.isEmpty());
    panel.Timer_Poll_Timer();
    EXPECT_EQ(port.allWritten(), pollFrame);

    port.loseLine();
    panel.Timer_Poll_Timer();
    ASSERT_TRUE(panel.isReopening());
    panel.menuCloseComPort_Click();
    EXPECT_TRUE(!panel.isReopening() && !panel.Timer_Reopen().isEnabled());
    panel.Timer_Reopen_Timer();
    EXPECT_FALSE(port.isOpen());
}

TEST_F(PanelTest, LineSettingsReopenTheOpenPortAndAFailedReopenIsRetried) {
    state.settings.BaudRate = 19200;
    panel.applyLineSettings(false);
    EXPECT_EQ(port.lineSettings(), "19200,n,8,1");
    EXPECT_FALSE(port.isOpen());

    ASSERT_TRUE(openOn(3));
    state.settings.BaudRate = 4800; // from a hand-edited file: kept when nothing is chosen
    panel.applyBaudRate(std::nullopt);
    EXPECT_EQ(port.events, (QList<QString>{"close", "settings 4800,n,8,1", "open 3"}));
    EXPECT_TRUE(iniText().contains("BaudRate= 4800"));

    port.available.remove(3);
    port.error = "No such device";
    panel.applyBaudRate(19200);
    EXPECT_FALSE(port.isOpen());
    ASSERT_EQ(op.messages.size(), 1);
    EXPECT_TRUE(op.messages.value(0).text.startsWith("The Com Port is not available"));
    EXPECT_TRUE(op.messages.value(0).text.contains("No such device"));
    EXPECT_EQ(state.settings.PortNumber, 3);
    port.available.insert(3);
    panel.Timer_Reopen_Timer();
    EXPECT_TRUE(port.isOpen());
    EXPECT_EQ(port.lineSettings(), "19200,n,8,1");
}

TEST_F(PanelTest, PollingDecodesEachAnswerAndRearmsTheTimeout) {
    state.settings.Polling = 1000;
    for (int i = 0; i < 5; ++i)
        panel.Timer_Poll_Timer();
    EXPECT_TRUE(port.writes.isEmpty()) << "a closed port is not polled";
    EXPECT_EQ(panel.Timer_Poll().interval(), 1000);

    ASSERT_TRUE(openOn(2));
    state.settings.TimeOut = 750;
    for (int i = 0; i < 3; ++i)
        panel.Timer_Poll_Timer();
    EXPECT_EQ(port.writes, QList<QByteArray>{pollFrame}) << "unanswered, not repeated yet";
    EXPECT_FALSE(panel.Timer_Connection_Timeout().isEnabled());

    feed(hex("0A0BFE") + statusFrame.left(6));
    EXPECT_FALSE(panel.Timer_Connection_Timeout().isEnabled()) << "noise or half a frame is life";
    EXPECT_EQ(main.display.draws, 0);

    feed(statusFrame);
    EXPECT_EQ(main.display.draws, 1);
    EXPECT_EQ(main.display.last.band, "3.5 MHz");
    EXPECT_EQ(state.Rx_Byte.value(6), 0x23);
    state.settings.TimeOut = 700; // a re-arm takes it up
    feed(hex("0A0BFE"));
    EXPECT_EQ(panel.Timer_Connection_Timeout().interval(), 750) << "noise held the silence off";
    EXPECT_TRUE(panel.Timer_Connection_Timeout().isRunning());
    feed(firmwareReport);
    EXPECT_EQ(panel.Timer_Connection_Timeout().interval(), 700) << "a firmware report is life";
    state.settings.TimeOut = 750;
    EXPECT_EQ(main.firmware, "Firmware V1.08 ");
    EXPECT_EQ(main.display.draws, 1);
    EXPECT_TRUE(main.raw.isEmpty()) << "a hidden test space echoes nothing";

    state.settings.TimeOut = 0;
    feed(statusFrame);
    EXPECT_TRUE(panel.Timer_Connection_Timeout().isEnabled());
    EXPECT_FALSE(panel.Timer_Connection_Timeout().isRunning()) << "time-out off never fires";
    EXPECT_TRUE(panel.poller().Timer_Gap().isRunning()) << "yet a long silence is still a gap";

    state.settings.TimeOut = 750;
    tiny.shown = true; // only the visible window is drawn and reset
    feed(statusFrame);
    EXPECT_FALSE(panel.poller().Timer_Gap().isEnabled());
    panel.Timer_Connection_Timeout_Timer();
    EXPECT_EQ(tiny.display.draws, 1);
    EXPECT_EQ(tiny.display.noCommunication, 1);
    EXPECT_EQ(main.display.draws, 2);
    EXPECT_EQ(main.display.noCommunication, 0);
    tiny.shown = false;
    panel.Timer_Connection_Timeout_Timer();
    EXPECT_EQ(main.display.noCommunication, 1);
}

TEST_F(PanelTest, TheTestSpaceAsksOncePerOpeningAndEchoesTheTraffic) {
    panel.startup();
    panel.menuShow_test_space_Click();
    panel.Timer_Poll_Timer();
    EXPECT_TRUE(state.Test_Space_Cmd_Pending) << "the request waits for an open port";
    ASSERT_TRUE(openOn(2));
    panel.menuShow_test_space_Click();
    panel.menuShow_test_space_Click(); // shut and opened again before a tick
    panel.Timer_Poll_Timer();
    feed(statusFrame);
    EXPECT_EQ(port.writes, (QList<QByteArray>{testSpaceRequest, pollFrame}));
    EXPECT_EQ(main.raw, "\r\nFB 40 32 25 0F 8C 78 23 00 FE ");
    EXPECT_EQ(main.decoded, "\r\n40 32 25 0F 8C 78 23 00 ");
}

TEST_F(PanelTest, SizeTestSpaceAndEscapeSetTheHeight) {
    panel.startup();
    panel.menu_Size_Small_Click();
    EXPECT_EQ(main.height, 3300);
    EXPECT_TRUE(iniText().contains("Size=Small"));
    panel.menuShow_test_space_Click();
    EXPECT_EQ(main.height, 7000);
    EXPECT_TRUE(main.checks[MenuItem::ShowTestSpace]);
    panel.mainEscape();
    EXPECT_EQ(main.height, 3300);
    EXPECT_FALSE(state.Test_Space_Shown);
    EXPECT_FALSE(main.checks[MenuItem::ShowTestSpace]);
    panel.menuShow_test_space_Click();
    panel.Command_Hide_test_space_Click();
    EXPECT_EQ(main.height, 4600) << "the Hide test button ignores the size setting";

    panel.menuShow_test_space_Click();
    panel.menu_Size_Normal_Click();
    EXPECT_EQ(main.height, 4600);
    EXPECT_TRUE(state.Test_Space_Shown);
    panel.menuShow_test_space_Click();
    EXPECT_FALSE(state.Test_Space_Shown || main.checks[MenuItem::ShowTestSpace]) << "a toggle";
}

TEST_F(PanelTest, TogglesSaveEachTimeAndTheTinyWidgetHandsItsPlaceBack) {
    panel.startup();
    panel.menuAlwaysOnTop_Click();
    EXPECT_TRUE(main.onTop);
    EXPECT_TRUE(iniText().contains("AlwaysOnTop=Yes"));
    panel.menuAlwaysOnTop_Click();
    EXPECT_FALSE(main.onTop);
    EXPECT_TRUE(iniText().contains("AlwaysOnTop=No"));

    state.settings.Force_STBY = "No"; // out of step with the check mark on purpose
    panel.MenuForceSTBYonExit_Click();
    EXPECT_FALSE(main.checks[MenuItem::ForceStbyOnExit]);
    EXPECT_EQ(state.settings.Force_STBY, "No");
    panel.MenuForceSTBYonExit_Click();
    EXPECT_EQ(state.settings.Force_STBY, "Yes");
    EXPECT_TRUE(iniText().contains("Force_STBY=Yes"));

    ASSERT_TRUE(openOn(2));
    panel.applyPolling(1000);
    EXPECT_EQ(panel.Timer_Poll().interval(), 1000);
    EXPECT_TRUE(iniText().contains("Rate= 1000"));
    panel.applyTimeOut(std::nullopt);
    EXPECT_EQ(state.settings.TimeOut, 500);
    panel.applyTimeOut(0);
    EXPECT_TRUE(iniText().contains("Time= 0"));
    state.settings.Top_Location = "1200";
    state.settings.Left_Location = "2400";
    panel.menuTinyWidget_Click();
    EXPECT_TRUE(tiny.shown);
    EXPECT_EQ(QPoint(tiny.left, tiny.top), QPoint(2400, 1200));
    EXPECT_FALSE(main.shown);
    panel.tinyClosed(QPoint(3000, 900));
    EXPECT_TRUE(main.shown);
    // A place the window system never reported is not one to keep.
    panel.menuTinyWidget_Click(), panel.tinyClosed(std::nullopt);
    EXPECT_TRUE(main.shown);
    panel.shutdownPort(clock);
    EXPECT_TRUE(iniText().contains("[tiny_Form]\nTop_Location=900\nLeft_Location=3000"));
}

TEST_F(PanelTest, KeysWriteOneFrameOrAskForAPort) {
    EXPECT_FALSE(panel.sendCommand(Command::Band_Up, true));
    EXPECT_EQ(texts(), QStringList{"Select a COM Port"});
    panel.sendCommand(Command::PA_Voltage_High, false);
    EXPECT_EQ(op.messages.size(), 1) << "a silent command is silent";

    ASSERT_TRUE(openOn(2));
    EXPECT_TRUE(panel.sendCommand(Command::Band_Up, true));
    EXPECT_EQ(port.writes, QList<QByteArray>{hex("FB0707FE")});
}

QByteArray withFlags(const char* flags) {
    return statusFrame.left(1) + hex(flags) + statusFrame.mid(2);
}

TEST_F(PanelTest, ShutdownSendsForceStandbyThenSavesThenWaitsForTheAmplifiersWord) {
    // An amplifier on the fake port: answers each poll with its state behind `heldBack`, and
    // goes to standby on force standby when it `obeys`.
    bool operate = true, obeys = true;
    QByteArray heldBack;
    QList<QByteArray> inFlight; // an answer reaches the line at the next wait
    const auto wait = [&](int msecs) {
        now += std::max(1, msecs);
        port.deliver(inFlight.isEmpty() ? QByteArray() : inFlight.takeFirst());
    };
    bool savedBeforeStandby = true;
    const auto amplifier = [&](const QByteArray& frame) {
        if (frame == forceStandby) {
            savedBeforeStandby = iniText().contains("777");
            operate = operate && !obeys;
        }
        if (frame == pollFrame)
            inFlight << heldBack + withFlags(operate ? "40" : "00");
    };
    using S = core::ForceStandby::Stage;
    const struct {
        const char* name;
        std::function<void()> prepare;
        S stage;
        int status;
        qint64 fromMs, toMs; // how long the wait took
    } cases[] = {
        {"a live amplifier confirms at the first poll", [] {}, S::Confirmed, 0, 0, 30},
        {"a late answer to an earlier poll proves nothing", // standby, still unread
         [&] { operate = obeys = false, panel.Timer_Poll_Timer(), operate = true; },
         S::NotConfirmed, 3, 1000, 1000},
        {"a stale standby ahead is no proof", [&] { heldBack = withFlags("00"), obeys = false; },
         S::NotConfirmed, 3, 1000, 1000},
        {"the newest answer decides", [&] { heldBack = withFlags("40"); }, S::Confirmed, 0, 0, 30},
        {"a stalled peer", [&] { port.stalledBytes = 5; }, S::NotDelivered, 2, 2000, 2000},
        {"a write that fails", [&] { port.failWrites = true; }, S::NotWritten, 2, 0, 0},
        {"a second signal",
         [&] {
             port.unacknowledged = 5; // a network peer that never acknowledges
             port.onWait = [&](int) { interrupted = ++now > 300; };
         },
         S::NotDelivered, 2, 300, 310},
        {"only Yes sends it", [&] { state.settings.Force_STBY = "yes"; }, S::Idle, 0, 0, 0},
        {"a lossy close", [&] { state.settings.Force_STBY = "No", port.failClose = true; }, S::Idle,
         2, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        operate = obeys = true;
        heldBack.clear(), inFlight.clear();
        port.onWait = wait;
        port.onWrite = nullptr;
        ASSERT_TRUE(openOn(2));
        ASSERT_TRUE(QFile::remove(iniPath()));
        port.onWrite = amplifier;
        state.settings.Polling = 777;
        savedBeforeStandby = false;
        now = 0;
        c.prepare();
        const core::ExitResult r = panel.shutdownPort(clock);
        EXPECT_EQ(r.stage, c.stage);
        EXPECT_EQ(core::WayOut::statusFor(r), c.status);
        EXPECT_TRUE(now >= c.fromMs && now <= c.toMs) << now;
        EXPECT_EQ(core::WayOut::explain(r).isEmpty(), c.status == 0);
        EXPECT_NE(port.isOpen(), !port.failClose);
        EXPECT_TRUE(iniText().contains("777"));
        EXPECT_FALSE(savedBeforeStandby) << "the save held force standby back";
        EXPECT_TRUE(r.stage != S::NotConfirmed || polls(port) >= 40) << "not polled every 20 ms";
        EXPECT_TRUE(r.stage != S::Confirmed ||
                    port.events.mid(0, 2) ==
                        (QList<QString>{"write FB 03 02 05 FE", "write FB 0C 0C FE"}));
        port.stalledBytes = port.unacknowledged = 0;
        port.failWrites = port.failClose = interrupted = false;
        state.settings.Force_STBY = "Yes";
    }
    EXPECT_FALSE(panel.Timer_Poll().isEnabled() || panel.Timer_Connection_Timeout().isEnabled());
    EXPECT_FALSE(panel.sendCommand(Command::Toggle_OPER_STBY, true) || panel.sendStandby())
        << "a frame after the way out";

    // Every way out runs it once; one line tells why it failed; a lost display runs nothing
    // that needs it.
    QStringList lines;
    int hooks = 0;
    port.onWrite = nullptr; // a silent amplifier
    ASSERT_TRUE(openOn(2));
    core::WayOut wayOut(panel, clock,
                        {[&] { ++hooks; }, [&](int s) { hooks += 10 * s; },
                         [&](const QString& line) { lines << line; },
                         [&](const core::ExitResult& r) { hooks += r.standbyDue ? 100 : 1000; }});
    EXPECT_EQ(wayOut.leave(core::Way::Signal) + wayOut.leave(core::Way::Window), 6);
    EXPECT_EQ(hooks, 131) << "the shutdown ran twice, or its hooks not at all";
    EXPECT_TRUE(lines.size() == 1 && lines[0].startsWith("tarn-vq4400: force standby was sent"));
    core::WayOut lost(panel, clock,
                      {[&] { ++hooks; }, [&](int) { ++hooks; }, {}, [&](auto&) { hooks += 100; }});
    EXPECT_EQ(lost.leave(core::Way::DisplayLost) + hooks, 231)
        << "only the record needs no display";
}

TEST_F(PanelTest, AnUnwritableSettingsFileNeverHoldsUpTheExit) {
    ASSERT_TRUE(openOn(2));
    panel.Save_All_to_ini_file();
    ASSERT_TRUE(QFile::remove(iniPath()));
    ASSERT_TRUE(QDir(dir.path()).mkdir("tarn-vq4400.ini"));
    QFile blocker(dir.path() + "/user");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    panel.shutdownPort(clock);
    EXPECT_TRUE(op.messages.isEmpty());
    EXPECT_EQ(port.events.last(), "close");

    panel.menuCom_Click(2);
    ASSERT_EQ(op.messages.size(), 1) << "outside shutdown the operator is told";
    EXPECT_TRUE(op.messages.value(0).text.startsWith("The settings could not be saved to "));
}

TEST_F(PanelTest, TheHandOverHappensOnlyOnceTheStartFrameLeftAndIsFinal) {
    panel.startBootloader();
    EXPECT_EQ(texts(), QStringList{"Select a COM Port"});
    EXPECT_TRUE(panel.Timer_Poll().isEnabled()) << "nothing changes without a port";

    // A start frame not written, or stuck in the line, is thrown away, never sent later, and the
    // panel goes on watching the line; the operator hears whether part of it may have left.
    ASSERT_TRUE(openOn(7));
    for (const qint64 stuck : {0, 5, 3}) {
        port.failWrites = !stuck;
        port.stalledBytes = stuck;
        port.events.clear();
        EXPECT_FALSE(panel.startBootloader());
        EXPECT_EQ(port.events.join(','), stuck ? "write FB 03 09 0C FE,discard" : "discard");
        EXPECT_TRUE(port.isOpen() && panel.Timer_Poll().isEnabled()) << "the panel goes on";
        EXPECT_TRUE(panel.Timer_Connection_Timeout().isEnabled()) << "silence is reported";
        EXPECT_EQ(op.messages.last().text.contains("may be in its bootloader"), stuck == 3);
    }
    EXPECT_EQ(op.messages.size(), 4);
    port.failWrites = false;
    feed(statusFrame); // the time-out is now running
    port.events.clear();
    const QString saved = iniText();
    ASSERT_TRUE(panel.startBootloader());
    EXPECT_FALSE(panel.Timer_Poll().isEnabled());
    EXPECT_FALSE(panel.Timer_Connection_Timeout().isEnabled());
    EXPECT_EQ(port.events, (QList<QString>{"write FB 03 09 0C FE", "close"}));
    panel.Timer_Reopen_Timer();
    panel.Open_Com_Port();
    panel.menuCom_Click(7);
    panel.applyBaudRate(4800);
    panel.Timer_Poll_Timer();
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(iniText(), saved);
    EXPECT_TRUE(menu.checkedItems().isEmpty());
}

TEST_F(PanelTest, AStalledOrSilentLineGetsNoPileOfPollsButKeysGoOutAtOnce) {
    ASSERT_TRUE(openOn(2));
    port.stalledBytes = 4;
    for (int i = 0; i < 3000; ++i) // 30 s at Polling 10 ms
        panel.Timer_Poll_Timer();
    EXPECT_EQ(polls(port), 0);
    EXPECT_FALSE(panel.sendCommand(Command::Band_Up, true) || !port.writes.isEmpty());
    port.stalledBytes = 0;
    panel.Timer_Poll_Timer();
    EXPECT_EQ(polls(port), 1) << "the drained line is polled on the next tick";
    port.writes.clear();
    state.settings.Polling = 10;
    for (int i = 0; i < 3000; ++i) // a silent amplifier for 30 s
        panel.Timer_Poll_Timer();
    EXPECT_GE(polls(port), 30) << "a silent amplifier is still asked";
    EXPECT_LT(polls(port), 200) << "but the peer's buffers are not filled with stale polls";

    port.writes.clear();
    feed(current);
    EXPECT_EQ(polls(port), 1);
    panel.Timer_Poll_Timer();
    panel.Timer_Poll_Timer();
    EXPECT_EQ(polls(port), 1) << "a lost answer costs three ticks";
    panel.Timer_Poll_Timer();
    EXPECT_EQ(polls(port), 2);
    for (int i = 0; i < 10; ++i)
        feed(current);
    EXPECT_EQ(polls(port), 12);
}

TEST_F(PanelTest, AKeyTheAmplifierDoesNotTakeWithinHalfASecondIsGivenUpAndToldOnce) {
    ASSERT_TRUE(openOn(2));
    feed(current);
    ASSERT_TRUE(panel.sendCommand(Command::Band_Up, true));
    port.deliver(current); // the poll the feed wrote is answered
    panel.Timer_Key_Deadline_Timer();
    EXPECT_FALSE(port.events.contains("discard") || panel.Timer_Key_Deadline().isEnabled());

    ASSERT_TRUE(panel.sendCommand(Command::Gain_Up, true));
    port.stalledBytes = 4; // the driver holds it: the peer stopped reading
    panel.Timer_Key_Deadline_Timer();
    EXPECT_EQ(port.events.count("discard"), 1);
    port.stalledBytes = 4; // still stalled: refused at once, told once, without a box
    EXPECT_FALSE(panel.sendCommand(Command::Gain_Up, true));
    EXPECT_EQ(port.writes.count(state.frames.frame(Command::Gain_Up)), 1);
    EXPECT_TRUE(panel.sendStandby()) << "an alarm's standby is no key: never refused";
    EXPECT_EQ(op.notices.value(0) + op.messages.value(0).text,
              "The amplifier is not reading: the command was not sent.");
    port.stalledBytes = 0;

    // A pseudo-terminal or a socket takes the bytes; a poll out and unanswered tells instead.
    feed(current); // a poll out
    ASSERT_TRUE(panel.sendCommand(Command::Band_Down, true));
    port.deliver(current); // answered in time
    panel.Timer_Key_Deadline_Timer();
    panel.Timer_Poll_Timer();
    ASSERT_TRUE(panel.sendCommand(Command::Band_Down, true)); // its poll is not answered
    panel.Timer_Key_Deadline_Timer();
    EXPECT_EQ(port.events.count("discard"), 2);
    EXPECT_EQ(op.notices.size(), 2) << "a new stall is told again";

    // No answer for half a second: a key is refused before it is written.
    state.settings.Polling = 50;
    feed(current); // the tick that read it wrote a poll: 50 ms
    for (int i = 0; i < 8; ++i)
        panel.Timer_Poll_Timer();
    ASSERT_TRUE(panel.sendCommand(Command::Band_Up, true)) << "450 ms is not yet a stall";
    panel.Timer_Poll_Timer();
    EXPECT_FALSE(panel.sendCommand(Command::Band_Up, true));
}

TEST_F(PanelTest, TheNewestWholeFrameIsDrawnWhateverTheReadsHold) {
    const std::pair<const char*, QList<QByteArray>> cases[] = {
        {"two answers in one read", {stale + current}},
        {"garbage, then a whole answer", {hex("0A0B") + stale.mid(3) + current}},
        {"an answer split over two reads", {current.left(4), current.mid(4)}},
        {"a backlog of answers", {stale + stale + stale + current}},
        {"an escaped byte in the body", {stale + hex("FB50FFEB250F8C784D00FE")}},
    };
    for (const auto& [name, reads] : cases) {
        SCOPED_TRACE(name);
        main.display = RecordingDisplay{};
        ASSERT_TRUE(openOn(2));
        for (const QByteArray& read : reads) {
            feed(read);
            state.Rx_Byte.set(7, 0x77); // whatever the slots hold, the frame itself is drawn
        }
        EXPECT_EQ(main.display.draws, 1);
        EXPECT_TRUE(main.display.last.Operate);
        EXPECT_TRUE(main.display.last.Transmit);
        EXPECT_EQ(main.display.last.temperature, "77 °C");
    }
}

// A port that stays away is logged as it goes, as its reason changes and as it comes back, not
// at every attempt to reopen it.
TEST_F(PanelTest, APortStayingAwayIsLoggedAsItGoesAndComesBackAndAFaultyAddressIsTold) {
    static QStringList log;
    ASSERT_TRUE(openOn(3));
    const auto previous =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext& c, const QString& text) {
            if (QLatin1String(c.category) == QLatin1String("tarn.serial"))
                log << text;
        });
    QList<qsizetype> logged;
    for (const char* error : {"Gone", "Gone", "Permission denied", "", "Permission denied"}) {
        port.error = error;
        port.available = *error ? QSet<int>{} : QSet<int>{3};
        *error ? port.loseLine() : void();
        for (int i = 0; i < 6; ++i)
            i ? panel.Timer_Reopen_Timer() : panel.Timer_Poll_Timer();
        logged << log.size();
    }
    qInstallMessageHandler(previous);
    EXPECT_EQ(logged, (QList<qsizetype>{1, 1, 2, 3, 4})) << qPrintable(log.join('\n'));
    EXPECT_TRUE(log.value(0).contains("lost") && log.value(2).contains("is back"));

    // A port server address the file gets wrong is no absent device: waiting never mends it,
    // so the operator hears of it at start-up, once the window shows.
    writeIni("[COM]\nPortNumber= 5\n[Ports]\nCOM5=tcp://h:1?ca=/x\n");
    panel.startup();
    EXPECT_TRUE(panel.isReopening() && texts().isEmpty());
    panel.startupShown();
    EXPECT_EQ(texts(), QStringList{"The Com Port is not available\n\nCOM5: settings in the address "
                                   "need a TLS scheme (tls:// or rfc2217+tls://)"});
}
