#pragma once

#include "telemetry/sample.h"

#include <QtGlobal>
#include <array>
#include <cstdint>
#include <vector>

namespace tarn::telemetry {

struct ExportSnapshot;

// Minimum and maximum of each channel over a stretch of time, with what happened in it.
struct Bucket {
    qint64 startMs = -1; // -1: never filled
    std::array<std::uint8_t, ChannelCount> min{};
    std::array<std::uint8_t, ChannelCount> max{};
    std::uint32_t count = 0;
    std::uint8_t flagsAny = 0; // amplifier flags and history marks seen in any frame
    std::uint8_t band = 0;     // band of the last frame

    void add(const Sample& s);
    void merge(const Bucket& b);
    // SWR has no reading in this stretch ("-.-" throughout).
    bool swrMissing() const { return max[std::size_t(Channel::Swr)] == 0; }
};

// What one pixel column of a plot shows: the bucket of its time range. An empty bucket (count
// 0) draws nothing; a column marked AfterGap is never joined to the one before.
using Column = Bucket;

// The record of the amplifier's status: every frame of the last hour, per-second minima and
// maxima of the last 24 hours, and coarser buckets for the wide spans. Memory is fixed by the
// capacities below, whatever the poll rate; at polls faster than 10 ms the raw ring holds less
// than an hour and the per-second buckets cover the rest.
class History {
public:
    static constexpr qint64 RawSpanMs = 3'600'000;
    static constexpr qint64 DaySpanMs = 86'400'000;
    static constexpr std::size_t DefaultRawCapacity = 360'000; // an hour at a 10 ms poll

    explicit History(std::size_t rawCapacity = DefaultRawCapacity);

    // `s.timeMs` is monotonic, and never runs backwards in the record: a time before the last
    // is held at the last. `wallMs` is the wall clock at the same moment, for labels only.
    void add(Sample s, qint64 wallMs);
    void add(const Sample& s) { add(s, s.timeMs); }
    // The line fell silent or the port closed: the next frame starts a new stretch.
    void gap();

    std::size_t rawCount() const { return rawSize_; }
    std::size_t rawCapacity() const { return raw_.capacity(); }
    // Oldest first; index < rawCount().
    const Sample& raw(std::size_t index) const;
    bool empty() const { return rawSize_ == 0; }
    qint64 lastTimeMs() const { return lastTimeMs_; }
    // The wall clock minus the monotonic time at the newest frame: what a label adds to a time.
    qint64 wallOffsetMs() const { return wallOffsetMs_; }

    // `n` columns of equal width over [fromMs, toMs). Uses the raw frames for columns narrower
    // than a second and the coarsest buckets not wider than a column otherwise, so the cost
    // depends on the column count, not on the span's frame count.
    std::vector<Column> columns(qint64 fromMs, qint64 toMs, int n) const;

    // Bytes held, for the bench.
    std::size_t memoryBytes() const;

    // A copy of [fromMs, toMs) for an export: every frame for spans up to RawSpanMs, the
    // per-second minima and maxima for wider ones. Labelled with `wallOffsetMs`.
    ExportSnapshot snapshot(qint64 fromMs, qint64 toMs, qint64 wallOffsetMs) const;

private:
    struct Level {
        qint64 durationMs;
        std::vector<Bucket> buckets;
    };

    void addToLevel(Level& level, const Sample& s);
    void fillFromLevel(const Level& level, qint64 fromMs, qint64 toMs, qint64 widthMs,
                       std::vector<Column>& out) const;
    // Index of the first raw frame at or after `timeMs`.
    std::size_t firstRawAtOrAfter(qint64 timeMs) const;

    std::vector<Sample> raw_;
    std::size_t rawHead_ = 0; // index of the oldest frame once the ring is full
    std::size_t rawSize_ = 0;
    std::array<Level, 3> levels_; // 1 s, 10 s, 60 s
    qint64 lastTimeMs_ = 0;
    qint64 wallOffsetMs_ = 0;
    bool pendingGap_ = false;
    bool havePrevious_ = false;
    std::uint8_t previousBand_ = 0;
    bool previousProtection_ = false;
};

} // namespace tarn::telemetry
