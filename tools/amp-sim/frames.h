#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace tarn::sim {

inline constexpr std::uint8_t FrameStart = 0xFB;
inline constexpr std::uint8_t FrameEnd = 0xFE;
inline constexpr std::uint8_t FrameEscape = 0xFF;
inline constexpr std::uint8_t EscapeXor = 0x10;
inline constexpr std::uint8_t FirmwareReportType = 0x05;
inline constexpr int FirmwareVersionLength = 5;

// Bits of status body byte 0.
namespace statusflag {
inline constexpr std::uint8_t ProtectionTripped = 0x80;
inline constexpr std::uint8_t Operate = 0x40;
inline constexpr std::uint8_t AutoBand = 0x20;
inline constexpr std::uint8_t Transmitting = 0x10;
} // namespace statusflag

enum class Command {
    ToggleOperate,
    PaVoltageHigh,
    PaVoltageLow,
    ForceStandby,
    StartBootloader,
    GainUp,
    GainDown,
    AutoBand,
    BandUp,
    BandDown,
    Poll,
    TestSpace,
};

inline constexpr std::array AllCommands{
    Command::ToggleOperate,   Command::PaVoltageHigh, Command::PaVoltageLow, Command::ForceStandby,
    Command::StartBootloader, Command::GainUp,        Command::GainDown,     Command::AutoBand,
    Command::BandUp,          Command::BandDown,      Command::Poll,         Command::TestSpace,
};

QString commandName(Command command);

// Which command a frame's command byte and optional data byte stand for; nothing when the panel
// never sends that combination.
std::optional<Command> commandFor(std::uint8_t code, std::optional<std::uint8_t> data);

// The exact bytes the panel sends for `command`.
QByteArray commandFrame(Command command);

struct ParsedFrame {
    enum class Verdict { Accepted, BadChecksum, UnknownCommand, Malformed };
    Verdict verdict = Verdict::Malformed;
    std::optional<Command> command; // set only when accepted
    QByteArray raw;                 // start byte to end byte, as received
};

struct ParserCounters {
    std::uint64_t accepted = 0;
    std::uint64_t badChecksum = 0;
    std::uint64_t unknownCommand = 0;
    std::uint64_t malformed = 0;    // a start byte without a frame of a possible length behind it
    std::uint64_t skippedBytes = 0; // bytes outside any frame
};

// Finds command frames in whatever the line delivers: frames may be cut across reads, several
// may share one read, and anything between them is skipped. Command frames are never escaped
// and none of their bytes can be a start or end byte, so a start byte always begins a new frame.
class CommandParser {
public:
    std::vector<ParsedFrame> feed(QByteArrayView bytes);

    // Forgets a frame cut short, for when the line has gone away.
    void discardPartial();

    const ParserCounters& counters() const { return counters_; }

private:
    // Command, optional data byte, checksum.
    static constexpr int MaxInner = 3;

    void abandonPartial();
    ParsedFrame finish();

    bool inFrame_ = false;
    QByteArray partial_;
    ParserCounters counters_;
};

using StatusBody = std::array<std::uint8_t, 8>;

// Start byte, body with FB/FE/FF escaped as FF (byte ^ 0x10), end byte.
QByteArray buildStatusFrame(const StatusBody& body);

// Start byte, type 0x05, the five version characters, 0x00, end byte; not escaped, so the
// version must be plain printable text. A shorter version is padded with blanks, a longer cut.
QByteArray buildFirmwareReport(const QByteArray& version);

// "FB 0C 0C FE".
QString hexBytes(QByteArrayView bytes);

} // namespace tarn::sim
