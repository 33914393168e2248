#include "uifixture.h"

#include "ui/dialogs/dialogs.h"

#include <QFile>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>

using namespace tarn;
using namespace tarn::testing;

namespace {

void pressEscape(QWidget* target) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
}

void clickText(QWidget* label) {
    const QPointF at(label->width() / 2.0, label->height() / 2.0);
    const QPointF global = label->mapToGlobal(at);
    QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(label, &press);
    QApplication::sendEvent(label, &release);
}

} // namespace

class DialogsTest : public UiTest {
protected:
    DialogsTest() {
        dialogs.endApplication = [this] { ++ends; };
        main.move(100, 60); // 1500, 900 twips
        main.show();
    }

    template <typename T = QWidget> static T* child(QWidget& dialog, const QString& name) {
        return dialog.findChild<T*>(name);
    }
    static void click(QWidget& dialog, const QString& name) {
        child<QAbstractButton>(dialog, name)->click();
    }
    static QString text(QWidget& dialog, const QString& name) {
        return child<QLabel>(dialog, name)->text();
    }
    static QStringList checkedOptions(QWidget& dialog) {
        QStringList out;
        for (const QRadioButton* r : dialog.findChildren<QRadioButton*>())
            if (r->isChecked())
                out << r->objectName();
        return out;
    }
    void trigger(const char* item) { main.action(QString::fromLatin1(item))->trigger(); }
    QString ini() const {
        QFile f(store.writePath());
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }
    QPoint besideMain(int left, int top) const {
        return ui::pxPoint(main.left() + left, main.top() + top);
    }

    ui::Dialogs dialogs{main, panel, op};
    int ends = 0;
};

// ---- settings dialogs --------------------------------------------------------------------

TEST_F(DialogsTest, SettingsDialogsOpenBesideTheMainWindowWithTheirDesign) {
    state.settings.AlwaysOnTop = "Yes";
    const struct {
        const char* item;
        QWidget& dialog;
        const char* caption;
        QPoint offset;
        const char* lastText;
        const char* lastTextName;
    } cases[] = {
        {"menu_Baud_Rate", dialogs.baudRate(), " Baud Rate", {300, 2000}, "115200", "Option_txt_4"},
        {"menu_Polling_Rate",
         dialogs.pollingRate(),
         " Polling Rate",
         {3400, 100},
         "1 s (For test use)",
         "Select_12"},
        {"menu_Time_Out",
         dialogs.timeOut(),
         " Time Out ",
         {3000, 2000},
         "OFF (For test use)",
         "Option_txt_4"},
    };
    for (const auto& c : cases) {
        trigger(c.item);
        EXPECT_TRUE(c.dialog.isVisible()) << c.item;
        EXPECT_EQ(c.dialog.windowTitle(), c.caption);
        EXPECT_EQ(c.dialog.pos(), besideMain(c.offset.x(), c.offset.y())) << c.item;
        EXPECT_TRUE(c.dialog.windowFlags().testFlag(Qt::WindowStaysOnTopHint)) << c.item;
        EXPECT_EQ(text(c.dialog, c.lastTextName), c.lastText);
    }
    EXPECT_EQ(text(dialogs.timeOut(), "Label5"),
              "This setting defines the communication time out. If there is no valid data "
              "available in the defined time the display will show \"No Communication\"");

    // Ok, Cancel, Apply, then the options from the last one up.
    QWidget* w = child(dialogs.baudRate(), "Ok_Command");
    QStringList chain;
    for (int i = 0; i < 5; ++i, w = w->nextInFocusChain())
        chain << w->objectName();
    EXPECT_EQ(chain, (QStringList{"Ok_Command", "Cancel_Command", "Command1", "BaudRate_Option_4",
                                  "BaudRate_Option_3"}));

    dialogs.baudRate().close();
    state.settings.AlwaysOnTop = "yes"; // only the exact "Yes" counts
    trigger("menu_Baud_Rate");
    EXPECT_FALSE(dialogs.baudRate().windowFlags().testFlag(Qt::WindowStaysOnTopHint));
}

