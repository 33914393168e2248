// The panel on the real line against a simulator that misbehaves: the soak (random faults for
// a minute, or as long as TARN_SOAK_SECONDS says), a flood, a peer that stops reading, and exits
// with the line gone. The fake port's floods are in tests/unit/core.

#define TARN_RIG_WINDOWS
#include "support/rig.h"

#include "protocol/hexecho.h"
#include "support/appprocess.h"
#include "support/inicheck.h"
#include "support/simprocess.h"
#include "ui/lamp.h"

#include <QAction>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTcpServer>
#include <QTcpSocket>
#include <csignal>

using namespace tarn;
using namespace tarn::testing;

namespace {
// A fresh simulator's standby status, and the same with its protection tripped.
const QByteArray idle = hex("0045 0000 8C04 1900"), tripped = hex("8045 0000 8C04 1900");

const auto polls = [](const SimProcess& sim) { return int(sim.log().count("RX FB 0C 0C FE")); };

// A field of /proc/<pid>/status, empty once the process is gone.
QByteArray procStatus(qint64 pid, const char* field) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    const QByteArray text = status.open(QIODevice::ReadOnly) ? status.readAll() : QByteArray();
    const qsizetype at = text.indexOf(field);
    return at < 0 ? QByteArray() : text.mid(at + qstrlen(field)).split('\n').value(0).trimmed();
}

qint64 residentKiB(qint64 pid) {
    return procStatus(pid, "VmRSS:").split(' ').value(0).toLongLong();
}

// The captions and the protection lamp agree with a status body.
bool showsBody(const ui::MainWindow& main, const QByteArray& body) {
    protocol::RxBytes rx;
    for (int i = 0; i < protocol::RxBytes::Count; ++i)
        rx.set(i, quint8(body[i]));
    const protocol::StatusFields f = protocol::statusFields(rx);
    QStringList shown;
    for (const char* n : {"Label_No_Communication", "Label_Band", "Label_Gain", "Label_SWR",
                          "Label_Voltage", "Label_Current", "Label_Temperature"})
        shown << caption(main, n);
    const auto* lamp = main.findChild<ui::Lamp*>("Protection_LED");
    return shown == QStringList{"", f.band, f.gain, f.swr, f.voltage, f.current, f.temperature} &&
           lamp && lamp->color().rgb() == QColor::fromRgb(f.protectionLamp()).rgb();
}

struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject* watched, QEvent* event) override {
        paints += event->type() == QEvent::Paint;
        return QObject::eventFilter(watched, event);
    }
};
} // namespace

