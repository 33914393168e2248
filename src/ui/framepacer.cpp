#include "ui/framepacer.h"

#include <QScreen>
#include <QWidget>
#include <cmath>

namespace tarn::ui {

namespace {
constexpr qreal FallbackRefreshHz = 60.0;
}

FramePacer::FramePacer(const QWidget& window, Draw draw, DrawRest drawRest)
    : window_(window), draw_(std::move(draw)), drawRest_(std::move(drawRest)) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [this] { drawWaiting(); });
}

int FramePacer::intervalMs() const {
    if (fixedIntervalMs_ >= 0)
        return fixedIntervalMs_;
    // Finding the window's screen costs more than the rest of the pacing; a window moved to
    // a screen of another rate takes that rate within a second.
    if (screenAsked_.isValid() && screenAsked_.elapsed() < ScreenRecheckMs)
        return screenIntervalMs_;
    screenAsked_.start();
    const QScreen* screen = window_.screen();
    qreal hz = screen ? screen->refreshRate() : FallbackRefreshHz;
    if (!(hz >= 1.0))
        hz = FallbackRefreshHz;
    screenIntervalMs_ = int(std::ceil(1000.0 / hz));
    return screenIntervalMs_;
}

void FramePacer::submit(const protocol::StatusFields& fields) {
    waiting_ = fields;
    const int interval = intervalMs();
    if (interval <= 0 || !sinceDraw_.isValid() || sinceDraw_.elapsed() >= interval) {
        drawWaiting();
        return;
    }
    // While frames keep coming, the next one after the interval draws (the newest, at once) and
    // the timer never fires: one wake-up less per picture. The timer only shows the last frame
    // of a burst, one refresh late at most.
    if (!timer_.isActive())
        timer_.start(int(2 * interval - sinceDraw_.elapsed()));
}

void FramePacer::submitRest() {
    restWaiting_ = true;
    // A frame usually follows at once and takes it along; alone, it waits one refresh at most.
    if (const int interval = intervalMs(); interval <= 0)
        drawWaiting();
    else if (!timer_.isActive())
        timer_.start(interval);
}

void FramePacer::discard() {
    waiting_.reset();
    if (!restWaiting_)
        timer_.stop();
}

void FramePacer::drawWaiting() {
    timer_.stop();
    if (!hasWaiting())
        return;
    if (waiting_) {
        sinceDraw_.start();
        const protocol::StatusFields fields = *waiting_;
        waiting_.reset();
        draw_(fields);
    }
    if (restWaiting_) {
        restWaiting_ = false;
        if (drawRest_)
            drawRest_();
    }
}

} // namespace tarn::ui
