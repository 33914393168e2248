#include "core/announcements.h"

#include <algorithm>
#include <limits>

namespace tarn::core {

namespace {
QString onOff(const char* what, bool on) {
    return QLatin1String(what) + (on ? QLatin1String(": on") : QLatin1String(": off"));
}
} // namespace

void Announcements::change(Topic topic, const QString& text) {
    Entry& e = topics_[topic];
    // Alarms are events, not states: one that rises while another waits is said with it.
    if (topic == Alarm && e.latest)
        e.latest = *e.latest + QLatin1String(". ") + text;
    else if (text == e.said)
        e.latest.reset();
    else
        e.latest = text;
}

void Announcements::status(const protocol::StatusFields& f) {
    if (std::exchange(silent_, false))
        change(Communication, CommunicationBack);
    const std::pair<Topic, QString> states[] = {
        {Protection, onOff("Protection", f.Protection_Active)},
        {Operate, onOff("Operate", f.Operate)},
        {Transmit, onOff("Transmit", f.Transmit)},
        {Band, QStringLiteral("Band: ") + f.band},
        {Gain, QStringLiteral("Gain: ") + f.gain}};
    for (const auto& [topic, text] : states) {
        if (known_)
            change(topic, text);
        else
            topics_[topic].said = text;
    }
    known_ = true;
}

void Announcements::silent() {
    if (!std::exchange(silent_, true))
        change(Communication, NoCommunication);
}

void Announcements::alarmLine(const QString& text) {
    QStringList parts;
    for (QString p : text.split(QStringLiteral("; "), Qt::SkipEmptyParts)) {
        // A lost line is said as "No Communication" and its end, not again as an alarm.
        if (p.contains(QLatin1String("Communication lost")))
            continue;
        // Who acknowledged an alarm knows it: only news is said again (standby's steps, clearing).
        if (p.startsWith(QLatin1String("UNACK ")))
            p.remove(0, 6);
        parts << p;
    }
    QStringList fresh;
    for (const QString& p : parts)
        if (!alarms_.contains(p))
            fresh << p;
    const bool cleared = parts.isEmpty() && !alarms_.isEmpty();
    alarms_ = parts;
    if (!fresh.isEmpty())
        change(Alarm, QStringLiteral("Alarm: ") + fresh.join(QStringLiteral("; ")));
    else if (cleared)
        change(Alarm, QStringLiteral("Alarm cleared"));
}

qint64 Announcements::dueAt(const Entry& e) const {
    // Clocks start at zero: a topic never said, or an alarm, is due at once.
    if (!e.saidAt || &e == &topics_[Alarm])
        return 0;
    return *e.saidAt + MinGapMs;
}

QString Announcements::take(qint64 now) {
    QStringList parts;
    if (lastSaid_ && now < *lastSaid_ + SpacingMs)
        return {};
    for (Entry& e : topics_) {
        if (!e.latest || now < dueAt(e))
            continue;
        parts << *e.latest;
        e.said = *std::exchange(e.latest, std::nullopt);
        e.saidAt = now;
    }
    if (!parts.isEmpty())
        lastSaid_ = now;
    return parts.join(QStringLiteral(". "));
}

std::optional<qint64> Announcements::nextDue() const {
    std::optional<qint64> due;
    for (const Entry& e : topics_)
        if (e.latest)
            due = std::min(due.value_or(std::numeric_limits<qint64>::max()), dueAt(e));
    if (due && lastSaid_)
        due = std::max(*due, *lastSaid_ + SpacingMs);
    return due;
}

} // namespace tarn::core
