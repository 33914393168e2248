// The real windows on the real serial port, polling every 10 ms with the test space open,
// against a simulated amplifier that switches at random between a good line and every fault
// it knows. Throughout, the two test-space boxes stay within what they show and the Com menu
// agrees with the port; once the faults stop, the window shows what the amplifier last sent.
//
// The test command runs it for about 45 s; bench/soak.sh sets TARN_SOAK_SECONDS.

#include "protocol/hexecho.h"
#include "protocol/status.h"
#include "soaksupport.h"
#include "support/pty.h"
#include "support/simprocess.h"
#include "support/windowrig.h"
#include "ui/lamp.h"

#include <QAction>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <algorithm>
#include <cstdio>
#include <gtest/gtest.h>
#include <memory>

using namespace tarn;
using namespace tarn::testing;

namespace {
constexpr int ShortRunSeconds = 45;
// Seed 47 runs every fault mode, the line drop twice, within the first 45 s.
constexpr const char* Seed = "47";

// The captions and the protection lamp agree with what a status body says.
bool showsBody(const ui::MainWindow& main, const QByteArray& body) {
    protocol::RxBytes rx;
    for (int i = 0; i < protocol::RxBytes::Count; ++i)
        rx.set(i, quint8(body[i]));
    const protocol::StatusFields f = protocol::statusFields(rx);
    const auto* lamp = main.findChild<ui::Lamp*>("Protection_LED");
    return caption(main, "Label_No_Communication").isEmpty() &&
           caption(main, "Label_Band") == f.band && caption(main, "Label_Gain") == f.gain &&
           caption(main, "Label_SWR") == f.swr && caption(main, "Label_Voltage") == f.voltage &&
           caption(main, "Label_Current") == f.current &&
           caption(main, "Label_Temperature") == f.temperature && lamp &&
           lamp->color().rgb() == (QColor::fromRgb(f.protectionLamp()).rgb());
}
} // namespace

TEST(SoakWidgets, WindowsFollowTheAmplifierThroughRandomFaultsWithBoundedBoxes) {
    WindowRig rig;
    ASSERT_TRUE(rig.dir.isValid());
    const QString link = rig.dir.filePath("amp");
    const int runSeconds = soakSeconds(ShortRunSeconds);
    auto sim = std::make_unique<SimProcess>(
        QStringList{"--random-faults", "--seed", Seed, "--link", link});
    ASSERT_FALSE(sim->endpoint().isEmpty()) << sim->log().constData();
    ASSERT_TRUE(rig.startOn(link, 10));
    rig.panel.menuShow_test_space_Click();
    const auto* rawBox = rig.main.findChild<QPlainTextEdit*>("Text_HDLC_Packet");
    const auto* decodedBox = rig.main.findChild<QPlainTextEdit*>("Text_Decoded_Packet");
    const QAction* com1 = rig.main.action("menuCom_1");
    ASSERT_TRUE(rawBox && decodedBox && com1);

    qsizetype longestRaw = 0;
    qsizetype longestDecoded = 0;
    int samples = 0;
    int menuOutOfStep = 0;
    int noCommunicationShown = 0;
    int displayBack = 0;
    bool blank = false;
    QElapsedTimer clock;
    clock.start();
    const auto sample = [&] {
        ++samples;
        longestRaw =
            std::max({longestRaw, rig.state.hdlcEcho.size(), rawBox->toPlainText().size()});
        longestDecoded = std::max(
            {longestDecoded, rig.state.decodedEcho.size(), decodedBox->toPlainText().size()});
        // The check mark is on exactly while the panel holds COM1 or waits for it to come back.
        if (com1->isChecked() != (rig.port.isOpen() || rig.panel.isReopening()))
            ++menuOutOfStep;
        const bool nowBlank = !caption(rig.main, "Label_No_Communication").isEmpty();
        if (nowBlank && !blank)
            ++noCommunicationShown;
        if (!nowBlank && blank)
            ++displayBack;
        blank = nowBlank;
    };
    waitUntil(
        [&] {
            sample();
            return clock.elapsed() >= qint64(runSeconds) * 1000;
        },
        runSeconds * 1000 + 5000);
    const QMap<QString, int> phases = faultPhases(sim->log());

    // The faults stop: a well-behaved amplifier takes the line over under the same name, and
    // trips its protection so that its state differs from anything shown before.
    sim.reset();
    auto good = std::make_unique<SimProcess>(QStringList{"--link", link});
    ASSERT_FALSE(good->endpoint().isEmpty());
    EXPECT_TRUE(waitUntil([&] { return rig.port.isOpen() && !rig.panel.isReopening(); }, 5000));
    good->command("trip");
    const bool shown = waitUntil(
        [&] {
            sample();
            const auto bodies = sentBodiesInOrder(good->log());
            return !bodies.isEmpty() && (quint8(bodies.last()[0]) & 0x80) &&
                   showsBody(rig.main, bodies.last());
        },
        5000);
    EXPECT_TRUE(shown) << "the window never showed the amplifier's last status";
    EXPECT_TRUE(com1->isChecked());
    rig.panel.shutdownPort();

    EXPECT_LE(longestRaw, protocol::RawEchoLimit);
    EXPECT_LE(longestDecoded, protocol::DecodedEchoLimit);
    EXPECT_GT(longestRaw, 0);
    EXPECT_GT(longestDecoded, 0);
    // A sample may fall between the port closing under the panel and its next tick; only a
    // menu that stays wrong is a fault.
    EXPECT_LT(menuOutOfStep, samples / 100 + 5);
    EXPECT_GE(noCommunicationShown, 1);
    EXPECT_GE(displayBack, 1);
    EXPECT_TRUE(rig.op.messages.isEmpty());
    for (const char* mode : {"normal", "silence", "garbage", "split", "double", "trip", "drop"})
        EXPECT_GE(phases.value(mode), 1) << mode << " never came up";

    QStringList phaseText;
    for (auto it = phases.cbegin(); it != phases.cend(); ++it)
        phaseText << QStringLiteral("%1 %2").arg(it.key()).arg(it.value());
    std::printf("soak (real windows): %d s at Polling 10 ms with the test space open, fault "
                "phases: %s; %d samples, longest raw box %lld, decoded box %lld characters; "
                "\"No Communication\" shown %d times, display back %d times; menu out of step "
                "in %d samples; last status shown after the faults: %s\n",
                runSeconds, qPrintable(phaseText.join(", ")), samples, qlonglong(longestRaw),
                qlonglong(longestDecoded), noCommunicationShown, displayBack, menuOutOfStep,
                shown ? "yes" : "no");
}
