#include "samples.h"
#include "telemetry/alarms.h"

#include <gtest/gtest.h>

using namespace tarn::telemetry;
using tarn::telemetry::testing::frameAt;

namespace {

constexpr qint64 T0 = 1'780'002'000'000;

// One reading every 100 ms: SWR x10 (0 is "-.-") and temperature.
struct Step {
    int swrX10;
    int temperature;
    int repeat;
};

struct Scenario {
    const char* name;
    std::vector<Step> steps;
    bool swrActive;
    bool temperatureActive;

    friend void PrintTo(const Scenario& s, std::ostream* os) { *os << s.name; }
};

void run(AlarmMonitor& m, qint64& t, const std::vector<Step>& steps) {
    for (const Step& s : steps)
        for (int i = 0; i < s.repeat; ++i, t += 100)
            m.update(frameAt(t, s.swrX10, s.temperature));
}

class AlarmScenario : public ::testing::TestWithParam<Scenario> {};

} // namespace

// Defaults: SWR 2.5, 70 °C, hold 1 s, hysteresis 0.1 and 2 °C.
TEST_P(AlarmScenario, EndsInTheExpectedState) {
    AlarmMonitor m;
    qint64 t = T0;
    run(m, t, GetParam().steps);
    EXPECT_EQ(m.status(AlarmKind::Swr).active, GetParam().swrActive);
    EXPECT_EQ(m.status(AlarmKind::Temperature).active, GetParam().temperatureActive);
}

INSTANTIATE_TEST_SUITE_P(
    HoldAndClear, AlarmScenario,
    ::testing::Values(
        Scenario{"AtTheLimitIsNotOver", {{25, 70, 50}}, false, false},
        Scenario{"ShorterThanTheHold", {{30, 75, 10}, {15, 40, 50}}, false, false},
        Scenario{"LongerThanTheHold", {{30, 75, 11}}, true, true},
        Scenario{"ABlipRestartsTheHold", {{30, 75, 6}, {15, 40, 1}, {30, 75, 6}}, false, false},
        Scenario{"InsideTheHysteresisStays", {{30, 75, 11}, {25, 69, 50}}, true, true},
        Scenario{"UnderForTheHoldClears", {{30, 75, 11}, {24, 68, 11}}, false, false},
        Scenario{"UnderForLessThanTheHoldStays", {{30, 75, 11}, {24, 68, 9}}, true, true},
        Scenario{"NoReadingNeverRaises", {{0, 40, 50}}, false, false},
        Scenario{"NoReadingNeverClears", {{30, 40, 11}, {0, 40, 50}}, true, false},
        Scenario{
            "NoReadingKeepsTheHoldRunning", {{30, 40, 5}, {0, 40, 5}, {30, 40, 1}}, true, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Alarms, AcknowledgeSilencesButKeepsTheAlarmUntilItClears) {
    AlarmMonitor m;
    qint64 t = T0;
    run(m, t, {{30, 40, 11}});
    ASSERT_TRUE(m.soundDue());
    m.acknowledge();
    EXPECT_FALSE(m.soundDue());
    EXPECT_TRUE(m.status(AlarmKind::Swr).active);
    run(m, t, {{15, 40, 11}, {30, 40, 11}});
    // A new episode sounds again.
    EXPECT_TRUE(m.soundDue());
    EXPECT_FALSE(m.status(AlarmKind::Swr).acknowledged);
}

TEST(Alarms, ASilentLineNeitherClearsNorDisablesTheGuard) {
    AlarmMonitor m;
    qint64 t = T0;
    run(m, t, {{30, 40, 11}, {15, 40, 9}});
    m.lineSilent();
    run(m, t, {{15, 40, 9}});
    EXPECT_TRUE(m.status(AlarmKind::Swr).active);
    // A line that drops out every half second still raises.
    AlarmMonitor flaky;
    for (int i = 0; i < 4; ++i) {
        run(flaky, t, {{30, 40, 4}});
        flaky.lineSilent();
    }
    EXPECT_TRUE(flaky.status(AlarmKind::Swr).active);
}

TEST(Alarms, ProtectionRaisesAtOnceAndSendsStandbyOnlyWhenAsked) {
    for (const bool autoStandby : {false, true}) {
        AlarmMonitor m;
        AlarmSettings s;
        s.autoStandby = autoStandby;
        m.setSettings(s);
        int sent = 0;
        m.forceStandby = [&sent] {
            ++sent;
            return true;
        };
        EXPECT_TRUE(m.update(frameAt(T0, 15, 40, 5, Sample::Protection)));
        EXPECT_TRUE(m.status(AlarmKind::Protection).active);
        for (qint64 t = T0 + 100; t <= T0 + 3'000; t += 100)
            m.update(frameAt(t, 15, 40, 5, Sample::Protection));
        EXPECT_EQ(sent, autoStandby ? 1 : 0);
        EXPECT_EQ(alarmLine(m).contains(QStringLiteral("STBY sent")), autoStandby);
        for (qint64 t = T0 + 3'100; t <= T0 + 4'200; t += 100)
            m.update(frameAt(t));
        EXPECT_FALSE(m.status(AlarmKind::Protection).active);
        EXPECT_TRUE(alarmLine(m).isEmpty());
    }
}

TEST(Alarms, StandbyThatCannotBeSentIsReported) {
    AlarmMonitor m;
    AlarmSettings s;
    s.autoStandby = true;
    m.setSettings(s);
    m.forceStandby = [] { return false; };
    qint64 t = T0;
    run(m, t, {{15, 75, 11}});
    EXPECT_EQ(m.status(AlarmKind::Temperature).standby, AlarmStatus::Standby::Failed);
    EXPECT_TRUE(alarmLine(m).contains(QStringLiteral("not sent")));
}