// The real executable (polls, memory, SIGTERM, the settings file) and the real windows in this
// process (what they show, the test-space boxes, the Com menu), each polling every 10 ms on a
// link to its own simulator switching at random between a good line and every fault it knows.
// Then a good amplifier takes each link over, and both panels must find it by themselves.
TEST(Soak, ThePanelAndTheWindowsLiveThroughRandomLineFaults) {
    WindowRig rig;
    const int asked = qEnvironmentVariableIntValue("TARN_SOAK_SECONDS"),
              runSeconds = asked > 0 ? asked : 60, settledSeconds = runSeconds >= 180 ? 60 : 20;
    const QString appLink = rig.dir.filePath("app-amp"), winLink = rig.dir.filePath("win-amp");
    // Seeds 41 and 47 run every fault mode, the drop at least twice, within the first 45 s.
    const auto faulty = [](const char* seed, const QString& link) {
        return std::make_unique<SimProcess>(
            QStringList{"--random-faults", "--seed", seed, "--link", link});
    };
    auto appSim = faulty("41", appLink), winSim = faulty("47", winLink);
    QTemporaryDir appDir;
    AppProcess app(appDir.path());
    app.writeIni("[COM]\nPortNumber= 1\n[Polling]\nRate= 10\n[Ports]\nCOM1=" + appLink.toUtf8() +
                 "\n");
    ASSERT_TRUE(app.start());
    ASSERT_TRUE(rig.startOn(winLink, 10));
    rig.panel.menuShow_test_space_Click();
    const auto *rawBox = rig.main.findChild<QPlainTextEdit*>("Text_HDLC_Packet"),
               *decodedBox = rig.main.findChild<QPlainTextEdit*>("Text_Decoded_Packet");
    const QAction* com1 = rig.main.action("menuCom_1");
    ASSERT_TRUE(rawBox && decodedBox && com1);
    ASSERT_TRUE(waitUntil([&] { return polls(*appSim) > 0; }, 5000));

    QElapsedTimer clock;
    clock.start();
    qint64 nextSample = 0, lastPollAt = 0, longestGapMs = 0, settledRss = -1, rss = 0;
    int lastPolls = polls(*appSim), pollsAtSettle = 0, samples = 0, menuOutOfStep = 0, changes = 0;
    qsizetype longestRaw = 0, longestDecoded = 0;
    bool blank = false;
    waitUntil(
        [&] {
            ++samples;
            longestRaw =
                std::max({longestRaw, rig.state.hdlcEcho.size(), rawBox->toPlainText().size()});
            longestDecoded = std::max(
                {longestDecoded, rig.state.decodedEcho.size(), decodedBox->toPlainText().size()});
            // The check mark is on exactly while the panel holds COM1 or waits for it.
            menuOutOfStep += com1->isChecked() != (rig.port.isOpen() || rig.panel.isReopening());
            const bool nowBlank = !caption(rig.main, "Label_No_Communication").isEmpty();
            changes += std::exchange(blank, nowBlank) != nowBlank;
            if (clock.elapsed() >= nextSample) { // often enough to time the gaps between polls
                nextSample += 250;
                if (const int now = polls(*appSim); now > lastPolls)
                    lastPolls = now, lastPollAt = clock.elapsed();
                longestGapMs = std::max(longestGapMs, clock.elapsed() - lastPollAt);
                rss = residentKiB(app.pid());
                if (settledRss < 0 && clock.elapsed() >= settledSeconds * 1000)
                    settledRss = rss, pollsAtSettle = lastPolls;
            }
            return !app.running() || clock.elapsed() >= runSeconds * 1000;
        },
        runSeconds * 1000 + 5000);
    ASSERT_TRUE(app.running()) << "the panel ended after " << clock.elapsed() << " ms";
    ASSERT_TRUE(appSim->running() && winSim->running());
    for (const SimProcess* sim : {appSim.get(), winSim.get()})
        for (const char* mode : {"normal", "silence", "garbage", "split", "double", "trip", "drop"})
            EXPECT_TRUE(sim->log().contains(QByteArray("random fault ") + mode)) << mode;

    appSim.reset(), winSim.reset();
    SimProcess appGood({"--link", appLink}), winGood({"--link", winLink});
    EXPECT_TRUE(waitUntil([&] { return polls(appGood) >= 50; }, 10000))
        << "the panel did not come back to the amplifier by itself";
    // Its trip makes the good amplifier's state differ from anything shown before.
    EXPECT_TRUE(waitUntil([&] { return showsBody(rig.main, idle); }, 5000));
    winGood.command("trip");
    EXPECT_TRUE(waitUntil([&] { return showsBody(rig.main, tripped); }, 5000))
        << "the window never showed the amplifier's last status";
    EXPECT_TRUE(com1->isChecked());
    EXPECT_EQ(core::WayOut::statusFor(rig.panel.shutdownPort()), 0);

    ASSERT_TRUE(app.terminate()) << "no clean end on SIGTERM";
    waitUntil([&] { return appGood.log().contains("RX FB 03 02 05 FE"); }, 2000);
    const QList<QByteArray> frames = appGood.receivedFrames();
    const auto at = frames.indexOf("FB 03 02 05 FE");
    EXPECT_TRUE(frames.count("FB 03 02 05 FE") == 1 &&
                frames.mid(at + 1).count("FB 0C 0C FE") == frames.size() - at - 1)
        << "force standby was not sent once and last, but for the polls asking for its effect";
    EXPECT_EQ(app.exitCode(), 0) << "not confirmed";
    const QByteArray ini = app.ini();
    EXPECT_EQ(settingsFileProblems(ini).join("; ").toStdString(), "");
    const settings::IniFile parsed = settings::IniFile::parse(ini);
    EXPECT_EQ(QStringList({parsed.value("Ports", "COM1"), parsed.value("COM", "PortNumber"),
                           parsed.value("Polling", "Rate")}),
              QStringList({appLink, "1", "10"}));

    // A drop lasts at most 3 s and the panel retries once a second; a loaded machine gets slack.
    EXPECT_LT(longestGapMs, 8000);
    ASSERT_GE(settledRss, 0);
    // The history keeps the last hour frame by frame, 16 bytes each: memory it is meant to take.
    EXPECT_LT(rss - settledRss, 1024 + (lastPolls - pollsAtSettle) * 16 / 1024)
        << "resident memory grew from " << settledRss << " KiB to " << rss << " KiB";
    EXPECT_TRUE(longestRaw > 0 && longestRaw <= protocol::RawEchoLimit) << longestRaw;
    EXPECT_TRUE(longestDecoded > 0 && longestDecoded <= protocol::DecodedEchoLimit);
    // A sample may fall between the port closing under the panel and its next tick; only a menu
    // that stays wrong is a fault.
    EXPECT_LT(menuOutOfStep, samples / 100 + 5);
    // Two changes either way round mean it both came and went.
    EXPECT_GE(changes, 2) << "\"No Communication\" never came and went";
    EXPECT_TRUE(rig.op.messages.isEmpty());
}

