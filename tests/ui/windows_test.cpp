#define TARN_RIG_WINDOWS
#include "support/rig.h"

#include "ui/accessibility.h"
#include "ui/dialogs/dialogs.h"
#include "ui/history/alarmdialog.h"
#include "ui/history/historyplot.h"
#include "ui/history/historywindow.h"
#include "ui/history/telemetrycontrols.h"
#include "ui/screens.h"
#include "ui/shapes.h"
#include "ui/twips.h"

#include <QAccessible>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFontDatabase>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>

using namespace tarn;
using namespace tarn::testing;

namespace {

// A status frame's eight body bytes.
protocol::RxBytes body(const QByteArray& hexBytes) {
    protocol::RxBytes rx;
    for (int i = 0; i < protocol::RxBytes::Count; ++i)
        rx.set(i, quint8(QByteArray::fromHex(hexBytes).at(i)));
    return rx;
}

// Where a control draws its text, in its window's coordinates; a key's frame takes two pixels
// a side. Empty without text.
QRect ink(const QWidget* w) {
    const auto* l = qobject_cast<const QLabel*>(w);
    const QString text = w->property("text").toString();
    const QFontMetrics fm = w->fontMetrics();
    const QSize line(fm.horizontalAdvance(text) + (l ? 0 : 6), l ? fm.height() : w->height());
    const QRect r =
        l && l->wordWrap()
            ? fm.boundingRect(l->contentsRect(), l->alignment() | Qt::TextWordWrap, text)
            : QStyle::alignedRect(Qt::LeftToRight, l ? l->alignment() : Qt::AlignCenter, line,
                                  l ? l->contentsRect() : w->rect());
    return text.isEmpty() ? QRect() : r.translated(w->mapTo(w->window(), QPoint(0, 0)));
}

// Where a control's own pixels lie, in its coordinates: what it draws over a clear ground.
QRect drawnInk(QWidget& w) {
    QImage image(w.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    w.render(&image, {}, {}, QWidget::DrawChildren);
    QRect r;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)))
                r |= QRect(x, y, 1, 1);
    return r;
}

// What is wrong with a window as it stands, as "window/control: reason" lines: a control that
// leaves the client area (the main window cuts off what lies below its height; offscreen lacks
// the title bar the heights count on), a text cut short, or two controls that overlap, texts by
// their ink. Boxes, frames and the grille are grounds for others; a line may end against a lamp
// or a key, never on a text. Bars are the ground of their segments.
QStringList layoutFaults(QWidget& window) {
    const auto* mainWindow = qobject_cast<QMainWindow*>(&window);
    const QWidget* clientArea = mainWindow ? mainWindow->centralWidget() : &window;
    const auto place = [&](const QWidget* w) {
        return QRect(w->mapTo(&window, QPoint()), w->size());
    };
    const QRect client = place(clientArea);
    QList<QWidget*> controls = clientArea->findChildren<QWidget*>();
    controls.removeIf([&](QWidget* w) {
        return !w->isVisible() || w->window() != &window || w->objectName().startsWith("qt_") ||
               QStringList{"tarn::ui::Box", "QGroupBox", "tarn::ui::Grille", "tarn::ui::Bar"}
                   .contains(w->metaObject()->className());
    });
    // 0 a text, 1 a line, 2 any other control: two lines or a line and another control may
    // touch, a text never.
    const auto kind = [](QWidget* w) {
        return qobject_cast<QLabel*>(w) ? 0 : qobject_cast<ui::PanelLine*>(w) ? 1 : 2;
    };
    const auto solid = [&](QWidget* w) { return kind(w) ? place(w) : ink(w); };
    QStringList faults;
    for (QWidget* w : controls) {
        const QString name = window.objectName() + "/" + w->objectName();
        const QRect own = place(w), text = ink(w);
        if (!client.contains(own) && own.top() <= client.bottom() - ui::AssumedTitleBarPx)
            faults << name + ": leaves the client area";
        if (!text.isEmpty() && !own.adjusted(-1, -1, 1, 1).contains(text))
            faults << name + ": text cut";
        // A new value repaints only the label's contents: ink beyond them would stay behind.
        if (const auto* l = qobject_cast<QLabel*>(w);
            l && !text.isEmpty() && !l->contentsRect().contains(drawnInk(*w)))
            faults << name + ": drawn outside its contents";
        for (QWidget* o : controls)
            if (o != w && kind(w) * kind(o) % 4 == 0 && solid(w).intersects(solid(o)))
                faults << name + ": overlaps " + o->objectName();
    }
    return faults;
}

