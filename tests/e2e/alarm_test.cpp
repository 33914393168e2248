// The alarms of the real executable against the simulated amplifier: automatic standby that is
// repeated when the amplifier goes back into operate into the same load, confirmed by its
// status or reported failed, communication lost, and every step in the journal.

#include "support/appprocess.h"
#include "support/simprocess.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tarn::testing;

TEST(Alarms, StandbyIsRepeatedConfirmedOrReportedFailedAndEveryStepIsJournaled) {
    WithApplication qt;
    QTemporaryDir dir;
    SimProcess sim({});
    AppProcess app(dir.path());
    app.writeIni("[COM]\nPortNumber= 1\n[Ports]\nCOM1=" + sim.endpoint().toUtf8() +
                 "\n[Alarms]\nSWR_Limit=1.0\nHold_ms=2000\nAuto_STBY=Yes\n");
    ASSERT_TRUE(app.start());
    const auto standbys = [&] { return int(sim.receivedFrames().count("FB 03 02 05 FE")); };
    const auto journal = [&] {
        const QStringList files = QDir(dir.path()).entryList({"alarm-journal-*.csv"});
        QFile f(dir.filePath(files.value(0)));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    };
    sim.command("tx on\noperate");
    runFor(1500);
    ASSERT_TRUE(standbys() == 0 && waitUntil([&] { return standbys() == 1; }, 2000))
        << "within the hold, or none after it";
    ASSERT_TRUE(waitUntil([&] { return journal().contains(",standby confirmed,SWR,"); }, 2000));
    runFor(1200);
    sim.command("operate"); // back into the same load: no new hold
    ASSERT_TRUE(waitUntil([&] { return standbys() == 2; }, 1500)) << "not repeated at once";
    runFor(1500);
    sim.command("deaf on\noperate");
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
}
