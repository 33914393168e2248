#include "ui/framepacer.h"

#include <QScreen>
#include <QWidget>
#include <cmath>

namespace tarn::ui {

namespace {
constexpr qreal FallbackRefreshHz = 60.0;
}

FramePacer::FramePacer(const QWidget& window, Draw draw) : window_(window), draw_(std::move(draw)) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [this] { drawWaiting(); });
}

int FramePacer::intervalMs() const {
    if (fixedIntervalMs_ >= 0)
        return fixedIntervalMs_;
    const QScreen* screen = window_.screen();
    qreal hz = screen ? screen->refreshRate() : FallbackRefreshHz;
    if (!(hz >= 1.0))
        hz = FallbackRefreshHz;
    return int(std::ceil(1000.0 / hz));
}

void FramePacer::submit(const protocol::StatusFields& fields) {
    const int interval = intervalMs();
    if (interval <= 0 || !sinceDraw_.isValid() || sinceDraw_.elapsed() >= interval) {
        waiting_.reset();
        timer_.stop();
        drawNow(fields);
        return;
    }
    waiting_ = fields;
    // While frames keep coming, the next one after the interval draws (the newest, at once) and
    // the timer never fires: one wake-up less per picture. The timer only shows the last frame
    // of a burst, one refresh late at most.
    if (!timer_.isActive())
        timer_.start(int(2 * interval - sinceDraw_.elapsed()));
}

void FramePacer::discard() {
    waiting_.reset();
    timer_.stop();
}

void FramePacer::drawWaiting() {
    timer_.stop();
    if (!waiting_)
        return;
    const protocol::StatusFields fields = *waiting_;
    waiting_.reset();
    drawNow(fields);
}

void FramePacer::drawNow(const protocol::StatusFields& fields) {
    sinceDraw_.start();
    draw_(fields);
}

} // namespace tarn::ui
