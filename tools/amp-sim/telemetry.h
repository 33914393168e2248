#pragma once

#include <QtGlobal>

namespace tarn::sim {

// What the amplifier's controls and keying look like to the power stage.
struct TelemetryInputs {
    bool operate = false;
    bool transmitting = false;
    int band = 5;
    int gain = 4;
    bool paHigh = true;

    bool operator==(const TelemetryInputs&) const = default;
};

// One status frame's worth of meter values, already in wire units.
struct Reading {
    int forwardLevel = 0;   // 0..15
    int reflectedLevel = 0; // 0..5
    int swrX10 = 0;         // 0 = no reading
    int voltageRaw = 0;     // volts x 2.5
    int currentRaw = 0;     // amperes x 5
    int temperatureC = 0;
};

// A lumped model of the power stage: output power follows the keying with an ALC settling
// overshoot, the SWR meter lags the power, supply current and voltage sag follow the output,
// and the heatsink warms and cools with a time constant of minutes. Time only moves when
// advanceTo() is called, so the same calls always give the same readings.
class Telemetry {
public:
    static constexpr double AmbientC = 25.0;
    static constexpr double MaxTemperatureC = 80.0;
    static constexpr double FullScaleWatts = 1500.0;
    static constexpr double StandbyCurrentA = 0.8;
    static constexpr double BiasCurrentA = 3.0;

    explicit Telemetry(qint64 nowMs = 0) : nowMs_(nowMs), keyedAtMs_(nowMs) {}

    void advanceTo(qint64 nowMs);
    // Brings the model to nowMs under the old inputs, then switches to the new ones.
    void setInputs(const TelemetryInputs& inputs, qint64 nowMs);
    const TelemetryInputs& inputs() const { return in_; }

    Reading reading() const;

    double forwardWatts() const { return forwardW_; }
    double reflectedWatts() const;
    double currentA() const;
    double voltageV() const;
    double temperatureC() const { return temperatureC_; }

    // The output the stage settles at for these inputs when keyed.
    static double ratedWatts(const TelemetryInputs& inputs);
    static double antennaSwr(int band);
    static double nominalVoltage(bool paHigh) { return paHigh ? 56.0 : 48.0; }

private:
    void step(qint64 fromMs, double dtMs);
    double targetWatts(qint64 atMs) const;
    double dissipationW() const;

    TelemetryInputs in_;
    qint64 nowMs_;
    qint64 keyedAtMs_;
    double forwardW_ = 0.0;
    double swrMeter_ = 1.0;
    double temperatureC_ = AmbientC;
};

} // namespace tarn::sim
