#include "uifixture.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>

using namespace tarn;
using namespace tarn::testing;

namespace {

struct Item {
    QString name;
    QString caption; // empty for a separator
};
struct MenuDesign {
    QString name;
    QString title;
    QList<Item> items;
};

const QColor green(0, 255, 0);
const QColor red(255, 0, 0);
const QColor grey(128, 128, 128);
const QColor darkBlue(0, 0, 192);

} // namespace

using MainLayout = UiTest;
using TinyLayout = UiTest;

TEST_F(MainLayout, BarsAndLampsSitOnTheirPitchWithTheirDesignColours) {
    for (int i = 1; i <= 5; ++i) {
        const QWidget* lamp = mainChild(QString("Rev_LED_%1").arg(i));
        ASSERT_NE(lamp, nullptr) << i;
        EXPECT_EQ(twipsOf(lamp), QRect(4350 - 240 * (i - 1), 360, 195, 195)) << i;
        EXPECT_EQ(lamp->property("index").toInt(), i);
        EXPECT_EQ(colorOf(lamp), i == 1 ? QColor(255, 255, 0) : QColor(255, 255, 128)) << i;
    }
    for (int i = 1; i <= 14; ++i) {
        const QWidget* lamp = mainChild(QString("FWD_LED_%1").arg(i));
        ASSERT_NE(lamp, nullptr) << i;
        EXPECT_EQ(twipsOf(lamp), QRect(4830 + 240 * (i - 1), 360, 195, 195)) << i;
        EXPECT_EQ(lamp->property("index").toInt(), i);
        EXPECT_EQ(colorOf(lamp), i <= 11 ? green : red) << i;
    }
    EXPECT_EQ(twipsOf(mainChild("FWD_LED_14")).left(), 7950);
    EXPECT_EQ(twipsOf(mainChild("TX_LED")), QRect(4590, 360, 195, 195));
    EXPECT_EQ(twipsOf(mainChild("Protection_LED")), QRect(3390, 870, 195, 195));
    EXPECT_EQ(twipsOf(mainChild("OPER_LED")), QRect(3390, 1365, 195, 195));
    EXPECT_EQ(twipsOf(mainChild("AUTO_LED")), QRect(6990, 1365, 195, 195));
    EXPECT_EQ(mainColor("TX_LED"), green);
    EXPECT_EQ(mainColor("Protection_LED"), red);
    EXPECT_EQ(mainColor("OPER_LED"), green);
    EXPECT_EQ(mainColor("AUTO_LED"), green);
}

