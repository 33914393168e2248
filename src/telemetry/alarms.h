#pragma once

#include "telemetry/sample.h"

#include <QString>
#include <QStringList>
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
    bool swrEnabled = true;
    bool temperatureEnabled = true;
    bool commLost = true;
    // Silence after the last whole frame that counts as communication lost.
    int commLostAfterMs = 500;
};

// Most severe first: the alarm line shows them in this order.
enum class AlarmKind : std::uint8_t { Protection, Swr, Temperature, CommLost };
inline constexpr std::array<AlarmKind, 4> AllAlarms{AlarmKind::Protection, AlarmKind::Swr,
                                                    AlarmKind::Temperature, AlarmKind::CommLost};
QString alarmName(AlarmKind kind);

// How far the panel's own force standby got. Sent means the frame left this computer;
// only Confirmed (a status frame with Operate off) proves it.
enum class StandbyStage : std::uint8_t { None, Requested, Written, Sent, Confirmed, Failed };

struct AlarmStatus {
    bool active = false;       // the condition holds (raised, not yet cleared)
    bool shown = false;        // latched: active, or cleared but not yet acknowledged
    bool acknowledged = false; // for this raise
    qint64 raisedAtMs = 0;     // wall clock, for the label
    double worst = 0;          // highest value while active
    StandbyStage standby = StandbyStage::None;
    QString standbyWhy;
    std::optional<qint64> shelvedUntilMono;

    bool unacknowledged() const { return shown && !acknowledged; }
};

// One line of the journal.
struct AlarmEvent {
    qint64 wallMs = 0;
    QString event;
    std::optional<AlarmKind> kind; // none for the exit's force standby
    std::optional<double> value;
    std::optional<double> limit;
    QString detail;
};

// Watches SWR and temperature against their limits, the protection flag and the line.
//
// A value continuously above its limit for the hold time raises its alarm: "-.-" (no SWR
// reading), a silent line and a gap restart the hold. It clears once the value has stayed at
// or below the limit less a hysteresis for the hold time, readings only. A trip raises at once
// and clears when the flag has been off for the hold time. An alarm stays shown until it is
// acknowledged, even after it cleared; a raise after a clear needs a new acknowledge.
//
// With automatic standby, every status frame showing Operate with the value over its limit
// while the alarm is active asks for force standby (a trip: once it has held), at most once a
// second; an unconfirmed one is tried three times a second apart, then reported failed, and
// not asked again until the amplifier was seen in standby or an alarm is raised anew.
// Communication lost is raised on the poller's silence once the last frame is that old, never
// before the first frame or after the operator closed the port, and never sends standby.
//
// Pure: every time comes in as an argument, and the port is reached through the hooks only.
class AlarmMonitor {
public:
    static constexpr double SwrHysteresis = 0.1;
    static constexpr double TemperatureHysteresisC = 2.0;
    static constexpr qint64 StandbyRetryMs = 1'000;
    static constexpr int StandbyTries = 3;
    static constexpr qint64 MaxShelveMs = 8 * 3'600'000;

    void setSettings(const AlarmSettings& settings);
    const AlarmSettings& settings() const { return settings_; }

    // True when anything the alarm line shows changed.
    bool update(const Sample& s, qint64 monoMs);
    // The poller's silence signal: holds start over; communication lost once due.
    bool lineSilent(Stamp now);
    // The operator closed the port, or the line went to the bootloader: silence is expected.
    bool lineClosed(Stamp now);
    // About once a second, frames or not: standby retries, shelving's expiry.
    bool tick(Stamp now);
    // Silences every shown alarm; cleared ones go.
    bool acknowledge(Stamp now);
    // Hides and silences one alarm for `ms` (at most MaxShelveMs; 0 ends it). Automatic
    // standby still acts.
    bool shelve(AlarmKind kind, qint64 ms, Stamp now);
    // The queued force-standby write's outcome: empty `why` when it was written.
    bool standbyWritten(const QString& why, Stamp now);

    const AlarmStatus& status(AlarmKind kind) const { return guards_[std::size_t(kind)].status; }
    bool shelved(AlarmKind kind) const { return status(kind).shelvedUntilMono.has_value(); }
    // Shown and not shelved: what the line and the marks show.
    bool visible(AlarmKind kind) const { return status(kind).shown && !shelved(kind); }
    bool anyActive() const;
    bool soundDue() const;

    // Queues the force-standby frame; standbyWritten() tells how it went.
    std::function<void()> requestStandby;
    // True once nothing written waits in this computer any more.
    std::function<bool()> standbyLeft;
    // Every journal line.
    std::function<void(const AlarmEvent&)> onEvent;

private:
    struct Guard {
        std::optional<qint64> overSince;
        std::optional<qint64> underSince;
        std::optional<qint64> raisedAtMono;
        bool standbyAsked = false; // this raise already joined a standby
        AlarmStatus status;
    };
    struct Attempt {
        StandbyStage stage = StandbyStage::None;
        int tries = 0;
        std::optional<qint64> lastTryMono;
        std::array<bool, 4> kinds{};
    };
    Guard& guard(AlarmKind k) { return guards_[std::size_t(k)]; }
    bool step(AlarmKind kind, std::optional<double> value, double limit, double hysteresis,
              qint64 raiseHoldMs, Stamp now);
    void restartHolds();
    // A fresh raise of `kind` at `now`, shown; its shelf outlives it. The caller tells the
    // journal once it has filled in the rest.
    AlarmStatus& raise(AlarmKind kind, Stamp now);
    // Ends `kind`; a raise nobody acknowledged stays shown, latched.
    void clear(AlarmKind kind, Stamp now, std::optional<double> value, const QString& detail = {});
    void askStandby(AlarmKind kind, Stamp now);
    bool followStandby(std::optional<bool> operate, Stamp now);
    void setStage(StandbyStage stage, const QString& why, Stamp now);
    void writeTry(Stamp now);
    bool expireShelves(Stamp now);
    void emitEvent(Stamp now, const QString& event, AlarmKind kind,
                   std::optional<double> value = {}, const QString& detail = {});
    std::optional<double> limitOf(AlarmKind kind) const;

    AlarmSettings settings_;
    std::array<Guard, 4> guards_{};
    Attempt attempt_;
    std::optional<qint64> lastFrameMono_;
    // Three tries failed: no more until the amplifier is seen in standby or a new raise.
    bool gaveUp_ = false;
};

// The alarm line's parts for the most severe visible alarm (whole phrases, in the order they
// may be dropped from the end), and how many others are visible.
struct AlarmLineParts {
    QStringList phrases;
    int others = 0;
};
AlarmLineParts alarmLineParts(const AlarmMonitor& monitor);
// The whole text: every visible alarm, most severe first, "" when none.
QString alarmLine(const AlarmMonitor& monitor);
// The alarms shelved at `monoMs` and the minutes each has left ("SWR shelved, 25 min left"),
// "" when none: shelving hides an alarm, so the operator must find it somewhere.
QString shelvedLine(const AlarmMonitor& monitor, qint64 monoMs);
// The most severe alarm's text with the count of the others, made of as many whole phrases as
// `fits` accepts: a word is never cut.
QString fittedAlarmLine(const AlarmLineParts& parts,
                        const std::function<bool(const QString&)>& fits);

} // namespace tarn::telemetry
