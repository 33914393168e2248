#include "control.h"
#include "faults.h"
#include "options.h"

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

TEST(FaultModes, LineStressModesFromTheCommandLineAndTheConsole) {
    using Kind = ControlCommand::Kind;
    const struct {
        FaultMode mode;
        const char* name;
        Kind kind;
        bool Faults::*flag;
    } modes[] = {
        {FaultMode::Stale, "stale", Kind::Stale, &Faults::stale},
        {FaultMode::Stall, "stall", Kind::Stall, &Faults::stall},
        {FaultMode::Flood, "flood", Kind::Flood, &Faults::flood},
    };
    for (const auto& m : modes) {
        const QString name = QString::fromLatin1(m.name);
        Faults only;
        only.*m.flag = true;
        EXPECT_EQ(faultsFor(*faultModeFromName(name)), only) << m.name;
        EXPECT_EQ(only.describe(), name);
        const auto options = parseOptions({QStringLiteral("--fault"), name}).options;
        EXPECT_TRUE(options && options->faults == std::vector<FaultMode>{m.mode}) << m.name;
        for (const char* state : {" on", " off"}) {
            const auto parsed = parseControlLine(name + QLatin1String(state));
            EXPECT_TRUE(parsed.command && parsed.command->kind == m.kind &&
                        parsed.command->on == (state == QLatin1String(" on")))
                << m.name << state;
        }
    }
    // Only a stall ends by itself.
    const auto timed = parseControlLine(u"stall 2500");
    EXPECT_TRUE(timed.command && timed.command->on && timed.command->ms == 2500);
    for (const char* wrong : {"stall 0", "stall soon", "flood 100", "stale"})
        EXPECT_FALSE(parseControlLine(QString::fromLatin1(wrong)).command) << wrong;
}

} // namespace
} // namespace tarn::sim