// The bars' lamps by their place: one top, one size and one step from each to the next.
bool evenPitch(const QWidget& window) {
    QList<QRect> r;
    for (const QWidget* w : window.findChildren<QWidget*>(QRegularExpression("^(Rev|TX|FWD)_LED")))
        r << QRect(w->mapTo(&window, QPoint()), w->size());
    std::ranges::sort(r, {}, &QRect::x);
    for (qsizetype i = 1; i < r.size(); ++i)
        if (r[i] != r[i - 1].translated(r[1].x() - r[0].x(), 0))
            return false;
    return r.size() >= 15;
}

// The window's texts; its display, lamps and protection legend in the window's order, as one
// letter each (Green, Red, light Yellow, '.' grey, Blue display, blacK); its keys ('+' on).
std::string face(const QWidget& window) {
    static const std::map<QRgb, char> codes = {
        {qRgb(0, 255, 0), 'G'},     {qRgb(255, 0, 0), 'R'}, {qRgb(255, 255, 128), 'Y'},
        {qRgb(128, 128, 128), '.'}, {qRgb(0, 0, 192), 'B'}, {qRgb(0, 0, 0), 'K'}};
    std::string out;
    for (const char* n :
         {"Label_Band", "Label_Gain", "Label_SWR_txt", "Label_SWR", "Label_Voltage",
          "Label_Current", "Label_Temperature", "Label_No_Communication", "Label_Protection"})
        out += caption(window, n).toStdString() + '|';
    for (QWidget* w : window.findChildren<QWidget*>(
             QRegularExpression("^(Shape_LCD|\\w+_LED(_\\d+)?|Label_Protection)$"))) {
        const QColor c = qobject_cast<const QLabel*>(w)
                             ? w->palette().color(QPalette::WindowText)
                             : w->grab().toImage().pixelColor(w->rect().center());
        out += codes.count(c.rgb()) ? codes.at(c.rgb()) : '?';
    }
    out += ' ';
    for (const QWidget* key : window.findChildren<QAbstractButton*>(
             QRegularExpression("^Command_(Gain|Toggle|Band|Auto)")))
        out += key->isEnabled() ? '+' : '-';
    return out;
}

} // namespace