TEST_F(MainLayout, KeysDisplayGrilleAndTestSpaceArePlacedInTwips) {
    const QList<std::pair<QString, int>> keys = {
        {"Command_Gain_Down", 390},         {"Command_Gain_Up", 930},
        {"Command_Toggle_OPER_STBY", 3270}, {"Command_Band_Down", 6330},
        {"Command_Auto_Band", 6870},        {"Command_Band_Up", 7410}};
    for (const auto& [name, left] : keys) {
        const auto* key = mainChild<QPushButton>(name);
        ASSERT_NE(key, nullptr) << name.toStdString();
        EXPECT_EQ(twipsOf(key), QRect(left, 1785, 435, 435)) << name.toStdString();
        EXPECT_TRUE(key->text().isEmpty());
    }
    // Arrow keys carry a 16 x 11 picture; the two others are blank.
    EXPECT_EQ(mainChild<QPushButton>("Command_Band_Up")->iconSize(), QSize(16, 11));
    EXPECT_FALSE(mainChild<QPushButton>("Command_Gain_Down")->icon().isNull());
    EXPECT_TRUE(mainChild<QPushButton>("Command_Auto_Band")->icon().isNull());

    EXPECT_EQ(twipsOf(mainChild("Shape_LCD")), QRect(120, 120, 3195, 915));
    EXPECT_EQ(mainColor("Shape_LCD"), darkBlue);
    EXPECT_EQ(mainChild<ui::Box>("Shape_LCD")->borderColor(), QColor(Qt::black));

    EXPECT_EQ(twipsOf(mainChild("Shape1")), QRect(180, 2970, 7890, 750));
    const QList<QRect> circles = ui::Grille::circlesTwips();
    EXPECT_EQ(circles.size(), 218);
    EXPECT_EQ(circles.front(), QRect(180, 2970, 150, 150));
    EXPECT_EQ(circles[44], QRect(270, 3120, 150, 150)); // the second row starts half a pitch in
    EXPECT_EQ(circles.back(), QRect(7920, 3570, 150, 150));

    // The test-space captions grow to the right when a face needs it.
    EXPECT_EQ(twipsOf(mainChild("Label5")).topLeft(), QPoint(120, 4200));
    EXPECT_EQ(twipsOf(mainChild("Command_Hide_test_space")), QRect(120, 4500, 915, 315));
    EXPECT_EQ(twipsOf(mainChild("Label10")).topLeft(), QPoint(1500, 4200));
    EXPECT_EQ(twipsOf(mainChild("Text_HDLC_Packet")), QRect(1500, 4440, 4455, 1755));
    EXPECT_EQ(twipsOf(mainChild("Label12")).topLeft(), QPoint(6180, 4200));
    EXPECT_EQ(twipsOf(mainChild("Text_Decoded_Packet")), QRect(6180, 4440, 1995, 1755));
    EXPECT_TRUE(mainChild<QPlainTextEdit>("Text_HDLC_Packet")->isReadOnly());
    EXPECT_TRUE(mainChild<QPlainTextEdit>("Text_Decoded_Packet")->isReadOnly());
    EXPECT_EQ(mainChild<QPushButton>("Command_Hide_test_space")->text(), "Hide test");

    // A vertical bracket end and a horizontal mark, one pixel thick.
    EXPECT_EQ(mainChild("Line5")->geometry(), QRect(312, 36, 1, 11));
    EXPECT_EQ(mainChild("Line11")->geometry(), QRect(26, 155, 17, 1));
}

TEST_F(MainLayout, LabelsGrowFromTheirAnchorAndNeverClipTheirText) {
    const auto fits = [](const QLabel* l) { return l->sizeHint().width() <= l->width(); };
    for (int i = 0; i <= 9; ++i) {
        const auto* figure = mainChild<ui::PanelLabel>(QString("Label7_%1").arg(i));
        ASSERT_NE(figure, nullptr) << i;
        EXPECT_EQ(figure->property("index").toInt(), i);
        const QRect design = figure->designTwips();
        EXPECT_EQ(design.top(), 180);
        EXPECT_NEAR(figure->geometry().center().x(), ui::px(design.center().x()), 1) << i;
        EXPECT_TRUE(fits(figure)) << i;
    }
    EXPECT_EQ(mainText("Label7_0"), "1000");
    EXPECT_EQ(mainText("Label7_7"), "TX");
    EXPECT_EQ(mainText("Label7_9"), "200");

    // Left-aligned values keep their left edge, right-aligned ones their right edge.
    auto* band = mainChild<ui::PanelLabel>("Label_Band");
    band->setCaption("All MHz");
    EXPECT_EQ(band->geometry().topLeft(), ui::pxPoint(280, 210));
    EXPECT_TRUE(fits(band));
    auto* current = mainChild<ui::PanelLabel>("Label_Current");
    current->setCaption("100.0A");
    EXPECT_EQ(ui::twips(current->geometry().right() + 1), 1350 + 720);
    EXPECT_TRUE(fits(current));
    EXPECT_TRUE(fits(mainChild<QLabel>("Label8")));
    EXPECT_EQ(twipsOf(mainChild("Label_Protection")).topLeft(), QPoint(3630, 870));
}

