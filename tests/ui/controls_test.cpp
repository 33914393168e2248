#include "uifixture.h"
#include <QLabel>

#include <QFile>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>

using namespace tarn;
using namespace tarn::testing;

namespace {

void pressEscape(QWidget* target) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
}

QRect screenArea() {
    return QGuiApplication::primaryScreen()->geometry();
}

class ShowCounter final : public QObject {
public:
    int shows = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Show)
            ++shows;
        return false;
    }
};

} // namespace

class Controls : public UiTest {
protected:
    Controls() {
        panel.startup();
        main.show();
    }
    // What a status frame does to the keys, without needing an open port.
    void enableKeys() {
        state.Rx_Byte.set(0, 0x40);
        main.drawStatus(protocol::statusFields(state.Rx_Byte));
    }
    void click(const QString& name) { mainChild<QAbstractButton>(name)->click(); }
    void trigger(const QString& name) {
        QAction* a = main.action(name);
        ASSERT_NE(a, nullptr) << name.toStdString();
        a->trigger();
    }
    int outerPx() const { return main.frameGeometry().height(); }
};

TEST_F(Controls, EachKeyWritesItsOwnFrameOnce) {
    openOn(4);
    receive(hex("FB4032250F8C782300FE"));
    const QList<std::pair<QString, const char*>> keys = {
        {"Command_Gain_Down", "FB0505FE"},        {"Command_Gain_Up", "FB0404FE"},
        {"Command_Toggle_OPER_STBY", "FB0101FE"}, {"Command_Band_Down", "FB0808FE"},
        {"Command_Auto_Band", "FB0606FE"},        {"Command_Band_Up", "FB0707FE"}};
    for (const auto& [name, frame] : keys) {
        port.writes.clear();
        click(name);
        EXPECT_EQ(port.writes, QList<QByteArray>{hex(frame)}) << name.toStdString();
    }
    // Nothing on screen changes until the amplifier answers.
    EXPECT_EQ(mainText("Label_Band"), "3.5 MHz");

    port.writes.clear();
    trigger("menu_PA_Voltage_High");
    trigger("menu_PA_Voltage_Low");
    EXPECT_EQ(port.writes, (QList<QByteArray>{hex("FB020204FE"), hex("FB020103FE")}));
    EXPECT_TRUE(op.messages.isEmpty());
}

TEST_F(Controls, TheAmplifiersTextIsNeverReadAsMarkup) {
    openOn(4);
    receive(hex("FB053C623E3C2FFE")); // a firmware report of "<b></"
    auto* caption = main.findChild<QLabel*>("Label1_Firmware_Version");
    ASSERT_TRUE(caption);
    EXPECT_EQ(caption->text(), "Firmware V<b></");
    EXPECT_EQ(caption->textFormat(), Qt::PlainText);
}

TEST_F(Controls, KeysOnAClosedPortAskForAPortAndVoltageItemsStaySilent) {
    ASSERT_FALSE(port.isOpen());
    enableKeys();
    const QStringList keys = {"Command_Gain_Down", "Command_Gain_Up",   "Command_Toggle_OPER_STBY",
                              "Command_Band_Down", "Command_Auto_Band", "Command_Band_Up"};
    for (const QString& name : keys)
        click(name);
    ASSERT_EQ(op.messages.size(), keys.size());
    for (const Message& m : op.messages) {
        EXPECT_EQ(m.text, "Select a COM Port");
        EXPECT_EQ(m.style, core::style::Ok);
    }
    trigger("menu_PA_Voltage_High");
    trigger("menu_PA_Voltage_Low");
    EXPECT_EQ(op.messages.size(), keys.size());
    EXPECT_TRUE(port.writes.isEmpty());
}

