#pragma once

#include "rng.h"

#include <QString>
#include <QtGlobal>
#include <cstdint>
#include <optional>

namespace tarn::sim {

// Line faults that shape every answer while they are on.
struct Faults {
    bool silence = false; // nothing is answered
    bool garbage = false; // random bytes around or instead of answers
    bool split = false;   // each answer in two writes, some time apart
    bool doubled = false; // each answer twice in one write
    bool stale = false;   // each status answer behind an older one in the same write
    bool deaf = false;    // every command but the poll and the test-space request is ignored
    bool stall = false;   // the line is not read at all, so the panel's writes pile up
    bool flood = false;   // status frames and garbage without pause, as fast as the line takes

    bool operator==(const Faults&) const = default;
    // "none" or the names of those that are on, joined by commas.
    QString describe() const;
};

enum class FaultMode { Normal, Silence, Garbage, Split, Double, Trip, Drop, Stale, Stall, Flood };

QString faultModeName(FaultMode mode);
std::optional<FaultMode> faultModeFromName(QStringView name);
// The line faults a mode stands for; Trip and Drop act on the amplifier and the line instead.
Faults faultsFor(FaultMode mode);

struct FaultPhase {
    FaultMode mode = FaultMode::Normal;
    qint64 startMs = 0;
    qint64 durationMs = 0;
    qint64 dropMs = 0; // how long the line stays away; Drop only, always shorter than the phase

    qint64 endMs() const { return startMs + durationMs; }
};

// Picks one fault after another for a soak run. The same seed gives the same sequence of
// modes and durations, whatever the traffic on the line.
class FaultScheduler {
public:
    struct Config {
        std::uint32_t seed = 1;
        qint64 minPhaseMs = 2000;
        qint64 maxPhaseMs = 6000;
        qint64 minDropMs = 300;
        qint64 maxDropMs = 3000;
    };

    explicit FaultScheduler(Config config);

    FaultPhase next(qint64 nowMs);

private:
    Config config_;
    Rng rng_;
};

} // namespace tarn::sim
