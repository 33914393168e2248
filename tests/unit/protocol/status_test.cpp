#include "protocol/hexecho.h"
#include "protocol/status.h"

#include <gtest/gtest.h>

using namespace tarn::protocol;

namespace {
RxBytes slotsOf(std::initializer_list<int> values) {
    RxBytes rx;
    int i = 0;
    for (int v : values)
        rx.set(i++, std::uint8_t(v));
    return rx;
}
const QLocale c = QLocale::c();
} // namespace

TEST(StatusFields, ExampleFrameReadsAsTheFrontPanel) {
    const auto f = statusFields(slotsOf({0x40, 0x32, 0x25, 0x0F, 0x8C, 0x78, 0x23, 0x00}), c);
    EXPECT_TRUE(f.Operate);
    EXPECT_FALSE(f.Protection_Active || f.Auto_Band || f.Transmit);
    EXPECT_EQ(f.band, "3.5 MHz");
    EXPECT_EQ(f.gain, "G3");
    EXPECT_EQ(f.swr, "1.5");
    EXPECT_EQ(f.voltage, "56.0V");
    EXPECT_EQ(f.current, "24.0A");
    EXPECT_EQ(f.temperature, QString::fromUtf8("35 °C"));
    EXPECT_EQ(f.operLamp(), colour::Green);
    EXPECT_EQ(f.protectionLamp(), colour::Grey);
    EXPECT_EQ(f.protectionLegend(), colour::Black);
    for (int i = 0; i < 14; ++i)
        EXPECT_EQ(f.forward[i], i < 5 ? colour::Green : colour::Grey) << i;
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(f.reflected[i], i < 2 ? colour::LightYellow : colour::Grey) << i;
}

TEST(StatusFields, FlagsAreIndependentAndLowBitsIgnored) {
    auto f = statusFields(slotsOf({0xF0}), c);
    EXPECT_TRUE(f.Protection_Active && f.Operate && f.Auto_Band && f.Transmit);
    EXPECT_EQ(f.protectionLegend(), colour::Red);
    f = statusFields(slotsOf({0x0F}), c);
    EXPECT_FALSE(f.Protection_Active || f.Operate || f.Auto_Band || f.Transmit);
}

TEST(StatusFields, BandAndGainTexts) {
    EXPECT_EQ(statusFields(slotsOf({0, 0x0B}), c).band, "All MHz");
    EXPECT_EQ(statusFields(slotsOf({0, 0x0B}), c).gain, "G0");
    EXPECT_EQ(statusFields(slotsOf({0, 0x9C}), c).band, "?? MHz");
    EXPECT_EQ(statusFields(slotsOf({0, 0x9C}), c).gain, "G?");
    EXPECT_EQ(statusFields(slotsOf({0, 0x81}), c).gain, "G8");
    EXPECT_EQ(bandText(0), "?? MHz");
    EXPECT_EQ(bandText(1), "1.8 MHz");
    EXPECT_EQ(bandText(10), "50 MHz");
}

TEST(StatusFields, MeasuredValuesKeepOneDecimal) {
    auto f = statusFields(slotsOf({0, 0, 0, 0, 1, 3, 0}), c);
    EXPECT_EQ(f.swr, "-.-");
    EXPECT_EQ(f.voltage, "0.4V");
    EXPECT_EQ(f.current, "0.6A");
    EXPECT_EQ(f.temperature, QString::fromUtf8("0 °C"));
    f = statusFields(slotsOf({0, 0, 0, 255, 255, 255, 255}), c);
    EXPECT_EQ(f.swr, "25.5");
    EXPECT_EQ(f.voltage, "102.0V");
    EXPECT_EQ(f.current, "51.0A");
    EXPECT_EQ(statusFields(slotsOf({0, 0, 0, 1}), c).swr, "0.1");
    EXPECT_EQ(statusFields(slotsOf({0, 0, 0, 100}), c).swr, "10.0");
}

