#include "protocol/decoder.h"

#include "protocol/commands.h"
#include "protocol/hexecho.h"

namespace tarn::protocol {

QString RxBytes::text(int slot) const {
    const auto byte = raw(slot);
    return byte ? QString::number(*byte) : QString();
}

namespace {

DecodeResult decodeChunk(const QByteArray& chunk, RxBytes& rx, QString* echo) {
    DecodeResult result;
    const qsizetype n = chunk.size();
    if (echo)
        echo->append(QLatin1String("\r\n"));
    if (std::uint8_t(chunk[0]) != StartByte) {
        result.kind = DecodeResult::Kind::NotAFrame;
        return result;
    }

    int k = 0;
    // Body runs from the byte after the start byte to the one before the last; the last byte
    // is the end byte and is never read, except as the partner of a trailing escape prefix.
    for (qsizetype i = 1; i <= n - 2; ++i) {
        auto c = std::uint8_t(chunk[i]);
        if (c == EscapeByte) {
            ++i;
            c = std::uint8_t(chunk[i]) ^ 0x10;
        }
        if (k >= RxBytes::Count) {
            result.kind = DecodeResult::Kind::TooLong;
            result.bodyBytes = k;
            return result;
        }
        rx.set(k++, c);
        if (echo)
            appendHexByte(*echo, c);
    }
    result.bodyBytes = k;

    if (n < 2) {
        result.kind = DecodeResult::Kind::Incomplete;
        return result;
    }
    if (std::uint8_t(chunk[1]) == FirmwareReportType) {
        result.kind = DecodeResult::Kind::FirmwareReport;
        result.firmwareCaption =
            QStringLiteral("Firmware V") + QString::fromLatin1(chunk.mid(2, 5));
        return result;
    }
    result.kind = k == RxBytes::Count ? DecodeResult::Kind::Status : DecodeResult::Kind::Incomplete;
    return result;
}

} // namespace

DecodeResult Decode_Response(const QByteArray& chunk, RxBytes& rx, QString* echo) {
    if (chunk.isEmpty())
        return {};
    const DecodeResult result = decodeChunk(chunk, rx, echo);
    // Cut on every path, not only after a whole frame: a line that never delivers one (a wrong
    // baud rate, two answers in every read) would otherwise grow the box, and the cost of
    // showing it, on every tick for as long as it lasts.
    if (echo)
        keepLast(*echo, DecodedEchoLimit);
    return result;
}

} // namespace tarn::protocol