// Every window and dialog built with either face, at every height, with the widest value of
// each field and with "No Communication".
TEST_F(UiTest, EveryWindowHoldsItsControlsWithEitherFace) {
    port.devices[3] = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    port.setPortNumber(3);
    for (const QString family : {"Liberation Sans", "DejaVu Sans"}) {
        if (!QFontDatabase::families().contains(family))
            continue;
        SCOPED_TRACE(family.toStdString());
        // The scale figures take the narrow cut, as the panel maps them.
        const QStringList narrow = {family + " Narrow", family + " Condensed", family};
        for (const QString& old :
             {ui::fontname::MsSansSerif, ui::fontname::Arial, ui::fontname::SmallFonts})
            QFont::removeSubstitutions(old),
                QFont::insertSubstitutions(
                    old, old == ui::fontname::SmallFonts ? narrow : QStringList{family});
        QFontDatabase::removeAllApplicationFonts();
        ui::MainWindow m;
        ui::TinyWidget t;
        ui::Dialogs d(m, panel, op);
        ASSERT_EQ(QFontInfo(m.findChild<QLabel*>("Label8")->font()).family(), family);
        m.pacer().setIntervalMs(0), t.pacer().setIntervalMs(0), m.show(), t.show();
        for (const char* item : {"menu_Baud_Rate", "menu_Polling_Rate", "menu_Time_Out",
                                 "menu_Remote_Firmware_Update"})
            m.action(item)->trigger();
        d.bootloaderWait().open();
        QStringList faults;
        for (int height : {core::PanelState::Height_Normal, core::PanelState::Height_Small,
                           core::PanelState::Height_Test_Space}) {
            m.setHeightTwips(height);
            // Every band text's width class, G8 and G?, every lamp lit, the widest figures; then
            // "No Communication".
            for (const QByteArray bandGain : {"81", "82", "8B", "F0", "84", ""}) {
                const auto f = protocol::statusFields(
                    body("F0" + bandGain.leftJustified(2, '0') + "5FEEEEEEEE00"));
                for (core::DisplayView* w : std::initializer_list<core::DisplayView*>{&m, &t})
                    bandGain.isEmpty() ? w->showNoCommunication() : w->drawStatus(f);
                for (QWidget* w : QApplication::topLevelWidgets())
                    if (w->isVisible())
                        faults << layoutFaults(*w);
            }
        }
        faults.removeDuplicates();
        EXPECT_TRUE(faults.isEmpty()) << faults.join("\n").toStdString();
        EXPECT_TRUE(evenPitch(m) && evenPitch(t));
    }
}

class OnScreen : public UiTest {
protected:
    OnScreen() {
        dialogs.endApplication = [this] { ++ends; };
        panel.startup(), main.show();
    }
    void trigger(const char* item) { main.action(item)->trigger(); }
    // Clicks the control of that name or text, as the operator would.
    static void click(QWidget& window, const QString& nameOrText) {
        for (QWidget* w : window.findChildren<QWidget*>())
            if (w->objectName() == nameOrText || w->property("text").toString() == nameOrText)
                QTest::mouseClick(w, Qt::LeftButton);
    }

    ui::Dialogs dialogs{main, panel, op};
    int ends = 0;
};

