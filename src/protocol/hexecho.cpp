#include "protocol/hexecho.h"

namespace tarn::protocol {

void appendHexByte(QString& text, std::uint8_t byte) {
    static constexpr char digits[] = "0123456789ABCDEF";
    const QChar chars[] = {QLatin1Char(digits[byte >> 4]), QLatin1Char(digits[byte & 0x0F]),
                           QLatin1Char(' ')};
    text.append(chars, 3);
}

void keepLast(QString& text, qsizetype limit) {
    if (text.size() > limit)
        text.remove(0, text.size() - limit);
}

void appendRawEcho(QString& text, const QByteArray& chunk, qsizetype limit) {
    // Only the tail survives the cut, so skip the bytes that could never be seen; this keeps
    // a flood of received bytes from costing more than the box can show.
    text.append(QLatin1String("\r\n"));
    const qsizetype maxBytes = limit / 3 + 1;
    qsizetype first = 0;
    if (chunk.size() > maxBytes) {
        first = chunk.size() - maxBytes;
        text.clear();
    }
    text.reserve(text.size() + (chunk.size() - first) * 3);
    for (qsizetype i = first; i < chunk.size(); ++i)
        appendHexByte(text, std::uint8_t(chunk[i]));
    keepLast(text, limit);
}

} // namespace tarn::protocol
