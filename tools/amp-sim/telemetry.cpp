#include "telemetry.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace tarn::sim {

namespace {

constexpr qint64 StepMs = 5;
// The fast quantities settle well inside this; past it only the heatsink still moves, and its
// exact exponential step does not depend on the step size.
constexpr qint64 FineWindowMs = 2000;

constexpr double RiseTauMs = 80.0;
constexpr double FallTauMs = 40.0;
constexpr double OvershootTauMs = 200.0;
constexpr double SwrMeterTauMs = 150.0;
constexpr double ThermalTauMs = 90'000.0;
constexpr double KelvinPerWatt = 0.045;
constexpr double Efficiency = 0.62;
constexpr double SagVoltsPerAmp = 0.025;
constexpr double ReflectedFullScaleW = 150.0;
// Below this the SWR bridge has too little signal for a reading.
constexpr double SwrThresholdW = 0.05 * Telemetry::FullScaleWatts;

// Index 0 is band code 1 (1.8 MHz); the last entry is the "All" code.
constexpr std::array<double, 11> BandEfficiency{1.0,  1.0,  1.0, 1.0, 1.0, 0.97,
                                                0.95, 0.92, 0.9, 0.7, 1.0};
constexpr std::array<double, 11> BandAntennaSwr{1.3, 1.2, 1.5, 1.1, 1.4, 1.6,
                                                1.2, 1.8, 1.3, 2.1, 1.0};

std::size_t bandIndex(int band) {
    return std::size_t(std::clamp(band, 1, 11) - 1);
}

double approach(double value, double target, double dtMs, double tauMs) {
    return target + (value - target) * std::exp(-dtMs / tauMs);
}

int roundClamped(double value, int lo, int hi) {
    return std::clamp(int(std::lround(value)), lo, hi);
}

} // namespace

double Telemetry::ratedWatts(const TelemetryInputs& in) {
    const double drive = (2.0 + std::clamp(in.gain, 0, 8)) / 10.0;
    const double supply =
        in.paHigh ? 1.0 : std::pow(nominalVoltage(false) / nominalVoltage(true), 2);
    return FullScaleWatts * drive * supply * BandEfficiency[bandIndex(in.band)];
}

double Telemetry::antennaSwr(int band) {
    return BandAntennaSwr[bandIndex(band)];
}

void Telemetry::advanceTo(qint64 nowMs) {
    if (nowMs <= nowMs_)
        return;
    qint64 t = nowMs_;
    const qint64 fineEnd = std::min(nowMs, t + FineWindowMs);
    while (t < fineEnd) {
        // Steps on a fixed grid, so the readings barely depend on when they were asked for.
        const qint64 next = std::min(fineEnd, (t / StepMs + 1) * StepMs);
        step(t, double(next - t));
        t = next;
    }
    if (t < nowMs)
        step(t, double(nowMs - t));
    nowMs_ = nowMs;
}

void Telemetry::setInputs(const TelemetryInputs& inputs, qint64 nowMs) {
    advanceTo(nowMs);
    const bool keyUp = inputs.transmitting && !in_.transmitting;
    in_ = inputs;
    if (keyUp)
        keyedAtMs_ = nowMs_;
}

double Telemetry::targetWatts(qint64 atMs) const {
    if (!in_.transmitting)
        return 0.0;
    // The ALC lets the first syllable through a little hot; driven flat out, that peak reaches
    // the meter's over-range segment.
    const double overshoot = in_.gain >= 8 ? 0.2 : 0.03;
    const double sinceKeyMs = double(std::max<qint64>(0, atMs - keyedAtMs_));
    return ratedWatts(in_) * (1.0 + overshoot * std::exp(-sinceKeyMs / OvershootTauMs));
}

void Telemetry::step(qint64 fromMs, double dtMs) {
    const double target = targetWatts(fromMs);
    forwardW_ = approach(forwardW_, target, dtMs, target > forwardW_ ? RiseTauMs : FallTauMs);
    if (forwardW_ < 0.5 && target == 0.0)
        forwardW_ = 0.0;

    if (forwardW_ >= SwrThresholdW)
        swrMeter_ = approach(swrMeter_, antennaSwr(in_.band), dtMs, SwrMeterTauMs);
    else
        swrMeter_ = 1.0;

    const double settle = std::min(AmbientC + KelvinPerWatt * dissipationW(), MaxTemperatureC);
    temperatureC_ =
        std::clamp(approach(temperatureC_, settle, dtMs, ThermalTauMs), AmbientC, MaxTemperatureC);
}

double Telemetry::dissipationW() const {
    if (!in_.operate)
        return 0.0;
    return std::max(0.0, nominalVoltage(in_.paHigh) * currentA() - forwardW_);
}

double Telemetry::reflectedWatts() const {
    const double s = antennaSwr(in_.band);
    const double gamma = (s - 1.0) / (s + 1.0);
    return forwardW_ * gamma * gamma;
}

double Telemetry::currentA() const {
    if (!in_.operate)
        return StandbyCurrentA;
    return BiasCurrentA + forwardW_ / (nominalVoltage(in_.paHigh) * Efficiency);
}

double Telemetry::voltageV() const {
    return nominalVoltage(in_.paHigh) - SagVoltsPerAmp * currentA();
}

Reading Telemetry::reading() const {
    Reading r;
    r.forwardLevel = roundClamped(14.0 * forwardW_ / FullScaleWatts, 0, 15);
    r.reflectedLevel = roundClamped(5.0 * reflectedWatts() / ReflectedFullScaleW, 0, 5);
    r.swrX10 = forwardW_ >= SwrThresholdW ? roundClamped(swrMeter_ * 10.0, 10, 255) : 0;
    r.voltageRaw = roundClamped(voltageV() * 2.5, 0, 255);
    r.currentRaw = roundClamped(currentA() * 5.0, 0, 255);
    r.temperatureC = roundClamped(temperatureC_, 0, 255);
    return r;
}

} // namespace tarn::sim
