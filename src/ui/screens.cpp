#include "ui/screens.h"

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <limits>

namespace tarn::ui {

namespace {

// Squared gap between two rectangles; 0 when they touch or overlap.
long long gap(const QRect& a, const QRect& b) {
    const long long dx = std::max({0, b.left() - a.right(), a.left() - b.right()});
    const long long dy = std::max({0, b.top() - a.bottom(), a.top() - b.bottom()});
    return dx * dx + dy * dy;
}

// Enough of the title bar to take hold of: half its height, and some width.
constexpr int GripPx = 32;

bool titleBarReachable(const QRect& titleBar, const QRect& screen) {
    const QRect seen = titleBar.intersected(screen);
    return !seen.isEmpty() && seen.height() * 2 >= titleBar.height() &&
           seen.width() >= std::min(GripPx, titleBar.width());
}

int clampStart(int start, int length, int areaStart, int areaLength) {
    if (length >= areaLength)
        return areaStart;
    return std::clamp(start, areaStart, areaStart + areaLength - length);
}

} // namespace

QPoint reachablePosition(const QRect& frame, const QList<QRect>& screens,
                         const QList<QRect>& workAreas, int titleBarPx) {
    if (screens.isEmpty())
        return frame.topLeft();
    const int titleHeight =
        std::min(titleBarPx > 0 ? titleBarPx : AssumedTitleBarPx, std::max(1, frame.height()));
    const QRect titleBar(frame.topLeft(), QSize(frame.width(), titleHeight));
    for (const QRect& s : screens)
        if (titleBarReachable(titleBar, s))
            return frame.topLeft();

    qsizetype nearest = 0;
    long long best = std::numeric_limits<long long>::max();
    for (qsizetype i = 0; i < screens.size(); ++i) {
        const long long d = gap(frame, screens[i]);
        if (d < best) {
            best = d;
            nearest = i;
        }
    }
    const QRect area = nearest < workAreas.size() && !workAreas[nearest].isEmpty()
                           ? workAreas[nearest]
                           : screens[nearest];
    return {clampStart(frame.x(), frame.width(), area.x(), area.width()),
            clampStart(frame.y(), frame.height(), area.y(), area.height())};
}

QPoint reachablePosition(const QRect& frame, int titleBarPx) {
    QList<QRect> screens;
    QList<QRect> areas;
    for (const QScreen* s : QGuiApplication::screens()) {
        screens << s->geometry();
        areas << s->availableGeometry();
    }
    return reachablePosition(frame, screens, areas, titleBarPx);
}

} // namespace tarn::ui
