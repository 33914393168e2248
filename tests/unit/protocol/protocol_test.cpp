#include "protocol/commands.h"
#include "protocol/decoder.h"
#include "protocol/hexecho.h"
#include "protocol/status.h"

#include <gtest/gtest.h>

using namespace tarn::protocol;
using Kind = DecodeResult::Kind;

namespace {
// The eight slots as hex, "--" for a slot no chunk has reached.
QString slotsOf(const RxBytes& rx) {
    QString out;
    for (int i = 0; i < RxBytes::Count; ++i)
        out += rx.isEmpty(i) ? QStringLiteral("--") : QString::asprintf("%02X", rx.value(i));
    return out;
}

RxBytes rxOf(const char* hex) {
    RxBytes rx;
    const QByteArray b = QByteArray::fromHex(hex);
    for (int i = 0; i < b.size(); ++i)
        rx.set(i, std::uint8_t(b[i]));
    return rx;
}

const char* const example = "fb4032250f8c782300fe";
const char* const kinds[] = {"Empty", "NotAFrame", "TooLong", "Incomplete", "Firmware", "Status"};
} // namespace

TEST(Protocol, CommandFramesAreTheAmplifiersBytes) {
    // In the order of the Command enumeration.
    const QList<QByteArray> frames = QByteArray("fb0c0cfe fb0101fe fb0404fe fb0505fe fb0606fe "
                                                "fb0707fe fb0808fe fb0d0dfe fb020204fe fb020103fe "
                                                "fb030205fe fb03090cfe")
                                         .split(' ');
    for (int c = 0; c < frames.size(); ++c)
        EXPECT_EQ(CommandFrames::build().frame(Command(c)).toHex(), frames[c]);
    EXPECT_EQ(makeFrame(0xF0, 0x20).toHex(), "fbf02010fe") << "the checksum wraps at 8 bits";
}

TEST(Protocol, DecoderTurnsChunksIntoSlotsKindAndEcho) {
    // Kind, body bytes, slots | echo | firmware caption. Primed rows start from the example.
    const std::tuple<const char*, bool, const char*> rows[] = {
        {example, false, "Status 8 4032250F8C782300|40 32 25 0F 8C 78 23 00 |"},
        // 0xFB, 0xFF and 0xFE in the body go on the wire as FF EB, FF EF, FF EE.
        {"fb40ffeb25ffef8c7823ffeefe", false,
         "Status 8 40FB25FF8C7823FE|40 FB 25 FF 8C 78 23 FE |"},
        {"fb4032ffee", false, "Incomplete 3 4032FE----------|40 32 FE |"},
        {"0a0bfe", true, "NotAFrame 0 4032250F8C782300||"},
        {"fb4032250f8c782300fefb0011223344556677fe", false,
         "TooLong 8 4032250F8C782300|40 32 25 0F 8C 78 23 00 |"},
        {"fb4003fe", true, "Incomplete 2 4003250F8C782300|40 03 |"},
        {"fb", false, "Incomplete 0 ----------------||"},
        {"fb40", false, "Incomplete 0 ----------------||"},
        {"fb05", false, "Firmware 0 ----------------||Firmware V"},
        {"fb05312e30382000fe", false,
         "Firmware 7 05312E30382000--|05 31 2E 30 38 20 00 |Firmware V1.08 "},
        {"fb05312e303820000000fe", false, "TooLong 8 05312E3038200000|05 31 2E 30 38 20 00 00 |"},
    };
    for (const auto& [hex, primed, expected] : rows) {
        SCOPED_TRACE(hex);
        const QByteArray chunk = QByteArray::fromHex(hex);
        RxBytes rx;
        if (primed)
            Decode_Response(QByteArray::fromHex(example), rx, nullptr);
        QString echo;
        const auto r = Decode_Response(chunk, rx, &echo);
        EXPECT_EQ(r.drawStatus(), r.kind == Kind::Status);
        EXPECT_TRUE(echo.startsWith("\r\n"));
        EXPECT_EQ(QString("%1 %2 ").arg(kinds[int(r.kind)]).arg(r.bodyBytes) + slotsOf(rx) + '|' +
                      echo.mid(2) + '|' + r.firmwareCaption,
                  expected);
    }
    // That the echo box changes nothing and keeps only its last characters is the corpus
    // replay's to check, on every prefix of these frames.
    RxBytes rx;
    // A firmware report cut short: the version is taken raw, the last byte included.
    const QByteArray full = QByteArray::fromHex("fb05312e30382000fe");
    for (int len = 3; len < full.size(); ++len)
        EXPECT_EQ(Decode_Response(full.left(len), rx, nullptr).firmwareCaption,
                  "Firmware V" + QString::fromLatin1(full.mid(2, std::min(5, len - 2))));
}

