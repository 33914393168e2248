#pragma once

// What must hold for the response decoder whatever chunk the line delivers. The libFuzzer
// target and the corpus replay of the normal test build run the same checks.

#include "protocol/decoder.h"
#include "protocol/hexecho.h"
#include "protocol/status.h"

namespace tarn::fuzz {

// Null when every check holds, else what failed.
inline const char* checkDecoder(const QByteArray& chunk) {
    using namespace tarn::protocol;
    RxBytes rx, quiet;
    QString echo(300, QLatin1Char('x'));
    const auto r = Decode_Response(chunk, rx, &echo);
    const auto q = Decode_Response(chunk, quiet, nullptr);
    for (int i = 0; i < RxBytes::Count; ++i) {
        if (quiet.raw(i) != rx.raw(i))
            return "the echo changed the slots";
    }
    const auto fields = statusFields(rx, QLocale::c());
    QString raw;
    appendRawEcho(raw, chunk, RawEchoLimit);
    return r.bodyBytes > RxBytes::Count                      ? "more than eight body bytes"
           : r.drawStatus() && r.bodyBytes != RxBytes::Count ? "redraw without eight bytes"
           : echo.size() != (chunk.isEmpty() ? 300 : DecodedEchoLimit) ? "echo not cut to its box"
           : r.firmwareCaption.size() > 15                             ? "firmware caption too long"
           : q.kind != r.kind || q.bodyBytes != r.bodyBytes   ? "the echo changed the result"
           : fields.band.isEmpty() || fields.gain.size() != 2 ? "no band or gain text"
           : raw.size() > RawEchoLimit                        ? "raw echo longer than its box"
                                                              : nullptr;
}

} // namespace tarn::fuzz