// A simulator pouring status frames and garbage into the line as fast as it takes them: the
// windows keep repainting and their timers firing, the panel keeps polling, the boxes stay
// bounded, and the display follows the newest frame.
TEST(Flood, TheWindowsStayResponsiveAndShowTheNewestFrame) {
    WindowRig rig;
    SimProcess sim({});
    ASSERT_TRUE(rig.startOn(sim.endpoint(), 10));
    rig.panel.menuShow_test_space_Click();
    ASSERT_TRUE(waitUntil([&] { return showsBody(rig.main, idle); }));
    PaintCounter painted;
    const auto* rawBox = rig.main.findChild<QPlainTextEdit*>("Text_HDLC_Packet");
    rawBox->viewport()->installEventFilter(&painted);
    // A 20 ms timer stands in for everything else the windows have to do.
    QTimer ticker;
    QElapsedTimer clock, armed;
    int fired = 0, pollsBefore = polls(sim);
    qint64 longestWaitMs = 0;
    QObject::connect(&ticker, &QTimer::timeout,
                     [&] { longestWaitMs = std::max(longestWaitMs, (++fired, armed.restart())); });
    ticker.start(20), armed.start(), clock.start();
    qsizetype longestRaw = 0, longestDecoded = 0;
    const auto boxes = [&] {
        longestRaw = std::max(longestRaw, rig.state.hdlcEcho.size());
        longestDecoded = std::max(longestDecoded, rig.state.decodedEcho.size());
        return clock.elapsed() >= 1500;
    };
    sim.command("flood on");
    waitUntil(boxes, 3000);
    sim.command("trip");
    EXPECT_TRUE(waitUntil([&] { return boxes() && showsBody(rig.main, tripped); }, 5000))
        << "the display stayed on an older frame";
    EXPECT_GT(polls(sim), pollsBefore) << "the panel stopped polling";
    EXPECT_LT(longestWaitMs, 1000) << "a 20 ms timer waited that long";
    EXPECT_GE(fired, clock.elapsed() / 200) << "timers starved";
    EXPECT_GT(painted.paints, 0) << "no repaint during the flood";
    EXPECT_TRUE(longestRaw <= protocol::RawEchoLimit &&
                longestDecoded <= protocol::DecodedEchoLimit);

    // Its memory under a flood read once a second is a figure of bench/line-stress.sh.
    sim.command("flood off");
    EXPECT_TRUE(rig.op.messages.isEmpty());
    rig.panel.shutdownPort();
}

