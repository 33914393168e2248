#include "uifixture.h"

#include <QPlainTextEdit>

using namespace tarn;
using namespace tarn::testing;

namespace {

const QColor green(0, 255, 0);
const QColor red(255, 0, 0);
const QColor grey(128, 128, 128);
const QColor lightYellow(255, 255, 128);
const QColor darkBlue(0, 0, 192);
const QColor black(0, 0, 0);

const QStringList valueLabels = {"Label_Band",    "Label_Gain",    "Label_SWR_txt",    "Label_SWR",
                                 "Label_Voltage", "Label_Current", "Label_Temperature"};
const QStringList mainKeys = {"Command_Gain_Down", "Command_Gain_Up",   "Command_Toggle_OPER_STBY",
                              "Command_Band_Down", "Command_Auto_Band", "Command_Band_Up"};
const QStringList tinyKeys = {"Command_Gain_Down", "Command_Gain_Up", "Command_Toggle_OPER_STBY"};

// A status frame with the given flags and bar byte; the rest as in the reference frame.
QByteArray statusFrame(quint8 flags, quint8 bars) {
    QByteArray f = hex("FB4032250F8C782300FE");
    f[1] = char(flags);
    f[3] = char(bars);
    return f;
}

// The forward bar as the front panel shows level `level`: green to 11, red above, and only the
// last segment at 15.
QColor forwardSegment(int level, int index) {
    if (level == 15)
        return index == 14 ? red : grey;
    if (index > level)
        return grey;
    return index <= 11 ? green : red;
}

} // namespace

class StatusDisplay : public UiTest {
protected:
    StatusDisplay() {
        panel.startup();
        openOn(2);
    }
    void openTiny() {
        panel.menuTinyWidget_Click();
        ASSERT_TRUE(tiny.isShown());
    }
};

TEST_F(StatusDisplay, StartupBlanksTheDisplayButKeepsTheNoCommunicationText) {
    for (const QString& name : valueLabels)
        EXPECT_EQ(mainText(name), "") << name.toStdString();
    EXPECT_EQ(mainText("Label_No_Communication"), "No Communication");
    EXPECT_EQ(mainText("Label1_Firmware_Version"), "Firmware V?.??");
    EXPECT_EQ(mainColor("Shape_LCD"), black);
    for (const QString& key : mainKeys)
        EXPECT_FALSE(mainChild(key)->isEnabled()) << key.toStdString();
    for (const char* lamp : {"OPER_LED", "AUTO_LED", "Protection_LED", "TX_LED", "Rev_LED_1",
                             "Rev_LED_5", "FWD_LED_1", "FWD_LED_14"})
        EXPECT_EQ(mainColor(lamp), grey) << lamp;
}

TEST_F(StatusDisplay, ReferenceFrameDrawsEveryFieldOfTheMainWindow) {
    receive(hex("FB4032250F8C782300FE"));
    EXPECT_EQ(mainText("Label_No_Communication"), "");
    EXPECT_EQ(mainColor("Shape_LCD"), darkBlue);
    EXPECT_EQ(mainColor("OPER_LED"), green);
    EXPECT_EQ(mainColor("Protection_LED"), grey);
    EXPECT_EQ(mainColor("AUTO_LED"), grey);
    EXPECT_EQ(mainColor("TX_LED"), grey);
    EXPECT_EQ(mainChild<QLabel>("Label_Protection")->palette().color(QPalette::WindowText), black);
    for (int i = 1; i <= 14; ++i)
        EXPECT_EQ(mainColor(QString("FWD_LED_%1").arg(i)), i <= 5 ? green : grey) << i;
    for (int i = 1; i <= 5; ++i)
        EXPECT_EQ(mainColor(QString("Rev_LED_%1").arg(i)), i <= 2 ? lightYellow : grey) << i;
    EXPECT_EQ(mainText("Label_Band"), "3.5 MHz");
    EXPECT_EQ(mainText("Label_Gain"), "G3");
    EXPECT_EQ(mainText("Label_SWR_txt"), "SWR");
    EXPECT_EQ(mainText("Label_SWR"), "1.5");
    EXPECT_EQ(mainText("Label_Voltage"), "56.0V");
    EXPECT_EQ(mainText("Label_Current"), "24.0A");
    EXPECT_EQ(mainText("Label_Temperature"), "35 °C");
    for (const QString& key : mainKeys)
        EXPECT_TRUE(mainChild(key)->isEnabled()) << key.toStdString();
    // The decorations are never touched.
    EXPECT_EQ(mainText("Label7_0"), "1000");
    EXPECT_EQ(tiny.isShown(), false);
    EXPECT_EQ(tinyText("Label_Band"), "");
}

