#include "amplifier.h"

#include <algorithm>

namespace tarn::sim {

Amplifier::Amplifier(qint64 bootloaderMs, qint64 nowMs)
    : bootloaderMs_(std::max<qint64>(0, bootloaderMs)), telemetry_(nowMs) {
    syncTelemetry(nowMs);
}

void Amplifier::advanceTo(qint64 nowMs) {
    if (bootloaderEndsAtMs_ && nowMs >= *bootloaderEndsAtMs_) {
        const qint64 endMs = *bootloaderEndsAtMs_;
        // A fresh start: standby, protection latch cleared, settings kept.
        bootloaderEndsAtMs_.reset();
        operate_ = false;
        tripped_ = false;
        syncTelemetry(endMs);
    }
    telemetry_.advanceTo(nowMs);
    advanceDrift(nowMs);
}

void Amplifier::startDrift(qint64 rampMs, qint64 nowMs) {
    advanceTo(nowMs);
    driftRampMs_ = std::max<qint64>(1, rampMs);
    driftStartMs_ = nowMs;
    driftNowMs_ = nowMs;
    driftRecoverAtMs_.reset();
    operate_ = true;
    transmitKey_ = true;
    syncTelemetry(nowMs);
}

double Amplifier::driftFraction() const {
    if (!drifting() || tripped_)
        return 0.0;
    return std::clamp(double(driftNowMs_ - driftStartMs_) / double(driftRampMs_), 0.0, 1.0);
}

void Amplifier::advanceDrift(qint64 nowMs) {
    if (!drifting() || nowMs < driftNowMs_)
        return;
    driftNowMs_ = nowMs;
    if (driftRecoverAtMs_) {
        if (nowMs < *driftRecoverAtMs_)
            return;
        driftRecoverAtMs_.reset();
        tripped_ = false;
        operate_ = true;
        transmitKey_ = true;
        driftStartMs_ = nowMs;
        syncTelemetry(nowMs);
        telemetry_.advanceTo(nowMs);
        return;
    }
    if (!answering())
        return;
    const StatusBody body = statusBody(0);
    if (body[3] >= DriftTripSwrX10 || body[6] >= DriftTripTemperatureC || driftFraction() >= 1.0) {
        tripped_ = true;
        operate_ = false;
        driftRecoverAtMs_ = nowMs + DriftRecoverMs;
        syncTelemetry(nowMs);
        telemetry_.advanceTo(nowMs);
    }
}

bool Amplifier::apply(Command command, qint64 nowMs) {
    advanceTo(nowMs);
    if (!answering())
        return false;
    bool taken = true;
    switch (command) {
    case Command::ToggleOperate:
        // After a trip the first press only acknowledges it; operate needs a second press.
        if (tripped_)
            tripped_ = false;
        else
            operate_ = !operate_;
        break;
    case Command::PaVoltageHigh:
        paHigh_ = true;
        break;
    case Command::PaVoltageLow:
        paHigh_ = false;
        break;
    case Command::ForceStandby:
        operate_ = false;
        break;
    case Command::StartBootloader:
        operate_ = false;
        bootloaderEndsAtMs_ = nowMs + bootloaderMs_;
        break;
    case Command::GainUp:
        gain_ = std::min(gain_ + 1, MaxGain);
        break;
    case Command::GainDown:
        gain_ = std::max(gain_ - 1, 0);
        break;
    case Command::AutoBand:
        autoBand_ = !autoBand_;
        break;
    case Command::BandUp:
    case Command::BandDown:
        if (transmitting()) {
            taken = false;
            break;
        }
        autoBand_ = false;
        if (command == Command::BandUp)
            band_ = band_ >= MaxBand ? MinBand : band_ + 1;
        else
            band_ = band_ <= MinBand ? MaxBand : band_ - 1;
        break;
    case Command::Poll:
    case Command::TestSpace:
        break;
    }
    syncTelemetry(nowMs);
    // A zero-length bootloader run is over as soon as it starts.
    advanceTo(nowMs);
    return taken;
}

void Amplifier::setTransmitKey(bool on, qint64 nowMs) {
    advanceTo(nowMs);
    transmitKey_ = on;
    syncTelemetry(nowMs);
}

void Amplifier::trip(qint64 nowMs) {
    advanceTo(nowMs);
    if (!answering())
        return;
    tripped_ = true;
    operate_ = false;
    syncTelemetry(nowMs);
}

void Amplifier::operateAtFront(qint64 nowMs) {
    advanceTo(nowMs);
    // The front panel obeys whatever the line asked to ignore: it is not a command frame.
    if (answering() && !tripped_)
        operate_ = true;
    syncTelemetry(nowMs);
}

void Amplifier::reset(qint64 nowMs) {
    advanceTo(nowMs);
    tripped_ = false;
    syncTelemetry(nowMs);
}

void Amplifier::syncTelemetry(qint64 nowMs) {
    TelemetryInputs in;
    in.operate = operate_ && answering();
    in.transmitting = transmitting();
    in.band = band_;
    in.gain = gain_;
    in.paHigh = paHigh_;
    telemetry_.setInputs(in, nowMs);
}

StatusBody Amplifier::statusBody(std::uint8_t spare) const {
    Reading r = telemetry_.reading();
    if (const double f = driftFraction(); f > 0) {
        if (r.swrX10 > 0)
            r.swrX10 = std::clamp(int(r.swrX10 + DriftSwrRise * 10 * f + 0.5), 10, 255);
        r.temperatureC = std::clamp(int(r.temperatureC + DriftHeatRiseC * f + 0.5), 0, 255);
    }
    std::uint8_t flags = 0;
    if (tripped_)
        flags |= statusflag::ProtectionTripped;
    if (operate_)
        flags |= statusflag::Operate;
    if (autoBand_)
        flags |= statusflag::AutoBand;
    if (transmitting())
        flags |= statusflag::Transmitting;
    return StatusBody{
        flags,
        std::uint8_t((gain_ << 4) | band_),
        std::uint8_t((r.reflectedLevel << 4) | r.forwardLevel),
        std::uint8_t(r.swrX10),
        std::uint8_t(r.voltageRaw),
        std::uint8_t(r.currentRaw),
        std::uint8_t(r.temperatureC),
        spare,
    };
}

} // namespace tarn::sim
