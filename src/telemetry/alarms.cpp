#include "telemetry/alarms.h"

#include <QDateTime>
#include <QLocale>
#include <algorithm>

namespace tarn::telemetry {

namespace {
bool inProgress(StandbyStage s) {
    return s == StandbyStage::Requested || s == StandbyStage::Written || s == StandbyStage::Sent;
}
} // namespace

QString alarmName(AlarmKind kind) {
    switch (kind) {
    case AlarmKind::Protection:
        return QStringLiteral("Protection");
    case AlarmKind::Swr:
        return QStringLiteral("SWR");
    case AlarmKind::Temperature:
        return QStringLiteral("Temperature");
    case AlarmKind::CommLost:
        break;
    }
    return QStringLiteral("Communication lost");
}

void AlarmMonitor::setSettings(const AlarmSettings& settings) {
    settings_ = settings;
    // Switching an alarm off ends it, latch and all: only then does its standby stop too.
    const std::pair<AlarmKind, bool> enabled[] = {
        {AlarmKind::Swr, settings.swrEnabled},
        {AlarmKind::Temperature, settings.temperatureEnabled},
        {AlarmKind::CommLost, settings.commLost}};
    for (const auto& [kind, on] : enabled)
        if (!on)
            guard(kind) = Guard{};
}

std::optional<double> AlarmMonitor::limitOf(AlarmKind kind) const {
    switch (kind) {
    case AlarmKind::Swr:
        return settings_.swrLimit;
    case AlarmKind::Temperature:
        return settings_.temperatureLimitC;
    case AlarmKind::CommLost:
        return settings_.commLostAfterMs;
    case AlarmKind::Protection:
        break;
    }
    return std::nullopt;
}

void AlarmMonitor::emitEvent(Stamp now, const QString& event, AlarmKind kind,
                             std::optional<double> value, const QString& detail) {
    if (onEvent)
        onEvent({now.wallMs, event, kind, value, limitOf(kind), detail});
}

bool AlarmMonitor::step(AlarmKind kind, std::optional<double> value, double limit,
                        double hysteresis, qint64 raiseHoldMs, Stamp now) {
    Guard& g = guard(kind);
    AlarmStatus& st = g.status;
    if (!value) {
        // No reading proves nothing either way: both holds start over.
        g.overSince.reset();
        g.underSince.reset();
        return false;
    }
    if (!st.active) {
        g.underSince.reset();
        if (*value <= limit) {
            g.overSince.reset();
            return false;
        }
        if (!g.overSince)
            g.overSince = now.monoMs;
        if (now.monoMs - *g.overSince < raiseHoldMs)
            return false;
        raise(kind, now).worst = *value;
        g.raisedAtMono = now.monoMs;
        g.standbyAsked = false;
        gaveUp_ = false;
        g.overSince.reset();
        emitEvent(now, QStringLiteral("raise"), kind, value);
        return true;
    }
    const bool worse = *value > st.worst;
    st.worst = std::max(st.worst, *value);
    if (*value > limit - hysteresis) {
        g.underSince.reset();
        return worse;
    }
    if (!g.underSince)
        g.underSince = now.monoMs;
    if (now.monoMs - *g.underSince < settings_.holdMs)
        return worse;
    clear(kind, now, value);
    return true;
}

AlarmStatus& AlarmMonitor::raise(AlarmKind kind, Stamp now) {
    AlarmStatus& st = guard(kind).status;
    const auto shelf = st.shelvedUntilMono;
    st = AlarmStatus{};
    st.shelvedUntilMono = shelf;
    st.active = st.shown = true;
    st.raisedAtMs = now.wallMs;
    return st;
}

void AlarmMonitor::clear(AlarmKind kind, Stamp now, std::optional<double> value,
                         const QString& detail) {
    AlarmStatus& st = guard(kind).status;
    st.active = false;
    st.shown = !st.acknowledged;
    emitEvent(now, QStringLiteral("clear"), kind, value, detail);
}

bool AlarmMonitor::update(const Sample& s, qint64 monoMs) {
    const Stamp now{.monoMs = monoMs, .wallMs = s.timeMs};
    const StandbyStage before = attempt_.stage;
    lastFrameMono_ = monoMs;
    bool changed = expireShelves(now);
    if (guard(AlarmKind::CommLost).status.active) {
        clear(AlarmKind::CommLost, now, {}, QStringLiteral("communication restored"));
        changed = true;
    }
    const qint64 hold = settings_.holdMs;
    const std::optional<double> swr = s.swr();
    const double temperature = s.temperature();
    if (settings_.swrEnabled)
        changed |= step(AlarmKind::Swr, swr, settings_.swrLimit, SwrHysteresis, hold, now);
    if (settings_.temperatureEnabled)
        changed |= step(AlarmKind::Temperature, temperature, settings_.temperatureLimitC,
                        TemperatureHysteresisC, hold, now);
    // A trip needs no confirmation: the amplifier has already acted.
    changed |= step(AlarmKind::Protection, s.has(Sample::Protection) ? 1.0 : 0.0, 0.5, 0.5, 0, now);

    const bool operate = s.has(Sample::Operate);
    if (!operate)
        gaveUp_ = false;
    if (settings_.autoStandby) {
        const Guard& w = guard(AlarmKind::Swr);
        if (w.status.active && operate && swr && *swr > settings_.swrLimit)
            askStandby(AlarmKind::Swr, now);
        const Guard& t = guard(AlarmKind::Temperature);
        if (t.status.active && operate && temperature > settings_.temperatureLimitC)
            askStandby(AlarmKind::Temperature, now);
        const Guard& p = guard(AlarmKind::Protection);
        if (p.status.active && !p.standbyAsked && monoMs - *p.raisedAtMono >= hold)
            askStandby(AlarmKind::Protection, now);
    }
    changed |= followStandby(operate, now);
    return changed || before != attempt_.stage;
}

void AlarmMonitor::restartHolds() {
    for (Guard& g : guards_) {
        g.overSince.reset();
        g.underSince.reset();
    }
}

bool AlarmMonitor::lineSilent(Stamp now) {
    restartHolds();
    return tick(now);
}

bool AlarmMonitor::lineClosed(Stamp now) {
    restartHolds();
    lastFrameMono_.reset();
    if (!guard(AlarmKind::CommLost).status.active)
        return false;
    clear(AlarmKind::CommLost, now, {}, QStringLiteral("the port was closed"));
    return true;
}

bool AlarmMonitor::tick(Stamp now) {
    bool changed = expireShelves(now);
    const StandbyStage before = attempt_.stage;
    changed |= followStandby(std::nullopt, now);
    // A timer may fire a little early; a tenth of the bound is far below any poll period.
    const qint64 bound = settings_.commLostAfterMs - settings_.commLostAfterMs / 10;
    if (settings_.commLost && lastFrameMono_ && !guard(AlarmKind::CommLost).status.active &&
        now.monoMs - *lastFrameMono_ >= bound) {
        raise(AlarmKind::CommLost, now);
        emitEvent(now, QStringLiteral("raise"), AlarmKind::CommLost,
                  double(now.monoMs - *lastFrameMono_));
        changed = true;
    }
    return changed || before != attempt_.stage;
}

bool AlarmMonitor::acknowledge(Stamp now) {
    bool changed = false;
    for (AlarmKind kind : AllAlarms) {
        AlarmStatus& st = guard(kind).status;
        if (!st.unacknowledged())
            continue;
        st.acknowledged = true;
        st.shown = st.active;
        emitEvent(now, QStringLiteral("acknowledge"), kind);
        changed = true;
    }
    return changed;
}

bool AlarmMonitor::shelve(AlarmKind kind, qint64 ms, Stamp now) {
    AlarmStatus& st = guard(kind).status;
    ms = std::clamp<qint64>(ms, 0, MaxShelveMs);
    if (ms == 0) {
        if (!st.shelvedUntilMono)
            return false;
        st.shelvedUntilMono.reset();
        emitEvent(now, QStringLiteral("unshelve"), kind);
        return true;
    }
    st.shelvedUntilMono = now.monoMs + ms;
    emitEvent(now, QStringLiteral("shelve"), kind, {},
              QStringLiteral("for %1 min").arg((ms + 59'999) / 60'000));
    return true;
}

bool AlarmMonitor::expireShelves(Stamp now) {
    bool changed = false;
    for (AlarmKind kind : AllAlarms) {
        AlarmStatus& st = guard(kind).status;
        if (st.shelvedUntilMono && now.monoMs >= *st.shelvedUntilMono) {
            st.shelvedUntilMono.reset();
            emitEvent(now, QStringLiteral("unshelve"), kind, {}, QStringLiteral("expired"));
            changed = true;
        }
    }
    return changed;
}

void AlarmMonitor::askStandby(AlarmKind kind, Stamp now) {
    Guard& g = guard(kind);
    g.standbyAsked = true;
    if (inProgress(attempt_.stage)) {
        if (!std::exchange(attempt_.kinds[std::size_t(kind)], true))
            g.status.standby = attempt_.stage;
        return;
    }
    if (gaveUp_ || (attempt_.lastTryMono && now.monoMs - *attempt_.lastTryMono < StandbyRetryMs))
        return;
    attempt_ = Attempt{};
    attempt_.kinds[std::size_t(kind)] = true;
    setStage(StandbyStage::Requested, {}, now);
    writeTry(now);
}

void AlarmMonitor::writeTry(Stamp now) {
    ++attempt_.tries;
    attempt_.lastTryMono = now.monoMs;
    if (requestStandby)
        requestStandby();
    else
        standbyWritten(QStringLiteral("nothing can write to the port"), now);
}

bool AlarmMonitor::standbyWritten(const QString& why, Stamp now) {
    if (!inProgress(attempt_.stage))
        return false;
    const StandbyStage before = attempt_.stage;
    if (!why.isEmpty()) {
        // Tried again a second later; the last reason is what the operator reads.
        for (Guard& g : guards_)
            if (attempt_.kinds[std::size_t(&g - guards_.data())])
                g.status.standbyWhy = why;
    } else {
        if (attempt_.stage == StandbyStage::Requested)
            setStage(StandbyStage::Written, {}, now);
        followStandby(std::nullopt, now);
    }
    return before != attempt_.stage;
}

void AlarmMonitor::setStage(StandbyStage stage, const QString& why, Stamp now) {
    attempt_.stage = stage;
    std::optional<AlarmKind> first;
    for (AlarmKind kind : AllAlarms) {
        if (!attempt_.kinds[std::size_t(kind)])
            continue;
        AlarmStatus& st = guard(kind).status;
        st.standby = stage;
        st.standbyWhy = why;
        if (!first)
            first = kind;
    }
    const QString event = stage == StandbyStage::Sent        ? QStringLiteral("standby sent")
                          : stage == StandbyStage::Confirmed ? QStringLiteral("standby confirmed")
                          : stage == StandbyStage::Failed    ? QStringLiteral("standby failed")
                                                             : QString();
    if (first && !event.isEmpty())
        emitEvent(now, event, *first, {},
                  QStringLiteral("try %1 of %2%3")
                      .arg(attempt_.tries)
                      .arg(StandbyTries)
                      .arg(why.isEmpty() ? QString() : QStringLiteral(": ") + why));
}

bool AlarmMonitor::followStandby(std::optional<bool> operate, Stamp now) {
    if (!inProgress(attempt_.stage))
        return false;
    const StandbyStage before = attempt_.stage;
    if (attempt_.stage == StandbyStage::Written && (!standbyLeft || standbyLeft()))
        setStage(StandbyStage::Sent, {}, now);
    const bool written = attempt_.stage != StandbyStage::Requested;
    if (written && operate && !*operate) {
        setStage(StandbyStage::Confirmed, {}, now);
        return true;
    }
    if (now.monoMs - *attempt_.lastTryMono >= StandbyRetryMs) {
        if (attempt_.tries < StandbyTries) {
            writeTry(now);
        } else {
            QString why;
            for (const Guard& g : guards_)
                if (attempt_.kinds[std::size_t(&g - guards_.data())] && why.isEmpty())
                    why = g.status.standbyWhy;
            setStage(StandbyStage::Failed, why.isEmpty() ? QStringLiteral("not confirmed") : why,
                     now);
            gaveUp_ = true;
        }
    }
    return before != attempt_.stage;
}

bool AlarmMonitor::anyActive() const {
    return std::any_of(guards_.begin(), guards_.end(),
                       [](const Guard& g) { return g.status.active; });
}

bool AlarmMonitor::soundDue() const {
    if (!settings_.sound)
        return false;
    return std::any_of(AllAlarms.begin(), AllAlarms.end(),
                       [this](AlarmKind k) { return visible(k) && status(k).unacknowledged(); });
}

namespace {
QStringList phrasesOf(const AlarmMonitor& monitor, AlarmKind kind) {
    const AlarmStatus& st = monitor.status(kind);
    const QLocale c = QLocale::c();
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
    case AlarmKind::CommLost:
        text = QStringLiteral("Communication lost at %1").arg(at);
        break;
    }
    // The mark is a word, so it reads the same without colour and to a screen reader.
    QStringList phrases{st.acknowledged ? text : QStringLiteral("UNACK ") + text};
    switch (st.standby) {
    case StandbyStage::None:
        break;
    case StandbyStage::Requested:
        phrases << QStringLiteral("STBY sending");
        break;
    case StandbyStage::Written:
        phrases << QStringLiteral("STBY written");
        break;
    case StandbyStage::Sent:
        phrases << QStringLiteral("STBY sent");
        break;
    case StandbyStage::Confirmed:
        phrases << QStringLiteral("STBY confirmed");
        break;
    case StandbyStage::Failed:
        phrases << QStringLiteral("STBY failed: ") + st.standbyWhy;
        break;
    }
    if (!st.active)
        phrases << QStringLiteral("cleared");
    return phrases;
}
} // namespace

AlarmLineParts alarmLineParts(const AlarmMonitor& monitor) {
    AlarmLineParts parts;
    for (AlarmKind kind : AllAlarms) {
        if (!monitor.visible(kind))
            continue;
        if (parts.phrases.isEmpty())
            parts.phrases = phrasesOf(monitor, kind);
        else
            ++parts.others;
    }
    return parts;
}

QString alarmLine(const AlarmMonitor& monitor) {
    QStringList all;
    for (AlarmKind kind : AllAlarms)
        if (monitor.visible(kind))
            all << phrasesOf(monitor, kind).join(QStringLiteral(", "));
    return all.join(QStringLiteral("; "));
}

QString shelvedLine(const AlarmMonitor& monitor, qint64 monoMs) {
    QStringList parts;
    for (AlarmKind kind : AllAlarms) {
        if (const auto until = monitor.status(kind).shelvedUntilMono; until) {
            const qint64 left = std::max<qint64>(0, *until - monoMs);
            parts << QStringLiteral("%1 shelved, %2 min left")
                         .arg(alarmName(kind))
                         .arg((left + 59'999) / 60'000);
        }
    }
    return parts.join(QStringLiteral("; "));
}

QString fittedAlarmLine(const AlarmLineParts& parts,
                        const std::function<bool(const QString&)>& fits) {
    if (parts.phrases.isEmpty())
        return {};
    const QString more =
        parts.others > 0 ? QStringLiteral(" (+%1 more)").arg(parts.others) : QString();
    for (qsizetype n = parts.phrases.size(); n > 1; --n) {
        const QString text = parts.phrases.first(n).join(QStringLiteral(", ")) + more;
        if (fits(text))
            return text;
    }
    // Not even the first phrase: as many of its words as fit, never part of one.
    QStringList words = parts.phrases.first().split(QLatin1Char(' '));
    while (words.size() > 1 && !fits(words.join(QLatin1Char(' ')) + more))
        words.removeLast();
    return words.join(QLatin1Char(' ')) + more;
}

} // namespace tarn::telemetry
