#pragma once

// What must hold for the response decoder whatever chunk the line delivers. The libFuzzer
// target and the corpus replay of the normal test build run the same checks.

#include "protocol/decoder.h"
#include "protocol/hexecho.h"
#include "protocol/status.h"

#include <QByteArray>
#include <QLocale>
#include <QString>

namespace tarn::fuzz {

// Null when every check holds, else what failed.
inline const char* checkDecoderChunk(const QByteArray& chunk) {
    using namespace tarn::protocol;

    RxBytes rx;
    const QString before(300, QLatin1Char('x'));
    QString echo = before;
    const auto r = Decode_Response(chunk, rx, &echo);
    if (r.bodyBytes > RxBytes::Count)
        return "more than eight body bytes stored";
    if (r.drawStatus() && r.bodyBytes != RxBytes::Count)
        return "redraw asked for without eight body bytes";
    if (chunk.isEmpty() && echo != before)
        return "an empty chunk changed the echo";
    if (!chunk.isEmpty() && echo.size() > DecodedEchoLimit)
        return "decoded echo longer than its box";
    if (r.kind == DecodeResult::Kind::FirmwareReport && r.firmwareCaption.size() > 15)
        return "firmware caption longer than its five characters";

    // The same chunk without the echo must decode to the same slots.
    RxBytes quiet;
    const auto q = Decode_Response(chunk, quiet, nullptr);
    if (q.kind != r.kind || q.bodyBytes != r.bodyBytes)
        return "the echo changed the result";
    for (int i = 0; i < RxBytes::Count; ++i) {
        if (quiet.raw(i) != rx.raw(i))
            return "the echo changed the slots";
    }

    const auto fields = statusFields(rx, QLocale::c());
    if (fields.band.isEmpty() || fields.gain.size() != 2)
        return "status fields without band or gain text";

    QString raw;
    appendRawEcho(raw, chunk, RawEchoLimit);
    if (raw.size() > RawEchoLimit)
        return "raw echo longer than its box";
    return nullptr;
}

} // namespace tarn::fuzz
