// Whatever arrives on the line, one poll tick does a bounded amount of work: the two
// test-space boxes never grow past what they can show, at most one redraw happens, exactly one
// request goes out, and the slots hold at most eight bytes.

#include "panelfixture.h"

#include "protocol/hexecho.h"

#include <QRandomGenerator>

using namespace tarn;
using namespace tarn::testing;

namespace {
const QByteArray statusFrame = hex("FB4032250F8C782300FE");
const QByteArray pollFrame = hex("FB0C0CFE");

struct Filler {
    const char* name;
    QByteArray (*make)(int length, QRandomGenerator& random);
};

QByteArray randomBytes(int length, QRandomGenerator& random) {
    QByteArray out(length, Qt::Uninitialized);
    for (char& c : out)
        c = char(random.bounded(256));
    return out;
}

// Chunks shaped like the ones a noisy or misconfigured line delivers.
const Filler fillers[] = {
    {"random", [](int n, QRandomGenerator& r) { return randomBytes(n, r); }},
    {"start byte then random",
     [](int n, QRandomGenerator& r) {
         return n == 0 ? QByteArray() : "\xFB" + randomBytes(n - 1, r);
     }},
    {"0xFF only", [](int n, QRandomGenerator&) { return QByteArray(n, '\xFF'); }},
    {"start byte then 0xFF",
     [](int n, QRandomGenerator&) {
         return n == 0 ? QByteArray() : "\xFB" + QByteArray(n - 1, '\xFF');
     }},
    {"start byte only", [](int n, QRandomGenerator&) { return QByteArray(n, '\xFB'); }},
    {"frames back to back",
     [](int n, QRandomGenerator&) { return statusFrame.repeated(n / 10 + 1).left(n); }},
};
} // namespace

class FloodTest : public PanelTest {
protected:
    void SetUp() override {
        openOn(2);
        state.Test_Space_Shown = true;
    }
    // One tick on `chunk`, with the checks that hold whatever the chunk was.
    void tickOn(const QByteArray& chunk, const char* what) {
        const int drawsBefore = main.display.draws;
        const qsizetype writesBefore = port.writes.size();
        port.deliver(chunk);
        panel.Timer_Poll_Timer();
        EXPECT_LE(state.hdlcEcho.size(), protocol::RawEchoLimit) << what;
        EXPECT_LE(state.decodedEcho.size(), protocol::DecodedEchoLimit) << what;
        EXPECT_LE(main.display.draws - drawsBefore, 1) << what;
        ASSERT_LE(port.writes.size(), writesBefore + 1) << what;
        if (port.writes.size() > writesBefore) {
            EXPECT_EQ(port.writes.last(), pollFrame) << what;
        }
        // What the view shows is what the panel holds.
        if (!chunk.isEmpty()) {
            EXPECT_EQ(main.raw, state.hdlcEcho) << what;
            EXPECT_EQ(main.decoded, state.decodedEcho) << what;
        }
    }
};

TEST_F(FloodTest, ChunksOfEveryLengthUpTo64KeepTheTickBounded) {
    QRandomGenerator random(4400);
    for (const Filler& filler : fillers) {
        for (int length = 0; length <= 64; ++length)
            tickOn(filler.make(length, random), filler.name);
    }
    EXPECT_TRUE(op.messages.isEmpty());
}

TEST_F(FloodTest, ALineThatNeverSendsAFrameKeepsTheDecodedBoxBounded) {
    // A wrong baud rate turns every answer into bytes that never start a frame; the line stays
    // like that for as long as the operator leaves it.
    QRandomGenerator random(9600);
    for (int i = 0; i < 20000; ++i) {
        QByteArray chunk = randomBytes(1 + int(random.bounded(12)), random);
        chunk.replace('\xFB', '\x00');
        port.deliver(chunk);
        panel.Timer_Poll_Timer();
        ASSERT_LE(state.decodedEcho.size(), protocol::DecodedEchoLimit) << "tick " << i;
    }
    EXPECT_EQ(main.display.draws, 0);
    EXPECT_EQ(main.decoded, state.decodedEcho);
}

TEST_F(FloodTest, TwoAnswersInEveryReadKeepTheDecodedBoxBoundedAndAreDrawn) {
    // Two answers in every read: each tick stores and echoes eight bytes and stops, and the
    // display follows the second.
    for (int i = 0; i < 2000; ++i) {
        port.deliver(statusFrame + statusFrame);
        panel.Timer_Poll_Timer();
        ASSERT_LE(state.decodedEcho.size(), protocol::DecodedEchoLimit) << "tick " << i;
    }
    EXPECT_EQ(main.display.draws, 2000);
    EXPECT_TRUE(state.decodedEcho.endsWith("\r\n40 32 25 0F 8C 78 23 00 "));
}

TEST_F(FloodTest, MegabytesInOneTickLeaveOnlyWhatTheBoxesCanShow) {
    QRandomGenerator random(1);
    QByteArray flood = randomBytes(4 * 1024 * 1024, random);
    flood[0] = char(0xFB);
    flood[1] = 0x11; // no escape in the first body bytes, so the slots are known
    for (int i = 2; i <= 8; ++i)
        flood[i] = char(0x20 + i);
    tickOn(flood, "4 MB starting with a frame");
    for (int slot = 0; slot < protocol::RxBytes::Count; ++slot)
        EXPECT_EQ(state.Rx_Byte.value(slot), quint8(flood[slot + 1])) << "slot " << slot;
    // The raw box holds the tail of the chunk, byte for byte.
    QString tail;
    protocol::appendRawEcho(tail, flood.right(200), protocol::RawEchoLimit);
    EXPECT_EQ(state.hdlcEcho, tail);

    tickOn(QByteArray(3 * 1024 * 1024, '\xFF'), "3 MB of 0xFF");
    const int before = main.display.draws;
    tickOn(statusFrame, "a frame after the flood");
    EXPECT_EQ(main.display.draws, before + 1);
    EXPECT_EQ(main.display.last.band, "3.5 MHz");
}