TEST_F(MainLayout, StartsWithTheDesignTextsColoursAndFonts) {
    EXPECT_EQ(main.objectName(), "main_Form");
    EXPECT_EQ(main.windowTitle(), "  TARN VQ4400 Remote");
    EXPECT_FALSE(main.windowIcon().isNull());
    EXPECT_TRUE(main.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(main.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));

    const QList<std::pair<QString, QString>> texts = {
        {"Label_Band", "3.5MHz"},
        {"Label_Gain", "G2"},
        {"Label_SWR_txt", "SWR"},
        {"Label_SWR", "1.0"},
        {"Label_Voltage", "56.0V"},
        {"Label_Current", "24.0A"},
        {"Label_Temperature", "24 °C"},
        {"Label_No_Communication", "No Communication"},
        {"Label1_Firmware_Version", "Firmware V?.??"},
        {"Label11", "TARN VQ4400"},
        {"Label9", "REV PWR"},
        {"Label8", "FORWARD POWER"},
        {"Label_Protection", "PROTECTION"},
        {"Label3", "OPER"},
        {"Label2", "STBY"},
        {"Label6", "AUTO"},
        {"Label4", "BAND"},
        {"Label1", "GAIN"},
        {"Label5", "Test space"},
        {"Label10", "Raw HDLC packets"},
        {"Label12", "Decoded packets"}};
    for (const auto& [name, text] : texts) {
        ASSERT_NE(mainChild<QLabel>(name), nullptr) << name.toStdString();
        EXPECT_EQ(mainText(name), text) << name.toStdString();
    }

    const auto* band = mainChild<QLabel>("Label_Band");
    EXPECT_EQ(band->palette().color(QPalette::WindowText), QColor(Qt::white));
    EXPECT_FALSE(band->autoFillBackground());
    EXPECT_EQ(band->font().family(), "MS Sans Serif");
    EXPECT_DOUBLE_EQ(band->font().pointSizeF(), 13.5);
    EXPECT_DOUBLE_EQ(mainChild<QLabel>("Label_No_Communication")->font().pointSizeF(), 12.0);
    const QFont figure = mainChild<QLabel>("Label7_3")->font();
    EXPECT_EQ(figure.family(), "Small Fonts");
    EXPECT_DOUBLE_EQ(figure.pointSizeF(), 6.75);
    const QFont legend = mainChild<QLabel>("Label_Protection")->font();
    EXPECT_EQ(legend.family(), "Arial");
    EXPECT_TRUE(legend.bold());
    EXPECT_EQ(mainChild<QLabel>("Label_Protection")->palette().color(QPalette::WindowText),
              main.palette().color(QPalette::WindowText));
    EXPECT_TRUE(mainChild<QLabel>("Label5")->font().bold());
    EXPECT_FALSE(mainChild<QLabel>("Label10")->font().bold());
    // The old faces are mapped to fonts this machine really has.
    const QStringList installed = QFontDatabase::families();
    EXPECT_TRUE(installed.contains(QFontInfo(band->font()).family()));
    EXPECT_TRUE(installed.contains(QFontInfo(legend).family()));
}

TEST_F(MainLayout, ClientAreaLiesBelowTheMenuBarAndTheWindowHasAFixedOuterSize) {
    main.show();
    EXPECT_EQ(main.frameGeometry().size(), QSize(ui::px(8400), ui::px(4600)));
    EXPECT_EQ(main.widthTwips(), 8400);
    EXPECT_EQ(main.heightTwips(), 4600);
    EXPECT_EQ(main.minimumSize(), main.maximumSize());
    const QWidget* client = main.centralWidget();
    EXPECT_EQ(client->mapTo(&main, QPoint(0, 0)).y(), main.menuBar()->height());
    EXPECT_EQ(client->width(), main.width());
    EXPECT_EQ(client->geometry().bottom(), main.height() - 1);
    // What lies below the outer height is cut off, not hidden.
    EXPECT_TRUE(mainChild("Text_HDLC_Packet")->isVisible());
    EXPECT_GT(mainChild("Text_HDLC_Packet")->y(), client->height());
}

TEST_F(MainLayout, TabOrderFollowsTheDesign) {
    const QStringList order = {
        "Text_HDLC_Packet",  "Command_Hide_test_space", "Text_Decoded_Packet",
        "Command_Gain_Down", "Command_Gain_Up",         "Command_Toggle_OPER_STBY",
        "Command_Band_Down", "Command_Auto_Band",       "Command_Band_Up"};
    QStringList seen;
    QWidget* start = mainChild(order.front());
    QWidget* w = start;
    do {
        if (order.contains(w->objectName()) && !seen.contains(w->objectName()))
            seen << w->objectName();
        w = w->nextInFocusChain();
    } while (w != start);
    EXPECT_EQ(seen, order);
}

