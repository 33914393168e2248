#include "faults.h"

#include <gtest/gtest.h>

#include <set>

namespace tarn::sim {
namespace {

std::vector<FaultPhase> schedule(std::uint32_t seed, int count) {
    FaultScheduler scheduler({.seed = seed});
    std::vector<FaultPhase> phases;
    qint64 t = 0;
    for (int i = 0; i < count; ++i) {
        phases.push_back(scheduler.next(t));
        t = phases.back().endMs();
    }
    return phases;
}

bool samePhases(const std::vector<FaultPhase>& a, const std::vector<FaultPhase>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
        return x.mode == y.mode && x.startMs == y.startMs && x.durationMs == y.durationMs &&
               x.dropMs == y.dropMs;
    });
}

TEST(FaultScheduler, SameSeedSameSchedule) {
    EXPECT_TRUE(samePhases(schedule(42, 50), schedule(42, 50)));
    EXPECT_FALSE(samePhases(schedule(42, 50), schedule(43, 50)));
}

TEST(FaultScheduler, PhasesStayWithinTheirBoundsAndCoverEveryMode) {
    const FaultScheduler::Config limits;
    std::set<FaultMode> seen;
    qint64 expectedStart = 0;
    for (const auto& phase : schedule(3, 300)) {
        seen.insert(phase.mode);
        EXPECT_EQ(phase.startMs, expectedStart);
        expectedStart = phase.endMs();
        EXPECT_GE(phase.durationMs, limits.minPhaseMs);
        EXPECT_LE(phase.durationMs, limits.maxPhaseMs);
        if (phase.mode == FaultMode::Drop) {
            // The line is back before the next phase starts.
            EXPECT_GE(phase.dropMs, limits.minDropMs);
            EXPECT_LT(phase.dropMs, phase.durationMs);
        } else {
            EXPECT_EQ(phase.dropMs, 0);
        }
    }
    EXPECT_EQ(seen.size(), 7u);
}

TEST(FaultModes, NamesAndLineFaults) {
    for (const FaultMode mode :
         {FaultMode::Normal, FaultMode::Silence, FaultMode::Garbage, FaultMode::Split,
          FaultMode::Double, FaultMode::Trip, FaultMode::Drop})
        EXPECT_EQ(faultModeFromName(faultModeName(mode)), mode);
    EXPECT_FALSE(faultModeFromName(u"loud"));

    EXPECT_EQ(faultsFor(FaultMode::Normal), Faults{});
    EXPECT_EQ(faultsFor(FaultMode::Trip), Faults{});
    EXPECT_EQ(faultsFor(FaultMode::Double), Faults{.doubled = true});
    EXPECT_EQ(faultsFor(FaultMode::Garbage).describe(), QStringLiteral("garbage"));
    EXPECT_EQ(Faults{}.describe(), QStringLiteral("none"));
    EXPECT_EQ((Faults{.silence = true, .split = true}).describe(), QStringLiteral("silence,split"));
}

} // namespace
} // namespace tarn::sim
