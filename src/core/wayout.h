#pragma once

#include "core/forcestandby.h"

#include <QString>
#include <functional>

namespace tarn::core {

class Panel;

// Time for the exit's waits, which block: the display may be gone and no event loop run.
struct ExitClock {
    // Monotonic milliseconds.
    std::function<qint64()> now;
    // True once something asked for the wait to end at once (a second signal).
    std::function<bool()> interrupted;

    static ExitClock monotonic(std::function<bool()> interrupted = {});
};

// What the exit did on the line.
struct ExitResult {
    bool standbyDue = false;
    ForceStandby::Stage stage = ForceStandby::Stage::Idle;
    QString reason;
    // False when the close gave up written bytes.
    bool closed = true;
};

// How the program ends.
enum class Way { Window, Signal, SessionEnd, DisplayLost };

// Every way out runs through here, once: force standby when asked and its confirmation, the
// save and the close (all in Panel::shutdownPort), then the other windows close and the event
// loops end with the exit status. The status tells how far the safety command got:
//   0 confirmed by the amplifier, or not asked for
//   2 could not be written, or did not leave the computer
//   3 left, but the amplifier did not report standby
class WayOut {
public:
    static constexpr int Confirmed = 0;
    static constexpr int NotSent = 2;
    static constexpr int NotConfirmed = 3;

    struct Hooks {
        // Telemetry, dialogs and the tiny widget; never run when the display is gone.
        std::function<void()> closeWindows;
        // Ends every event loop with the status; never run when the display is gone.
        std::function<void(int status)> quit;
        // One line for the terminal or the session's log.
        std::function<void(const QString& line)> tell;
        // What the exit did on the line, for the alarm journal; runs even with no display.
        std::function<void(const ExitResult& result)> record;
    };

    WayOut(Panel& panel, ExitClock clock, Hooks hooks)
        : panel_(panel), clock_(std::move(clock)), hooks_(std::move(hooks)) {}

    // Runs the shutdown the first time; later calls do nothing. Returns the exit status.
    int leave(Way way);
    int status() const { return status_; }

    // The status for a result, and the line that explains a non-zero one.
    static int statusFor(const ExitResult& result);
    static QString explain(const ExitResult& result);

private:
    Panel& panel_;
    ExitClock clock_;
    Hooks hooks_;
    bool left_ = false;
    int status_ = 0;
};

} // namespace tarn::core
