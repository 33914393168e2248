#pragma once

#include <QMargins>
#include <QPoint>

class QWidget;

namespace tarn::ui {

// Where a top-level window's outer frame is, kept right while the window is hidden and shown
// again. Under X11 a window that was hidden forgets its frame until the window manager
// decorates it anew: for that moment Qt reports the client area's corner as the frame's and
// frame margins of zero. Sizes worked out then, and places read then, would be off by the
// title bar and the border. This remembers the last frame the window manager reported and the
// place the frame should be at, and puts the frame back there when the window comes back.
class FramePlace {
public:
    // False where the window system never tells a client where its windows are (native
    // Wayland): there a window's place is a guess, and a guess must not be stored.
    static bool placesReported();

    // The frame margins: those reported now, else the last ones reported (none without a
    // window manager).
    QMargins margins(const QWidget& window) const;

    // The frame's top-left corner in pixels: where it is while the window is shown with a
    // known frame, otherwise where it was last put or seen.
    QPoint place(const QWidget& window) const;

    // Puts the frame's corner at `framePx`; a hidden window goes there when shown.
    void moveTo(QWidget& window, QPoint framePx);

    // Call before hiding the window, so its place outlives the frame.
    void aboutToHide(const QWidget& window);
    // Call before showing it again: the frame comes back where it was.
    void aboutToShow(QWidget& window);

    // From the window's show, move and resize events. Returns true when the reported frame
    // margins changed, so the window can size its client area anew.
    bool update(QWidget& window);

private:
    static QMargins reported(const QWidget& window);
    static bool normalState(const QWidget& window);

    QMargins margins_;
    QPoint place_;
    bool placeSet_ = false;
    // Set between a show and the window manager's first report of the frame.
    bool restorePending_ = false;
};

} // namespace tarn::ui
