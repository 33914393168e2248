#pragma once

#include "frames.h"
#include "telemetry.h"

#include <QtGlobal>
#include <optional>

namespace tarn::sim {

// The amplifier's front-panel logic: operate/standby, protection, band, gain, supply and the
// bootloader, with the power stage's telemetry behind it. Every call carries the time it
// happens at; the object never looks at a clock itself.
class Amplifier {
public:
    static constexpr int MinBand = 1;
    static constexpr int MaxBand = 10;
    static constexpr int MaxGain = 8;
    static constexpr qint64 DefaultBootloaderMs = 40'000;

    explicit Amplifier(qint64 bootloaderMs = DefaultBootloaderMs, qint64 nowMs = 0);

    // Ends a bootloader run whose time is up and moves the telemetry along.
    void advanceTo(qint64 nowMs);

    // False when the command changed nothing because the amplifier could not take it: the
    // bootloader is running, or a band change was asked for while transmitting (the band relays
    // are never switched under power).
    bool apply(Command command, qint64 nowMs);

    // The exciter's PTT line.
    void setTransmitKey(bool on, qint64 nowMs);
    void trip(qint64 nowMs);
    void reset(qint64 nowMs);
    // The OPER key on the amplifier itself: operate unless tripped.
    void operateAtFront(qint64 nowMs);

    // A slowly failing antenna on a hot day: keyed in operate, the SWR and the heatsink creep
    // upward over `rampMs` until the protection trips; after RecoverMs the latch is cleared,
    // operate comes back and the creep starts again.
    static constexpr qint64 DriftRecoverMs = 4'000;
    static constexpr double DriftSwrRise = 2.6; // added at the end of the ramp
    static constexpr double DriftHeatRiseC = 60.0;
    static constexpr int DriftTripSwrX10 = 40;
    static constexpr int DriftTripTemperatureC = 85;
    void startDrift(qint64 rampMs, qint64 nowMs);
    bool drifting() const { return driftRampMs_ > 0; }

    // Nothing is answered while the bootloader runs.
    bool answering() const { return !bootloaderEndsAtMs_; }
    std::optional<qint64> bootloaderEndsAtMs() const { return bootloaderEndsAtMs_; }

    bool operate() const { return operate_; }
    bool tripped() const { return tripped_; }
    bool autoBand() const { return autoBand_; }
    bool transmitKey() const { return transmitKey_; }
    bool transmitting() const { return operate_ && transmitKey_ && !tripped_ && answering(); }
    int band() const { return band_; }
    int gain() const { return gain_; }
    bool paHigh() const { return paHigh_; }
    const Telemetry& telemetry() const { return telemetry_; }

    // Body of the status frame for the current state; `spare` goes into the free last byte.
    StatusBody statusBody(std::uint8_t spare) const;

private:
    void syncTelemetry(qint64 nowMs);
    void advanceDrift(qint64 nowMs);
    // How far along the ramp the creep is, 0 to 1.
    double driftFraction() const;

    qint64 bootloaderMs_;
    std::optional<qint64> bootloaderEndsAtMs_;
    bool operate_ = false;
    bool tripped_ = false;
    bool autoBand_ = false;
    bool transmitKey_ = false;
    bool paHigh_ = true;
    int band_ = 5;
    int gain_ = 4;
    Telemetry telemetry_;
    qint64 driftRampMs_ = 0;
    qint64 driftStartMs_ = 0;
    qint64 driftNowMs_ = 0;
    std::optional<qint64> driftRecoverAtMs_;
};

} // namespace tarn::sim
