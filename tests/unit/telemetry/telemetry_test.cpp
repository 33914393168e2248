#include "settings/inifile.h"
#include "settings/telemetrysettings.h"
#include "telemetry/alarms.h"
#include "telemetry/alarmsound.h"
#include "telemetry/csvlog.h"
#include "telemetry/dailyfile.h"
#include "telemetry/history.h"
#include "telemetry/historyexport.h"
#include "telemetry/journal.h"
#include "telemetry/timeaxis.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

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

// One reading every 100 ms for each {SWR x10 (0 is "-.-"), temperature, how many} step; the
// monotonic clock is the wall clock less a day, so a mix-up of the two shows.
constexpr qint64 Day = 86'400'000;
void run(AlarmMonitor& m, qint64& t, const std::vector<std::array<int, 3>>& steps,
         u8 flags = Sample::Operate) {
    for (const auto& [swr, temperature, repeat] : steps)
        for (int i = 0; i < repeat; ++i, t += 100)
            m.update(frameAt(t, swr, temperature, 5, flags), t - Day);
}
Stamp at(qint64 t) {
    return {.monoMs = t - Day, .wallMs = t};
}
} // namespace

// Defaults: SWR 2.5, 70 °C, hold 1 s, hysteresis 0.1 and 2 °C.
TEST(Alarms, RaiseOnlyWhenContinuouslyOverClearBelowTheHysteresisAndLatchUntilAcknowledged) {
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
        {"no reading restarts the hold", {{30, 40, 6}, {0, 40, 1}, {30, 40, 6}}, false, false},
        {"a new raise needs a new hold", {{30, 75, 11}, {24, 68, 11}, {30, 75, 10}}, false, false},
        {"no reading restarts the clearing",
         {{30, 40, 11}, {24, 40, 6}, {0, 40, 1}, {24, 40, 6}},
         true,
         false},
    };
    for (const auto& [name, steps, swr, temperature] : rows) {
        AlarmMonitor m;
        qint64 t = T0;
        run(m, t, steps);
        EXPECT_EQ(m.status(AlarmKind::Swr).active, swr) << name;
        EXPECT_EQ(m.status(AlarmKind::Temperature).active, temperature) << name;
    }

    // A silence or a closed port restarts the hold; the hold runs on the monotonic clock while
    // the wall clock stands still.
    AlarmMonitor flaky;
    qint64 t = T0;
    for (int i = 0; i < 5; ++i)
        run(flaky, t, {{30, 40, 6}}), i % 2 ? flaky.lineSilent(at(t)) : flaky.lineClosed(at(t));
    EXPECT_FALSE(flaky.anyActive());
    for (int i = 0; i < 11; ++i, t += 100) // the wall clock stands still, the hold goes on
        flaky.update(frameAt(T0, 30, 40), t - Day);
    EXPECT_TRUE(flaky.status(AlarmKind::Swr).active);

    // Latching: a cleared alarm stays until acknowledged; each raise needs its own.
    AlarmMonitor m;
    std::vector<QString> journal;
    m.onEvent = [&](const AlarmEvent& e) { journal.push_back(journalLine(e).section(',', 1, 4)); };
    t = T0;
    run(m, t, {{30, 40, 11}, {15, 40, 11}});
    EXPECT_TRUE(m.soundDue() && m.status(AlarmKind::Swr).shown);
    EXPECT_TRUE(alarmLine(m).startsWith("UNACK SWR 3.0 over 2.5 at ") &&
                alarmLine(m).endsWith(", cleared"));
    EXPECT_TRUE(m.acknowledge(at(t)));
    EXPECT_FALSE(m.status(AlarmKind::Swr).shown || m.soundDue() || m.acknowledge(at(t)));
    run(m, t, {{30, 40, 11}});
    EXPECT_TRUE(m.soundDue()) << "it sounds again when it comes back";
    m.acknowledge(at(t));
    EXPECT_TRUE(!m.soundDue() && m.visible(AlarmKind::Swr) && !alarmLine(m).contains("UNACK"));
    run(m, t, {{15, 40, 11}});
    EXPECT_TRUE(alarmLine(m).isEmpty());
    EXPECT_EQ(journal, (std::vector<QString>{"raise,SWR,3,2.5", "clear,SWR,1.5,2.5",
                                             "acknowledge,SWR,,2.5", "raise,SWR,3,2.5",
                                             "acknowledge,SWR,,2.5", "clear,SWR,1.5,2.5"}));
    m.setSettings({.sound = false}), run(m, t, {{30, 40, 11}});
    EXPECT_FALSE(m.soundDue());
    m.setSettings({.swrEnabled = false}), run(m, t, {{30, 40, 11}});
    EXPECT_FALSE(m.visible(AlarmKind::Swr)) << "switched off ends it";
}

