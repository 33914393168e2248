#pragma once

#include "core/statuslistener.h"
#include "telemetry/recorder.h"

#include <QDateTime>
#include <functional>
#include <utility>

namespace tarn::app {

// Hands each decoded status and each silence to the recorder with the wall-clock time.
class TelemetryFeed final : public core::StatusListener {
public:
    using Clock = std::function<qint64()>;

    static qint64 wallClock() { return QDateTime::currentMSecsSinceEpoch(); }

    explicit TelemetryFeed(telemetry::Recorder& recorder, Clock clock = &wallClock)
        : recorder_(recorder), clock_(std::move(clock)) {}

    void statusDecoded(const protocol::RxBytes& rx) override { recorder_.status(rx, clock_()); }
    void lineSilent() override { recorder_.silent(clock_()); }

private:
    telemetry::Recorder& recorder_;
    Clock clock_;
};

} // namespace tarn::app
