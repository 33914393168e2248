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
// still gets each frame at once. The rest of the window that follows the line (the traffic
// echo) waits the same way and is drawn with the frame.
class FramePacer final {
public:
    using Draw = std::function<void(const protocol::StatusFields&)>;
    using DrawRest = std::function<void()>;

    // `window` supplies the screen whose refresh rate sets the pace.
    FramePacer(const QWidget& window, Draw draw, DrawRest drawRest = {});

    FramePacer(const FramePacer&) = delete;
    FramePacer& operator=(const FramePacer&) = delete;

    // Milliseconds between two pictures; 0 draws every frame at once. Negative (the default)
    // follows the screen's refresh rate.
    void setIntervalMs(int ms) { fixedIntervalMs_ = ms; }
    int intervalMs() const;

    void submit(const protocol::StatusFields& fields);
    // The rest of the window has something new to show.
    void submitRest();
    // Something newer than any waiting frame was drawn (the time-out's blank display).
    void discard();
    bool hasWaiting() const { return waiting_.has_value() || restWaiting_; }
    // Draws what waits now; the pace timer's handler.
    void drawWaiting();

private:
    const QWidget& window_;
    Draw draw_;
    DrawRest drawRest_;
    int fixedIntervalMs_ = -1;
    static constexpr qint64 ScreenRecheckMs = 1000;
    mutable QElapsedTimer screenAsked_;
    mutable int screenIntervalMs_ = 0;
    QElapsedTimer sinceDraw_;
    QTimer timer_;
    std::optional<protocol::StatusFields> waiting_;
    bool restWaiting_ = false;
};

} // namespace tarn::ui
