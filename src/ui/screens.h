#pragma once

#include <QList>
#include <QPoint>
#include <QRect>

namespace tarn::ui {

// Where a window whose outer frame is `frame` should go so the operator can reach it: a frame
// that touches any screen stays where it is (partly off-screen is the operator's choice); one
// that lies wholly outside every screen, say after a monitor was removed, is moved into the
// nearest screen's work area.
QPoint reachablePosition(const QRect& frame, const QList<QRect>& screens,
                         const QList<QRect>& workAreas);

// The same for the screens this session has.
QPoint reachablePosition(const QRect& frame);

} // namespace tarn::ui
