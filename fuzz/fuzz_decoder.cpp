// Feeds arbitrary chunks to the response decoder, with and without the test-space echo, and
// checks what must hold whatever arrives on the line.
#include "protocol/decoder.h"
#include "protocol/hexecho.h"
#include "protocol/status.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray chunk(reinterpret_cast<const char*>(data), qsizetype(size));
    using namespace tarn::protocol;

    RxBytes rx;
    QString echo(300, QLatin1Char('x'));
    const auto r = Decode_Response(chunk, rx, &echo);
    if (r.bodyBytes > RxBytes::Count)
        std::abort();
    if (r.drawStatus() && r.bodyBytes != RxBytes::Count)
        std::abort();
    if (r.kind != DecodeResult::Kind::TooLong && r.kind != DecodeResult::Kind::NotAFrame &&
        r.kind != DecodeResult::Kind::Empty && echo.size() > DecodedEchoLimit)
        std::abort();
    if (r.kind == DecodeResult::Kind::FirmwareReport && r.firmwareCaption.size() > 15)
        std::abort();

    // The same chunk without the echo must decode to the same slots.
    RxBytes quiet;
    const auto q = Decode_Response(chunk, quiet, nullptr);
    if (q.kind != r.kind || q.bodyBytes != r.bodyBytes)
        std::abort();
    for (int i = 0; i < RxBytes::Count; ++i)
        if (quiet.raw(i) != rx.raw(i))
            std::abort();

    const auto fields = statusFields(rx, QLocale::c());
    if (fields.band.isEmpty() || fields.gain.size() != 2)
        std::abort();

    QString raw;
    appendRawEcho(raw, chunk, RawEchoLimit);
    if (raw.size() > RawEchoLimit)
        std::abort();
    return 0;
}