// With automatic standby: sent at the raise, confirmed by a frame in standby, sent again at once
// when the amplifier goes back into operate into the same load, at most once a second, and
// failed after three unconfirmed tries.
TEST(Alarms, AutomaticStandbyRepeatsIsConfirmedAndFailsAfterThreeTries) {
    AlarmMonitor m;
    m.setSettings({.autoStandby = true, .commLost = false});
    int requests = 0;
    bool left = false;
    std::vector<QString> journal;
    m.onEvent = [&](const AlarmEvent& e) { journal.push_back(e.event + ' ' + e.detail); };
    m.requestStandby = [&] { ++requests; };
    m.standbyLeft = [&] { return left; };
    const auto line = [&] { return alarmLine(m).section(", ", 1); };
    qint64 t = T0;
    run(m, t, {{30, 40, 10}});
    EXPECT_EQ(requests, 0);
    run(m, t, {{30, 40, 1}});
    EXPECT_TRUE(requests == 1 && line() == "STBY sending") << "the frame that raises it sends";
    EXPECT_TRUE(m.standbyWritten({}, at(t)) && line() == "STBY written");
    left = true, run(m, t, {{30, 40, 1}});
    EXPECT_EQ(line(), "STBY sent");
    run(m, t, {{0, 40, 3}}, 0);
    EXPECT_EQ(line(), "STBY confirmed");
    run(m, t, {{30, 40, 1}});
    EXPECT_EQ(requests, 1) << "not within a second of the last";
    run(m, t, {{30, 40, 5}});
    EXPECT_TRUE(requests == 2 && line() == "STBY sending") << "back into the same load: no hold";
    EXPECT_TRUE(m.standbyWritten({}, at(t)) && line() == "STBY sent") << "left at once";
    // The amplifier stays in operate, now with no reading: tried a second apart, then failed.
    run(m, t, {{0, 40, 10}});
    EXPECT_EQ(requests, 3);
    run(m, t, {{0, 40, 9}});
    EXPECT_EQ(line(), "STBY sent");
    m.tick(at(t += 100));
    EXPECT_EQ(requests, 4);
    m.tick(at(t += 1'000));
    EXPECT_EQ(line(), "STBY failed: not confirmed");
    run(m, t, {{30, 40, 20}});
    EXPECT_EQ(requests, 4) << "given up until the amplifier was seen in standby";
    run(m, t, {{0, 40, 1}, {30, 40, 1}}, 0);
    run(m, t, {{30, 40, 1}});
    EXPECT_EQ(requests, 5);
    EXPECT_EQ(journal, (std::vector<QString>{
                           "raise ", "standby sent try 1 of 3", "standby confirmed try 1 of 3",
                           "standby sent try 1 of 3", "standby failed try 3 of 3: not confirmed"}));

    // Temperature joins; a write that fails says why; a trip asks once it has held.
    for (const bool protection : {false, true}) {
        AlarmMonitor p;
        p.setSettings({.autoStandby = true});
        requests = 0;
        p.requestStandby = [&] { ++requests, p.standbyWritten("port gone", at(t)); };
        t = T0;
        run(p, t, {{30, 75, 11}}, protection ? Sample::Protection : Sample::Operate);
        EXPECT_EQ(requests, 1);
        run(p, t, {{30, 75, 30}}, protection ? Sample::Protection : Sample::Operate);
        EXPECT_EQ(requests, 3) << protection;
        const AlarmStatus& st =
            p.status(protection ? AlarmKind::Protection : AlarmKind::Temperature);
        EXPECT_TRUE(st.standby == StandbyStage::Failed && st.standbyWhy == "port gone");
    }
}

// Communication lost: once the last frame is as old as the bound, never before the first frame
// or after the operator closed the port, restored by a frame, and without any standby.
TEST(Alarms, CommunicationLostShelvingAndTheAlarmLine) {
    AlarmMonitor m;
    m.setSettings({.autoStandby = true, .commLostAfterMs = 1'000});
    int requests = 0;
    m.requestStandby = [&] { ++requests; };
    qint64 t = T0;
    EXPECT_FALSE(m.lineSilent(at(t + 10'000))) << "before the first frame";
    run(m, t, {{15, 40, 1}});
    EXPECT_TRUE(!m.lineSilent(at(t + 799)) && m.lineSilent(at(t + 800)));
    EXPECT_TRUE(m.soundDue() && alarmLine(m).startsWith("UNACK Communication lost at "));
    run(m, t, {{15, 40, 1}});
    EXPECT_TRUE(alarmLine(m).endsWith(", cleared"));
    m.acknowledge(at(t)), m.lineSilent(at(t + 5'000));
    EXPECT_TRUE(m.lineClosed(at(t + 5'000)) && alarmLine(m).endsWith(", cleared"))
        << "closed before it was acknowledged";
    EXPECT_FALSE(m.tick(at(t + 9'000)) || requests) << "the operator closed the port";
    m.setSettings({.commLost = false}), run(m, t, {{15, 40, 1}});
    EXPECT_FALSE(m.tick(at(t + 5'000)) || m.visible(AlarmKind::CommLost));

    // Shelving hides and silences, standby still acts, and it ends by itself.
    AlarmMonitor s;
    s.setSettings({.autoStandby = true, .commLost = false});
    s.requestStandby = [&] { ++requests; };
    t = T0;
    EXPECT_TRUE(s.shelve(AlarmKind::Swr, 10 * AlarmMonitor::MaxShelveMs, at(t)));
    run(s, t, {{30, 40, 11}});
    EXPECT_TRUE(s.status(AlarmKind::Swr).active && !s.visible(AlarmKind::Swr) && !s.soundDue());
    EXPECT_EQ(requests, 1);
    EXPECT_EQ(shelvedLine(s, T0 - Day + 60'001), "SWR shelved, 479 min left");
    EXPECT_TRUE(!s.tick(at(T0 + AlarmMonitor::MaxShelveMs - 1)) &&
                s.tick(at(T0 + AlarmMonitor::MaxShelveMs)) && s.soundDue());
    s.shelve(AlarmKind::Swr, 60'000, at(t));
    EXPECT_TRUE(s.shelve(AlarmKind::Swr, 0, at(t)) && !s.shelve(AlarmKind::Swr, 0, at(t)));
    EXPECT_EQ(shelvedLine(s, t), "");

    // Most severe first, the others counted, whole phrases or words only.
    AlarmMonitor all;
    t = T0;
    run(all, t, {{30, 75, 11}}, Sample::Protection | Sample::Operate);
    const AlarmLineParts shown{{"UNACK PROTECTION at hh", "STBY failed: not confirmed"},
                               alarmLineParts(all).others};
    EXPECT_TRUE(shown.others == 2 && alarmLine(all).contains("; UNACK SWR 3.0 over 2.5 at "));
    const std::pair<int, const char*> widths[] = {
        {60, "UNACK PROTECTION at hh, STBY failed: not confirmed (+2 more)"},
        {59, "UNACK PROTECTION at hh (+2 more)"},
        {26, "UNACK PROTECTION (+2 more)"},
        {5, "UNACK (+2 more)"}};
    for (const auto& [width, want] : widths)
        EXPECT_EQ(fittedAlarmLine(shown, [w = width](const QString& s) { return s.size() <= w; }),
                  want);
    EXPECT_EQ(fittedAlarmLine({}, {}) + fittedAlarmLine({{"A b"}, 1}, [](auto&) { return true; }),
              "A b (+1 more)");
}

TEST(AlarmSound, AWholeWavFileSoftAtItsEdges) {
    const QByteArray wav = alarmSoundWav(8'000);
    const auto at = [&](qsizetype i) { return qFromLittleEndian<quint32>(wav.constData() + i); };
    const auto pcm = [&](int i) {
        return std::abs(qFromLittleEndian<qint16>(wav.constData() + 44 + 2 * i));
    };
    EXPECT_TRUE(wav.startsWith("RIFF") && wav.mid(8, 8) == "WAVEfmt " && wav.mid(36, 4) == "data");
    // Six beeps of 120 ms with their pauses, mono 16-bit at 8 kHz.
    EXPECT_TRUE(at(4) + 8 == quint32(wav.size()) && at(40) == 6 * 1280 * 2 &&
                at(40) + 44 == quint32(wav.size()));
    EXPECT_TRUE(pcm(0) == 0 && pcm(959) < 2000 && pcm(480) > 0) << "a click, or no sound";
}

TEST(AlarmJournal, OneCsvFilePerUtcDayRepairedAndPrunedByName) {
    QTemporaryDir dir;
    const QString base = dir.filePath("alarm-journal.csv");
    // Its files are named and pruned as the log's are.
    for (const char* name :
         {"alarm-journal-2026-05-01.csv", "alarm-journal-2026-05-02.csv", "other-2026-01-01.csv"}) {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("time_utc,event,alarm,value,limit,detail\n2026,cut");
    }
    AlarmJournal j;
    j.setPath(base, 30);
    const qint64 june1 = 1'780'272'000'000; // 2026-06-01 00:00 UTC, 31 days after May 1
    EXPECT_TRUE(j.append({june1 - 1, "raise", AlarmKind::Swr, 3.0, 2.5, "a, \"b\""}));
    EXPECT_TRUE(j.append({june1, "standby failed", std::nullopt, {}, {}, "at exit"}));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).join(' '),
              "alarm-journal-2026-05-02.csv alarm-journal-2026-05-31.csv "
              "alarm-journal-2026-06-01.csv other-2026-01-01.csv");
    const auto read = [&](const char* name) {
        QFile f(dir.filePath(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    EXPECT_EQ(read("alarm-journal-2026-05-31.csv"),
              "time_utc,event,alarm,value,limit,detail\n"
              "2026-05-31T23:59:59.999Z,raise,SWR,3,2.5,\"a, \"\"b\"\"\"\n");
    j.setPath(base, 40);
    EXPECT_TRUE(j.append({june1 - 30 * Day, "clear", AlarmKind::CommLost, 600, 500, {}}));
    EXPECT_TRUE(
        read("alarm-journal-2026-05-02.csv")
            .endsWith("2026,cut\n2026-05-02T00:00:00.000Z,clear,Communication lost,600,500,\n"));
    EXPECT_EQ(j.lines().back().section(',', 1), "clear,Communication lost,600,500,");
    j.setPath(dir.filePath("other-2026-01-01.csv/alarms.csv"));
    EXPECT_FALSE(j.append({june1, "raise", AlarmKind::Swr, {}, {}, {}}));
    EXPECT_TRUE(j.lines().size() == 4u && !j.lastError().isEmpty()) << "kept in memory";
    j.setPath(base);
    EXPECT_TRUE(j.append({june1, "raise", AlarmKind::Swr, {}, {}, {}}) && j.lastError().isEmpty());
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
    ASSERT_TRUE(seconds.open(QIODevice::WriteOnly) &&
                writeCsv(second.snapshot(T0 - 7'200'000, T0 + 1'000, 0), seconds));
    ASSERT_TRUE(frames.open(QIODevice::WriteOnly) &&
                writeCsv(second.snapshot(T0 + 500, T0 + 1'000, 0), frames));
    EXPECT_TRUE(
        seconds.data().contains("000Z,100,0,15,1,1,1.1,2.0,56.0,56.0,12.0,12.0,40,40,5,0,0,0\n"));
    EXPECT_EQ(frames.data().count('\n'), 51) << "the frames of the span shown, not all";
    const std::atomic<bool> cancelled = true;
    EXPECT_FALSE(writeCsv(second.snapshot(T0, T0 + 1'000, 0), frames, &cancelled));

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

namespace {
QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("missing");
}
} // namespace

TEST(History, OrdersByTheMonotonicClockLabelsByTheWallClockAndExportsTheSpanShown) {
    // The wall clock steps back an hour before the third frame: order and spacing stay, and
    // the labels follow the newest wall time.
    History h(100);
    h.add(frameAt(1'000), T0), h.add(frameAt(1'100), T0 + 100), h.gap();
    h.add(frameAt(1'200), T0 - 3'600'000 + 200);
    EXPECT_EQ(h.wallOffsetMs(), T0 - 3'601'000);
    EXPECT_EQ(h.columns(1'000, 1'300, 3)[2].count, 1u);
    QTemporaryDir dir;
    ExportJob job(h.snapshot(1'050, 1'300, h.wallOffsetMs()), dir.filePath("x.csv"));
    job.wait();
    EXPECT_TRUE(job.ok() && job.rows() == 2u);
    EXPECT_EQ(readAll(dir.filePath("x.csv")),
              csvHeader().chopped(1) + ",after_gap\n" +
                  "2026-05-28T20:00:00.100Z,5,4,5,1,1.5,56.0,12.0,40,1,0,0,0,0\n"
                  "2026-05-28T20:00:00.200Z,5,4,5,1,1.5,56.0,12.0,40,1,0,0,0,1\n");
    ExportJob bad(h.snapshot(0, 2'000, 0), dir.filePath("gone/x.csv"));
    EXPECT_TRUE(bad.finish(60'000) && !bad.ok() && !bad.error().isEmpty());
}

TEST(TimeAxis, TicksFallOnRoundLocalTimes) {
    // From, span, at most, UTC offset: step, first tick, ticks.
    const std::tuple<qint64, qint64, int, int, qint64, qint64, std::size_t> rows[] = {
        {T0 + 1, 60'000, 7, 0, 10'000, T0 + 10'000, 6},
        {T0 + 1, 3'600'000, 8, 0, 600'000, T0 + 600'000, 6},
        {T0 + 1, 86'400'000, 9, 3'600, 3 * 3'600'000, T0 + 3'600'000 * 2, 8},
        {T0 + 1, 86'400'000, 9, 1'800, 3 * 3'600'000, T0 + 3'600'000 * 2 + 1'800'000, 8},
        {T0 + 1, 86'400'000, 1, 0, 86'400'000, T0 + 3'600'000 * 3, 1},
    };
    for (const auto& [from, span, most, offset, step, first, count] : rows) {
        const TimeTicks t = timeTicks(from, from + span, most, offset);
        EXPECT_EQ(std::tuple(t.stepMs, t.times.empty() ? 0 : t.times[0], t.times.size()),
                  std::tuple(step, first, count))
            << span << " " << most << " " << offset;
    }
    EXPECT_TRUE(timeTicks(T0, T0 - 1, 5, 0).times.empty() && timeTicks(T0, T0, 0, 0).times.empty());
}

namespace {
void write(const QString& path, const QByteArray& text) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(text) == text.size());
}

// Frames every 100 ms from `from` to `to`, with the log's tick after each.
void feed(CsvLog& log, qint64 from, qint64 to) {
    for (qint64 t = from; t < to; t += 100)
        log.append(frameAt(t)), log.tick(t);
}

// A frame at `t` seconds after T0, then what the writer did with it is reported.
void step(CsvLog& log, qint64 t) {
    log.append(frameAt(T0 + t)), log.tick(T0 + t);
    log.waitForWriter(), log.tick(T0 + t);
}
} // namespace

TEST(CsvLog, RowsAreNumbersOneFileADayAndOnlyItsOwnOldFilesAreRemoved) {
    EXPECT_EQ(csvRow(frameAt(T0 + 123, 15, 35, 5, Sample::Operate | Sample::Transmit, 2)) +
                  csvRow(frameAt(T0 + 7, 0, 35, 0, 0, 11, 9)) +
                  csvRow(frameAt(T0, 255, 255, 15, Sample::Protection | Sample::AutoBand, 0)),
              "2026-05-28T21:00:00.123Z,2,4,5,1,1.5,56.0,12.0,35,1,1,0,0\n"
              "2026-05-28T21:00:00.007Z,11,9,0,1,,56.0,12.0,35,0,0,0,0\n"
              "2026-05-28T21:00:00.000Z,0,4,15,1,25.5,56.0,12.0,255,0,0,1,1\n");
    EXPECT_EQ(csvHeader().count(','), csvRow(frameAt(T0)).count(','));

    // Log path, a file name, the day it is the log's file of ("" for none).
    const std::tuple<const char*, const char*, const char*> names[] = {
        {"/x/amp.csv", "amp-2026-12-08.csv", "2026-12-08"},
        {"/x/amp.csv", "amp-2026-12-08-2.csv", "2026-12-08"},
        {"/x.d/amp", "amp-2026-12-08", "2026-12-08"},
        {"/x/.amp", ".amp-2026-12-08", "2026-12-08"},
        {"/x/a.b.csv", "a.b-2026-12-08.csv", "2026-12-08"},
        {"/x/amp", "amp-2026-12-08.csv", ""},
    };
    for (const char* other :
         {"amp-2026-12-08-1.csv", "amp-2026-12-08-100.csv", "amp-2026-02-30.csv",
          "amp-2026-12-08.csv.bak", "amp-.csv", "Amp-2026-12-08.csv"})
        EXPECT_FALSE(dailyLogDay("/x/amp.csv", other).isValid()) << other;
    for (const auto& [path, name, belongs] : names) {
        EXPECT_EQ(dailyLogDay(path, name).toString(Qt::ISODate), belongs) << name;
        if (*belongs && !QString(name).contains("-2.")) {
            EXPECT_EQ(dailyLogPath(path, {2026, 12, 8}), QFileInfo(path).path() + '/' + name);
        }
    }

    // T0 is 21:00 UTC on 28 May. Two days kept: the 25th goes at start, the 26th at midnight;
    // names the log does not make stay. The 28th's file lost its last line end in a crash and
    // gets it back; the 29th's has another header and is left alone for a "-2".
    QTemporaryDir dir;
    const QString path = dir.filePath("log.csv");
    const auto at = [&](const char* d) {
        return dailyLogPath(path, QDate::fromString(d, Qt::ISODate));
    };
    const QStringList others = {"log-2026-05-01.txt", "log-2026-05-01.csv.bak", "notes.csv",
                                "log.csv", "log-2026-05-26-0.csv"};
    for (const QString& name : others + QStringList{"log-2026-05-25.csv", "log-2026-05-26-2.csv"})
        write(dir.filePath(name), "x\n");
    write(at("2026-05-28"), csvHeader() + "2026-05-28T20:59:59.000Z,5,4");
    write(at("2026-05-29"), "time,other\n1,2\n");
    for (int run = 0; run < 2; ++run) {
        CsvLog log;
        log.setKeepDays(run == 0 ? 2 : 0); // 0 keeps every file
        if (run == 1)
            write(dir.filePath("log-2020-01-01.csv"), "x\n");
        ASSERT_TRUE(log.start(path, T0, nullptr));
        EXPECT_EQ(QFile::exists(dir.filePath("log-2026-05-26-2.csv")), run == 0);
        feed(log, T0 + 3 * 3'600'000 - 1'000, T0 + 3 * 3'600'000 + 1'000);
        log.stop();
        EXPECT_EQ(log.rowsWritten(), 20);
    }
    EXPECT_FALSE(QFile::exists(dir.filePath("log-2026-05-25.csv")));
    EXPECT_TRUE(QFile::exists(dir.filePath("log-2020-01-01.csv")));
    for (const QString& name : others)
        EXPECT_TRUE(QFile::exists(dir.filePath(name))) << name.toStdString();
    EXPECT_EQ(readAll(at("2026-05-29")), "time,other\n1,2\n");
    const QList<QByteArray> before = readAll(at("2026-05-28")).split('\n');
    const QList<QByteArray> after = readAll(dir.filePath("log-2026-05-29-2.csv")).split('\n');
    ASSERT_TRUE(before.size() == 2 + 20 + 1 && after.size() == 1 + 20 + 1);
    EXPECT_EQ(before[1], "2026-05-28T20:59:59.000Z,5,4");
    EXPECT_EQ(before[2] + '\n', csvRow(frameAt(T0 + 3 * 3'600'000 - 1'000)));
    EXPECT_EQ(after[0] + '\n', csvHeader());
    EXPECT_EQ(after[20] + '\n', csvRow(frameAt(T0 + 3 * 3'600'000 + 900)));

    // No folder: the operator's start fails; a log that ran before keeps trying.
    CsvLog log;
    QString message;
    EXPECT_FALSE(log.start(dir.filePath("gone/log.csv"), T0, &message) || log.running());
    EXPECT_TRUE(message.contains("gone/log-2026-05-28.csv")) << message.toStdString();
    EXPECT_FALSE(log.start(dir.filePath("gone/log.csv"), T0, &message, true));
    EXPECT_TRUE(log.running() && log.failing());
    ASSERT_TRUE(QDir(dir.path()).mkdir("gone"));
    feed(log, T0, T0 + 10'100);
    log.waitForWriter(), log.tick(T0 + 10'100);
    EXPECT_TRUE(!log.failing() && log.rowsWritten() == 101);
}

TEST(CsvLog, AFailureKeepsTheRowsRetriesAtAFallingRateAndSaysWhenItWritesAgain) {
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir("logs"));
    CsvLog log;
    QStringList messages;
    log.onMessage = [&messages](const QString& m) { messages << m; };
    const QString path = dir.filePath("logs/log.csv");
    const QString file = dailyLogPath(path, {2026, 5, 28});
    ASSERT_TRUE(log.start(path, T0, nullptr));
    step(log, 0), step(log, 1'000);
    // The folder goes: the next row was written into a file nobody can open.
    QDir(dir.filePath("logs")).removeRecursively();
    step(log, 2'000);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains("cannot write " + file + ": the file was removed"));
    EXPECT_TRUE(log.running() && log.failing());
    // Retries 10 s, then 20 s later: a disk that stays away is asked less and less often.
    const std::tuple<int, bool, bool> retries[] = {
        {11'999, true, true}, {12'000, false, true}, {31'999, true, true}, {32'000, true, false}};
    for (const auto& [t, folder, failing] : retries) {
        folder ? QDir(dir.path()).mkdir("logs") : QDir(dir.filePath("logs")).removeRecursively();
        step(log, t);
        EXPECT_EQ(log.failing(), failing) << t;
    }
    ASSERT_EQ(messages.size(), 2);
    EXPECT_TRUE(messages[1].contains("writes to " + file +
                                     " again (21:00:32 UTC). The rows of the time it could not "
                                     "write are in the file."))
        << messages[1].toStdString();

    // A full disk cuts a write short: the part goes, and the retry writes whole rows.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit unlimited{};
    getrlimit(RLIMIT_FSIZE, &unlimited);
    rlimit full = unlimited;
    full.rlim_cur = rlim_t(QFileInfo(file).size() + 100);
    feed(log, T0 + 32'100, T0 + 33'000);
    setrlimit(RLIMIT_FSIZE, &full);
    step(log, 33'000);
    setrlimit(RLIMIT_FSIZE, &unlimited);
    EXPECT_TRUE(log.failing() && messages.value(2).contains("File too large"));
    step(log, 43'000);
    EXPECT_TRUE(!log.failing() && messages.size() == 4);
    log.stop();
    const QList<QByteArray> lines = readAll(file).split('\n');
    EXPECT_EQ(lines.size() - 2, log.rowsAppended() - 2) << "all but the rows of the lost file";
    for (const QByteArray& line : lines.mid(1, lines.size() - 2))
        EXPECT_EQ(line.count(','), 12) << line.constData();
}

TEST(CsvLog, AStuckDiskHoldsUpTheStopOnlyForItsBoundAndNeverLeavesHalfARow) {
    QTemporaryDir dir;
    const QString path = dir.filePath("log.csv");
    const QByteArray fifo = QFile::encodeName(dailyLogPath(path, {2026, 5, 28}));
    ASSERT_EQ(mkfifo(fifo.constData(), 0600), 0);
    const int reader = ::open(fifo.constData(), O_RDONLY | O_NONBLOCK);
    CsvLog log;
    ASSERT_TRUE(log.start(path, T0, nullptr));
    feed(log, T0, T0 + 300'000); // far more than the pipe holds
    log.stop(50);
    // Draining lets the writer finish its piece; the end of the data is its end.
    fcntl(reader, F_SETFL, 0);
    QFile in;
    in.open(reader, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
    const QByteArray got = in.readAll();
    EXPECT_TRUE(got.startsWith(csvHeader()) && got.endsWith('\n'));
    EXPECT_LT(got.count('\n'), 3'001);
}

TEST(TelemetrySettings, RoundTripAndValuesOutsideTheirRangeKeepTheirDefaults) {
    using namespace tarn::settings;
    IniFile ini;
    saveTelemetrySettings(ini, TelemetrySettings{});
    EXPECT_TRUE(ini.isEmpty()) << "a panel that never used them keeps its file as it was";
    TelemetrySettings changed{.SWR_Limit = 3.1,
                              .Temperature_Limit = 65,
                              .Hold_ms = 2500,
                              .Sound = false,
                              .Auto_STBY = true,
                              .SWR_Enabled = false,
                              .Temperature_Enabled = false,
                              .Comm_Lost = false,
                              .Log_Running = true,
                              .Log_Path = "/tmp/amp log.csv",
                              .Log_Keep_Days = 7},
        loaded;
    saveTelemetrySettings(ini, changed);
    QStringList rejected;
    loadTelemetrySettings(IniFile::parse(ini.serialize()), loaded, rejected);
    EXPECT_EQ(loaded, changed);
    EXPECT_TRUE(rejected.isEmpty());

    // Each value at and just past both ends of its range; the defaults are 2.5 70 1000 1 0 0.
    const std::pair<const char*, const char*> rows[] = {
        {"SWR_Limit=1.0\nTemperature_Limit=20\nHold_ms=0", "1.0 20 0 1 0 0 0 30"},
        {"SWR_Limit=25.5\nTemperature_Limit=150\nHold_ms=60000\nSound=No\nAuto_STBY=Yes\n[Log]"
         "\nRunning=Yes\nKeep_Days=0",
         "25.5 150 60000 0 1 1 0 0"},
        {"SWR_Limit=0.9\nTemperature_Limit=19\nHold_ms=-1\nSound=yes\n[Log]\nRunning=1\n"
         "Keep_Days=36501",
         "2.5 70 1000 1 0 0 6 30"},
        {"SWR_Limit=25.6\nTemperature_Limit=151\nHold_ms=60001\nAuto_STBY=no",
         "2.5 70 1000 1 0 0 4 30"},
        {"SWR_Limit=2.55\nTemperature_Limit=hot", "2.5 70 1000 1 0 0 2 30"},
    };
    for (const auto& [text, expected] : rows) {
        TelemetrySettings s;
        rejected.clear();
        loadTelemetrySettings(IniFile::parse(QByteArray("[Alarms]\n") + text), s, rejected);
        EXPECT_EQ(QString::asprintf("%.1f %d %d %d %d %d %lld %d", s.SWR_Limit, s.Temperature_Limit,
                                    s.Hold_ms, s.Sound, s.Auto_STBY, s.Log_Running, rejected.size(),
                                    s.Log_Keep_Days),
                  expected)
            << text;
    }
    EXPECT_EQ(rejected.join('|'), "Alarms/SWR_Limit: \"2.55\" ignored, keeping 2.5|"
                                  "Alarms/Temperature_Limit: \"hot\" ignored, keeping 70");
}
