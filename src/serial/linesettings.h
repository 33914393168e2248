#pragma once

#include <QString>
#include <optional>

namespace tarn::serial {

// Baud rate, parity letter, data bits and stop bits, as in "9600,n,8,1".
struct LineSettings {
    int baudRate = 9600;
    char parity = 'n';
    int dataBits = 8;
    int stopBits = 1;

    static std::optional<LineSettings> parse(const QString& text);
    QString toString() const;
    friend bool operator==(const LineSettings&, const LineSettings&) = default;
};

} // namespace tarn::serial
