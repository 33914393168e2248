#pragma once

#include <QObject>
#include <QTimer>
#include <functional>

namespace tarn::core {

// A periodic timer with the classic rules the panel is built on: an interval of 0 never
// fires, disabling and enabling again restarts the full interval, and a new interval applies
// from the moment it is set. Tests call the tick handler directly instead of waiting.
class ClassicTimer {
public:
    ClassicTimer(int intervalMs, bool enabled, std::function<void()> onTick);

    void setEnabled(bool enabled);
    bool isEnabled() const { return enabled_; }
    void setInterval(int intervalMs);
    int interval() const { return interval_; }
    // True while the underlying timer will actually fire.
    bool isRunning() const { return timer_.isActive(); }

private:
    void apply();

    int interval_;
    bool enabled_;
    QTimer timer_;
};

} // namespace tarn::core
