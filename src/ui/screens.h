#pragma once

#include <QList>
#include <QPoint>
#include <QRect>

namespace tarn::ui {

// Title bar height assumed while the window manager has not told it yet.
inline constexpr int AssumedTitleBarPx = 20;

// Where a window whose outer frame is `frame` should go so the operator can reach it: a frame
// whose title bar is on a screen stays where it is (partly off-screen is the operator's
// choice); one whose title bar lies off every screen, say above the top edge or after a
// monitor was removed, is moved into the nearest screen's work area. `titleBarPx` of 0 or less
// means "not known yet".
QPoint reachablePosition(const QRect& frame, const QList<QRect>& screens,
                         const QList<QRect>& workAreas, int titleBarPx = 0);

// The same for the screens this session has.
QPoint reachablePosition(const QRect& frame, int titleBarPx = 0);

} // namespace tarn::ui
