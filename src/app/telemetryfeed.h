#pragma once

#include "core/statuslistener.h"
#include "telemetry/recorder.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <functional>
#include <utility>

namespace tarn::app {

// Hands each decoded status and each silence to the recorder with the wall-clock time for
// labels and a monotonic time for everything that measures or orders.
class TelemetryFeed final : public core::StatusListener {
public:
    using Clock = std::function<qint64()>;

    static qint64 wallClock() { return QDateTime::currentMSecsSinceEpoch(); }

    explicit TelemetryFeed(telemetry::Recorder& recorder, Clock clock = &wallClock,
                           Clock monotonic = {})
        : recorder_(recorder), clock_(std::move(clock)), monotonic_(std::move(monotonic)) {
        started_.start();
        if (!monotonic_)
            monotonic_ = [this] { return started_.elapsed(); };
    }

    telemetry::Now now() const { return {clock_(), monotonic_()}; }

    void statusDecoded(const protocol::RxBytes& rx) override {
        const telemetry::Now n = now();
        recorder_.status(rx, n.wallMs, n.monoMs);
    }
    void lineSilent() override { recorder_.silent(now()); }
    void lineClosed() override { recorder_.closed(now()); }

private:
    telemetry::Recorder& recorder_;
    Clock clock_;
    Clock monotonic_;
    QElapsedTimer started_;
};

} // namespace tarn::app
