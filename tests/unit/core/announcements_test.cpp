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
        // Morse keying: the first change at once, then the latest value two seconds on.
        {100, "s:OT-|3.5 MHz|G3", "Transmit: on", -1},
        {150, "s:O--|3.5 MHz|G3", "", 2100},
        {2099, "", "", 2100},
        {2100, "", "Transmit: off", -1},
        // Two topics in one frame, in one sentence; each keeps its own pace.
        {2200, "s:--P|7 MHz|G3", "Protection: on. Operate: off. Band: 7 MHz", -1},
        {2300, "s:--P|7 MHz|G4", "Gain: G4", -1},
        // Silence is said once however often it repeats, and greys no lamp in words; its end
        // is said, and the state that changed meanwhile.
        {2400, "x", "No Communication", -1},
        {2500, "x", "", -1},
        {3000, "s:--P|7 MHz|G4", "", 4400},
        {4400, "s:O--|7 MHz|G4", "Communication restored. Protection: off. Operate: on", -1},
        {4500, "x", "", 6400},
        {4600, "s:O--|7 MHz|G4", "", -1}, // back before its turn: nothing to say
        // Alarms are events: said at once, each new one alone, a rise during silence that only
        // says the line is lost not at all, and the line's end.
        {4700, "a:SWR 3.0 at 10:00", "Alarm: SWR 3.0 at 10:00", -1},
        {4800, "a:SWR 3.0 at 10:00; PROTECTION at 10:01", "Alarm: PROTECTION at 10:01", -1},
        {4900, "a:", "Alarm cleared", -1},
        {5000, "a:", "", -1},
        {6400, "x", "No Communication", -1},
        {6500, "a:No Communication since 10:02", "", -1},
        {6600, "a:No Communication since 10:02; PROTECTION at 10:03", "Alarm: PROTECTION at 10:03",
         -1},
    };
    Announcements a;
    // Alarms that rise before the last one was said are said together, none lost.
    a.alarmLine("SWR 2.9 over 2.5 at 9:00:00"), a.alarmLine("");
    EXPECT_EQ(a.nextDue(), 0);
    EXPECT_EQ(a.take(0), "Alarm: SWR 2.9 over 2.5 at 9:00:00. Alarm cleared");
    for (const auto& [now, input, said, due] : steps) {
        if (input == "x" || input.startsWith("s:"))
            input == "x" ? a.silent() : a.status(frame(input.mid(2)));
        else if (!input.isEmpty())
            a.alarmLine(input.mid(2));
        EXPECT_EQ(a.take(now), said) << now;
        EXPECT_EQ(a.nextDue().value_or(-1), due) << now;
    }
}