TEST_F(Controls, HeightsFollowTheSizeAndTestSpaceItems) {
    trigger("menu_Size_Small");
    EXPECT_EQ(outerPx(), ui::px(3300));
    EXPECT_TRUE(main.action("menu_Size_Small")->isChecked());
    EXPECT_FALSE(main.action("menu_Size_Normal")->isChecked());
    trigger("menuShow_test_space");
    EXPECT_EQ(outerPx(), ui::px(7000));
    EXPECT_EQ(main.heightTwips(), 7000);
    EXPECT_TRUE(main.action("menuShow_test_space")->isChecked());
    click("Command_Hide_test_space");
    EXPECT_EQ(outerPx(), ui::px(4600));
    EXPECT_FALSE(main.action("menuShow_test_space")->isChecked());
    EXPECT_TRUE(main.action("menu_Size_Small")->isChecked());

    trigger("menuShow_test_space");
    pressEscape(mainChild("Text_HDLC_Packet"));
    EXPECT_EQ(outerPx(), ui::px(3300));
    EXPECT_FALSE(state.Test_Space_Shown);
    EXPECT_FALSE(main.action("menuShow_test_space")->isChecked());

    trigger("menu_Size_Normal");
    EXPECT_EQ(outerPx(), ui::px(4600));
    EXPECT_EQ(main.heightTwips(), 4600);
    EXPECT_EQ(main.widthTwips(), 8400);
    EXPECT_EQ(state.settings.Size, "Normal");
    // Escape with the test space hidden keeps the size setting's height.
    pressEscape(mainChild("Command_Band_Up"));
    EXPECT_EQ(outerPx(), ui::px(4600));
}

