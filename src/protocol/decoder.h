#pragma once

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>

namespace tarn::protocol {

// The eight body-byte slots of the latest response. A slot stays empty until a chunk reaches
// its position; empty counts as 0 in arithmetic and as empty text when joined to text.
class RxBytes {
public:
    static constexpr int Count = 8;

    int value(int slot) const { return slots_.at(std::size_t(slot)).value_or(0); }
    QString text(int slot) const;
    bool isEmpty(int slot) const { return !slots_.at(std::size_t(slot)).has_value(); }
    std::optional<std::uint8_t> raw(int slot) const { return slots_.at(std::size_t(slot)); }
    void set(int slot, std::uint8_t byte) { slots_.at(std::size_t(slot)) = byte; }
    void clear() { slots_ = {}; }

private:
    std::array<std::optional<std::uint8_t>, Count> slots_{};
};

struct DecodeResult {
    enum class Kind {
        Empty,          // nothing was read
        NotAFrame,      // first byte was not the start byte
        TooLong,        // more than eight body bytes: slots hold the first eight, no redraw
        Incomplete,     // a status frame cut short: slots updated, display left alone
        FirmwareReport, // type byte 0x05: firmwareCaption holds the new caption
        Status,         // all eight body bytes arrived: draw the status
    };
    Kind kind = Kind::Empty;
    int bodyBytes = 0;
    QString firmwareCaption;

    bool drawStatus() const { return kind == Kind::Status; }
};

inline constexpr std::uint8_t EscapeByte = 0xFF;
inline constexpr std::uint8_t FirmwareReportType = 0x05;

// Treats one poll tick's chunk as one response frame: start byte checked, body unescaped into
// the slots, end byte skipped unread. `echo` is the decoded-packets box text, or null while
// the test space is hidden; whatever the chunk, it holds at most DecodedEchoLimit characters
// afterwards.
//
// A chunk that delivers fewer than eight body bytes still updates the slots it reaches, but it
// never asks for a redraw: mixing its bytes with the previous frame's would show a state the
// amplifier was never in.
DecodeResult Decode_Response(const QByteArray& Received_Chunk, RxBytes& Rx_Byte, QString* echo);

} // namespace tarn::protocol