// A peer that stops reading for 3 s: a key pressed a second into it is refused at once, told
// without a box, and never reaches the amplifier once it reads again (a pseudo-terminal keeps
// what it took, so nothing written could be taken back); force standby at exit is confirmed.
TEST(Flood, AKeyPressedWhileThePeerStopsReadingIsRefusedAndNeverSentLater) {
    Rig<serial::ComPort, Recorded> rig;
    SimProcess sim({});
    ASSERT_TRUE(rig.startOn(sim.endpoint(), 10));
    ASSERT_TRUE(waitUntil([&] { return polls(sim) > 10; }));
    sim.command("stall 3000");
    ASSERT_TRUE(waitUntil([&] { return sim.log().contains("stall: the line is not read"); }));
    runFor(1000);
    EXPECT_FALSE(rig.panel.sendCommand(protocol::Command::Band_Up, true));
    ASSERT_TRUE(waitUntil([&] { return sim.log().contains("stall over"); }, 6000));
    runFor(1000);
    EXPECT_FALSE(sim.receivedFrames().contains("FB 07 07 FE")) << "a refused key went out later";
    EXPECT_TRUE(rig.op.notices.size() == 1 && rig.op.messages.isEmpty());
    EXPECT_EQ(core::WayOut::statusFor(rig.panel.shutdownPort()), 0) << "not confirmed after it";
}

// The exit never waits on a line that is gone: with the amplifier vanished, the executable
// says force standby was not sent and ends within seconds; with port servers that never answer
// a connection (a listener whose backlog is full, as behind a dead route), at once.
TEST(Flood, TheExitNeverWaitsOnALineThatIsGone) {
    QTemporaryDir dir, serversDir;
    // A link the simulator removes as it ends: no other pseudo-terminal takes its name.
    auto sim = std::make_unique<SimProcess>(QStringList{"--link", dir.filePath("amp")});
    AppProcess app(dir.path());
    app.writeIni("[COM]\nPortNumber= 1\n[Ports]\nCOM1=" + dir.filePath("amp").toUtf8() + "\n");
    ASSERT_TRUE(app.start(true));
    ASSERT_TRUE(waitUntil([&] { return polls(*sim) >= 2; }, 5000));
    sim.reset();
    runFor(500);
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(app.terminate(5000));
    EXPECT_LT(clock.elapsed(), 4000);
    EXPECT_EQ(app.exitCode(), 2);
    EXPECT_TRUE(app.errors().contains("force standby could not be sent"));

    // This process's own event loop must not take the fillers off the backlog either.
    QTcpServer listener;
    listener.setListenBacklogSize(0);
    ASSERT_TRUE(listener.listen(QHostAddress::LocalHost));
    listener.pauseAccepting();
    QTcpSocket fillers[3];
    for (QTcpSocket& c : fillers)
        c.connectToHost(QHostAddress::LocalHost, listener.serverPort());
    AppProcess servers(serversDir.path());
    QByteArray ini = "[COM]\nPortNumber= 1\n[Ports]\n";
    for (int i = 1; i <= 16; ++i)
        ini += QString("COM%1=tcp://127.0.0.1:%2\n").arg(i).arg(listener.serverPort()).toUtf8();
    servers.writeIni(ini);
    ASSERT_TRUE(servers.start());
    // Until its handler is in place a SIGTERM ends the executable before any port is open.
    ASSERT_TRUE(waitUntil([&] {
        return procStatus(servers.pid(), "SigCgt:").toULongLong(nullptr, 16) >> (SIGTERM - 1) & 1;
    }));
    runFor(300);
    clock.restart();
    EXPECT_TRUE(servers.terminate(5000));
    EXPECT_LT(clock.elapsed(), 2500) << "SIGTERM waited on the network";
}
