// The real tarn-vq4400 executable against the simulated amplifier over a pseudo-terminal.

#include "support/appprocess.h"
#include "support/pty.h"
#include "support/simprocess.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tarn::testing;

namespace {
QStringList iniLines(const QByteArray& ini) {
    QStringList keys;
    for (const QString& line : QString::fromUtf8(ini).split('\n', Qt::SkipEmptyParts))
        keys << line.section('=', 0, 0).trimmed();
    return keys;
}
} // namespace

class AppAgainstSim : public ::testing::Test, private WithApplication {
protected:
    void startWith(const QByteArray& extraIni) {
        ASSERT_FALSE(sim.endpoint().isEmpty());
        app.writeIni("[COM]\nPortNumber= 1\n" + extraIni +
                     "[Ports]\nCOM1=" + sim.endpoint().toUtf8() + "\n");
        ASSERT_TRUE(app.start());
    }
    int polls() const { return int(sim.receivedFrames().count("FB 0C 0C FE")); }

    QTemporaryDir dir;
    SimProcess sim{{}};
    AppProcess app{dir.path()};
};

TEST_F(AppAgainstSim, PollsAtTheConfiguredRate) {
    startWith("[Polling]\nRate= 20\n");
    ASSERT_TRUE(waitUntil([&] { return polls() > 0; }, 5000));
    const int first = polls();
    QElapsedTimer t;
    t.start();
    waitUntil([&] { return t.elapsed() >= 1000; }, 2000);
    const double perSecond = (polls() - first) * 1000.0 / double(t.elapsed());
    EXPECT_GT(perSecond, 25.0);
    EXPECT_LT(perSecond, 60.0);
}

TEST_F(AppAgainstSim, TerminationSendsForceStandbyLastAndSaves) {
    startWith("");
    ASSERT_TRUE(waitUntil([&] { return polls() >= 3; }, 5000));
    ASSERT_TRUE(app.terminate());
    waitUntil([&] { return sim.receivedFrames().contains("FB 03 02 05 FE"); }, 2000);
    const auto frames = sim.receivedFrames();
    ASSERT_FALSE(frames.isEmpty());
    EXPECT_EQ(frames.last(), "FB 03 02 05 FE");
    EXPECT_EQ(frames.count("FB 03 02 05 FE"), 1);
    const QByteArray ini = app.ini();
    EXPECT_TRUE(ini.contains("Rate= 50")) << ini.constData();
    EXPECT_TRUE(ini.contains("Force_STBY=Yes"));
    EXPECT_TRUE(ini.contains("Size=Normal"));
}

TEST_F(AppAgainstSim, ForceStandbyOffSendsNothingAtExit) {
    startWith("[ONexit]\nForce_STBY=No\n");
    ASSERT_TRUE(waitUntil([&] { return polls() >= 3; }, 5000));
    ASSERT_TRUE(app.terminate());
    EXPECT_TRUE(waitUntil([&] { return app.ini().contains("Size="); }, 2000));
    EXPECT_FALSE(sim.receivedFrames().contains("FB 03 02 05 FE"));
    EXPECT_TRUE(app.ini().contains("Force_STBY=No"));
}

TEST(AppFirstRun, CreatesTheSettingsFileWithEveryKeyInOrder) {
    WithApplication qt;
    QTemporaryDir dir;
    AppProcess app(dir.path());
    ASSERT_TRUE(app.start());
    // Give it time to come up before asking it to leave.
    QElapsedTimer t;
    t.start();
    waitUntil([&] { return t.elapsed() >= 700; }, 2000);
    ASSERT_TRUE(app.terminate());
    const QStringList keys = iniLines(app.ini());
    const QStringList expected{
        "[COM]",    "PortNumber", "BaudRate",    "[Polling]",    "Rate",          "[TimeOut]",
        "Time",     "[Form]",     "AlwaysOnTop", "Top_Location", "Left_Location", "Size",
        "[ONexit]", "Force_STBY", "[tiny_Form]", "Top_Location", "Left_Location"};
    ASSERT_GE(keys.size(), expected.size()) << app.ini().constData();
    EXPECT_EQ(keys.mid(0, expected.size()), expected);
    // Whatever follows is the port map of the serial devices this machine reports.
    for (const QString& extra : keys.mid(expected.size()))
        EXPECT_TRUE(extra == "[Ports]" || extra.startsWith("COM")) << extra.toStdString();
    EXPECT_TRUE(app.ini().contains("PortNumber= 0\n"));
}