TEST_F(MainLayout, MenuTreeHasItsItemsInOrderWithoutShortcuts) {
    QList<MenuDesign> design = {
        {"menu_File", "File", {{"menu_Exit", "Exit"}}},
        {"menuCom_setting", "Com", {{"menuCom_0", "No Free Com Ports Found"}}},
        {"menuSettings",
         "Settings",
         {{"MenuForceSTBYonExit", "Force STBY on Exit"},
          {"menu_space3", {}},
          {"menu_Polling_Rate", "Polling Rate"},
          {"menu_space4", {}},
          {"menu_Time_Out", "Time Out"}}},
        {"menu_Voltage",
         "Voltage",
         {{"menu_PA_Voltage_High", "PA Voltage High"}, {"menu_PA_Voltage_Low", "PA Voltage Low"}}},
        {"menuView",
         "View",
         {{"menu_Size_Normal", "Normal Size"},
          {"menu_Size_Small", "Small Size"},
          {"menuTinyWidget", "Tiny Widget"},
          {"menu_space6", {}},
          {"menuAlwaysOnTop", "Always On Top"},
          {"menu_space7", {}},
          {"menuShow_test_space", "Show test space"}}},
        {"menu_Special", "Special", {{"menu_Remote_Firmware_Update", "Remote Firmware Update"}}},
        {"menu_Help",
         "Help",
         {{"menu_Guide", "Guide"}, {"menu_space8", {}}, {"menu_About", "About"}}}};
    for (int i = 1; i <= 16; ++i)
        design[1].items << Item{QString("menuCom_%1").arg(i), QString("Com%1").arg(i)};
    design[1].items << Item{"menu_space1", {}} << Item{"menu_Baud_Rate", "Baud Rate"}
                    << Item{"menu_space2", {}} << Item{"menuCloseComPort", "Close Com Port"};

    const QList<QAction*> top = main.menuBar()->actions();
    ASSERT_EQ(top.size(), design.size());
    for (qsizetype m = 0; m < design.size(); ++m) {
        const QMenu* menu = top[m]->menu();
        ASSERT_NE(menu, nullptr);
        EXPECT_EQ(menu->objectName(), design[m].name);
        EXPECT_EQ(menu->title(), design[m].title);
        EXPECT_EQ(main.action(design[m].name), top[m]);
        const QList<QAction*> items = menu->actions();
        ASSERT_EQ(items.size(), design[m].items.size()) << design[m].name.toStdString();
        for (qsizetype i = 0; i < items.size(); ++i) {
            const Item& want = design[m].items[i];
            const QAction* a = items[i];
            const std::string name = want.name.toStdString();
            EXPECT_EQ(a->objectName(), want.name);
            EXPECT_EQ(main.action(want.name), a);
            EXPECT_EQ(a->isSeparator(), want.caption.isEmpty()) << name;
            EXPECT_EQ(a->text(), want.caption) << name;
            EXPECT_TRUE(a->shortcut().isEmpty()) << name;
            // Port items wait for the scan; everything else is there from the start.
            const bool portItem = want.name.startsWith("menuCom_") && want.name != "menuCom_0";
            EXPECT_EQ(a->isVisible(), !portItem) << name;
            EXPECT_EQ(a->isEnabled(), !portItem) << name;
            if (want.name.startsWith("menuCom_")) {
                EXPECT_EQ(a->property("index").toInt(), want.name.mid(8).toInt());
            }
        }
    }
    QStringList checked;
    for (QAction* a : main.findChildren<QAction*>())
        if (a->isChecked())
            checked << a->objectName();
    checked.sort();
    EXPECT_EQ(checked, QStringList({"MenuForceSTBYonExit", "menu_Size_Normal"}));
    EXPECT_EQ(main.action("no_such_item"), nullptr);
}

