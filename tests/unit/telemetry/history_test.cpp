#include "samples.h"
#include "telemetry/history.h"

#include <gtest/gtest.h>

using namespace tarn::telemetry;
using tarn::telemetry::testing::frameAt;

namespace {
constexpr qint64 T0 = 1'780'002'000'000; // an hour's start in 2026, UTC
constexpr auto Fwd = std::size_t(Channel::Forward);
constexpr auto Swr = std::size_t(Channel::Swr);
} // namespace

TEST(HistoryRing, KeepsTheNewestFramesOldestFirstWhenFull) {
    History h(100);
    for (int i = 0; i < 250; ++i)
        h.add(frameAt(T0 + i * 10, 15, 40, i % 16));
    ASSERT_EQ(h.rawCount(), 100u);
    EXPECT_EQ(h.rawCapacity(), 100u);
    for (std::size_t i = 0; i < h.rawCount(); ++i)
        EXPECT_EQ(h.raw(i).timeMs, T0 + qint64(150 + i) * 10);
}

TEST(HistoryRing, AClockSetBackNeverReordersTheRecord) {
    History h(10);
    h.add(frameAt(T0 + 5'000));
    h.add(frameAt(T0)); // NTP stepped the clock back
    h.add(frameAt(T0 + 6'000));
    EXPECT_LE(h.raw(0).timeMs, h.raw(1).timeMs);
    EXPECT_LE(h.raw(1).timeMs, h.raw(2).timeMs);
}

TEST(HistoryColumns, EachColumnHoldsTheMinimumAndMaximumOfItsFrames) {
    History h(1'000);
    // One second of frames every 10 ms, the forward level stepping 0..15 and SWR 1.1..2.0.
    for (int i = 0; i < 100; ++i)
        h.add(frameAt(T0 + i * 10, 11 + i % 10, 40, i % 16));
    const std::vector<Column> cols = h.columns(T0, T0 + 1'000, 4);
    ASSERT_EQ(cols.size(), 4u);
    for (const Column& c : cols) {
        EXPECT_EQ(c.count, 25u);
        EXPECT_EQ(c.min[Fwd], 0);
        EXPECT_EQ(c.max[Fwd], 15);
        EXPECT_EQ(c.min[Swr], 11);
        EXPECT_EQ(c.max[Swr], 20);
    }
}

TEST(HistoryColumns, NoReadingIsNotAnSwrOfZero) {
    History h(100);
    h.add(frameAt(T0, 0));
    h.add(frameAt(T0 + 10, 31));
    h.add(frameAt(T0 + 2'000, 0));
    const std::vector<Column> narrow = h.columns(T0, T0 + 3'000, 3);
    EXPECT_EQ(narrow[0].min[Swr], 31);
    EXPECT_TRUE(narrow[2].swrMissing());
    // The per-second buckets follow the same rule.
    const std::vector<Column> wide = h.columns(T0, T0 + 60'000, 2);
    EXPECT_EQ(wide[0].min[Swr], 31);
}

TEST(HistoryColumns, ASilenceStaysAGap) {
    History h(1'000);
    for (int i = 0; i < 10; ++i)
        h.add(frameAt(T0 + i * 100));
    h.gap();
    for (int i = 0; i < 10; ++i)
        h.add(frameAt(T0 + 5'000 + i * 100));
    for (const qint64 span : {qint64(10'000), qint64(3'600'000)}) {
        const std::vector<Column> cols = h.columns(T0, T0 + span, 100);
        int gaps = 0;
        for (const Column& c : cols)
            gaps += (c.flagsAny & Sample::AfterGap) ? 1 : 0;
        EXPECT_EQ(gaps, 1) << span;
    }
    EXPECT_TRUE(h.raw(10).marked(Sample::AfterGap));
    EXPECT_FALSE(h.raw(11).marked(Sample::AfterGap));
}

TEST(HistoryColumns, BandChangesAndTripsAreMarkedOnce) {
    History h(100);
    h.add(frameAt(T0, 15, 40, 5, Sample::Operate, 5));
    h.add(frameAt(T0 + 100, 15, 40, 5, Sample::Operate, 6));
    h.add(frameAt(T0 + 200, 15, 40, 5, Sample::Protection, 6));
    h.add(frameAt(T0 + 300, 15, 40, 5, Sample::Protection, 6));
    const auto marks = [&h](std::size_t i) { return h.raw(i).flags & Sample::MarkBits; };
    EXPECT_EQ(marks(0), 0);
    EXPECT_EQ(marks(1), Sample::BandChange);
    EXPECT_EQ(marks(2), Sample::TripStart);
    EXPECT_EQ(marks(3), 0);
}

TEST(HistoryDay, TwentyFiveHoursKeepTheLastDayInBoundedMemory) {
    History h(3'600); // an hour at one frame a second
    const std::size_t before = h.memoryBytes();
    const qint64 end = T0 + 25 * 3'600'000LL;
    for (qint64 t = T0; t < end; t += 1'000)
        h.add(frameAt(t, t < T0 + 3'600'000 ? 99 : 15));
    EXPECT_EQ(h.memoryBytes(), before);
    EXPECT_EQ(h.rawCount(), 3'600u);
    EXPECT_EQ(h.raw(0).timeMs, end - 3'600'000);

    // The first hour, with its SWR of 9.9, has left the day; the rest is all there.
    const std::vector<Column> day = h.columns(end - History::DaySpanMs, end, 24);
    for (const Column& c : day) {
        EXPECT_EQ(c.count, 3'600u);
        EXPECT_EQ(c.max[Swr], 15);
    }
    EXPECT_EQ(h.columns(T0, T0 + 3'600'000, 60)[0].count, 0u);
}
