// The alarm line, the alarm colours on both panel windows and the added menu items, on the real
// windows that the controls find by object name.

#include "telemetry/recorder.h"
#include "ui/history/historywindow.h"
#include "ui/history/telemetrycontrols.h"
#include "ui/mainwindow.h"
#include "ui/tinywidget.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QTest>
#include <gtest/gtest.h>

using namespace tarn;

namespace {

constexpr qint64 T0 = 1'780'002'000'000;

protocol::RxBytes frame(int swrX10, int temperature) {
    protocol::RxBytes rx;
    const int body[] = {0x50, 0x45, 0x18, swrX10, 140, 120, temperature, 0};
    for (int i = 0; i < 8; ++i)
        rx.set(i, std::uint8_t(body[i]));
    return rx;
}

class TelemetryControlsTest : public ::testing::Test {
protected:
    void feed(int swrX10, int temperature, int frames) {
        for (int i = 0; i < frames; ++i, now += 100)
            recorder.status(frame(swrX10, temperature), now);
    }
    bool alarmed(QWidget& window, const char* label) const {
        const auto* l = window.findChild<QLabel*>(QString::fromLatin1(label));
        return l && l->autoFillBackground() &&
               l->palette().color(QPalette::Window) ==
                   QColor(ui::TelemetryControls::AlarmColourName);
    }

    ui::MainWindow main;
    ui::TinyWidget tiny;
    telemetry::Recorder recorder{1'000};
    settings::TelemetrySettings settings;
    qint64 now = T0;
    ui::TelemetryControls controls{
        main, tiny, recorder, settings, {[this] { return now; }, {}, {}}};
};

} // namespace

TEST_F(TelemetryControlsTest, AnAlarmColoursBothWindowsUntilItClearsWhateverTheAcknowledge) {
    controls.start();
    feed(30, 40, 11);
    EXPECT_FALSE(controls.alarmLine()->text().isEmpty());
    EXPECT_TRUE(alarmed(main, "Label_SWR"));
    EXPECT_TRUE(alarmed(tiny, "Label_SWR"));
    EXPECT_FALSE(alarmed(main, "Label_Temperature"));

    QTest::mouseClick(controls.alarmLine(), Qt::LeftButton);
    EXPECT_FALSE(recorder.alarms().soundDue());
    EXPECT_TRUE(alarmed(main, "Label_SWR"));

    feed(15, 40, 11);
    EXPECT_TRUE(controls.alarmLine()->text().isEmpty());
    EXPECT_FALSE(alarmed(main, "Label_SWR"));
    EXPECT_FALSE(alarmed(tiny, "Label_SWR"));
}

TEST_F(TelemetryControlsTest, NewItemsFollowTheExistingOnesAndOpenTheirWindows) {
    const QList<QAction*> view = main.findChild<QMenu*>("menuView")->actions();
    EXPECT_EQ(view.at(view.size() - 3)->objectName(), "menuShow_test_space");
    EXPECT_EQ(view.last()->objectName(), "menuHistory");
    const QList<QAction*> settingsMenu = main.findChild<QMenu*>("menuSettings")->actions();
    EXPECT_EQ(settingsMenu.at(settingsMenu.size() - 4)->objectName(), "menu_Time_Out");
    EXPECT_EQ(settingsMenu.last()->objectName(), "menuCsvLog");

    view.last()->trigger();
    ASSERT_NE(controls.historyWindow(), nullptr);
    EXPECT_TRUE(controls.historyWindow()->isVisible());
    controls.historyWindow()->close();
}