TEST_F(DialogsTest, BaudRateFollowsTheSettingAndReopensTheOpenPort) {
    openOn(3);
    state.settings.BaudRate = 38400;
    trigger("menu_Baud_Rate");
    QWidget& d = dialogs.baudRate();
    EXPECT_EQ(checkedOptions(d), QStringList{"BaudRate_Option_2"});

    clickText(child(d, "Option_txt_4"));
    // Choosing from the menu again brings up the same dialog as it stands.
    trigger("menu_Baud_Rate");
    EXPECT_EQ(checkedOptions(d), QStringList{"BaudRate_Option_4"});

    click(d, "Command1");
    EXPECT_EQ(port.events, (QStringList{"close", "settings 115200,n,8,1", "open 3"}));
    EXPECT_EQ(state.settings.BaudRate, 115200);
    EXPECT_TRUE(ini().contains("BaudRate= 115200"));
    EXPECT_TRUE(d.isVisible());
    EXPECT_EQ(child<QPushButton>(d, "Cancel_Command")->text(), "Close");

    click(d, "Cancel_Command");
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(state.settings.BaudRate, 115200);

    // A new load starts from the current setting and a fresh Cancel.
    trigger("menu_Baud_Rate");
    EXPECT_EQ(child<QPushButton>(d, "Cancel_Command")->text(), "Cancel");
    EXPECT_EQ(checkedOptions(d), QStringList{"BaudRate_Option_4"});
    EXPECT_TRUE(op.messages.isEmpty());
}

TEST_F(DialogsTest, PollingRateRetunesThePollTimerAtOnce) {
    trigger("menu_Polling_Rate");
    QWidget& d = dialogs.pollingRate();
    EXPECT_EQ(checkedOptions(d), QStringList{"Polling_Rate_Option_5"});

    clickText(child(d, "Select_11"));
    EXPECT_EQ(checkedOptions(d), QStringList{"Polling_Rate_Option_11"});
    clickText(child(d, "Select_12"));
    click(d, "Apply_Command");
    EXPECT_EQ(panel.Timer_Poll().interval(), 1000);
    EXPECT_TRUE(panel.Timer_Poll().isEnabled());
    EXPECT_EQ(state.settings.Polling, 1000);
    EXPECT_TRUE(ini().contains("Rate= 1000"));
    EXPECT_TRUE(d.isVisible());
    EXPECT_EQ(child<QPushButton>(d, "Cancel_Command")->text(), "Close");
}

TEST_F(DialogsTest, TimeOutIsStoredAndSaved) {
    trigger("menu_Time_Out");
    QWidget& d = dialogs.timeOut();
    EXPECT_EQ(checkedOptions(d), QStringList{"TimeOut_Option_1"});
    clickText(child(d, "Option_txt_4"));
    click(d, "Ok_Command");
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(state.settings.TimeOut, 0);
    EXPECT_TRUE(ini().contains("Time= 0"));
}

// Hand-edited values: no option is selected, and Ok keeps, reapplies and saves them.
TEST_F(DialogsTest, ValuesOutsideTheTablesAreKept) {
    state.settings.BaudRate = 4800;
    state.settings.Polling = 25;
    state.settings.TimeOut = 300;
    for (const char* item : {"menu_Baud_Rate", "menu_Polling_Rate", "menu_Time_Out"})
        trigger(item);
    for (QWidget* d :
         {static_cast<QWidget*>(&dialogs.baudRate()), static_cast<QWidget*>(&dialogs.pollingRate()),
          static_cast<QWidget*>(&dialogs.timeOut())}) {
        EXPECT_TRUE(checkedOptions(*d).isEmpty()) << d->objectName().toStdString();
        click(*d, "Ok_Command");
        EXPECT_FALSE(d->isVisible());
    }
    EXPECT_EQ(state.settings.BaudRate, 4800);
    EXPECT_EQ(state.settings.Polling, 25);
    EXPECT_EQ(state.settings.TimeOut, 300);
    // The port is closed: only its line settings change.
    EXPECT_EQ(port.events, QStringList{"settings 4800,n,8,1"});
    EXPECT_EQ(panel.Timer_Poll().interval(), 25);
    for (const char* line : {"BaudRate= 4800", "Rate= 25", "Time= 300"})
        EXPECT_TRUE(ini().contains(line)) << line;
}

TEST_F(DialogsTest, CancelAndEscapeCloseSettingsDialogsWithoutApplying) {
    openOn(5);
    QFile::remove(store.writePath());
    const settings::Settings before = state.settings;
    const struct {
        const char* item;
        QWidget& dialog;
        const char* otherText;
    } cases[] = {{"menu_Baud_Rate", dialogs.baudRate(), "Option_txt_3"},
                 {"menu_Polling_Rate", dialogs.pollingRate(), "Select_1"},
                 {"menu_Time_Out", dialogs.timeOut(), "Option_txt_3"}};
    for (const auto& c : cases) {
        trigger(c.item);
        clickText(child(c.dialog, c.otherText));
        click(c.dialog, "Cancel_Command");
        EXPECT_FALSE(c.dialog.isVisible()) << c.item;

        trigger(c.item);
        clickText(child(c.dialog, c.otherText));
        pressEscape(child(c.dialog, "Frame1"));
        EXPECT_FALSE(c.dialog.isVisible()) << c.item;
    }
    EXPECT_EQ(state.settings.BaudRate, before.BaudRate);
    EXPECT_EQ(state.settings.Polling, before.Polling);
    EXPECT_EQ(state.settings.TimeOut, before.TimeOut);
    EXPECT_EQ(panel.Timer_Poll().interval(), 50);
    EXPECT_TRUE(port.events.isEmpty());
    EXPECT_FALSE(QFile::exists(store.writePath()));
}

