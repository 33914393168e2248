#include "core/classictimer.h"

namespace tarn::core {

ClassicTimer::ClassicTimer(int intervalMs, bool enabled, std::function<void()> onTick)
    : interval_(intervalMs), enabled_(enabled) {
    QObject::connect(&timer_, &QTimer::timeout, &timer_, std::move(onTick));
    apply();
}

void ClassicTimer::setEnabled(bool enabled) {
    if (enabled == enabled_)
        return;
    enabled_ = enabled;
    apply();
}

void ClassicTimer::setInterval(int intervalMs) {
    if (intervalMs == interval_)
        return;
    interval_ = intervalMs;
    apply();
}

void ClassicTimer::apply() {
    if (enabled_ && interval_ > 0)
        timer_.start(interval_);
    else
        timer_.stop();
}

} // namespace tarn::core
