// The real windows on the real serial port against the simulated amplifier: the tiny widget
// follows the amplifier while it is shown, and Escape brings the main window back.

#include "core/panel.h"
#include "serial/comport.h"
#include "settings/settingsstore.h"
#include "support/pty.h"
#include "support/recordingviews.h"
#include "support/simprocess.h"
#include "ui/fonts.h"
#include "ui/mainwindow.h"
#include "ui/tinywidget.h"

#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::testing;

namespace {
QString caption(const QWidget& window, const char* name) {
    const auto* w = window.findChild<QWidget*>(name);
    return w ? w->property("text").toString() : QStringLiteral("<missing %1>").arg(name);
}
} // namespace

TEST(WidgetsAgainstSim, TinyWidgetFollowsTheAmplifierAndEscapeBringsTheMainWindowBack) {
    ui::installFontSubstitutions();
    SimProcess sim({});
    ASSERT_FALSE(sim.endpoint().isEmpty());
    QTemporaryDir dir;
    core::PanelState state;
    serial::ComPort port(state.ports);
    settings::SettingsStore store(dir.path(), "tarn-vq4400", dir.path() + "/user");
    ui::MainWindow main;
    ui::TinyWidget tiny;
    RecordingOperator op;
    core::Panel panel(state, port, store, {main, tiny, main, op, main});
    main.attach(panel);
    tiny.attach(panel);
    panel.startup();
    state.ports.setEntry(1, sim.endpoint());
    main.show();
    panel.menuCom_Click(1);
    ASSERT_TRUE(port.isOpen());

    ASSERT_TRUE(waitUntil([&] { return caption(main, "Label_SWR_txt") == "SWR"; }, 3000));
    panel.menuTinyWidget_Click();
    ASSERT_TRUE(tiny.isShown());
    EXPECT_FALSE(main.isVisible());
    EXPECT_TRUE(waitUntil([&] { return caption(tiny, "Label_SWR_txt") == "SWR"; }, 3000));
    EXPECT_EQ(caption(tiny, "Label_No_Communication"), "");

    // What the amplifier does shows on the widget only.
    const QString mainBand = caption(main, "Label_Band");
    sim.command("trip");
    EXPECT_TRUE(waitUntil([&] { return caption(tiny, "Label_Protection") == "PROTECT"; }, 3000));
    ASSERT_TRUE(panel.sendCommand(state.frames.Cmd_Gain_Up, true));
    sim.command("silence on");
    EXPECT_TRUE(waitUntil(
        [&] { return caption(tiny, "Label_No_Communication") == "No Communication"; }, 3000));
    EXPECT_EQ(caption(main, "Label_No_Communication"), "");
    EXPECT_EQ(caption(main, "Label_Band"), mainBand);
    sim.command("silence off");

    QTest::keyClick(&tiny, Qt::Key_Escape);
    EXPECT_FALSE(tiny.isShown());
    EXPECT_TRUE(main.isVisible());
    EXPECT_FALSE(state.settings.Top_Location.isEmpty());
    EXPECT_TRUE(waitUntil(
        [&] {
            return caption(main, "Label_No_Communication") == "" &&
                   caption(main, "Label_SWR_txt") == "SWR";
        },
        3000));
    EXPECT_TRUE(op.messages.isEmpty());
    panel.shutdownPort();
}
