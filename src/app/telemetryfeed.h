#pragma once

#include "core/statuslistener.h"
#include "telemetry/recorder.h"

#include <functional>
#include <utility>

namespace tarn::app {

// Hands each decoded status and each silence to the recorder with the time on both clocks.
class TelemetryFeed final : public core::StatusListener {
public:
    using Clock = std::function<telemetry::Stamp()>;

    static telemetry::Stamp systemClock() { return telemetry::systemStamp(); }

    explicit TelemetryFeed(telemetry::Recorder& recorder, Clock clock = &systemClock)
        : recorder_(recorder), clock_(std::move(clock)) {}

    telemetry::Stamp now() const { return clock_(); }

    void statusDecoded(const protocol::RxBytes& rx) override { recorder_.status(rx, clock_()); }
    void lineSilent() override { recorder_.silent(clock_()); }
    void lineClosed() override { recorder_.closed(clock_()); }

private:
    telemetry::Recorder& recorder_;
    Clock clock_;
};

} // namespace tarn::app
