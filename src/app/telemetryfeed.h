#pragma once

#include "core/statuslistener.h"
#include "telemetry/recorder.h"

#include <QDateTime>
#include <chrono>
#include <ctime>
#include <functional>
#include <utility>

namespace tarn::app {

// Hands each decoded status and each silence to the recorder with the time on both clocks.
class TelemetryFeed final : public core::StatusListener {
public:
    using Clock = std::function<telemetry::Stamp()>;

    // The monotonic clock counts a suspended machine's sleep where the system can, so the
    // history's spans stay true across a suspend; the wall clock only labels.
    static telemetry::Stamp systemClock() {
        qint64 mono = 0;
#ifdef CLOCK_BOOTTIME
        timespec ts{};
        clock_gettime(CLOCK_BOOTTIME, &ts);
        mono = qint64(ts.tv_sec) * 1000 + ts.tv_nsec / 1'000'000;
#else
        mono = std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
                   .count();
#endif
        return {mono, QDateTime::currentMSecsSinceEpoch()};
    }

    explicit TelemetryFeed(telemetry::Recorder& recorder, Clock clock = &systemClock)
        : recorder_(recorder), clock_(std::move(clock)) {}

    void statusDecoded(const protocol::RxBytes& rx) override {
        recorder_.status(rx, clock_());
    }
    void lineSilent() override {
        recorder_.silent(clock_().monoMs);
    }

private:
    telemetry::Recorder& recorder_;
    Clock clock_;
};

} // namespace tarn::app
