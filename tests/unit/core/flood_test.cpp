// Whatever arrives on the line, one poll tick does a bounded amount of work: the test-space
// boxes never grow past what they show, at most one redraw, exactly one request goes out.
// The real line's floods are in tests/soak.

#include "support/rig.h"

#include "protocol/hexecho.h"

#include <QRandomGenerator>

using namespace tarn;
using namespace tarn::testing;

namespace {
const QByteArray statusFrame = hex("FB4032250F8C782300FE");

QByteArray randomBytes(qsizetype length, QRandomGenerator& random) {
    QByteArray out(length, Qt::Uninitialized);
    for (char& c : out)
        c = char(random.bounded(256));
    return out;
}
} // namespace

class FloodTest : public PanelTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(openOn(2));
        state.Test_Space_Shown = true;
    }
    // One tick on `chunk`, with the checks that hold whatever the chunk was.
    void tickOn(const QByteArray& chunk) {
        const int drawsBefore = main.display.draws;
        port.writes.clear();
        port.deliver(chunk);
        panel.Timer_Poll_Timer();
        ASSERT_LE(state.hdlcEcho.size(), 300);
        ASSERT_LE(state.decodedEcho.size(), 210);
        ASSERT_LE(main.display.draws - drawsBefore, 1);
        ASSERT_LE(port.writes.size(), 1);
        EXPECT_TRUE(port.writes.isEmpty() || port.writes.last() == hex("FB0C0CFE"));
        if (!chunk.isEmpty()) {
            EXPECT_EQ(main.raw, state.hdlcEcho);
            EXPECT_EQ(main.decoded, state.decodedEcho);
        }
    }
};

TEST_F(FloodTest, ChunksOfEveryShapeAndLengthKeepTheTickBounded) {
    QRandomGenerator random(4400);
    // Chunks shaped like the ones a noisy or misconfigured line delivers.
    for (int length = 0; length <= 64; ++length) {
        SCOPED_TRACE(length);
        for (const QByteArray& chunk :
             {randomBytes(length, random), "\xFB" + randomBytes(length, random),
              "\xFB" + QByteArray(length, '\xFF'), QByteArray(length, '\xFB'),
              statusFrame.repeated(length / 10 + 1).left(length)})
            ASSERT_NO_FATAL_FAILURE(tickOn(chunk));
    }
    // A wrong baud rate: bytes that never start a frame, for as long as the operator leaves it.
    const int draws = main.display.draws;
    for (int i = 0; i < 20000; ++i)
        ASSERT_NO_FATAL_FAILURE(
            tickOn(randomBytes(1 + int(random.bounded(12)), random).replace('\xFB', '\x00')));
    EXPECT_EQ(main.display.draws, draws);
    for (int i = 0; i < 100; ++i)
        ASSERT_NO_FATAL_FAILURE(tickOn(statusFrame + statusFrame));
    EXPECT_EQ(main.display.draws, draws + 100);
    EXPECT_TRUE(state.decodedEcho.endsWith("\r\n40 32 25 0F 8C 78 23 00 "));
    EXPECT_TRUE(op.messages.isEmpty());
}

TEST_F(FloodTest, MegabytesInOneTickLeaveOnlyWhatTheBoxesCanShow) {
    QRandomGenerator random(1);
    QByteArray flood = randomBytes(4 * 1024 * 1024, random);
    flood.replace(0, 9, hex("FB11222324252627 28")); // no escape in the first frame's body
    ASSERT_NO_FATAL_FAILURE(tickOn(flood));
    for (int slot = 0; slot < protocol::RxBytes::Count; ++slot)
        EXPECT_EQ(state.Rx_Byte.value(slot), quint8(flood[slot + 1])) << "slot " << slot;
    QString tail;
    protocol::appendRawEcho(tail, flood.right(200), protocol::RawEchoLimit);
    EXPECT_EQ(state.hdlcEcho, tail);
    EXPECT_EQ(tail.size(), 300);

    ASSERT_NO_FATAL_FAILURE(tickOn(QByteArray(3 * 1024 * 1024, '\xFF')));
    const int before = main.display.draws;
    ASSERT_NO_FATAL_FAILURE(tickOn(statusFrame));
    EXPECT_EQ(main.display.draws, before + 1);
    EXPECT_EQ(main.display.last.band, "3.5 MHz");
}
