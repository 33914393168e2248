#include "ui/frameplace.h"

#include <QGuiApplication>
#include <QWidget>
#include <QWindow>

namespace tarn::ui {

QMargins FramePlace::reported(const QWidget& window) {
    const QWindow* w = window.windowHandle();
    return w && window.isVisible() ? w->frameMargins() : QMargins();
}

bool FramePlace::normalState(const QWidget& window) {
    return !(window.windowState() &
             (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen));
}

bool FramePlace::placesReported() {
    return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

QMargins FramePlace::margins(const QWidget& window) const {
    const QMargins now = reported(window);
    return now.isNull() ? margins_ : now;
}

QPoint FramePlace::place(const QWidget& window) const {
    if (!window.isVisible() || !normalState(window) || restorePending_)
        return placeSet_ ? place_ : window.pos();
    const QMargins now = reported(window);
    if (!now.isNull())
        return window.geometry().topLeft() - QPoint(now.left(), now.top());
    // No frame reported now: none at all (no window manager), or not yet after a show.
    if (margins_.isNull() || !placeSet_)
        return window.pos();
    return place_;
}

void FramePlace::moveTo(QWidget& window, QPoint framePx) {
    place_ = framePx;
    placeSet_ = true;
    window.move(framePx);
}

void FramePlace::aboutToHide(const QWidget& window) {
    if (window.isVisible()) {
        place_ = place(window);
        placeSet_ = true;
    }
}

void FramePlace::aboutToShow(QWidget& window) {
    if (window.isVisible() || !placeSet_)
        return;
    window.move(place_);
    restorePending_ = !margins_.isNull();
}

bool FramePlace::update(QWidget& window) {
    if (!window.isVisible())
        return false;
    const QMargins now = reported(window);
    bool changed = false;
    if (!now.isNull() && now != margins_) {
        margins_ = now;
        changed = true;
    }
    if (!normalState(window))
        return changed;
    if (restorePending_) {
        if (now.isNull())
            return changed;
        // The window manager has framed the window again; make sure it framed it in place.
        restorePending_ = false;
        if (place(window) != place_)
            window.move(place_);
        return changed;
    }
    if (!now.isNull() || margins_.isNull()) {
        place_ = place(window);
        placeSet_ = true;
    }
    return changed;
}

} // namespace tarn::ui
