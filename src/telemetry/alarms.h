#pragma once

#include "telemetry/sample.h"

#include <QString>
#include <QtGlobal>
#include <array>
#include <functional>
#include <optional>

namespace tarn::telemetry {

struct AlarmSettings {
    double swrLimit = 2.5;
    int temperatureLimitC = 70;
    int holdMs = 1'000;
    bool sound = true;
    // Sends the force-standby frame once an alarm has held; off unless the operator asks.
    bool autoStandby = false;
};

enum class AlarmKind : std::uint8_t { Swr, Temperature, Protection };
inline constexpr std::array<AlarmKind, 3> AllAlarms{AlarmKind::Swr, AlarmKind::Temperature,
                                                    AlarmKind::Protection};

struct AlarmStatus {
    bool active = false;
    bool acknowledged = false;
    qint64 raisedAtMs = 0;
    double worst = 0; // highest value while active
    enum class Standby : std::uint8_t { NotSent, Sent, Failed } standby = Standby::NotSent;
};

// Watches SWR and temperature against their limits, and the protection flag. A value above its
// limit for the hold time raises its alarm; it clears once the value has stayed at or below the
// limit less a hysteresis for the hold time. A protection trip raises at once and clears when
// the flag has been off for the hold time. "-.-" (no SWR reading) counts neither way, and a
// silent line never clears anything: only readings do.
class AlarmMonitor {
public:
    static constexpr double SwrHysteresis = 0.1;
    static constexpr double TemperatureHysteresisC = 2.0;

    void setSettings(const AlarmSettings& settings) { settings_ = settings; }
    const AlarmSettings& settings() const { return settings_; }

    // True when an alarm was raised or cleared, or standby was sent.
    bool update(const Sample& s);
    // The line fell silent: a clearing in progress starts over with the next readings.
    void lineSilent();
    // Silences the sound of the active alarms; their colour stays until they clear.
    void acknowledge();

    const AlarmStatus& status(AlarmKind kind) const { return guards_[std::size_t(kind)].status; }
    bool anyActive() const;
    bool soundDue() const;

    // Writes the force-standby frame; false when it could not be sent (port closed).
    std::function<bool()> forceStandby;

private:
    struct Guard {
        std::optional<qint64> overSince;
        std::optional<qint64> underSince;
        AlarmStatus status;
    };
    bool step(Guard& g, std::optional<double> value, double limit, double hysteresis,
              qint64 raiseHoldMs, qint64 nowMs);
    bool maybeStandby(Guard& g, qint64 nowMs);

    AlarmSettings settings_;
    std::array<Guard, 3> guards_{};
};

// The main window's alarm line: which limit was crossed and when (local time), or "" when
// nothing is active.
QString alarmLine(const AlarmMonitor& monitor);

} // namespace tarn::telemetry
