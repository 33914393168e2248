#pragma once

#include <QObject>
#include <functional>
#include <memory>

class QSocketNotifier;

namespace tarn::app {

// Turns SIGTERM, SIGINT and SIGHUP into a call on the event loop, so a kill or a closed
// terminal runs the same shutdown as File > Exit (force standby sent, settings saved) instead
// of ending the program mid-flight. Only the async-signal-safe write happens in the handler.
class TerminationSignals {
public:
    explicit TerminationSignals(std::function<void(int)> onSignal);
    ~TerminationSignals();
    TerminationSignals(const TerminationSignals&) = delete;
    // Signals received so far, counted in the handler itself: the exit's blocking wait runs
    // no event loop, yet must end at once on a second signal.
    static int received();
    TerminationSignals& operator=(const TerminationSignals&) = delete;

private:
    std::function<void(int)> onSignal_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace tarn::app
