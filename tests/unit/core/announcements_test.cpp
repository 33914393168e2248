#include "core/announcements.h"

#include <gtest/gtest.h>

using tarn::core::Announcements;

namespace {
// "OTP|band|gain": operate, transmit, protection lamps on where the letter stands, '-' off.
tarn::protocol::StatusFields frame(const QString& s) {
    tarn::protocol::StatusFields f;
    f.Operate = s[0] == 'O', f.Transmit = s[1] == 'T', f.Protection_Active = s[2] == 'P';
    return f.band = s.section('|', 1, 1), f.gain = s.section('|', 2), f;
}
} // namespace

// Each step: the time, what happens ("s:" a frame, "x" silence, "a:" the alarm line, "" none),
// what is said at that time, and when the next announcement is due (-1: nothing waits).
TEST(Announcements, SaysEachChangeOnceAndAtMostEveryTwoSecondsPerTopic) {
    const std::tuple<qint64, QString, QString, qint64> steps[] = {
        {0, "s:---|3.5 MHz|G3", "", -1}, // the first frame only tells the state
        {10, "s:O--|3.5 MHz|G3", "Operate: on", -1},
        // Half a second between two announcements, whatever they say.
        {100, "s:OT-|3.5 MHz|G3", "", 510},
        {510, "", "Transmit: on", -1},
        // Morse keying: a topic's latest value two seconds after it was last said.
        {600, "s:O--|3.5 MHz|G3", "", 2510},
        {2509, "", "", 2510},
        {2510, "", "Transmit: off", -1},
        // Two topics in one frame, in one sentence; each keeps its own pace.
        {3100, "s:--P|7 MHz|G3", "Protection: on. Operate: off. Band: 7 MHz", -1},
        {3700, "s:--P|7 MHz|G4", "Gain: G4", -1},
        // Silence is said once however often it repeats, and greys no lamp in words; its end
        // is said, and the state that changed meanwhile.
        {4300, "x", "No Communication", -1},
        {4400, "x", "", -1},
        {4900, "s:--P|7 MHz|G4", "", 6300},
        {6300, "s:O--|7 MHz|G4", "Communication restored. Protection: off. Operate: on", -1},
        {6400, "x", "", 8300},
        {6500, "s:O--|7 MHz|G4", "", -1}, // back before its turn: nothing to say
        // Alarms are events: said as soon as may be, each new one alone, a rise during silence
        // that only says the line is lost not at all, and the line's end.
        {6800, "a:UNACK SWR 3.0 at 10:00", "Alarm: SWR 3.0 at 10:00", -1},
        // Acknowledging is no news; standby's steps are.
        {6900, "a:SWR 3.0 at 10:00; UNACK PROTECTION at 10:01", "", 7300},
        {7300, "", "Alarm: PROTECTION at 10:01", -1},
        {7800, "a:", "Alarm cleared", -1},
        {7900, "a:", "", -1},
        {8400, "x", "No Communication", -1},
        {8500, "a:UNACK Communication lost at 10:02", "", -1},
        {9000, "a:Communication lost at 10:02, cleared; SWR 3.0 at 10:03, STBY sent",
         "Alarm: SWR 3.0 at 10:03, STBY sent", -1},
    };
    Announcements a;
    for (const auto& [now, input, said, due] : steps) {
        if (input == "x" || input.startsWith("s:"))
            input == "x" ? a.silent() : a.status(frame(input.mid(2)));
        else if (!input.isEmpty())
            a.alarmLine(input.mid(2));
        EXPECT_EQ(a.take(now), said) << now;
        EXPECT_EQ(a.nextDue().value_or(-1), due) << now;
    }
    // Alarms that rise before the last one was said are said together, none lost.
    a.alarmLine("SWR 2.9 at 9:00"), a.alarmLine("");
    EXPECT_EQ(a.nextDue(), 9500);
    EXPECT_EQ(a.take(9500), "Alarm: SWR 2.9 at 9:00. Alarm cleared");
}
