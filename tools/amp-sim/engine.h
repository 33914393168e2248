#pragma once

#include "amplifier.h"
#include "faults.h"
#include "frames.h"
#include "rng.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <optional>
#include <vector>

namespace tarn::sim {

struct EngineConfig {
    QByteArray firmware = "1.27 ";
    qint64 bootloaderMs = Amplifier::DefaultBootloaderMs;
    qint64 splitMs = 60;
    // Paces answers as a serial line at this speed would (10 bits a byte); 0 does not.
    int baudRate = 0;
    std::uint32_t seed = 1;
    // Every status frame's meters differ from the last one's.
    bool sweepMeters = false;
};

// Bytes to put on the line at a given time.
struct TimedWrite {
    qint64 atMs = 0;
    QByteArray bytes;
};

struct Exchange {
    std::vector<ParsedFrame> frames; // everything the parser found, taken or not
    std::vector<TimedWrite> writes;  // in line order, times never decreasing
};

// The amplifier as seen from the line: bytes in, timed bytes out, with the line faults applied.
// No I/O and no clock; the caller passes the time and carries out the writes.
class SimEngine {
public:
    explicit SimEngine(EngineConfig config, qint64 nowMs = 0);

    Exchange receive(QByteArrayView bytes, qint64 nowMs);

    // The line went away: a frame cut short is forgotten and nothing is waiting to go out.
    void lineDropped();

    Amplifier& amplifier() { return amplifier_; }
    const Amplifier& amplifier() const { return amplifier_; }
    const Faults& faults() const { return faults_; }
    void setFaults(const Faults& faults);
    const ParserCounters& parserCounters() const { return parser_.counters(); }
    std::uint64_t answers() const { return answers_; }

    // About `size` bytes of flood: status frames of the current state with a few garbage bytes
    // between them. Not counted as answers.
    QByteArray floodChunk(qsizetype size, qint64 nowMs);

    // The whole state as key=value pairs on one line.
    QString statusLine(qint64 nowMs);

private:
    void queueAnswer(const QByteArray& frame, qint64 nowMs, std::vector<TimedWrite>& out);
    qint64 lineTimeUs(qsizetype bytes) const;
    QByteArray garbage();

    EngineConfig config_;
    CommandParser parser_;
    Amplifier amplifier_;
    Faults faults_;
    Rng rng_;
    // Answers never overtake one another: a split answer's second half goes out before
    // anything queued after it.
    qint64 lineFreeAtUs_ = 0;
    std::uint8_t frameCounter_ = 0;
    // What the stale fault puts in front of every status answer, taken at its first answer.
    std::optional<StatusBody> staleBody_;
    std::uint64_t answers_ = 0;
};

} // namespace tarn::sim
