#include "engine.h"
#include "wire.h"

#include <gtest/gtest.h>

namespace tarn::sim {
namespace {

using test::decodeStatus;

const QByteArray Poll = commandFrame(Command::Poll);

EngineConfig config(qint64 splitMs = 60, std::uint32_t seed = 1) {
    EngineConfig c;
    c.firmware = "2.05 ";
    c.bootloaderMs = 1000;
    c.splitMs = splitMs;
    c.seed = seed;
    return c;
}

QByteArray joined(const std::vector<TimedWrite>& writes) {
    QByteArray all;
    for (const auto& w : writes)
        all += w.bytes;
    return all;
}

TEST(SimEngine, AnswersPollsAndTestSpaceOnly) {
    SimEngine engine(config());
    auto ex = engine.receive(Poll, 10);
    ASSERT_EQ(ex.writes.size(), 1u);
    EXPECT_EQ(ex.writes[0].atMs, 10);
    const auto body = decodeStatus(ex.writes[0].bytes);
    ASSERT_TRUE(body);
    EXPECT_EQ((*body)[1], 0x45); // gain 4, band 5 (14 MHz)

    ex = engine.receive(commandFrame(Command::TestSpace), 20);
    ASSERT_EQ(ex.writes.size(), 1u);
    EXPECT_EQ(ex.writes[0].bytes, buildFirmwareReport("2.05 "));

    for (const Command c : AllCommands) {
        if (c == Command::Poll || c == Command::TestSpace || c == Command::StartBootloader)
            continue;
        EXPECT_TRUE(engine.receive(commandFrame(c), 30).writes.empty())
            << commandName(c).toStdString();
    }

    // A command and a poll in one read: the answer already shows the command's effect.
    ex = engine.receive(commandFrame(Command::GainUp) + Poll, 40);
    ASSERT_EQ(ex.frames.size(), 2u);
    ASSERT_EQ(ex.writes.size(), 1u);
    EXPECT_EQ((*decodeStatus(ex.writes[0].bytes))[1] >> 4, engine.amplifier().gain());
}

TEST(SimEngine, PacedLineDeliversAnswersNoFasterThanItsSpeed) {
    auto c = config();
    c.baudRate = 9600; // 10 bytes take 10.42 ms
    SimEngine engine(c);
    std::vector<qint64> due;
    for (int i = 0; i < 100; ++i) {
        const auto ex = engine.receive(Poll, i * 10); // polled faster than the line can answer
        ASSERT_EQ(ex.writes.size(), 1u);
        due.push_back(ex.writes[0].atMs);
    }
    for (std::size_t i = 1; i < due.size(); ++i)
        EXPECT_GE(due[i] - due[i - 1], 10) << i;
    // 99 answers after the first need 99 x 10.42 ms: the backlog grows, without drift.
    EXPECT_EQ(due.back(), (qint64(99) * 10 * 10 * 1000000 / 9600 + 999) / 1000);

    c.baudRate = 0;
    SimEngine unpaced(c);
    unpaced.receive(Poll, 0);
    EXPECT_EQ(unpaced.receive(Poll, 0).writes[0].atMs, 0);
}

TEST(SimEngine, BootloaderAnswersNothingUntilItsTimeIsUp) {
    SimEngine engine(config());
    EXPECT_TRUE(engine.receive(commandFrame(Command::StartBootloader), 0).writes.empty());
    EXPECT_TRUE(engine.receive(Poll + commandFrame(Command::TestSpace), 500).writes.empty());
    EXPECT_TRUE(engine.receive(Poll, 999).writes.empty());
    const auto ex = engine.receive(Poll, 1000);
    ASSERT_EQ(ex.writes.size(), 1u);
    EXPECT_EQ((*decodeStatus(ex.writes[0].bytes))[0] & statusflag::Operate, 0);
}

TEST(SimEngine, SpareByteCountsThroughEscapedValues) {
    SimEngine engine(config());
    int escaped = 0;
    for (int i = 0; i < 512; ++i) {
        const auto ex = engine.receive(Poll, i);
        ASSERT_EQ(ex.writes.size(), 1u);
        const auto body = decodeStatus(ex.writes[0].bytes);
        ASSERT_TRUE(body) << "answer " << i;
        EXPECT_EQ((*body)[7], std::uint8_t(i));
        escaped += ex.writes[0].bytes.size() > 10 ? 1 : 0;
    }
    EXPECT_EQ(escaped, 6); // 0xFB, 0xFE and 0xFF, twice round
}

TEST(SimEngineFaults, SilenceStillTakesCommands) {
    SimEngine engine(config());
    engine.setFaults({.silence = true});
    EXPECT_TRUE(engine.receive(commandFrame(Command::ToggleOperate) + Poll, 0).writes.empty());
    EXPECT_TRUE(engine.amplifier().operate());
    engine.setFaults({});
    EXPECT_EQ(engine.receive(Poll, 10).writes.size(), 1u);
}

TEST(SimEngineFaults, DoubleSendsTheAnswerTwiceInOneWrite) {
    SimEngine engine(config());
    engine.setFaults({.doubled = true});
    const auto ex = engine.receive(commandFrame(Command::TestSpace), 0);
    ASSERT_EQ(ex.writes.size(), 1u);
    const QByteArray report = buildFirmwareReport("2.05 ");
    EXPECT_EQ(ex.writes[0].bytes, report + report);
}

TEST(SimEngineFaults, StaleAnswersShowAnOlderStateFirstAndFloodsTheCurrentOne) {
    SimEngine engine(config());
    engine.setFaults({.stale = true});
    engine.receive(Poll, 0); // the older state is the one of the first answer
    engine.amplifier().trip(10);
    const QByteArray both = joined(engine.receive(Poll, 20).writes);
    const qsizetype cut = both.indexOf(char(0xFE)) + 1;
    const auto older = decodeStatus(both.left(cut));
    const auto current = decodeStatus(both.mid(cut));
    ASSERT_TRUE(older && current) << both.toHex(' ').constData();
    EXPECT_EQ((*older)[0] & 0x80, 0);
    EXPECT_EQ((*current)[0] & 0x80, 0x80);

    // Flood frames are not answers: they carry the state the next answer will show.
    engine.setFaults({.flood = true});
    const QByteArray flood = engine.floodChunk(4096, 30);
    const QByteArray answer = joined(engine.receive(Poll, 30).writes);
    EXPECT_TRUE(decodeStatus(answer));
    EXPECT_GE(flood.size(), 4096);
    EXPECT_GT(flood.count(answer) * 2 * answer.size(), flood.size());
    EXPECT_LT(flood.count(answer) * answer.size(), flood.size()); // with garbage between
}

TEST(SimEngineFaults, SplitAnswersComeInTwoPartsAndKeepTheirOrder) {
    SimEngine engine(config(60));
    engine.setFaults({.split = true});
    auto ex = engine.receive(Poll, 100);
    ASSERT_EQ(ex.writes.size(), 2u);
    EXPECT_EQ(ex.writes[0].atMs, 100);
    EXPECT_EQ(ex.writes[1].atMs, 160);
    EXPECT_FALSE(ex.writes[0].bytes.isEmpty());
    EXPECT_FALSE(ex.writes[1].bytes.isEmpty());
    EXPECT_TRUE(decodeStatus(joined(ex.writes)));

    // A poll arriving before the second half went out is answered after it.
    const auto next = engine.receive(Poll, 120);
    ASSERT_EQ(next.writes.size(), 2u);
    EXPECT_GE(next.writes[0].atMs, 160);
    EXPECT_EQ(next.writes[1].atMs, next.writes[0].atMs + 60);

    // After a drop nothing waits, so the next answer goes out at once.
    engine.lineDropped();
    engine.setFaults({});
    ex = engine.receive(Poll, 130);
    ASSERT_EQ(ex.writes.size(), 1u);
    EXPECT_EQ(ex.writes[0].atMs, 130);
}

TEST(SimEngineFaults, GarbageIsReproducibleFromTheSeed) {
    auto run = [](std::uint32_t seed) {
        SimEngine engine(config(60, seed));
        engine.setFaults({.garbage = true});
        QByteArray out;
        int intact = 0;
        for (int i = 0; i < 40; ++i) {
            const QByteArray answer = joined(engine.receive(Poll, i).writes);
            const QByteArray clean =
                buildStatusFrame(engine.amplifier().statusBody(std::uint8_t(i)));
            intact += answer.contains(clean) ? 1 : 0;
            EXPECT_NE(answer, clean) << "answer " << i << " came through untouched";
            out += answer;
        }
        // Some answers survive inside the garbage, some are replaced by it.
        EXPECT_GT(intact, 0);
        EXPECT_LT(intact, 40);
        return out;
    };
    EXPECT_EQ(run(7), run(7));
    EXPECT_NE(run(7), run(8));
}

TEST(SimEngine, StatusLineShowsStateFaultsAndCounters) {
    SimEngine engine(config());
    engine.receive(commandFrame(Command::ToggleOperate) + test::bytes({0xFB, 0x0C, 0x0D, 0xFE}), 0);
    engine.setFaults({.split = true, .doubled = true});
    const QString line = engine.statusLine(10);
    EXPECT_TRUE(line.contains(QLatin1String("operate=1 ")));
    EXPECT_TRUE(line.contains(QLatin1String("band-mhz=14 ")));
    EXPECT_TRUE(line.contains(QLatin1String("faults=split,double ")));
    EXPECT_TRUE(line.contains(QLatin1String("rx-frames=1 bad-checksum=1 ")));
    EXPECT_FALSE(line.contains(QLatin1Char('\n')));
}

} // namespace
} // namespace tarn::sim