TEST_F(TinyLayout, IsAFixedToolWindowWithItsControlsInPlace) {
    EXPECT_EQ(tiny.objectName(), "tiny_Form");
    EXPECT_EQ(tiny.windowTitle(), " TARN VQ4400");
    const Qt::WindowFlags flags = tiny.windowFlags();
    EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Tool);
    EXPECT_TRUE(flags.testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_EQ(tiny.size(), QSize(ui::px(5070), ui::px(645)));
    EXPECT_EQ(tiny.minimumSize(), tiny.maximumSize());

    // Some of the widget's places are not whole pixels; they land on the nearest one.
    const auto at = [this](const char* name, int l, int t, int w, int h) {
        const QWidget* c = tinyChild(name);
        return c ? c->geometry() == ui::pxRect(l, t, w, h) : false;
    };
    EXPECT_TRUE(at("Shape_LCD", 20, 30, 2265, 585));
    EXPECT_EQ(tinyChild("Shape_LCD")->geometry(), QRect(1, 2, 151, 39));
    EXPECT_TRUE(at("TX_LED", 2340, 60, 165, 165));
    for (int i = 1; i <= 14; ++i) {
        const QWidget* lamp = tinyChild(QString("FWD_LED_%1").arg(i));
        ASSERT_NE(lamp, nullptr) << i;
        EXPECT_EQ(twipsOf(lamp), QRect(2520 + 180 * (i - 1), 60, 165, 165)) << i;
        EXPECT_EQ(lamp->property("index").toInt(), i);
    }
    EXPECT_TRUE(at("Protection_LED", 2340, 390, 165, 165));
    EXPECT_TRUE(at("OPER_LED", 4860, 390, 165, 165));
    EXPECT_EQ(tinyChild("AUTO_LED"), nullptr);
    EXPECT_EQ(tinyChild("Rev_LED_1"), nullptr);
    EXPECT_TRUE(at("Shape1", 3390, 352, 585, 225));
    EXPECT_EQ(tinyColor("Shape1"), QColor(224, 224, 224));
    EXPECT_TRUE(at("Command_Gain_Down", 3360, 352, 195, 225));
    EXPECT_TRUE(at("Command_Gain_Up", 3780, 352, 195, 225));
    EXPECT_TRUE(at("Command_Toggle_OPER_STBY", 4620, 352, 195, 225));
    EXPECT_EQ(tinyChild<QLabel>("Label_Protection")->geometry().topLeft(), QPoint(168, 24));

    const auto* down = tinyChild<QPushButton>("Command_Gain_Down");
    const auto* up = tinyChild<QPushButton>("Command_Gain_Up");
    EXPECT_EQ(down->text(), "-");
    EXPECT_EQ(up->text(), "+");
    EXPECT_DOUBLE_EQ(down->font().pointSizeF(), 9.75);
    EXPECT_TRUE(up->font().bold());
    EXPECT_EQ(tinyChild<QPushButton>("Command_Toggle_OPER_STBY")->text(), "");
    EXPECT_EQ(tinyText("Label_OPER"), "OPER");
    EXPECT_EQ(tinyText("Label_G"), "G");
    EXPECT_DOUBLE_EQ(tinyChild<QLabel>("Label_Band")->font().pointSizeF(), 8.25);
    EXPECT_TRUE(tinyChild<QLabel>("Label_Band")->font().bold());
    EXPECT_FALSE(tinyChild<QLabel>("Label_No_Communication")->font().bold());
}

TEST_F(TinyLayout, EveryCreationRunsTheLoadSequence) {
    // Blank display, operate key off, gain keys on, grey lamps, "No Communication" kept.
    EXPECT_EQ(tinyColor("Shape_LCD"), QColor(Qt::black));
    for (const char* name : {"Label_Band", "Label_Gain", "Label_SWR_txt", "Label_SWR",
                             "Label_Voltage", "Label_Current", "Label_Temperature"})
        EXPECT_EQ(tinyText(name), "") << name;
    EXPECT_EQ(tinyText("Label_No_Communication"), "No Communication");
    EXPECT_EQ(tinyText("Label_Protection"), "PROT");
    EXPECT_FALSE(tinyChild("Command_Toggle_OPER_STBY")->isEnabled());
    EXPECT_TRUE(tinyChild("Command_Gain_Down")->isEnabled());
    EXPECT_TRUE(tinyChild("Command_Gain_Up")->isEnabled());
    for (const char* name : {"TX_LED", "Protection_LED", "OPER_LED", "FWD_LED_1", "FWD_LED_14"})
        EXPECT_EQ(tinyColor(name), grey) << name;
}