TEST_F(StatusDisplay, ForwardBarShowsEveryLevelOnBothWindows) {
    for (int level = 0; level <= 15; ++level) {
        receive(statusFrame(0x40, quint8(level)));
        for (int i = 1; i <= 14; ++i)
            EXPECT_EQ(mainColor(QString("FWD_LED_%1").arg(i)), forwardSegment(level, i))
                << "main level " << level << " segment " << i;
    }
    openTiny();
    for (int level = 0; level <= 15; ++level) {
        receive(statusFrame(0x40, quint8(level)));
        for (int i = 1; i <= 14; ++i)
            EXPECT_EQ(tinyColor(QString("FWD_LED_%1").arg(i)), forwardSegment(level, i))
                << "tiny level " << level << " segment " << i;
    }
    // The hidden main window kept the last level it drew.
    EXPECT_EQ(mainColor("FWD_LED_14"), red);
    EXPECT_EQ(mainColor("FWD_LED_1"), grey);
}

TEST_F(StatusDisplay, ReflectedBarLightsFromTheTransmitLampOutwards) {
    for (int level : {0, 1, 4, 5, 6, 15}) {
        receive(statusFrame(0x40, quint8(level << 4)));
        for (int i = 1; i <= 5; ++i)
            EXPECT_EQ(mainColor(QString("Rev_LED_%1").arg(i)), i <= level ? lightYellow : grey)
                << "level " << level << " segment " << i;
    }
}

TEST_F(StatusDisplay, ProtectionLampAndLegendOnBothWindows) {
    receive(statusFrame(0x80, 0x00));
    EXPECT_EQ(mainColor("Protection_LED"), red);
    EXPECT_EQ(mainChild<QLabel>("Label_Protection")->palette().color(QPalette::WindowText), red);
    EXPECT_EQ(mainText("Label_Protection"), "PROTECTION");
    EXPECT_EQ(mainColor("OPER_LED"), grey);
    receive(statusFrame(0x00, 0x00));
    EXPECT_EQ(mainColor("Protection_LED"), grey);
    EXPECT_EQ(mainChild<QLabel>("Label_Protection")->palette().color(QPalette::WindowText), black);

    openTiny();
    receive(statusFrame(0x80 | 0x10, 0x00));
    EXPECT_EQ(tinyColor("Protection_LED"), red);
    EXPECT_EQ(tinyText("Label_Protection"), "PROTECT");
    EXPECT_EQ(tinyChild<QLabel>("Label_Protection")->palette().color(QPalette::WindowText), red);
    EXPECT_EQ(tinyColor("TX_LED"), green);
    // The main window is not drawn while the widget is shown.
    EXPECT_EQ(mainColor("Protection_LED"), grey);
    receive(statusFrame(0x40, 0x00));
    EXPECT_EQ(tinyColor("Protection_LED"), grey);
    EXPECT_EQ(tinyText("Label_Protection"), "PROT");
    EXPECT_EQ(tinyChild<QLabel>("Label_Protection")->palette().color(QPalette::WindowText), black);
    EXPECT_EQ(tinyColor("OPER_LED"), green);
    EXPECT_EQ(tinyText("Label_Band"), "3.5 MHz");
    EXPECT_EQ(tinyText("Label_Temperature"), "35 °C");
    for (const QString& key : tinyKeys)
        EXPECT_TRUE(tinyChild(key)->isEnabled()) << key.toStdString();
}

TEST_F(StatusDisplay, TimeoutResetsTheMainWindowAndTheNextFrameRestoresIt) {
    receive(statusFrame(0xF0, 0x2E));
    panel.Timer_Connection_Timeout_Timer();
    EXPECT_EQ(mainColor("Shape_LCD"), black);
    for (const QString& key : mainKeys)
        EXPECT_FALSE(mainChild(key)->isEnabled()) << key.toStdString();
    for (const QString& name : valueLabels)
        EXPECT_EQ(mainText(name), "") << name.toStdString();
    EXPECT_EQ(mainText("Label_No_Communication"), "No Communication");
    for (const char* lamp : {"OPER_LED", "AUTO_LED", "Protection_LED", "TX_LED"})
        EXPECT_EQ(mainColor(lamp), grey) << lamp;
    for (int i = 1; i <= 5; ++i)
        EXPECT_EQ(mainColor(QString("Rev_LED_%1").arg(i)), grey) << i;
    for (int i = 1; i <= 14; ++i)
        EXPECT_EQ(mainColor(QString("FWD_LED_%1").arg(i)), grey) << i;
    // Clicking a disabled key sends nothing.
    mainChild<QAbstractButton>("Command_Band_Up")->click();
    EXPECT_TRUE(port.writes.isEmpty());

    receive(hex("FB4032250F8C782300FE"));
    EXPECT_EQ(mainText("Label_No_Communication"), "");
    EXPECT_EQ(mainColor("Shape_LCD"), darkBlue);
    EXPECT_EQ(mainText("Label_Voltage"), "56.0V");
    for (const QString& key : mainKeys)
        EXPECT_TRUE(mainChild(key)->isEnabled()) << key.toStdString();
}

