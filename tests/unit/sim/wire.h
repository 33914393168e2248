#pragma once

// Reads what the simulator sends, written independently of its frame builder so that a fault
// in the builder cannot hide in a matching fault here.

#include "frames.h"

#include <QByteArray>
#include <initializer_list>
#include <optional>

namespace tarn::sim::test {

inline QByteArray bytes(std::initializer_list<int> values) {
    QByteArray out;
    for (const int v : values)
        out.append(char(v));
    return out;
}

// The body of one complete status frame, or nothing if `frame` is not exactly one.
inline std::optional<StatusBody> decodeStatus(const QByteArray& frame) {
    if (frame.size() < 10 || std::uint8_t(frame.front()) != 0xFB ||
        std::uint8_t(frame.back()) != 0xFE)
        return std::nullopt;
    StatusBody body{};
    std::size_t n = 0;
    for (qsizetype i = 1; i + 1 < frame.size(); ++i) {
        auto b = std::uint8_t(frame[i]);
        if (b == 0xFB || b == 0xFE)
            return std::nullopt;
        if (b == 0xFF) {
            if (++i + 1 >= frame.size())
                return std::nullopt;
            b = std::uint8_t(frame[i]) ^ 0x10;
        }
        if (n == body.size())
            return std::nullopt;
        body[n++] = b;
    }
    if (n != body.size())
        return std::nullopt;
    return body;
}

} // namespace tarn::sim::test
