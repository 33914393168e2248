// The simulated amplifier as the panel meets it: what it answers to each command frame, and
// each line fault doing what its name says. The status decoder here is written apart from the
// simulator's frame builder, so a fault in one cannot hide in the other.

#include "engine.h"
#include "support/simprocess.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

namespace tarn::sim {

QByteArray hex(const char* text) {
    return QByteArray::fromHex(text);
}
const QByteArray Poll = hex("FB0C0CFE");
const EngineConfig Config{.firmware = "2.05 ", .bootloaderMs = 1000};
const char* const Idle = "FB 00 45 00 00 8C 04 19 00 FE"; // standby, gain 4, 14 MHz, 56 V

std::optional<StatusBody> decodeStatus(const QByteArray& frame) {
    StatusBody body{};
    std::size_t n = 0;
    for (qsizetype i = 1; i + 1 < frame.size(); ++i) {
        const auto b = quint8(frame[i]);
        if (b == 0xFB || b == 0xFE || n == body.size() || (b == 0xFF && i + 2 >= frame.size()))
            return std::nullopt;
        body[n++] = b == 0xFF ? quint8(frame[++i]) ^ 0x10 : b;
    }
    const bool framed = frame.startsWith('\xFB') && frame.endsWith('\xFE');
    return framed && n == body.size() ? std::optional(body) : std::nullopt;
}

// Everything the engine puts on the line for `bytes`, whenever it is due.
QByteArray reply(SimEngine& e, const QByteArray& bytes, qint64 t) {
    QByteArray all;
    for (const auto& w : e.receive(bytes, t).writes)
        all += w.bytes;
    return all;
}

TEST(SimFrames, EachCommandShowsInTheNextAnswerHoweverTheReadsCutIt) {
    const std::pair<QByteArray, const char*> rows[] = {
        {"", Idle},
        {hex("FB0101FE"), "FB 40 45 00 00 8C 0F 19 00 FE"},
        {hex("FB0101FE FB030205FE"), Idle},
        {hex("FB0606FE"), "FB 20 45 00 00 8C 04 19 00 FE"},
        {hex("FB0606FE FB0707FE"), "FB 00 46 00 00 8C 04 19 00 FE"},
        {hex("FB0404FE"), "FB 00 55 00 00 8C 04 19 00 FE"},
        {hex("FB0404FE").repeated(6), "FB 00 85 00 00 8C 04 19 00 FE"},
        {hex("FB0505FE").repeated(6), "FB 00 05 00 00 8C 04 19 00 FE"},
        {hex("FB0707FE").repeated(6), "FB 00 41 00 00 8C 04 19 00 FE"},
        {hex("FB0808FE").repeated(5), "FB 00 4A 00 00 8C 04 19 00 FE"},
        {hex("FB020103FE"), "FB 00 45 00 00 78 04 19 00 FE"},
        {hex("FB020103FE FB020204FE"), Idle},
        // Bad checksum, unknown command, unknown data byte, missing data byte, garbage, and a
        // frame cut short by the next start byte: all ignored.
        {hex("FB0102FE FB0909FE FB03070AFE FB0202FE 0041FE FB07"), Idle}};
    for (const auto& [sent, expected] : rows) {
        SCOPED_TRACE(sent.toHex(' ').toStdString());
        SimEngine whole(Config), byByte(Config);
        EXPECT_EQ(reply(whole, sent + Poll, 0), hex(expected));
        for (const char b : sent + Poll.chopped(1))
            EXPECT_TRUE(reply(byByte, QByteArray(1, b), 0).isEmpty());
        EXPECT_EQ(reply(byByte, Poll.right(1), 0), hex(expected));
    }
    SimEngine e(Config);
    EXPECT_EQ(reply(e, hex("FB0D0DFE"), 0), hex("FB05") + "2.05 " + hex("00FE"));
    // The bootloader answers nothing and takes nothing for its time, then stands by.
    EXPECT_TRUE(reply(e, hex("FB0101FE FB03090CFE"), 0).isEmpty());
    EXPECT_TRUE(reply(e, hex("FB0404FE FB0D0DFE") + Poll, 999).isEmpty());
    EXPECT_EQ(reply(e, Poll, 1000), hex(Idle));
    for (std::size_t i = 0; i < 24; ++i) {
        StatusBody body{1, 2, 3, 4, 5, 6, 7, 8};
        body[i / 3] = std::array<quint8, 3>{0xFB, 0xFE, 0xFF}[i % 3];
        EXPECT_EQ(decodeStatus(buildStatusFrame(body)), body) << i;
    }
}

TEST(SimFaults, EachLineFaultShapesTheAnswersAsNamed) {
    SimEngine e(Config);
    e.setFaults({.silence = true});
    EXPECT_TRUE(e.receive(hex("FB0101FE") + Poll, 0).writes.empty());
    e.setFaults({.doubled = true});
    const QByteArray twice = reply(e, Poll, 10);
    EXPECT_EQ(twice.left(10), twice.mid(10));
    EXPECT_EQ(decodeStatus(twice.left(10)).value()[0], 0x40) << "silence took no command";
    e.setFaults({.stale = true});
    e.receive(Poll, 20); // its state is the older one from now on
    e.amplifier().trip(30);
    const QByteArray stale = reply(e, Poll, 40);
    EXPECT_EQ(decodeStatus(stale.left(10)).value()[0] << 8 | decodeStatus(stale.mid(10)).value()[0],
              0x4080);

    e.setFaults({.split = true});
    const Exchange split = e.receive(Poll, 100), next = e.receive(Poll, 120);
    ASSERT_EQ(split.writes.size() + next.writes.size(), 4u);
    EXPECT_TRUE(decodeStatus(split.writes[0].bytes + split.writes[1].bytes) &&
                split.writes[1].atMs == 160);
    EXPECT_GE(next.writes[0].atMs, 160) << "answers overtook each other";
    e.lineDropped();
    e.setFaults({});
    EXPECT_EQ(e.receive(Poll, 130).writes.at(0).atMs, 130) << "a dropped line holds nothing";
    // A flood carries the state the next answer shows, with garbage between its frames.
    const QByteArray flood = e.floodChunk(4096, 140), current = reply(e, Poll, 140);
    EXPECT_TRUE(flood.size() >= 4096 && flood.count(current) * 20 > flood.size() &&
                flood.count(current) * 10 < flood.size());

    SimEngine g({.seed = 7}), twin({.seed = 7});
    g.setFaults({.garbage = true});
    int intact = 0;
    for (int i = 0; i < 40; ++i) {
        const QByteArray bad = reply(g, Poll, i), good = reply(twin, Poll, i);
        EXPECT_NE(bad, good);
        intact += bad.contains(good);
    }
    EXPECT_TRUE(intact > 0 && intact < 40) << intact;
}

// The real simulator on its pseudo-terminal, opened as a panel opens a serial port, told
// what to do on its console.
TEST(SimLine, AnswersOnItsLineStallsFloodsAndDrops) {
    testing::WithApplication qt;
    testing::SimProcess sim({});
    int fd = -1;
    const auto open = [&] {
        termios tio{};
        fd = ::open(sim.endpoint().toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        ::tcgetattr(fd, &tio);
        return (::cfmakeraw(&tio), ::tcsetattr(fd, TCSANOW, &tio)) == 0;
    };
    // What the line brings until `enough` of it came or `ms` passed.
    const auto ask = [&](const QByteArray& bytes, qsizetype enough = 10, int ms = 5000) {
        QByteArray got;
        char buf[4096];
        EXPECT_EQ(::write(fd, bytes.constData(), size_t(bytes.size())), bytes.size());
        const auto drained = [&] {
            for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;)
                got.append(buf, n);
            return got.size() >= enough;
        };
        testing::waitUntil(drained, ms);
        return got;
    };
    ASSERT_TRUE(open()) << sim.endpoint().toStdString();
    EXPECT_EQ(decodeStatus(ask(Poll)).value()[1], 0x45);
    sim.command("stall on");
    ASSERT_TRUE(testing::waitUntil([&] { return sim.log().contains("stall: the line is not"); }));
    EXPECT_EQ(ask(Poll, 1, 300), QByteArray()) << "a stalled line answered";
    sim.command("stall off");
    EXPECT_TRUE(decodeStatus(ask({}))) << "the poll was lost in the stall";
    sim.command("flood on");
    EXPECT_GT(ask({}, 65536).count(char(0xFE)), 65536 / 20);
    sim.command("flood off");
    const QString before = sim.endpoint();
    sim.command("drop 300");
    ASSERT_TRUE(testing::waitUntil([&] { return sim.endpoint() != before; }, 5000));
    ::close(fd);
    ASSERT_TRUE(open());
    EXPECT_TRUE(decodeStatus(ask(Poll)));
    ::close(fd);
}

} // namespace tarn::sim