TEST_F(DialogsTest, AMinimisedDialogIsRestoredWhenAskedForAgain) {
    for (const char* item :
         {"menu_Baud_Rate", "menu_Polling_Rate", "menu_Time_Out", "menu_Remote_Firmware_Update"}) {
        trigger(item);
        QWidget* d = QApplication::activeWindow() ? QApplication::activeWindow() : nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w != &main && w->isVisible() && !w->isMinimized())
                d = w;
        ASSERT_NE(d, nullptr) << item;
        d->showMinimized();
        ASSERT_TRUE(d->isMinimized()) << item;
        trigger(item);
        EXPECT_TRUE(d->isVisible()) << item;
        EXPECT_FALSE(d->isMinimized()) << item;
        d->close();
    }
}

TEST_F(DialogsTest, CloseAllClosesTheOpenSettingsDialogs) {
    trigger("menu_Time_Out");
    trigger("menu_Baud_Rate");
    trigger("menu_Remote_Firmware_Update");
    static_cast<core::SecondaryWindows&>(dialogs).closeAll();
    EXPECT_FALSE(dialogs.baudRate().isVisible() || dialogs.timeOut().isVisible());
    EXPECT_FALSE(dialogs.pollingRate().isVisible());
}

// ---- remote firmware update --------------------------------------------------------------

