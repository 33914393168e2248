// The alarms of the real executable against the simulated amplifier: automatic standby that is
// repeated when the amplifier goes back into operate into the same load, confirmed by its
// status or reported failed, communication lost, and every step in the journal.

#include "support/appprocess.h"
#include "support/simprocess.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <cstdio>
#include <gtest/gtest.h>

using namespace tarn::testing;

namespace {
const QByteArray forceStandby("FB 03 02 05 FE");

// Milliseconds on the simulator's clock from the first status frame in operate with an SWR
// reading over 1.0 to the force standby that follows; answers to polls that were out when a
// force standby arrived still show operate and do not count.
QList<double> delaysToStandby(const QByteArray& log) {
    static const QRegularExpression line(R"(^\s*([\d.]+) (TX|RX) ((?:[0-9A-F]{2} ?)+))");
    QList<double> delays;
    double firstOver = -1;
    bool standbySeen = true;
    for (const QByteArray& l : log.split('\n')) {
        const auto m = line.match(QString::fromLatin1(l));
        if (!m.hasMatch())
            continue;
        const double t = m.captured(1).toDouble();
        QByteArray bytes = QByteArray::fromHex(m.captured(3).remove(' ').toLatin1());
        if (m.captured(2) == "RX") {
            if (bytes == QByteArray::fromHex("FB030205FE") && firstOver >= 0) {
                delays << t - std::exchange(firstOver, -1);
                standbySeen = false;
            }
            continue;
        }
        bytes.replace("\xFF\xEB", "\xFB").replace("\xFF\xEE", "\xFE").replace("\xFF\xEF", "\xFF");
        const bool operate = bytes.size() == 10 && (bytes[1] & 0x40);
        standbySeen |= !operate;
        if (operate && standbySeen && quint8(bytes[4]) > 10 && firstOver < 0)
            firstOver = t;
    }
    return delays;
}
} // namespace

TEST(Alarms, StandbyIsRepeatedConfirmedOrReportedFailedAndEveryStepIsJournaled) {
    WithApplication qt;
    QTemporaryDir dir;
    SimProcess sim({});
    AppProcess app(dir.path());
    app.writeIni("[COM]\nPortNumber= 1\n[Ports]\nCOM1=" + sim.endpoint().toUtf8() +
                 "\n[Alarms]\nSWR_Limit=1.0\nHold_ms=1000\nAuto_STBY=Yes\n");
    ASSERT_TRUE(app.start());
    const auto standbys = [&] { return int(sim.receivedFrames().count(forceStandby)); };
    const auto journal = [&] {
        const QStringList files = QDir(dir.path()).entryList({"alarm-journal-*.csv"});
        QFile f(dir.filePath(files.value(0)));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    };
    runFor(1000);
    sim.command("tx on");
    sim.command("operate");
    ASSERT_TRUE(waitUntil([&] { return standbys() == 1; }, 4000)) << "no standby";
    ASSERT_TRUE(waitUntil([&] { return journal().contains(",standby confirmed,SWR,"); }, 2000));
    runFor(1500);
    sim.command("operate"); // back into the same load
    ASSERT_TRUE(waitUntil([&] { return standbys() == 2; }, 2000)) << "not repeated";
    runFor(1500);
    sim.command("deaf on");
    sim.command("operate");
    ASSERT_TRUE(waitUntil([&] { return journal().contains("standby failed"); }, 6000));
    EXPECT_EQ(standbys(), 5) << "three tries, a second apart";
    sim.command("silence on");
    ASSERT_TRUE(waitUntil([&] { return journal().contains(",raise,Communication lost,"); }, 2000));
    sim.command("silence off");
    ASSERT_TRUE(waitUntil([&] { return journal().contains(",clear,Communication lost,"); }, 2000));
    ASSERT_TRUE(app.terminate());

    QStringList events;
    for (const QString& l : journal().split('\n').mid(1, 8))
        events << l.section(',', 1, 2);
    EXPECT_EQ(events.join(" | "), "raise,SWR | standby sent,SWR | standby confirmed,SWR | "
                                  "standby sent,SWR | standby confirmed,SWR | standby sent,SWR | "
                                  "standby failed,SWR | raise,Communication lost");
    EXPECT_TRUE(journal().startsWith("time_utc,event,alarm,value,limit,detail\n"));
    EXPECT_TRUE(journal().contains(",standby failed,,,,at exit: ")) << "the exit's, deaf as well";
    const QList<double> delays = delaysToStandby(sim.log());
    ASSERT_GE(delays.size(), 2);
    // The first after the hold; back in operate into the same load with no new hold.
    EXPECT_GE(delays[0], 1000);
    EXPECT_LT(delays[1], 1000);
    std::printf("first over the limit to force standby: %.0f ms (hold 1000 ms, polling 50 ms); "
                "again in operate into the same load: %.0f ms\n",
                delays[0], delays[1]);
}
