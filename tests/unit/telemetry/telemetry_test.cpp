#include "settings/inifile.h"
#include "settings/telemetrysettings.h"
#include "telemetry/alarms.h"
#include "telemetry/csvlog.h"
#include "telemetry/history.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tarn::telemetry;
using u8 = std::uint8_t;

namespace {
constexpr qint64 T0 = 1'780'002'000'000; // an hour's start in 2026, UTC
constexpr auto Swr = std::size_t(Channel::Swr);

// A status frame as the amplifier would send it: operate on, 14 MHz, gain 4.
Sample frameAt(qint64 timeMs, u8 swrX10 = 15, u8 temperature = 40, u8 forward = 5,
               u8 flags = Sample::Operate, u8 band = 5, u8 gain = 4) {
    return {timeMs, flags, band, gain, {forward, 1, swrX10, 140, 60, temperature}};
}

// One reading every 100 ms for each {SWR x10 (0 is "-.-"), temperature, how many} step.
void run(AlarmMonitor& m, qint64& t, const std::vector<std::array<int, 3>>& steps,
         u8 flags = Sample::Operate) {
    for (const auto& [swr, temperature, repeat] : steps)
        for (int i = 0; i < repeat; ++i, t += 100)
            m.update(frameAt(t, swr, temperature, 5, flags));
}
} // namespace

// Defaults: SWR 2.5, 70 °C, hold 1 s, hysteresis 0.1 and 2 °C.
TEST(Alarms, RaiseAfterTheHoldClearBelowTheHysteresisAndSendStandbyOnlyWhenAsked) {
    const std::tuple<const char*, std::vector<std::array<int, 3>>, bool, bool> rows[] = {
        {"at the limit is not over", {{25, 70, 50}}, false, false},
        {"shorter than the hold", {{30, 75, 10}, {15, 40, 50}}, false, false},
        {"longer than the hold", {{30, 75, 11}}, true, true},
        {"a blip restarts the hold", {{30, 75, 6}, {15, 40, 1}, {30, 75, 6}}, false, false},
        {"inside the hysteresis stays", {{30, 75, 11}, {25, 69, 50}}, true, true},
        {"under for the hold clears", {{30, 75, 11}, {24, 68, 11}}, false, false},
        {"under for less than the hold stays", {{30, 75, 11}, {24, 68, 9}}, true, true},
        {"no reading never raises", {{0, 40, 50}}, false, false},
        {"no reading never clears", {{30, 40, 11}, {0, 40, 50}}, true, false},
        {"no reading keeps the hold running", {{30, 40, 5}, {0, 40, 5}, {30, 40, 1}}, true, false},
    };
    for (const auto& [name, steps, swr, temperature] : rows) {
        AlarmMonitor m;
        qint64 t = T0;
        run(m, t, steps);
        EXPECT_EQ(m.status(AlarmKind::Swr).active, swr) << name;
        EXPECT_EQ(m.status(AlarmKind::Temperature).active, temperature) << name;
    }

    AlarmMonitor m;
    m.setSettings({.autoStandby = true}); // with no way to send it
    qint64 t = T0;
    run(m, t, {{30, 40, 11}});
    ASSERT_TRUE(m.soundDue());
    m.acknowledge();
    EXPECT_FALSE(m.soundDue());
    EXPECT_TRUE(m.status(AlarmKind::Swr).active);
    EXPECT_TRUE(alarmLine(m).endsWith(", STBY not sent (port closed) (ack)"));
    run(m, t, {{15, 40, 11}, {30, 40, 11}});
    EXPECT_TRUE(m.soundDue()) << "a new episode sounds again";
    EXPECT_FALSE(m.status(AlarmKind::Swr).acknowledged);
    // A silent line neither clears the alarm nor keeps a flaky line from raising one.
    run(m, t, {{15, 40, 9}});
    m.lineSilent();
    run(m, t, {{15, 40, 9}});
    EXPECT_TRUE(m.status(AlarmKind::Swr).active);
    AlarmMonitor flaky;
    for (int i = 0; i < 4; ++i)
        run(flaky, t, {{30, 40, 4}}), flaky.lineSilent();
    EXPECT_TRUE(flaky.status(AlarmKind::Swr).active);

    for (const int mode : {0, 1, 2}) { // no standby, standby sent, standby that cannot be sent
        SCOPED_TRACE(mode);
        AlarmMonitor p;
        p.setSettings({.autoStandby = mode > 0});
        int sent = 0;
        p.forceStandby = [&] { return ++sent, mode == 1; };
        EXPECT_TRUE(p.update(frameAt(T0, 15, 40, 5, Sample::Protection)));
        EXPECT_TRUE(p.status(AlarmKind::Protection).active);
        qint64 t = T0 + 100;
        // A trip raises at once; the standby waits for the hold time like the other alarms.
        for (const auto& [frames, want] : {std::pair{0, 0}, {9, 0}, {21, mode > 0 ? 1 : 0}}) {
            run(p, t, {{15, 40, frames}}, Sample::Protection);
            EXPECT_EQ(sent, want) << frames;
        }
        EXPECT_TRUE(alarmLine(p).startsWith("PROTECTION at "));
        EXPECT_EQ(alarmLine(p).section(", ", 1),
                  QStringList({"", "STBY sent", "STBY not sent (port closed)"})[mode]);
        run(p, t, {{15, 40, 12}});
        EXPECT_FALSE(p.status(AlarmKind::Protection).active);
        EXPECT_TRUE(alarmLine(p).isEmpty());
    }
}

