#include "protocol/decoder.h"

#include <gtest/gtest.h>

using namespace tarn::protocol;
using Kind = DecodeResult::Kind;

namespace {
QByteArray bytes(std::initializer_list<int> list) {
    QByteArray out;
    for (int b : list)
        out.append(char(b));
    return out;
}

const QByteArray exampleFrame = bytes({0xFB, 0x40, 0x32, 0x25, 0x0F, 0x8C, 0x78, 0x23, 0x00, 0xFE});

void expectSlots(const RxBytes& rx, std::initializer_list<int> values) {
    int i = 0;
    for (int v : values) {
        EXPECT_EQ(rx.value(i), v) << "slot " << i;
        ++i;
    }
}
} // namespace

TEST(Decoder, StatusFrameFillsSlotsEchoesAndAsksForOneRedraw) {
    RxBytes rx;
    QString echo = "old";
    const auto r = Decode_Response(exampleFrame, rx, &echo);
    EXPECT_EQ(r.kind, Kind::Status);
    EXPECT_TRUE(r.drawStatus());
    expectSlots(rx, {0x40, 0x32, 0x25, 0x0F, 0x8C, 0x78, 0x23, 0x00});
    EXPECT_EQ(echo, "old\r\n40 32 25 0F 8C 78 23 00 ");
}

TEST(Decoder, EscapedBodyBytesAreUnescaped) {
    RxBytes rx;
    QString echo;
    // Slot 7 = 0xFE goes on the wire as FF EE; 0xFB and 0xFF likewise in other slots.
    const auto chunk =
        bytes({0xFB, 0x40, 0xFF, 0xEB, 0x25, 0xFF, 0xEF, 0x8C, 0x78, 0x23, 0xFF, 0xEE, 0xFE});
    const auto r = Decode_Response(chunk, rx, &echo);
    EXPECT_EQ(r.kind, Kind::Status);
    expectSlots(rx, {0x40, 0xFB, 0x25, 0xFF, 0x8C, 0x78, 0x23, 0xFE});
    EXPECT_TRUE(echo.endsWith("FE "));
}

TEST(Decoder, EscapeAsLastBodyBytePairsWithTheEndByte) {
    RxBytes rx;
    const auto r = Decode_Response(bytes({0xFB, 0x40, 0x32, 0xFF, 0xEE}), rx, nullptr);
    EXPECT_EQ(r.bodyBytes, 3);
    EXPECT_EQ(rx.value(2), 0xFE);
    EXPECT_EQ(r.kind, Kind::Incomplete);
}

TEST(Decoder, WrongStartByteChangesNothingButTheLineBreak) {
    RxBytes rx;
    Decode_Response(exampleFrame, rx, nullptr);
    QString echo;
    const auto r = Decode_Response(bytes({0x0A, 0x0B, 0xFE}), rx, &echo);
    EXPECT_EQ(r.kind, Kind::NotAFrame);
    EXPECT_FALSE(r.drawStatus());
    EXPECT_EQ(echo, "\r\n");
    expectSlots(rx, {0x40, 0x32, 0x25, 0x0F, 0x8C, 0x78, 0x23, 0x00});
    // Line breaks alone never grow the echo past what the box shows.
    echo = QString(210, QLatin1Char('y'));
    Decode_Response(bytes({0x0A}), rx, &echo);
    EXPECT_EQ(echo, QString(208, QLatin1Char('y')) + "\r\n");
}

TEST(Decoder, TwoFramesInOneChunkKeepTheFirstAndSkipTheRedraw) {
    RxBytes rx;
    QString echo(500, QLatin1Char('x'));
    const auto second = bytes({0xFB, 0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0xFE});
    const auto r = Decode_Response(exampleFrame + second, rx, &echo);
    EXPECT_EQ(r.kind, Kind::TooLong);
    EXPECT_FALSE(r.drawStatus());
    expectSlots(rx, {0x40, 0x32, 0x25, 0x0F, 0x8C, 0x78, 0x23, 0x00});
    // Even a chunk that ends the decoder early leaves the echo cut back to what the box shows.
    EXPECT_EQ(echo.size(), 210);
    EXPECT_TRUE(echo.endsWith("xx\r\n40 32 25 0F 8C 78 23 00 "));
}