TEST_F(Controls, CheckMarksChangeOnlyThroughThePanel) {
    trigger("MenuForceSTBYonExit");
    EXPECT_FALSE(main.action("MenuForceSTBYonExit")->isChecked());
    EXPECT_EQ(state.settings.Force_STBY, "No");
    trigger("MenuForceSTBYonExit");
    EXPECT_TRUE(main.action("MenuForceSTBYonExit")->isChecked());
    EXPECT_EQ(state.settings.Force_STBY, "Yes");

    // Choosing the size already chosen leaves it checked.
    trigger("menu_Size_Normal");
    EXPECT_TRUE(main.action("menu_Size_Normal")->isChecked());

    const QPoint place = main.pos();
    trigger("menuAlwaysOnTop");
    EXPECT_TRUE(main.action("menuAlwaysOnTop")->isChecked());
    EXPECT_TRUE(main.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(main.isVisible());
    EXPECT_EQ(main.pos(), place);
    EXPECT_EQ(outerPx(), ui::px(4600));
    trigger("menuAlwaysOnTop");
    EXPECT_FALSE(main.action("menuAlwaysOnTop")->isChecked());
    EXPECT_FALSE(main.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(state.settings.AlwaysOnTop, "No");
}

TEST_F(Controls, ComMenuOffersScannedPortsWithTheirDevices) {
    port.available = {3, 5};
    port.devices = {{3, "/dev/ttyUSB0"}};
    panel.Scan_Com_Ports();
    QAction* com3 = main.action("menuCom_3");
    EXPECT_TRUE(com3->isVisible() && com3->isEnabled());
    EXPECT_EQ(com3->text(), "Com3\t/dev/ttyUSB0");
    EXPECT_EQ(com3->text().section('\t', 0, 0), "Com3");
    EXPECT_EQ(main.action("menuCom_5")->text(), "Com5");
    EXPECT_FALSE(main.action("menuCom_4")->isVisible());
    EXPECT_FALSE(main.action("menuCom_0")->isVisible());

    trigger("menuCom_3");
    EXPECT_TRUE(port.isOpen());
    EXPECT_TRUE(com3->isChecked());
    EXPECT_TRUE(main.action("menuCloseComPort")->isEnabled());
    // Picking the open port again reopens it and keeps the mark.
    trigger("menuCom_3");
    EXPECT_TRUE(com3->isChecked());
    trigger("menuCom_5");
    EXPECT_FALSE(com3->isChecked());
    EXPECT_TRUE(main.action("menuCom_5")->isChecked());
    trigger("menuCloseComPort");
    EXPECT_FALSE(port.isOpen());
    EXPECT_FALSE(main.action("menuCom_5")->isChecked());
    EXPECT_FALSE(main.action("menuCloseComPort")->isEnabled());
    EXPECT_TRUE(op.messages.isEmpty());
}

TEST_F(Controls, PlaceholderExplainsAMissingPort) {
    ASSERT_TRUE(main.action("menuCom_0")->isVisible());
    trigger("menuCom_0");
    ASSERT_EQ(op.messages.size(), 1);
    EXPECT_EQ(op.messages[0].title, "No Free Com Ports Found");
    EXPECT_EQ(op.messages[0].style, core::style::Information);
}

TEST_F(Controls, TinyWidgetOpensAtTheStoredPlaceAndHandsItsNewPlaceBack) {
    state.settings.Left_Location = "3000";
    state.settings.Top_Location = "1500";
    trigger("menuTinyWidget");
    EXPECT_TRUE(tiny.isShown());
    EXPECT_FALSE(main.isVisible());
    EXPECT_EQ(tiny.pos(), QPoint(200, 100));

    tiny.move(240, 130);
    pressEscape(tinyChild("Command_Gain_Up"));
    EXPECT_FALSE(tiny.isShown());
    EXPECT_TRUE(main.isVisible());
    EXPECT_EQ(state.settings.Left_Location, "3600");
    EXPECT_EQ(state.settings.Top_Location, "1950");

    // The close box does the same, and every opening starts from the load state.
    openOn(2);
    trigger("menuTinyWidget");
    EXPECT_EQ(tiny.pos(), QPoint(240, 130));
    receive(hex("FB4032250F8C782300FE"));
    EXPECT_EQ(tinyText("Label_Band"), "3.5 MHz");
    tiny.move(60, 45);
    tiny.close();
    EXPECT_TRUE(main.isVisible());
    EXPECT_EQ(state.settings.Left_Location, "900");
    EXPECT_EQ(state.settings.Top_Location, "675");
    trigger("menuTinyWidget");
    EXPECT_EQ(tinyText("Label_Band"), "");
    EXPECT_EQ(tinyText("Label_No_Communication"), "No Communication");
    EXPECT_FALSE(tinyChild("Command_Toggle_OPER_STBY")->isEnabled());
    // Escape in the main window's controls never closes the widget.
    pressEscape(mainChild("Command_Band_Up"));
    EXPECT_TRUE(tiny.isShown());
}

TEST_F(Controls, TinyKeysSendTheirFramesAndGiveTheFocusBack) {
    openOn(2);
    trigger("menuTinyWidget");
    receive(hex("FB4032250F8C782300FE"));
    // No tick may run while the window system's activation is delivered.
    panel.Timer_Poll().setEnabled(false);
    panel.Timer_Connection_Timeout().setEnabled(false);
    QCoreApplication::processEvents();
    ASSERT_TRUE(tiny.isActiveWindow());
    const QList<std::pair<QString, const char*>> keys = {{"Command_Gain_Down", "FB0505FE"},
                                                         {"Command_Gain_Up", "FB0404FE"},
                                                         {"Command_Toggle_OPER_STBY", "FB0101FE"}};
    for (const auto& [name, frame] : keys) {
        port.writes.clear();
        auto* key = tinyChild<QAbstractButton>(name);
        key->setFocus();
        ASSERT_EQ(QApplication::focusWidget(), key);
        key->click();
        EXPECT_EQ(port.writes, QList<QByteArray>{hex(frame)}) << name.toStdString();
        EXPECT_EQ(QApplication::focusWidget(), &tiny) << name.toStdString();
    }
    trigger("menuCloseComPort");
    tinyChild<QAbstractButton>("Command_Gain_Up")->click();
    ASSERT_EQ(op.messages.size(), 1);
    EXPECT_EQ(op.messages[0].text, "Select a COM Port");
}

TEST_F(Controls, WindowsWhollyOffScreenComeBackAndPartlyOffScreenStay) {
    const QRect screen = screenArea();
    main.setLeft(ui::twips(screen.right() + 2000));
    main.setTop(ui::twips(screen.bottom() + 500));
    main.keepOnScreen();
    EXPECT_TRUE(screen.contains(main.frameGeometry())) << main.frameGeometry().x();

    main.setLeft(ui::twips(-100));
    main.setTop(ui::twips(40));
    main.keepOnScreen();
    EXPECT_EQ(main.left(), ui::twips(-100));
    EXPECT_EQ(main.top(), ui::twips(40));

    tiny.openAt(-ui::twips(5000), -ui::twips(5000));
    EXPECT_TRUE(screen.contains(tiny.frameGeometry()));
    tiny.closeWindow();
    EXPECT_FALSE(tiny.isShown());
    tiny.openAt(ui::twips(screen.right() - 60), ui::twips(10));
    EXPECT_EQ(tiny.pos(), QPoint(screen.right() - 60, 10));
    tiny.closeWindow();

    // A title bar above the screen's top edge cannot be taken hold of.
    main.setLeft(ui::twips(-1));
    main.setTop(ui::twips(-20));
    main.keepOnScreen();
    EXPECT_TRUE(screen.contains(main.frameGeometry().topLeft())) << main.frameGeometry().y();
}

// Hand-edited files hold anything; every such place ends on the screen, never in undefined
// arithmetic (a double beyond int, the negation of the smallest int).
class ExtremePlaces : public UiTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(ExtremePlaces, WindowsOpenOnTheScreenWhateverTheFileSays) {
    QFile ini(dir.path() + "/tarn-vq4400.ini");
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write(QStringLiteral("[COM]\nPortNumber= 0\n[Form]\nTop_Location=%1\nLeft_Location=%1\n"
                             "[Tiny_Form]\nTop_Location=%1\nLeft_Location=%1\n")
                  .arg(GetParam())
                  .toLatin1());
    ini.close();
    panel.startup();
    main.show();
    const QRect screen = screenArea();
    EXPECT_TRUE(screen.contains(main.frameGeometry().topLeft())) << main.frameGeometry().x();
    panel.menuTinyWidget_Click();
    EXPECT_TRUE(screen.contains(tiny.frameGeometry().topLeft())) << tiny.frameGeometry().x();
    tiny.closeWindow();
}

INSTANTIATE_TEST_SUITE_P(HandEdited, ExtremePlaces,
                         ::testing::Values("1e30", "-1e30", "-2147483648", "2147483647",
                                           "99999999999"));

// The operator's next key press must go where it went before the window changed its stacking.
TEST_F(Controls, AlwaysOnTopKeepsTheWindowItsPlaceAndTheKeyboardFocus) {
    enableKeys();
    QApplication::setActiveWindow(&main);
    QWidget* key = mainChild("Command_Band_Up");
    key->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), key);
    const QPoint place = main.pos();
    for (int i = 0; i < 2; ++i) {
        trigger("menuAlwaysOnTop");
        EXPECT_EQ(main.windowFlags().testFlag(Qt::WindowStaysOnTopHint), i == 0);
        EXPECT_TRUE(main.isVisible());
        EXPECT_EQ(QApplication::focusWidget(), key);
        EXPECT_EQ(main.pos(), place);
    }
}