TEST_F(StatusDisplay, TimeoutWithTheWidgetShownResetsOnlyTheWidget) {
    receive(hex("FB4032250F8C782300FE"));
    openTiny();
    receive(statusFrame(0x40, 0x03));
    panel.Timer_Connection_Timeout_Timer();
    EXPECT_EQ(tinyColor("Shape_LCD"), black);
    EXPECT_EQ(tinyText("Label_No_Communication"), "No Communication");
    for (const QString& name : valueLabels)
        EXPECT_EQ(tinyText(name), "") << name.toStdString();
    for (const QString& key : tinyKeys)
        EXPECT_FALSE(tinyChild(key)->isEnabled()) << key.toStdString();
    for (const char* lamp : {"OPER_LED", "Protection_LED", "TX_LED", "FWD_LED_1", "FWD_LED_3"})
        EXPECT_EQ(tinyColor(lamp), grey) << lamp;
    // The hidden main window still shows the last frame it drew.
    EXPECT_EQ(mainText("Label_No_Communication"), "");
    EXPECT_EQ(mainText("Label_Voltage"), "56.0V");

    receive(statusFrame(0x40, 0x03));
    EXPECT_EQ(tinyText("Label_No_Communication"), "");
    EXPECT_EQ(tinyColor("Shape_LCD"), darkBlue);
    EXPECT_EQ(tinyColor("FWD_LED_3"), green);
    for (const QString& key : tinyKeys)
        EXPECT_TRUE(tinyChild(key)->isEnabled()) << key.toStdString();
}

TEST_F(StatusDisplay, TestSpaceEchoesTrafficWithTheCaretAtTheEnd) {
    main.show();
    panel.menuShow_test_space_Click();
    receive(hex("FB4032250F8C782300FE"));
    receive(hex("FB05312E30382000FE"));
    const auto* raw = mainChild<QPlainTextEdit>("Text_HDLC_Packet");
    const auto* decoded = mainChild<QPlainTextEdit>("Text_Decoded_Packet");
    // The boxes show each line break of the echo as one new line.
    const auto lines = [](QString text) { return text.replace("\r\n", "\n"); };
    EXPECT_EQ(raw->toPlainText(), lines(state.hdlcEcho));
    EXPECT_EQ(decoded->toPlainText(), lines(state.decodedEcho));
    EXPECT_FALSE(raw->toPlainText().isEmpty());
    EXPECT_FALSE(decoded->toPlainText().isEmpty());
    EXPECT_EQ(raw->textCursor().position(), raw->document()->characterCount() - 1);
    EXPECT_EQ(decoded->textCursor().position(), decoded->document()->characterCount() - 1);
    EXPECT_EQ(mainText("Label1_Firmware_Version"), "Firmware V1.08 ");
}

// Frames faster than the screen shows pictures: each is decoded, only the newest waiting one is
// drawn when the screen is ready, and a time-out in between wins over a waiting frame.
TEST_F(StatusDisplay, FramesFasterThanTheScreenDrawOnlyTheNewest) {
    main.pacer().setIntervalMs(60'000);
    receive(statusFrame(0x40, 0x25));
    EXPECT_EQ(mainText("Label_SWR"), "1.5");
    QByteArray later = statusFrame(0x40, 0x25);
    later[4] = char(30);
    receive(later);
    later[4] = char(42);
    receive(later);
    EXPECT_EQ(mainText("Label_SWR"), "1.5");
    EXPECT_TRUE(main.pacer().hasWaiting());
    main.pacer().drawWaiting();
    EXPECT_EQ(mainText("Label_SWR"), "4.2");

    receive(later);
    panel.Timer_Connection_Timeout_Timer();
    main.pacer().drawWaiting();
    EXPECT_EQ(mainText("Label_No_Communication"), "No Communication");
    EXPECT_EQ(mainText("Label_SWR"), "");
}