TEST(Decoder, ShortFrameUpdatesItsSlotsButNeverRedraws) {
    RxBytes rx;
    Decode_Response(exampleFrame, rx, nullptr);
    const auto r = Decode_Response(bytes({0xFB, 0x40, 0x03, 0xFE}), rx, nullptr);
    EXPECT_EQ(r.kind, Kind::Incomplete);
    EXPECT_FALSE(r.drawStatus());
    expectSlots(rx, {0x40, 0x03, 0x25, 0x0F, 0x8C, 0x78, 0x23, 0x00});
}

TEST(Decoder, StartByteAloneAndTwoByteChunks) {
    RxBytes rx;
    QString echo;
    auto r = Decode_Response(bytes({0xFB}), rx, &echo);
    EXPECT_FALSE(r.drawStatus());
    EXPECT_EQ(echo, "\r\n");
    EXPECT_TRUE(rx.isEmpty(0));

    r = Decode_Response(bytes({0xFB, 0x05}), rx, nullptr);
    EXPECT_EQ(r.kind, Kind::FirmwareReport);
    EXPECT_EQ(r.firmwareCaption, "Firmware V");

    r = Decode_Response(bytes({0xFB, 0x40}), rx, nullptr);
    EXPECT_FALSE(r.drawStatus());
    EXPECT_TRUE(rx.isEmpty(0));
}

TEST(Decoder, FirmwareReportsOfEveryLength) {
    const auto full = bytes({0xFB, 0x05, 0x31, 0x2E, 0x30, 0x38, 0x20, 0x00, 0xFE});
    RxBytes rx;
    auto r = Decode_Response(full, rx, nullptr);
    EXPECT_EQ(r.kind, Kind::FirmwareReport);
    EXPECT_EQ(r.firmwareCaption, "Firmware V1.08 ");
    expectSlots(rx, {0x05, 0x31, 0x2E, 0x30, 0x38, 0x20, 0x00});
    EXPECT_TRUE(rx.isEmpty(7));

    // Cut short: positions beyond the chunk contribute nothing; the last byte still counts as
    // a version character because the version is taken raw, not from the body.
    for (int len = 3; len < full.size(); ++len) {
        RxBytes fresh;
        r = Decode_Response(full.left(len), fresh, nullptr);
        EXPECT_EQ(r.kind, Kind::FirmwareReport) << len;
        EXPECT_EQ(r.firmwareCaption,
                  "Firmware V" + QString::fromLatin1(full.mid(2, std::min(5, len - 2))))
            << len;
    }

    // A report with more than eight body bytes ends like any over-long chunk: no caption.
    r = Decode_Response(bytes({0xFB, 0x05, 0x31, 0x2E, 0x30, 0x38, 0x20, 0x00, 0x00, 0x00, 0xFE}),
                        rx, nullptr);
    EXPECT_EQ(r.kind, Kind::TooLong);
    EXPECT_TRUE(r.firmwareCaption.isEmpty());
}

TEST(Decoder, EchoIsCutToItsLast210Characters) {
    RxBytes rx;
    QString echo(1000, QLatin1Char('z'));
    Decode_Response(exampleFrame, rx, &echo);
    ASSERT_EQ(echo.size(), 210);
    EXPECT_TRUE(echo.endsWith("\r\n40 32 25 0F 8C 78 23 00 "));
    EXPECT_TRUE(echo.startsWith("zzz"));
}

TEST(Decoder, EmptySlotsReadAsZeroAndEmptyText) {
    RxBytes rx;
    EXPECT_EQ(rx.value(6), 0);
    EXPECT_EQ(rx.text(6), "");
    rx.set(6, 35);
    EXPECT_EQ(rx.text(6), "35");
}
