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
    if (!timer_.isActive())
        timer_.start(int(interval - sinceDraw_.elapsed()));
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
