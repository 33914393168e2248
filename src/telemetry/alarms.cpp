#include "telemetry/alarms.h"

#include <QDateTime>
#include <QLocale>

namespace tarn::telemetry {

bool AlarmMonitor::step(Guard& g, std::optional<double> value, double limit, double hysteresis,
                        qint64 raiseHoldMs, qint64 nowMs) {
    if (!value)
        return false;
    AlarmStatus& st = g.status;
    if (!st.active) {
        g.underSince.reset();
        if (*value <= limit) {
            g.overSince.reset();
            return false;
        }
        if (!g.overSince)
            g.overSince = nowMs;
        if (nowMs - *g.overSince < raiseHoldMs)
            return false;
        st = AlarmStatus{};
        st.active = true;
        st.raisedAtMs = nowMs;
        st.worst = *value;
        g.overSince.reset();
        return true;
    }
    st.worst = std::max(st.worst, *value);
    if (*value > limit - hysteresis) {
        g.underSince.reset();
        return false;
    }
    if (!g.underSince)
        g.underSince = nowMs;
    if (nowMs - *g.underSince < settings_.holdMs)
        return false;
    st.active = false;
    st.acknowledged = false;
    g.underSince.reset();
    return true;
}

bool AlarmMonitor::maybeStandby(Guard& g, qint64 nowMs) {
    AlarmStatus& st = g.status;
    if (!settings_.autoStandby || !st.active || st.standby != AlarmStatus::Standby::NotSent ||
        nowMs - st.raisedAtMs <
            (&g == &guards_[std::size_t(AlarmKind::Protection)] ? qint64(settings_.holdMs) : 0))
        return false;
    const bool sent = forceStandby && forceStandby();
    st.standby = sent ? AlarmStatus::Standby::Sent : AlarmStatus::Standby::Failed;
    return true;
}

bool AlarmMonitor::update(const Sample& s) {
    const qint64 now = s.timeMs;
    const qint64 hold = settings_.holdMs;
    bool changed = false;
    changed |= step(guards_[std::size_t(AlarmKind::Swr)], s.swr(), settings_.swrLimit,
                    SwrHysteresis, hold, now);
    changed |= step(guards_[std::size_t(AlarmKind::Temperature)], double(s.temperature()),
                    settings_.temperatureLimitC, TemperatureHysteresisC, hold, now);
    // A trip needs no confirmation: the amplifier has already acted.
    changed |= step(guards_[std::size_t(AlarmKind::Protection)],
                    s.has(Sample::Protection) ? 1.0 : 0.0, 0.5, 0.5, 0, now);
    for (Guard& g : guards_)
        changed |= maybeStandby(g, now);
    return changed;
}

void AlarmMonitor::lineSilent() {
    for (Guard& g : guards_)
        g.underSince.reset();
}

void AlarmMonitor::acknowledge() {
    for (Guard& g : guards_)
        if (g.status.active)
            g.status.acknowledged = true;
}

bool AlarmMonitor::anyActive() const {
    for (const Guard& g : guards_)
        if (g.status.active)
            return true;
    return false;
}

bool AlarmMonitor::soundDue() const {
    if (!settings_.sound)
        return false;
    for (const Guard& g : guards_)
        if (g.status.active && !g.status.acknowledged)
            return true;
    return false;
}

QString alarmLine(const AlarmMonitor& monitor) {
    QStringList parts;
    const QLocale c = QLocale::c();
    for (AlarmKind kind : AllAlarms) {
        const AlarmStatus& st = monitor.status(kind);
        if (!st.active)
            continue;
        const QString at =
            QDateTime::fromMSecsSinceEpoch(st.raisedAtMs).toLocalTime().toString(u"HH:mm:ss");
        QString text;
        switch (kind) {
        case AlarmKind::Swr:
            text = QStringLiteral("SWR %1 over %2 at %3")
                       .arg(c.toString(st.worst, 'f', 1),
                            c.toString(monitor.settings().swrLimit, 'f', 1), at);
            break;
        case AlarmKind::Temperature:
            text = QStringLiteral("%1 °C over %2 °C at %3")
                       .arg(int(st.worst))
                       .arg(monitor.settings().temperatureLimitC)
                       .arg(at);
            break;
        case AlarmKind::Protection:
            text = QStringLiteral("PROTECTION at %1").arg(at);
            break;
        }
        if (st.standby == AlarmStatus::Standby::Sent)
            text += QStringLiteral(", STBY sent");
        else if (st.standby == AlarmStatus::Standby::Failed)
            text += QStringLiteral(", STBY not sent (port closed)");
        if (st.acknowledged)
            text += QStringLiteral(" (ack)");
        parts.append(text);
    }
    return parts.join(QStringLiteral("; "));
}

} // namespace tarn::telemetry
