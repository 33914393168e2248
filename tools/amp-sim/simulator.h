#pragma once

#include "console.h"
#include "engine.h"
#include "faults.h"
#include "options.h"
#include "transport.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <deque>
#include <memory>
#include <optional>

namespace tarn::sim {

// Ties the engine to a line, the clock, the timers and the operator's commands. Nothing runs
// between events: the telemetry is brought up to date when somebody looks at it, so the only
// timers are for writes due later, the tx cycle and the random fault phases.
class Simulator : public QObject {
    Q_OBJECT
public:
    Simulator(const SimOptions& options, std::unique_ptr<Transport> transport,
              QObject* parent = nullptr);
    ~Simulator() override;

    bool start(QString& error);
    void handleControlLine(const QString& line);

signals:
    void quitRequested();

private:
    qint64 now() const { return clock_.elapsed(); }
    void onReceived(const QByteArray& bytes);
    void onLineDown();
    void flushDue();
    void drop(qint64 ms);
    void setTxCycle(qint64 ms);
    void nextFaultPhase();
    // The engine shapes answers; stalls and floods act on the line here.
    void applyFaults(const Faults& faults);
    void floodOnce();

    SimOptions options_;
    QElapsedTimer clock_;
    TrafficLog log_;
    SimEngine engine_;
    std::unique_ptr<Transport> transport_;
    std::deque<TimedWrite> queue_;
    QTimer writeTimer_;
    QTimer txCycleTimer_;
    QTimer faultTimer_;
    QTimer stallTimer_;
    QTimer floodTimer_;
    std::optional<FaultScheduler> scheduler_;
    FaultPhase phase_;
};

} // namespace tarn::sim
