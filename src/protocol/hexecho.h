#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

namespace tarn::protocol {

// Two upper-case hex digits and a blank, so every byte takes exactly three characters.
void appendHexByte(QString& text, std::uint8_t byte);

// Keeps only the last `limit` characters; the cut may fall inside a byte's three characters.
void keepLast(QString& text, qsizetype limit);

// The raw-traffic echo: CR LF, then every byte of the chunk, then cut to `limit` characters.
void appendRawEcho(QString& text, const QByteArray& chunk, qsizetype limit);

inline constexpr qsizetype RawEchoLimit = 300;
inline constexpr qsizetype DecodedEchoLimit = 210;

} // namespace tarn::protocol
