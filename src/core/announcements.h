#pragma once

#include "protocol/status.h"

#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <array>
#include <optional>

namespace tarn::core {

// What a screen reader is told, and when. A change of operate, transmit, protection, band or
// gain, the line falling silent or coming back, and the alarm line are each a topic; a topic
// speaks at most once per MinGapMs, and then with its latest value, so keying a transmitter
// in Morse does not flood the operator. A value that went back to what was last said before
// its turn came says nothing. Meter readings are never announced: the operator asks for them.
// Time is whatever monotonic clock the caller passes.
class Announcements {
public:
    static constexpr qint64 MinGapMs = 2'000;
    // Between any two announcements. A screen reader asks for the text after it heard that
    // there is one; the next must not have replaced it by then. Changes that come meanwhile
    // are said together.
    static constexpr qint64 SpacingMs = 500;
    static inline const QString NoCommunication = QStringLiteral("No Communication");
    static inline const QString CommunicationBack = QStringLiteral("Communication restored");

    // A status frame as the display draws it. The first one only tells what the amplifier's
    // state is; later ones announce what changed.
    void status(const protocol::StatusFields& f);
    // "No Communication" shows; said once however often the time-out repeats it.
    void silent();
    // The alarm line's whole text; "" when no alarm is active. Alarms newly on the line are
    // said, not those already said; an empty line after alarms says they cleared.
    void alarmLine(const QString& text);

    // What is due now, in one sentence; "" when nothing is. What it returns counts as said.
    QString take(qint64 now);
    // When take() next has something to say; nullopt when nothing waits.
    std::optional<qint64> nextDue() const;

private:
    enum Topic { Communication, Protection, Operate, Transmit, Band, Gain, Alarm, Topics };
    struct Entry {
        QString said;                  // what the operator last heard (or was shown at start)
        std::optional<qint64> saidAt;  // when that was said; none for what was only shown
        std::optional<QString> latest; // waits for its turn
    };
    void change(Topic topic, const QString& text);
    qint64 dueAt(const Entry& e) const;

    std::array<Entry, Topics> topics_{};
    bool known_ = false;  // a status frame has set the states
    bool silent_ = false; // "No Communication" is what the display shows
    QStringList alarms_;  // the alarm line's parts already on the line
    std::optional<qint64> lastSaid_;
};

} // namespace tarn::core
