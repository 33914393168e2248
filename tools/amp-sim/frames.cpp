#include "frames.h"

namespace tarn::sim {

namespace {

struct CommandCode {
    Command command;
    std::uint8_t code;
    std::optional<std::uint8_t> data;
    const char* name;
};

constexpr std::array<CommandCode, 12> Codes{{
    {Command::ToggleOperate, 0x01, std::nullopt, "toggle-operate"},
    {Command::PaVoltageHigh, 0x02, 0x02, "pa-voltage-high"},
    {Command::PaVoltageLow, 0x02, 0x01, "pa-voltage-low"},
    {Command::ForceStandby, 0x03, 0x02, "force-standby"},
    {Command::StartBootloader, 0x03, 0x09, "start-bootloader"},
    {Command::GainUp, 0x04, std::nullopt, "gain-up"},
    {Command::GainDown, 0x05, std::nullopt, "gain-down"},
    {Command::AutoBand, 0x06, std::nullopt, "auto-band"},
    {Command::BandUp, 0x07, std::nullopt, "band-up"},
    {Command::BandDown, 0x08, std::nullopt, "band-down"},
    {Command::Poll, 0x0C, std::nullopt, "poll"},
    {Command::TestSpace, 0x0D, std::nullopt, "test-space"},
}};

const CommandCode& codeOf(Command command) {
    for (const auto& c : Codes) {
        if (c.command == command)
            return c;
    }
    return Codes.front(); // unreachable: every enumerator is in the table
}

void appendEscaped(QByteArray& out, std::uint8_t byte) {
    if (byte == FrameStart || byte == FrameEnd || byte == FrameEscape) {
        out.append(char(FrameEscape));
        out.append(char(byte ^ EscapeXor));
    } else {
        out.append(char(byte));
    }
}

} // namespace

QString commandName(Command command) {
    return QString::fromLatin1(codeOf(command).name);
}

std::optional<Command> commandFor(std::uint8_t code, std::optional<std::uint8_t> data) {
    for (const auto& c : Codes) {
        if (c.code == code && c.data == data)
            return c.command;
    }
    return std::nullopt;
}

QByteArray commandFrame(Command command) {
    const auto& c = codeOf(command);
    QByteArray frame;
    frame.append(char(FrameStart));
    frame.append(char(c.code));
    if (c.data)
        frame.append(char(*c.data));
    frame.append(char(std::uint8_t(c.code + c.data.value_or(0))));
    frame.append(char(FrameEnd));
    return frame;
}

std::vector<ParsedFrame> CommandParser::feed(QByteArrayView bytes) {
    std::vector<ParsedFrame> out;
    for (const char ch : bytes) {
        const auto byte = std::uint8_t(ch);
        if (byte == FrameStart) {
            if (inFrame_) {
                abandonPartial();
                out.push_back({ParsedFrame::Verdict::Malformed, std::nullopt, partial_});
            }
            inFrame_ = true;
            partial_ = QByteArray(1, ch);
        } else if (!inFrame_) {
            ++counters_.skippedBytes;
        } else if (byte == FrameEnd) {
            partial_.append(ch);
            out.push_back(finish());
            inFrame_ = false;
            partial_.clear();
        } else {
            partial_.append(ch);
            if (partial_.size() - 1 > MaxInner) {
                abandonPartial();
                out.push_back({ParsedFrame::Verdict::Malformed, std::nullopt, partial_});
                inFrame_ = false;
                partial_.clear();
            }
        }
    }
    return out;
}

void CommandParser::discardPartial() {
    inFrame_ = false;
    partial_.clear();
}

void CommandParser::abandonPartial() {
    ++counters_.malformed;
}

ParsedFrame CommandParser::finish() {
    ParsedFrame frame;
    frame.raw = partial_;
    const auto inner = QByteArrayView(partial_).sliced(1, partial_.size() - 2);
    if (inner.size() < 2 || inner.size() > MaxInner) {
        ++counters_.malformed;
        frame.verdict = ParsedFrame::Verdict::Malformed;
        return frame;
    }
    const auto code = std::uint8_t(inner[0]);
    const auto data =
        inner.size() == 3 ? std::optional<std::uint8_t>(std::uint8_t(inner[1])) : std::nullopt;
    const auto checksum = std::uint8_t(inner.back());
    if (checksum != std::uint8_t(code + data.value_or(0))) {
        ++counters_.badChecksum;
        frame.verdict = ParsedFrame::Verdict::BadChecksum;
        return frame;
    }
    frame.command = commandFor(code, data);
    if (!frame.command) {
        ++counters_.unknownCommand;
        frame.verdict = ParsedFrame::Verdict::UnknownCommand;
        return frame;
    }
    ++counters_.accepted;
    frame.verdict = ParsedFrame::Verdict::Accepted;
    return frame;
}

QByteArray buildStatusFrame(const StatusBody& body) {
    QByteArray frame;
    frame.reserve(2 + 2 * int(body.size()));
    frame.append(char(FrameStart));
    for (const auto byte : body)
        appendEscaped(frame, byte);
    frame.append(char(FrameEnd));
    return frame;
}

QByteArray buildFirmwareReport(const QByteArray& version) {
    QByteArray text = version.left(FirmwareVersionLength);
    while (text.size() < FirmwareVersionLength)
        text.append(' ');
    QByteArray frame;
    frame.append(char(FrameStart));
    frame.append(char(FirmwareReportType));
    frame.append(text);
    frame.append('\0');
    frame.append(char(FrameEnd));
    return frame;
}

QString hexBytes(QByteArrayView bytes) {
    QString text;
    text.reserve(bytes.size() * 3);
    for (const char ch : bytes) {
        if (!text.isEmpty())
            text.append(QLatin1Char(' '));
        text.append(QStringLiteral("%1").arg(uint(std::uint8_t(ch)), 2, 16, QLatin1Char('0')));
    }
    return text.toUpper();
}

} // namespace tarn::sim
