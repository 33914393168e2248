#include "telemetry/timeaxis.h"

#include <algorithm>
#include <array>

namespace tarn::telemetry {

namespace {
constexpr qint64 S = 1'000;
constexpr qint64 Min = 60 * S;
constexpr qint64 H = 60 * Min;
constexpr std::array<qint64, 18> Steps{S,   2 * S,   5 * S,   10 * S,   15 * S,   30 * S,
                                       Min, 2 * Min, 5 * Min, 10 * Min, 15 * Min, 30 * Min,
                                       H,   2 * H,   3 * H,   6 * H,    12 * H,   24 * H};

qint64 ceilTo(qint64 t, qint64 step) {
    const qint64 r = ((t % step) + step) % step;
    return r == 0 ? t : t + step - r;
}
} // namespace

TimeTicks timeTicks(qint64 fromMs, qint64 toMs, int maxTicks, int utcOffsetS) {
    TimeTicks out;
    if (toMs < fromMs || maxTicks < 1)
        return out;
    const qint64 offset = qint64(utcOffsetS) * S;
    const auto it = std::ranges::find_if(
        Steps, [&](qint64 step) { return (toMs - fromMs) / step + 1 <= maxTicks; });
    out.stepMs = it == Steps.end() ? Steps.back() : *it;
    for (qint64 t = ceilTo(fromMs + offset, out.stepMs); t <= toMs + offset; t += out.stepMs)
        if (int(out.times.size()) < maxTicks)
            out.times.push_back(t - offset);
    return out;
}

} // namespace tarn::telemetry