TEST(Protocol, StatusFieldsReadAsTheFrontPanel) {
    // Lamps as the flag bits they show, band to temperature, lit forward/reflected segments.
    const auto summary = [](const StatusFields& f) {
        EXPECT_EQ(f.protectionLegend(), f.Protection_Active ? colour::Red : colour::Black);
        const auto lit = [](const auto& bar) {
            return bar.size() - std::count(bar.begin(), bar.end(), colour::Grey);
        };
        const int lamps = (f.protectionLamp() == colour::Red) * 8 +
                          (f.operLamp() == colour::Green) * 4 +
                          (f.autoLamp() == colour::Green) * 2 + (f.txLamp() == colour::Green);
        return QString::asprintf("%x|%d|%d|", lamps, int(lit(f.forward)), int(lit(f.reflected))) +
               QString("%1|%2|%3|%4|%5|%6")
                   .arg(f.band, f.gain, f.swr, f.voltage, f.current, f.temperature);
    };
    const std::pair<const char*, const char*> rows[] = {
        {"4032250f8c782300", "4|5|2|3.5 MHz|G3|1.5|56.0V|24.0A|35 °C"},
        {"f0", "f|0|0|?? MHz|G0|-.-|0.0V|0.0A| °C"},
        {"0f", "0|0|0|?? MHz|G0|-.-|0.0V|0.0A| °C"},
        {"000b", "0|0|0|All MHz|G0|-.-|0.0V|0.0A| °C"},
        {"000c", "0|0|0|?? MHz|G0|-.-|0.0V|0.0A| °C"},
        {"009a", "0|0|0|50 MHz|G?|-.-|0.0V|0.0A| °C"},
        {"0081", "0|0|0|1.8 MHz|G8|-.-|0.0V|0.0A| °C"},
        {"00006601010300", "0|6|5|?? MHz|G0|0.1|0.4V|0.6A|0 °C"},
        {"0000ff64ffffff", "0|1|5|?? MHz|G0|10.0|102.0V|51.0A|255 °C"},
        {"0000e1ff000000", "0|1|5|?? MHz|G0|25.5|0.0V|0.0A|0 °C"},
    };
    for (const auto& [hex, expected] : rows)
        EXPECT_EQ(summary(statusFields(rxOf(hex), QLocale::c())), QString::fromUtf8(expected))
            << hex;

    // Only the separator follows the locale: the digits stay 0 to 9 as on the amplifier.
    for (const QLocale& locale :
         {QLocale(QLocale::German), QLocale(QLocale::Arabic, QLocale::Egypt),
          QLocale(QLocale::Persian), QLocale(QLocale::Bengali)}) {
        const auto f = statusFields(rxOf("0025000f8c7923"), locale);
        const QString dp = locale.decimalPoint();
        EXPECT_EQ(f.swr + f.voltage + f.current + f.temperature,
                  "1" + dp + "5" + "56" + dp + "0V24" + dp + "2A" + QString::fromUtf8("35 °C"))
            << locale.name().toStdString();
    }
    for (int level = 0; level <= 15; ++level) {
        // Built in place, so a write past the end of the bar lands in the guard.
        const struct {
            ReflectedBar bar;
            Rgb guard;
        } reflected{reflectedBar(level), 0};
        EXPECT_EQ(reflected.guard, 0u) << "written past the reflected bar";
        const ForwardBar forward = forwardBar(level);
        for (int i = 1; i <= 14; ++i) {
            const Rgb lit = level == 15  ? (i == 14 ? colour::Red : colour::Grey)
                            : i <= level ? (i <= 11 ? colour::Green : colour::Red)
                                         : colour::Grey;
            EXPECT_EQ(forward[i - 1], lit) << "level " << level << " segment " << i;
            const int r = std::min(i, 5);
            EXPECT_EQ(reflected.bar[r - 1], r <= level ? colour::LightYellow : colour::Grey);
        }
    }
}

TEST(Protocol, RawEchoKeepsTheLast300Characters) {
    QString box;
    appendRawEcho(box, QByteArray::fromHex("FB0A00"), RawEchoLimit);
    appendRawEcho(box, QByteArray::fromHex("05AB"), RawEchoLimit);
    EXPECT_EQ(box, "\r\nFB 0A 00 \r\n05 AB ");
    // Long chunks take the shortcut; the cut still falls where a plain append would put it.
    for (const int size : {99, 100, 101, 102, 120}) {
        QString shown = box, reference = box + "\r\n";
        QByteArray chunk;
        for (int i = 0; i < size; ++i) {
            chunk.append(char(i + 0xA0));
            appendHexByte(reference, std::uint8_t(i + 0xA0));
        }
        appendRawEcho(shown, chunk, RawEchoLimit);
        EXPECT_EQ(shown, reference.right(300)) << size;
    }
}
