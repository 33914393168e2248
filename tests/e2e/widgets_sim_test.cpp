// The real windows on the real serial port against the simulated amplifier: the tiny widget
// follows the amplifier while it is shown, and Escape brings the main window back.

#include "support/pty.h"
#include "support/simprocess.h"
#include "support/windowrig.h"

#include <QTest>
#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::testing;

namespace {} // namespace

TEST(WidgetsAgainstSim, TinyWidgetFollowsTheAmplifierAndEscapeBringsTheMainWindowBack) {
    SimProcess sim({});
    ASSERT_FALSE(sim.endpoint().isEmpty());
    WindowRig rig;
    ASSERT_TRUE(rig.startOn(sim.endpoint()));

    ASSERT_TRUE(waitUntil([&] { return caption(rig.main, "Label_SWR_txt") == "SWR"; }, 3000));
    rig.panel.menuTinyWidget_Click();
    ASSERT_TRUE(rig.tiny.isShown());
    EXPECT_FALSE(rig.main.isVisible());
    EXPECT_TRUE(waitUntil([&] { return caption(rig.tiny, "Label_SWR_txt") == "SWR"; }, 3000));
    EXPECT_EQ(caption(rig.tiny, "Label_No_Communication"), "");

    // What the amplifier does shows on the widget only.
    const QString mainBand = caption(rig.main, "Label_Band");
    sim.command("trip");
    EXPECT_TRUE(
        waitUntil([&] { return caption(rig.tiny, "Label_Protection") == "PROTECT"; }, 3000));
    ASSERT_TRUE(rig.panel.sendCommand(tarn::protocol::Command::Gain_Up, true));
    sim.command("silence on");
    EXPECT_TRUE(waitUntil(
        [&] { return caption(rig.tiny, "Label_No_Communication") == "No Communication"; }, 3000));
    EXPECT_EQ(caption(rig.main, "Label_No_Communication"), "");
    EXPECT_EQ(caption(rig.main, "Label_Band"), mainBand);
    sim.command("silence off");

    QTest::keyClick(&rig.tiny, Qt::Key_Escape);
    EXPECT_FALSE(rig.tiny.isShown());
    EXPECT_TRUE(rig.main.isVisible());
    EXPECT_FALSE(rig.state.settings.Top_Location.isEmpty());
    EXPECT_TRUE(waitUntil(
        [&] {
            return caption(rig.main, "Label_No_Communication") == "" &&
                   caption(rig.main, "Label_SWR_txt") == "SWR";
        },
        3000));
    EXPECT_TRUE(rig.op.messages.isEmpty());
    rig.panel.shutdownPort();
}
