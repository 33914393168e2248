// The real tarn-vq4400 polling every 10 ms against a simulated amplifier that switches at
// random between a good line, silence, garbage, split and doubled answers, protection trips
// and the line going away. Afterwards the panel must still be polling, hold its memory, pick
// up a good amplifier by itself, end cleanly on SIGTERM with force standby last on the line,
// and leave a whole settings file.
//
// The test command runs it for a minute; bench/soak.sh sets TARN_SOAK_SECONDS for a release
// run of half an hour or more.

#include "soaksupport.h"
#include "support/appprocess.h"
#include "support/inicheck.h"
#include "support/pty.h"
#include "support/simprocess.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <gtest/gtest.h>
#include <memory>

using namespace tarn;
using namespace tarn::testing;

namespace {
constexpr int ShortRunSeconds = 60;
// Seed 41 runs every fault mode, the line drop three times, within the first 45 s.
constexpr const char* Seed = "41";
constexpr int MaxRssGrowthKiB = 1024;
// The history keeps the last hour frame by frame, 16 bytes each: memory it is meant to take.
constexpr double HistoryKiBPerFrame = 16.0 / 1024;
// The longest a working panel may go without a poll reaching the amplifier: a drop lasts at
// most 3 s, the panel retries once a second, and a loaded machine gets some slack.
constexpr qint64 MaxPollGapMs = 8000;
} // namespace

TEST(SoakApp, SurvivesRandomLineFaultsAndEndsCleanly) {
    WithApplication qt;
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString link = dir.filePath("amp");
    const int runSeconds = soakSeconds(ShortRunSeconds);
    const int settledSeconds = settledAfterSeconds(runSeconds);

    auto sim = std::make_unique<SimProcess>(
        QStringList{"--random-faults", "--seed", Seed, "--link", link});
    ASSERT_FALSE(sim->endpoint().isEmpty()) << sim->log().constData();
    AppProcess app(dir.path());
    // COM1 is the link, which follows the simulator to every new pseudo-terminal.
    app.writeIni("[COM]\nPortNumber= 1\n[Polling]\nRate= 10\n[Ports]\nCOM1=" + link.toUtf8() +
                 "\n");
    ASSERT_TRUE(app.start());

    FrameCounter polls("FB 0C 0C FE");
    ASSERT_TRUE(waitUntil([&] { return polls.count(sim->log()) > 0; }, 5000));

    QElapsedTimer clock;
    clock.start();
    qint64 lastPollAt = 0;
    int lastPolls = polls.count(sim->log());
    qint64 longestGapMs = 0;
    qint64 settledRss = -1;
    int pollsAtSettle = 0;
    qint64 peakRss = 0;
    qint64 rss = 0;
    int samples = 0;
    while (clock.elapsed() < qint64(runSeconds) * 1000) {
        // Sample every 250 ms: often enough to time the gaps between polls.
        const qint64 next = clock.elapsed() + 250;
        waitUntil([&] { return clock.elapsed() >= next; }, 1000);
        ASSERT_TRUE(app.running()) << "the panel ended after " << clock.elapsed() << " ms";
        ASSERT_TRUE(sim->running());
        const int now = polls.count(sim->log());
        if (now > lastPolls) {
            lastPolls = now;
            lastPollAt = clock.elapsed();
        }
        longestGapMs = std::max(longestGapMs, clock.elapsed() - lastPollAt);
        rss = residentKiB(app.pid());
        ASSERT_GT(rss, 0);
        ++samples;
        if (settledRss < 0 && clock.elapsed() >= settledSeconds * 1000) {
            settledRss = rss;
            pollsAtSettle = now;
        }
        if (settledRss >= 0)
            peakRss = std::max(peakRss, rss);
    }
    const QMap<QString, int> phases = faultPhases(sim->log());

    // The faults stop: a well-behaved amplifier takes the line over under the same name.
    sim.reset();
    auto good = std::make_unique<SimProcess>(QStringList{"--link", link});
    ASSERT_FALSE(good->endpoint().isEmpty()) << good->log().constData();
    FrameCounter goodPolls("FB 0C 0C FE");
    EXPECT_TRUE(waitUntil([&] { return goodPolls.count(good->log()) >= 50; }, 10000))
        << "the panel did not come back to the amplifier by itself";

    ASSERT_TRUE(app.terminate()) << "no clean end on SIGTERM";
    waitUntil([&] { return good->log().contains("RX FB 03 02 05 FE"); }, 2000);
    const QList<QByteArray> frames = good->receivedFrames();
    ASSERT_FALSE(frames.isEmpty());
    EXPECT_EQ(frames.last(), "FB 03 02 05 FE");
    EXPECT_EQ(frames.count("FB 03 02 05 FE"), 1);

    const QByteArray ini = app.ini();
    EXPECT_EQ(settingsFileProblems(ini).join("; ").toStdString(), "");
    const settings::IniFile parsed = settings::IniFile::parse(ini);
    EXPECT_EQ(parsed.value("COM", "PortNumber"), "1");
    EXPECT_EQ(parsed.value("Polling", "Rate"), "10");
    EXPECT_EQ(parsed.value("Ports", "COM1"), link);

    for (const char* mode : {"normal", "silence", "garbage", "split", "double", "trip", "drop"})
        EXPECT_GE(phases.value(mode), 1) << mode << " never came up";
    EXPECT_LT(longestGapMs, MaxPollGapMs);
    ASSERT_GE(settledRss, 0);
    const double historyKiB = (lastPolls - pollsAtSettle) * HistoryKiBPerFrame;
    EXPECT_LT(rss - settledRss, MaxRssGrowthKiB + historyKiB)
        << "resident memory grew from " << settledRss << " KiB to " << rss << " KiB";

    QStringList phaseText;
    for (auto it = phases.cbegin(); it != phases.cend(); ++it)
        phaseText << QStringLiteral("%1 %2").arg(it.key()).arg(it.value());
    std::printf("soak (real executable): %d s at Polling 10 ms, fault phases: %s; polls "
                "received %d, longest gap between polls %lld ms; resident memory at %d s %lld "
                "KiB, at the end %lld KiB (peak %lld KiB, %d samples); back on a good line "
                "after the faults, force standby last, settings file whole\n",
                runSeconds, qPrintable(phaseText.join(", ")), lastPolls, longestGapMs,
                settledSeconds, settledRss, rss, peakRss, samples);
}
