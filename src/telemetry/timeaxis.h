#pragma once

#include <QtGlobal>
#include <vector>

namespace tarn::telemetry {

// Round times for a time axis, in wall-clock milliseconds: every multiple of the step inside
// [fromMs, toMs], counted in local time (`utcOffsetS` east of UTC) so that ticks fall on the
// hour the operator's clock shows. The step is the smallest of 1, 2, 5, 10, 15, 30 s; 1, 2, 5,
// 10, 15, 30 min; 1, 2, 3, 6, 12 h; 1 day that gives at most `maxTicks` ticks.
struct TimeTicks {
    qint64 stepMs = 0;
    std::vector<qint64> times;
};
TimeTicks timeTicks(qint64 fromMs, qint64 toMs, int maxTicks, int utcOffsetS);

} // namespace tarn::telemetry