TEST(History, KeepsTheNewestFramesInBoundedMemoryMarksWhatHappenedAndSummarisesColumns) {
    History h(100);
    for (int i = 0; i < 250; ++i)
        h.add(frameAt(T0 + i * 10, 15, 40, i % 16));
    ASSERT_EQ(h.rawCount(), 100u);
    EXPECT_EQ(h.rawCapacity(), 100u);
    for (std::size_t i = 0; i < h.rawCount(); ++i)
        EXPECT_EQ(h.raw(i).timeMs, T0 + qint64(150 + i) * 10);

    History marks(10);
    marks.add(frameAt(T0 + 5'000, 15, 40, 5, Sample::Operate, 5));
    marks.add(frameAt(T0, 15, 40, 5, Sample::Operate, 6)); // NTP stepped the clock back
    marks.add(frameAt(T0 + 6'000, 15, 40, 5, Sample::Protection, 6));
    marks.add(frameAt(T0 + 6'100, 15, 40, 5, Sample::Protection, 6));
    marks.gap();
    marks.add(frameAt(T0 + 9'000, 15, 40, 5, Sample::Protection, 6));
    QString got;
    for (std::size_t i = 0; i < marks.rawCount(); ++i)
        got += QString(" %1:%2").arg(marks.raw(i).timeMs - T0).arg(marks.raw(i).flags & 0x0F);
    EXPECT_EQ(got, " 5000:0 5000:2 6000:4 6100:0 9000:1");
    // A silence stays a gap at every scale.
    const auto afterGap = [](const Column& c) { return c.flagsAny & Sample::AfterGap; };
    for (const qint64 span : {qint64(10'000), qint64(3'600'000)})
        EXPECT_EQ(std::ranges::count_if(marks.columns(T0, T0 + span, 100), afterGap), 1) << span;

    // One second of frames every 10 ms, the forward level stepping 0..15 and SWR 1.1..2.0.
    History second(1'000);
    for (int i = 0; i < 100; ++i)
        second.add(frameAt(T0 + i * 10, 11 + i % 10, 40, i % 16));
    const std::vector<Column> cols = second.columns(T0, T0 + 1'000, 4);
    ASSERT_EQ(cols.size(), 4u);
    EXPECT_EQ(second.columns(T0, T0 + 1'000, 1).at(0).count, 100u);
    for (const Column& c : cols)
        EXPECT_EQ(QString::asprintf("%u %d-%d %d-%d", c.count, c.min[0], c.max[0], c.min[Swr],
                                    c.max[Swr]),
                  "25 0-15 11-20");
    QBuffer seconds, frames;
    ASSERT_TRUE(seconds.open(QIODevice::WriteOnly) && second.exportSeconds(seconds));
    ASSERT_TRUE(frames.open(QIODevice::WriteOnly) && second.exportRaw(frames));
    EXPECT_TRUE(
        seconds.data().contains("000Z,100,0,15,1,1,1.1,2.0,56.0,56.0,12.0,12.0,40,40,5,0,0,0\n"));
    EXPECT_EQ(frames.data().count('\n'), 101);

    // No reading is not an SWR of zero, in the raw frames and in the per-second buckets.
    History missing(100);
    for (const auto& [time, swr] : {std::pair{0, 0}, {10, 31}, {2'000, 0}})
        missing.add(frameAt(T0 + time, swr));
    EXPECT_EQ(missing.columns(T0, T0 + 3'000, 3)[0].min[Swr], 31);
    EXPECT_TRUE(missing.columns(T0, T0 + 3'000, 3)[2].swrMissing());
    EXPECT_EQ(missing.columns(T0, T0 + 60'000, 2)[0].min[Swr], 31);

    History day(3'600); // an hour at one frame a second
    const std::size_t before = day.memoryBytes();
    const qint64 end = T0 + 25 * 3'600'000LL;
    for (qint64 t = T0; t < end; t += 1'000)
        day.add(frameAt(t, t < T0 + 3'600'000 ? 99 : 15));
    EXPECT_EQ(day.memoryBytes(), before);
    EXPECT_EQ(day.rawCount(), 3'600u);
    EXPECT_EQ(day.raw(0).timeMs, end - 3'600'000);
    // The first hour, with its SWR of 9.9, has left the day; the rest is all there.
    for (const Column& c : day.columns(end - History::DaySpanMs, end, 24))
        EXPECT_EQ(c.count * 100 + c.max[Swr], 3'600u * 100 + 15);
    EXPECT_EQ(day.columns(T0, T0 + 3'600'000, 60)[0].count, 0u);
}

TEST(CsvLog, RowsAreNumbersEveryRowReachesTheFileAcrossARestartAndAFailureStopsTheLog) {
    EXPECT_EQ(csvRow(frameAt(T0 + 123, 15, 35, 5, Sample::Operate | Sample::Transmit, 2)) +
                  csvRow(frameAt(T0 + 7, 0, 35, 0, 0, 11, 9)) +
                  csvRow(frameAt(T0, 255, 255, 15, Sample::Protection | Sample::AutoBand, 0)),
              "2026-05-28T21:00:00.123Z,2,4,5,1,1.5,56.0,12.0,35,1,1,0,0\n"
              "2026-05-28T21:00:00.007Z,11,9,0,1,,56.0,12.0,35,0,0,0,0\n"
              "2026-05-28T21:00:00.000Z,0,4,15,1,25.5,56.0,12.0,255,0,0,1,1\n");
    EXPECT_EQ(csvHeader().count(','), csvRow(frameAt(T0)).count(','));

    QTemporaryDir dir;
    for (int run = 0; run < 2; ++run) {
        CsvLog log;
        ASSERT_TRUE(log.start(dir.filePath("log.csv"), nullptr));
        for (qint64 t = T0; t < T0 + 2'500; t += 10)
            log.append(frameAt(t)), log.tick(t);
        log.stop();
        EXPECT_EQ(log.rowsWritten(), 250);
    }
    QFile f(dir.filePath("log.csv"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = f.readAll().split('\n');
    EXPECT_EQ(lines.size(), 1 + 500 + 1); // one header, the rows, the last line end
    EXPECT_EQ(lines[0] + '\n', csvHeader());
    EXPECT_EQ(lines[500], csvRow(frameAt(T0 + 2490)).trimmed());

    // A folder removed under the log, and a full disk, stop it and say why; a device that has
    // nothing to sync is no failure.
    CsvLog log;
    QString message;
    EXPECT_FALSE(log.start(dir.filePath("gone/log.csv"), &message));
    EXPECT_FALSE(log.running());
    EXPECT_FALSE(message.isEmpty());
    log.onStopped = [&message](const QString& m) { message = m; };
    ASSERT_TRUE(QDir().mkpath(dir.filePath("logs")));
    for (const QString& path :
         {dir.filePath("logs/log.csv"), QString("/dev/full"), QString("/dev/null")}) {
        message.clear();
        ASSERT_TRUE(log.start(path, nullptr));
        QDir(dir.filePath("logs")).removeRecursively();
        log.append(frameAt(T0));
        log.tick(T0 + CsvLog::FlushIntervalMs);
        log.waitForWriter();
        log.tick(T0 + 2 * CsvLog::FlushIntervalMs);
        EXPECT_EQ(log.running(), path == "/dev/null") << path.toStdString();
        EXPECT_TRUE(message.contains(path.startsWith("/dev") ? "/dev/full" : "removed") ||
                    path == "/dev/null");
    }
}

TEST(TelemetrySettings, RoundTripAndValuesOutsideTheirRangeKeepTheirDefaults) {
    using namespace tarn::settings;
    IniFile ini;
    saveTelemetrySettings(ini, TelemetrySettings{});
    EXPECT_TRUE(ini.isEmpty()) << "a panel that never used them keeps its file as it was";
    TelemetrySettings changed{3.1, 65, 2500, false, true, true, "/tmp/amp log.csv"}, loaded;
    saveTelemetrySettings(ini, changed);
    QStringList rejected;
    loadTelemetrySettings(IniFile::parse(ini.serialize()), loaded, rejected);
    EXPECT_EQ(loaded, changed);
    EXPECT_TRUE(rejected.isEmpty());

    // Each value at and just past both ends of its range; the defaults are 2.5 70 1000 1 0 0.
    const std::pair<const char*, const char*> rows[] = {
        {"SWR_Limit=1.0\nTemperature_Limit=20\nHold_ms=0", "1.0 20 0 1 0 0 0"},
        {"SWR_Limit=25.5\nTemperature_Limit=150\nHold_ms=60000\nSound=No\nAuto_STBY=Yes\n[Log]"
         "\nRunning=Yes",
         "25.5 150 60000 0 1 1 0"},
        {"SWR_Limit=0.9\nTemperature_Limit=19\nHold_ms=-1\nSound=yes\n[Log]\nRunning=1",
         "2.5 70 1000 1 0 0 5"},
        {"SWR_Limit=25.6\nTemperature_Limit=151\nHold_ms=60001\nAuto_STBY=no",
         "2.5 70 1000 1 0 0 4"},
        {"SWR_Limit=2.55\nTemperature_Limit=hot", "2.5 70 1000 1 0 0 2"},
    };
    for (const auto& [text, expected] : rows) {
        TelemetrySettings s;
        rejected.clear();
        loadTelemetrySettings(IniFile::parse(QByteArray("[Alarms]\n") + text), s, rejected);
        EXPECT_EQ(QString::asprintf("%.1f %d %d %d %d %d %lld", s.SWR_Limit, s.Temperature_Limit,
                                    s.Hold_ms, s.Sound, s.Auto_STBY, s.Log_Running,
                                    rejected.size()),
                  expected)
            << text;
    }
    EXPECT_EQ(rejected.join('|'), "Alarms/SWR_Limit: \"2.55\" ignored, keeping 2.5|"
                                  "Alarms/Temperature_Limit: \"hot\" ignored, keeping 70");
}