// Frames on the main window, then on the tiny widget in its stead; its keys write their command
// once; silence blanks it and the next frame brings it back. The amplifier's own text is never
// read as markup.
TEST_F(OnScreen, FramesKeysAndSilenceOnTheWindowInUse) {
    openOn(2);
    // Frames faster than the screen's refresh: only the newest waiting one is drawn, and a
    // time-out in between wins over it. The traffic echo keeps the same pace, and a time-out
    // does not lose it.
    panel.menuShow_test_space_Click();
    const auto* echo = main.findChild<QPlainTextEdit*>("Text_HDLC_Packet");
    main.pacer().setIntervalMs(60'000);
    for (const char* frame : {"FB40322514", "FB4032251E", "FB4032252A"})
        receive(hex(frame) + hex("8C782300FE"));
    EXPECT_EQ(caption(main, "Label_SWR"), "2.0");
    EXPECT_EQ(echo->toPlainText().count("FB"), 1);
    main.pacer().drawWaiting();
    EXPECT_EQ(caption(main, "Label_SWR"), "4.2");
    EXPECT_EQ(echo->toPlainText().count("FB"), 3);
    receive(hex("FB4032251E8C782300FE")), panel.Timer_Connection_Timeout_Timer();
    main.pacer().drawWaiting();
    EXPECT_EQ(caption(main, "Label_SWR") + caption(main, "Label_No_Communication"),
              "No Communication");
    EXPECT_EQ(echo->toPlainText().count("FB"), 4);
    panel.menuShow_test_space_Click();
    main.pacer().setIntervalMs(0);
    // The frame, then the face of the main window and of the tiny widget.
    const char* const rows[][3] = {
        {"FB4032250F8C782300FE",
         "3.5 MHz|G3|SWR|1.5|56.0V|24.0A|35 °C||PROTECTION|BYY....GGGGG..........G.K ++++++",
         "3.5 MHz|G3|SWR|1.5|56.0V|24.0A|35 °C||PROT|B.GGGGG..........GK +++"},
        {"FBB0895F00640A5000FE",
         "28 MHz|G8|SWR|-.-|40.0V|2.0A|80 °C||PROTECTION|BYYYYYG.............RR.GR ++++++",
         "28 MHz|G8|SWR|-.-|40.0V|2.0A|80 °C||PROTECT|BG.............RR.R +++"},
        {"FB60B10C1E8C782300FE",
         "1.8 MHz|G?|SWR|3.0|56.0V|24.0A|35 °C||PROTECTION|B......GGGGGGGGGGGR...GGK ++++++",
         "1.8 MHz|G?|SWR|3.0|56.0V|24.0A|35 °C||PROT|B.GGGGGGGGGGGR...GK +++"},
        {"", "|||||||No Communication|PROTECTION|K.......................K ------",
         "|||||||No Communication|PROT|K.................K ---"}};
    const std::map<QString, const char*> commands = {
        {"Command_Gain_Down", "FB0505FE"},        {"Command_Gain_Up", "FB0404FE"},
        {"Command_Toggle_OPER_STBY", "FB0101FE"}, {"Command_Band_Down", "FB0808FE"},
        {"Command_Auto_Band", "FB0606FE"},        {"Command_Band_Up", "FB0707FE"},
        {"menu_PA_Voltage_High", "FB020204FE"},   {"menu_PA_Voltage_Low", "FB020103FE"}};
    // Keys have a slot named click, command items one named trigger.
    const auto press = [](QObject* o) {
        QMetaObject::invokeMethod(o, o->inherits("QAction") ? "trigger" : "click");
    };
    for (QWidget* window : {static_cast<QWidget*>(&main), static_cast<QWidget*>(&tiny)}) {
        SCOPED_TRACE(window->objectName().toStdString());
        const int column = window == &tiny ? 2 : 1;
        if (window == &tiny)
            trigger("menuTinyWidget");
        // The last row is silence: the keys are off until the next frame.
        for (const auto& row : rows) {
            *row[0] ? receive(hex(row[0])) : panel.Timer_Connection_Timeout_Timer();
            EXPECT_EQ(face(*window), row[column]) << row[0];
        }
        QList<QObject*> controls = window->findChildren<QObject*>();
        controls.removeIf([&](QObject* o) { return !commands.count(o->objectName()); });
        EXPECT_EQ(controls.size(), window == &tiny ? 3 : 8);
        port.writes.clear();
        press(controls.front());
        EXPECT_TRUE(port.writes.isEmpty());
        receive(hex(rows[0][0]));
        EXPECT_EQ(face(*window), rows[0][column]);
        for (QObject* o : controls) {
            port.writes.clear();
            press(o);
            EXPECT_EQ(port.writes, QList<QByteArray>{hex(commands.at(o->objectName()))})
                << o->objectName().toStdString();
        }
    }
    receive(hex("FB053C623E3C2FFE"));
    EXPECT_EQ(caption(main, "Label1_Firmware_Version"), "Firmware V<b></");
    EXPECT_EQ(mainChild<QLabel>("Label1_Firmware_Version")->textFormat(), Qt::PlainText);
}

// Check marks follow the panel's decision, not Qt's own toggle; the outer height follows the
// size and test-space items and Escape; the guide opens beside the executable; the firmware
// update hands the line over and its wait ends the application. The settings dialogs in between.
TEST_F(OnScreen, MenuItemsActThroughThePanel) {
    using P = core::PanelState;
    const QStringList marks = {"MenuForceSTBYonExit", "menu_Size_Normal", "menu_Size_Small",
                               "menuShow_test_space", "menuAlwaysOnTop"};
    // The item, which of the marks are on after it, the outer height.
    const std::tuple<const char*, const char*, int> steps[] = {
        {"MenuForceSTBYonExit", "01000", P::Height_Normal},
        {"MenuForceSTBYonExit", "11000", P::Height_Normal},
        {"menu_Size_Normal", "11000", P::Height_Normal},
        {"menu_Size_Small", "10100", P::Height_Small},
        {"menuShow_test_space", "10110", P::Height_Test_Space},
        {"Escape", "10100", P::Height_Small},
        {"menuAlwaysOnTop", "10101", P::Height_Small},
        {"menu_Size_Normal", "11001", P::Height_Normal}};
    for (const auto& [item, on, height] : steps) {
        QString(item) == "Escape" ? QTest::keyClick(mainChild("Text_HDLC_Packet"), Qt::Key_Escape)
                                  : trigger(item);
        std::string checked;
        for (const QString& name : marks)
            checked += main.action(name)->isChecked() ? '1' : '0';
        EXPECT_EQ(checked, on) << item;
        EXPECT_EQ(main.frameGeometry().height(), ui::px(height)) << item;
    }
    EXPECT_TRUE(main.windowFlags().testFlag(Qt::WindowStaysOnTopHint) && main.isVisible());

    // The guide is opened beside the executable or reported missing.
    QStringList asked;
    dialogs.openDocument = [&](const QString& p) { return asked << p, p.startsWith("/opt"); };
    for (const char* where : {"/opt/tarn", "/opt/tarn/", "/nowhere"}) {
        dialogs.applicationDir = where;
        trigger("menu_Guide");
    }
    EXPECT_EQ(asked.join(' '), "/opt/tarn/guide.html /opt/tarn/guide.html /nowhere/guide.html");
    ASSERT_EQ(op.messages.size(), 1);
    EXPECT_EQ(op.messages[0].text, "File not found!\r\r/nowhere/guide.html");

    // A click on an option's text chooses it; Cancel and Escape change nothing; Apply stores,
    // acts and saves; a hand-edited value outside the options selects none and Ok keeps it.
    openOn(3);
    using S = settings::Settings;
    // The item, its dialog, an option's text, the setting, its value and key in the file, a
    // hand-edited value that no option has.
    const std::tuple<const char*, QWidget&, const char*, int S::*, int, QString, int> rows[] = {
        {"menu_Baud_Rate", dialogs.baudRate(), "115200", &S::BaudRate, 115200, "BaudRate= ", 4800},
        {"menu_Polling_Rate", dialogs.pollingRate(), "10 ms", &S::Polling, 10, "Rate= ", 25},
        {"menu_Time_Out", dialogs.timeOut(), "2.0 s", &S::TimeOut, 2000, "Time= ", 300}};
    for (const auto& [item, dialog, option, value, chosen, key, handEdited] : rows) {
        SCOPED_TRACE(item);
        const int before = state.settings.*value;
        const QString ini = iniText();
        for (const bool escape : {false, true}) {
            trigger(item), click(dialog, option);
            escape ? QTest::keyClick(dialog.findChild<QWidget*>("Frame1"), Qt::Key_Escape)
                   : click(dialog, "Cancel");
            EXPECT_FALSE(dialog.isVisible());
        }
        EXPECT_EQ(state.settings.*value, before);
        EXPECT_EQ(iniText(), ini);

        trigger(item), click(dialog, option), click(dialog, "Apply");
        EXPECT_EQ(state.settings.*value, chosen);
        EXPECT_TRUE(iniText().contains(key + QString::number(chosen)));
        EXPECT_TRUE(dialog.isVisible() && caption(dialog, "Cancel_Command") == "Close");

        dialog.close(), state.settings.*value = handEdited, trigger(item);
        EXPECT_TRUE(
            std::ranges::none_of(dialog.findChildren<QRadioButton*>(), &QRadioButton::isChecked));
        click(dialog, "Ok");
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(state.settings.*value, handEdited);
        EXPECT_TRUE(iniText().contains(key + QString::number(handEdited)));
    }
    std::ranges::for_each(rows, [&](const auto& row) { trigger(std::get<0>(row)); });
    dialogs.closeAll();
    EXPECT_TRUE(
        std::ranges::none_of(rows, [](const auto& row) { return std::get<1>(row).isVisible(); }));

    port.devices[7] = "tcp://192.0.2.10:4001", openOn(7);
    QWidget& update = dialogs.firmwareUpdate();
    trigger("menu_Remote_Firmware_Update"),
        QTest::keyClick(update.findChild<QWidget*>("Command1"), Qt::Key_Escape);
    EXPECT_FALSE(update.isVisible());
    trigger("menu_Remote_Firmware_Update");
    EXPECT_EQ(caption(update, "COM_port_Label"), "COM7");
    click(update, "Command1");
    EXPECT_EQ(port.events, (QStringList{"write FB 03 09 0C FE", "close"}));
    EXPECT_FALSE(update.isVisible() || main.isVisible());

    // The wait names the port for the bootloader client and counts down to zero, no further.
    ui::BootloaderWaitDialog& wait = dialogs.bootloaderWait();
    EXPECT_TRUE(wait.isVisible() && wait.Timer1().isEnabled());
    EXPECT_TRUE(caption(wait, "COM_device_Label").contains("tcp://192.0.2.10:4001"));
    for (int i = 0; i < 31; ++i)
        wait.Timer1_Timer();
    EXPECT_EQ(caption(wait, "Timeout_Label"), "0 seconds");
    // Every way of closing it ends the application at once, without the shutdown.
    for (int way = 0; way < 3; ++way, wait.open()) {
        EXPECT_TRUE(wait.isVisible());
        way == 0   ? click(wait, "Ok_Command")
        : way == 1 ? QTest::keyClick(&wait, Qt::Key_Escape)
                   : void(wait.close());
        EXPECT_FALSE(wait.isVisible() || wait.Timer1().isEnabled());
    }
    EXPECT_EQ(ends, 3);
    EXPECT_EQ(port.events.size(), 2);
}

// An alarm colours the field on both windows until it clears and is acknowledged (with Space on
// the alarm line, which names the whole alarm); the added items open the history and the alarm
// settings, where shelving hides it.
TEST_F(UiTest, TelemetryAlarmsMarkBothWindowsAndTheHistoryOpens) {
    telemetry::Recorder recorder{1'000};
    settings::TelemetrySettings limits;
    qint64 now = 1'780'002'000'000;
    ui::TelemetryHooks hooks;
    hooks.clock = [&] { return telemetry::Stamp{now, now}; };
    ui::TelemetryControls controls{main, tiny, recorder, limits, hooks};
    // Eleven frames of SWR 3.0, or 1.5, at 40 °C.
    const auto feed = [&](const char* frame) {
        for (int i = 0; i < 11; ++i, now += 100)
            recorder.status(body(frame), {now, now});
    };
    const auto alarmed = [](QWidget& window) {
        const auto* l = window.findChild<QLabel*>("Label_SWR");
        return l->autoFillBackground() &&
               l->palette().window().color() == QColor(ui::TelemetryControls::AlarmColourName);
    };
    controls.start(), feed("5045181E8C782800");
    EXPECT_TRUE(alarmed(main) && alarmed(tiny) &&
                controls.alarmLine()->text().startsWith("UNACK SWR 3.0 over 2.5 at ") &&
                tiny.findChild<QLabel*>("Label_Alarm")->text() == "!A");
    EXPECT_EQ(controls.alarmLine()->accessibleName(), controls.alarmLine()->property("fullText"));
    QTest::keyClick(controls.alarmLine(), Qt::Key_Space);
    EXPECT_TRUE(!recorder.alarms().soundDue() && alarmed(main)) << "acknowledged, still shown";
    feed("5045180F8C782800");
    EXPECT_FALSE(alarmed(main) || alarmed(tiny) || !controls.alarmLine()->text().isEmpty());
    main.findChild<QAction*>("menuHistory")->trigger();
    EXPECT_TRUE(controls.historyWindow() && controls.historyWindow()->isVisible());
    // Shelved: raised and journaled, yet neither shown nor marked.
    main.findChild<QAction*>("menuAlarms")->trigger();
    ui::AlarmDialog* d = controls.alarmDialog();
    EXPECT_EQ(d->findChild<QDoubleSpinBox*>("swrLimit")->minimum(), 1.0);
    d->findChild<QComboBox*>("shelveAlarm")->setCurrentIndex(1);
    QTest::mouseClick(d->findChild<QPushButton*>("shelveButton"), Qt::LeftButton);
    feed("5045181E8C782800");
    EXPECT_TRUE(!alarmed(main) && controls.alarmLine()->text().isEmpty() &&
                d->findChild<QLabel*>("shelvedNote")->text() == "SWR shelved, 30 min left");
    const QListWidget* journal = d->findChild<QListWidget*>("journalList");
    EXPECT_TRUE(journal->count() == 5 &&
                journal->item(1)->text().endsWith(",shelve,SWR,,2.5,for 30 min"))
        << "raise ack clear shelve raise";
}

// The history names its lines, keeps a cold amplifier's 12 °C in its own strip, and exports
// the span it shows, paused, with the gap column, beside the user-interface thread.
TEST_F(UiTest, HistoryNamesItsLinesKeepsStripsApartAndExportsWhatItShows) {
    constexpr qint64 Wall = 1'780'002'000'000;
    telemetry::History history(1'000);
    for (qint64 t = 0; t < 100'000; t += 1'000)
        history.add(telemetry::Sample{t, 0x40, 5, 4, {5, 1, 15, 140, 60, 12}}, Wall + t);
    qint64 now = 100'000;
    ui::HistoryWindow w(history, [&] { return telemetry::Stamp{now, Wall + now}; });
    w.show(), w.setPaused(true), now += 30'000, w.plot().grab();
    EXPECT_TRUE(w.findChild<QLabel*>("legendLabel")->text().contains("reflected level"));
    EXPECT_EQ(w.plot().stripRange(telemetry::Channel::Temperature).first, 10.0);
    QTemporaryDir dir;
    ASSERT_TRUE(w.startExport(dir.filePath("x.csv")));
    w.exportJob()->wait(), w.checkExport();
    QFile f(dir.filePath("x.csv"));
    const QList<QByteArray> lines = (f.open(QIODevice::ReadOnly), f.readAll().split('\n'));
    ASSERT_EQ(lines.size(), 1 + 60 + 1);
    EXPECT_EQ(lines[60], "2026-05-28T21:01:39.000Z,5,4,5,1,1.5,56.0,12.0,12,1,0,0,0,0");
    EXPECT_TRUE(w.findChild<QLabel*>("exportStatus")->text().startsWith("60 rows written"));
}

// A screen reader hears the keys by name, each lamp with its state and each bar as one value,
// all as drawn, and the option buttons by their texts; the window's edge takes the test space
// out of its reach; changes are announced through an alert. A key keeps the focus it is pressed
// with, Space included, and shows that it has it.
TEST_F(OnScreen, ScreenReadersHearWhatIsDrawnAndKeysKeepTheFocus) {
    const auto heard = [](QWidget& window, const char* names) {
        QStringList out;
        for (const QString& n : QString(names).split(' ')) {
            auto* a = QAccessible::queryAccessibleInterface(window.findChild<QWidget*>(n));
            const auto* v = a->valueInterface();
            out << a->text(QAccessible::Name) + (a->state().checked ? "*" : "") +
                       (v ? "=" + v->currentValue().toString() : "");
        }
        return out.join('|');
    };
    ui::Announcer announcer{[t = qint64(0)]() mutable { return t += 1000; }};
    main.setAnnouncer(announcer), tiny.setAnnouncer(announcer), openOn(2);
    receive(hex("FB4032250F8C782300FE")), receive(hex("FB4032250F8C782300FE"));
    EXPECT_EQ(heard(main, "Command_Gain_Down Command_Toggle_OPER_STBY Command_Band_Up OPER_LED "
                          "AUTO_LED TX_LED Protection_LED FWD_Bar Rev_Bar"),
              "Gain down|Operate/Standby|Band up|Operate: on*|Automatic band: off|Transmit: off|"
              "Protection: off|Forward power: 5 of 14=5|Reflected power: 2 of 5=2");
    EXPECT_EQ(QAccessible::queryAccessibleInterface(mainChild("FWD_Bar"))->childCount(), 0);
    // Cut off at the small height: out of the tab chain and the tree; back with the test space.
    QAccessibleInterface* client = QAccessible::queryAccessibleInterface(main.centralWidget());
    QWidget* raw = mainChild("Text_HDLC_Packet");
    const auto reachable = [&](const char* item) {
        trigger(item);
        return raw->isVisibleTo(&main) &&
               client->indexOfChild(QAccessible::queryAccessibleInterface(raw)) >= 0;
    };
    EXPECT_FALSE(reachable("menu_Size_Small"));
    EXPECT_TRUE(reachable("menuShow_test_space"));
    QApplication::setActiveWindow(&main), QTest::keyClick(&main, Qt::Key_F10);
    ASSERT_TRUE(QApplication::activePopupWidget()) << "F10 opens the menus";
    EXPECT_EQ(QApplication::activePopupWidget()->objectName(), "menu_File");
    QApplication::activePopupWidget()->close();
    // Changes, silence and its end, each heard through the alert of the window in use.
    trigger("menuTinyWidget"), receive(hex("FBB0895F00640A5000FE")), announcer.flush();
    EXPECT_EQ(heard(tiny, "Command_Gain_Up Protection_LED FWD_Bar"),
              "Gain up|Protection: on*|Forward power: 14 of 14=14");
    auto* alert = tiny.findChild<ui::AlertSpot*>();
    EXPECT_TRUE(alert->isVisibleTo(&tiny) &&
                QAccessible::queryAccessibleInterface(alert)->role() == QAccessible::AlertMessage);
    EXPECT_EQ(alert->accessibleName(),
              "Protection: on. Operate: off. Transmit: on. Band: 28 MHz. Gain: G8");
    panel.Timer_Connection_Timeout_Timer(), announcer.flush();
    EXPECT_EQ(alert->accessibleName(), "No Communication");
    // Space presses a tiny widget key, which keeps the focus and draws it.
    receive(hex("FB4032250F8C782300FE"));
    auto* key = tiny.findChild<QPushButton*>("Command_Toggle_OPER_STBY");
    tiny.activateWindow(), key->setFocus(), QApplication::setActiveWindow(&tiny);
    const QImage focused = key->grab().toImage();
    QTest::keyClick(key, Qt::Key_Space);
    EXPECT_TRUE(port.writes == QList<QByteArray>{hex("FB0101FE")} && tiny.focusWidget() == key);
    key->clearFocus();
    EXPECT_NE(key->grab().toImage(), focused);
    // Option buttons are named after the text beside them.
    trigger("menu_Polling_Rate");
    for (const auto* o : dialogs.pollingRate().findChildren<QRadioButton*>())
        EXPECT_EQ(o->accessibleName(),
                  caption(dialogs.pollingRate(),
                          qPrintable("Select_" + o->property("index").toString())));
}
