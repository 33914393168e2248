#include "telemetry/history.h"

#include "telemetry/historyexport.h"

#include <algorithm>

namespace tarn::telemetry {

namespace {
constexpr std::size_t SwrIndex = std::size_t(Channel::Swr);

qint64 floorTo(qint64 t, qint64 step) {
    const qint64 r = t % step;
    return r < 0 ? t - r - step : t - r;
}
} // namespace

void Bucket::add(const Sample& s) {
    if (count == 0) {
        min.fill(255);
        max.fill(0);
    }
    for (std::size_t i = 0; i < ChannelCount; ++i) {
        const std::uint8_t v = s.raw[i];
        // "-.-" is no reading, not an SWR of zero.
        if (i == SwrIndex && v == 0)
            continue;
        min[i] = std::min(min[i], v);
        max[i] = std::max(max[i], v);
    }
    ++count;
    flagsAny |= s.flags;
    band = s.band;
}

void Bucket::merge(const Bucket& b) {
    if (b.count == 0)
        return;
    if (count == 0) {
        const qint64 start = startMs;
        *this = b;
        startMs = start;
        return;
    }
    for (std::size_t i = 0; i < ChannelCount; ++i) {
        if (i == SwrIndex && b.max[i] == 0)
            continue;
        min[i] = std::min(min[i], b.min[i]);
        max[i] = std::max(max[i], b.max[i]);
    }
    count += b.count;
    flagsAny |= b.flagsAny;
    band = b.band;
}

History::History(std::size_t rawCapacity)
    : levels_{Level{1'000, std::vector<Bucket>(std::size_t(DaySpanMs / 1'000))},
              Level{10'000, std::vector<Bucket>(std::size_t(DaySpanMs / 10'000))},
              Level{60'000, std::vector<Bucket>(std::size_t(DaySpanMs / 60'000))}} {
    raw_.reserve(std::max<std::size_t>(1, rawCapacity));
}

void History::gap() {
    pendingGap_ = true;
}

void History::add(Sample s, qint64 wallMs) {
    if (rawSize_ > 0 || havePrevious_)
        s.timeMs = std::max(s.timeMs, lastTimeMs_);
    lastTimeMs_ = s.timeMs;
    wallOffsetMs_ = wallMs - s.timeMs;

    s.flags &= std::uint8_t(~Sample::MarkBits);
    if (pendingGap_)
        s.flags |= Sample::AfterGap;
    if (havePrevious_ && s.band != previousBand_)
        s.flags |= Sample::BandChange;
    const bool protection = s.has(Sample::Protection);
    if (protection && !previousProtection_)
        s.flags |= Sample::TripStart;
    pendingGap_ = false;
    havePrevious_ = true;
    previousBand_ = s.band;
    previousProtection_ = protection;

    if (raw_.size() < raw_.capacity()) {
        raw_.push_back(s);
        ++rawSize_;
    } else {
        raw_[rawHead_] = s;
        rawHead_ = (rawHead_ + 1) % raw_.size();
    }
    for (Level& level : levels_)
        addToLevel(level, s);
}

void History::addToLevel(Level& level, const Sample& s) {
    const qint64 start = floorTo(s.timeMs, level.durationMs);
    const auto buckets = qint64(level.buckets.size());
    Bucket& b =
        level.buckets[std::size_t(((start / level.durationMs) % buckets + buckets) % buckets)];
    if (b.startMs != start) {
        b = Bucket{};
        b.startMs = start;
    }
    b.add(s);
}

const Sample& History::raw(std::size_t index) const {
    if (raw_.size() < raw_.capacity())
        return raw_[index];
    return raw_[(rawHead_ + index) % raw_.size()];
}

std::size_t History::firstRawAtOrAfter(qint64 timeMs) const {
    std::size_t lo = 0;
    std::size_t hi = rawSize_;
    while (lo < hi) {
        const std::size_t mid = lo + (hi - lo) / 2;
        if (raw(mid).timeMs < timeMs)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

void History::fillFromLevel(const Level& level, qint64 fromMs, qint64 toMs, qint64 widthMs,
                            std::vector<Column>& out) const {
    const auto buckets = qint64(level.buckets.size());
    const qint64 oldest = lastTimeMs_ - DaySpanMs;
    for (qint64 t = floorTo(std::max(fromMs, oldest), level.durationMs); t < toMs;
         t += level.durationMs) {
        const Bucket& b =
            level.buckets[std::size_t(((t / level.durationMs) % buckets + buckets) % buckets)];
        if (b.startMs != t || b.count == 0)
            continue;
        // A bucket that starts before the range still belongs to the first column.
        const qint64 index = std::max<qint64>(0, (t - fromMs) / widthMs);
        if (index < qint64(out.size()))
            out[std::size_t(index)].merge(b);
    }
}

std::vector<Column> History::columns(qint64 fromMs, qint64 toMs, int n) const {
    std::vector<Column> out(std::size_t(std::max(0, n)));
    if (n <= 0 || toMs <= fromMs || (rawSize_ == 0 && !havePrevious_))
        return out;
    const qint64 widthMs = std::max<qint64>(1, (toMs - fromMs + n - 1) / n);
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i].startMs = fromMs + qint64(i) * widthMs;

    if (widthMs >= levels_[0].durationMs) {
        const Level* pick = &levels_[0];
        for (const Level& level : levels_)
            if (level.durationMs <= widthMs)
                pick = &level;
        fillFromLevel(*pick, fromMs, toMs, widthMs, out);
        return out;
    }
    // Narrow columns: raw frames where the ring has them, seconds before that.
    const qint64 rawStart = rawSize_ > 0 ? raw(0).timeMs : toMs;
    if (fromMs < rawStart)
        fillFromLevel(levels_[0], fromMs, std::min(toMs, floorTo(rawStart, 1000)), widthMs, out);
    for (std::size_t i = firstRawAtOrAfter(fromMs); i < rawSize_; ++i) {
        const Sample& s = raw(i);
        if (s.timeMs >= toMs)
            break;
        out[std::size_t((s.timeMs - fromMs) / widthMs)].add(s);
    }
    return out;
}

std::size_t History::memoryBytes() const {
    std::size_t bytes = sizeof(*this) + raw_.capacity() * sizeof(Sample);
    for (const Level& level : levels_)
        bytes += level.buckets.capacity() * sizeof(Bucket);
    return bytes;
}

ExportSnapshot History::snapshot(qint64 fromMs, qint64 toMs, qint64 wallOffsetMs) const {
    ExportSnapshot out;
    out.wallOffsetMs = wallOffsetMs;
    if (toMs - fromMs <= RawSpanMs) {
        const std::size_t first = firstRawAtOrAfter(fromMs);
        out.frames.reserve(firstRawAtOrAfter(toMs) - first);
        for (std::size_t i = first; i < rawSize_ && raw(i).timeMs < toMs; ++i)
            out.frames.push_back(raw(i));
        return out;
    }
    for (const Bucket& b : levels_[0].buckets)
        if (b.count > 0 && b.startMs >= fromMs && b.startMs < toMs &&
            b.startMs > lastTimeMs_ - DaySpanMs)
            out.seconds.push_back(b);
    std::ranges::sort(out.seconds, {}, &Bucket::startMs);
    return out;
}

} // namespace tarn::telemetry