TEST_F(Controls, ExitAndTheCloseBoxRunTheShutdownOnce) {
    int unloads = 0;
    main.onUnload = [&] {
        ++unloads;
        tiny.closeWindow();
    };
    trigger("menuTinyWidget");
    ShowCounter counter;
    main.installEventFilter(&counter);
    trigger("menu_Exit");
    EXPECT_EQ(unloads, 1);
    EXPECT_FALSE(main.isVisible());
    // Closing the widget during the shutdown must not bring the main window back up.
    EXPECT_EQ(counter.shows, 0);
    EXPECT_FALSE(tiny.isShown());
    main.close();
    EXPECT_EQ(unloads, 1);
}

TEST_F(Controls, PlacementReportsTheOuterFrameInTwips) {
    main.setLeft(1500);
    main.setTop(3000);
    EXPECT_EQ(main.pos(), QPoint(100, 200));
    EXPECT_EQ(main.left(), 1500);
    EXPECT_EQ(main.top(), 3000);
    EXPECT_TRUE(main.isNormalState());
    main.showMinimized();
    EXPECT_FALSE(main.isNormalState());
    main.showNormal();
    EXPECT_TRUE(main.isNormalState());
    EXPECT_EQ(main.screenWidthTwips(),
              ui::twips(QGuiApplication::primaryScreen()->availableGeometry().width()));
}
