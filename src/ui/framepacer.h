#pragma once

#include "protocol/status.h"

#include <QElapsedTimer>
#include <QTimer>
#include <functional>
#include <optional>

class QWidget;

namespace tarn::ui {

// Every status frame is decoded, but a screen shows at most one picture per refresh: a frame
// that arrives sooner after the last one drawn waits, and only the newest waiting frame is
// drawn, by the next frame or at the latest one refresh after it could have been. A quiet line
// still gets each frame at once.
class FramePacer final {
public:
    using Draw = std::function<void(const protocol::StatusFields&)>;

    // `window` supplies the screen whose refresh rate sets the pace.
    FramePacer(const QWidget& window, Draw draw);

    FramePacer(const FramePacer&) = delete;
    FramePacer& operator=(const FramePacer&) = delete;

    // Milliseconds between two pictures; 0 draws every frame at once. Negative (the default)
    // follows the screen's refresh rate.
    void setIntervalMs(int ms) { fixedIntervalMs_ = ms; }
    int intervalMs() const;

    void submit(const protocol::StatusFields& fields);
    // Something newer than any waiting frame was drawn (the time-out's blank display).
    void discard();
    bool hasWaiting() const { return waiting_.has_value(); }
    // Draws the waiting frame now; the pace timer's handler.
    void drawWaiting();

private:
    void drawNow(const protocol::StatusFields& fields);

    const QWidget& window_;
    Draw draw_;
    int fixedIntervalMs_ = -1;
    QElapsedTimer sinceDraw_;
    QTimer timer_;
    std::optional<protocol::StatusFields> waiting_;
};

} // namespace tarn::ui
