#include "faults.h"

#include <QStringList>
#include <algorithm>
#include <array>

namespace tarn::sim {

namespace {

struct ModeName {
    FaultMode mode;
    const char* name;
};

constexpr std::array<ModeName, 10> ModeNames{{
    {FaultMode::Normal, "normal"},
    {FaultMode::Silence, "silence"},
    {FaultMode::Garbage, "garbage"},
    {FaultMode::Split, "split"},
    {FaultMode::Double, "double"},
    {FaultMode::Trip, "trip"},
    {FaultMode::Drop, "drop"},
    {FaultMode::Stale, "stale"},
    {FaultMode::Stall, "stall"},
    {FaultMode::Flood, "flood"},
}};

// Normal twice, so a soak run spends a fair share of its time on a healthy line. Stale answers,
// stalls and floods have tests of their own that drive them for a known time; a flood would
// also take a core for itself for the whole of a long run.
constexpr std::array<FaultMode, 8> SoakModes{
    FaultMode::Normal, FaultMode::Normal, FaultMode::Silence, FaultMode::Garbage,
    FaultMode::Split,  FaultMode::Double, FaultMode::Trip,    FaultMode::Drop,
};

// Keeps the scheduler's stream apart from the answer shaper's, which starts from the same seed.
constexpr std::uint32_t SchedulerSalt = 0x9E3779B9u;

// Time left after a drop for the line to come back before the next phase starts.
constexpr qint64 DropMarginMs = 500;

} // namespace

QString Faults::describe() const {
    QStringList on;
    if (silence)
        on << QStringLiteral("silence");
    if (garbage)
        on << QStringLiteral("garbage");
    if (split)
        on << QStringLiteral("split");
    if (doubled)
        on << QStringLiteral("double");
    if (stale)
        on << QStringLiteral("stale");
    if (deaf)
        on << QStringLiteral("deaf");
    if (stall)
        on << QStringLiteral("stall");
    if (flood)
        on << QStringLiteral("flood");
    return on.isEmpty() ? QStringLiteral("none") : on.join(QLatin1Char(','));
}

QString faultModeName(FaultMode mode) {
    for (const auto& m : ModeNames) {
        if (m.mode == mode)
            return QString::fromLatin1(m.name);
    }
    return {};
}

std::optional<FaultMode> faultModeFromName(QStringView name) {
    for (const auto& m : ModeNames) {
        if (name == QLatin1String(m.name))
            return m.mode;
    }
    return std::nullopt;
}

Faults faultsFor(FaultMode mode) {
    Faults f;
    f.silence = mode == FaultMode::Silence;
    f.garbage = mode == FaultMode::Garbage;
    f.split = mode == FaultMode::Split;
    f.doubled = mode == FaultMode::Double;
    f.stale = mode == FaultMode::Stale;
    f.stall = mode == FaultMode::Stall;
    f.flood = mode == FaultMode::Flood;
    return f;
}

FaultScheduler::FaultScheduler(Config config) : config_(config), rng_(config.seed ^ SchedulerSalt) {
    config_.minPhaseMs = std::max<qint64>(config_.minPhaseMs, 1);
    config_.maxPhaseMs = std::max(config_.maxPhaseMs, config_.minPhaseMs);
}

FaultPhase FaultScheduler::next(qint64 nowMs) {
    FaultPhase phase;
    phase.startMs = nowMs;
    phase.mode = SoakModes[std::size_t(rng_.uniform(0, qint64(SoakModes.size()) - 1))];
    phase.durationMs = rng_.uniform(config_.minPhaseMs, config_.maxPhaseMs);
    if (phase.mode == FaultMode::Drop) {
        const qint64 longest =
            std::max<qint64>(1, std::min(config_.maxDropMs, phase.durationMs - DropMarginMs));
        phase.dropMs = rng_.uniform(std::min(config_.minDropMs, longest), longest);
    }
    return phase;
}

} // namespace tarn::sim