// Only the decimal separator follows the operator's locale; the digits stay 0 to 9 as on the
// amplifier's own display, even where the locale has digits of its own.
TEST(StatusFields, DigitsStayWesternUnderEveryLocale) {
    for (const QLocale& locale :
         {QLocale(QLocale::German), QLocale(QLocale::Arabic, QLocale::Egypt),
          QLocale(QLocale::Persian), QLocale(QLocale::Bengali)}) {
        const auto f = statusFields(slotsOf({0, 0x25, 0, 15, 140, 121, 35}), locale);
        const QString dp = locale.decimalPoint();
        EXPECT_EQ(f.swr, "1" + dp + "5") << locale.name().toStdString();
        EXPECT_EQ(f.voltage, "56" + dp + "0V") << locale.name().toStdString();
        EXPECT_EQ(f.current, "24" + dp + "2A") << locale.name().toStdString();
        EXPECT_EQ(f.temperature, QString::fromUtf8("35 °C"));
    }
    EXPECT_EQ(statusFields(slotsOf({0, 0, 0, 15}), QLocale(QLocale::German)).swr, "1,5");
}

TEST(StatusFields, NeverWrittenSlotsShowZerosAndABareUnit) {
    const auto f = statusFields(RxBytes{}, c);
    EXPECT_EQ(f.band, "?? MHz");
    EXPECT_EQ(f.gain, "G0");
    EXPECT_EQ(f.swr, "-.-");
    EXPECT_EQ(f.voltage, "0.0V");
    EXPECT_EQ(f.temperature, QString::fromUtf8(" °C"));
}

TEST(Bars, ForwardBarEveryLevel) {
    for (int level = 0; level <= 15; ++level) {
        const auto bar = forwardBar(level);
        for (int i = 1; i <= 14; ++i) {
            Rgb expected = colour::Grey;
            if (level == 15)
                expected = i == 14 ? colour::Red : colour::Grey;
            else if (i <= level)
                expected = i <= 11 ? colour::Green : colour::Red;
            EXPECT_EQ(bar[i - 1], expected) << "level " << level << " segment " << i;
        }
    }
}

TEST(Bars, ReflectedAboveFiveLightsAllSegments) {
    for (int level = 0; level <= 15; ++level) {
        const auto bar = reflectedBar(level);
        for (int i = 1; i <= 5; ++i)
            EXPECT_EQ(bar[i - 1], i <= level ? colour::LightYellow : colour::Grey) << level;
    }
}

TEST(HexEcho, RawEchoKeepsTheLast300Characters) {
    QString box;
    appendRawEcho(box, QByteArray::fromHex("FB0A00"), RawEchoLimit);
    EXPECT_EQ(box, "\r\nFB 0A 00 ");
    appendRawEcho(box, QByteArray::fromHex("05AB"), RawEchoLimit);
    EXPECT_EQ(box, "\r\nFB 0A 00 \r\n05 AB ");

    // 120 bytes: the box ends up with exactly the last 100 bytes.
    QByteArray chunk;
    for (int i = 0; i < 120; ++i)
        chunk.append(char(i));
    QString reference = box + "\r\n";
    for (int i = 0; i < 120; ++i)
        appendHexByte(reference, std::uint8_t(i));
    appendRawEcho(box, chunk, RawEchoLimit);
    ASSERT_EQ(box.size(), 300);
    EXPECT_EQ(box, reference.right(300));
    EXPECT_TRUE(box.startsWith("14 "));

    // A chunk just over the shortcut's threshold still cuts in the middle of a byte.
    QString small = "abc";
    const QByteArray hundredOne(101, char(0xAB));
    appendRawEcho(small, hundredOne, RawEchoLimit);
    QString full = "abc\r\n";
    for (int i = 0; i < 101; ++i)
        appendHexByte(full, 0xAB);
    EXPECT_EQ(small, full.right(300));
}