TEST_F(DialogsTest, FirmwareUpdateStartHandsTheLineToTheBootloader) {
    openOn(7);
    receive(hex("FB4032250F8C782300FE"));
    ASSERT_TRUE(panel.Timer_Connection_Timeout().isEnabled());
    port.events.clear();
    QFile::remove(store.writePath());
    state.settings.AlwaysOnTop = "Yes";
    port.devices[7] = "tcp://192.0.2.10:4001";

    trigger("menu_Remote_Firmware_Update");
    QWidget& d = dialogs.firmwareUpdate();
    EXPECT_EQ(d.pos(), besideMain(500, 1500));
    EXPECT_TRUE(d.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(text(d, "COM_port_Label"), "COM7");
    // The bootloader client is pointed at the device, so it stands beside the number.
    EXPECT_TRUE(text(d, "COM_device_Label").contains("tcp://192.0.2.10:4001"));
    EXPECT_EQ(text(d, "Label5"), "We have tested two port servers. Digi Port "
                                 "Server is compatible but not USR-TCP232 .");

    click(d, "Command1");
    EXPECT_EQ(port.events, (QStringList{"write FB 03 09 0C FE", "close"}));
    EXPECT_FALSE(port.isOpen());
    EXPECT_FALSE(panel.Timer_Poll().isEnabled());
    EXPECT_FALSE(panel.Timer_Connection_Timeout().isEnabled());
    EXPECT_FALSE(QFile::exists(store.writePath()));
    EXPECT_FALSE(d.isVisible());
    EXPECT_FALSE(main.isVisible());

    ui::BootloaderWaitDialog& wait = dialogs.bootloaderWait();
    EXPECT_TRUE(wait.isVisible());
    EXPECT_EQ(wait.pos(), besideMain(2000, 2000));
    EXPECT_EQ(text(wait, "COM_port_Label"), "COM7");
    EXPECT_TRUE(text(wait, "COM_device_Label").contains("tcp://192.0.2.10:4001"));
    EXPECT_EQ(text(wait, "Label2"), "In the PC Ingenia bootlouder use");
    EXPECT_TRUE(wait.Timer1().isEnabled());
    EXPECT_EQ(wait.Timer1().interval(), 1080);
    EXPECT_TRUE(op.messages.isEmpty());
}

TEST_F(DialogsTest, FirmwareUpdateWithoutAPortOrCancelledChangesNothing) {
    trigger("menu_Remote_Firmware_Update");
    QWidget& d = dialogs.firmwareUpdate();
    click(d, "Command1");
    ASSERT_EQ(op.messages.size(), 1);
    EXPECT_EQ(op.messages[0].text, "Select a COM Port");
    EXPECT_TRUE(d.isVisible());
    EXPECT_TRUE(main.isVisible());
    EXPECT_TRUE(panel.Timer_Poll().isEnabled());
    EXPECT_FALSE(dialogs.bootloaderWait().isVisible());

    openOn(4);
    click(d, "Cancel_Command");
    EXPECT_FALSE(d.isVisible());
    trigger("menu_Remote_Firmware_Update");
    pressEscape(child(d, "Command1"));
    EXPECT_FALSE(d.isVisible());
    EXPECT_TRUE(port.events.isEmpty());
    EXPECT_TRUE(panel.Timer_Poll().isEnabled());
}

TEST_F(DialogsTest, WaitDialogCountsDownToZeroAndStays) {
    ui::BootloaderWaitDialog& wait = dialogs.bootloaderWait();
    wait.open();
    QLabel* label = child<QLabel>(wait, "Timeout_Label");
    EXPECT_EQ(label->text(), "30 seconds");
    wait.Timer1_Timer();
    EXPECT_EQ(label->text(), "29 seconds");
    for (int i = 0; i < 29; ++i)
        wait.Timer1_Timer();
    EXPECT_EQ(label->text(), "0 seconds");
    wait.Timer1_Timer();
    EXPECT_EQ(wait.Bootloader_Countdown(), 0);
    EXPECT_EQ(label->text(), "0 seconds");
    EXPECT_TRUE(wait.isVisible());
}

TEST_F(DialogsTest, EveryWayOfClosingTheWaitDialogEndsTheApplication) {
    openOn(3);
    ui::BootloaderWaitDialog& wait = dialogs.bootloaderWait();
    const std::function<void()> ways[] = {
        [&] { click(wait, "Ok_Command"); }, [&] { pressEscape(child(wait, "Ok_Command")); },
        [&] { wait.close(); }, // the window's own close box
    };
    int expected = 0;
    for (const auto& way : ways) {
        wait.open();
        way();
        EXPECT_EQ(ends, ++expected);
        EXPECT_FALSE(wait.isVisible());
        EXPECT_FALSE(wait.Timer1().isEnabled());
    }
    // Ending this way runs no shutdown: nothing more on the line.
    EXPECT_TRUE(port.writes.isEmpty());
}

// Wider substitute fonts must not make texts overlap or leave the window.
TEST_F(DialogsTest, BootloaderTextsKeepClearOfEachOther) {
    port.devices[12] = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    openOn(12);
    dialogs.firmwareUpdate().open();
    dialogs.bootloaderWait().open();
    dialogs.bootloaderWait().Timer1_Timer();
    for (QWidget* d : {static_cast<QWidget*>(&dialogs.firmwareUpdate()),
                       static_cast<QWidget*>(&dialogs.bootloaderWait())}) {
        const QList<QWidget*> parts = d->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
        for (const QWidget* a : parts) {
            EXPECT_TRUE(d->rect().contains(a->geometry())) << a->objectName().toStdString();
            for (const QWidget* b : parts)
                EXPECT_TRUE(a == b || !a->geometry().intersects(b->geometry()))
                    << a->objectName().toStdString() << " " << b->objectName().toStdString();
        }
    }
}

// ---- guide and about ---------------------------------------------------------------------

TEST_F(DialogsTest, GuideIsOpenedFromTheApplicationsDirectoryOrReportedMissing) {
    // The default opener: a missing file is reported without asking the desktop.
    dialogs.applicationDir = dir.path() + "/nowhere";
    trigger("menu_Guide");
    ASSERT_EQ(op.messages.size(), 1);
    EXPECT_EQ(op.messages[0].text, "File not found!\r\r" + dir.path() + "/nowhere/guide.html");
    EXPECT_EQ(op.messages[0].style, 48);
    EXPECT_EQ(op.messages[0].title, "Guide");

    QStringList opened;
    dialogs.openDocument = [&](const QString& path) {
        opened << path;
        return true;
    };
    for (const char* dirName : {"/opt/tarn", "/opt/tarn/", "/"}) {
        dialogs.applicationDir = QString::fromLatin1(dirName);
        trigger("menu_Guide");
    }
    EXPECT_EQ(opened, (QStringList{"/opt/tarn/guide.html", "/opt/tarn/guide.html", "/guide.html"}));
    EXPECT_EQ(ui::Dialogs::guidePath("C:\\"), "C:\\guide.html");
    EXPECT_EQ(op.messages.size(), 1);
}

TEST_F(DialogsTest, AboutShowsNameVersionAndCredit) {
    trigger("menu_About");
    ASSERT_EQ(op.messages.size(), 1);
    const QStringList lines = op.messages[0].text.split('\r');
    ASSERT_EQ(lines.size(), 5);
    EXPECT_EQ(lines.mid(0, 4), (QStringList{"TARN VQ4400 Remote", "", "Version V1.08", ""}));
    EXPECT_FALSE(lines[4].trimmed().isEmpty());
    EXPECT_FALSE(op.messages[0].text.contains('\n'));
    EXPECT_EQ(op.messages[0].style, 0);
    EXPECT_EQ(op.messages[0].title, "About TARN VQ4400 Remote");
}
