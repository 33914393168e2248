#include "frames.h"
#include "wire.h"

#include <gtest/gtest.h>

namespace tarn::sim {
namespace {

using test::bytes;
using test::decodeStatus;
using Verdict = ParsedFrame::Verdict;

std::vector<Command> accepted(const std::vector<ParsedFrame>& frames) {
    std::vector<Command> out;
    for (const auto& f : frames) {
        if (f.verdict == Verdict::Accepted)
            out.push_back(*f.command);
    }
    return out;
}

TEST(CommandFrames, PanelFramesAreRecognised) {
    const std::pair<Command, QByteArray> expected[] = {
        {Command::ToggleOperate, bytes({0xFB, 0x01, 0x01, 0xFE})},
        {Command::PaVoltageHigh, bytes({0xFB, 0x02, 0x02, 0x04, 0xFE})},
        {Command::PaVoltageLow, bytes({0xFB, 0x02, 0x01, 0x03, 0xFE})},
        {Command::ForceStandby, bytes({0xFB, 0x03, 0x02, 0x05, 0xFE})},
        {Command::StartBootloader, bytes({0xFB, 0x03, 0x09, 0x0C, 0xFE})},
        {Command::GainUp, bytes({0xFB, 0x04, 0x04, 0xFE})},
        {Command::GainDown, bytes({0xFB, 0x05, 0x05, 0xFE})},
        {Command::AutoBand, bytes({0xFB, 0x06, 0x06, 0xFE})},
        {Command::BandUp, bytes({0xFB, 0x07, 0x07, 0xFE})},
        {Command::BandDown, bytes({0xFB, 0x08, 0x08, 0xFE})},
        {Command::Poll, bytes({0xFB, 0x0C, 0x0C, 0xFE})},
        {Command::TestSpace, bytes({0xFB, 0x0D, 0x0D, 0xFE})},
    };
    for (const auto& [command, frame] : expected) {
        SCOPED_TRACE(commandName(command).toStdString());
        EXPECT_EQ(commandFrame(command), frame);
        CommandParser parser;
        EXPECT_EQ(accepted(parser.feed(frame)), std::vector<Command>{command});
    }
}

TEST(CommandParser, FindsFramesAcrossAndWithinReads) {
    CommandParser parser;
    const QByteArray poll = commandFrame(Command::Poll);
    // Byte by byte: nothing until the end byte arrives.
    for (qsizetype i = 0; i + 1 < poll.size(); ++i)
        EXPECT_TRUE(parser.feed(poll.mid(i, 1)).empty());
    EXPECT_EQ(accepted(parser.feed(poll.right(1))), std::vector<Command>{Command::Poll});

    // Two frames in one read, and one cut between two reads.
    const QByteArray stream = commandFrame(Command::GainUp) + commandFrame(Command::PaVoltageLow) +
                              commandFrame(Command::BandDown);
    EXPECT_EQ(accepted(parser.feed(stream.left(11))),
              (std::vector<Command>{Command::GainUp, Command::PaVoltageLow}));
    EXPECT_EQ(accepted(parser.feed(stream.mid(11))), std::vector<Command>{Command::BandDown});
    EXPECT_EQ(parser.counters().accepted, 4u);
    EXPECT_EQ(parser.counters().skippedBytes, 0u);
}

TEST(CommandParser, SkipsGarbageAndRestartsOnStartByte) {
    CommandParser parser;
    const QByteArray stream = bytes({0x00, 0x41, 0xFE}) + commandFrame(Command::Poll) +
                              bytes({0x13, 0x37}) +
                              bytes({0xFB, 0x07}) + // cut short by a new frame
                              commandFrame(Command::TestSpace);
    const auto frames = parser.feed(stream);
    EXPECT_EQ(accepted(frames), (std::vector<Command>{Command::Poll, Command::TestSpace}));
    EXPECT_EQ(parser.counters().skippedBytes, 5u);
    EXPECT_EQ(parser.counters().malformed, 1u);

    // Too long to be a command: dropped, and the parser hunts for the next start byte.
    parser.feed(bytes({0xFB, 0x01, 0x02, 0x03, 0x04, 0x05, 0xFE}) +
                commandFrame(Command::GainDown));
    EXPECT_EQ(parser.counters().malformed, 2u);
    EXPECT_EQ(parser.counters().accepted, 3u);

    // A partial frame forgotten on a line drop does not swallow the next frame's bytes.
    parser.feed(bytes({0xFB, 0x0C}));
    parser.discardPartial();
    EXPECT_EQ(accepted(parser.feed(bytes({0x0C, 0xFE}) + commandFrame(Command::Poll))),
              std::vector<Command>{Command::Poll});
}

TEST(CommandParser, CountsAndIgnoresBadFrames) {
    CommandParser parser;
    const auto frames = parser.feed(bytes({0xFB, 0x0C, 0x0D, 0xFE,       // bad checksum
                                           0xFB, 0x02, 0x02, 0x05, 0xFE, // bad checksum with data
                                           0xFB, 0x09, 0x09, 0xFE,       // unknown command
                                           0xFB, 0x03, 0x07, 0x0A, 0xFE, // unknown data byte
                                           0xFB, 0x02, 0x02, 0xFE,       // data byte missing
                                           0xFB, 0xFE}));                // empty
    ASSERT_EQ(frames.size(), 6u);
    EXPECT_TRUE(accepted(frames).empty());
    EXPECT_EQ(frames[0].verdict, Verdict::BadChecksum);
    EXPECT_EQ(frames[2].verdict, Verdict::UnknownCommand);
    EXPECT_EQ(frames[5].verdict, Verdict::Malformed);
    EXPECT_EQ(frames[1].raw, bytes({0xFB, 0x02, 0x02, 0x05, 0xFE}));
    EXPECT_EQ(parser.counters().badChecksum, 2u);
    EXPECT_EQ(parser.counters().unknownCommand, 3u);
    EXPECT_EQ(parser.counters().malformed, 1u);
    EXPECT_EQ(parser.counters().accepted, 0u);
}

TEST(StatusFrame, PlainBodyIsSentAsIs) {
    const StatusBody body{0x40, 0x45, 0x18, 0x0E, 0x8A, 0x91, 0x19, 0x07};
    const QByteArray frame = buildStatusFrame(body);
    EXPECT_EQ(frame, bytes({0xFB, 0x40, 0x45, 0x18, 0x0E, 0x8A, 0x91, 0x19, 0x07, 0xFE}));
}

TEST(StatusFrame, FrameBytesAreEscapedInEveryPosition) {
    const std::pair<std::uint8_t, std::uint8_t> escapes[] = {
        {0xFB, 0xEB}, {0xFE, 0xEE}, {0xFF, 0xEF}};
    for (std::size_t pos = 0; pos < 8; ++pos) {
        for (const auto& [raw, escaped] : escapes) {
            SCOPED_TRACE(testing::Message() << "position " << pos << " byte " << int(raw));
            StatusBody body{1, 2, 3, 4, 5, 6, 7, 8};
            body[pos] = raw;
            const QByteArray frame = buildStatusFrame(body);
            ASSERT_EQ(frame.size(), 11);
            EXPECT_EQ(std::uint8_t(frame[qsizetype(pos) + 1]), 0xFF);
            EXPECT_EQ(std::uint8_t(frame[qsizetype(pos) + 2]), escaped);
            EXPECT_EQ(frame.count(char(0xFB)), 1);
            EXPECT_EQ(frame.count(char(0xFE)), 1);
            EXPECT_EQ(decodeStatus(frame), body);
        }
    }
    // Every body byte escaped at once.
    const StatusBody worst{0xFF, 0xFE, 0xFB, 0xFF, 0xFE, 0xFB, 0xFF, 0xFE};
    EXPECT_EQ(buildStatusFrame(worst).size(), 18);
    EXPECT_EQ(decodeStatus(buildStatusFrame(worst)), worst);
}

TEST(FirmwareReport, CarriesFiveVersionCharacters) {
    EXPECT_EQ(buildFirmwareReport("1.27 "),
              bytes({0xFB, 0x05, '1', '.', '2', '7', ' ', 0x00, 0xFE}));
    EXPECT_EQ(buildFirmwareReport("2.0"), bytes({0xFB, 0x05, '2', '.', '0', ' ', ' ', 0x00, 0xFE}));
    EXPECT_EQ(buildFirmwareReport("10.345").size(), 9);
}

TEST(HexBytes, UpperCaseSpaceSeparated) {
    EXPECT_EQ(hexBytes(bytes({0xFB, 0x0c, 0x00, 0xFE})), QStringLiteral("FB 0C 00 FE"));
    EXPECT_EQ(hexBytes(QByteArray()), QString());
}

} // namespace
} // namespace tarn::sim
